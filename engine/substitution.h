// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The substitution engine: everything the decoder computes, free of window code.
//
// The user types, under each letter A to Z, what that letter stands for. These 26 entries
// become a key table, the key table is applied to a text, the key is rendered as one line,
// and the result and the key are joined into the text that Exit puts on the clipboard.
// Every function here is pure: the window rebuilds the key table from its boxes on each change.
//
// substitution.cpp holds the rules as they are defined, and the plain transform; fastpath.cpp
// computes the same transform faster, and the tests and the fuzzer hold the two together.
//
// A character is a Unicode code point: a surrogate pair counts as one, a lone surrogate passes
// through unchanged. A letter is one of the 26 capitals A to Z (codes 65 to 90), nothing else.
#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <limits>
#include <vector>

/// Number of letters in the key, A to Z.
inline constexpr int LetterCount = 26;

/// The text typed under one letter, exactly as typed: any length, possibly empty.
using KeyEntry = QString;

/// The 26 entries in letter order, A first.
using KeyEntries = std::array<KeyEntry, LetterCount>;

/// Whether a code point is a letter to the engine: one of the capitals A to Z.
constexpr bool isLetter(char32_t c)
{
    return c >= u'A' && c <= u'Z';
}

/// The key table built from the entries for one transform.
struct ReplaceKey
{
    /// slot[0] belongs to "A", slot[25] to "Z". Each holds its entry upper-cased, an empty
    /// entry as a single space, so that every slot has a first character.
    std::array<QString, LetterCount> slot;

    /// Builds the key table from the 26 entries.
    explicit ReplaceKey(const KeyEntries &entries);

    /// What letter k (0 for "A") becomes in the output: its whole slot where the slot begins
    /// with a letter, "*" otherwise. The one place that says what a slot gives.
    QStringView piece(int k) const;
};

/// Whether a UTF-16 unit is a line break: LF, CR, U+2028 (line separator) or U+2029 (paragraph
/// separator).
constexpr bool isLineBreak(char16_t unit)
{
    return unit == u'\n' || unit == u'\r' || (unit & 0xFFFE) == 0x2028;
}

/// Whether \a at lies inside a CR LF, between its two units: a CR followed by an LF is one line
/// break, never two, and nothing stands between them. Every other line break is one unit.
constexpr bool isInsideCrLf(QStringView text, qsizetype at)
{
    return at > 0 && at < text.size() && text[at - 1] == u'\r' && text[at] == u'\n';
}

/// Where the line break that begins at \a at ends: past the LF of a CR LF, past the unit
/// otherwise.
constexpr qsizetype lineBreakEnd(QStringView text, qsizetype at)
{
    return isInsideCrLf(text, at + 1) ? at + 2 : at + 1;
}

/// Where a text cut to \a length units ends so as not to split a surrogate pair: \a length, or
/// one less where a pair would be split. \a length lies within the text.
constexpr qsizetype cutBetweenCharacters(QStringView text, qsizetype length)
{
    const bool splitsPair = length > 0 && length < text.size() &&
                            text[length - 1].isHighSurrogate() && text[length].isLowSurrogate();
    return splitsPair ? length - 1 : length;
}

/// Upper-cases \a text one code point at a time with the simple one-to-one mapping of the
/// Unicode Character Database, whatever the locale ("ß" stays "ß", "é" becomes "É").
/// Lone surrogates are kept. The result may differ in length only where a mapping crosses
/// between the Basic Multilingual Plane and the supplementary planes.
QString SimpleUpperCase(QStringView text);

/// Applies the key to \a input and returns the output text.
///
/// The input is upper-cased (SimpleUpperCase), then each letter A to Z is replaced by the whole
/// slot of its letter when that slot begins with a letter, and by "*" otherwise. Every other
/// character, line breaks and letters outside A to Z included, is copied unchanged.
/// An empty input gives an empty output. An output longer than \a maxLength characters is cut
/// there (cutBetweenCharacters), and no more of it is built.
QString ApplyKey(const ReplaceKey &key, QStringView input,
                 qsizetype maxLength = std::numeric_limits<qsizetype>::max());
QString ApplyKey(const KeyEntries &entries, QStringView input,
                 qsizetype maxLength = std::numeric_limits<qsizetype>::max());

/// The transform exactly as defined, one character at a time and with no thought of speed:
/// ApplyKey gives the same, faster, which the tests and the fuzzer check.
QString ApplyKeyPlainly(const ReplaceKey &key, QStringView input);

/// The length in UTF-16 units of ApplyKey(key, input) uncut, found without building it: for
/// telling how much of an output a cut left out.
qsizetype OutputLength(const ReplaceKey &key, QStringView input);

/// Where each line of \a input starts in its output, ApplyKey(key, input) uncut: for each line of
/// the input, first to last, the number of the output line (0 for the first) that holds the
/// line's first character, or that would hold it where the line is empty. Lines end at every
/// line break of either text (isLineBreak, a CR LF counting once). An input line becomes one
/// output line unless an entry holds line breaks, which add lines, or ends in CR, which joins the
/// input's LF after it into one CR LF. There is always at least one line.
std::vector<qsizetype> OutputLineStarts(const ReplaceKey &key, QStringView input);

/// Whether a letter's piece holds a line break, so that an input line may become several output
/// lines, or join the next: without one, each input line is one output line, and
/// OutputLineStarts counts 0, 1, 2 and so on.
bool AddsLineBreaks(const ReplaceKey &key);

/// Renders the key for export: the 26 entries as typed, in letter order, with nothing between
/// them and "*" for each empty one. All entries empty give 26 asterisks.
QString KeyString(const KeyEntries &entries);

/// The clipboard text in the pieces it is made of: \a output, CR LF, then \a keyString, with no
/// line break after. The pieces view the arguments, which must outlive them: an output the size
/// of a book goes to the clipboard without being copied into one string first.
std::array<QStringView, 3> ExportPieces(QStringView output, QStringView keyString);

/// Composes the clipboard text: the pieces of ExportPieces joined.
QString ExportText(const QString &output, const QString &keyString);
