#include "EveryWorkspace.h"

#include "X11.h"

#include <QWidget>

#include <xcb/xcb.h>

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
