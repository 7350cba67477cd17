// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What assistive technologies get from the window, through the toolkit's own accessibility
// interfaces (the AT-SPI bridge serves these): roles, names, relations, the read-only output,
// and the announcement of the output. tests/accessibility runs the real AT-SPI stack and Orca.

#include "outputannouncer.h"
#include "windowharness.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestAccessibility : public WindowHarness
{
    Q_OBJECT

private:
    QStringList m_announced;

    static QAccessibleInterface *accessible(QObject *object)
    {
        return QAccessible::queryAccessibleInterface(object);
    }
    QAccessibleTextInterface *outputText() const
    {
        return accessible(control(u"txtOutput"_s))->textInterface();
    }
    QString outputContents() const { return outputText()->text(0, outputText()->characterCount()); }

private Q_SLOTS:
    void init()
    {
        openWindow();
        m_announced.clear();
        connect(m_window->findChild<OutputAnnouncer *>(), &OutputAnnouncer::announced, this,
                [this](const QString &words) { m_announced << words; });
    }
    void cleanup() { m_window.reset(); }

    void windowIsAnApplicationWindow()
    {
        QCOMPARE(accessible(m_window.get())->role(), QAccessible::Window);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        QCOMPARE(accessible(control(QString::fromUtf16(OutputAnnouncer::NoticeName)))->role(),
                 QAccessible::Notification);
#endif
    }

    void boxesAreLabelledByTheirCaptions_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("under A") << u"txtLetter(1)"_s << u"lblCapA(1)"_s << u"Key for A"_s;
        QTest::newRow("under Z") << u"txtLetter(26)"_s << u"lblCapA(26)"_s << u"Key for Z"_s;
        QTest::newRow("input") << u"txtInput"_s << u"Label2"_s
                               << u"Enter text to be decrypted (/ Applied to) here:"_s;
        QTest::newRow("output")
            << u"txtOutput"_s << u"Label3"_s
            << u"View / Copy Applied text here (automatically updated as you type)"_s;
    }

    // A screen reader speaks the label of a labelled box, so the label says what it is for;
    // one that speaks the box's own name too (Orca 48) says it once only where the two agree.
    void boxesAreLabelledByTheirCaptions()
    {
        QFETCH(QString, box);
        QFETCH(QString, caption);
        QFETCH(QString, spoken);
        const auto relations = accessible(control(box))->relations(QAccessible::Label);
        QCOMPARE(relations.size(), 1);
        QCOMPARE(relations.first().first->object(), control(caption));
        QCOMPARE(relations.first().first->text(QAccessible::Name), spoken);
        QCOMPARE(accessible(control(box))->text(QAccessible::Name), spoken);
    }

    // The instruction is said once, as the window first becomes active; the box under A,
    // visited on every round of the key, says only what it is.
    void instructionAnnouncedOnce()
    {
        frmReplaceCipher window;
        QStringList said;
        connect(window.findChild<OutputAnnouncer *>(), &OutputAnnouncer::announced, this,
                [&](const QString &words) { said << words; });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QStringList instruction{control<QLabel>(u"Label1"_s)->text()};
        QTRY_COMPARE(said, instruction);
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::qWait(100);
        QCOMPARE(said, instruction);
        QCOMPARE(accessible(window.findChild<QWidget *>(u"txtLetter(1)"_s))
                     ->text(QAccessible::Description),
                 QString());
    }

    // Only the program writes the output: assistive technologies get no editable text, but
    // read it, a line or a word at a time, and place the caret and the selection.
    void outputReadAndSelectedNotEdited()
    {
        QTest::keyClicks(control(u"txtLetter(1)"_s), u"t"_s);
        control<QLineEdit>(u"txtLetter(2)"_s)->setText(u"x\r\n"_s);
        control<QPlainTextEdit>(u"txtInput"_s)->setPlainText(u"a b\u2028ab a"_s);
        QAccessibleInterface *output = accessible(control(u"txtOutput"_s));
        QVERIFY(!output->editableTextInterface());
        QVERIFY(output->state().readOnly && output->state().multiLine);
        QVERIFY(!output->state().editable);
        QCOMPARE(outputContents(), u"T X\r\n\u2028TX\r\n T"_s);

        // A line is read without its line break, and an offset on the break belongs to it.
        const auto line = [this](int offset, int kind) {
            int start = -1;
            int end = -1;
            const QString text =
                kind == 0
                    ? outputText()->textAtOffset(offset, QAccessible::LineBoundary, &start, &end)
                : kind < 0 ? outputText()->textBeforeOffset(offset, QAccessible::LineBoundary,
                                                            &start, &end)
                           : outputText()->textAfterOffset(offset, QAccessible::LineBoundary,
                                                           &start, &end);
            return std::pair(text, std::pair(start, end));
        };
        QCOMPARE(line(1, 0), std::pair(u"T X"_s, std::pair(0, 3)));
        QCOMPARE(line(3, 0), std::pair(u"T X"_s, std::pair(0, 3)));
        QCOMPARE(line(5, 0), std::pair(QString(), std::pair(5, 5)));
        QCOMPARE(line(0, 1), std::pair(QString(), std::pair(5, 5)));
        QCOMPARE(line(10, -1), std::pair(u"TX"_s, std::pair(6, 8)));
        QCOMPARE(line(12, 0), std::pair(u" T"_s, std::pair(10, 12)));
        QCOMPARE(line(11, 1).second, std::pair(-1, -1));
        // A word runs to the next word's start, over what follows it, but for a line break.
        int start = -1;
        int end = -1;
        QCOMPARE(outputText()->textAtOffset(2, QAccessible::WordBoundary, &start, &end), u"X"_s);
        QCOMPARE(std::pair(start, end), std::pair(2, 3));
        QCOMPARE(outputText()->textAtOffset(1, QAccessible::WordBoundary, &start, &end), u"T "_s);
        // The attributes are one run over the whole text: a screen reader reads a line by runs.
        outputText()->attributes(12, &start, &end);
        QCOMPARE(std::pair(start, end), std::pair(0, 12));

        outputText()->setSelection(0, 6, 8);
        QCOMPARE(control<OutputView>(u"txtOutput"_s)->selectedText(), u"TX"_s);
        int selectionStart = -1;
        int selectionEnd = -1;
        outputText()->selection(0, &selectionStart, &selectionEnd);
        QCOMPARE(std::pair(selectionStart, selectionEnd), std::pair(6, 8));
        QCOMPARE(outputText()->cursorPosition(), 8);
        QVERIFY(outputText()->characterRect(0).isValid());
    }

    void outputAnnouncedOncePaused_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("words");
        QTest::newRow("in the input")
            << QString() << u"txtInput"_s << u"tab"_s << u"Applied text: Q**"_s;
        QTest::newRow("in a key box")
            << u"tab"_s << u"txtLetter(2)"_s << u"x"_s << u"Applied text: Q*X"_s;
        QTest::newRow("a change on line 2 only")
            << u"t\nab"_s << u"txtLetter(2)"_s << u"x"_s << u"Applied text line 2: *X"_s;
        QTest::newRow("a change on several lines")
            << u"a\nt\na"_s << u"txtLetter(1)"_s << u"k"_s
            << u"Applied text line 1: K; 2 more lines changed"_s;
        QTest::newRow("a new line")
            << u"tab"_s << u"txtInput"_s << u"\rat"_s << u"Applied text line 2: *Q"_s;
        QTest::newRow("typed fast, said once at the end")
            << QString() << u"txtInput"_s << QString(101, u't')
            << u"Applied text: …"_s + QString(80, u'Q');
    }

    // Once typing pauses, the changed line is said, once, wherever in the key or the input the
    // focus is; nothing while the output stays the same.
    void outputAnnouncedOncePaused()
    {
        QFETCH(QString, input);
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, words);
        QTest::keyClicks(control(u"txtLetter(20)"_s), u"q"_s);
        control<QPlainTextEdit>(u"txtInput"_s)->setPlainText(input);
        QTest::qWait(OutputAnnouncer::PauseMs * 2);
        m_announced.clear();
        control(box)->setFocus();
        control<QPlainTextEdit>(u"txtInput"_s)->moveCursor(QTextCursor::End);
        QTest::keyClicks(control(box), typed);
        QTRY_COMPARE(m_announced, QStringList{words});
        QTest::qWait(OutputAnnouncer::PauseMs * 2);
        QCOMPARE(m_announced, QStringList{words});
        QTest::keyClicks(control(u"txtLetter(26)"_s), u"w"_s); // Z is in no text: no change
        QTest::qWait(OutputAnnouncer::PauseMs * 2);
        QCOMPARE(m_announced, QStringList{words});
    }

    // The clear buttons say what they did, at once.
    void clearsAnnounceTheirResult()
    {
        QTest::keyClicks(control(u"txtLetter(8)"_s), u"q"_s);
        control<QPlainTextEdit>(u"txtInput"_s)->setPlainText(u"Hi"_s);
        QTest::qWait(OutputAnnouncer::PauseMs * 2);
        m_announced.clear();
        QTest::mouseClick(control<QPushButton>(u"cmdClearKeyword"_s), Qt::LeftButton);
        QCOMPARE(m_announced, QStringList{u"Keyword cleared. Applied text: **"_s});
        QTest::mouseClick(control<QPushButton>(u"cmdClearInput"_s), Qt::LeftButton);
        QCOMPARE(m_announced.last(), u"Input text cleared. Applied text: empty"_s);
    }

    void announcementExcerpts_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("lineNumber");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("moreLines");
        QTest::addColumn<QString>("expected");
        const QString eighty = QString(80, u'A');
        QTest::newRow("empty") << QString() << 0 << 1 << 0 << 0 << 0 << u"Applied text: empty"_s;
        QTest::newRow("short") << u"Q *"_s << 0 << 1 << 2 << 3 << 0 << u"Applied text: Q *"_s;
        QTest::newRow("a blank line of several")
            << QString() << 2 << 5 << 0 << 0 << 0 << u"Applied text line 3: blank"_s;
        QTest::newRow("exactly the limit")
            << eighty << 0 << 1 << 0 << 1 << 0 << u"Applied text: "_s + eighty;
        QTest::newRow("long, changed at the start")
            << eighty + u"BC"_s << 0 << 1 << 0 << 1 << 0 << u"Applied text: "_s + eighty + u'…';
        QTest::newRow("long, changed at the end")
            << u"BC"_s + eighty << 0 << 1 << 81 << 82 << 0 << u"Applied text: …"_s + eighty;
        QTest::newRow("long, changed all through: its end")
            << u"BC"_s + eighty << 0 << 1 << 0 << 82 << 0 << u"Applied text: …"_s + eighty;
        QTest::newRow("more lines changed")
            << u"K"_s << 0 << 3 << 0 << 1 << 2 << u"Applied text line 1: K; 2 more lines changed"_s;
        // 79 letters and a pair that the cut would split: the pair stays whole or goes.
        const QString pair = u"👍"_s;
        QTest::newRow("pair at the end's cut")
            << QString(79, u'A') + pair + u"B"_s << 0 << 1 << 0 << 1 << 0
            << u"Applied text: "_s + QString(79, u'A') + u'…';
        QTest::newRow("pair at the start's cut")
            << u"B"_s + pair + QString(79, u'A') << 0 << 1 << 81 << 82 << 0
            << u"Applied text: …"_s + QString(79, u'A');
    }

    void announcementExcerpts()
    {
        QFETCH(QString, line);
        QFETCH(int, lineNumber);
        QFETCH(int, lineCount);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, moreLines);
        QFETCH(QString, expected);
        QCOMPARE(announcementOf(line, lineNumber, lineCount, from, to, moreLines), expected);
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
