// Tests of the main window on the offscreen platform: its layout, focus order and captions, and
// its handlers driven through real key presses and clicks.

#include "clipboardexport.h"
#include "frmreplacecipher.h"
#include "outputview.h"
#include "substitution.h"
#include "wrappingpushbutton.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

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
    QLineEdit *keyBox(int index) const
    {
        return control<QLineEdit>(letterName("txtLetter", index));
    }
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
    void captionsFit();
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
        QTest::addRow("txtLetter(%d)", k) << letterName("txtLetter", k) << u"QLineEdit"_s
                                          << twips(left, 600, 255, 285) << QString();
    }
    QTest::newRow("Label2") << u"Label2"_s << u"QLabel"_s << twips(120, 960, 6255, 255)
                            << u"Enter text to be decrypted (/ Applied to) here:"_s;
    QTest::newRow("txtInput") << u"txtInput"_s << u"QPlainTextEdit"_s
                              << twips(120, 1200, 6255, 1575) << QString();
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

void TestFrmReplaceCipher::captionsFit()
{
    for (QLabel *label : m_window->findChildren<QLabel *>()) {
        const QFontMetricsF metrics(label->font());
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->contentsRect().width(),
                 qPrintable(label->objectName()));
        QVERIFY2(metrics.height() <= label->contentsRect().height(),
                 qPrintable(label->objectName()));
        // Only a caption that would not fit gives up the default font.
        if (QFontMetricsF(QApplication::font()).horizontalAdvance(label->text()) <=
            label->contentsRect().width())
            QCOMPARE(label->font().pointSizeF(), QApplication::font().pointSizeF());
        QVERIFY2(label->font().pointSizeF() >= 5, qPrintable(label->objectName()));
    }
    for (auto *pushButton : m_window->findChildren<WrappingPushButton *>()) {
        const QRect box = pushButton->captionRect();
        const QRect needed =
            QFontMetrics(pushButton->font())
                .boundingRect(box, WrappingPushButton::CaptionFlags, pushButton->text());
        QVERIFY2(box.contains(needed), qPrintable(pushButton->objectName()));
    }
    // A key box shows a wide capital whole.
    keyBox(13)->setText(u"W"_s);
    const QFontMetrics metrics(keyBox(13)->font());
    QVERIFY(metrics.horizontalAdvance(u'W') <= keyBox(13)->contentsRect().width() - 4);
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

// A long text that scrolls both ways; the box's scroll position survives a change of the key,
// which rewrites every line, and typing in the input, which rewrites one.
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

    QTextCursor cursor(input()->document());
    cursor.setPosition(5);
    input()->setTextCursor(cursor);
    QTest::keyClicks(input(), u"lll"_s);
    QCOMPARE(outputText().left(8), u"X*** XXX"_s);
    QCOMPARE(vertical->value(), 1000);
    QCOMPARE(horizontal->value(), 20);
    verifyOutputFollowsBoxes();
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
