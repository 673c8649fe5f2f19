#include "LayerShell.h"

#ifdef VELMORA_LAYER_SHELL

#include <LayerShellQt/Window>

#include <QGuiApplication>
#include <QMargins>
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

void takeKeyboardOnDemand(QWidget&) {}

}  // namespace LayerShell

#endif
