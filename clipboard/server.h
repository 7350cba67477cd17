// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The clipboard helper's serving of CLIPBOARD: it answers every request for the text (by INCR
// transfers where it is long), and, where the compositor takes CLIPBOARD only to pass the
// Wayland clipboard on to a focused X11 window (KWin), reads what it passes on and takes
// CLIPBOARD back once the compositor lets it go, if that was this very text.
#pragma once

#include "xrequests.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

// A transfer of a large text to one requestor, piece by piece, each taken when the requestor
// deletes the property that held the one before.
struct IncrTransfer
{
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    std::string_view data;
    std::size_t offset = 0;
};

class Server
{
public:
    Server(xcb_connection_t *connection, xcb_window_t window, const Atoms &atoms,
           std::string_view utf8, xcb_atom_t windowManager, uint8_t ownerChanged);

    // Whether the window belongs to the compositor, the client that holds the window manager's
    // selection, where the helper can watch it let CLIPBOARD go.
    bool ofCompositor(xcb_window_t window) const;

    // Serves CLIPBOARD, taken at the given time, until the work ends (see run()).
    void serve(xcb_timestamp_t ownedSince);

    // Reads what the compositor, which holds CLIPBOARD, passes on; the work goes on only where
    // it is the very text.
    void checkCompositor();

    // Serves, and watches the compositor while it holds CLIPBOARD, until another client takes
    // CLIPBOARD, the compositor passes on another text, or the connection closes.
    void run();

private:
    enum class State { Serving, Checking, Waiting, Done };

    void handle(const xcb_generic_event_t &event);

    void ownerChanged(const xcb_xfixes_selection_notify_event_t &change);

    void readStarted(const xcb_selection_notify_event_t &notify);

    // Takes a piece of the text from the property, deleting it: a sender by INCR then puts the
    // next piece there, and an empty one at the end.
    void readPiece(bool first);

    void readEnded(bool sameText);

    void takeBack(xcb_timestamp_t time);

    void answer(const xcb_selection_request_event_t &request);

    // Puts the target's data into the requestor's property; false for a target not served.
    bool put(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target);

    void send(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, std::string_view data);

    void continueTransfer(const xcb_property_notify_event_t &event);

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_window = XCB_NONE;
    Atoms m_atoms;
    xcb_timestamp_t m_ownedSince = XCB_CURRENT_TIME;
    std::string_view m_utf8;
    std::string m_latin1;
    std::size_t m_chunk = 0;
    std::list<IncrTransfer> m_transfers;
    // WM_S<screen>; XFixes' event, 0 without XFixes.
    xcb_atom_t m_windowManager = XCB_NONE;
    uint8_t m_ownerChanged = 0;
    State m_state = State::Serving;
    // The read of what the compositor passes on, and what changed meanwhile.
    std::string m_read;
    bool m_readByIncr = false;
    bool m_letGoWhileChecking = false;
    bool m_takenWhileChecking = false;
    xcb_timestamp_t m_letGoTime = XCB_CURRENT_TIME;
};
