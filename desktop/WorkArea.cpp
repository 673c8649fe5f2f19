#include "WorkArea.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace WorkArea {

void place(QWidget& window, int leftFromRight, int top)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const int frameLeft = window.geometry().left() - window.frameGeometry().left();
    const QPoint origin(area.right() + 1 - leftFromRight + frameLeft, area.top() + top);
    window.setGeometry(QRect(origin, window.size()));
}

QPoint besidePointer(QPoint pointer, QSize size)
{
    const QScreen* screen = QGuiApplication::screenAt(pointer);
    const QRect area = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    const int x = pointer.x() + 1 + size.width() <= area.right() + 1 ? pointer.x() + 1 : pointer.x() - size.width();
    const int y = pointer.y() + 1 + size.height() <= area.bottom() + 1 ? pointer.y() + 1 : pointer.y() - size.height();
    return {x, y};
}

}  // namespace WorkArea
