// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The substitution engine: everything the decoder computes, free of window code.
//
// The user types, under each letter A to Z, what that letter stands for. These 26 entries
// become a key table, the key table is applied to a text, the key is rendered as one line,
// and the result and the key are joined into the text that Exit puts on the clipboard.
// Every function here is pure: the window rebuilds the key table from its boxes on each call.
//
// A character is a Unicode code point: a surrogate pair counts as one, a lone surrogate passes
// through unchanged. A letter is one of the 26 capitals A to Z (codes 65 to 90), nothing else.
#pragma once

#include <QString>

#include <array>
#include <limits>
#include <vector>

/// Number of letters in the key, A to Z.
inline constexpr int LetterCount = 26;

/// The text typed under one letter, exactly as typed: any length, possibly empty.
using KeyEntry = QString;

/// The 26 entries in letter order, A first.
using KeyEntries = std::array<KeyEntry, LetterCount>;

/// The key table built from the entries for one transform.
struct ReplaceKey
{
    /// slot[0] belongs to "A", slot[25] to "Z". Each holds its entry upper-cased, an empty
    /// entry as a single space, so that every slot has a first character.
    std::array<QString, LetterCount> slot;

    /// Builds the key table from the 26 entries.
    explicit ReplaceKey(const KeyEntries &entries);

    /// What letter k (0 for "A") becomes in the output: its whole slot where the slot begins
    /// with a letter, "*" otherwise.
    QStringView piece(int k) const;
};

/// Whether a UTF-16 unit ends a line: LF, CR, U+2028 (line separator) or U+2029 (paragraph
/// separator). A CR followed by an LF makes one line break with it.
constexpr bool isLineBreak(char16_t unit)
{
    return unit == u'\n' || unit == u'\r' || (unit & 0xFFFE) == 0x2028;
}

/// Upper-cases \a text one code point at a time with the simple one-to-one mapping of the
/// Unicode Character Database, whatever the locale ("ß" stays "ß", "é" becomes "É").
/// Lone surrogates are kept. The result may differ in length only where a mapping crosses
/// between the Basic Multilingual Plane and the supplementary planes.
QString SimpleUpperCase(const QString &text);

/// Applies the key to \a input and returns the output text.
///
/// The input is upper-cased (SimpleUpperCase), then each letter A to Z is replaced by the whole
/// slot of its letter when that slot begins with a letter, and by "*" otherwise. Every other
/// character, line breaks and letters outside A to Z included, is copied unchanged.
/// An empty input gives an empty output. An output longer than \a maxLength characters is cut
/// there (one less where the cut would split a surrogate pair), and no more of it is built.
QString ApplyKey(const KeyEntries &entries, const QString &input,
                 qsizetype maxLength = std::numeric_limits<qsizetype>::max());

/// The length in UTF-16 units of ApplyKey(entries, input) uncut, found without building it: for
/// telling how much of an output a cut left out.
qsizetype OutputLength(const KeyEntries &entries, const QString &input);

/// Where each line of \a input starts in its output, ApplyKey(entries, input) uncut: for each line
/// of the input, first to last, the number of the output line (0 for the first) that holds the
/// line's first character, or that would hold it where the line is empty. Lines end at every
/// line break (isLineBreak) of either text. An input line becomes one output line unless an
/// entry holds line breaks, which add lines, or ends in CR, which joins the input's LF after it
/// into one CR LF. There is always at least one line, so the result is never empty.
std::vector<qsizetype> OutputLineStarts(const KeyEntries &entries, const QString &input);

/// Renders the key for export: the 26 entries as typed, in letter order, with nothing between
/// them and "*" for each empty one. All entries empty give 26 asterisks.
QString KeyString(const KeyEntries &entries);

/// The clipboard text in the pieces it is made of: \a output, CR LF, then \a keyString, with no
/// line break after. The pieces view the arguments, which must outlive them: an output the size
/// of a book goes to the clipboard without being copied into one string first.
std::array<QStringView, 3> ExportPieces(QStringView output, QStringView keyString);

/// Composes the clipboard text: the pieces of ExportPieces joined.
QString ExportText(const QString &output, const QString &keyString);
