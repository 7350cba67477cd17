// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "changedspan.h"

#include <algorithm>
#include <cstring>

namespace {

// Compared a block at a time with memcmp, which the C library vectorises, then unit by unit
// inside the first block that differs.
constexpr qsizetype Block = 2048;

bool sameBlock(const QChar *a, const QChar *b, qsizetype length)
{
    return std::memcmp(a, b, length * sizeof(QChar)) == 0;
}

} // namespace

ChangedSpan changedSpan(QStringView before, QStringView after)
{
    const qsizetype shorter = std::min(before.size(), after.size());
    const QChar *a = before.data();
    const QChar *b = after.data();

    qsizetype prefix = 0;
    while (shorter - prefix >= Block && sameBlock(a + prefix, b + prefix, Block))
        prefix += Block;
    while (prefix < shorter && a[prefix] == b[prefix])
        ++prefix;

    // The suffix may not reach back into the prefix of either text.
    const qsizetype limit = shorter - prefix;
    const QChar *aEnd = a + before.size();
    const QChar *bEnd = b + after.size();
    qsizetype suffix = 0;
    while (limit - suffix >= Block &&
           sameBlock(aEnd - suffix - Block, bEnd - suffix - Block, Block))
        suffix += Block;
    while (suffix < limit && aEnd[-suffix - 1] == bEnd[-suffix - 1])
        ++suffix;

    return {prefix, before.size() - suffix, after.size() - suffix};
}
