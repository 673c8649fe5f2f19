#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>

#include <memory>

class QAbstractNativeEventFilter;
class QScreen;
class QWidget;

// Where Velmora's windows go on the desktop: near the top-right corner of the
// primary monitor's work area, and the menu beside the press. On X11 the work
// areas are worked out from the X server's and the manager's word, which
// Qt may not have caught up with yet; elsewhere they are Qt's.
namespace Placement {

// Puts a window's left edge (its frame's, once the window manager has framed
// it) `leftFromRight` pixels left of the primary monitor's work area's right
// edge, and its client area's top `top` pixels below the work area's top,
// keeping its size and keeping it whole inside the monitor. The work area
// leaves out panels, so a top panel never hides the window. `starting`: Qt
// has just read the desktop.
void place(QWidget& window, int leftFromRight, int top, bool starting = false);

// Where a menu of `size` opens beside the pressed point `pointer`, in the
// work area of the screen under it.
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
    void followScreen(QScreen* screen);
    void announce();

    std::unique_ptr<QAbstractNativeEventFilter> x11Events_;
    bool announcing_ = false;
};

}  // namespace Placement
