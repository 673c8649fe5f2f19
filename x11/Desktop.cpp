#include "Desktop.h"

#include "X11.h"

#include <xcb/randr.h>

#include <utility>

namespace X11 {

namespace {

// The monitors RandR knows, within the root window; the root window alone
// where it knows none.
void readMonitors(xcb_connection_t* c, xcb_window_t root, DesktopReading& reading)
{
    const QRect rootRect(QPoint(), reading.desktop.root);
    const auto reply = own(xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr));
    if (reply) {
        for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
            const auto name = own(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, it.data->name), nullptr));
            reading.desktop.monitors.push_back(QRect(it.data->x, it.data->y, it.data->width, it.data->height) & rootRect);
            reading.monitors.push_back({name ? QByteArray(xcb_get_atom_name_name(name.get()),
                                                          xcb_get_atom_name_name_length(name.get()))
                                             : QByteArray(),
                                        bool(it.data->primary)});
        }
    }
    if (reading.monitors.empty()) {
        reading.desktop.monitors.push_back(rootRect);
        reading.monitors.push_back({{}, true});
    }
}

}  // namespace

DesktopReading readDesktop(xcb_connection_t* c)
{
    internAtoms({"_NET_CURRENT_DESKTOP", "_NET_WORKAREA", "_NET_CLIENT_LIST", "_NET_WM_STRUT_PARTIAL",
                 "_NET_WM_STRUT", "_GTK_WORKAREAS_D0"});
    DesktopReading reading;
    WorkArea::Desktop& desktop = reading.desktop;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t root = screen->root;
    desktop.root = QSize(screen->width_in_pixels, screen->height_in_pixels);

    const auto currentAsked = ask(c, root, "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL, 1);
    // A work area for each of the first 64 desktops; beyond them, unknown.
    const auto workAreaAsked = ask(c, root, "_NET_WORKAREA", XCB_ATOM_CARDINAL, 4 * 64);
    const auto clientsAsked = ask(c, root, "_NET_CLIENT_LIST", XCB_ATOM_WINDOW, 4096);
    readMonitors(c, root, reading);

    const auto current = values(c, currentAsked, XCB_ATOM_CARDINAL);
    const std::uint32_t workspace = current && !current->empty() ? (*current)[0] : 0;
    const QByteArray published = "_GTK_WORKAREAS_D" + QByteArray::number(workspace);
    if (const auto areas = values(c, ask(c, root, published.constData(), XCB_ATOM_CARDINAL, 4 * 64), XCB_ATOM_CARDINAL))
        desktop.publishedWorkAreas = WorkArea::rectangles(*areas, desktop.root);
    if (const auto areas = values(c, workAreaAsked, XCB_ATOM_CARDINAL))
        desktop.workArea = WorkArea::ofDesktop(*areas, workspace, desktop.root);

    if (const auto clients = values(c, clientsAsked, XCB_ATOM_WINDOW)) {
        std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> asked;
        for (const std::uint32_t window : *clients)
            asked.emplace_back(ask(c, window, "_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL, 12),
                               ask(c, window, "_NET_WM_STRUT", XCB_ATOM_CARDINAL, 4));
        desktop.struts.emplace();
        for (const auto& [partial, whole] : asked)
            if (const auto strut = WorkArea::strutFrom(values(c, partial, XCB_ATOM_CARDINAL),
                                                       values(c, whole, XCB_ATOM_CARDINAL), desktop.root))
                desktop.struts->push_back(*strut);
    }
    return reading;
}

DesktopWatch::DesktopWatch(std::function<void()> changed)
    : changed_(std::move(changed))
    , connection_(connection())
    , root_(rootOf(connection_))
{
}

bool DesktopWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*)
{
    if (type != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (property->window == root_ && isWorkAreaProperty(property->atom))
        changed_();
    return false;
}

bool DesktopWatch::isWorkAreaProperty(xcb_atom_t property)
{
    if (property == atom("_NET_WORKAREA") || property == atom("_NET_CLIENT_LIST")
        || property == atom("_NET_CURRENT_DESKTOP"))
        return true;
    // The names of the other root properties, once each.
    if (const auto known = published_.constFind(property); known != published_.constEnd())
        return *known;
    const auto name = own(xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, property), nullptr));
    return published_[property] = name && QByteArray(xcb_get_atom_name_name(name.get()),
                                                     xcb_get_atom_name_name_length(name.get()))
                                              .startsWith("_GTK_WORKAREAS_D");
}

}  // namespace X11
