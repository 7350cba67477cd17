// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Tests of the substitution engine: the key table, the transform, the key string, the export text.

#include "plainreference.h"
#include "substitution.h"

#include <QMap>
#include <QRandomGenerator>
#include <QTest>
#include <QVersionNumber>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>

using namespace Qt::StringLiterals;
using namespace PlainReference;

namespace {

// A key with the given entries and every other entry empty, e.g. keyWith({{'A', u"t"_s}}).
QStringList keyWith(std::initializer_list<std::pair<char, QString>> entries)
{
    QStringList key(LetterCount);
    for (const auto &[letter, entry] : entries)
        key[letter - 'A'] = entry;
    return key;
}

KeyEntries toEntries(const QStringList &key)
{
    KeyEntries entries;
    std::copy(key.begin(), key.end(), entries.begin());
    return entries;
}

// One entry for each character of a 26-character alphabet.
QStringList eachCharacter(const QString &alphabet)
{
    return alphabet.split(QString(), Qt::SkipEmptyParts);
}

// Simple upper-case mappings, code point to code point.
using Mappings = QMap<uint, uint>;

QString stars(int count)
{
    return QString(count, u'*');
}

// Random code points from every plane, weighted towards what texts and keys hold; with
// asciiOnly, letters, digits and punctuation alone, in the long runs that whole texts have.
char32_t randomCodePoint(QRandomGenerator &random, bool asciiOnly)
{
    static const char32_t specials[] = {U'ß',
                                        U'ı',
                                        U'ſ',
                                        U'é',
                                        U'ÿ',
                                        U'ǅ',
                                        U'ǰ',
                                        U'ΐ',
                                        U'ς',
                                        U'ﬀ',
                                        U'ᾳ',
                                        U'\r',
                                        U'\n',
                                        U'\t',
                                        0,
                                        0x10428 /* Deseret, has a simple upper-case */,
                                        0x1F600 /* emoji */,
                                        0xD800,
                                        0xDBFF,
                                        0xDC00,
                                        0xDFFF /* lone surrogates */,
                                        0xFFFF,
                                        0x10FFFF};
    switch (random.bounded(asciiOnly ? 4 : 8)) {
    case 0:
    case 1:
        return U'a' + random.bounded(26);
    case 2:
        return U'A' + random.bounded(26);
    case 3:
        return U' ' + random.bounded(0x5F);
    case 4:
        return specials[random.bounded(int(std::size(specials)))];
    case 5:
        return 0x80 + random.bounded(0x0700); // Latin, Greek, Cyrillic, Armenian, Hebrew ...
    case 6:
        return random.bounded(0x10000);
    default:
        return random.bounded(0x110000);
    }
}

QString randomText(QRandomGenerator &random, int maxLength, bool asciiOnly)
{
    Ucs4 text;
    for (int i = random.bounded(maxLength + 1); i > 0; --i)
        text += randomCodePoint(random, asciiOnly);
    return encode(text);
}

} // namespace

class TestSubstitution : public QObject
{
    Q_OBJECT

private:
    Reference m_reference;

private Q_SLOTS:
    void initTestCase();

    void missingEntries_data();
    void missingEntries();
    void severalCharacters_data();
    void severalCharacters();
    void passThrough_data();
    void passThrough();
    void upperCasing_data();
    void upperCasing();
    void outputLimit_data();
    void outputLimit();
    void replaceKeySlots();
    void keyString_data();
    void keyString();
    void exportText_data();
    void exportText();
    void outputLineStarts_data();
    void outputLineStarts();

    // Against the Unicode Character Database, and the fast transform against the plain one.
    void referenceFollowsIcuVersion_data();
    void referenceFollowsIcuVersion();
    void upperCaseMatchesUnicodeData();
    void applyKeyMatchesPlainTransform_data();
    void applyKeyMatchesPlainTransform();
};

void TestSubstitution::initTestCase()
{
    QVERIFY2(m_reference.load(),
             "UnicodeData.txt is missing or unreadable: install Debian's unicode-data package");
    qInfo().noquote() << m_reference.versionNote();
}

// The columns shared by the transform tables: a key, an input and the expected output.
static void addTransformColumns()
{
    QTest::addColumn<QStringList>("key");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
}

static void checkTransform()
{
    QFETCH(QStringList, key);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(ApplyKey(toEntries(key), input), expected);
    QCOMPARE(ApplyKeyPlainly(ReplaceKey(toEntries(key)), input), expected);
}

void TestSubstitution::missingEntries_data()
{
    addTransformColumns();
    QTest::newRow("all empty") << keyWith({}) << u"Hello, World!"_s << u"*****, *****!"_s;
    QTest::newRow("digit and empty entries")
        << keyWith({{'A', u"t"_s}, {'C', u"7"_s}}) << u"abc xyz"_s << u"T** ***"_s;
    QTest::newRow("leading space") << keyWith({{'E', u" e"_s}}) << u"see"_s << u"***"_s;
    QTest::newRow("single space") << keyWith({{'A', u" "_s}}) << u"a"_s << u"*"_s;
    QTest::newRow("punctuation first") << keyWith({{'A', u".B"_s}}) << u"a"_s << u"*"_s;
    QTest::newRow("accented letter first") << keyWith({{'A', u"éb"_s}}) << u"a"_s << u"*"_s;
    QTest::newRow("supplementary first") << keyWith({{'A', u"😀"_s}}) << u"aa"_s << u"**"_s;
    QTest::newRow("empty input, full key")
        << QStringList(LetterCount, u"x"_s) << QString() << QString();
}

void TestSubstitution::missingEntries()
{
    checkTransform();
}

void TestSubstitution::severalCharacters_data()
{
    addTransformColumns();
    QTest::newRow("qu for q") << keyWith({{'Q', u"qu"_s}}) << u"quiz"_s << u"QU***"_s;
    QTest::newRow("letter then digit") << keyWith({{'B', u"B1"_s}}) << u"bob"_s << u"B1*B1"_s;
    QTest::newRow("letter then space and symbols")
        << keyWith({{'A', u"x -é"_s}}) << u"a.a"_s << u"X -É.X -É"_s;
    QTest::newRow("letter then supplementary") << keyWith({{'A', u"z😀"_s}}) << u"a"_s << u"Z😀"_s;
    QTest::newRow("shared entries")
        << keyWith({{'A', u"k"_s}, {'B', u"k"_s}}) << u"abba"_s << u"KKKK"_s;
    QTest::newRow("long entry") << keyWith({{'A', QString(1000, u'n')}}) << u"aa"_s
                                << QString(2000, u'N');
}

void TestSubstitution::severalCharacters()
{
    checkTransform();
}

void TestSubstitution::passThrough_data()
{
    addTransformColumns();
    const QStringList rot13 = eachCharacter(u"nopqrstuvwxyzabcdefghijklm"_s);
    QTest::newRow("digits and punctuation")
        << rot13 << u"0123456789 !\"#$%&'()+,-./:;<=>?@[\\]^_`{|}~"_s
        << u"0123456789 !\"#$%&'()+,-./:;<=>?@[\\]^_`{|}~"_s;
    QTest::newRow("line breaks in place")
        << rot13 << u"ab\r\ncd\nef\rgh"_s << u"NO\r\nPQ\nRS\rTU"_s;
    QTest::newRow("tabs, NUL and controls") << rot13 << u"a\tb\u0001c"_s + QChar(0) + u"d\u007f"_s
                                            << u"N\tO\u0001P"_s + QChar(0) + u"Q\u007f"_s;
    QTest::newRow("accented, never substituted") << rot13 << u"é à ñ"_s << u"É À Ñ"_s;
    QTest::newRow("greek and cyrillic") << rot13 << u"αβγ жз"_s << u"ΑΒΓ ЖЗ"_s;
    QTest::newRow("CJK and emoji sequence") << rot13 << u"漢字 👩‍👩‍👧 👍🏽"_s
                                            << u"漢字 👩‍👩‍👧 👍🏽"_s;
    QTest::newRow("combining marks and right-to-left")
        << rot13 << u"e\u0301 \u05e9\u05dc\u05d5\u05dd \u200f"_s
        << u"R\u0301 \u05e9\u05dc\u05d5\u05dd \u200f"_s;
    QTest::newRow("lone surrogates kept")
        << rot13 << QString(QChar(0xD800)) + u"a"_s + QChar(0xDC00) + QChar(0xDBFF)
        << QString(QChar(0xD800)) + u"N"_s + QChar(0xDC00) + QChar(0xDBFF);
    QTest::newRow("reversed pair is two lone surrogates")
        << rot13 << QString(QChar(0xDC00)) + QChar(0xD800)
        << QString(QChar(0xDC00)) + QChar(0xD800);
}

void TestSubstitution::passThrough()
{
    checkTransform();
}

void TestSubstitution::upperCasing_data()
{
    addTransformColumns();
    const QStringList identity = eachCharacter(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"_s);
    QTest::newRow("ascii") << identity << u"Hello World"_s << u"HELLO WORLD"_s;
    QTest::newRow("lower-case entry applied upper-cased")
        << keyWith({{'H', u"j"_s}}) << u"hH"_s << u"JJ"_s;
    QTest::newRow("sharp s keeps its length") << identity << u"straße"_s << u"STRAßE"_s;
    QTest::newRow("ligature keeps its length") << identity << u"ﬀ"_s << u"ﬀ"_s;
    QTest::newRow("titlecase digraph") << identity << u"ǆ ǅ"_s << u"Ǆ Ǆ"_s;
    QTest::newRow("dotless i becomes I, then substituted")
        << keyWith({{'I', u"q"_s}}) << u"ıi"_s << u"QQ"_s;
    QTest::newRow("long s becomes S, then substituted")
        << keyWith({{'S', u"v"_s}}) << u"ſ"_s << u"V"_s;
    QTest::newRow("dotted capital I is not a letter")
        << keyWith({{'I', u"q"_s}}) << u"İ"_s << u"İ"_s;
    QTest::newRow("supplementary plane") << identity << u"𐐨𐐩"_s << u"𐐀𐐁"_s;
    QTest::newRow("entry upper-cased beyond ascii")
        << keyWith({{'A', u"bé𐐨ß"_s}}) << u"a"_s << u"BÉ𐐀ß"_s;
}

void TestSubstitution::upperCasing()
{
    checkTransform();
}

void TestSubstitution::outputLimit_data()
{
    QTest::addColumn<QStringList>("key");
    QTest::addColumn<QString>("input");
    QTest::addColumn<qsizetype>("limit");
    QTest::addColumn<QString>("expected");
    const QStringList identity = eachCharacter(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"_s);
    QTest::newRow("nothing") << identity << u"abc"_s << qsizetype(0) << QString();
    QTest::newRow("single letters") << identity << u"abcdef"_s << qsizetype(3) << u"ABC"_s;
    QTest::newRow("limit beyond the text") << identity << u"ab"_s << qsizetype(5) << u"AB"_s;
    QTest::newRow("inside a piece")
        << keyWith({{'A', u"xyz"_s}}) << u"aaaa"_s << qsizetype(5) << u"XYZXY"_s;
    QTest::newRow("after non-ascii")
        << keyWith({{'A', u"xyz"_s}}) << u"éaé"_s << qsizetype(3) << u"ÉXY"_s;
    QTest::newRow("never through a surrogate pair")
        << identity << u"a😀b"_s << qsizetype(2) << u"A"_s;
    QTest::newRow("ten billion characters cut at a million")
        << keyWith({{'A', u"k"_s + QString(99'999, u'x')}}) << QString(100'000, u'a')
        << qsizetype(1'000'000) << QString(u"K"_s + QString(99'999, u'X')).repeated(10);
}

void TestSubstitution::outputLimit()
{
    QFETCH(QStringList, key);
    QFETCH(QString, input);
    QFETCH(qsizetype, limit);
    QFETCH(QString, expected);
    QCOMPARE(ApplyKey(toEntries(key), input, limit), expected);
}

void TestSubstitution::replaceKeySlots()
{
    const ReplaceKey key(toEntries(keyWith({{'A', u"qu"_s}, {'B', u" "_s}, {'Z', u"é1"_s}})));
    QCOMPARE(key.slot[0], u"QU"_s);
    QCOMPARE(key.slot[1], u" "_s);
    QCOMPARE(key.slot[2], u" "_s);
    QCOMPARE(key.slot[25], u"É1"_s);
}

void TestSubstitution::keyString_data()
{
    QTest::addColumn<QStringList>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all empty") << keyWith({}) << stars(26);
    QTest::newRow("space kept, empty starred")
        << keyWith({{'A', u"q"_s}, {'B', u" "_s}}) << u"q "_s + stars(24);
    QTest::newRow("case kept as typed")
        << keyWith({{'A', u"Qu"_s}, {'Z', u"é"_s}}) << u"Qu"_s + stars(24) + u"é"_s;
    QTest::newRow("full alphabet")
        << eachCharacter(u"zyxwvutsrqponmlkjihgfedcba"_s) << u"zyxwvutsrqponmlkjihgfedcba"_s;
    QTest::newRow("asterisk entry looks like an empty one")
        << keyWith({{'C', u"*"_s}}) << stars(26);
}

void TestSubstitution::keyString()
{
    QFETCH(QStringList, key);
    QFETCH(QString, expected);
    QCOMPARE(KeyString(toEntries(key)), expected);
}

void TestSubstitution::exportText_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("keyString");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty output, empty key")
        << QString() << KeyString(toEntries(keyWith({}))) << u"\r\n"_s + stars(26);
    QTest::newRow("output with its own line breaks")
        << u"T *\nX\r\n"_s << u"t"_s + stars(25) << u"T *\nX\r\n\r\nt"_s + stars(25);
}

void TestSubstitution::exportText()
{
    QFETCH(QString, output);
    QFETCH(QString, keyString);
    QFETCH(QString, expected);
    QCOMPARE(ExportText(output, keyString), expected);
}

// Held against ApplyKey's own output: the line each input line starts on is the number of line
// breaks in the output of the input before it.
void TestSubstitution::outputLineStarts_data()
{
    QTest::addColumn<QStringList>("key");
    QTest::addColumn<QString>("input");
    QTest::newRow("no line break") << keyWith({}) << u"abc"_s;
    QTest::newRow("every kind of break in the input")
        << keyWith({{'A', u"q"_s}}) << u"a\nb\r\nc\rd\u2028e\u2029\n\n"_s;
    QTest::newRow("entry with breaks") << keyWith({{'A', u"x\ny\r\nz\u2028"_s}}) << u"a\nab\r\na"_s;
    QTest::newRow("entry's CR joins the input's LF")
        << keyWith({{'A', u"q\r"_s}}) << u"a\na\r\na\ra"_s;
    QTest::newRow("missing entry adds no break") << keyWith({{'A', u" \n"_s}}) << u"a\na"_s;
    QTest::newRow("dotless i and long s are letters")
        << keyWith({{'I', u"i\n"_s}, {'S', u"s\r"_s}}) << u"ı\nſ\n"_s;
    // Random keys whose entries end in or hold breaks, over texts of letters and breaks.
    const QStringList pieces = {u"q"_s, u"\r"_s, u"\n"_s, u"\r\n"_s, u"\u2028"_s, u"a"_s, u"é"_s};
    QRandomGenerator random(11);
    for (int row = 0; row < 40; ++row) {
        QStringList key(LetterCount);
        for (QString &entry : key)
            entry = u"q"_s + pieces[random.bounded(pieces.size())];
        QString input;
        for (int i = random.bounded(30); i > 0; --i)
            input += pieces[random.bounded(pieces.size())];
        QTest::addRow("random %d", row) << key << input;
    }
}

void TestSubstitution::outputLineStarts()
{
    QFETCH(QStringList, key);
    QFETCH(QString, input);
    const ReplaceKey entries(toEntries(key));
    const auto breaksIn = [](const QString &text) {
        return std::count_if(text.begin(), text.end(),
                             [](QChar c) { return isLineBreak(c.unicode()); }) -
               text.count(u"\r\n"_s);
    };
    std::vector<qsizetype> expected{0};
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (isLineBreak(input[i].unicode()) && !input.mid(i).startsWith(u"\r\n"_s))
            expected.push_back(breaksIn(ApplyKey(entries, input.left(i + 1))));
    }
    QCOMPARE(OutputLineStarts(entries, input), expected);
}

void TestSubstitution::referenceFollowsIcuVersion_data()
{
    // A file of another Unicode version than ICU's, with the mappings given; the reference's
    // capital of a code point after it has followed ICU's version. Deseret (U+10400-U+1044F)
    // came in Unicode 3.1, Latin and Greek before 2.0; U+0378 is unassigned.
    QTest::addColumn<QString>("fileVersion");
    QTest::addColumn<Mappings>("fileUpper");
    QTest::addColumn<uint>("codePoint");
    QTest::addColumn<uint>("expected");
    QTest::newRow("older file: pair encoded since is taken from ICU")
        << u"3.0.0"_s << Mappings() << 0x10428u << 0x10400u;
    QTest::newRow("older file: older pair it lacks stays lacking")
        << u"3.0.0"_s << Mappings() << uint(u'a') << uint(u'a');
    QTest::newRow("older file: other capital it gives stays")
        << u"3.0.0"_s << Mappings{{0x10428u, u'X'}} << 0x10428u << uint(u'X');
    QTest::newRow("newer file: pair with a character unknown to ICU is dropped")
        << u"99.0.0"_s << Mappings{{0x0378u, u'A'}} << 0x0378u << 0x0378u;
    QTest::newRow("newer file: pair of characters known to ICU stays")
        << u"99.0.0"_s << Mappings{{u'1', u'A'}} << uint(u'1') << uint(u'A');
}

void TestSubstitution::referenceFollowsIcuVersion()
{
    QFETCH(QString, fileVersion);
    QFETCH(Mappings, fileUpper);
    QFETCH(uint, codePoint);
    QFETCH(uint, expected);
    Reference reference;
    reference.fileVersion = QVersionNumber::fromString(fileVersion);
    for (auto it = fileUpper.cbegin(); it != fileUpper.cend(); ++it)
        reference.upperOf.insert(it.key(), it.value());
    reference.followIcuVersion();
    QCOMPARE(uint(reference.upper(codePoint)), expected);
}

void TestSubstitution::upperCaseMatchesUnicodeData()
{
    int mismatches = 0;
    QString firstMismatch;
    Ucs4 all;
    for (char32_t c = 0; c < 0x110000; ++c) {
        const QString one = encode(Ucs4(1, c));
        const Ucs4 upper = decode(SimpleUpperCase(one));
        if (upper != Ucs4(1, m_reference.upper(c)) && mismatches++ == 0)
            firstMismatch = u"U+%1"_s.arg(uint(c), 4, 16, QChar(u'0'));
        if (!QChar::isSurrogate(c))
            all += c;
    }
    QVERIFY2(mismatches == 0,
             qPrintable(u"%1 code points differ, first %2"_s.arg(mismatches).arg(firstMismatch)));

    // The transform upper-cases the same way, also when every code point comes in one text.
    const QStringList identity = eachCharacter(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"_s);
    QVERIFY(ApplyKey(toEntries(identity), encode(all)) == encode(m_reference.upper(all)));
}

void TestSubstitution::applyKeyMatchesPlainTransform_data()
{
    // The engine takes different paths for keys of single letters, of entries of up to three
    // units, of up to seven and of longer ones, for ASCII and for other text, and for texts long
    // enough to repay a table of the whole plane; each row drives some of them hard.
    QTest::addColumn<int>("longestEntry");
    QTest::addColumn<bool>("asciiKey");
    QTest::addColumn<int>("textLength");
    QTest::addColumn<bool>("asciiText");
    QTest::addColumn<int>("rounds");
    QTest::newRow("any code points, entries of 0-3") << 3 << false << 200 << false << 4000;
    QTest::newRow("ascii text, single letters") << 1 << true << 2000 << true << 4000;
    QTest::newRow("ascii text, entries of 0-4") << 4 << true << 2000 << true << 4000;
    QTest::newRow("ascii text, entries of 0-12") << 12 << true << 2000 << true << 4000;
    QTest::newRow("mixed text, single letters") << 1 << true << 2000 << false << 4000;
    QTest::newRow("mixed text, entries of 0-7") << 7 << true << 2000 << false << 4000;
    QTest::newRow("long mixed text, single letters") << 1 << true << 100'000 << false << 20;
}

void TestSubstitution::applyKeyMatchesPlainTransform()
{
    QFETCH(int, longestEntry);
    QFETCH(bool, asciiKey);
    QFETCH(int, textLength);
    QFETCH(bool, asciiText);
    QFETCH(int, rounds);
    QRandomGenerator random(20261208);
    for (int round = 0; round < rounds; ++round) {
        QStringList key;
        for (int k = 0; k < LetterCount; ++k)
            key << randomText(random, longestEntry, asciiKey);
        const QString input = randomText(random, textLength, asciiText);
        const ReplaceKey replaceKey(toEntries(key));
        const QString expected = ApplyKeyPlainly(replaceKey, input);
        const QString actual = ApplyKey(replaceKey, input);
        if (actual != expected || OutputLength(replaceKey, input) != expected.size()) {
            qWarning() << "key" << key << "input" << input;
            QCOMPARE(actual, expected);
            QCOMPARE(OutputLength(replaceKey, input), expected.size());
        }
    }
}

QTEST_GUILESS_MAIN(TestSubstitution)
#include "tst_substitution.moc"
