#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include <xcb/xcb.h>

// Qt's own X connection and the few things every X11 part of Velmora asks of
// it, sent on that connection so they stay in order with Qt's requests.
namespace X11 {

// A reply from the X server, freed when it goes.
template <typename Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
Owned<Reply> own(Reply* reply)
{
    return Owned<Reply>(reply, &std::free);
}

// Qt's X connection, or null when Qt runs on another platform.
xcb_connection_t* connection();

// The root window of the connection's first screen.
std::uint32_t rootOf(xcb_connection_t* c);

std::uint32_t atom(const char* name);
// Learns several atoms at once, ahead of their use.
void internAtoms(std::initializer_list<const char*> names);

// Asks for up to `longs` 32-bit values of a window's property; values()
// awaits them, so that several questions share one round trip.
xcb_get_property_cookie_t ask(xcb_connection_t* c, std::uint32_t window, const char* property, std::uint32_t type,
                              std::uint32_t longs);

// The values of a property of type `type` (CARDINAL, WINDOW...) as the server
// sent them; nothing if it is not set, or of another type or format. They
// are another client's: check them before use.
std::optional<std::vector<std::uint32_t>> values(xcb_connection_t* c, xcb_get_property_cookie_t asked,
                                                 std::uint32_t type);

// A client message about `window` to the root window, as EWMH asks for
// requests to the window manager.
void sendToRoot(std::uint32_t window, const char* type, const std::array<std::uint32_t, 5>& data);

// A current X server timestamp, as a property change on a window of a
// connection of its own reports it; 0 (CurrentTime) if none can be had.
std::uint32_t serverTime();

// Sends a startup-notification message (e.g. "remove: ID=...") to the root.
void sendStartupMessage(std::uint32_t window, const QByteArray& message);

}  // namespace X11
