#pragma once

#include <QByteArray>

#include <array>
#include <initializer_list>
#include <cstdint>

struct xcb_connection_t;

// The few EWMH requests Velmora makes of an X11 window manager, sent on Qt's
// own X connection so they stay in order with Qt's requests.
namespace X11 {

// Qt's X connection, or null when Qt runs on another platform.
xcb_connection_t* connection();

std::uint32_t atom(const char* name);
// Learns several atoms at once, ahead of their use.
void internAtoms(std::initializer_list<const char*> names);

// A client message about `window` to the root window, as EWMH asks for
// requests to the window manager.
void sendToRoot(std::uint32_t window, const char* type, const std::array<std::uint32_t, 5>& data);

// A current X server timestamp, as a property change on a window of a
// connection of its own reports it; 0 (CurrentTime) if none can be had.
std::uint32_t serverTime();

// Sends a startup-notification message (e.g. "remove: ID=...") to the root.
void sendStartupMessage(std::uint32_t window, const QByteArray& message);

}  // namespace X11
