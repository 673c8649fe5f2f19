#pragma once

#include <QByteArray>

class QWidget;

// Raises and activates a window at the user's request, such as a second start
// of the program, on every workspace again. `startupId` is the launcher's startup-notification id; its
// time is the user's action, so window managers that refuse focus to older
// requests let this one through. Without one, a fresh X server time stands
// for the action.
void bringToFront(QWidget& window, const QByteArray& startupId);
