#include "Platform.h"

#include <xcb/xcb.h>

namespace {

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
                              const CompositorQuestion& compositor)
{
    const QByteArray given = arguments.platform.isEmpty() ? environment("QT_QPA_PLATFORM") : arguments.platform;
    if (!given.isEmpty())
        return {given.split(';'), false};
    const bool wayland = !environment("WAYLAND_DISPLAY").isEmpty() || !environment("WAYLAND_SOCKET").isEmpty()
                         || environment("XDG_SESSION_TYPE") == "wayland";
    if (!wayland)
        return {{"xcb"}, true};
    // A Wayland compositor places a plain window where it likes: the strip
    // takes its place as a layer surface, or as an X11 window through
    // XWayland, which also stands in where Qt's wayland platform is not
    // installed. A connection handed over is for Qt's wayland platform: it
    // asks the compositor itself whether it offers the layer shell. A
    // compositor that cannot be used is left aside for XWayland.
    const bool x11 = !arguments.display.isEmpty() || !environment("DISPLAY").isEmpty();
    const Compositor::Answer answer = compositor().answer;
    if (answer == Compositor::Answer::LayerShell || answer == Compositor::Answer::HandedOver)
        return {x11 ? QByteArrayList{"wayland", "xcb"} : QByteArrayList{"wayland"}, true};
    return {{x11 ? "xcb" : "wayland"}, true};
}

QString displayProblem(const PlatformChoice& choice, const Arguments& arguments, const Environment& environment,
                       const CompositorQuestion& compositor, bool connectToX)
{
    QStringList problems;
    for (const QByteArray& entry : choice.names) {
        const QByteArray name = entry.split(':').constFirst();  // "xcb:option" is xcb
        if (name.isEmpty())
            continue;
        if (name != "xcb" && !name.startsWith("wayland"))
            return {};  // offscreen, vnc...: Qt checks what it needs, the guard reports it
        const QString problem = name == "xcb" ? openX11(arguments, environment, connectToX) : compositor().problem;
        if (problem.isEmpty())
            return {};
        problems << problem;
    }
    return problems.join(QStringLiteral("; "));
}
