#pragma once

#include <QPoint>
#include <QSize>

class QWidget;

namespace WorkArea {

// Puts a window's left edge (its frame's, once the window manager has framed
// it) `leftFromRight` pixels left of the primary screen's work area's right
// edge, and its client area's top `top` pixels below the work area's top,
// keeping its size. The work area leaves out panels, so a top panel never
// hides the window.
void place(QWidget& window, int leftFromRight, int top);

// Where a menu of `size` opens beside the pressed point `pointer`: right of it
// where it fits, else left of it; below it where it fits, else above it, in
// the work area of the screen under the pointer. It never covers the point,
// so the button pressed stays in sight.
QPoint besidePointer(QPoint pointer, QSize size);

}  // namespace WorkArea
