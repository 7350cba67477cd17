// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "exportways.h"

std::unique_ptr<ClipboardExport> makeSystemClipboardExport()
{
    return makeWindowsClipboardExport();
}
