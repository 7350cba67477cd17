// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "xrequests.h"

#include "helpercontract.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <poll.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <xcb/xfixes.h>

namespace {

// How long --unless-served waits for the window manager of a display that is only starting.
constexpr int WindowManagerWaitMs = 1000;

xcb_atom_t atomNamed(xcb_connection_t *connection, std::string_view name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, name.size(), name.data()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

// The X11 client that owns a window: the part of a window's id that the server gave the client.
uint32_t clientOf(xcb_connection_t *connection, xcb_window_t window)
{
    return window & ~xcb_get_setup(connection)->resource_id_mask;
}

// The next event of the given type, those before it dropped; nullptr where the server sent
// nothing for ServerTimeoutMs.
xcb_generic_event_t *nextOfType(xcb_connection_t *connection, uint8_t type)
{
    while (xcb_generic_event_t *event = waitForEvent(connection, ServerTimeoutMs)) {
        if ((event->response_type & 0x7F) == type)
            return event;
        std::free(event);
    }
    return nullptr;
}

} // namespace

void fail(const char *reason)
{
    std::fprintf(stderr, "%s\n", reason);
    std::exit(ClipboardHelper::Failed);
}

Atoms internAtoms(xcb_connection_t *connection)
{
    Atoms atoms;
    const std::pair<const char *, xcb_atom_t *> names[] = {
        {"CLIPBOARD", &atoms.clipboard},
        {"TARGETS", &atoms.targets},
        {"TIMESTAMP", &atoms.timestamp},
        {"UTF8_STRING", &atoms.utf8String},
        {"text/plain;charset=utf-8", &atoms.textPlainUtf8},
        {"TEXT", &atoms.text},
        {"INCR", &atoms.incr},
        {"_NET_ACTIVE_WINDOW", &atoms.activeWindow},
        {"VELLUMTIDE_CLIPBOARD", &atoms.readInto}};
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, std::strlen(names[i].first), names[i].first);
    for (std::size_t i = 0; i < std::size(names); ++i) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
        if (!reply)
            fail("the X server did not answer");
        *names[i].second = reply->atom;
        std::free(reply);
    }
    return atoms;
}

xcb_generic_event_t *waitForEvent(xcb_connection_t *connection, int timeoutMs)
{
    if (xcb_generic_event_t *event = xcb_poll_for_event(connection))
        return event;
    pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (poll(&descriptor, 1, timeoutMs) > 0) {
        if (xcb_generic_event_t *event = xcb_poll_for_event(connection))
            return event;
        if (xcb_connection_has_error(connection))
            return nullptr;
    }
    return nullptr;
}

xcb_timestamp_t serverTime(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                        8, 0, nullptr);
    xcb_flush(connection);
    xcb_generic_event_t *event = nextOfType(connection, XCB_PROPERTY_NOTIFY);
    if (!event)
        fail("the X server did not answer");
    const xcb_timestamp_t time = reinterpret_cast<xcb_property_notify_event_t *>(event)->time;
    std::free(event);
    return time;
}

xcb_window_t selectionOwner(xcb_connection_t *connection, xcb_atom_t selection)
{
    xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    std::free(reply);
    return owner;
}

xcb_atom_t windowManagerSelection(xcb_connection_t *connection, int screenNumber)
{
    return atomNamed(connection, "WM_S" + std::to_string(screenNumber));
}

void waitForWindowManager(xcb_connection_t *connection, xcb_atom_t windowManager)
{
    for (int waited = 0; waited < WindowManagerWaitMs && windowManager != XCB_NONE &&
                         selectionOwner(connection, windowManager) == XCB_NONE;
         waited += 20)
        usleep(20 * 1000);
}

bool ofWindowManager(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t windowManager)
{
    if (window == XCB_NONE || windowManager == XCB_NONE)
        return false;
    const xcb_window_t manager = selectionOwner(connection, windowManager);
    return manager != XCB_NONE && clientOf(connection, manager) == clientOf(connection, window);
}

bool x11WindowActive(xcb_connection_t *connection, xcb_window_t root, const Atoms &atoms)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, root, atoms.activeWindow, XCB_ATOM_WINDOW, 0, 1), nullptr);
    const bool active =
        reply && reply->format == 32 && xcb_get_property_value_length(reply) == 4 &&
        *static_cast<const xcb_window_t *>(xcb_get_property_value(reply)) != XCB_NONE;
    std::free(reply);
    return active;
}

uint8_t watchOwner(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t clipboard)
{
    const xcb_query_extension_reply_t *xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present)
        return 0;
    std::free(xcb_xfixes_query_version_reply(
        connection, xcb_xfixes_query_version(connection, XCB_XFIXES_MAJOR_VERSION, 0), nullptr));
    xcb_xfixes_select_selection_input(connection, window, clipboard,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    return xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
}

namespace {

// A property of a window, as bytes; empty where it has none.
std::string propertyOf(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr);
    std::string value;
    if (reply)
        value.assign(static_cast<const char *>(xcb_get_property_value(reply)),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    std::free(reply);
    return value;
}

} // namespace

bool heldByWeston(xcb_connection_t *connection, xcb_window_t root, xcb_atom_t selection,
                  xcb_atom_t windowManager)
{
    if (!ofWindowManager(connection, selectionOwner(connection, selection), windowManager))
        return false;
    const std::string check =
        propertyOf(connection, root, atomNamed(connection, "_NET_SUPPORTING_WM_CHECK"));
    if (check.size() != sizeof(xcb_window_t))
        return false;
    xcb_window_t checkWindow = XCB_NONE;
    std::memcpy(&checkWindow, check.data(), sizeof checkWindow);
    return propertyOf(connection, checkWindow, atomNamed(connection, "_NET_WM_NAME")) ==
           "Weston WM";
}

bool servedAlready(xcb_connection_t *connection, xcb_window_t window, const Atoms &atoms,
                   xcb_timestamp_t time)
{
    if (selectionOwner(connection, atoms.clipboard) == XCB_NONE)
        return false;
    xcb_convert_selection(connection, window, atoms.clipboard, atoms.targets, atoms.targets, time);
    xcb_flush(connection);
    xcb_generic_event_t *event = nextOfType(connection, XCB_SELECTION_NOTIFY);
    const bool answered =
        event && reinterpret_cast<xcb_selection_notify_event_t *>(event)->property != XCB_NONE;
    std::free(event);
    return answered;
}
