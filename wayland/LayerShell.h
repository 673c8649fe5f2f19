#pragma once

class QPoint;
class QSize;
class QWidget;

// The strip on a Wayland desktop whose compositor offers the layer shell
// (sway, labwc, KDE's KWin, Hyprland): a surface among the desktop's bars
// that the compositor keeps at the top-right edge on every workspace, as it
// keeps panels. Without LayerShellQt at build time, or without its module
// at run time, Wayland sessions run the strip through XWayland.
namespace LayerShell {

// Loads the module that makes the strip a layer surface, once: whether it
// can be used. Says why on standard error where a build that has it cannot
// load it; is false at once in a build without it.
bool load();

// What the compositor Qt is to connect to said it offers, asked before Qt
// started: the strip need not ask again on Qt's connection.
void offeredBeforeQt(bool layerShell, bool plasma);

// Makes `window` a layer surface anchored to the top and right edges, `top`
// and `right` pixels from them (below the bars there), on the output the
// user is on and, when that output goes, on one that remains. It keeps room
// of its own across the top of that output, as a bar does, so that windows
// are laid out clear of it. It takes the keyboard only as the user comes to
// `line`, until the line has lost it. Before its first show, on Qt's
// wayland platform where the compositor offers the layer shell; does
// nothing elsewhere. Returns whether it did; a close of the window is the
// compositor's then, and never reaches it.
bool makeStrip(QWidget& window, QWidget& line, int top, int right);

// Opens `popup`, of `size`, beside `pressed`, a point of the strip, as the
// strip's menu opens on X11: to the right of and below it, or to the left
// where the screen ends first. No Wayland client knows where its surface
// is, and Qt takes a layer surface for one at the screen's origin: the side
// is found from the strip's anchoring, and the compositor places the popup.
// On Qt's wayland platform only; before the popup is shown.
void openBeside(QWidget& popup, QSize size, const QWidget& strip, QPoint pressed);

// The strip's menu has closed: the keyboard goes back where it was before
// the press on ">".
void menuClosed(QWidget& strip);

}  // namespace LayerShell
