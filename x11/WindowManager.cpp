#include "WindowManager.h"

#include "X11.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// Launchers end the id with "_TIME" and the X time of the user's action.
std::uint32_t timeOf(const QByteArray& startupId)
{
    const qsizetype at = startupId.lastIndexOf("_TIME");
    bool ok = false;
    const std::uint32_t time = at < 0 ? 0 : startupId.mid(at + 5).toUInt(&ok);
    return ok ? time : 0;
}

// A value in a startup-notification message: quoted, with " and \ escaped.
QByteArray quotedValue(QByteArray value)
{
    value.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + value + '"';
}

// Whether the manager may give `window` the keyboard (ICCCM's input field of
// WM_HINTS), and Qt may ask for it.
void acceptInput(QWidget& window, bool accept)
{
    const Qt::WindowFlags flags = window.windowFlags().setFlag(Qt::WindowDoesNotAcceptFocus, !accept);
    if (flags == window.windowFlags())
        return;
    window.overrideWindowFlags(flags);
    window.windowHandle()->setFlags(flags);  // in place: the window is not shown again
}

// Who asks the manager to activate a window, as EWMH numbers them: an
// application on its own account, or a client on the user's direct action.
enum class Source : std::uint32_t { application = 1, user = 2 };

// Asks the manager to activate `window` for an action at `time`; a manager
// that does not take such requests (or none) is bypassed.
void activate(std::uint32_t window, std::uint32_t time, Source source)
{
    xcb_connection_t* c = X11::connection();
    const auto supported =
        X11::values(c, X11::ask(c, X11::rootOf(c), "_NET_SUPPORTED", XCB_ATOM_ATOM, 1024), XCB_ATOM_ATOM);
    if (supported && std::ranges::count(*supported, X11::atom("_NET_ACTIVE_WINDOW"))) {
        X11::sendToRoot(window, "_NET_ACTIVE_WINDOW", {std::uint32_t(source), time, 0, 0, 0});
    } else {
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, window, time);
        xcb_flush(c);
    }
}

// Rewrites a property (of 32-bit values) of one of our own windows.
void rewrite(std::uint32_t window, const char* property, std::uint32_t type,
             const std::function<void(std::vector<std::uint32_t>&)>& edit)
{
    xcb_connection_t* c = X11::connection();
    auto values = X11::values(c, X11::ask(c, window, property, type, 64), type);
    if (!values)
        return;
    edit(*values);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, X11::atom(property), type, 32,
                        std::uint32_t(values->size()), values->data());
}

// Runs `edit` on a window's X id once Qt has made it, before it is mapped.
// (Made early, for this, it would be made before it has its place.)
void whenMade(QWidget& window, std::function<void(std::uint32_t)> edit)
{
    class Watch : public QObject {
    public:
        Watch(QWidget& window, std::function<void(std::uint32_t)> edit)
            : QObject(&window)
            , edit_(std::move(edit))
        {
            window.installEventFilter(this);
        }

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::WinIdChange)
                if (const WId id = static_cast<QWidget*>(watched)->internalWinId()) {
                    edit_(std::uint32_t(id));
                    deleteLater();
                }
            return false;
        }

    private:
        const std::function<void(std::uint32_t)> edit_;
    };
    new Watch(window, std::move(edit));
}

// Lends the window the keyboard at a press into its line, and takes it back
// from the manager's reach once the window has lost it.
class Lender : public QObject {
public:
    Lender(QWidget& window, QWidget& line)
        : QObject(&window)
        , window_(window)
        , line_(line)
    {
        window.installEventFilter(this);
        line.installEventFilter(this);
        // WM_TAKE_FOCUS, which Qt offers every window, makes a window that
        // refuses input one that a manager may still ask to take the
        // keyboard, of its own choice (ICCCM's globally active window).
        // Without it, the window is left out of every such choice.
        whenMade(window, [](std::uint32_t id) {
            X11::internAtoms({"WM_PROTOCOLS", "WM_TAKE_FOCUS"});
            rewrite(id, "WM_PROTOCOLS", XCB_ATOM_ATOM,
                    [](std::vector<std::uint32_t>& protocols) { std::erase(protocols, X11::atom("WM_TAKE_FOCUS")); });
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::WindowDeactivate)
            acceptInput(window_, false);
        else if (watched == &line_ && event->type() == QEvent::MouseButtonPress && !window_.isActiveWindow()) {
            acceptInput(window_, true);
            activate(std::uint32_t(window_.winId()), std::uint32_t(static_cast<QMouseEvent*>(event)->timestamp()),
                     Source::user);
        }
        return false;
    }

private:
    QWidget& window_;
    QWidget& line_;
};

}  // namespace

void lendKeyboardOnlyAtPressInto(QWidget& window, QWidget& line)
{
    if (X11::connection())
        new Lender(window, line);
}

void keepOutOfTheGroup(QWidget& window)
{
    if (!X11::connection())
        return;
    whenMade(window, [](std::uint32_t id) {
        // WM_HINTS: the flags first, which say the window group is there.
        constexpr std::uint32_t windowGroupHint = 1 << 6;
        rewrite(id, "WM_HINTS", XCB_ATOM_WM_HINTS, [](std::vector<std::uint32_t>& hints) {
            if (!hints.empty())
                hints[0] &= ~windowGroupHint;
        });
    });
}

void showOnEveryWorkspace(QWidget& window)
{
    xcb_connection_t* c = X11::connection();
    if (!c) {
        window.show();
        return;
    }
    // EWMH: the property while the window is withdrawn, the request once it
    // is mapped (the window manager owns the property then).
    constexpr std::uint32_t everyDesktop = 0xFFFFFFFF, fromAnApplication = 1;
    const auto id = std::uint32_t(window.winId());
    if (!window.isVisible())
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, X11::atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                            &everyDesktop);
    window.show();
    X11::sendToRoot(id, "_NET_WM_DESKTOP", {everyDesktop, fromAnApplication, 0, 0, 0});
}

void bringToFront(QWidget& window, const QByteArray& startupId)
{
    // On the workspace the user is on, rather than taking them to another.
    showOnEveryWorkspace(window);
    window.raise();
    xcb_connection_t* c = X11::connection();
    if (!c) {
        window.activateWindow();
        return;
    }
    const auto id = std::uint32_t(window.winId());
    std::uint32_t time = timeOf(startupId);
    if (time == 0)
        time = X11::serverTime();
    if (!startupId.isEmpty())
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, X11::atom("_NET_STARTUP_ID"), X11::atom("UTF8_STRING"), 8,
                            std::uint32_t(startupId.size()), startupId.constData());
    // The user asked for it: it may take the keyboard, until it loses it.
    acceptInput(window, true);
    activate(id, time, Source::application);
    // The launch this id belongs to showed no window of its own: end its
    // busy cursor here.
    if (!startupId.isEmpty())
        X11::sendStartupMessage(id, "remove: ID=" + quotedValue(startupId));
}
