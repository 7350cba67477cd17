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
// KWin takes CLIPBOARD from the helper when an X11 window gets the focus while the Wayland
// clipboard is still wl-copy's (its bridge has not yet passed the helper's text on to Wayland),
// and lets CLIPBOARD go, to no owner, once no X11 window has the focus: X11 programs in the
// background would then paste nothing. So where the compositor, the client that manages the
// windows, takes CLIPBOARD or answers in the helper's stead while an X11 window has the focus,
// the helper reads what it passes on; if that is the very text, the helper waits, and takes
// CLIPBOARD back when the compositor lets it go. Any other change of owner ends it.
//
// Served targets: TARGETS, TIMESTAMP, UTF8_STRING, text/plain;charset=utf-8, and TEXT and
// STRING as Latin-1 with "?" for what Latin-1 lacks. Large texts go by INCR transfers.
// Linked to libxcb and its XFixes library alone, so that it starts fast and holds little while
// it serves.

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
#include <unistd.h>
#include <utility>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

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
    xcb_atom_t activeWindow = XCB_NONE;
    // The property of the helper's window that a read of CLIPBOARD puts the text in.
    xcb_atom_t readInto = XCB_NONE;
};

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

xcb_window_t selectionOwner(xcb_connection_t *connection, xcb_atom_t selection)
{
    xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    std::free(reply);
    return owner;
}

// WM_S<screen>, which the display's window manager holds: under Xwayland, the compositor.
xcb_atom_t windowManagerSelection(xcb_connection_t *connection, int screenNumber)
{
    const std::string name = "WM_S" + std::to_string(screenNumber);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, name.size(), name.c_str()), nullptr);
    const xcb_atom_t selection = atom ? atom->atom : XCB_NONE;
    std::free(atom);
    return selection;
}

// Waits a while for the display's window manager to hold its selection. A compositor that has
// only now started Xwayland, for this helper, takes CLIPBOARD for the Wayland clipboard as its
// window manager starts, not before.
void waitForWindowManager(xcb_connection_t *connection, xcb_atom_t windowManager)
{
    for (int waited = 0; waited < WindowManagerWaitMs && windowManager != XCB_NONE &&
                         selectionOwner(connection, windowManager) == XCB_NONE;
         waited += 20)
        usleep(20 * 1000);
}

// The X11 client that owns a window: the part of a window's id that the server gave the client.
uint32_t clientOf(xcb_connection_t *connection, xcb_window_t window)
{
    return window & ~xcb_get_setup(connection)->resource_id_mask;
}

// Whether an X11 window has the focus, as the window manager says on the root window.
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

// Asks XFixes to tell of every change of CLIPBOARD's owner. Returns the code of XFixes'
// selection event, or 0 where the server lacks XFixes.
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

// Whether the owner of CLIPBOARD, if any, answers an X11 client that asks for its targets now.
bool servedAlready(xcb_connection_t *connection, xcb_window_t window, const Atoms &atoms,
                   xcb_timestamp_t time)
{
    if (selectionOwner(connection, atoms.clipboard) == XCB_NONE)
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

std::string latin1FromUtf8(const std::string &utf8)
{
    std::string latin1;
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
    const std::string *data;
    std::size_t offset = 0;
};

class Server
{
public:
    Server(xcb_connection_t *connection, xcb_window_t window, const Atoms &atoms, std::string utf8,
           xcb_atom_t windowManager, uint8_t ownerChanged)
        : m_connection(connection)
        , m_window(window)
        , m_atoms(atoms)
        , m_utf8(std::move(utf8))
        , m_windowManager(windowManager)
        , m_ownerChanged(ownerChanged)
    {
        const uint32_t maximum = xcb_get_maximum_request_length(connection) * 4;
        m_chunk = std::min<std::size_t>(IncrChunk, maximum > 1024 ? maximum - 1024 : 1024);
    }

    // Whether the window belongs to the compositor, the client that holds the window manager's
    // selection, where the helper can watch it let CLIPBOARD go.
    bool ofCompositor(xcb_window_t window) const
    {
        if (m_ownerChanged == 0 || m_windowManager == XCB_NONE || window == XCB_NONE)
            return false;
        const xcb_window_t manager = selectionOwner(m_connection, m_windowManager);
        return manager != XCB_NONE &&
               clientOf(m_connection, manager) == clientOf(m_connection, window);
    }

    // Serves CLIPBOARD, taken at the given time, until the work ends (see run()).
    void serve(xcb_timestamp_t ownedSince)
    {
        m_ownedSince = ownedSince;
        m_state = State::Serving;
    }

    // Reads what the compositor, which holds CLIPBOARD, passes on; the work goes on only where
    // it is the very text.
    void checkCompositor()
    {
        m_state = State::Checking;
        m_read.clear();
        m_readByIncr = false;
        m_letGoWhileChecking = false;
        m_takenWhileChecking = false;
        xcb_delete_property(m_connection, m_window, m_atoms.readInto);
        xcb_convert_selection(m_connection, m_window, m_atoms.clipboard, m_atoms.utf8String,
                              m_atoms.readInto, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
    }

    // Serves, and watches the compositor while it holds CLIPBOARD, until another client takes
    // CLIPBOARD, the compositor passes on another text, or the connection closes.
    void run()
    {
        while (m_state != State::Done) {
            // The compositor answers a read at once, or not at all.
            xcb_generic_event_t *event = m_state == State::Checking
                                             ? waitForEvent(m_connection, ServerTimeoutMs)
                                             : xcb_wait_for_event(m_connection);
            if (!event)
                return;
            handle(*event);
            std::free(event);
            xcb_flush(m_connection);
        }
    }

private:
    enum class State { Serving, Checking, Waiting, Done };

    void handle(const xcb_generic_event_t &event)
    {
        const uint8_t type = event.response_type & 0x7F;
        switch (type) {
        case XCB_SELECTION_CLEAR:
            // Where XFixes tells who took CLIPBOARD, that decides.
            if (m_ownerChanged == 0 &&
                reinterpret_cast<const xcb_selection_clear_event_t &>(event).selection ==
                    m_atoms.clipboard)
                m_state = State::Done;
            break;
        case XCB_SELECTION_REQUEST:
            answer(reinterpret_cast<const xcb_selection_request_event_t &>(event));
            break;
        case XCB_SELECTION_NOTIFY:
            readStarted(reinterpret_cast<const xcb_selection_notify_event_t &>(event));
            break;
        case XCB_PROPERTY_NOTIFY: {
            const auto &notify = reinterpret_cast<const xcb_property_notify_event_t &>(event);
            if (notify.window != m_window)
                continueTransfer(notify);
            else if (m_state == State::Checking && m_readByIncr &&
                     notify.atom == m_atoms.readInto && notify.state == XCB_PROPERTY_NEW_VALUE)
                readPiece(false);
            break;
        }
        default:
            if (m_ownerChanged != 0 && type == m_ownerChanged)
                ownerChanged(reinterpret_cast<const xcb_xfixes_selection_notify_event_t &>(event));
            break;
        }
    }

    void ownerChanged(const xcb_xfixes_selection_notify_event_t &change)
    {
        if (change.selection != m_atoms.clipboard || change.owner == m_window)
            return;
        const bool letGo = change.subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER &&
                           change.owner == XCB_NONE;
        switch (m_state) {
        case State::Serving:
            // The compositor takes CLIPBOARD to pass the Wayland clipboard on to a focused X11
            // window; any other owner ends the work.
            if (change.subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER &&
                ofCompositor(change.owner))
                checkCompositor();
            else
                m_state = State::Done;
            break;
        case State::Checking:
            // Decided once the read is over.
            if (letGo) {
                m_letGoWhileChecking = true;
                m_letGoTime = change.timestamp;
            } else {
                m_takenWhileChecking = true;
            }
            break;
        case State::Waiting:
            if (letGo)
                takeBack(change.timestamp);
            else
                m_state = State::Done;
            break;
        case State::Done:
            break;
        }
    }

    void readStarted(const xcb_selection_notify_event_t &notify)
    {
        if (m_state != State::Checking || notify.requestor != m_window ||
            notify.selection != m_atoms.clipboard)
            return;
        if (notify.property == XCB_NONE)
            m_state = State::Done;
        else
            readPiece(true);
    }

    // Takes a piece of the text from the property, deleting it: a sender by INCR then puts the
    // next piece there, and an empty one at the end.
    void readPiece(bool first)
    {
        xcb_get_property_reply_t *reply =
            xcb_get_property_reply(m_connection,
                                   xcb_get_property(m_connection, 1, m_window, m_atoms.readInto,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
                                   nullptr);
        if (!reply) {
            m_state = State::Done;
            return;
        }
        const bool incrStarts = first && reply->type == m_atoms.incr;
        const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply));
        if (!incrStarts)
            m_read.append(static_cast<const char *>(xcb_get_property_value(reply)), length);
        std::free(reply);
        if (incrStarts) {
            m_readByIncr = true;
            return;
        }
        if (m_readByIncr && length > 0 && m_read.size() <= m_utf8.size())
            return;
        readEnded(m_read == m_utf8);
    }

    void readEnded(bool sameText)
    {
        m_read.clear();
        if (!sameText || m_takenWhileChecking)
            m_state = State::Done;
        else if (m_letGoWhileChecking)
            takeBack(m_letGoTime);
        else
            m_state = State::Waiting;
    }

    void takeBack(xcb_timestamp_t time)
    {
        xcb_set_selection_owner(m_connection, m_window, m_atoms.clipboard, time);
        if (selectionOwner(m_connection, m_atoms.clipboard) == m_window)
            serve(time);
        else
            m_state = State::Done;
    }

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

    void send(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, const std::string &data)
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
        m_transfers.push_back({requestor, property, type, &data});
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
        const std::size_t size = std::min(m_chunk, transfer->data->size() - transfer->offset);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, transfer->requestor,
                            transfer->property, transfer->type, 8, size,
                            transfer->data->data() + transfer->offset);
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
    std::string m_utf8;
    std::string m_latin1;
    std::size_t m_chunk = IncrChunk;
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

} // namespace

int main(int argc, char *argv[])
{
    const bool unlessServed = argc > 1 && std::strcmp(argv[1], ClipboardHelper::UnlessServed) == 0;
    std::string text;
    char buffer[1 << 16];
    for (ssize_t got; (got = read(STDIN_FILENO, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno != EINTR)
            fail("the clipboard helper could not read the text");
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
    }

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
    if (unlessServed)
        waitForWindowManager(connection, windowManager);
    Server server(connection, window, atoms, text, windowManager, ownerChanged);

    if (unlessServed && servedAlready(connection, window, atoms, time)) {
        // weston and mutter answer at any time: left to them. KWin answers only while an X11
        // window has the focus, and lets CLIPBOARD go once none has; the helper waits for that.
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
