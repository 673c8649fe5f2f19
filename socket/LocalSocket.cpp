#include "LocalSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace LocalSocket {

namespace {

long long remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return std::max<long long>(0, left);
}

}  // namespace

Asked ask(const QByteArray& name, const QByteArray& question, Clock::time_point deadline)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::size_t(name.size()) >= sizeof address.sun_path)
        return {-1, Trouble::TooLong};
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    // A path's closing zero counts; an abstract name is its bytes alone.
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(name.size())
                                  + (name.startsWith('\0') ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {-1, Trouble::NoSocket};
    // At least a millisecond: a limit of none would let the connect wait for good.
    const long long ms = std::max<long long>(remainingMs(deadline), 1);
    const timeval limit{time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const bool waitedOut = errno == EAGAIN || errno == EINPROGRESS;
        ::close(fd);
        return {-1, waitedOut ? Trouble::WaitedOut : Trouble::Refused};
    }
    if (::send(fd, question.constData(), std::size_t(question.size()), MSG_NOSIGNAL) != ssize_t(question.size())) {
        const bool waitedOut = errno == EAGAIN || errno == EWOULDBLOCK;
        ::close(fd);
        return {-1, waitedOut ? Trouble::WaitedOut : Trouble::Refused};
    }
    return {fd, Trouble::None};
}

Read readMore(int fd, QByteArray& got, Clock::time_point deadline)
{
    pollfd readable{fd, POLLIN, 0};
    int ready;
    while ((ready = ::poll(&readable, 1, int(remainingMs(deadline)))) < 0 && errno == EINTR) {
    }
    if (ready <= 0)
        return Read::TimedOut;
    char buffer[1024];
    const ssize_t length = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (length == 0 || (length < 0 && errno != EAGAIN && errno != EINTR))
        return Read::HungUp;
    got.append(buffer, std::max<ssize_t>(length, 0));
    return Read::More;
}

}  // namespace LocalSocket
