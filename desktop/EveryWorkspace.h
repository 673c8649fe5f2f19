#pragma once

class QWidget;

// Shows a window on every workspace (virtual desktop) of an X11 desktop: the
// date belongs on all of them, as a panel clock is. Called again for a shown
// window, it puts it back on every workspace, wherever the user moved it.
// Elsewhere it just shows the window.
void showOnEveryWorkspace(QWidget& window);
