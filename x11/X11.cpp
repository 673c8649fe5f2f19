#include "X11.h"

#include <QGuiApplication>
#include <QHash>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace X11 {

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

std::uint32_t rootOf(xcb_connection_t* c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

namespace {

// An atom names the same thing for as long as the connection lasts.
QHash<QByteArray, std::uint32_t> knownAtoms;

}  // namespace

void internAtoms(std::initializer_list<const char*> names)
{
    // All asked for before any answer is awaited: one round trip.
    xcb_connection_t* c = connection();
    std::vector<std::pair<QByteArray, xcb_intern_atom_cookie_t>> asked;
    for (const char* name : names)
        if (!knownAtoms.contains(name))
            asked.emplace_back(name, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name));
    for (const auto& [name, cookie] : asked)
        if (const auto reply = own(xcb_intern_atom_reply(c, cookie, nullptr)))
            knownAtoms.insert(name, reply->atom);
}

std::uint32_t atom(const char* name)
{
    if (const auto found = knownAtoms.constFind(name); found != knownAtoms.constEnd())
        return *found;
    internAtoms({name});
    return knownAtoms.value(name, XCB_ATOM_NONE);
}

xcb_get_property_cookie_t ask(xcb_connection_t* c, std::uint32_t window, const char* property, std::uint32_t type,
                              std::uint32_t longs)
{
    return xcb_get_property(c, 0, window, atom(property), type, 0, longs);
}

std::optional<std::vector<std::uint32_t>> values(xcb_connection_t* c, xcb_get_property_cookie_t asked,
                                                 std::uint32_t type)
{
    const auto reply = own(xcb_get_property_reply(c, asked, nullptr));
    if (!reply || reply->type != type || reply->format != 32)
        return std::nullopt;
    const auto* first = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(first, first + xcb_get_property_value_length(reply.get()) / 4);
}

void sendToRoot(std::uint32_t window, const char* type, const std::array<std::uint32_t, 5>& data)
{
    xcb_connection_t* c = connection();
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(type);
    std::memcpy(event.data.data32, data.data(), sizeof event.data.data32);
    xcb_send_event(c, 0, rootOf(c), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

std::uint32_t serverTime()
{
    // Qt's connection cannot be waited on for an event: its own thread reads
    // it. A short-lived connection of our own can.
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    std::uint32_t time = XCB_CURRENT_TIME;
    if (!xcb_connection_has_error(c)) {
        const xcb_window_t window = xcb_generate_id(c);
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, rootOf(c), -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        xcb_change_property(c, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
        xcb_flush(c);
        while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
            const bool found = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
            if (found)
                time = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
            std::free(event);
            if (found)
                break;
        }
    }
    xcb_disconnect(c);
    return time;
}

void sendStartupMessage(std::uint32_t window, const QByteArray& message)
{
    // The message, with its closing NUL, in pieces of 20 bytes: the first
    // as _NET_STARTUP_INFO_BEGIN, the rest as _NET_STARTUP_INFO.
    xcb_connection_t* c = connection();
    const QByteArray text = message + '\0';
    const xcb_atom_t begin = atom("_NET_STARTUP_INFO_BEGIN"), more = atom("_NET_STARTUP_INFO");
    for (qsizetype at = 0; at < text.size(); at += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = window;
        event.type = at == 0 ? begin : more;
        std::memcpy(event.data.data8, text.constData() + at, std::size_t(std::min<qsizetype>(20, text.size() - at)));
        xcb_send_event(c, 0, rootOf(c), XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
    xcb_flush(c);
}

}  // namespace X11
