// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Tests of the changed-span search that lets the output box replace only what changed.

#include "changedspan.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestChangedSpan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void span_data();
    void span();
};

void TestChangedSpan::span_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<qsizetype>("start");
    QTest::addColumn<qsizetype>("beforeEnd");
    QTest::addColumn<qsizetype>("afterEnd");

    QTest::newRow("equal") << u"abc"_s << u"abc"_s << qsizetype(3) << qsizetype(3) << qsizetype(3);
    QTest::newRow("both empty") << QString() << QString() << qsizetype(0) << qsizetype(0)
                                << qsizetype(0);
    QTest::newRow("from empty") << QString() << u"ab"_s << qsizetype(0) << qsizetype(0)
                                << qsizetype(2);
    QTest::newRow("to empty") << u"ab"_s << QString() << qsizetype(0) << qsizetype(2)
                              << qsizetype(0);
    QTest::newRow("one replaced") << u"abcde"_s << u"abXde"_s << qsizetype(2) << qsizetype(3)
                                  << qsizetype(3);
    QTest::newRow("inserted at start")
        << u"bc"_s << u"abc"_s << qsizetype(0) << qsizetype(0) << qsizetype(1);
    QTest::newRow("appended") << u"ab"_s << u"abc"_s << qsizetype(2) << qsizetype(2)
                              << qsizetype(3);
    // Prefix and suffix would overlap in a run of equal characters; they must not.
    QTest::newRow("one of a run removed")
        << u"aaa"_s << u"aa"_s << qsizetype(2) << qsizetype(3) << qsizetype(2);
    QTest::newRow("one added to a run")
        << u"aa"_s << u"aaa"_s << qsizetype(2) << qsizetype(2) << qsizetype(3);

    // Differences on either side of the block size the search compares with memcmp.
    const QString book = QString(10'000, u'x');
    for (const qsizetype at :
         {qsizetype(0), qsizetype(2047), qsizetype(2048), qsizetype(4097), qsizetype(9999)}) {
        QString changed = book;
        changed[at] = u'y';
        QTest::addRow("long, changed at %lld", static_cast<long long>(at))
            << book << changed << at << at + 1 << at + 1;
    }
    QString inserted = book;
    inserted.insert(6000, u"zz"_s);
    QTest::newRow("long, inserted")
        << book << inserted << qsizetype(6000) << qsizetype(6000) << qsizetype(6002);
}

void TestChangedSpan::span()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(qsizetype, start);
    QFETCH(qsizetype, beforeEnd);
    QFETCH(qsizetype, afterEnd);
    const ChangedSpan found = changedSpan(before, after);
    QCOMPARE(found.start, start);
    QCOMPARE(found.beforeEnd, beforeEnd);
    QCOMPARE(found.afterEnd, afterEnd);
    // The span says all there is to say: splicing it in gives the new text.
    QCOMPARE(QString(before).replace(start, beforeEnd - start, after.mid(start, afterEnd - start)),
             after);
}

QTEST_GUILESS_MAIN(TestChangedSpan)
#include "tst_changedspan.moc"
