// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// vellumtide-clipboard: keeps the decoder's export on the X11 CLIPBOARD after the decoder ends.
//
// On X11 a selection lives only as long as its owner serves it, and with no clipboard manager
// running the text would die with the decoder. How the decoder starts the helper and what the
// helper answers is in helpercontract.h. The helper takes CLIPBOARD, answers, then detaches and
// serves the text until another client takes CLIPBOARD or the display closes.
//
// Asked to leave a served clipboard alone, it leaves it to an owner that answers an X11 client's
// question for its targets, as two owners taking CLIPBOARD at once can leave X11 clients
// nothing.
//
// A compositor that passes the Wayland clipboard on to X11 clients only while an X11 window has
// the focus may hold CLIPBOARD for that while and then let it go to no owner, which would leave
// X11 programs in the background nothing to paste. So where the compositor, the client that
// manages the windows, takes CLIPBOARD or answers in the helper's stead while an X11 window has
// the focus, the helper reads what it passes on; if that is the very text, the helper waits,
// and takes CLIPBOARD back when the compositor lets it go. Any other change of owner ends it.
// What each compositor does is in docs/clipboard.md.
//
// Served targets: TARGETS, TIMESTAMP, UTF8_STRING, text/plain;charset=utf-8, and TEXT and
// STRING as Latin-1 with "?" for what Latin-1 lacks. Large texts go by INCR transfers.
// Linked to libxcb and its XFixes library alone, so that it starts fast and holds little while
// it serves.

#include "helpercontract.h"
#include "server.h"
#include "xrequests.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <list>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace {

// Leaves the decoder behind: the parent exits with the status given, the child goes on in a
// session of its own, holding no descriptor of the decoder's but the X connection.
void detach(int keepDescriptor, int status)
{
    const pid_t child = fork();
    if (child < 0)
        fail("the clipboard helper could not detach from the program");
    if (child > 0)
        _exit(status);
    setsid();
    if (const int null = open("/dev/null", O_RDWR); null >= 0) {
        for (int standard = 0; standard < 3; ++standard)
            dup2(null, standard);
        if (null > 2)
            close(null);
    }
    for (int descriptor = 3; descriptor < keepDescriptor; ++descriptor)
        close(descriptor);
    close_range(static_cast<unsigned>(keepDescriptor) + 1, ~0U, 0);
    [[maybe_unused]] const int ignored = chdir("/");
}

// The text on standard input. The decoder's memory file is mapped as it stands, which takes no
// time however long the text, and its offset moved to its end, which tells the decoder that the
// text is taken; anything else is read into storage.
std::string_view takeText(std::string &storage)
{
    struct stat input;
    if (fstat(STDIN_FILENO, &input) == 0 && S_ISREG(input.st_mode) && input.st_size > 0) {
        const auto size = static_cast<std::size_t>(input.st_size);
        void *mapped = mmap(nullptr, size, PROT_READ, MAP_SHARED, STDIN_FILENO, 0);
        if (mapped != MAP_FAILED) {
            lseek(STDIN_FILENO, 0, SEEK_END);
            return {static_cast<const char *>(mapped), size};
        }
    }
    char buffer[1 << 16];
    for (ssize_t got; (got = read(STDIN_FILENO, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno != EINTR)
            fail("the clipboard helper could not read the text");
        if (got > 0)
            storage.append(buffer, static_cast<std::size_t>(got));
    }
    return storage;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool unlessServed = argc > 1 && std::strcmp(argv[1], ClipboardHelper::UnlessServed) == 0;
    std::string readText;
    const std::string_view text = takeText(readText);

    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection))
        fail("the X display could not be reached");
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0)
        fail("the X display has no such screen");

    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screens.data->root_visual, XCB_CW_EVENT_MASK,
                      &events);
    const Atoms atoms = internAtoms(connection);
    const uint8_t ownerChanged = watchOwner(connection, window, atoms.clipboard);
    const xcb_atom_t windowManager = windowManagerSelection(connection, screenNumber);
    const xcb_timestamp_t time = serverTime(connection, window);
    if (unlessServed) {
        waitForWindowManager(connection, windowManager);
        // weston's bridge serves X11 clients at any time but answers one request at a time, so
        // a question for its targets could take the answer meant for a paste under way: it is
        // left CLIPBOARD unasked.
        if (heldByWeston(connection, screens.data->root, atoms.clipboard, windowManager))
            return ClipboardHelper::LeftToCompositor;
    }
    Server server(connection, window, atoms, text, windowManager, ownerChanged);

    if (unlessServed && servedAlready(connection, window, atoms, time)) {
        // An owner that answers whatever has the focus is left to serve; a compositor that
        // answers only while an X11 window has the focus lets CLIPBOARD go once none has, and
        // the helper waits for that.
        const xcb_window_t owner = selectionOwner(connection, atoms.clipboard);
        // What XFixes told before is older than that answer.
        while (xcb_generic_event_t *older = xcb_poll_for_queued_event(connection))
            std::free(older);
        if (!server.ofCompositor(owner) || !x11WindowActive(connection, screens.data->root, atoms))
            return ClipboardHelper::LeftToCompositor;
        detach(xcb_get_file_descriptor(connection), ClipboardHelper::LeftToCompositor);
        server.checkCompositor();
        server.run();
        xcb_disconnect(connection);
        return 0;
    }

    xcb_set_selection_owner(connection, window, atoms.clipboard, time);
    if (selectionOwner(connection, atoms.clipboard) != window)
        fail("the X server did not give the clipboard to the program");

    detach(xcb_get_file_descriptor(connection), ClipboardHelper::Holds);
    server.serve(time);
    server.run();
    xcb_disconnect(connection);
    return 0;
}
