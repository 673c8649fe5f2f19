#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>
#include <vector>

class QScreen;
class QWidget;

namespace WorkArea {

// A window's claim on the screen's edges, in root-window pixels, as
// _NET_WM_STRUT_PARTIAL has it (_NET_WM_STRUT claims whole edges). Widths
// count from the root window's edges; each edge's claim runs from start to
// end along it.
struct Strut {
    int left = 0, right = 0, top = 0, bottom = 0;
    int leftStartY = 0, leftEndY = 0, rightStartY = 0, rightEndY = 0;
    int topStartX = 0, topEndX = 0, bottomStartX = 0, bottomEndX = 0;
};

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
// the desktop's one work area within the monitor. With one monitor this is
// what the manager says, as before.
QRect ofMonitor(const Desktop& desktop, std::size_t index);

// The work area of `screen`, in Qt's coordinates: computed from the X
// server's and the manager's word on X11, Qt's own elsewhere.
QRect of(const QScreen& screen);

// Puts a window's left edge (its frame's, once the window manager has framed
// it) `leftFromRight` pixels left of the primary screen's work area's right
// edge, and its client area's top `top` pixels below the work area's top,
// keeping its size. The work area leaves out panels, so a top panel never
// hides the window. `starting`: Qt has just read the desktop.
void place(QWidget& window, int leftFromRight, int top, bool starting = false);

// Where a menu of `size` opens beside the pressed point `pointer`: right of it
// where it fits, else left of it; below it where it fits, else above it, in
// the work area of the screen under the pointer. It never covers the point,
// so the button pressed stays in sight.
QPoint besidePointer(QPoint pointer, QSize size);

// Tells when a work area may have changed: a panel came, went or changed its
// claim, a monitor was added, removed, resized or made primary, the
// workspace changed.
class Watcher : public QObject {
    Q_OBJECT

public:
    explicit Watcher(QObject* parent = nullptr);
    ~Watcher() override;

signals:
    void changed();

private:
    class X11Events;
    void followScreen(QScreen* screen);
    void announce();

    X11Events* x11Events_ = nullptr;
    bool announcing_ = false;
};

}  // namespace WorkArea
