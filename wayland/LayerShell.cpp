#include "LayerShell.h"

#include <QPoint>
#include <QSize>

#ifdef VELMORA_LAYER_SHELL

#include <LayerShellQt/Window>

#include <QGuiApplication>
#include <QMargins>
#include <QRect>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <wayland-client.h>

#include <cstring>

namespace LayerShell {

namespace {

void announced(void* data, wl_registry*, uint32_t, const char* interface, uint32_t)
{
    if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0)
        *static_cast<bool*>(data) = true;
}

void withdrawn(void*, wl_registry*, uint32_t) {}

// xdg_positioner's constraint adjustments, as the xdg-shell protocol numbers them.
namespace Adjustment {
constexpr uint slideX = 1, slideY = 2, flipY = 8;
}

}  // namespace

bool offered()
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return false;
    bool found = false;
    wl_registry* registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {announced, withdrawn};
    wl_registry_add_listener(registry, &listener, &found);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return found;
}

bool makeStrip(QWidget& window, int top, int right)
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return false;
    window.winId();  // the native window, not yet shown
    auto* surface = LayerShellQt::Window::get(window.windowHandle());
    surface->setLayer(LayerShellQt::Window::LayerTop);
    surface->setAnchors({LayerShellQt::Window::AnchorTop, LayerShellQt::Window::AnchorRight});
    surface->setMargins(QMargins(0, top, right, 0));
    surface->setExclusiveZone(0);
    surface->setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityNone);
    surface->setScope(QStringLiteral("velmora"));
    return true;
}

void openBeside(QWidget& popup, QSize size, const QWidget& strip, QPoint pressed)
{
    if (QGuiApplication::platformName() != QLatin1String("wayland") || !strip.windowHandle())
        return;
    // The strip hangs from the screen's right edge by its margin: the room
    // right of the press is known, whatever Qt takes the strip's place for.
    // (Panels along the right edge would narrow it; the compositor slides
    // the menu in then, where it unconstrains popups at all.)
    const int roomRight = LayerShellQt::Window::get(strip.windowHandle())->margins().right() + strip.width() - 1
                          - pressed.x();
    const Qt::Edges side = (roomRight >= size.width() ? Qt::RightEdge : Qt::LeftEdge) | Qt::BottomEdge;
    // Qt's wayland platform hands these to the compositor as the popup's
    // positioner (xdg_positioner): the pressed pixel as the anchor, and the
    // menu hanging from its corner on the side with room.
    popup.winId();
    QWindow* window = popup.windowHandle();
    window->setProperty("_q_waylandPopupAnchorRect", QRect(pressed, QSize(1, 1)));
    window->setProperty("_q_waylandPopupAnchor", QVariant::fromValue(side));
    window->setProperty("_q_waylandPopupGravity", QVariant::fromValue(side));
    window->setProperty("_q_waylandPopupConstraintAdjustment",
                        uint(Adjustment::flipY | Adjustment::slideX | Adjustment::slideY));
}

void takeKeyboardOnDemand(QWidget& window)
{
    if (QGuiApplication::platformName() == QLatin1String("wayland") && window.windowHandle())
        LayerShellQt::Window::get(window.windowHandle())
            ->setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityOnDemand);
}

}  // namespace LayerShell

#else

namespace LayerShell {

bool offered()
{
    return false;
}

bool makeStrip(QWidget&, int, int)
{
    return false;
}

void openBeside(QWidget&, QSize, const QWidget&, QPoint) {}

void takeKeyboardOnDemand(QWidget&) {}

}  // namespace LayerShell

#endif
