#pragma once

class QWidget;

// The strip on a Wayland desktop whose compositor offers the layer shell
// (sway, labwc, KDE's KWin, Hyprland): a surface of the desktop's top layer
// that the compositor keeps at the top-right edge on every workspace, as it
// keeps panels. Without LayerShellQt at build time none of this is built,
// and Wayland sessions run the strip through XWayland.
namespace LayerShell {

// Whether the Wayland compositor this session names offers the layer shell,
// and this build can use it. Asked once, before Qt chooses its platform.
bool offered();

// Makes `window` a top-layer surface anchored to the top and right edges,
// `top` and `right` pixels from them (below panels that claim room: it
// claims none), taking no keyboard. Before its first show, on Qt's wayland
// platform; does nothing elsewhere. Returns whether it did.
bool makeStrip(QWidget& window, int top, int right);

// Lets the strip take the keyboard when the user clicks into it, once shown:
// asked for before the first map, some compositors give it the focus then.
void takeKeyboardOnDemand(QWidget& window);

}  // namespace LayerShell
