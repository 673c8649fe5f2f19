#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

// Window geometry is designed in twips, 15 to a logical pixel at 96 dpi;
// keeping the designed figures in the code makes them easy to check.
constexpr int twips(int value)
{
    return (value * 2 + 15) / 30;  // to the nearest pixel: 280 twips is 19 px
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Puts a window's left edge (its frame's, once the window manager has framed
// it) the designed distance left of the primary screen's work area's right
// edge, and its client area's top the designed distance below the work area's
// top, keeping its size. The work area leaves out panels, so a top panel
// never hides the window.
inline void placeInWorkArea(QWidget& window, int leftFromRight, int top)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const int frameLeft = window.geometry().left() - window.frameGeometry().left();
    const QPoint origin(area.right() + 1 - twips(leftFromRight) + frameLeft, area.top() + twips(top));
    window.setGeometry(QRect(origin, window.size()));
}
