// The strip as a layer surface: the module loaded on Wayland.
#include "StripSurface.h"

#include "Project.h"

#include <LayerShellQt/Window>

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QPainter>
#include <QRasterWindow>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <wayland-client.h>

#include <cstring>

namespace {

using LayerShell::Offer;

void announced(void* data, wl_registry*, uint32_t, const char* interface, uint32_t)
{
    auto* offer = static_cast<Offer*>(data);
    offer->layerShell |= std::strcmp(interface, "zwlr_layer_shell_v1") == 0;
    offer->plasma |= std::strcmp(interface, "org_kde_plasma_shell") == 0;
}

void removed(void*, wl_registry*, uint32_t) {}

// Asked on Qt's own connection, which a launcher may have handed over, or
// the user named. Qt's queue is left alone; its compositor has answered
// already.
Offer offeredToQt()
{
    auto* application = qGuiApp->nativeInterface<QNativeInterface::QWaylandApplication>();
    wl_display* display = application ? application->display() : nullptr;
    if (!display)
        return {};
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* ours = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(ours), queue);
    wl_registry* registry = wl_display_get_registry(ours);
    Offer offer;
    static const wl_registry_listener listener = {announced, removed};
    wl_registry_add_listener(registry, &listener, &offer);
    wl_display_roundtrip_queue(display, queue);
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(ours);
    wl_event_queue_destroy(queue);
    return offer;
}

// The strip's room at the top of its output, as a bar claims it, so that
// compositors lay windows out below the strip instead of under it. The strip
// hangs from a corner, and a surface anchored to a corner claims no room:
// this one, anchored across the top edge, claims it for the strip, with one
// transparent pixel that takes no input. Compositors place the surfaces that
// claim room first, in the order they were made, from the top layer down:
// made after the strip, it claims the room below it.
class Room : public QRasterWindow {
public:
    explicit Room(int height)
    {
        setFlags(Qt::FramelessWindowHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
        QSurfaceFormat format;
        format.setAlphaBufferSize(8);
        setFormat(format);
        resize(1, 1);
        auto* surface = LayerShellQt::Window::get(this);
        surface->setLayer(LayerShellQt::Window::LayerBottom);
        surface->setAnchors({LayerShellQt::Window::AnchorTop, LayerShellQt::Window::AnchorLeft,
                             LayerShellQt::Window::AnchorRight});
        surface->setExclusiveZone(height);
        surface->setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityNone);
        surface->setScreenConfiguration(LayerShellQt::Window::ScreenFromCompositor);
        surface->setScope(QStringLiteral("dock"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRect(QPoint(), size()), Qt::transparent);
    }
};

// Keeps the strip and its room on one of the outputs there are, and out of
// the keyboard's way until the user comes to it.
//
// The compositor puts each new surface on the output the user is on. When
// that output goes, the surface is withdrawn (a close from the compositor)
// or, by some compositors, left on no output at all: either way the strip
// and its room are made again, and land on an output that remains. Where
// none does, each new surface would be withdrawn at once; they are made
// again only after the outputs changed since they last were, so the strip
// then waits for an output without a wake-up of its own.
//
// A surface that may take the keyboard on demand is given it at once by some
// compositors, when mapped or whenever it comes to say so: away from the
// window the user types in. So the strip says so only once the user comes to
// it, and no longer once it has lost the keyboard: as the pointer enters it,
// where the compositor then waits for a click on it, or under KWin at a press
// into the line itself. A click on ">" gives it the keyboard there for the
// menu's keys; once the menu has closed, it gives the keyboard back.
class Keeper : public QObject {
    // How long an output that comes where none was left is given to settle:
    // sway may show nothing on it of a surface made at once.
    static constexpr std::chrono::milliseconds settling{100};

public:
    Keeper(QWidget& strip, QWidget& line, int room, bool askAtPress)
        : QObject(&strip)
        , strip_(strip)
        , line_(line)
        , room_(room)
        , askAtPress_(askAtPress)
        , surface_(*LayerShellQt::Window::get(strip.windowHandle()))
    {
        strip.installEventFilter(this);
        strip.windowHandle()->installEventFilter(this);
        line.installEventFilter(this);
        connect(qGuiApp, &QGuiApplication::screenAdded, this, &Keeper::outputsChanged);
        connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen* screen) {
            // Asked before Qt moves the windows off the screen that goes.
            const bool carried = strip_.windowHandle()->screen() == screen || (room_.isVisible() && room_.screen() == screen);
            outputsChanged();
            if (carried)
                withdrawn();
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Close:
            if (watched != &strip_ && watched != strip_.windowHandle() && watched != &room_)
                break;
            event->ignore();  // from the compositor, not the user
            withdrawn();
            return true;
        case QEvent::Expose:
            // Once the strip is drawn, its room: the first frame waits for nothing.
            if (watched == strip_.windowHandle() && strip_.windowHandle()->isExposed() && !room_.isVisible())
                QTimer::singleShot(0, this, [this] {
                    if (strip_.isVisible())
                        room_.show();
                });
            break;
        case QEvent::Paint:
            if (watched == &strip_ && committing_)
                QTimer::singleShot(0, this, &Keeper::committed);  // once the frame is out
            break;
        case QEvent::WindowDeactivate:
            if (watched == &strip_) {
                lineAsked_ = false;
                mayTakeKeyboard(false);
            }
            break;
        case QEvent::Enter:
        case QEvent::MouseMove:  // as it comes over the strip, or moves on it after a menu
            if (watched == strip_.windowHandle() && !askAtPress_)
                mayTakeKeyboard(true);
            break;
        case QEvent::Leave:
            if (watched == &strip_ && !strip_.isActiveWindow())
                mayTakeKeyboard(false);
            break;
        case QEvent::MouseButtonPress:
            if (watched == &line_ && !strip_.isActiveWindow()) {
                lineAsked_ = true;
                mayTakeKeyboard(true);
            }
            break;
        default:
            break;
        }
        return false;
    }

public:
    // The menu has closed: the keyboard goes back where it was before.
    void menuClosed()
    {
        if (lineAsked_)
            return;
        mayTakeKeyboard(false);
    }

private:
    // Each change reaches the compositor in a commit of its own: a compositor
    // gives the keyboard back as the strip says it may not take it, even if
    // it says it may again right after.
    void mayTakeKeyboard(bool may)
    {
        wanted_ = may ? LayerShellQt::Window::KeyboardInteractivityOnDemand
                      : LayerShellQt::Window::KeyboardInteractivityNone;
        if (committing_ || surface_.keyboardInteractivity() == wanted_)
            return;
        surface_.setKeyboardInteractivity(wanted_);
        committing_ = true;
        strip_.update();  // a commit that carries it, after the paint
    }

    void committed()
    {
        committing_ = false;
        mayTakeKeyboard(wanted_ == LayerShellQt::Window::KeyboardInteractivityOnDemand);
    }

    void outputsChanged()
    {
        ++outputsSeen_;
        if (waiting_)
            QTimer::singleShot(settling, this, [this] {
                if (waiting_)
                    makeAgain();
            });
    }

    void withdrawn()
    {
        // The room is made again only after the strip, which it must follow.
        room_.hide();
        if (!strip_.isVisible())
            return;
        // A menu open on the strip goes with it, and with it Qt's count of it
        // as open: the next press opens it again.
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        strip_.hide();
        if (outputsSeen_ == outputsWhenMade_)
            waiting_ = true;
        else
            QTimer::singleShot(0, this, &Keeper::makeAgain);  // once Qt is done with the output that went
    }

    void makeAgain()
    {
        waiting_ = false;
        outputsWhenMade_ = outputsSeen_;
        lineAsked_ = committing_ = false;
        wanted_ = LayerShellQt::Window::KeyboardInteractivityNone;
        surface_.setKeyboardInteractivity(wanted_);
        strip_.show();
    }

    QWidget& strip_;
    QWidget& line_;
    Room room_;
    const bool askAtPress_;  // KWin gives the keyboard as soon as it may
    LayerShellQt::Window& surface_;
    bool lineAsked_ = false;  // the keyboard was taken for the line
    LayerShellQt::Window::KeyboardInteractivity wanted_ = LayerShellQt::Window::KeyboardInteractivityNone;
    bool committing_ = false;  // a change is on its way to the compositor
    int outputsSeen_ = 0;       // changes of the outputs so far
    int outputsWhenMade_ = 0;   // ... when the surface was last made
    bool waiting_ = false;      // for the outputs to change
};

}  // namespace

extern "C" {

Q_DECL_EXPORT const char* velmora_strip_version()
{
    return VELMORA_VERSION;
}

Q_DECL_EXPORT bool velmora_make_strip(QWidget* window, QWidget* line, int top, int right, const Offer* known)
{
    const Offer offer = known ? *known : offeredToQt();
    if (!offer.layerShell)
        return false;
    window->winId();  // the native window, not yet shown
    auto* surface = LayerShellQt::Window::get(window->windowHandle());
    // Among the bars, under those made before it, and under windows moved
    // over it, as an ordinary window: its room keeps the others clear. KWin
    // gives a surface of that layer the keyboard only at a click made once it
    // may take it, and the strip says so only at the click into its line:
    // there it stays in the top layer, where KWin gives it the keyboard then.
    surface->setLayer(offer.plasma ? LayerShellQt::Window::LayerTop : LayerShellQt::Window::LayerBottom);
    surface->setAnchors({LayerShellQt::Window::AnchorTop, LayerShellQt::Window::AnchorRight});
    surface->setMargins(QMargins(0, top, right, 0));
    // The room the strip takes: its top margin, its height and as much again
    // below it. Anchored to a corner, the strip cannot claim it (compositors
    // take a positive value for zero then, but place the strip among the
    // surfaces that claim room, under the bars made before it); its Room
    // claims it.
    const int room = top + window->height() + top;
    surface->setExclusiveZone(room - top);
    surface->setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityNone);
    surface->setScreenConfiguration(LayerShellQt::Window::ScreenFromCompositor);
    // KWin takes a surface of any other scope for an ordinary window, and
    // keeps it among those it gives the keyboard to when the active one
    // closes: it would give it to the strip, or to nothing.
    surface->setScope(QStringLiteral("dock"));
    new Keeper(*window, *line, room, offer.plasma);
    return true;
}

Q_DECL_EXPORT void velmora_menu_closed(QWidget* strip)
{
    for (QObject* child : strip->children())
        if (auto* keeper = dynamic_cast<Keeper*>(child))
            keeper->menuClosed();
}

}  // extern "C"
