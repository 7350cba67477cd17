// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "outputlimit.h"

#include <algorithm>

namespace {

// The output, the copy that a change makes of it, and what Exit makes of it (the export text, its
// UTF-8 and the clipboard helper's copies) take up to about this many bytes a character.
constexpr qint64 BytesPerOutputCharacter = 16;
// Outputs up to this length are never cut, whatever the system says of its memory.
constexpr qsizetype ShortestOutputLimit = qsizetype(1) << 25;
// Assistive technologies count the output's characters in 32-bit integers.
constexpr qsizetype LongestOutputLimit = qsizetype(1) << 30;

} // namespace

qsizetype outputLimitByMemory(qsizetype inputLength)
{
    const qsizetype byMemory = qsizetype(availableMemory() / BytesPerOutputCharacter);
    return std::clamp(std::max(byMemory, 4 * inputLength), ShortestOutputLimit, LongestOutputLimit);
}
