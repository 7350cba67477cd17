// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The output's text on its own, without a widget: its line index kept up to date edit by edit.

#include "changedspan.h"
#include "outputtext.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

class TestOutputText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Typing changes a line or two, and only those are indexed again: after any small edit the
    // lines and the widest line are what indexing the whole text gives.
    void editsKeepTheLineIndex()
    {
        const QStringList pieces = {
            u"a"_s,      u"\n"_s,  u"\r"_s,   u"\r\n"_s,           u"\u2028"_s,
            u"\u2029"_s, u"xyz"_s, u"\n\r"_s, u"wide line wide"_s, u""_s};
        const auto measure = [](char16_t unit) { return qreal(unit % 7 + 1); };
        QString text;
        for (int line = 0; line < 100; ++line)
            text += u"line %1 "_s.arg(line) + pieces[line % pieces.size()];
        OutputText edited;
        edited.setMeasure(measure);
        edited.setText(text, changedSpan(QString(), text));
        QRandomGenerator random(7);
        for (int step = 0; step < 300; ++step) {
            const QString before = text;
            const qsizetype at = random.bounded(text.size() + 1);
            const qsizetype removed = random.bounded(std::min<qsizetype>(3, text.size() - at) + 1);
            text.replace(at, removed, pieces[random.bounded(pieces.size())]);
            edited.setText(text, changedSpan(before, text));
            OutputText whole;
            whole.setText(text, {});
            whole.setMeasure(measure); // indexed whole
            QCOMPARE(edited.lineCount(), whole.lineCount());
            for (qsizetype line = 0; line < whole.lineCount(); ++line)
                QCOMPARE(edited.lineStart(line), whole.lineStart(line));
            QCOMPARE(edited.widestLine(), whole.widestLine());
        }
    }
};

QTEST_GUILESS_MAIN(TestOutputText)
#include "tst_outputtext.moc"
