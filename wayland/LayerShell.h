#pragma once

class QPoint;
class QSize;
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

// Opens `popup`, of `size`, beside `pressed`, a point of the strip, as the
// strip's menu opens on X11: to the right of and below it, or to the left
// where the screen ends first. No Wayland client knows where its surface
// is, and Qt takes a layer surface for one at the screen's origin: the side
// is found from the strip's anchoring, and the compositor places the popup.
// On Qt's wayland platform only; before the popup is shown.
void openBeside(QWidget& popup, QSize size, const QWidget& strip, QPoint pressed);

// Lets the strip take the keyboard when the user clicks into it, once shown:
// asked for before the first map, some compositors give it the focus then.
void takeKeyboardOnDemand(QWidget& window);

}  // namespace LayerShell
