// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The X11 requests of the clipboard helper: its atoms, the server's time, who owns a selection,
// the window manager, watching CLIPBOARD's owner, and asking that owner for its targets. Linked
// to libxcb and its XFixes library alone, so that the helper starts fast and holds little.
#pragma once

#include <cstdint>
#include <xcb/xcb.h>

// How long the X server may take to answer while the decoder waits on us.
inline constexpr int ServerTimeoutMs = 500;

// Says why the helper cannot go on, on standard error, and ends it.
[[noreturn]] void fail(const char *reason);

struct Atoms
{
    xcb_atom_t clipboard = XCB_NONE;
    xcb_atom_t targets = XCB_NONE;
    xcb_atom_t timestamp = XCB_NONE;
    xcb_atom_t utf8String = XCB_NONE;
    xcb_atom_t textPlainUtf8 = XCB_NONE;
    xcb_atom_t text = XCB_NONE;
    xcb_atom_t incr = XCB_NONE;
    xcb_atom_t activeWindow = XCB_NONE;
    // The property of the helper's window that a read of CLIPBOARD puts the text in.
    xcb_atom_t readInto = XCB_NONE;
};

Atoms internAtoms(xcb_connection_t *connection);

// The next event, or nullptr when none came within the timeout or the connection broke.
xcb_generic_event_t *waitForEvent(xcb_connection_t *connection, int timeoutMs);

// A server timestamp, which ownership needs: the time of a property change on our own window.
xcb_timestamp_t serverTime(xcb_connection_t *connection, xcb_window_t window);

xcb_window_t selectionOwner(xcb_connection_t *connection, xcb_atom_t selection);

// WM_S<screen>, which the display's window manager holds: under Xwayland, the compositor.
xcb_atom_t windowManagerSelection(xcb_connection_t *connection, int screenNumber);

// Waits a while for the display's window manager to hold its selection. A compositor that has
// only now started Xwayland, for this helper, takes CLIPBOARD for the Wayland clipboard as its
// window manager starts, not before.
void waitForWindowManager(xcb_connection_t *connection, xcb_atom_t windowManager);

// Whether the window belongs to the client that holds windowManager: under Xwayland, the
// compositor.
bool ofWindowManager(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t windowManager);

// Whether an X11 window has the focus, as the window manager says on the root window.
bool x11WindowActive(xcb_connection_t *connection, xcb_window_t root, const Atoms &atoms);

// Asks XFixes to tell of every change of CLIPBOARD's owner. Returns the code of XFixes'
// selection event, or 0 where the server lacks XFixes.
uint8_t watchOwner(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t clipboard);

// Whether the selection's owner belongs to weston's window manager ("Weston WM", as it names
// itself on the window that _NET_SUPPORTING_WM_CHECK names), which holds windowManager.
bool heldByWeston(xcb_connection_t *connection, xcb_window_t root, xcb_atom_t selection,
                  xcb_atom_t windowManager);

// Whether the owner of CLIPBOARD, if any, answers an X11 client that asks for its targets now.
bool servedAlready(xcb_connection_t *connection, xcb_window_t window, const Atoms &atoms,
                   xcb_timestamp_t time);
