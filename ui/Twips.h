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

// Puts a window's client area at the designed distance left of the right
// edge and below the top edge of the primary screen's work area, keeping its
// size. The work area leaves out panels, so a top panel never hides it.
inline void placeInWorkArea(QWidget& window, int leftFromRight, int top)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint origin(area.right() + 1 - twips(leftFromRight), area.top() + twips(top));
    window.setGeometry(QRect(origin, window.size()));
}
