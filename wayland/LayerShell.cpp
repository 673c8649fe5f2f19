#include "LayerShell.h"

#include "Project.h"
#include "StripSurface.h"

#include <QGuiApplication>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

namespace LayerShell {

namespace {

struct Module {
    VelmoraMakeStrip* makeStrip = nullptr;
    VelmoraMenuClosed* menuClosed = nullptr;
};

std::optional<Module> loaded;     // once asked for
std::optional<Offer> knownOffer;  // from the question before Qt started
std::optional<int> stripRight;    // the strip's distance from the right edge, once made a layer surface

#ifdef VELMORA_LAYER_SHELL

// The module, beside the program in its build tree, else where it is
// installed relative to the program. Why it cannot be used, if it cannot.
std::string open(Module& module)
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    for (const std::filesystem::path& folder : {program.parent_path(), program.parent_path() / VELMORA_MODULE_DIR}) {
        const std::filesystem::path file = folder / "velmora-layer-shell.so";
        if (error || !std::filesystem::exists(file, error))
            continue;
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return dlerror();
        auto* version = reinterpret_cast<VelmoraStripVersion*>(dlsym(handle, velmoraStripVersion));
        module.makeStrip = reinterpret_cast<VelmoraMakeStrip*>(dlsym(handle, velmoraMakeStrip));
        module.menuClosed = reinterpret_cast<VelmoraMenuClosed*>(dlsym(handle, velmoraMenuClosed));
        if (version && module.makeStrip && module.menuClosed && std::strcmp(version(), VELMORA_VERSION) == 0)
            return {};
        module = {};
        dlclose(handle);
        return file.string() + " is of another build";
    }
    return "the layer shell's module velmora-layer-shell.so is not installed";
}

#endif

}  // namespace

bool load()
{
#ifdef VELMORA_LAYER_SHELL
    if (!loaded) {
        loaded.emplace();
        const std::string problem = open(*loaded);
        if (!problem.empty())
            std::fprintf(stderr, "velmora: %s; the strip is placed without the layer shell\n",
                         problem.c_str());
    }
    return loaded->makeStrip;
#else
    return false;
#endif
}

void offeredBeforeQt(bool layerShell, bool plasma)
{
    knownOffer = Offer{layerShell, plasma};
}

bool makeStrip(QWidget& window, QWidget& line, int top, int right)
{
    if (QGuiApplication::platformName() != QLatin1String("wayland") || !load()
        || !loaded->makeStrip(&window, &line, top, right, knownOffer ? &*knownOffer : nullptr))
        return false;
    stripRight = right;
    return true;
}

void menuClosed(QWidget& strip)
{
    if (loaded && loaded->menuClosed)
        loaded->menuClosed(&strip);
}

namespace {

// xdg_positioner's constraint adjustments, as the xdg-shell protocol numbers them.
namespace Adjustment {
constexpr uint slideX = 1, slideY = 2, flipY = 8;
}

}  // namespace

void openBeside(QWidget& popup, QSize size, const QWidget& strip, QPoint pressed)
{
    if (!stripRight || !strip.windowHandle())
        return;
    // The strip hangs from the screen's right edge by its margin: the room
    // right of the press is known, whatever Qt takes the strip's place for.
    // (Panels along the right edge would narrow it; the compositor slides
    // the menu in then, where it unconstrains popups at all.)
    const int roomRight = *stripRight + strip.width() - 1 - pressed.x();
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
