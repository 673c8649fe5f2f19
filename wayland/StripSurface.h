#pragma once

class QWidget;

// The layer-shell strip is a module of its own, loaded only where Qt runs on
// Wayland and the compositor offers the layer shell: on X11 the program
// never loads LayerShellQt and Qt's Wayland client library.
namespace LayerShell {

// What the compositor Qt is connected to offers, of what the strip needs to know.
struct Offer {
    bool layerShell = false;
    // KDE Plasma's shell: its compositor (KWin) gives a layer surface the
    // keyboard whenever the surface says it may take it, where others wait
    // for a click on it.
    bool plasma = false;
};

}  // namespace LayerShell

// The module's entry points, found by these names.
extern "C" {
// The program's version the module was built with: a module of another
// build is not used.
using VelmoraStripVersion = const char*();
inline constexpr char velmoraStripVersion[] = "velmora_strip_version";
// As LayerShell::makeStrip; `known` is what the compositor said it offers
// before Qt connected, if it was asked.
using VelmoraMakeStrip = bool(QWidget* window, QWidget* line, int top, int right, const LayerShell::Offer* known);
inline constexpr char velmoraMakeStrip[] = "velmora_make_strip";
// As LayerShell::menuClosed.
using VelmoraMenuClosed = void(QWidget* strip);
inline constexpr char velmoraMenuClosed[] = "velmora_menu_closed";
}
