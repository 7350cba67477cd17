// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// How long an output the window builds. Entries of many characters multiply a text's length
// without bound: a hundred thousand lines under an entry of a hundred thousand characters make
// ten billion. So the window cuts the output where it would no longer fit in the memory the
// system can give, and says so; ordinary keys never come near it. How much memory is left is a
// question for each platform, answered in a file of its own that CMake picks.
#pragma once

#include <QtGlobal>

#include <functional>

// The longest output to build for an input of inputLength characters.
using OutputLimit = std::function<qsizetype(qsizetype inputLength)>;

// What the memory the system can give now holds, or four times the input where that is more,
// never below 2^25 characters nor above 2^30.
qsizetype outputLimitByMemory(qsizetype inputLength);

// In bytes, counting what the system would free for it (caches); 0 where the system does not
// say.
qint64 availableMemory();
