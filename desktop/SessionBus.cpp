#include "SessionBus.h"

#include <QByteArray>
#include <QFileInfo>
#include <QtGlobal>

#include <dbus/dbus.h>

#include <unistd.h>

#include <algorithm>

namespace SessionBus {

namespace {

// The session bus's address, found as libdbus finds it; empty where only
// its autolaunch would find one, which is left to Qt.
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

}  // namespace

State probe(std::chrono::milliseconds timeout)
{
    const QByteArray bus = address();
    if (bus.isEmpty())
        return State::Answers;  // cannot tell: leave it to Qt, as before
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_connection_open_private(bus.constData(), &error);
    if (!connection) {
        dbus_error_free(&error);
        return State::None;
    }
    // The bus's answers within the time given, the handshake's first (libdbus
    // waits for those without end) and then a Hello's: a bus that takes the
    // connection and never answers fails here, not in Qt.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto remaining = [deadline] {
        return int(std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                              deadline - std::chrono::steady_clock::now()).count()));
    };
    State state = State::Answers;
    while (state == State::Answers && !dbus_connection_get_is_authenticated(connection)) {
        if (remaining() == 0)
            state = State::Silent;
        else if (!dbus_connection_read_write(connection, remaining()))
            state = State::None;
    }
    if (state == State::Answers) {
        DBusMessage* hello = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello");
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, hello, std::max(remaining(), 1), &error);
        if (reply)
            dbus_message_unref(reply);
        else
            state = dbus_error_has_name(&error, DBUS_ERROR_NO_REPLY) ? State::Silent : State::None;
        dbus_message_unref(hello);
    }
    dbus_error_free(&error);
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
    return state;
}

void disable()
{
    // An address of no known kind: libdbus refuses it without a word or a wait.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

}  // namespace SessionBus
