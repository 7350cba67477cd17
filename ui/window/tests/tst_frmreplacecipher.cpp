// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Tests of the main window's handlers on the offscreen platform, driven through real key
// presses and clicks: the output following every edit, the linked scrolling, the clears and Exit.

#include "windowharness.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QWheelEvent>

#include <memory>

using namespace Qt::StringLiterals;

class TestFrmReplaceCipher : public WindowHarness
{
    Q_OBJECT

private:
    // The output box must always show ApplyKey of what the boxes hold, exactly as it would if
    // the whole of it had just been set.
    void verifyOutputFollowsBoxes() const
    {
        QCOMPARE(outputText(), ApplyKey(entries(), inputText()));
    }

private Q_SLOTS:
    void init() { openWindow(); }
    void cleanup() { m_window.reset(); }

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
    QCOMPARE(outputText().mid(output()->content().lineStart(1000), 8), u"X*** XXX"_s);
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
        while (line > 0 && !outputText().at(output()->content().lineStart(line)).isDigit())
            --line;
        return number(outputText().mid(output()->content().lineStart(line), 6));
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
    QCOMPARE(output()->content().lineCount(), 5);
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
