// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The engine's rules as they are defined. fastpath.cpp follows them faster: it takes what each
// letter becomes from ReplaceKey::piece, and what any other character becomes from pieceOf.

#include "substitution.h"

#include "casing.h"
#include "fastpath.h"

#include <algorithm>

namespace {

// How many line breaks a piece holds, a CR LF counting once.
qsizetype breaksIn(QStringView piece)
{
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < piece.size(); ++i)
        breaks += isLineBreak(piece[i].unicode()) && !isInsideCrLf(piece, i);
    return breaks;
}

} // namespace

QStringView pieceOf(const ReplaceKey &key, char32_t c, std::array<char16_t, 2> &spare)
{
    const char32_t upper = upperCodePoint(c);
    if (isLetter(upper))
        return key.piece(int(upper - u'A'));
    if (QChar::requiresSurrogates(upper)) {
        spare = {QChar::highSurrogate(upper), QChar::lowSurrogate(upper)};
        return QStringView(spare.data(), 2);
    }
    spare[0] = char16_t(upper);
    return QStringView(spare.data(), 1);
}

ReplaceKey::ReplaceKey(const KeyEntries &entries)
{
    for (int k = 0; k < LetterCount; ++k) {
        slot[k] = SimpleUpperCase(entries[k]);
        if (slot[k].isEmpty())
            slot[k] = QStringLiteral(" ");
    }
}

QStringView ReplaceKey::piece(int k) const
{
    return isLetter(slot[k].front().unicode()) ? QStringView(slot[k]) : QStringView(u"*");
}

QString ApplyKeyPlainly(const ReplaceKey &key, QStringView input)
{
    QString output;
    std::array<char16_t, 2> spare;
    for (const char16_t *in = input.utf16(), *end = in + input.size(); in != end;)
        output += pieceOf(key, nextCodePoint(in, end), spare);
    return output;
}

QString ApplyKey(const ReplaceKey &key, QStringView input, qsizetype maxLength)
{
    return FastPath::apply(key, input, std::max<qsizetype>(maxLength, 0));
}

QString ApplyKey(const KeyEntries &entries, QStringView input, qsizetype maxLength)
{
    return ApplyKey(ReplaceKey(entries), input, maxLength);
}

qsizetype OutputLength(const ReplaceKey &key, QStringView input)
{
    return FastPath::length(key, input);
}

std::vector<qsizetype> OutputLineStarts(const ReplaceKey &key, QStringView input)
{
    // How many line breaks each letter's piece adds, and whether it ends in a CR that an LF
    // after it would join.
    std::array<qsizetype, LetterCount> breaks{};
    std::array<bool, LetterCount> endsInCr{};
    for (int k = 0; k < LetterCount; ++k) {
        breaks[k] = breaksIn(key.piece(k));
        endsInCr[k] = key.piece(k).endsWith(u'\r');
    }
    std::vector<qsizetype> starts{0};
    qsizetype line = 0;
    bool afterCr = false; // the output so far ends in a CR
    const char16_t *const begin = input.utf16();
    for (const char16_t *in = begin, *end = in + input.size(); in != end;) {
        const qsizetype at = in - begin;
        const char32_t upper = upperCodePoint(nextCodePoint(in, end));
        if (isLetter(upper)) {
            line += breaks[upper - u'A'];
            afterCr = endsInCr[upper - u'A'];
            continue;
        }
        // Any other character stands for itself, so the input's line breaks are the output's.
        const char16_t unit = input[at].unicode();
        if (isLineBreak(unit)) {
            line += !(unit == u'\n' && afterCr);
            if (lineBreakEnd(input, at) == at + 1) // not the CR of a CR LF, whose LF ends it
                starts.push_back(line);
        }
        afterCr = unit == u'\r';
    }
    return starts;
}

bool AddsLineBreaks(const ReplaceKey &key)
{
    for (int k = 0; k < LetterCount; ++k) {
        if (breaksIn(key.piece(k)) > 0)
            return true;
    }
    return false;
}

QString KeyString(const KeyEntries &entries)
{
    QString key;
    for (const KeyEntry &entry : entries)
        key += entry.isEmpty() ? QStringLiteral("*") : entry;
    return key;
}

std::array<QStringView, 3> ExportPieces(QStringView output, QStringView keyString)
{
    return {output, u"\r\n", keyString};
}

QString ExportText(const QString &output, const QString &keyString)
{
    const auto pieces = ExportPieces(output, keyString);
    return pieces[0] + pieces[1] + pieces[2];
}
