// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Upper-casing read from UnicodeData.txt itself, for the tests and the fuzzer to hold the
// engine's case table against. The engine upper-cases as the Unicode version of its ICU says,
// which need not be the version of the system's UnicodeData.txt; the reference follows ICU's
// version for the few mappings that the other version cannot know (see followIcuVersion).
#pragma once

#include "substitution.h"

#include <QFile>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <QVersionNumber>

#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include <string>

namespace PlainReference {

using Ucs4 = std::u32string;

// Unlike QString::toUcs4, keeps a lone surrogate as it stands.
inline Ucs4 decode(QStringView text)
{
    Ucs4 out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            out += QChar::surrogateToUcs4(unit, text[++i].unicode());
        else
            out += unit;
    }
    return out;
}

inline QString encode(const Ucs4 &text)
{
    QString out;
    for (const char32_t c : text) {
        if (QChar::requiresSurrogates(c))
            out += QChar(QChar::highSurrogate(c)) + QChar(QChar::lowSurrogate(c));
        else
            out += QChar(static_cast<char16_t>(c));
    }
    return out;
}

inline QVersionNumber versionOf(const UVersionInfo version)
{
    return QVersionNumber(version[0], version[1], version[2]);
}

// The Unicode version whose character database the engine's ICU implements.
inline QVersionNumber icuUnicodeVersion()
{
    UVersionInfo version;
    u_getUnicodeVersion(version);
    return versionOf(version);
}

class Reference
{
public:
    // The simple uppercase field of UnicodeData.txt, for every code point that has one.
    QHash<char32_t, char32_t> upperOf;
    // The Unicode version of that file.
    QVersionNumber fileVersion;
    // The code points whose mapping the reference took from ICU instead of the file.
    QList<char32_t> followedIcu;

    // Reads Debian's copy of the Unicode Character Database (UnicodeData.txt, and its version
    // from the header of DerivedAge.txt beside it); false when it cannot.
    bool load(const QString &folder = QStringLiteral("/usr/share/unicode"))
    {
        QFile age(folder + QStringLiteral("/DerivedAge.txt"));
        if (!age.open(QIODevice::ReadOnly))
            return false;
        static const QRegularExpression header(QStringLiteral("^# DerivedAge-([0-9.]+)\\.txt"));
        const QRegularExpressionMatch match = header.match(QString::fromUtf8(age.readLine()));
        fileVersion = QVersionNumber::fromString(match.captured(1));
        if (fileVersion.isNull())
            return false;

        QFile data(folder + QStringLiteral("/UnicodeData.txt"));
        if (!data.open(QIODevice::ReadOnly))
            return false;
        while (!data.atEnd()) {
            const QList<QByteArray> fields = data.readLine().split(';');
            if (fields.size() != 15)
                return false;
            if (!fields[12].isEmpty())
                upperOf.insert(fields[0].toUInt(nullptr, 16), fields[12].toUInt(nullptr, 16));
        }
        if (upperOf.size() < 1000)
            return false;
        followIcuVersion();
        return true;
    }

    // Where the file and ICU implement different Unicode versions, takes ICU's mapping for the
    // code points whose case pair exists in only one of the two versions. Unicode's stability
    // policy never makes a case pair of two characters that were both encoded without being
    // one, so a newer version adds a pair only together with a newly encoded character (U+019B
    // gained its capital when U+A7DC was encoded in Unicode 16.0), and removes none. Any other
    // difference stays one, and the tests report it.
    void followIcuVersion()
    {
        const QVersionNumber icu = icuUnicodeVersion();
        const auto newerThanFile = [this](char32_t c) {
            UVersionInfo age;
            u_charAge(UChar32(c), age);
            return versionOf(age) > fileVersion;
        };
        const auto unknownToIcu = [](char32_t c) { return u_charType(UChar32(c)) == U_UNASSIGNED; };
        for (char32_t c = 0; c < 0x110000; ++c) {
            const auto icuUpper = static_cast<char32_t>(u_toupper(UChar32(c)));
            const char32_t fileUpper = upper(c);
            if (icuUpper == fileUpper)
                continue;
            if (fileUpper == c && (newerThanFile(c) || newerThanFile(icuUpper)))
                upperOf.insert(c, icuUpper);
            else if (icu < fileVersion && icuUpper == c &&
                     (unknownToIcu(c) || unknownToIcu(fileUpper)))
                upperOf.remove(c);
            else
                continue;
            followedIcu << c;
        }
    }

    // What the reference follows, for a test's log.
    QString versionNote() const
    {
        QString note = QStringLiteral("UnicodeData.txt of Unicode %1, ICU %2 of Unicode %3")
                           .arg(fileVersion.toString(), QStringLiteral(U_ICU_VERSION),
                                icuUnicodeVersion().toString());
        if (followedIcu.isEmpty())
            return note;
        note += QStringLiteral(": %1 code points follow ICU's version, the case pairs encoded "
                               "in only one of the two:")
                    .arg(followedIcu.size());
        for (const char32_t c : followedIcu)
            note += QStringLiteral(" U+%1").arg(uint(c), 4, 16, QChar(u'0')).toUpper();
        return note;
    }

    char32_t upper(char32_t c) const { return upperOf.value(c, c); }

    Ucs4 upper(const Ucs4 &text) const
    {
        Ucs4 out;
        for (const char32_t c : text)
            out += upper(c);
        return out;
    }
};

} // namespace PlainReference
