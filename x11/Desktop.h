#pragma once

#include "WorkArea.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QHash>

#include <xcb/xcb.h>

#include <functional>
#include <vector>

// What the X server and the window manager say of the desktop now: its
// monitors (RandR), the work areas the manager publishes and the panels'
// claims.
namespace X11 {

struct Monitor {
    QByteArray name;  // RandR's, as Qt names its screens
    bool primary = false;
};

struct DesktopReading {
    WorkArea::Desktop desktop;
    std::vector<Monitor> monitors;  // in the order of desktop.monitors
};

DesktopReading readDesktop(xcb_connection_t* c);

// Tells, through `changed`, of a change of the root window's properties that
// say where panels and work areas are: the work areas, the list of managed
// windows and the current workspace. The manager publishes the work areas
// again whenever a panel's claim changes, so the panels' own windows need
// not be watched: the strip wakes for nothing else that other windows do.
class DesktopWatch : public QAbstractNativeEventFilter {
public:
    explicit DesktopWatch(std::function<void()> changed);
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

private:
    bool isWorkAreaProperty(xcb_atom_t property);

    const std::function<void()> changed_;
    xcb_connection_t* const connection_;
    const xcb_window_t root_;
    QHash<xcb_atom_t, bool> published_;  // whether a root property's name is _GTK_WORKAREAS_D<n>
};

}  // namespace X11
