// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "outputlimit.h"

qint64 availableMemory()
{
    return 0;
}
