// A deliberately plain rendering of the substitution, for the tests and the fuzzer to hold the
// engine against: code point by code point, upper-casing from UnicodeData.txt itself, and no
// thought given to speed.
#pragma once

#include "substitution.h"

#include <QFile>
#include <QHash>
#include <QStringList>

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

class Reference
{
public:
    // The simple uppercase field of UnicodeData.txt, for every code point that has one.
    QHash<char32_t, char32_t> upperOf;

    // Reads Debian's copy of the Unicode Character Database; false when it cannot.
    bool load(const QString &path = QStringLiteral("/usr/share/unicode/UnicodeData.txt"))
    {
        QFile data(path);
        if (!data.open(QIODevice::ReadOnly))
            return false;
        while (!data.atEnd()) {
            const QList<QByteArray> fields = data.readLine().split(';');
            if (fields.size() != 15)
                return false;
            if (!fields[12].isEmpty())
                upperOf.insert(fields[0].toUInt(nullptr, 16), fields[12].toUInt(nullptr, 16));
        }
        return upperOf.size() > 1000;
    }

    char32_t upper(char32_t c) const { return upperOf.value(c, c); }

    Ucs4 upper(const Ucs4 &text) const
    {
        Ucs4 out;
        for (const char32_t c : text)
            out += upper(c);
        return out;
    }

    QString applyKey(const QStringList &entries, QStringView input) const
    {
        Ucs4 table[LetterCount];
        for (int k = 0; k < LetterCount; ++k) {
            table[k] = upper(decode(entries[k]));
            if (table[k].empty())
                table[k].push_back(U' ');
        }
        Ucs4 out;
        for (const char32_t c : upper(decode(input))) {
            if (c >= U'A' && c <= U'Z') {
                const Ucs4 &slot = table[c - U'A'];
                out += slot[0] >= U'A' && slot[0] <= U'Z' ? slot : U"*";
            } else {
                out += c;
            }
        }
        return encode(out);
    }
};

} // namespace PlainReference
