#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <optional>
#include <vector>

// The room the desktop leaves a window, worked out from what the X server
// and the window manager say, and where a window goes in it. Geometry only:
// the values come in as the server sent them and are checked here, since
// they are other clients' and may be anything.
namespace WorkArea {

// A window's claim on the screen's edges, in root-window pixels, as
// _NET_WM_STRUT_PARTIAL has it. Widths count from the root window's edges;
// each edge's claim runs from start to end along it.
struct Strut {
    int left = 0, right = 0, top = 0, bottom = 0;
    int leftStartY = 0, leftEndY = 0, rightStartY = 0, rightEndY = 0;
    int topStartX = 0, topEndX = 0, bottomStartX = 0, bottomEndX = 0;
};

using Values = std::optional<std::vector<std::uint32_t>>;

// A window's claim from its _NET_WM_STRUT_PARTIAL, else from its older
// _NET_WM_STRUT (whole edges), kept within the root window; nothing if it
// claims nothing.
std::optional<Strut> strutFrom(const Values& partial, const Values& whole, QSize root);

// The rectangles in a run of x, y, width, height values, kept within the root
// window: _NET_WORKAREA's one per desktop, _GTK_WORKAREAS_D<n>'s one per
// monitor.
std::vector<QRect> rectangles(const std::vector<std::uint32_t>& values, QSize root);

// The work area of `desktop` in _NET_WORKAREA's values; nothing where they
// do not reach it.
std::optional<QRect> ofDesktop(const std::vector<std::uint32_t>& values, std::uint32_t desktop, QSize root);

// What the X server and the window manager say of the desktop, in
// root-window pixels.
struct Desktop {
    QSize root;
    std::vector<QRect> monitors;            // in the server's (RandR's) order
    std::vector<QRect> publishedWorkAreas;  // one per monitor, in that order (_GTK_WORKAREAS_D<n>), if given
    std::optional<std::vector<Strut>> struts;  // of the managed windows, where the manager lists them
    std::optional<QRect> workArea;          // _NET_WORKAREA of the current desktop
};

// The work area of the monitor at `index`, as GTK finds a monitor's: the one
// the manager publishes for it; else, with several monitors, the monitor less
// the claims of the panels that reach into it from one of its edges; else
// the desktop's one work area within the monitor.
QRect ofMonitor(const Desktop& desktop, std::size_t index);

// Where a window of `size` goes in `area`, the work area of `monitor`: its
// left edge `leftFromRight` left of the area's right edge, `frameLeft` more
// for a frame the manager puts around it, and its top `top` below the
// area's top. Whatever other clients claim, the window stays whole inside
// its monitor where it fits.
QPoint placeIn(QRect area, QRect monitor, QSize size, int leftFromRight, int frameLeft, int top);

// Where a menu of `size` opens beside the pressed point `pointer` in `area`:
// right of it where it fits, else left of it; below it where it fits, else
// above it. It never covers the point, so the button pressed stays in sight.
QPoint beside(QPoint pointer, QSize size, QRect area);

}  // namespace WorkArea
