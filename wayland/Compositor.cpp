#include "Compositor.h"

#include "LocalSocket.h"

#include <cstdint>
#include <cstring>

namespace Compositor {

namespace {

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

}  // namespace

Reply ask(const QByteArray& handedOver, const QByteArray& name, const QByteArray& runtimeDir,
          std::chrono::milliseconds timeout)
{
    // A handed-over connection is the launcher's, begun for Qt: a question
    // of ours on it would take the object numbers Qt's own will use.
    if (!handedOver.isEmpty())
        return {Answer::HandedOver, {}};
    const LocalSocket::Clock::time_point deadline = LocalSocket::Clock::now() + timeout;
    const QByteArray shown = name.isEmpty() ? QByteArray("wayland-0") : name;
    const QString where = QStringLiteral("the Wayland display \"%1\"").arg(QString::fromLocal8Bit(shown));
    const QString unreachable = QStringLiteral("cannot connect to ") + where;
    if (!shown.startsWith('/') && runtimeDir.isEmpty())
        return {Answer::None, unreachable + QStringLiteral(": XDG_RUNTIME_DIR is not set")};
    const QByteArray path = shown.startsWith('/') ? shown : runtimeDir + '/' + shown;
    const QString silent = where + QStringLiteral(" did not answer within %1 s")
                                       .arg(std::chrono::duration<double>(timeout).count());
    const LocalSocket::Asked asked = LocalSocket::ask(path, question(), deadline);
    switch (asked.trouble) {
    case LocalSocket::Trouble::None:
        break;
    case LocalSocket::Trouble::TooLong:
        return {Answer::None, unreachable + QStringLiteral(": its path is too long")};
    case LocalSocket::Trouble::NoSocket:
    case LocalSocket::Trouble::Refused:
        return {Answer::None, unreachable};
    case LocalSocket::Trouble::WaitedOut:
        return {Answer::Silent, silent};
    }

    // Messages, each a header of the object and a word of size and opcode,
    // then its arguments; the globals come as wl_registry.global (name,
    // interface as a length-prefixed string padded to 4, version).
    QByteArray got;
    bool layerShell = false, plasma = false;
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
                {
                    const QByteArray interface(got.constData() + 16, length - 1);
                    layerShell |= interface == "zwlr_layer_shell_v1";
                    plasma |= interface == "org_kde_plasma_shell";
                }
            }
            if (object == callback && opcode == 0) {
                reply = {layerShell ? Answer::LayerShell : Answer::Plain, {}, plasma};
                done = true;
            }
            got.remove(0, size);
        }
        if (done)
            break;
        const LocalSocket::Read read = LocalSocket::readMore(asked.fd, got, deadline);
        if (read == LocalSocket::Read::HungUp)
            reply.problem = where + QStringLiteral(" hung up before it answered");
        if (read != LocalSocket::Read::More)
            break;
    }
    ::close(asked.fd);
    return reply;
}

}  // namespace Compositor
