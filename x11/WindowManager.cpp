#include "WindowManager.h"

#include "X11.h"

#include <QWidget>

namespace {

// Launchers end the id with "_TIME" and the X time of the user's action.
std::uint32_t timeOf(const QByteArray& startupId)
{
    const qsizetype at = startupId.lastIndexOf("_TIME");
    bool ok = false;
    const std::uint32_t time = at < 0 ? 0 : startupId.mid(at + 5).toUInt(&ok);
    return ok ? time : 0;
}

// A value in a startup-notification message: quoted, with " and \ escaped.
QByteArray quotedValue(QByteArray value)
{
    value.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + value + '"';
}

}  // namespace

void showOnEveryWorkspace(QWidget& window)
{
    xcb_connection_t* c = X11::connection();
    if (!c) {
        window.show();
        return;
    }
    // EWMH: the property while the window is withdrawn, the request once it
    // is mapped (the window manager owns the property then).
    constexpr std::uint32_t everyDesktop = 0xFFFFFFFF, fromAnApplication = 1;
    const auto id = std::uint32_t(window.winId());
    if (!window.isVisible())
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, X11::atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                            &everyDesktop);
    window.show();
    X11::sendToRoot(id, "_NET_WM_DESKTOP", {everyDesktop, fromAnApplication, 0, 0, 0});
}

void bringToFront(QWidget& window, const QByteArray& startupId)
{
    // On the workspace the user is on, rather than taking them to another.
    showOnEveryWorkspace(window);
    window.raise();
    xcb_connection_t* c = X11::connection();
    if (!c) {
        window.activateWindow();
        return;
    }
    const auto id = std::uint32_t(window.winId());
    std::uint32_t time = timeOf(startupId);
    if (time == 0)
        time = X11::serverTime();
    if (!startupId.isEmpty())
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, X11::atom("_NET_STARTUP_ID"), X11::atom("UTF8_STRING"), 8,
                            std::uint32_t(startupId.size()), startupId.constData());
    constexpr std::uint32_t fromAnApplication = 1;
    X11::sendToRoot(id, "_NET_ACTIVE_WINDOW", {fromAnApplication, time, 0, 0, 0});
    // The launch this id belongs to showed no window of its own: end its
    // busy cursor here.
    if (!startupId.isEmpty())
        X11::sendStartupMessage(id, "remove: ID=" + quotedValue(startupId));
}
