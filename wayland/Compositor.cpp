#include "Compositor.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace Compositor {

namespace {

using Clock = std::chrono::steady_clock;

// The objects of the question: the display is always 1; the client numbers
// the ones it makes from 2.
constexpr std::uint32_t display = 1, registry = 2, callback = 3;
// The protocol's limit on one message, header included.
constexpr std::uint32_t longestMessage = 4096;

// A word of a message: Wayland's are 32 bits in the host's byte order.
void put(QByteArray& message, std::uint32_t word)
{
    message.append(reinterpret_cast<const char*>(&word), sizeof word);
}

std::uint32_t wordAt(const QByteArray& bytes, qsizetype at)
{
    std::uint32_t word;
    std::memcpy(&word, bytes.constData() + at, sizeof word);
    return word;
}

// wl_display.get_registry, which lists the globals, then wl_display.sync,
// whose callback is done once the list before it has been sent.
QByteArray question()
{
    QByteArray message;
    for (const auto& [opcode, made] : {std::pair{1u, registry}, std::pair{0u, callback}}) {
        put(message, display);
        put(message, 12u << 16 | opcode);  // the message's size in bytes, and its opcode
        put(message, made);
    }
    return message;
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<long long>(0, left));
}

}  // namespace

Reply ask(const QByteArray& handedOver, const QByteArray& name, const QByteArray& runtimeDir,
          std::chrono::milliseconds timeout)
{
    // A handed-over connection is the launcher's, begun for Qt: a question
    // of ours on it would take the object numbers Qt's own will use.
    if (!handedOver.isEmpty())
        return {Answer::HandedOver, {}};
    const Clock::time_point deadline = Clock::now() + timeout;
    const QByteArray shown = name.isEmpty() ? QByteArray("wayland-0") : name;
    const QString where = QStringLiteral("the Wayland display \"%1\"").arg(QString::fromLocal8Bit(shown));
    const QString unreachable = QStringLiteral("cannot connect to ") + where;
    QByteArray path = shown;
    if (!path.startsWith('/')) {
        if (runtimeDir.isEmpty())
            return {Answer::None, unreachable + QStringLiteral(": XDG_RUNTIME_DIR is not set")};
        path = runtimeDir + '/' + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::size_t(path.size()) >= sizeof address.sun_path)
        return {Answer::None, unreachable + QStringLiteral(": its path is too long")};
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {Answer::None, unreachable};
    const QString silent = where + QStringLiteral(" did not answer within %1 s")
                                       .arg(std::chrono::duration<double>(timeout).count());
    // A compositor too stopped to take connections fills its queue, and the
    // connect then waits: for as long as the answer would.
    const auto ms = timeout.count();
    const timeval limit{time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const bool waitedOut = errno == EAGAIN || errno == EINPROGRESS;
        ::close(fd);
        return waitedOut ? Reply{Answer::Silent, silent} : Reply{Answer::None, unreachable};
    }
    const QByteArray asked = question();
    if (::send(fd, asked.constData(), std::size_t(asked.size()), MSG_NOSIGNAL) != ssize_t(asked.size())) {
        ::close(fd);
        return {Answer::Silent, silent};
    }

    // Messages, each a header of the object and a word of size and opcode,
    // then its arguments; the globals come as wl_registry.global (name,
    // interface as a length-prefixed string padded to 4, version).
    QByteArray got;
    bool layerShell = false;
    Reply reply{Answer::Silent, silent};
    for (bool done = false; !done;) {
        while (!done && got.size() >= 8) {
            const std::uint32_t object = wordAt(got, 0), size = wordAt(got, 4) >> 16, opcode = wordAt(got, 4) & 0xffff;
            if (size < 8 || size % 4 || size > longestMessage || (object == display && opcode == 0)) {
                // Not Wayland's protocol, or wl_display.error: a compositor
                // that refuses the question will refuse Qt's as well.
                reply.problem = where + QStringLiteral(" does not answer in Wayland's protocol");
                done = true;
                break;
            }
            if (got.size() < qsizetype(size))
                break;
            if (object == registry && opcode == 0 && size >= 16) {
                const std::uint32_t length = wordAt(got, 12);  // with its closing zero
                if (length >= 1 && length <= size - 16)
                    layerShell |= QByteArray(got.constData() + 16, length - 1) == "zwlr_layer_shell_v1";
            }
            if (object == callback && opcode == 0) {
                reply = {layerShell ? Answer::LayerShell : Answer::Plain, {}};
                done = true;
            }
            got.remove(0, size);
        }
        if (done)
            break;
        pollfd readable{fd, POLLIN, 0};
        int ready;
        while ((ready = ::poll(&readable, 1, remainingMs(deadline))) < 0 && errno == EINTR) {
        }
        if (ready <= 0)
            break;
        char buffer[1024];
        const ssize_t length = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (length == 0 || (length < 0 && errno != EAGAIN && errno != EINTR)) {
            reply.problem = where + QStringLiteral(" hung up before it answered");
            break;
        }
        got.append(buffer, std::max<ssize_t>(length, 0));
    }
    ::close(fd);
    return reply;
}

}  // namespace Compositor
