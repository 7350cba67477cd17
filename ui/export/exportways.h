// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The ways the export can go, each in a file of its own that CMake compiles on the platforms
// that have it; systemexport_<platform>.cpp picks the one for the window system the program
// runs on.
#pragma once

#include "clipboardexport.h"

#include <memory>

// The toolkit's clipboard, for window systems that keep its contents after the program ends
// (macOS), as long as the program ends through the normal exit. Every platform.
std::unique_ptr<ClipboardExport> makeToolkitClipboardExport();

// The system's clipboard functions, each step checked. Windows.
std::unique_ptr<ClipboardExport> makeWindowsClipboardExport();

// The X11 helper (helpercontract.h). Linux.
std::unique_ptr<ClipboardExport> makeX11ClipboardExport();

// wl-copy, a keeper, and the X11 helper for X11 clients. Linux.
std::unique_ptr<ClipboardExport> makeWaylandClipboardExport();
