#pragma once

#include <QByteArray>

#include <chrono>

// A question to a daemon on a Unix socket (the session bus, the Wayland
// compositor) asked ahead of Qt, which would wait for its answer for good:
// connected, asked and read against one deadline.
namespace LocalSocket {

using Clock = std::chrono::steady_clock;

enum class Trouble {
    None,
    TooLong,    // a name too long for a socket's
    NoSocket,   // none to be had: out of descriptors
    Refused,    // nothing takes the connection there
    WaitedOut,  // the daemon took no connection, or not the question, in time
};

struct Asked {
    int fd = -1;  // the connection, the caller's to close; -1 on trouble
    Trouble trouble = Trouble::None;
};

// Connects to the socket `name` (a path, or an abstract name after a 0 byte)
// and sends `question`. A daemon too stopped to take connections fills its
// queue, and the connect then waits: only until `deadline`.
Asked ask(const QByteArray& name, const QByteArray& question, Clock::time_point deadline);

enum class Read { More, HungUp, TimedOut };

// Appends to `got` what comes next on `fd`, waiting for it until `deadline`.
Read readMore(int fd, QByteArray& got, Clock::time_point deadline);

}  // namespace LocalSocket
