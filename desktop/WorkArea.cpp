#include "WorkArea.h"

#include "X11.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QHash>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

namespace WorkArea {

namespace {

// Whether a claim on one edge reaches into `monitor` from that edge: the
// claimed band's inner edge lies within the monitor and its run along the
// edge overlaps the monitor's. A panel on the upper of two stacked monitors
// then leaves the lower one alone.
bool reaches(int innerEdge, int monitorStart, int monitorEnd, int runStart, int runEnd, int alongStart, int alongEnd)
{
    return innerEdge >= monitorStart && innerEdge <= monitorEnd && runStart <= alongEnd && runEnd >= alongStart;
}

QRect lessStruts(QRect area, const QSize& root, const std::vector<Strut>& struts)
{
    const QRect monitor = area;
    for (const Strut& s : struts) {
        if (s.top > 0 && reaches(s.top - 1, monitor.top(), monitor.bottom(), s.topStartX, s.topEndX, monitor.left(), monitor.right()))
            area.setTop(std::max(area.top(), s.top));
        if (s.bottom > 0 && reaches(root.height() - s.bottom, monitor.top(), monitor.bottom(), s.bottomStartX,
                                    s.bottomEndX, monitor.left(), monitor.right()))
            area.setBottom(std::min(area.bottom(), root.height() - s.bottom - 1));
        if (s.left > 0 && reaches(s.left - 1, monitor.left(), monitor.right(), s.leftStartY, s.leftEndY, monitor.top(), monitor.bottom()))
            area.setLeft(std::max(area.left(), s.left));
        if (s.right > 0 && reaches(root.width() - s.right, monitor.left(), monitor.right(), s.rightStartY,
                                   s.rightEndY, monitor.top(), monitor.bottom()))
            area.setRight(std::min(area.right(), root.width() - s.right - 1));
    }
    return area.isValid() ? area : monitor;  // claims that leave nothing are not heeded
}

}  // namespace

QRect ofMonitor(const Desktop& desktop, std::size_t index)
{
    const QRect monitor = desktop.monitors.at(index);
    if (desktop.publishedWorkAreas.size() == desktop.monitors.size()) {
        const QRect published = desktop.publishedWorkAreas[index] & monitor;
        if (!published.isEmpty())
            return published;
    }
    // One rectangle for the whole desktop says nothing of each monitor's
    // panels once there are several.
    if (desktop.monitors.size() > 1 && desktop.struts)
        return lessStruts(monitor, desktop.root, *desktop.struts);
    if (desktop.workArea) {
        const QRect both = *desktop.workArea & monitor;
        if (!both.isEmpty())
            return both;
    }
    return monitor;
}

namespace {

// ---- What the X server and the window manager say ---------------------------

template <typename Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_window_t rootOf(xcb_connection_t* c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// The 32-bit values of a CARDINAL property, or nothing if it is not set.
std::optional<std::vector<std::uint32_t>> cardinals(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    const Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr), &std::free);
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32)
        return std::nullopt;
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

xcb_get_property_cookie_t ask(xcb_connection_t* c, xcb_window_t window, const char* name, xcb_atom_t type,
                              std::uint32_t longs)
{
    return xcb_get_property(c, 0, window, X11::atom(name), type, 0, longs);
}

// A value from the X server, kept within the root window: the server and
// the other clients are not trusted to send sane ones.
int bounded(std::uint32_t value, int limit)
{
    return int(std::min<std::uint32_t>(value, std::uint32_t(limit)));
}

QRect rectangle(const std::vector<std::uint32_t>& values, std::size_t at, const QSize& root)
{
    const int x = bounded(values[at], root.width()), y = bounded(values[at + 1], root.height());
    return QRect(x, y, bounded(values[at + 2], root.width() - x), bounded(values[at + 3], root.height() - y));
}

struct NamedMonitor {
    QByteArray name;
    QRect geometry;
    bool primary = false;
};

std::vector<NamedMonitor> monitorsOf(xcb_connection_t* c, xcb_window_t root, const QSize& rootSize)
{
    std::vector<NamedMonitor> monitors;
    const Owned<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr), &std::free);
    if (reply) {
        for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
            const Owned<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, it.data->name), nullptr),
                                                       &std::free);
            const QRect geometry = QRect(it.data->x, it.data->y, it.data->width, it.data->height) & QRect(QPoint(), rootSize);
            monitors.push_back({name ? QByteArray(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()))
                                     : QByteArray(),
                                geometry, bool(it.data->primary)});
        }
    }
    if (monitors.empty())
        monitors.push_back({{}, QRect(QPoint(), rootSize), true});
    return monitors;
}

struct Reading {
    Desktop desktop;
    std::vector<NamedMonitor> monitors;
};

Reading read(xcb_connection_t* c)
{
    X11::internAtoms({"_NET_CURRENT_DESKTOP", "_NET_WORKAREA", "_NET_CLIENT_LIST", "_NET_WM_STRUT_PARTIAL",
                      "_NET_WM_STRUT", "_GTK_WORKAREAS_D0"});
    Reading reading;
    Desktop& desktop = reading.desktop;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t root = screen->root;
    desktop.root = QSize(screen->width_in_pixels, screen->height_in_pixels);
    reading.monitors = monitorsOf(c, root, desktop.root);
    for (const NamedMonitor& monitor : reading.monitors)
        desktop.monitors.push_back(monitor.geometry);

    auto currentCookie = ask(c, root, "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL, 1);
    auto workAreaCookie = ask(c, root, "_NET_WORKAREA", XCB_ATOM_CARDINAL, 4 * 64);
    auto clientsCookie = xcb_get_property(c, 0, root, X11::atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 4096);
    const auto current = cardinals(c, currentCookie);
    const std::size_t workspace = current && !current->empty() ? std::min<std::uint32_t>((*current)[0], 63) : 0;

    const QByteArray published = "_GTK_WORKAREAS_D" + QByteArray::number(quint64(workspace));
    if (const auto areas = cardinals(c, ask(c, root, published.constData(), XCB_ATOM_CARDINAL, 4 * 64)))
        for (std::size_t at = 0; at + 4 <= areas->size(); at += 4)
            desktop.publishedWorkAreas.push_back(rectangle(*areas, at, desktop.root));
    if (const auto areas = cardinals(c, workAreaCookie); areas && areas->size() >= 4 * (workspace + 1))
        desktop.workArea = rectangle(*areas, 4 * workspace, desktop.root);

    const Owned<xcb_get_property_reply_t> clients(xcb_get_property_reply(c, clientsCookie, nullptr), &std::free);
    if (clients && clients->type == XCB_ATOM_WINDOW && clients->format == 32) {
        const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(clients.get()));
        const int count = xcb_get_property_value_length(clients.get()) / 4;
        std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
        for (int i = 0; i < count; ++i)
            cookies.emplace_back(ask(c, windows[i], "_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL, 12),
                                 ask(c, windows[i], "_NET_WM_STRUT", XCB_ATOM_CARDINAL, 4));
        std::vector<Strut> struts;
        const int w = desktop.root.width(), h = desktop.root.height();
        for (const auto& [partialCookie, wholeCookie] : cookies) {
            const auto partial = cardinals(c, partialCookie);
            const auto whole = cardinals(c, wholeCookie);
            Strut s;
            if (partial && partial->size() >= 12) {
                const auto& v = *partial;
                s = {bounded(v[0], w), bounded(v[1], w), bounded(v[2], h), bounded(v[3], h),
                     bounded(v[4], h),  bounded(v[5], h), bounded(v[6], h), bounded(v[7], h),
                     bounded(v[8], w),  bounded(v[9], w), bounded(v[10], w), bounded(v[11], w)};
            } else if (whole && whole->size() >= 4) {
                const auto& v = *whole;
                s = {bounded(v[0], w), bounded(v[1], w), bounded(v[2], h), bounded(v[3], h),
                     0, h - 1, 0, h - 1, 0, w - 1, 0, w - 1};
            } else {
                continue;
            }
            struts.push_back(s);
        }
        desktop.struts = std::move(struts);
    }
    return reading;
}

// Which of the server's monitors Qt's screen is: by name, else by its place.
std::optional<std::size_t> indexOf(const QScreen& screen, const std::vector<NamedMonitor>& monitors)
{
    for (std::size_t i = 0; i < monitors.size(); ++i)
        if (!monitors[i].name.isEmpty() && monitors[i].name == screen.name().toUtf8())
            return i;
    for (std::size_t i = 0; i < monitors.size(); ++i)
        if (monitors[i].geometry.topLeft() == screen.geometry().topLeft())
            return i;
    return std::nullopt;
}

// The work area of the server's monitor at `index`, in Qt's coordinates. Qt
// keeps a screen's origin where the server has it and scales from there, by
// the screen's own factor. The server's word is taken over Qt's, which may
// not have caught up with a change yet.
QRect logical(const Reading& reading, std::size_t index)
{
    const QRect monitor = reading.monitors[index].geometry;
    const QRect native = ofMonitor(reading.desktop, index);
    qreal scale = 1;
    for (const QScreen* screen : QGuiApplication::screens())
        if (indexOf(*screen, reading.monitors) == index)
            scale = screen->devicePixelRatio();
    return QRect(monitor.topLeft() + (native.topLeft() - monitor.topLeft()) / scale, native.size() / scale);
}

}  // namespace

QRect of(const QScreen& screen)
{
    xcb_connection_t* c = X11::connection();
    if (!c)
        return screen.availableGeometry();
    const Reading reading = read(c);
    const auto index = indexOf(screen, reading.monitors);
    return index ? logical(reading, *index) : screen.availableGeometry();
}

void place(QWidget& window, int leftFromRight, int top, bool starting)
{
    // The primary monitor as the server has it now. At the start, Qt has
    // just read it, and with one monitor its word is the manager's.
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    xcb_connection_t* c = X11::connection();
    if (c && !(starting && QGuiApplication::screens().size() == 1)) {
        const Reading reading = read(c);
        std::size_t primary = 0;
        for (std::size_t i = 0; i < reading.monitors.size(); ++i)
            if (reading.monitors[i].primary)
                primary = i;
        area = logical(reading, primary);
    }
    const int frameLeft = window.geometry().left() - window.frameGeometry().left();
    const QPoint origin(area.right() + 1 - leftFromRight + frameLeft, area.top() + top);
    window.setGeometry(QRect(origin, window.size()));
}

QPoint besidePointer(QPoint pointer, QSize size)
{
    const QScreen* screen = QGuiApplication::screenAt(pointer);
    const QRect area = of(screen ? *screen : *QGuiApplication::primaryScreen());
    const int x = pointer.x() + 1 + size.width() <= area.right() + 1 ? pointer.x() + 1 : pointer.x() - size.width();
    const int y = pointer.y() + 1 + size.height() <= area.bottom() + 1 ? pointer.y() + 1 : pointer.y() - size.height();
    return {x, y};
}

// ---- Watcher ------------------------------------------------------------------

// The X server's word of a change: properties of the root window that say
// where the panels and the work areas are, and the claims of the managed
// windows, which it is asked to report.
class Watcher::X11Events : public QAbstractNativeEventFilter {
public:
    explicit X11Events(Watcher& watcher)
        : watcher_(watcher)
    {
        // Once the strip is up: nothing of it is needed to show it.
        QTimer::singleShot(0, &watcher_, [this] { watchClients(); });
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (property->atom == X11::atom("_NET_CLIENT_LIST"))
            QTimer::singleShot(0, &watcher_, [this] { watchClients(); });
        const bool root = property->window == rootOf(X11::connection());
        if ((root && isWorkAreaProperty(property->atom))
            || property->atom == X11::atom("_NET_WM_STRUT_PARTIAL") || property->atom == X11::atom("_NET_WM_STRUT"))
            watcher_.announce();
        return false;
    }

private:
    bool isWorkAreaProperty(xcb_atom_t atom)
    {
        if (atom == X11::atom("_NET_WORKAREA") || atom == X11::atom("_NET_CLIENT_LIST")
            || atom == X11::atom("_NET_CURRENT_DESKTOP"))
            return true;
        // The names of the other root properties, once each.
        const auto known = published_.constFind(atom);
        if (known != published_.constEnd())
            return *known;
        xcb_connection_t* c = X11::connection();
        const Owned<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr),
                                                   &std::free);
        return published_[atom] = name && QByteArray(xcb_get_atom_name_name(name.get()),
                                                     xcb_get_atom_name_name_length(name.get()))
                                              .startsWith("_GTK_WORKAREAS_D");
    }

    // Asks to hear of every managed window's property changes: a panel that
    // changes its claim says so only on its own window.
    void watchClients()
    {
        xcb_connection_t* c = X11::connection();
        const Owned<xcb_get_property_reply_t> clients(
            xcb_get_property_reply(c, xcb_get_property(c, 0, rootOf(c), X11::atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 4096), nullptr),
            &std::free);
        if (!clients || clients->type != XCB_ATOM_WINDOW || clients->format != 32)
            return;
        const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(clients.get()));
        // Qt's own windows keep the events Qt asked for.
        QSet<xcb_window_t> own;
        for (const QWindow* window : QGuiApplication::allWindows())
            if (window->handle())
                own.insert(xcb_window_t(window->winId()));
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        for (int i = 0; i < xcb_get_property_value_length(clients.get()) / 4; ++i)
            if (!own.contains(windows[i]))
                xcb_change_window_attributes(c, windows[i], XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
    }

    Watcher& watcher_;
    QHash<xcb_atom_t, bool> published_;
};

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
        x11Events_ = new X11Events(*this);
        qApp->installNativeEventFilter(x11Events_);
    }
}

Watcher::~Watcher()
{
    delete x11Events_;
}

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

}  // namespace WorkArea
