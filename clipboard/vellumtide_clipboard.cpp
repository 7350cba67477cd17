// vellumtide-clipboard: keeps the decoder's export on the X11 CLIPBOARD after the decoder ends.
//
// On X11 a selection lives only as long as its owner serves it, and with no clipboard manager
// running the text would die with the decoder. How the decoder starts the helper and what the
// helper answers is in helpercontract.h. The helper takes CLIPBOARD, answers, then detaches and
// serves the text until another client takes CLIPBOARD or the display closes.
//
// Asked to leave a served clipboard alone, it leaves it to an owner that answers an X11 client's
// question for its targets: a compositor that passes the Wayland clipboard on to X11 clients
// (weston, mutter) does at any time, where sway and KWin do so only while an X11 window has the
// focus.
//
// Served targets: TARGETS, TIMESTAMP, UTF8_STRING, text/plain;charset=utf-8, and TEXT and
// STRING as Latin-1 with "?" for what Latin-1 lacks. Large texts go by INCR transfers.
// Linked to libxcb alone, so that it starts fast and holds little while it serves.

#include "helpercontract.h"

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
#include <vector>
#include <xcb/xcb.h>

namespace {

// How long the X server may take to answer while the decoder waits on us.
constexpr int ServerTimeoutMs = 500;
// How long --unless-served waits for the window manager of a display that is only starting.
constexpr int WindowManagerWaitMs = 1000;
// The largest piece of text sent in one property; larger texts go by INCR.
constexpr std::size_t IncrChunk = 256 * 1024;

[[noreturn]] void fail(const char *reason)
{
    std::fprintf(stderr, "%s\n", reason);
    std::exit(ClipboardHelper::Failed);
}

struct Atoms
{
    xcb_atom_t clipboard = XCB_NONE;
    xcb_atom_t targets = XCB_NONE;
    xcb_atom_t timestamp = XCB_NONE;
    xcb_atom_t utf8String = XCB_NONE;
    xcb_atom_t textPlainUtf8 = XCB_NONE;
    xcb_atom_t text = XCB_NONE;
    xcb_atom_t incr = XCB_NONE;
};

Atoms internAtoms(xcb_connection_t *connection)
{
    const char *names[] = {
        "CLIPBOARD", "TARGETS", "TIMESTAMP", "UTF8_STRING", "text/plain;charset=utf-8",
        "TEXT",      "INCR"};
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, std::strlen(names[i]), names[i]);
    xcb_atom_t atoms[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
        if (!reply)
            fail("the X server did not answer");
        atoms[i] = reply->atom;
        std::free(reply);
    }
    return {atoms[0], atoms[1], atoms[2], atoms[3], atoms[4], atoms[5], atoms[6]};
}

// The next event, or nullptr when none came within the timeout or the connection broke.
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

// A server timestamp, which ownership needs: the time of a property change on our own window.
xcb_timestamp_t serverTime(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                        8, 0, nullptr);
    xcb_flush(connection);
    while (xcb_generic_event_t *event = waitForEvent(connection, ServerTimeoutMs)) {
        const bool isPropertyNotify = (event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY;
        const xcb_timestamp_t time =
            isPropertyNotify ? reinterpret_cast<xcb_property_notify_event_t *>(event)->time : 0;
        std::free(event);
        if (isPropertyNotify)
            return time;
    }
    fail("the X server did not answer");
}

bool hasOwner(xcb_connection_t *connection, xcb_atom_t selection)
{
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    return owned;
}

// Waits a while for the display's window manager, under Xwayland the compositor, to hold
// WM_S<screen>. A compositor that has only now started Xwayland, for this helper, takes
// CLIPBOARD for the Wayland clipboard as its window manager starts, not before.
void waitForWindowManager(xcb_connection_t *connection, int screenNumber)
{
    const std::string name = "WM_S" + std::to_string(screenNumber);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, name.size(), name.c_str()), nullptr);
    if (!atom)
        return;
    for (int waited = 0; waited < WindowManagerWaitMs && !hasOwner(connection, atom->atom);
         waited += 20)
        usleep(20 * 1000);
    std::free(atom);
}

// Whether the owner of CLIPBOARD, if any, answers an X11 client that asks for its targets now.
bool servedAlready(xcb_connection_t *connection, xcb_window_t window, const Atoms &atoms,
                   xcb_timestamp_t time)
{
    if (!hasOwner(connection, atoms.clipboard))
        return false;
    xcb_convert_selection(connection, window, atoms.clipboard, atoms.targets, atoms.targets, time);
    xcb_flush(connection);
    while (xcb_generic_event_t *event = waitForEvent(connection, ServerTimeoutMs)) {
        const bool isNotify = (event->response_type & 0x7F) == XCB_SELECTION_NOTIFY;
        const bool answered =
            isNotify &&
            reinterpret_cast<xcb_selection_notify_event_t *>(event)->property != XCB_NONE;
        std::free(event);
        if (isNotify)
            return answered;
    }
    return false;
}

std::string latin1FromUtf8(std::string_view utf8)
{
    std::string latin1;
    latin1.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        latin1 += c <= 0xFF ? static_cast<char>(c) : '?';
        i += length;
    }
    return latin1;
}

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
           xcb_timestamp_t ownedSince, std::string_view utf8)
        : m_connection(connection)
        , m_window(window)
        , m_atoms(atoms)
        , m_ownedSince(ownedSince)
        , m_utf8(utf8)
    {
        const uint32_t maximum = xcb_get_maximum_request_length(connection) * 4;
        m_chunk = std::min<std::size_t>(IncrChunk, maximum > 1024 ? maximum - 1024 : 1024);
    }

    // Serves until another client takes CLIPBOARD or the connection closes.
    void run()
    {
        while (xcb_generic_event_t *event = xcb_wait_for_event(m_connection)) {
            bool done = false;
            switch (event->response_type & 0x7F) {
            case XCB_SELECTION_CLEAR:
                done = reinterpret_cast<xcb_selection_clear_event_t *>(event)->selection ==
                       m_atoms.clipboard;
                break;
            case XCB_SELECTION_REQUEST:
                answer(*reinterpret_cast<xcb_selection_request_event_t *>(event));
                break;
            case XCB_PROPERTY_NOTIFY:
                continueTransfer(*reinterpret_cast<xcb_property_notify_event_t *>(event));
                break;
            default:
                break;
            }
            std::free(event);
            xcb_flush(m_connection);
            if (done)
                return;
        }
    }

private:
    void answer(const xcb_selection_request_event_t &request)
    {
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = XCB_NONE;
        // Clients from before ICCCM 2.0 name no property and expect the target's name.
        const xcb_atom_t property =
            request.property == XCB_NONE ? request.target : request.property;
        const bool current = request.time == XCB_CURRENT_TIME || request.time >= m_ownedSince;
        if (request.selection == m_atoms.clipboard && request.owner == m_window && current &&
            put(request.requestor, property, request.target))
            notify.property = property;
        xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&notify));
    }

    // Puts the target's data into the requestor's property; false for a target not served.
    bool put(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target)
    {
        if (target == m_atoms.targets) {
            const xcb_atom_t targets[] = {m_atoms.targets,    m_atoms.timestamp,
                                          m_atoms.utf8String, m_atoms.textPlainUtf8,
                                          m_atoms.text,       XCB_ATOM_STRING};
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property,
                                XCB_ATOM_ATOM, 32, std::size(targets), targets);
            return true;
        }
        if (target == m_atoms.timestamp) {
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property,
                                XCB_ATOM_INTEGER, 32, 1, &m_ownedSince);
            return true;
        }
        if (target == m_atoms.utf8String || target == m_atoms.textPlainUtf8) {
            send(requestor, property, target, m_utf8);
            return true;
        }
        if (target == m_atoms.text || target == XCB_ATOM_STRING) {
            if (m_latin1.empty() && !m_utf8.empty())
                m_latin1 = latin1FromUtf8(m_utf8);
            send(requestor, property, XCB_ATOM_STRING, m_latin1);
            return true;
        }
        return false;
    }

    void send(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, std::string_view data)
    {
        if (data.size() <= m_chunk) {
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, type, 8,
                                data.size(), data.data());
            return;
        }
        // Watch the requestor's property for deletions, then announce the size.
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_connection, requestor, XCB_CW_EVENT_MASK, &mask);
        const auto size = static_cast<uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX));
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, m_atoms.incr,
                            32, 1, &size);
        m_transfers.push_back({requestor, property, type, data});
    }

    void continueTransfer(const xcb_property_notify_event_t &event)
    {
        if (event.state != XCB_PROPERTY_DELETE)
            return;
        const auto transfer = std::find_if(m_transfers.begin(), m_transfers.end(), [&](auto &t) {
            return t.requestor == event.window && t.property == event.atom;
        });
        if (transfer == m_transfers.end())
            return;
        const std::size_t size = std::min(m_chunk, transfer->data.size() - transfer->offset);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, transfer->requestor,
                            transfer->property, transfer->type, 8, size,
                            transfer->data.data() + transfer->offset);
        transfer->offset += size;
        if (size == 0) { // the empty piece that ends the transfer has been written
            const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
            xcb_change_window_attributes(m_connection, transfer->requestor, XCB_CW_EVENT_MASK,
                                         &none);
            m_transfers.erase(transfer);
        }
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_window = XCB_NONE;
    Atoms m_atoms;
    xcb_timestamp_t m_ownedSince = XCB_CURRENT_TIME;
    std::string_view m_utf8;
    std::string m_latin1;
    std::size_t m_chunk = IncrChunk;
    std::list<IncrTransfer> m_transfers;
};

// Leaves the decoder behind: the parent exits with success, the child goes on in a session of
// its own, holding no descriptor of the decoder's but the X connection.
void detach(int keepDescriptor)
{
    const pid_t child = fork();
    if (child < 0)
        fail("the clipboard helper could not detach from the program");
    if (child > 0)
        _exit(ClipboardHelper::Holds);
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
    struct stat input
    {
    };
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
    const xcb_timestamp_t time = serverTime(connection, window);
    if (unlessServed) {
        waitForWindowManager(connection, screenNumber);
        if (servedAlready(connection, window, atoms, time))
            return ClipboardHelper::LeftToCompositor;
    }

    xcb_set_selection_owner(connection, window, atoms.clipboard, time);
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atoms.clipboard), nullptr);
    const bool owned = owner && owner->owner == window;
    std::free(owner);
    if (!owned)
        fail("the X server did not give the clipboard to the program");

    detach(xcb_get_file_descriptor(connection));
    Server(connection, window, atoms, time, text).run();
    xcb_disconnect(connection);
    return 0;
}
