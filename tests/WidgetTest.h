#pragma once

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QRect>
#include <QTimer>

#include <functional>

// Runs `trigger` and hands the menu it opens to `choose`, which must close it.
// Returns whether a menu opened.
inline bool openMenu(const std::function<void()>& trigger, const std::function<void(QMenu&)>& choose)
{
    bool opened = false;
    QTimer::singleShot(0, qApp, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            opened = true;
            choose(*menu);
        }
    });
    trigger();
    QCoreApplication::processEvents();  // runs the timer if no menu did
    return opened;
}

// The bounds of what is not `background` in an image: where text was drawn.
inline QRect inkOf(const QImage& image, QRgb background)
{
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// Where `text` leaves ink when drawn in `box` unclipped, on a canvas three
// times the box at the device pixel `ratio`, in device pixels.
inline QRect inkOfText(const QString& text, int flags, const QFont& font, QSize box, qreal ratio,
                       QRgb background = qRgba(0, 0, 0, 0), const QColor& pen = Qt::black)
{
    QImage canvas(box * 3 * ratio, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(background);
    {
        QPainter painter(&canvas);
        painter.setFont(font);
        painter.setPen(pen);
        painter.drawText(QRect(QPoint(), box), flags | Qt::TextDontClip, text);
    }
    return inkOf(canvas, background);
}
