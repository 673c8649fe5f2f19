#include "Platform.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include <cstring>

namespace {

// Whether a Wayland compositor listens where libwayland, and so Qt, looks
// for it; why not, if it does not.
QString openWayland(const Environment& environment)
{
    if (!environment("WAYLAND_SOCKET").isEmpty())
        return {};  // a connection handed over by the compositor itself
    QByteArray name = environment("WAYLAND_DISPLAY");
    if (name.isEmpty())
        name = "wayland-0";
    const QString problem = QStringLiteral("cannot connect to the Wayland display \"%1\"").arg(QString::fromLocal8Bit(name));
    QByteArray path = name;
    if (!name.startsWith('/')) {
        const QByteArray runtimeDir = environment("XDG_RUNTIME_DIR");
        if (runtimeDir.isEmpty())
            return problem + QStringLiteral(": XDG_RUNTIME_DIR is not set");
        path = runtimeDir + '/' + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::size_t(path.size()) >= sizeof address.sun_path)
        return problem + QStringLiteral(": its path is too long");
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return connected ? QString() : problem;
}

// The X display Qt will open, the one -display names or else DISPLAY: why
// it cannot be had, if it cannot.
QString openX11(const Arguments& arguments, const Environment& environment, bool connect)
{
    const QByteArray display = arguments.display.isEmpty() ? environment("DISPLAY") : arguments.display;
    if (display.isEmpty())
        return QStringLiteral("cannot open a display: DISPLAY is not set");
    if (!connect)
        return {};
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool connected = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return connected ? QString() : QStringLiteral("cannot open display \"%1\"").arg(QString::fromLocal8Bit(display));
}

}  // namespace

PlatformChoice choosePlatform(const Arguments& arguments, const Environment& environment,
                              const std::function<bool()>& layerShell)
{
    const QByteArray given = arguments.platform.isEmpty() ? environment("QT_QPA_PLATFORM") : arguments.platform;
    if (!given.isEmpty())
        return {given.split(';'), false};
    const bool wayland = !environment("WAYLAND_DISPLAY").isEmpty() || environment("XDG_SESSION_TYPE") == "wayland";
    if (!wayland)
        return {{"xcb"}, true};
    // A Wayland compositor places a plain window where it likes: the strip
    // takes its place as a layer surface, or as an X11 window through
    // XWayland, which also stands in where Qt's wayland platform is not
    // installed.
    const bool x11 = !arguments.display.isEmpty() || !environment("DISPLAY").isEmpty();
    if (layerShell())
        return {x11 ? QByteArrayList{"wayland", "xcb"} : QByteArrayList{"wayland"}, true};
    return {{x11 ? "xcb" : "wayland"}, true};
}

QString displayProblem(const PlatformChoice& choice, const Arguments& arguments, const Environment& environment,
                       bool connectToX)
{
    QStringList problems;
    for (const QByteArray& entry : choice.names) {
        const QByteArray name = entry.split(':').constFirst();  // "xcb:option" is xcb
        if (name.isEmpty())
            continue;
        if (name != "xcb" && !name.startsWith("wayland"))
            return {};  // offscreen, vnc...: Qt checks what it needs, the guard reports it
        const QString problem = name == "xcb" ? openX11(arguments, environment, connectToX) : openWayland(environment);
        if (problem.isEmpty())
            return {};
        problems << problem;
    }
    return problems.join(QStringLiteral("; "));
}
