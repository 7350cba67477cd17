// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Hostile input through the real window: huge entries and texts, one enormous line, control
// characters, lone surrogates, bidirectional text, combining marks and emoji sequences. The
// window must not crash, must lose or alter no character other than A-Z, and must stay usable.

#include "outputannouncer.h"
#include "windowharness.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// English-like lines of the given length until the text has size characters.
QString bookText(qsizetype size, int lineLength)
{
    const QString words = u"the quick brown fox jumps over the lazy dog, "_s;
    QString text;
    text.reserve(size);
    while (text.size() < size) {
        for (int column = 0; column < lineLength - 1 && text.size() < size; ++column)
            text += words[column % words.size()];
        if (text.size() < size)
            text += u'\n';
    }
    return text;
}

} // namespace

class TestHostileInput : public WindowHarness
{
    Q_OBJECT

private:
    QString exported() const { return m_record->texts.value(0); }
    // Exit's text is ApplyKey of the boxes as they are, and the window still answers keys.
    void verifyExportAndResponse()
    {
        const QString expected = ExportText(ApplyKey(entries(), inputText()), KeyString(entries()));
        QTest::mouseClick(m_window->findChild<QPushButton *>(u"cmdExit"_s), Qt::LeftButton);
        QVERIFY(exported() == expected);
        keyBox(26)->setFocus();
        QTest::keyClick(keyBox(26), Qt::Key_Z);
        QCOMPARE(keyBox(26)->text(), u"z"_s);
    }

private Q_SLOTS:
    void init();
    void cleanup();

    void millionCharacterEntry();
    void tenMegabytePaste();
    void oneMegabyteSingleLine();
    void strangeCharactersInKeyBoxes_data();
    void strangeCharactersInKeyBoxes();
    void outputOfBillionsOfCharacters();
};

void TestHostileInput::init()
{
    openWindow();
}

void TestHostileInput::cleanup()
{
    m_window.reset();
}

void TestHostileInput::millionCharacterEntry()
{
    const QString entry = u"k"_s + QString(999'999, u'é');
    paste(keyBox(1), entry);
    QCOMPARE(keyBox(1)->text().size(), 1'000'000);
    paste(input(), u"a, b; a"_s);
    const QString piece = u"K"_s + QString(999'999, u'É');
    QVERIFY(output()->text() == piece + u", *; "_s + piece);
    verifyExportAndResponse();
}

void TestHostileInput::tenMegabytePaste()
{
    keyBox(20)->setText(u"q"_s);
    const QString text = bookText(10 * 1024 * 1024, 70);
    paste(input(), text);
    QCOMPARE(input()->document()->characterCount(), text.size() + 1);
    const QString shown = output()->text();
    QCOMPARE(shown.size(), text.size());
    QVERIFY(shown == ApplyKey(entries(), text));
    verifyExportAndResponse();
}

void TestHostileInput::oneMegabyteSingleLine()
{
    const QString line = bookText(1024 * 1024, 2 * 1024 * 1024);
    QVERIFY(!line.contains(u'\n'));
    paste(input(), line);
    // Typing in the middle of the line, then a key that changes the whole of it.
    QTextCursor cursor = input()->textCursor();
    cursor.setPosition(512 * 1024);
    input()->setTextCursor(cursor);
    QTest::keyClick(input(), Qt::Key_X);
    keyBox(24)->setText(u"y"_s);
    QString expected = line;
    expected.insert(512 * 1024, u'x');
    QVERIFY(output()->text() == ApplyKey(entries(), expected));
    verifyExportAndResponse();
}

void TestHostileInput::strangeCharactersInKeyBoxes_data()
{
    QTest::addColumn<QString>("entry");
    QTest::newRow("NUL and controls") << u"k"_s + QChar(0) + u"\u0001\u001b\u007f"_s;
    QTest::newRow("line breaks") << u"k\r\n\n\r\u2028\u2029"_s;
    QTest::newRow("lone surrogates") << u"k"_s + QChar(0xDC00) + QChar(0xD800);
    QTest::newRow("right-to-left override") << u"k\u202e\u05e9\u05dc\u05d5\u05dd"_s;
    QTest::newRow("combining marks") << u"k\u0301\u0308\u0327"_s;
    QTest::newRow("emoji sequences") << u"k👩‍👩‍👧👍🏽🇫🇷"_s;
    QTest::newRow("document frame markers") << u"k\ufdd0\ufdd1"_s;
}

void TestHostileInput::strangeCharactersInKeyBoxes()
{
    QFETCH(QString, entry);
    keyBox(1)->setText(entry);
    paste(input(), u"a-b\na"_s);
    QCOMPARE(keyBox(1)->text(), entry);
    // The output box keeps every character as it is, line breaks too, and Exit exports them.
    verifyExportAndResponse();
    QVERIFY(exported().startsWith(SimpleUpperCase(entry) + u"-*\n"_s + SimpleUpperCase(entry)));
    QVERIFY(exported().endsWith(u"\r\n"_s + entry + QString(25, u'*')));
}

void TestHostileInput::outputOfBillionsOfCharacters()
{
    // 100,000 lines of "a" under an entry of 100,000 characters: ten billion characters of
    // output, which the window cuts where memory would run short (at a limit of the test's
    // here), and says so in the output box, to a screen reader, and at Exit.
    const qsizetype limit = 1 << 22;
    m_window->setOutputLimit([limit](qsizetype) { return limit; });
    QSignalSpy announced(m_window->findChild<OutputAnnouncer *>(), &OutputAnnouncer::announced);
    const QString entry = u"k"_s + QString(99'999, u'x');
    paste(keyBox(1), entry);
    paste(input(), u"a\n"_s.repeated(100'000));
    const QString shown = output()->text();
    QCOMPARE(shown.size(), limit);
    const QString line = entry.toUpper() + u'\n';
    QVERIFY(shown == line.repeated(limit / line.size() + 1).left(limit));
    const QLocale locale = m_window->locale();
    const QString counts = locale.toString(limit) + u" of "_s + locale.toString(10'000'100'000);
    QVERIFY(output()->notice().contains(counts));
    QVERIFY(output()->findChild<QLabel *>(u"notice"_s)->isVisible());
    QCOMPARE(announced.count(), 1);
    QVERIFY(announced.first().first().toString().contains(counts));
    QString reported;
    QTimer::singleShot(0, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            reported = box->text();
            box->accept();
        }
    });
    QTest::mouseClick(m_window->findChild<QPushButton *>(u"cmdExit"_s), Qt::LeftButton);
    QVERIFY(reported.startsWith(u"Only the first "_s + counts));
    QVERIFY(exported().startsWith(shown + u"\r\n"_s));
    keyBox(1)->setFocus();
    QTest::keyClick(keyBox(1), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(keyBox(1), Qt::Key_Q);
    QVERIFY(output()->text() == u"Q\n"_s.repeated(100'000));
    QVERIFY(output()->notice().isEmpty());
}

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
