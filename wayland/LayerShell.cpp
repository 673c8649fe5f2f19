#include "LayerShell.h"

#include <QPoint>
#include <QSize>

#ifdef VELMORA_LAYER_SHELL

#include <LayerShellQt/Window>

#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <wayland-client.h>

#include <cstring>

namespace LayerShell {

namespace {

// What the compositor Qt is connected to offers, of what the strip needs to know.
struct Offer {
    bool layerShell = false;
    // KDE Plasma's shell: its compositor (KWin) gives a layer surface the
    // keyboard whenever the surface says it may take it, where others wait
    // for a click on it.
    bool plasma = false;
};

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

// Keeps the strip on one of the outputs there are, and out of the
// keyboard's way until the user comes to it.
//
// The compositor puts each new surface on the output the user is on. When
// that output goes, the surface is withdrawn (a close from the compositor)
// or, by some compositors, left on no output at all: either way the strip
// is made again, and lands on an output that remains. Where none does, each
// new surface would be withdrawn at once; a surface is made again only
// after the outputs changed since the last one was, so the strip then waits
// for an output without a wake-up of its own.
//
// A surface that may take the keyboard on demand is given it at once by some
// compositors, when mapped or whenever it comes to say so: away from the
// window the user types in. So the strip says so only once the user comes
// to it: as the pointer enters it, where the compositor then waits for a
// click on it, or at the press itself under KWin.
class Keeper : public QObject {
public:
    Keeper(QWidget& strip, bool askAtPress)
        : QObject(&strip)
        , strip_(strip)
        , keyboardAsked_(askAtPress ? QEvent::MouseButtonPress : QEvent::Enter)
        , surface_(*LayerShellQt::Window::get(strip.windowHandle()))
    {
        strip.installEventFilter(this);
        strip.windowHandle()->installEventFilter(this);  // sees the pointer over every part
        connect(qGuiApp, &QGuiApplication::screenAdded, this, &Keeper::outputsChanged);
        connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen* screen) {
            // Asked before Qt moves the window off the screen that goes.
            const bool carried = strip_.windowHandle()->screen() == screen;
            outputsChanged();
            if (carried)
                withdrawn();
        });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close) {
            event->ignore();  // from the compositor, not the user
            withdrawn();
            return true;
        }
        if (event->type() == keyboardAsked_
            && surface_.keyboardInteractivity() == LayerShellQt::Window::KeyboardInteractivityNone) {
            surface_.setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityOnDemand);
            strip_.update();  // a commit that carries it
        }
        return false;
    }

private:
    void outputsChanged()
    {
        ++outputsSeen_;
        if (waiting_)
            makeAgain();
    }

    void withdrawn()
    {
        if (!strip_.isVisible())
            return;
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
        surface_.setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityNone);
        strip_.show();
    }

    QWidget& strip_;
    const QEvent::Type keyboardAsked_;
    LayerShellQt::Window& surface_;
    int outputsSeen_ = 0;       // changes of the outputs so far
    int outputsWhenMade_ = 0;   // ... when the surface was last made
    bool waiting_ = false;      // for the outputs to change
};

// xdg_positioner's constraint adjustments, as the xdg-shell protocol numbers them.
namespace Adjustment {
constexpr uint slideX = 1, slideY = 2, flipY = 8;
}

}  // namespace

bool built()
{
    return true;
}

bool makeStrip(QWidget& window, int top, int right)
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return false;
    const Offer offer = offeredToQt();
    if (!offer.layerShell)
        return false;
    window.winId();  // the native window, not yet shown
    auto* surface = LayerShellQt::Window::get(window.windowHandle());
    surface->setLayer(LayerShellQt::Window::LayerTop);
    surface->setAnchors({LayerShellQt::Window::AnchorTop, LayerShellQt::Window::AnchorRight});
    surface->setMargins(QMargins(0, top, right, 0));
    surface->setExclusiveZone(0);
    surface->setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityNone);
    surface->setScreenConfiguration(LayerShellQt::Window::ScreenFromCompositor);
    surface->setScope(QStringLiteral("velmora"));
    new Keeper(window, offer.plasma);
    return true;
}

void openBeside(QWidget& popup, QSize size, const QWidget& strip, QPoint pressed)
{
    if (QGuiApplication::platformName() != QLatin1String("wayland") || !strip.windowHandle())
        return;
    // The strip hangs from the screen's right edge by its margin: the room
    // right of the press is known, whatever Qt takes the strip's place for.
    // (Panels along the right edge would narrow it; the compositor slides
    // the menu in then, where it unconstrains popups at all.)
    const int roomRight = LayerShellQt::Window::get(strip.windowHandle())->margins().right() + strip.width() - 1
                          - pressed.x();
    const Qt::Edges side = (roomRight >= size.width() ? Qt::RightEdge : Qt::LeftEdge) | Qt::BottomEdge;
    // Qt's wayland platform hands these to the compositor as the popup's
    // positioner (xdg_positioner): the pressed pixel as the anchor, and the
    // menu hanging from its corner on the side with room.
    popup.winId();
    QWindow* window = popup.windowHandle();
    window->setProperty("_q_waylandPopupAnchorRect", QRect(pressed, QSize(1, 1)));
    window->setProperty("_q_waylandPopupAnchor", QVariant::fromValue(side));
    window->setProperty("_q_waylandPopupGravity", QVariant::fromValue(side));
    window->setProperty("_q_waylandPopupConstraintAdjustment",
                        uint(Adjustment::flipY | Adjustment::slideX | Adjustment::slideY));
}

}  // namespace LayerShell

#else

namespace LayerShell {

bool built()
{
    return false;
}

bool makeStrip(QWidget&, int, int)
{
    return false;
}

void openBeside(QWidget&, QSize, const QWidget&, QPoint) {}

}  // namespace LayerShell

#endif
