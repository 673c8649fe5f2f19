#pragma once

#include <QByteArray>

class QWidget;

// What Velmora asks of an X11 window manager. Elsewhere (Wayland) these
// only show the window, or raise and activate it.

// Shows a window on every workspace (virtual desktop): the date belongs on
// all of them, as a panel clock is. Called again for a shown window, it puts
// it back on every workspace, wherever the user moved it.
void showOnEveryWorkspace(QWidget& window);

// Raises and activates a window at the user's request, such as a second start
// of the program, on every workspace again. `startupId` is the launcher's
// startup-notification id; its time is the user's action, so window managers
// that refuse focus to older requests let this one through. Without one, a
// fresh X server time stands for the action.
void bringToFront(QWidget& window, const QByteArray& startupId);
