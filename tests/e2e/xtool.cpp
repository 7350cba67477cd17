// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A small X11 client for the end-to-end tests: what xdotool and xclip cannot do.
//
//   xtool close WINDOW    asks WINDOW to close, as a window manager does (WM_DELETE_WINDOW)
//   xtool hold-manager    owns CLIPBOARD_MANAGER and never answers, until killed
//   xtool fight SECONDS   takes CLIPBOARD over and over, as fast as the server allows
//   xtool class WINDOW    prints the class of WINDOW, the second string of its WM_CLASS
//   xtool compositor TEXT holds WM_S0, as the compositor does under Xwayland, and plays KWin's
//                         bridge: "take" on standard input gives an X11 window the focus and
//                         takes CLIPBOARD, passing TEXT on; "let-go" lets both go

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return result;
}

int closeWindow(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom(connection, "WM_PROTOCOLS");
    message.data.data32[0] = atom(connection, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&message));
    // A round trip before disconnecting: the server may drop the requests of a client that has
    // already hung up, and did so here about once in ten runs.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return 0;
}

int holdManager(xcb_connection_t *connection)
{
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    xcb_set_selection_owner(connection, window, atom(connection, "CLIPBOARD_MANAGER"),
                            XCB_CURRENT_TIME);
    xcb_flush(connection);
    std::puts("holding");
    std::fflush(stdout);
    while (xcb_generic_event_t *event = xcb_wait_for_event(connection))
        std::free(event); // requests are read and never answered
    return 0;
}

int fight(xcb_connection_t *connection, int seconds)
{
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    const xcb_atom_t clipboard = atom(connection, "CLIPBOARD");
    std::puts("fighting");
    std::fflush(stdout);
    const long rounds = seconds * 2000L;
    for (long round = 0; round < rounds && !xcb_connection_has_error(connection); ++round) {
        xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
        // A round trip each time, so that the server has taken every claim before the next.
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        usleep(500);
    }
    return 0;
}

int printClass(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
        nullptr);
    if (!reply)
        return 1;
    // Two strings, each ended by a NUL: the instance and the class.
    const std::string value(static_cast<const char *>(xcb_get_property_value(reply)),
                            static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    std::free(reply);
    const std::size_t end = value.find('\0');
    if (end == std::string::npos)
        return 1;
    std::puts(value.substr(end + 1, value.find('\0', end + 1) - end - 1).c_str());
    return 0;
}

// Answers a request for the targets or the text, says which it was, and refuses any other.
void answer(xcb_connection_t *connection, const xcb_selection_request_event_t &request,
            const std::string &text)
{
    const xcb_atom_t targets[] = {atom(connection, "TARGETS"), atom(connection, "UTF8_STRING")};
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = request.property;
    if (request.target == targets[0])
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                            XCB_ATOM_ATOM, 32, 2, targets);
    else if (request.target == targets[1])
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                            targets[1], 8, text.size(), text.data());
    else
        notify.property = XCB_NONE;
    xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&notify));
    std::puts(request.target == targets[1] ? "read" : "asked");
}

int compositor(xcb_connection_t *connection, const std::string &text)
{
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    xcb_set_selection_owner(connection, window, atom(connection, "WM_S0"), XCB_CURRENT_TIME);
    std::puts("ready");
    pollfd inputs[] = {{STDIN_FILENO, POLLIN, 0}, {xcb_get_file_descriptor(connection), POLLIN, 0}};
    for (char line[64]; !xcb_connection_has_error(connection);) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7F) == XCB_SELECTION_REQUEST)
                answer(connection, *reinterpret_cast<xcb_selection_request_event_t *>(event), text);
            std::free(event);
        }
        xcb_flush(connection);
        std::fflush(stdout);
        if (poll(inputs, 2, -1) < 0 || (inputs[0].revents & POLLIN) == 0)
            continue;
        if (read(STDIN_FILENO, line, sizeof line) <= 0)
            return 0;
        const xcb_window_t focused = line[0] == 't' ? window : XCB_NONE;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, screen->root,
                            atom(connection, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1,
                            &focused);
        xcb_set_selection_owner(connection, focused, atom(connection, "CLIPBOARD"),
                                XCB_CURRENT_TIME);
        std::puts(focused != XCB_NONE ? "taken" : "let go");
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "xtool: no display\n");
        return 2;
    }
    const std::string command = argc > 1 ? argv[1] : "";
    int status = 2;
    if (command == "close" && argc == 3)
        status =
            closeWindow(connection, static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0)));
    else if (command == "hold-manager")
        status = holdManager(connection);
    else if (command == "fight" && argc == 3)
        status = fight(connection, std::atoi(argv[2]));
    else if (command == "class" && argc == 3)
        status =
            printClass(connection, static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0)));
    else if (command == "compositor" && argc == 3)
        status = compositor(connection, argv[2]);
    else
        std::fprintf(stderr, "usage: xtool close WINDOW | hold-manager | fight SECONDS | "
                             "class WINDOW | compositor TEXT\n");
    xcb_disconnect(connection);
    return status;
}
