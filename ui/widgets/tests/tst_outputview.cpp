// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The output view on its own: its lines for every kind of line break, the cursor and the
// selection by keyboard and mouse, copying, scrolling, and lines long enough to be laid out in
// pieces.

#include "outputview.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

class TestOutputView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<OutputView> m_view;

    QPoint centreOf(qsizetype offset) const { return m_view->characterRect(offset).center(); }
    QWidget *viewport() const { return m_view->viewport(); }
    void press(const QStringList &keys) const
    {
        for (const QString &key : keys) {
            const QKeyCombination combination = QKeySequence::fromString(key)[0];
            QTest::keyClick(m_view.get(), combination.key(), combination.keyboardModifiers());
        }
    }
    // How many pixels of area the view paints in the selection colour.
    int highlighted(const QRect &area) const
    {
        const QImage image = viewport()->grab().toImage();
        const QColor highlight = m_view->palette().color(QPalette::Highlight);
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += image.pixelColor(QPoint(x, y) * image.devicePixelRatio()) == highlight;
        return count;
    }
    QStringList lines() const
    {
        QStringList found;
        for (qsizetype line = 0; line < m_view->content().lineCount(); ++line)
            found << m_view->text().mid(m_view->content().lineStart(line),
                                        m_view->content().lineEnd(line) -
                                            m_view->content().lineStart(line));
        return found;
    }

private Q_SLOTS:
    void init()
    {
        m_view = std::make_unique<OutputView>();
        m_view->resize(400, 120);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->setFocus();
    }
    void cleanup() { m_view.reset(); }

    void lineBreaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QString() << QStringList{u""_s};
        QTest::newRow("line feed") << u"ab\ncd"_s << QStringList{u"ab"_s, u"cd"_s};
        QTest::newRow("CR LF is one break") << u"ab\r\ncd"_s << QStringList{u"ab"_s, u"cd"_s};
        QTest::newRow("carriage return") << u"ab\rcd"_s << QStringList{u"ab"_s, u"cd"_s};
        QTest::newRow("line separator") << u"ab\u2028cd"_s << QStringList{u"ab"_s, u"cd"_s};
        QTest::newRow("paragraph separator") << u"ab\u2029cd"_s << QStringList{u"ab"_s, u"cd"_s};
        QTest::newRow("LF CR is two") << u"a\n\rb"_s << QStringList{u"a"_s, u""_s, u"b"_s};
        QTest::newRow("CR then CR LF") << u"a\r\r\nb"_s << QStringList{u"a"_s, u""_s, u"b"_s};
        QTest::newRow("break at the end") << u"a\r\n"_s << QStringList{u"a"_s, u""_s};
        QTest::newRow("other characters are kept")
            << u"\t\u00a0\u0085\u000b\u000c\ufdd0"_s
            << QStringList{u"\t\u00a0\u0085\u000b\u000c\ufdd0"_s};
    }

    // Each kind of line break ends a line, and the text stays exactly as it was set.
    void lineBreaks()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        m_view->setText(text);
        QCOMPARE(m_view->text(), text);
        QCOMPARE(this->lines(), lines);
        m_view->grab(); // and it paints
    }

    void keyboardSelection_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("selected");
        QTest::newRow("Shift+Right twice")
            << u"abc\ndef"_s << QStringList{u"Shift+Right"_s, u"Shift+Right"_s} << u"ab"_s;
        QTest::newRow("Shift+End") << u"abc\ndef"_s << QStringList{u"Shift+End"_s} << u"abc"_s;
        QTest::newRow("Shift+Down keeps the column")
            << u"abc\ndef"_s << QStringList{u"Right"_s, u"Shift+Down"_s} << u"bc\nd"_s;
        QTest::newRow("Shift+Left from the end back over a line")
            << u"ab\ncd"_s
            << QStringList{u"Ctrl+End"_s, u"Shift+Left"_s, u"Shift+Left"_s, u"Shift+Left"_s}
            << u"\ncd"_s;
        QTest::newRow("CR LF is one step")
            << u"ab\r\ncd"_s << QStringList{u"End"_s, u"Shift+Right"_s} << u"\r\n"_s;
        QTest::newRow("Shift+Ctrl+End")
            << u"ab\r\ncd\u2028e"_s << QStringList{u"Shift+Ctrl+End"_s} << u"ab\r\ncd\u2028e"_s;
        QTest::newRow("Shift+Home after Shift+End")
            << u"abc"_s << QStringList{u"End"_s, u"Shift+Home"_s} << u"abc"_s;
        QTest::newRow("Ctrl+A") << u"ab\ncd"_s << QStringList{u"Ctrl+A"_s} << u"ab\ncd"_s;
        QTest::newRow("a word") << u"one two"_s << QStringList{u"Shift+Ctrl+Right"_s} << u"one "_s;
        QTest::newRow("combining mark stays with its letter")
            << u"e\u0301x"_s << QStringList{u"Shift+Right"_s} << u"e\u0301"_s;
        QTest::newRow("surrogate pair") << u"😀x"_s << QStringList{u"Shift+Right"_s} << u"😀"_s;
        QTest::newRow("right-to-left text steps logically")
            << u"\u05e9\u05dc\u05d5\u05dd"_s << QStringList{u"Shift+Right"_s, u"Shift+Right"_s}
            << u"\u05e9\u05dc"_s;
        QTest::newRow("Shift+Up on the first line goes to the start")
            << u"abc"_s << QStringList{u"End"_s, u"Shift+Up"_s} << u"abc"_s;
    }

    void keyboardSelection()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, keys);
        QFETCH(QString, selected);
        m_view->setText(text);
        press(keys);
        QCOMPARE(m_view->selectedText(), selected);
        // Copied exactly, line breaks as they are.
        QTest::keyClick(m_view.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), selected);
    }

    // Dragging selects, and the selection is drawn in the platform's selection colour; Shift
    // extends it, a double click takes a word and a third click the line.
    void mouseSelection()
    {
        m_view->setText(u"alpha beta gamma\nsecond line"_s);
        QTest::mousePress(viewport(), Qt::LeftButton, {}, centreOf(6) - QPoint(2, 0));
        QTest::mouseMove(viewport(), centreOf(9) + QPoint(2, 0));
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, centreOf(9) + QPoint(2, 0));
        QCOMPARE(m_view->selectedText(), u"beta"_s);
        const QRect word = m_view->characterRect(6).united(m_view->characterRect(9));
        QVERIFY(highlighted(word) > word.width() * word.height() / 3);
        QCOMPARE(highlighted(m_view->characterRect(0).united(m_view->characterRect(4))), 0);

        QTest::mouseClick(viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          centreOf(13) + QPoint(2, 0));
        QCOMPARE(m_view->selectedText(), u"beta gam"_s);

        QTest::mouseDClick(viewport(), Qt::LeftButton, {}, centreOf(12));
        QCOMPARE(m_view->selectedText(), u"gamma"_s);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, centreOf(12));
        QCOMPARE(m_view->selectedText(), u"alpha beta gamma"_s);

        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, centreOf(20) - QPoint(2, 0));
        QVERIFY(!m_view->hasSelection());
        QCOMPARE(m_view->position(), 20);
    }

    // Holding the button past the bottom edge scrolls and selects on.
    void dragPastTheEdgeScrolls()
    {
        QString text;
        for (int line = 0; line < 200; ++line)
            text += u"line %1\n"_s.arg(line);
        m_view->setText(text);
        QTest::mousePress(viewport(), Qt::LeftButton, {}, centreOf(0) - QPoint(2, 0));
        QTest::mouseMove(viewport(), QPoint(20, viewport()->height() + 30));
        QTRY_VERIFY(m_view->verticalScrollBar()->value() > 5);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, QPoint(20, viewport()->height() + 30));
        QCOMPARE(m_view->selectionStart(), 0);
        QVERIFY(m_view->content().lineOf(m_view->selectionEnd()) > 5);
    }

    // The cursor stays in sight: Ctrl+End scrolls to the last line, End of a long line sideways,
    // Page Down a page at a time.
    void cursorKeptInSight()
    {
        QString text;
        for (int line = 0; line < 100; ++line)
            text += u"line %1 "_s.arg(line).repeated(line == 50 ? 40 : 1) + u'\n';
        m_view->setText(text);
        QScrollBar *vertical = m_view->verticalScrollBar();
        QScrollBar *horizontal = m_view->horizontalScrollBar();
        QVERIFY(horizontal->maximum() > 0);

        press({u"PgDown"_s});
        QVERIFY(vertical->value() > 0);
        QCOMPARE(m_view->content().lineOf(m_view->position()), vertical->pageStep());

        press({u"Ctrl+End"_s});
        QCOMPARE(vertical->value(), vertical->maximum());
        const qsizetype line50 = m_view->content().lineStart(50);
        m_view->setSelection(line50, line50);
        press({u"End"_s});
        QCOMPARE(m_view->position(), m_view->content().lineEnd(50));
        QVERIFY(horizontal->value() > 0);
        QVERIFY(viewport()->rect().contains(m_view->characterRect(m_view->position()).center()));
        press({u"Home"_s});
        QCOMPARE(horizontal->value(), 0);
    }

    void longLineInPieces_data()
    {
        QTest::addColumn<qsizetype>("offset");
        for (qsizetype offset : {0, 1023, 1025, 1026, 2048, 2049, 2050, 4999})
            QTest::addRow("%lld", qlonglong(offset)) << offset;
    }

    // A line laid out in pieces still maps each character to one place and back, across the
    // pieces' edges, and a combining mark at an edge stays with its letter.
    void longLineInPieces()
    {
        QFETCH(qsizetype, offset);
        QString line;
        for (int i = 0; i < 5000; ++i)
            line += QChar(u'A' + i % 26);
        line[1024] = QChar(0x0301);
        m_view->setText(line + u"\nshort"_s);
        m_view->setSelection(offset, offset);
        const QRect character = m_view->characterRect(offset);
        QVERIFY(viewport()->rect().contains(character.topLeft()));
        const qsizetype hit =
            m_view->offsetAt(character.center() - QPoint(character.width() / 4, 0));
        QCOMPARE(hit, offset);
        m_view->setSelection(1023, 1023);
        press({u"Shift+Right"_s});
        QCOMPARE(m_view->selectedText(), QString(line.mid(1023, 2)));
        m_view->grab();
    }

    // The context menu copies and selects all, as in the toolkit's text boxes.
    void contextMenu()
    {
        m_view->setText(u"ab\r\ncd"_s);
        const auto choose = [this](const QString &prefix) {
            QTimer::singleShot(50, this, [prefix] {
                auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                QVERIFY(menu);
                for (QAction *action : menu->actions()) {
                    if (action->text().startsWith(prefix)) {
                        QVERIFY(action->isEnabled());
                        action->trigger();
                    }
                }
                menu->close();
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, centreOf(1),
                                    viewport()->mapToGlobal(centreOf(1)));
            QApplication::sendEvent(viewport(), &event);
        };
        choose(u"Select All"_s);
        QCOMPARE(m_view->selectedText(), u"ab\r\ncd"_s);
        QGuiApplication::clipboard()->clear();
        choose(u"&Copy"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"ab\r\ncd"_s);
    }
};

QTEST_MAIN(TestOutputView)
#include "tst_outputview.moc"
