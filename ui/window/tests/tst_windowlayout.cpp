// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Tests of the main window's layout on the offscreen platform: its geometry, captions, focus
// order, box properties, and how its boxes and entries read on any palette and font.

#include "boxframe.h"
#include "windowharness.h"
#include "wrappingpushbutton.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString letterName(const char *array, int index)
{
    return u"%1(%2)"_s.arg(QLatin1StringView(array)).arg(index);
}

QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QRect inDevicePixels(const QRect &rect, qreal ratio)
{
    return QRect((QPointF(rect.topLeft()) * ratio).toPoint(),
                 (QSizeF(rect.size()) * ratio).toSize());
}

// The pixels on the edge of a rectangle.
QList<QPoint> ringOf(const QRect &edge)
{
    QList<QPoint> ring;
    for (int x = edge.left(); x <= edge.right(); ++x)
        ring << QPoint(x, edge.top()) << QPoint(x, edge.bottom());
    for (int y = edge.top() + 1; y < edge.bottom(); ++y)
        ring << QPoint(edge.left(), y) << QPoint(edge.right(), y);
    return ring;
}

// Where two pictures of the same size differ: what was drawn on one and not the other.
QRect inkOf(const QImage &drawn, const QImage &before)
{
    QRect ink;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (drawn.pixel(x, y) != before.pixel(x, y))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

} // namespace

class TestWindowLayout : public WindowHarness
{
    Q_OBJECT

private Q_SLOTS:
    void init() { openWindow(); }
    void cleanup() { m_window.reset(); }

    void layoutTable_data();
    void layoutTable();
    void windowFixedAndCaptioned();
    void windowReturnsFromStateToFixedSize_data();
    void windowReturnsFromStateToFixedSize();
    void startsEmptyWithFocusUnderA();
    void focusOrder_data();
    void focusOrder();
    void captionsFit_data();
    void captionsFit();
    void keyEntryReadable_data();
    void keyEntryReadable();
    void boxesStandOut_data();
    void boxesStandOut();
    void boxProperties();
    void outputReadOnlyButSelectable();
    void enterAndEscapeAreInert_data();
    void enterAndEscapeAreInert();
    void longEntryKeptWhole();
};

void TestWindowLayout::layoutTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");

    QTest::newRow("Label1") << u"Label1"_s << u"QLabel"_s << twips(120, 120, 5415, 255)
                            << u"Enter the straight replacement equivelents in the appropriate "
                               "boxes below:"_s;
    for (int k = 1; k <= 26; ++k) {
        const QString letter(QChar(u'A' + k - 1));
        const int left = 120 + 240 * (k - 1);
        QTest::addRow("lblCapA(%d)", k)
            << letterName("lblCapA", k) << u"QLabel"_s << twips(left, 360, 255, 255) << letter;
        // The key boxes start with their letter, and the load handler empties them.
        QTest::addRow("txtLetter(%d)", k)
            << letterName("txtLetter", k) << u"KeyBox"_s << twips(left, 600, 255, 285) << QString();
    }
    QTest::newRow("Label2") << u"Label2"_s << u"QLabel"_s << twips(120, 960, 6255, 255)
                            << u"Enter text to be decrypted (/ Applied to) here:"_s;
    QTest::newRow("txtInput") << u"txtInput"_s << u"TextBox"_s << twips(120, 1200, 6255, 1575)
                              << QString();
    QTest::newRow("Label3") << u"Label3"_s << u"QLabel"_s << twips(120, 2760, 6255, 255)
                            << u"View / Copy Applied text here (automatically updated as you "
                               "type)"_s;
    QTest::newRow("txtOutput") << u"txtOutput"_s << u"OutputView"_s << twips(120, 3000, 6255, 1575)
                               << QString();
    QTest::newRow("cmdClearKeyword") << u"cmdClearKeyword"_s << u"WrappingPushButton"_s
                                     << twips(6480, 360, 855, 495) << u"Clear Keyword"_s;
    QTest::newRow("cmdClearInput") << u"cmdClearInput"_s << u"WrappingPushButton"_s
                                   << twips(6480, 1200, 855, 1575) << u"Clear Input text"_s;
    QTest::newRow("cmdExit") << u"cmdExit"_s << u"WrappingPushButton"_s
                             << twips(6480, 4200, 855, 375) << u"Exit"_s;
}

void TestWindowLayout::layoutTable()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QWidget *widget = control(name);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
    QCOMPARE(widget->parentWidget(), m_window.get());
    QCOMPARE(widget->geometry(), geometry);
    QVERIFY(widget->isVisible());
    QString text;
    if (auto *label = qobject_cast<QLabel *>(widget))
        text = label->text();
    else if (auto *box = qobject_cast<QLineEdit *>(widget))
        text = box->text();
    else if (auto *pushButton = qobject_cast<QPushButton *>(widget))
        text = pushButton->text();
    else if (auto *textBox = qobject_cast<QPlainTextEdit *>(widget))
        text = textBox->toPlainText();
    QCOMPARE(text, caption);
}

void TestWindowLayout::windowFixedAndCaptioned()
{
    QCOMPARE(m_window->windowTitle(), u"Vellumtide decoder"_s);
    QCOMPARE(m_window->size(), QSize(495, 312));
    QCOMPARE(m_window->minimumSize(), QSize(495, 312));
    QCOMPARE(m_window->maximumSize(), QSize(495, 312));
    const QList<QSize> iconSizes = m_window->windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)));
    QVERIFY(iconSizes.contains(QSize(32, 32)));
    for (const QString &picture :
         {u":/icons/vellumtide-16.png"_s, u":/icons/vellumtide-32.png"_s}) {
        const QImage image(picture);
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        QVERIFY(image.colorCount() <= 16);
    }
    // Every control lies inside the client area.
    for (QWidget *child : m_window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QVERIFY2(m_window->rect().contains(child->geometry()), qPrintable(child->objectName()));
}

void TestWindowLayout::windowReturnsFromStateToFixedSize_data()
{
    QTest::addColumn<Qt::WindowState>("state");
    QTest::newRow("maximized") << Qt::WindowMaximized;
    QTest::newRow("full screen") << Qt::WindowFullScreen;
}

// A window manager that maximizes or fills the screen anyway gets the window back at its size,
// with the layout where it was.
void TestWindowLayout::windowReturnsFromStateToFixedSize()
{
    QFETCH(Qt::WindowState, state);
    const QRect exitGeometry = control(u"cmdExit"_s)->geometry();
    m_window->setWindowState(state);
    QTRY_COMPARE(m_window->windowState(), Qt::WindowNoState);
    QTRY_COMPARE(m_window->size(), QSize(495, 312));
    QCOMPARE(m_window->minimumSize(), QSize(495, 312));
    QCOMPARE(m_window->maximumSize(), QSize(495, 312));
    QCOMPARE(control(u"cmdExit"_s)->geometry(), exitGeometry);
}

void TestWindowLayout::startsEmptyWithFocusUnderA()
{
    for (int index = 1; index <= LetterCount; ++index)
        QVERIFY(keyBox(index)->text().isEmpty());
    QVERIFY(input()->toPlainText().isEmpty());
    QVERIFY(outputText().isEmpty());
    QCOMPARE(QApplication::focusWidget(), keyBox(1));
    // The letters the boxes were made with are not there to undo.
    press(keyBox(1), QKeySequence::Undo);
    QVERIFY(keyBox(1)->text().isEmpty());
    QVERIFY(keyBox(2)->text().isEmpty());
}

void TestWindowLayout::focusOrder_data()
{
    QTest::addColumn<bool>("backwards");
    QTest::newRow("Tab") << false;
    QTest::newRow("Shift+Tab") << true;
}

void TestWindowLayout::focusOrder()
{
    QFETCH(bool, backwards);
    QList<QWidget *> order;
    for (int index = 1; index <= LetterCount; ++index)
        order << keyBox(index);
    order << input() << output() << button(u"cmdClearKeyword"_s) << button(u"cmdClearInput"_s)
          << button(u"cmdExit"_s);
    if (backwards)
        std::reverse(order.begin(), order.end());

    order.first()->setFocus();
    // Round the whole cycle and back to the start, from every control in turn.
    for (int step = 1; step <= order.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        QWidget *expected = order.at(step % order.size());
        QVERIFY2(QApplication::focusWidget() == expected,
                 qPrintable(u"step %1: focus on %2, expected %3"_s.arg(step).arg(
                     QApplication::focusWidget()->objectName(), expected->objectName())));
    }
    // Tab moved the focus and inserted nothing.
    QVERIFY(input()->toPlainText().isEmpty());
    for (QLabel *label : m_window->findChildren<QLabel *>())
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
}

void TestWindowLayout::captionsFit_data()
{
    // A larger default font stands for a screen of 120 or 144 dots per inch without scaling.
    QTest::addColumn<qreal>("scale");
    QTest::newRow("default font") << 1.0;
    QTest::newRow("120 dpi") << 1.25;
    QTest::newRow("144 dpi") << 1.5;
}

// Every caption fits its box, the letters with a pixel free where neighbours overlap; each row
// (the letters, the three captions, the buttons) shares one size, the largest at which all fit.
void TestWindowLayout::captionsFit()
{
    QFETCH(qreal, scale);
    const QFont original = QApplication::font();
    QFont large = original;
    large.setPointSizeF(original.pointSizeF() * scale);
    QApplication::setFont(large);
    const auto restore = qScopeGuard([&] { QApplication::setFont(original); });
    QCoreApplication::processEvents();

    QList<QWidget *> letters;
    for (int index = 1; index <= LetterCount; ++index)
        letters << control(letterName("lblCapA", index));
    const QList<QList<QWidget *>> rows = {
        letters,
        {control(u"Label1"_s), control(u"Label2"_s), control(u"Label3"_s)},
        {button(u"cmdClearKeyword"_s), button(u"cmdClearInput"_s), button(u"cmdExit"_s)}};
    const auto fits = [](const QWidget *widget, const QFont &font) {
        if (auto *pushButton = qobject_cast<const WrappingPushButton *>(widget)) {
            const QRect box = pushButton->captionRect();
            return box.contains(QFontMetrics(font).boundingRect(
                box, WrappingPushButton::CaptionFlags, pushButton->text()));
        }
        auto *label = static_cast<const QLabel *>(widget);
        const int room = label->text().size() == 1 ? 2 : 0;
        const QFontMetricsF metrics(font);
        return metrics.horizontalAdvance(label->text()) <= label->contentsRect().width() - room &&
               metrics.height() <= label->contentsRect().height();
    };
    for (const QList<QWidget *> &row : rows) {
        const QFont font = row.first()->font();
        QVERIFY(font.pointSizeF() <= large.pointSizeF());
        bool largerFitsAll = font.pointSizeF() < large.pointSizeF();
        QFont larger = font;
        larger.setPointSizeF(font.pointSizeF() + 0.25);
        for (QWidget *widget : row) {
            QCOMPARE(widget->font().pointSizeF(), font.pointSizeF());
            QVERIFY2(fits(widget, font), qPrintable(widget->objectName()));
            largerFitsAll = largerFitsAll && fits(widget, larger);
        }
        QVERIFY2(!largerFitsAll, qPrintable(row.first()->objectName()));
    }
    // Every key box holds its text's height, and a wide capital whole.
    for (int index = 1; index <= LetterCount; ++index)
        keyBox(index)->setText(u"W"_s);
    for (int index = 1; index <= LetterCount; ++index)
        QVERIFY(keyBox(index)->showsWhole());
}

void TestWindowLayout::keyEntryReadable_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("inTooltip");
    QTest::newRow("two characters") << u"QU"_s << false;
    QTest::newRow("three characters") << u"the"_s << false;
    QTest::newRow("five characters") << u"queen"_s << true;
    QTest::newRow("markup shown as typed") << u"<b>x</b>"_s << true;
}

// An entry of up to three characters shows whole in its 17-pixel box; a longer one shows from
// its first character and whole in the tooltip, which reads it as typed, and in the description.
void TestWindowLayout::keyEntryReadable()
{
    QFETCH(QString, entry);
    QFETCH(bool, inTooltip);
    KeyBox *box = keyBox(17);
    input()->setFocus();
    const QImage empty = box->grab().toImage();
    paste(box, entry);
    input()->setFocus();
    const QRect ink = inkOf(box->grab().toImage(), empty);
    const qreal ratio = empty.devicePixelRatio();
    const QRect inside = inDevicePixels(box->contentsRect().adjusted(1, 1, -1, -1), ratio);
    if (!inTooltip) {
        QVERIFY(box->showsWhole());
        QVERIFY(inside.contains(ink));
        // As wide as the whole entry drawn where nothing cuts it.
        QImage free(inDevicePixels(QRect(0, 0, 200, 50), ratio).size(), QImage::Format_RGB32);
        free.setDevicePixelRatio(ratio);
        free.fill(Qt::white);
        QImage blank = free;
        QPainter painter(&free);
        painter.setFont(box->font());
        painter.drawText(QPoint(20, 30), entry);
        painter.end();
        QVERIFY(ink.width() >= inkOf(free, blank).width() - 1);
        QVERIFY(box->toolTip().isEmpty());
    } else {
        QVERIFY(!ink.isEmpty() && ink.left() <= inside.left() + ratio); // from its first character
        QVERIFY(box->toolTip().contains(entry.toHtmlEscaped()));
        QCOMPARE(box->accessibleDescription(), entry);
    }
}

void TestWindowLayout::boxesStandOut_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("default") << QApplication::palette();
    // As a GTK desktop's dark theme gives it: boxes a shade darker than the window, and the
    // style's frames a shade darker still.
    QPalette dark;
    const QList<std::pair<QPalette::ColorRole, QColor>> darkRoles = {
        {QPalette::Window, QColor(0x35, 0x35, 0x35)},
        {QPalette::WindowText, QColor(0xee, 0xee, 0xec)},
        {QPalette::Base, QColor(0x2d, 0x2d, 0x2d)},
        {QPalette::Text, QColor(0xee, 0xee, 0xec)},
        {QPalette::Button, QColor(0x35, 0x35, 0x35)},
        {QPalette::ButtonText, QColor(0xee, 0xee, 0xec)},
        {QPalette::Light, QColor(0x40, 0x40, 0x40)},
        {QPalette::Midlight, QColor(0x3a, 0x3a, 0x3a)},
        {QPalette::Mid, QColor(0x2a, 0x2a, 0x2a)},
        {QPalette::Dark, QColor(0x26, 0x26, 0x26)},
        {QPalette::Shadow, QColor(0x1b, 0x1b, 0x1b)},
        {QPalette::Highlight, QColor(0x15, 0x53, 0x9e)}};
    for (const auto &[role, color] : darkRoles)
        dark.setColor(role, color);
    QTest::newRow("dark") << dark;
    // Black everywhere but the text and the highlight.
    QPalette contrast(Qt::white, Qt::black, Qt::black, Qt::black, Qt::black, Qt::white, Qt::white,
                      Qt::black, Qt::black);
    contrast.setColor(QPalette::Highlight, Qt::cyan);
    QTest::newRow("high contrast black") << contrast;
}

// Every key box and both big boxes show a frame that stands 3:1 against the window, and a
// background of their own, on whatever palette the desktop gives; and the control with the focus
// shows a ring two pixels wide, each pixel 3:1 against what it covers while the focus is away.
void TestWindowLayout::boxesStandOut()
{
    QFETCH(QPalette, palette);
    const QPalette original = QApplication::palette();
    QApplication::setPalette(palette);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(original); });
    QCoreApplication::processEvents();
    button(u"cmdExit"_s)->setFocus();
    const QImage window = m_window->grab().toImage();
    const QColor background = palette.color(QPalette::Window);
    QList<QWidget *> boxes = {input(), output()};
    for (int index = 1; index <= LetterCount; ++index)
        boxes << keyBox(index);
    const qreal ratio = window.devicePixelRatio();
    for (QWidget *box : boxes) {
        const QRect edge = inDevicePixels(box->geometry(), ratio);
        for (const QPoint &at : ringOf(edge))
            QVERIFY2(contrastRatio(window.pixelColor(at), background) >= 3,
                     qPrintable(u"%1 at %2,%3"_s.arg(box->objectName()).arg(at.x()).arg(at.y())));
        const QPoint middle = edge.center() - QPoint(0, edge.height() / 4);
        QVERIFY2(contrastRatio(window.pixelColor(middle), background) >= 1.1,
                 qPrintable(box->objectName()));
    }
    QList<QWidget *> focusable = {keyBox(5), keyBox(26), input(), output()};
    // Windows' own style draws a push button through the system's theme, light on any palette, so
    // that on a dark one no shade stands 3:1 against both its bevel and the window at its rounded
    // corners. Windows hands that style a dark palette only on request (darkmode=2).
    if (m_window->style()->name() != u"windowsvista"_s ||
        qstrcmp(QTest::currentDataTag(), "default") == 0)
        focusable << button(u"cmdClearInput"_s);
    for (QWidget *control : focusable) {
        control->setFocus();
        const QImage focused = m_window->grab().toImage();
        const QRect edge = inDevicePixels(control->geometry(), ratio);
        for (int inset = 0; inset < 2 * ratio; ++inset)
            for (const QPoint &at : ringOf(edge.adjusted(inset, inset, -inset, -inset)))
                QVERIFY2(contrastRatio(focused.pixelColor(at), window.pixelColor(at)) >= 3,
                         qPrintable(
                             u"%1 at %2,%3"_s.arg(control->objectName()).arg(at.x()).arg(at.y())));
    }
}

void TestWindowLayout::boxProperties()
{
    QCOMPARE(input()->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(input()->tabChangesFocus());
    QVERIFY(!input()->isReadOnly());
    for (QAbstractScrollArea *box : {static_cast<QAbstractScrollArea *>(input()),
                                     static_cast<QAbstractScrollArea *>(output())}) {
        QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
    // A long line of the output stays one line and scrolls sideways.
    input()->setPlainText(QString(500, u'w'));
    QCOMPARE(output()->content().lineCount(), 1);
    QVERIFY(output()->horizontalScrollBar()->maximum() > 0);
    input()->clear();
    // Enter starts a new line in the input.
    input()->setFocus();
    QTest::keyClicks(input(), u"ab"_s);
    QTest::keyClick(input(), Qt::Key_Return);
    QTest::keyClicks(input(), u"c"_s);
    QCOMPARE(input()->toPlainText(), u"ab\nc"_s);
    for (const QString &name : {u"cmdClearKeyword"_s, u"cmdClearInput"_s, u"cmdExit"_s}) {
        QVERIFY(!button(name)->isDefault());
        QVERIFY(!button(name)->autoDefault());
    }
    for (int index = 1; index <= LetterCount; ++index) {
        QCOMPARE(keyBox(index)->accessibleName(), u"Key for "_s + QChar(u'A' + index - 1));
        QCOMPARE(control<QLabel>(letterName("lblCapA", index))->buddy(), keyBox(index));
    }
}

void TestWindowLayout::outputReadOnlyButSelectable()
{
    keyBox(1)->setText(u"q"_s);
    input()->setPlainText(u"abc"_s);
    QCOMPARE(outputText(), u"Q**"_s);

    output()->setFocus();
    QCOMPARE(QApplication::focusWidget(), output());
    QTest::keyClicks(output(), u"xyz"_s);
    QTest::keyClick(output(), Qt::Key_Backspace);
    QTest::keyClick(output(), Qt::Key_Delete);
    QCOMPARE(outputText(), u"Q**"_s);

    // Place the cursor, extend the selection with the keyboard, and copy it.
    QTest::keyClick(output(), Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(output(), Qt::Key_Right);
    QTest::keyClick(output(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(output(), Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(output()->selectedText(), u"**"_s);
    QTest::keyClick(output(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"**"_s);

    // Paste and cut change nothing either.
    QTest::keyClick(output(), Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(output(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(outputText(), u"Q**"_s);
}

void TestWindowLayout::enterAndEscapeAreInert_data()
{
    QTest::addColumn<QString>("focused");
    for (const QString &name : {u"txtLetter(1)"_s, u"txtInput"_s, u"txtOutput"_s,
                                u"cmdClearKeyword"_s, u"cmdClearInput"_s, u"cmdExit"_s})
        QTest::newRow(qPrintable(name)) << name;
}

void TestWindowLayout::enterAndEscapeAreInert()
{
    QFETCH(QString, focused);
    keyBox(1)->setText(u"k"_s);
    input()->setPlainText(u"a"_s);
    QList<std::shared_ptr<QSignalSpy>> spies;
    for (auto *pushButton : m_window->findChildren<QPushButton *>())
        spies << std::make_shared<QSignalSpy>(pushButton, &QPushButton::clicked);

    control(focused)->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(QApplication::focusWidget(), key);

    for (const auto &spy : spies)
        QCOMPARE(spy->count(), 0);
    QCOMPARE(m_record->ends, 0);
    QVERIFY(m_window->isVisible());
    QCOMPARE(keyBox(1)->text(), u"k"_s);
}

void TestWindowLayout::longEntryKeptWhole()
{
    const QString entry = u"k"_s + QString(99'999, u'x');
    paste(keyBox(1), entry);
    QCOMPARE(keyBox(1)->text().size(), 100'000);
    QCOMPARE(keyBox(1)->text(), entry);
    input()->setPlainText(u"a"_s);
    QCOMPARE(outputText(), entry.toUpper());
}

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
