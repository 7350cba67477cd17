// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "exportways.h"

#include <QGuiApplication>

// On a Wayland session the program may draw through Wayland or through Xwayland; either way
// the Wayland export serves both kinds of client.
std::unique_ptr<ClipboardExport> makeSystemClipboardExport()
{
    if (QGuiApplication::platformName() == u"wayland" ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return makeWaylandClipboardExport();
    if (QGuiApplication::platformName() == u"xcb")
        return makeX11ClipboardExport();
    return makeToolkitClipboardExport();
}
