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

// Puts a window's client area at the designed distance from the left of the
// primary screen's right edge and below its top edge, keeping its size.
inline void placeFromScreenTopRight(QWidget& window, int leftFromScreenRight, int top)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint origin(screen.right() + 1 - twips(leftFromScreenRight), screen.top() + twips(top));
    window.setGeometry(QRect(origin, window.size()));
}
