#pragma once

class QWidget;

// Shows a window on every workspace (virtual desktop) of an X11 desktop, from
// its first map on: the date belongs on all of them, as a panel clock is.
// Elsewhere it just shows the window.
void showOnEveryWorkspace(QWidget& window);
