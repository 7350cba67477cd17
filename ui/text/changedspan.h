// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Where a new text differs from an old one, found fast enough to run on every keystroke over a
// whole book, so that the output box keeps what did not change.
#pragma once

#include <QStringView>

// The span between the longest common prefix and the longest common suffix of two texts:
// before[start, beforeEnd) became after[start, afterEnd). Equal texts give an empty span.
struct ChangedSpan
{
    qsizetype start = 0;
    qsizetype beforeEnd = 0;
    qsizetype afterEnd = 0;

    bool isEmpty() const { return start == beforeEnd && start == afterEnd; }

    // Where an offset of the old text lands in the new: where it stood before the span (an
    // insertion at the offset leaves it before the inserted text), moved by the change's length
    // after the span, and at inside within it.
    qsizetype moved(qsizetype offset, qsizetype inside) const
    {
        if (offset <= start)
            return offset;
        return offset >= beforeEnd ? offset + afterEnd - beforeEnd : inside;
    }
};

ChangedSpan changedSpan(QStringView before, QStringView after);
