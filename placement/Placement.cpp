#include "Placement.h"

#include "Desktop.h"
#include "WorkArea.h"
#include "X11.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <utility>

namespace Placement {

namespace {

// A monitor and its work area, in Qt's coordinates.
struct Room {
    QRect monitor;
    QRect workArea;
};

// Which of the server's monitors Qt's screen is: by name, else by its place.
std::optional<std::size_t> indexOf(const QScreen& screen, const X11::DesktopReading& reading)
{
    for (std::size_t i = 0; i < reading.monitors.size(); ++i)
        if (!reading.monitors[i].name.isEmpty() && reading.monitors[i].name == screen.name().toUtf8())
            return i;
    for (std::size_t i = 0; i < reading.desktop.monitors.size(); ++i)
        if (reading.desktop.monitors[i].topLeft() == screen.geometry().topLeft())
            return i;
    return std::nullopt;
}

// The server's monitor at `index` and its work area, in Qt's coordinates. Qt
// keeps a screen's origin where the server has it and scales from there, by
// the screen's own factor.
Room logical(const X11::DesktopReading& reading, std::size_t index)
{
    const QRect monitor = reading.desktop.monitors[index];
    const QRect native = WorkArea::ofMonitor(reading.desktop, index);
    qreal scale = 1;
    for (const QScreen* screen : QGuiApplication::screens())
        if (indexOf(*screen, reading) == index)
            scale = screen->devicePixelRatio();
    return {QRect(monitor.topLeft(), monitor.size() / scale),
            QRect(monitor.topLeft() + (native.topLeft() - monitor.topLeft()) / scale, native.size() / scale)};
}

Room ofScreen(const QScreen& screen)
{
    return {screen.geometry(), screen.availableGeometry()};
}

}  // namespace

void place(QWidget& window, int leftFromRight, int top, bool starting)
{
    // The primary monitor as the server has it now. At the start, Qt has
    // just read it, and with one monitor its word is the manager's.
    Room room = ofScreen(*QGuiApplication::primaryScreen());
    xcb_connection_t* c = X11::connection();
    if (c && !(starting && QGuiApplication::screens().size() == 1)) {
        const X11::DesktopReading reading = X11::readDesktop(c);
        std::size_t primary = 0;
        for (std::size_t i = 0; i < reading.monitors.size(); ++i)
            if (reading.monitors[i].primary)
                primary = i;
        room = logical(reading, primary);
    }
    const int frameLeft = window.geometry().left() - window.frameGeometry().left();
    const QPoint origin = WorkArea::placeIn(room.workArea, room.monitor, window.size(), leftFromRight, frameLeft, top);
    window.setGeometry(QRect(origin, window.size()));
}

QPoint besidePointer(QPoint pointer, QSize size)
{
    const QScreen* under = QGuiApplication::screenAt(pointer);
    const QScreen& screen = under ? *under : *QGuiApplication::primaryScreen();
    QRect area = screen.availableGeometry();
    if (xcb_connection_t* c = X11::connection()) {
        const X11::DesktopReading reading = X11::readDesktop(c);
        if (const auto index = indexOf(screen, reading))
            area = logical(reading, *index).workArea;
    }
    return WorkArea::beside(pointer, size, area);
}

Watcher::Watcher(QObject* parent)
    : QObject(parent)
{
    connect(qApp, &QGuiApplication::screenAdded, this, &Watcher::followScreen);
    connect(qApp, &QGuiApplication::screenAdded, this, &Watcher::announce);
    connect(qApp, &QGuiApplication::screenRemoved, this, &Watcher::announce);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, &Watcher::announce);
    for (QScreen* screen : QGuiApplication::screens())
        followScreen(screen);
    if (X11::connection()) {
        x11Events_ = std::make_unique<X11::DesktopWatch>([this] { announce(); });
        qApp->installNativeEventFilter(x11Events_.get());
    }
}

Watcher::~Watcher() = default;

void Watcher::followScreen(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, &Watcher::announce);
    connect(screen, &QScreen::availableGeometryChanged, this, &Watcher::announce);
}

void Watcher::announce()
{
    // Once for a burst of changes, after Qt has taken them all in.
    if (std::exchange(announcing_, true))
        return;
    QTimer::singleShot(0, this, [this] {
        announcing_ = false;
        emit changed();
    });
}

}  // namespace Placement
