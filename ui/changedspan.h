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
};

ChangedSpan changedSpan(QStringView before, QStringView after);
