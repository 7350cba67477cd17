// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Tests of how the Wayland export judges what the clipboard offers back: each row is one offer
// of a fake clipboard, its bytes under each of its types.

#include "keeperoffer.h"

#include <QMimeData>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestKeeperOffer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void offered_data();
    void offered();
};

namespace {

// An export with a line break, a letter beyond Latin-1 and an emoji, as the key ends it.
const QString Exported = u"URYYB, JBEYQ\nĲ \U0001F600\nNOPQRSTUVWXYZABCDEFGHIJKLM"_s;
const QString Utf8 = u"text/plain;charset=utf-8"_s;
const QString Plain = u"text/plain"_s;

} // namespace

void TestKeeperOffer::offered_data()
{
    QTest::addColumn<QStringList>("types"); // none: the clipboard offers nothing
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ours");
    QTest::addColumn<OfferedBack>("expected");

    const QByteArray text = Exported.toUtf8();
    QTest::newRow("the very text")
        << QStringList{Utf8, Plain} << text << false << OfferedBack::TheText;
    QTest::newRow("the very text, as plain text alone")
        << QStringList{Plain} << text << false << OfferedBack::TheText;
    QTest::newRow("the program's own selection still")
        << QStringList{Utf8, Plain} << text << true << OfferedBack::Nothing;
    QTest::newRow("nothing offered") << QStringList() << text << false << OfferedBack::Nothing;
    QTest::newRow("no text offered")
        << QStringList{u"image/png"_s} << text << false << OfferedBack::Nothing;
    QTest::newRow("an empty text")
        << QStringList{Utf8, Plain} << QByteArray() << false << OfferedBack::AnotherText;
    QTest::newRow("another text") << QStringList{Utf8, Plain} << "HELLO, WORLD"_ba << false
                                  << OfferedBack::AnotherText;
    QTest::newRow("the text cut short")
        << QStringList{Utf8, Plain} << text.chopped(1) << false << OfferedBack::AnotherText;
    QTest::newRow("the text and a line break")
        << QStringList{Utf8, Plain} << QByteArray(text + '\n') << false << OfferedBack::AnotherText;
}

void TestKeeperOffer::offered()
{
    QFETCH(QStringList, types);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ours);
    QFETCH(OfferedBack, expected);
    std::unique_ptr<QMimeData> offer;
    if (!types.isEmpty()) {
        offer = std::make_unique<QMimeData>();
        for (const QString &type : types)
            offer->setData(type, bytes);
    }
    QCOMPARE(offeredBack(offer.get(), ours, Exported), expected);
}

QTEST_GUILESS_MAIN(TestKeeperOffer)
#include "tst_keeperoffer.moc"
