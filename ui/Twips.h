#pragma once

#include <QRect>

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
