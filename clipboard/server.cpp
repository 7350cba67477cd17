// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "server.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

// The largest piece of text sent in one property; larger texts go by INCR.
constexpr std::size_t IncrChunk = 256 * 1024;

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

} // namespace

Server::Server(xcb_connection_t *connection, xcb_window_t window, const Atoms &atoms,
               std::string_view utf8, xcb_atom_t windowManager, uint8_t ownerChanged)
    : m_connection(connection)
    , m_window(window)
    , m_atoms(atoms)
    , m_utf8(utf8)
    , m_windowManager(windowManager)
    , m_ownerChanged(ownerChanged)
{
    const uint32_t maximum = xcb_get_maximum_request_length(connection) * 4;
    m_chunk = std::min<std::size_t>(IncrChunk, maximum > 1024 ? maximum - 1024 : 1024);
}

bool Server::ofCompositor(xcb_window_t window) const
{
    return m_ownerChanged != 0 && ofWindowManager(m_connection, window, m_windowManager);
}

void Server::serve(xcb_timestamp_t ownedSince)
{
    m_ownedSince = ownedSince;
    m_state = State::Serving;
}

void Server::checkCompositor()
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

void Server::run()
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

void Server::handle(const xcb_generic_event_t &event)
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
        else if (m_state == State::Checking && m_readByIncr && notify.atom == m_atoms.readInto &&
                 notify.state == XCB_PROPERTY_NEW_VALUE)
            readPiece(false);
        break;
    }
    default:
        if (m_ownerChanged != 0 && type == m_ownerChanged)
            ownerChanged(reinterpret_cast<const xcb_xfixes_selection_notify_event_t &>(event));
        break;
    }
}

void Server::ownerChanged(const xcb_xfixes_selection_notify_event_t &change)
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

void Server::readStarted(const xcb_selection_notify_event_t &notify)
{
    if (m_state != State::Checking || notify.requestor != m_window ||
        notify.selection != m_atoms.clipboard)
        return;
    if (notify.property == XCB_NONE)
        m_state = State::Done;
    else
        readPiece(true);
}

void Server::readPiece(bool first)
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

void Server::readEnded(bool sameText)
{
    m_read.clear();
    if (!sameText || m_takenWhileChecking)
        m_state = State::Done;
    else if (m_letGoWhileChecking)
        takeBack(m_letGoTime);
    else
        m_state = State::Waiting;
}

void Server::takeBack(xcb_timestamp_t time)
{
    xcb_set_selection_owner(m_connection, m_window, m_atoms.clipboard, time);
    if (selectionOwner(m_connection, m_atoms.clipboard) == m_window)
        serve(time);
    else
        m_state = State::Done;
}

void Server::answer(const xcb_selection_request_event_t &request)
{
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = XCB_NONE;
    // Clients from before ICCCM 2.0 name no property and expect the target's name.
    const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
    const bool current = request.time == XCB_CURRENT_TIME || request.time >= m_ownedSince;
    if (request.selection == m_atoms.clipboard && request.owner == m_window && current &&
        put(request.requestor, property, request.target))
        notify.property = property;
    xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&notify));
}

bool Server::put(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target)
{
    if (target == m_atoms.targets) {
        const xcb_atom_t targets[] = {m_atoms.targets,       m_atoms.timestamp, m_atoms.utf8String,
                                      m_atoms.textPlainUtf8, m_atoms.text,      XCB_ATOM_STRING};
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_ATOM,
                            32, std::size(targets), targets);
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

void Server::send(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type,
                  std::string_view data)
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
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, m_atoms.incr, 32,
                        1, &size);
    m_transfers.push_back({requestor, property, type, data});
}

void Server::continueTransfer(const xcb_property_notify_event_t &event)
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
        xcb_change_window_attributes(m_connection, transfer->requestor, XCB_CW_EVENT_MASK, &none);
        m_transfers.erase(transfer);
    }
}
