// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "casing.h"
#include "substitution.h"

#include <QStringView>

namespace {

// What a letter's piece does to the output's lines.
struct PieceLines
{
    qsizetype breaks = 0; // line breaks inside the piece, a CR LF counting once
    bool endsInCr = false;
};

PieceLines linesOf(QStringView piece)
{
    PieceLines lines{0, piece.endsWith(u'\r')};
    for (qsizetype i = 0; i < piece.size(); ++i) {
        if (piece[i] == u'\r' && i + 1 < piece.size() && piece[i + 1] == u'\n')
            continue; // counted at the LF
        lines.breaks += isLineBreak(piece[i].unicode());
    }
    return lines;
}

} // namespace

std::vector<qsizetype> OutputLineStarts(const KeyEntries &entries, const QString &input)
{
    const ReplaceKey key(entries);
    std::array<PieceLines, LetterCount> pieces;
    for (int k = 0; k < LetterCount; ++k)
        pieces[size_t(k)] = linesOf(key.piece(k));

    // Only a letter's piece and a line break change the line; a unit that the case table marks
    // leads to no letter, as no character beyond the plane upper-cases to one.
    const auto &upper = caseTable().upper;
    const auto *units = reinterpret_cast<const char16_t *>(input.utf16());
    const qsizetype size = input.size();
    std::vector<qsizetype> starts{0};
    qsizetype line = 0;
    bool afterPieceCr = false; // the output so far ends in a piece's CR
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (const char16_t letter = upper[unit]; isLetter(letter)) {
            const PieceLines &piece = pieces[size_t(letter - u'A')];
            line += piece.breaks;
            afterPieceCr = piece.endsInCr;
            continue;
        }
        const bool joined = unit == u'\n' && afterPieceCr; // the piece's CR counted it already
        afterPieceCr = false;
        if (!isLineBreak(unit))
            continue;
        if (unit == u'\r' && i + 1 < size && units[i + 1] == u'\n')
            ++i; // the input's CR LF, one break here as in the output
        if (!joined)
            ++line;
        starts.push_back(line);
    }
    return starts;
}
