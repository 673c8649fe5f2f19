#include "SessionBus.h"

#include "LocalSocket.h"

#include <QFileInfo>
#include <QList>
#include <QtGlobal>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
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

// Appends `value` to a message in little-endian order, at its alignment.
void put(QByteArray& message, std::uint32_t value)
{
    while (message.size() % 4)
        message += '\0';
    for (int shift = 0; shift < 32; shift += 8)
        message += char(value >> shift & 0xff);
}

// A header field of a message: its code, and a string or object path.
void putField(QByteArray& message, char code, char type, const char* value)
{
    while (message.size() % 8)
        message += '\0';
    message += code;
    message += '\1';
    message += type;
    message += '\0';
    put(message, std::uint32_t(std::strlen(value)));
    message += value;
    message += '\0';
}

// What a client first says to the bus, all at once as the protocol allows:
// the credentials byte, its authentication as this user, and the Hello
// that every connection must begin with.
QByteArray handshake()
{
    QByteArray hello("l\1\0\1", 4);  // little-endian, a method call, no flags, version 1
    put(hello, 0);                      // no body
    put(hello, 1);                      // serial
    QByteArray fields;
    putField(fields, 1, 'o', "/org/freedesktop/DBus");
    putField(fields, 2, 's', "org.freedesktop.DBus");
    putField(fields, 3, 's', "Hello");
    putField(fields, 6, 's', "org.freedesktop.DBus");
    put(hello, std::uint32_t(fields.size()));
    hello += fields;
    while (hello.size() % 8)
        hello += '\0';
    const QByteArray uid = QByteArray::number(::getuid()).toHex();
    return QByteArray(1, '\0') + "AUTH EXTERNAL " + uid + "\r\nBEGIN\r\n" + hello;
}

// The length of a whole message from its fixed 16-byte header: the header,
// its fields padded to 8, the body. The bus's word for it, so kept in bounds.
qsizetype messageLength(const QByteArray& header)
{
    const bool little = header[0] == 'l';
    const auto number = [&](int at) {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= std::uint32_t(uchar(header[at + (little ? i : 3 - i)])) << (8 * i);
        return qsizetype(std::min<std::uint32_t>(value, 1 << 20));
    };
    const qsizetype fields = number(12), body = number(4);
    return 16 + (fields + 7) / 8 * 8 + body;
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
        const LocalSocket::Asked asked = LocalSocket::ask(*where, handshake(), deadline_);
        switch (asked.trouble) {
        case LocalSocket::Trouble::None:
            break;
        case LocalSocket::Trouble::TooLong:  // libdbus refuses such a name too
        case LocalSocket::Trouble::Refused:
            state_ = State::None;
            continue;
        case LocalSocket::Trouble::NoSocket:
            state_ = State::Answers;  // out of descriptors: Qt will say so
            return;
        case LocalSocket::Trouble::WaitedOut:
            state_ = State::Silent;
            return;
        }
        socket_ = asked.fd;
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
    // The authentication's "OK <guid>" line, then the reply to Hello: a
    // whole message, its length told by its fixed header. A bus that stops
    // anywhere along the way, or drips, is silent once the deadline passes.
    QByteArray got;
    qsizetype needed = -1;  // the whole answer's length, once known
    state_ = State::Silent;
    for (;;) {
        const qsizetype lineEnd = got.indexOf("\r\n");
        if (lineEnd >= 0 && !got.startsWith("OK ")) {
            state_ = State::Answers;  // refused, or another dialect: the bus is there, and Qt will hear it too
            break;
        }
        const qsizetype message = lineEnd + 2;
        if (lineEnd >= 0 && needed < 0 && got.size() >= message + 16)
            needed = message + messageLength(got.mid(message, 16));
        if (needed >= 0 && got.size() >= needed) {
            state_ = State::Answers;
            break;
        }
        const LocalSocket::Read read = LocalSocket::readMore(socket_, got, deadline_);
        if (read == LocalSocket::Read::HungUp)
            state_ = State::None;  // hung up before it answered
        if (read != LocalSocket::Read::More)
            break;
    }
    ::close(std::exchange(socket_, -1));
    return state_;
}

void disable()
{
    // An address of no known kind: libdbus refuses it without a word or a wait.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

}  // namespace SessionBus
