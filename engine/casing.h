// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Upper-casing for the engine: ICU's simple one-to-one mapping, looked up in a table of the
// Basic Multilingual Plane so that a long text needs no call into ICU a character.
//
// Internal to the engine; the window knows only SimpleUpperCase (substitution.h).
#pragma once

#include <QChar>

#include <array>

// In the case table, a unit that the fast paths leave to ICU, one code point at a time: a high
// surrogate that leads into characters with an upper case of their own, a character whose upper
// case lies outside the plane (none so far), and U+FFFF itself, so that the mark means
// only that. Every other unit is upper-cased alone: a high surrogate that is not marked leads only
// into characters that upper-case to themselves, so its pair passes unit by unit.
inline constexpr char16_t LookCloser = 0xFFFF;

struct CaseTable
{
    std::array<char16_t, 0x10000> upper;
    // Set when no upper case crosses between the plane and the supplementary planes, so that
    // upper-casing keeps a text's length in units.
    bool keepsLength = true;
};

// The table, built on first use.
const CaseTable &caseTable();

// The simple upper case of one code point.
char32_t upperCodePoint(char32_t c);

// Reads one code point and advances; a lone surrogate is returned as it stands.
inline char32_t nextCodePoint(const char16_t *&in, const char16_t *end)
{
    const char16_t first = *in++;
    if (QChar::isHighSurrogate(first) && in != end && QChar::isLowSurrogate(*in))
        return QChar::surrogateToUcs4(first, *in++);
    return first;
}
