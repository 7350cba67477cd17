// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// How much memory the system can still give the program, which bounds the longest output the
// window builds. Each platform answers in a file of its own, which CMake picks.
#pragma once

#include <QtGlobal>

// In bytes, counting what the system would free for it (caches); 0 where the system does not
// say.
qint64 availableMemory();
