#include "SessionBus.h"

#include <QFileInfo>
#include <QList>
#include <QtGlobal>

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <utility>

namespace SessionBus {

namespace {

using Clock = std::chrono::steady_clock;

// A D-Bus address value with its %XX escapes undone; nothing if one is broken.
std::optional<QByteArray> unescaped(const QByteArray& value)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            bytes += value[i];
            continue;
        }
        if (i + 2 >= value.size() || !std::isxdigit(uchar(value[i + 1])) || !std::isxdigit(uchar(value[i + 2])))
            return std::nullopt;
        bytes += char(value.mid(i + 1, 2).toInt(nullptr, 16));
        i += 2;
    }
    return bytes;
}

// Where a "unix:" entry of an address says its socket is: a path, or an
// abstract name (first byte 0); nothing for any other kind of entry.
std::optional<QByteArray> unixSocket(const QByteArray& entry)
{
    if (!entry.startsWith("unix:"))
        return std::nullopt;
    for (const QByteArray& pair : entry.mid(5).split(',')) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArray key = pair.left(equals);
        if (equals < 0 || (key != "path" && key != "abstract"))
            continue;
        const std::optional<QByteArray> value = unescaped(pair.mid(equals + 1));
        if (!value || value->isEmpty())
            return std::nullopt;
        return key == "path" ? *value : QByteArray(1, '\0') + *value;
    }
    return std::nullopt;  // unix:tmpdir=... and the like name no socket to reach
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<long long>(0, left));
}

}  // namespace

QByteArray address()
{
    if (const QByteArray given = qgetenv("DBUS_SESSION_BUS_ADDRESS"); !given.isEmpty())
        return given;
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    const QFileInfo socket(QString::fromLocal8Bit(runtimeDir + "/bus"));
    if (!runtimeDir.isEmpty() && socket.exists() && socket.ownerId() == ::getuid())
        return "unix:path=" + runtimeDir + "/bus";
    return {};
}

Probe::Probe(const QByteArray& address, std::chrono::milliseconds timeout)
    : deadline_(Clock::now() + timeout)
{
    // Each entry in turn until one connects, as libdbus does; one that
    // cannot be asked, or no address at all, leaves the answer to Qt.
    for (const QByteArray& entry : address.split(';')) {
        if (entry.isEmpty())
            continue;
        const std::optional<QByteArray> where = unixSocket(entry);
        if (!where) {
            state_ = State::Answers;
            return;
        }
        sockaddr_un socketAddress{};
        socketAddress.sun_family = AF_UNIX;
        state_ = State::None;
        if (std::size_t(where->size()) >= sizeof socketAddress.sun_path)
            continue;  // too long for a socket's name: libdbus refuses it too
        std::memcpy(socketAddress.sun_path, where->constData(), std::size_t(where->size()));
        const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(where->size())
                                           + (where->startsWith('\0') ? 0 : 1));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            state_ = State::Answers;  // out of descriptors: Qt will say so
            return;
        }
        // A daemon too stopped to take connections fills its queue, and the
        // connect then waits: for as long as the answer would.
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
        const timeval limit{time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&socketAddress), length) != 0) {
            const bool waitedOut = errno == EAGAIN || errno == EINPROGRESS;
            ::close(fd);
            if (waitedOut) {
                state_ = State::Silent;
                return;
            }
            continue;
        }
        // The credentials byte every client sends first, then "AUTH" alone:
        // the bus must answer with the mechanisms it takes.
        static constexpr char request[] = "\0AUTH\r\n";
        if (::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) != ssize_t(sizeof request - 1)) {
            ::close(fd);
            return;
        }
        socket_ = fd;
        state_ = State::Answers;
        return;
    }
}

Probe::~Probe()
{
    if (socket_ >= 0)
        ::close(socket_);
}

State Probe::answer()
{
    if (socket_ < 0)
        return state_;
    pollfd readable{socket_, POLLIN, 0};
    int ready;
    while ((ready = ::poll(&readable, 1, remainingMs(deadline_))) < 0 && errno == EINTR) {
    }
    char reply[64];
    if (ready == 0)
        state_ = State::Silent;
    else
        state_ = ready > 0 && ::recv(socket_, reply, sizeof reply, MSG_DONTWAIT) > 0 ? State::Answers : State::None;
    ::close(std::exchange(socket_, -1));
    return state_;
}

void disable()
{
    // An address of no known kind: libdbus refuses it without a word or a wait.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

}  // namespace SessionBus
