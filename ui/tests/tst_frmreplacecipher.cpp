// Tests of the main window on the offscreen platform: its layout, focus order and captions, and
// its handlers driven through real key presses and clicks.

#include "boxframe.h"
#include "clipboardexport.h"
#include "frmreplacecipher.h"
#include "keybox.h"
#include "outputview.h"
#include "substitution.h"
#include "wrappingpushbutton.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QWheelEvent>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// What Exit handed over, seen from the test.
struct ExportRecord
{
    QStringList texts;
    int ends = 0;
    QString failure; // what clearAndPut answers
};

class FakeClipboardExport final : public ClipboardExport
{
public:
    explicit FakeClipboardExport(std::shared_ptr<ExportRecord> record)
        : m_record(std::move(record))
    {
    }
    QString clearAndPut(const QString &text) override
    {
        m_record->texts << text;
        return m_record->failure;
    }
    void endProgram() override { ++m_record->ends; }

private:
    std::shared_ptr<ExportRecord> m_record;
};

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

class TestFrmReplaceCipher : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<frmReplaceCipher> m_window;
    std::shared_ptr<ExportRecord> m_record;

    template <typename T = QWidget> T *control(const QString &name) const
    {
        T *found = m_window->findChild<T *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    KeyBox *keyBox(int index) const { return control<KeyBox>(letterName("txtLetter", index)); }
    QPlainTextEdit *input() const { return control<QPlainTextEdit>(u"txtInput"_s); }
    OutputView *output() const { return control<OutputView>(u"txtOutput"_s); }
    QPushButton *button(const QString &name) const { return control<QPushButton>(name); }
    QString outputText() const { return output()->text(); }
    static QString rawText(const QTextDocument *document)
    {
        return document->toRawText().replace(QChar::ParagraphSeparator, u'\n');
    }
    // The output box must always show ApplyKey of what the boxes hold, exactly as it would if
    // the whole of it had just been set.
    void verifyOutputFollowsBoxes() const
    {
        KeyEntries entries;
        for (int index = 1; index <= LetterCount; ++index)
            entries[index - 1] = keyBox(index)->text();
        QCOMPARE(outputText(), ApplyKey(entries, rawText(input()->document())));
    }
    static void press(QWidget *target, QKeySequence::StandardKey key)
    {
        const QKeyCombination combination = QKeySequence(key)[0];
        QTest::keyClick(target, combination.key(), combination.keyboardModifiers());
    }
    void paste(QWidget *target, const QString &text) const
    {
        QGuiApplication::clipboard()->setText(text);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
    }

private Q_SLOTS:
    void init();
    void cleanup();

    // Layout
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

    // Behaviour
    void outputFollowsTyping();
    void outputFollowsEdits_data();
    void outputFollowsEdits();
    void outputFollowsRandomEdits();
    void outputKeepsScrollPosition();
    void scrollingIsLinked_data();
    void scrollingIsLinked();
    void lineBreaksFromKeyEntries();
    void outputKeepsSelection();
    void clearKeyword();
    void clearInput();
    void pastedCharactersReachExportUnchanged_data();
    void pastedCharactersReachExportUnchanged();
    void exitExports_data();
    void exitExports();
    void exitReportsFailureAndStillEnds();
    void closingLeavesClipboardAlone();
};

void TestFrmReplaceCipher::init()
{
    m_record = std::make_shared<ExportRecord>();
    m_window = std::make_unique<frmReplaceCipher>();
    m_window->setClipboardExport(std::make_unique<FakeClipboardExport>(m_record));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestFrmReplaceCipher::cleanup()
{
    m_window.reset();
}

void TestFrmReplaceCipher::layoutTable_data()
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

void TestFrmReplaceCipher::layoutTable()
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

void TestFrmReplaceCipher::windowFixedAndCaptioned()
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

void TestFrmReplaceCipher::windowReturnsFromStateToFixedSize_data()
{
    QTest::addColumn<Qt::WindowState>("state");
    QTest::newRow("maximized") << Qt::WindowMaximized;
    QTest::newRow("full screen") << Qt::WindowFullScreen;
}

// A window manager that maximizes or fills the screen anyway gets the window back at its size,
// with the layout where it was.
void TestFrmReplaceCipher::windowReturnsFromStateToFixedSize()
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

void TestFrmReplaceCipher::startsEmptyWithFocusUnderA()
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

void TestFrmReplaceCipher::focusOrder_data()
{
    QTest::addColumn<bool>("backwards");
    QTest::newRow("Tab") << false;
    QTest::newRow("Shift+Tab") << true;
}

void TestFrmReplaceCipher::focusOrder()
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

void TestFrmReplaceCipher::captionsFit_data()
{
    // A larger default font stands for a screen of 120 or 144 dots per inch without scaling.
    QTest::addColumn<qreal>("scale");
    QTest::newRow("default font") << 1.0;
    QTest::newRow("120 dpi") << 1.25;
    QTest::newRow("144 dpi") << 1.5;
}

// Every caption fits its box, the letters with a pixel free where neighbours overlap; each row
// (the letters, the three captions, the buttons) shares one size, the largest at which all fit.
void TestFrmReplaceCipher::captionsFit()
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

void TestFrmReplaceCipher::keyEntryReadable_data()
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
void TestFrmReplaceCipher::keyEntryReadable()
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
        QVERIFY(ink.left() <= inside.left() + ratio); // from its first character
        QVERIFY(box->toolTip().contains(entry.toHtmlEscaped()));
        QCOMPARE(box->accessibleDescription(), entry);
    }
}

void TestFrmReplaceCipher::boxesStandOut_data()
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
void TestFrmReplaceCipher::boxesStandOut()
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

void TestFrmReplaceCipher::boxProperties()
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
    QCOMPARE(output()->lineCount(), 1);
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

void TestFrmReplaceCipher::outputReadOnlyButSelectable()
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

void TestFrmReplaceCipher::enterAndEscapeAreInert_data()
{
    QTest::addColumn<QString>("focused");
    for (const QString &name : {u"txtLetter(1)"_s, u"txtInput"_s, u"txtOutput"_s,
                                u"cmdClearKeyword"_s, u"cmdClearInput"_s, u"cmdExit"_s})
        QTest::newRow(qPrintable(name)) << name;
}

void TestFrmReplaceCipher::enterAndEscapeAreInert()
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

void TestFrmReplaceCipher::longEntryKeptWhole()
{
    const QString entry = u"k"_s + QString(99'999, u'x');
    paste(keyBox(1), entry);
    QCOMPARE(keyBox(1)->text().size(), 100'000);
    QCOMPARE(keyBox(1)->text(), entry);
    input()->setPlainText(u"a"_s);
    QCOMPARE(outputText(), entry.toUpper());
}

void TestFrmReplaceCipher::outputFollowsTyping()
{
    // Typing in a key box with an empty input leaves the output empty.
    QTest::keyClicks(keyBox(20), u"h"_s);
    QVERIFY(outputText().isEmpty());

    QTest::keyClicks(input(), u"Hello, World!"_s);
    QCOMPARE(outputText(), u"*****, *****!"_s);
    QTest::keyClicks(keyBox(8), u"j"_s);
    QCOMPARE(outputText(), u"J****, *****!"_s);
    QTest::keyClicks(keyBox(12), u"n"_s);
    QCOMPARE(outputText(), u"J*NN*, ***N*!"_s);
    QTest::keyClick(keyBox(8), Qt::Key_Backspace);
    QCOMPARE(outputText(), u"**NN*, ***N*!"_s);
    verifyOutputFollowsBoxes();
}

void TestFrmReplaceCipher::outputFollowsEdits_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QKeyCombination>("edit");
    QTest::addColumn<QString>("after");

    const auto ctrl = [](Qt::Key key) { return QKeyCombination(Qt::ControlModifier, key); };
    QTest::newRow("input: backspace")
        << u"txtInput"_s << u"abc"_s << QKeyCombination(Qt::Key_Backspace) << u"ab"_s;
    QTest::newRow("input: delete at start")
        << u"txtInput"_s << u"abc"_s << QKeyCombination(Qt::Key_Delete) << u"bc"_s;
    QTest::newRow("input: cut all") << u"txtInput"_s << u"abc"_s << ctrl(Qt::Key_X) << QString();
    QTest::newRow("input: paste") << u"txtInput"_s << u"ab"_s << ctrl(Qt::Key_V) << u"abzq"_s;
    QTest::newRow("input: undo") << u"txtInput"_s << u"ab"_s << ctrl(Qt::Key_Z) << QString();
    QTest::newRow("key: backspace")
        << u"txtLetter(1)"_s << u"xy"_s << QKeyCombination(Qt::Key_Backspace) << u"x"_s;
    QTest::newRow("key: cut all") << u"txtLetter(1)"_s << u"xy"_s << ctrl(Qt::Key_X) << QString();
    QTest::newRow("key: paste") << u"txtLetter(1)"_s << u"xy"_s << ctrl(Qt::Key_V) << u"xyzq"_s;
    QTest::newRow("key: undo") << u"txtLetter(1)"_s << u"xy"_s << ctrl(Qt::Key_Z) << QString();
}

// Each edit is made through the keyboard, on text typed key by key, with the cursor where the
// typing left it; "cut all" and "delete at start" first move or select.
void TestFrmReplaceCipher::outputFollowsEdits()
{
    QFETCH(QString, target);
    QFETCH(QString, before);
    QFETCH(QKeyCombination, edit);
    QFETCH(QString, after);

    if (target != u"txtInput")
        input()->setPlainText(u"a ba, zz"_s);
    keyBox(26)->setText(u"w"_s);
    QWidget *box = control(target);
    box->setFocus();
    QTest::keyClicks(box, before);
    QGuiApplication::clipboard()->setText(u"zq"_s);
    if (edit == QKeyCombination(Qt::ControlModifier, Qt::Key_X))
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (edit == QKeyCombination(Qt::Key_Delete))
        QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(box, edit.key(), edit.keyboardModifiers());

    const QString text = target == u"txtInput" ? input()->toPlainText() : keyBox(1)->text();
    QCOMPARE(text, after);
    verifyOutputFollowsBoxes();
}

void TestFrmReplaceCipher::outputFollowsRandomEdits()
{
    const QStringList pieces = {u"a"_s,  u"Hello, "_s, u"\n"_s,         u"\r\n"_s,   u"\r"_s,
                                u"é"_s,  u"ı"_s,       u"\U0001F600"_s, u"\u2029"_s, u"\u2028"_s,
                                u"qu"_s, u" "_s,       u"B1"_s,         u"zz\nzz"_s, QString()};
    QRandomGenerator random(11);
    const auto piece = [&] { return pieces[random.bounded(int(pieces.size()))]; };
    const auto somewhere = [&] { return random.bounded(input()->document()->characterCount()); };
    for (int step = 0; step < 600; ++step) {
        QLineEdit *box = keyBox(1 + random.bounded(LetterCount));
        QTextCursor cursor(input()->document());
        switch (random.bounded(6)) {
        case 0:
            box->setText(piece());
            break;
        case 1:
            box->setFocus();
            QTest::keyClick(box, random.bounded(2) ? Qt::Key_Backspace : Qt::Key_M);
            break;
        case 2:
            cursor.setPosition(somewhere());
            cursor.insertText(piece());
            break;
        case 3:
            cursor.setPosition(somewhere());
            cursor.setPosition(somewhere(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            break;
        case 4:
            cursor.setPosition(somewhere());
            input()->setTextCursor(cursor);
            paste(input(), piece() + piece() + piece());
            break;
        default:
            input()->setFocus();
            QTest::keyClick(input(), Qt::Key_Z, Qt::ControlModifier);
            break;
        }
        verifyOutputFollowsBoxes();
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(u"after step %1"_s.arg(step)));
    }
}

// A long text that scrolls both ways; the output's scroll position, where the user put it,
// survives a change of the key, which rewrites every line, and typing in the input on a line in
// sight, which rewrites one.
void TestFrmReplaceCipher::outputKeepsScrollPosition()
{
    QString text;
    for (int line = 0; line < 2000; ++line)
        text +=
            u"line %1 of a text much wider than the box, so that it scrolls sideways too\n"_s.arg(
                line);
    input()->setPlainText(text);
    QScrollBar *vertical = output()->verticalScrollBar();
    QScrollBar *horizontal = output()->horizontalScrollBar();
    QVERIFY(vertical->maximum() > 1000);
    QVERIFY(horizontal->maximum() > 20);
    vertical->setValue(1000);
    horizontal->setValue(20);

    QTest::keyClicks(keyBox(12), u"x"_s);
    QCOMPARE(outputText().left(4), u"X***"_s);
    QCOMPARE(vertical->value(), 1000);
    QCOMPARE(horizontal->value(), 20);

    QTextCursor cursor(input()->document()->findBlockByNumber(1000));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 5);
    input()->setTextCursor(cursor);
    QTest::keyClicks(input(), u"lll"_s);
    QCOMPARE(outputText().mid(output()->lineStart(1000), 8), u"X*** XXX"_s);
    QCOMPARE(vertical->value(), 1000);
    QCOMPARE(horizontal->value(), 20);
    verifyOutputFollowsBoxes();
}

void TestFrmReplaceCipher::scrollingIsLinked_data()
{
    QTest::addColumn<QString>("lineBreak");
    QTest::addColumn<QString>("entryForQ");
    QTest::newRow("line feeds") << u"\n"_s << u"q"_s;
    QTest::newRow("CR LF") << u"\r\n"_s << u"q"_s;
    QTest::newRow("line separators") << u"\u2028"_s << u"q"_s;
    QTest::newRow("entry holding a line break") << u"\n"_s << u"x\r\ny"_s;
    QTest::newRow("entry ending in CR") << u"\n"_s << u"x\r"_s;
}

// The two boxes show the same lines, whichever one is scrolled: each input line starts with its
// number, which the output keeps, so the first line in sight in each box tells where it stands.
void TestFrmReplaceCipher::scrollingIsLinked()
{
    QFETCH(QString, lineBreak);
    QFETCH(QString, entryForQ);
    QString text;
    for (int line = 0; line < 3000; ++line) {
        // Line separators split every other block in two.
        const QString end = lineBreak == u"\u2028" && line % 2 ? u"\n"_s : lineBreak;
        text += u"%1 q abc %2 q"_s.arg(line).arg(QString(80 + line % 10, u'0')) + end;
    }
    keyBox(17)->setText(entryForQ);
    paste(input(), text);
    input()->moveCursor(QTextCursor::Start);
    const int caret = input()->textCursor().position();
    const auto number = [](const QString &line) { return line.left(line.indexOf(u' ')).toInt(); };
    const auto inputTop = [&] {
        QTextCursor top = input()->cursorForPosition(QPoint(1, 1));
        top.movePosition(QTextCursor::StartOfLine);
        top.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
        return number(top.selectedText());
    };
    // An output line that an entry began belongs to the numbered line above it.
    const auto outputTop = [&] {
        qsizetype line = output()->verticalScrollBar()->value();
        while (line > 0 && !outputText().at(output()->lineStart(line)).isDigit())
            --line;
        return number(outputText().mid(output()->lineStart(line), 6));
    };
    QScrollBar *inputBar = input()->verticalScrollBar();
    QScrollBar *outputBar = output()->verticalScrollBar();
    for (int step : {1200, 3, 2500, 777, 0}) {
        inputBar->setValue(step);
        QVERIFY(inputTop() > 0 || step == 0);
        QCOMPARE(outputTop(), inputTop());
        outputBar->setValue(outputBar->maximum() * step / 3000);
        QCOMPARE(inputTop(), outputTop());
    }
    // The wheel over one box scrolls both.
    QWheelEvent wheel(QPointF(50, 30), output()->viewport()->mapToGlobal(QPointF(50, 30)), QPoint(),
                      QPoint(0, -120 * 8), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(output()->viewport(), &wheel);
    QVERIFY(outputBar->value() > 0);
    QCOMPARE(inputTop(), outputTop());
    // Sideways, the same share of each range.
    QScrollBar *inputSideways = input()->horizontalScrollBar();
    QScrollBar *outputSideways = output()->horizontalScrollBar();
    QVERIFY(inputSideways->maximum() > 0 && outputSideways->maximum() > 0);
    inputSideways->setValue(inputSideways->maximum());
    QCOMPARE(outputSideways->value(), outputSideways->maximum());
    outputSideways->setValue(0);
    QCOMPARE(inputSideways->value(), 0);
    // Neither the focus nor the caret moved.
    QCOMPARE(QApplication::focusWidget(), input());
    QCOMPARE(input()->textCursor().position(), caret);
    // Keys that move the caret scroll both boxes too.
    for (const QKeyCombination key :
         {QKeyCombination(Qt::ControlModifier, Qt::Key_Home), QKeyCombination(Qt::Key_PageDown),
          QKeyCombination(Qt::Key_PageDown), QKeyCombination(Qt::ControlModifier, Qt::Key_End),
          QKeyCombination(Qt::Key_PageUp)}) {
        QTest::keyClick(input(), key.key(), key.keyboardModifiers());
        QCOMPARE(outputTop(), inputTop());
    }
}

// An entry may hold line breaks of any kind, one of them two characters long; the output keeps
// them as they are, and typing after them still changes the output in the right place.
void TestFrmReplaceCipher::lineBreaksFromKeyEntries()
{
    keyBox(17)->setText(u"x\r\ny"_s);
    keyBox(2)->setText(u"b\u2029"_s);
    input()->setPlainText(u"q b q"_s);
    input()->setFocus();
    input()->moveCursor(QTextCursor::End);
    QTest::keyClicks(input(), u" b"_s);
    QCOMPARE(outputText(), u"X\r\nY B\u2029 X\r\nY B\u2029"_s);
    QCOMPARE(output()->lineCount(), 5);
    QTest::keyClick(input(), Qt::Key_Backspace);
    QTest::keyClicks(input(), u"ab"_s);
    QCOMPARE(outputText(), u"X\r\nY B\u2029 X\r\nY *B\u2029"_s);
    verifyOutputFollowsBoxes();
}

void TestFrmReplaceCipher::outputKeepsSelection()
{
    input()->setPlainText(u"one two three four five six seven eight nine ten"_s);
    output()->setSelection(4, 7);
    QCOMPARE(output()->selectedText(), u"***"_s);

    // Typing after the selection keeps it; so does a key that changes nothing under it.
    QTextCursor cursor(input()->document());
    cursor.setPosition(20);
    input()->setTextCursor(cursor);
    QTest::keyClicks(input(), u"nn"_s);
    QTest::keyClicks(keyBox(26), u"z"_s);
    QCOMPARE(output()->selectionStart(), 4);
    QCOMPARE(output()->selectedText(), u"***"_s);

    // Typing before it moves it along with its text.
    cursor.setPosition(0);
    input()->setTextCursor(cursor);
    QTest::keyClicks(input(), u"aa "_s);
    QCOMPARE(output()->selectionStart(), 7);
    QCOMPARE(output()->selectedText(), u"***"_s);

    // A key that changes the text under it drops the selection.
    QTest::keyClicks(keyBox(23), u"w"_s);
    QVERIFY(!output()->hasSelection());
    verifyOutputFollowsBoxes();

    // A key that rewrites most of the output, but not what is selected, leaves the selection.
    input()->setPlainText(QString(200, u'e') + u" xyz"_s);
    output()->setSelection(201, 204);
    QTest::keyClicks(keyBox(5), u"q"_s);
    QCOMPARE(outputText().left(3), u"QQQ"_s);
    QCOMPARE(output()->selectionStart(), 201);
    QCOMPARE(output()->selectedText(), u"**Z"_s);
}

void TestFrmReplaceCipher::clearKeyword()
{
    for (int index = 1; index <= LetterCount; ++index)
        keyBox(index)->setText(QString(QChar(u'a' + index - 1)));
    input()->setPlainText(u"Hi there"_s);
    QCOMPARE(outputText(), u"HI THERE"_s);

    QSignalSpy recomputes(output(), &OutputView::textChanged);
    QTest::mouseClick(button(u"cmdClearKeyword"_s), Qt::LeftButton);
    QCOMPARE(outputText(), u"** *****"_s);
    QCOMPARE(input()->toPlainText(), u"Hi there"_s);
    for (int index = 1; index <= LetterCount; ++index)
        QVERIFY(keyBox(index)->text().isEmpty());
    QCOMPARE(recomputes.count(), 1);
    QCOMPARE(QApplication::focusWidget(), button(u"cmdClearKeyword"_s));

    // Undo in any key box brings every entry back in one step; redo empties them again.
    press(keyBox(3), QKeySequence::Undo);
    for (int index = 1; index <= LetterCount; ++index)
        QCOMPARE(keyBox(index)->text(), QString(QChar(u'a' + index - 1)));
    QCOMPARE(outputText(), u"HI THERE"_s);
    press(keyBox(20), QKeySequence::Redo);
    QCOMPARE(outputText(), u"** *****"_s);
    press(keyBox(20), QKeySequence::Undo);
    // Once a box is edited, undo there is the box's own again.
    keyBox(5)->setFocus();
    keyBox(5)->end(false);
    QTest::keyClicks(keyBox(5), u"x"_s);
    press(keyBox(5), QKeySequence::Undo);
    QCOMPARE(keyBox(5)->text(), u"e"_s);
    QCOMPARE(keyBox(1)->text(), u"a"_s);
    verifyOutputFollowsBoxes();
}

void TestFrmReplaceCipher::clearInput()
{
    keyBox(1)->setText(u"z"_s);
    keyBox(2)->setText(u"y"_s);
    input()->setFocus();
    QTest::keyClicks(input(), u"abc"_s);
    QCOMPARE(outputText(), u"ZY*"_s);

    // The keyboard's Space clicks the focused button just as the mouse does.
    button(u"cmdClearInput"_s)->setFocus();
    QTest::keyClick(button(u"cmdClearInput"_s), Qt::Key_Space);
    QVERIFY(input()->toPlainText().isEmpty());
    QVERIFY(outputText().isEmpty());
    QCOMPARE(keyBox(1)->text(), u"z"_s);
    QCOMPARE(keyBox(2)->text(), u"y"_s);
    QCOMPARE(QApplication::focusWidget(), button(u"cmdClearInput"_s));

    // A slip of the mouse loses nothing: undo in the input brings the text back, redo clears.
    press(input(), QKeySequence::Undo);
    QCOMPARE(input()->toPlainText(), u"abc"_s);
    QCOMPARE(outputText(), u"ZY*"_s);
    press(input(), QKeySequence::Redo);
    QVERIFY(input()->toPlainText().isEmpty());
    QVERIFY(outputText().isEmpty());
}

void TestFrmReplaceCipher::pastedCharactersReachExportUnchanged_data()
{
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no-break space and line separator")
        << u"a\u00a0b\u2028c"_s << u"Q\u00a0*\u2028*"_s;
    QTest::newRow("NUL and controls")
        << u"a\u0000\u0001\u001b\u007f\u0085"_s << u"Q\u0000\u0001\u001b\u007f\u0085"_s;
    QTest::newRow("tabs") << u"a\tb"_s << u"Q\t*"_s;
    QTest::newRow("right-to-left and marks") << u"\u05e9\u05dc\u05d5\u05dd a\u200f\u202e"_s
                                             << u"\u05e9\u05dc\u05d5\u05dd Q\u200f\u202e"_s;
    QTest::newRow("combining marks") << u"a\u0301e\u0308"_s << u"Q\u0301*\u0308"_s;
    QTest::newRow("emoji sequences")
        << u"👩‍👩‍👧 👍🏽 🇫🇷"_s << u"👩‍👩‍👧 👍🏽 🇫🇷"_s;
    QTest::newRow("non-characters and private use")
        << u"\ufffe\uffff\ue000"_s + QString::fromUcs4(U"\U0010FFFD")
        << u"\ufffe\uffff\ue000"_s + QString::fromUcs4(U"\U0010FFFD");
    QTest::newRow("lone surrogates") << QString(QChar(0xD800)) + u"a"_s + QChar(0xDC00)
                                     << QString(QChar(0xD800)) + u"Q"_s + QChar(0xDC00);
    QTest::newRow("line feeds") << u"a\nb\n"_s << u"Q\n*\n"_s;
    // The text box keeps lines, not line-break characters: CR LF and CR arrive as LF.
    QTest::newRow("CR LF and CR") << u"a\r\nb\rc"_s << u"Q\n*\n*"_s;
}

void TestFrmReplaceCipher::pastedCharactersReachExportUnchanged()
{
    QFETCH(QString, pasted);
    QFETCH(QString, expected);
    keyBox(1)->setText(u"q"_s);
    paste(input(), pasted);
    QCOMPARE(outputText(), expected);
    QTest::mouseClick(button(u"cmdExit"_s), Qt::LeftButton);
    QCOMPARE(m_record->texts, QStringList{expected + u"\r\nq"_s + QString(25, u'*')});
}

void TestFrmReplaceCipher::exitExports_data()
{
    QTest::addColumn<QStringList>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QStringList empty(LetterCount);
    QStringList onlyA = empty;
    onlyA[0] = u"t"_s;
    QStringList mixed = empty;
    mixed[0] = u"Qu"_s;
    mixed[1] = u" "_s;
    mixed[25] = u"é"_s;
    QTest::newRow("all empty") << empty << QString() << u"\r\n"_s + QString(26, u'*');
    QTest::newRow("A only") << onlyA << u"a b"_s << u"T *\r\nt"_s + QString(25, u'*');
    QTest::newRow("entries as typed")
        << mixed << u"abz"_s << u"QU**\r\nQu "_s + QString(23, u'*') + u"é"_s;
}

void TestFrmReplaceCipher::exitExports()
{
    QFETCH(QStringList, key);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    for (int index = 1; index <= LetterCount; ++index) {
        if (!key[index - 1].isEmpty())
            paste(keyBox(index), key[index - 1]);
    }
    QTest::keyClicks(input(), typed);
    QTest::mouseClick(button(u"cmdExit"_s), Qt::LeftButton);
    QCOMPARE(m_record->texts, QStringList{expected});
    QCOMPARE(m_record->ends, 1);
    QVERIFY(!m_window->isVisible());
}

void TestFrmReplaceCipher::exitReportsFailureAndStillEnds()
{
    m_record->failure = u"the X display could not be reached."_s;
    QString reported;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        reported = box->text();
        box->accept();
    });
    QTest::mouseClick(button(u"cmdExit"_s), Qt::LeftButton);
    QVERIFY(reported.contains(u"could not be put on the clipboard"_s));
    QVERIFY(reported.contains(m_record->failure));
    QCOMPARE(m_record->ends, 1);
}

void TestFrmReplaceCipher::closingLeavesClipboardAlone()
{
    keyBox(1)->setText(u"q"_s);
    QGuiApplication::clipboard()->setText(u"sentinel"_s);
    m_window->close();
    QVERIFY(m_record->texts.isEmpty());
    QCOMPARE(m_record->ends, 0);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"sentinel"_s);
}

QTEST_MAIN(TestFrmReplaceCipher)
#include "tst_frmreplacecipher.moc"
