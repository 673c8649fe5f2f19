#pragma once

#include <QByteArray>

class QWidget;

// What Velmora asks of an X11 window manager. Elsewhere (Wayland) these
// only show the window, or raise and activate it.

// Shows a window on every workspace (virtual desktop): the date belongs on
// all of them, as a panel clock is. Called again for a shown window, it puts
// it back on every workspace, wherever the user moved it.
void showOnEveryWorkspace(QWidget& window);

// Keeps the keyboard with the window the user works in. The manager's own
// choices of whom to focus (a workspace switch, a window closed, an empty
// workspace) never land on `window`: it takes the keyboard only at a press
// into `line` (or bringToFront), and refuses it again once it has lost it. A
// press elsewhere in it, or in its menu, leaves the keyboard where it is.
// For a window Qt refuses the focus for (Qt::WindowDoesNotAcceptFocus),
// before it is first shown; on X11 only.
void lendKeyboardOnlyAtPressInto(QWidget& window, QWidget& line);

// Leaves `window` out of the program's window group. Managers (mutter, as
// GNOME's) keep a tool window of a group, the strip, above every window of
// the group, and so over this one even while it is active. Before it is
// first shown; on X11 only.
void keepOutOfTheGroup(QWidget& window);

// Raises and activates a window at the user's request, such as a second start
// of the program, on every workspace again. `startupId` is the launcher's
// startup-notification id; its time is the user's action, so window managers
// that refuse focus to older requests let this one through. Without one, a
// fresh X server time stands for the action.
void bringToFront(QWidget& window, const QByteArray& startupId);
