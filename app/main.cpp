#include "CommandLine.h"
#include "Compositor.h"
#include "ErrorReport.h"
#include "FontReader.h"
#include "Form1.h"
#include "LayerShell.h"
#include "Locale.h"
#include "Platform.h"
#include "PlatformGuard.h"
#include "Project.h"
#include "SessionBus.h"
#include "SingleInstance.h"
#include "WindowManager.h"

#include <QAccessible>
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <optional>

namespace {

// How long the session bus, a strip that holds Velmora's name on it, and the
// Wayland compositor are waited for.
constexpr std::chrono::seconds answerTimeout(5);

}  // namespace

int main(int argc, char** argv)
{
    // An exception is never caught: thrown through Qt's code (memory that
    // runs out while a widget is made), it would unwind what Qt left half
    // done. It ends the program where it is thrown, with one line.
    endOnUncaughtException();
    const Arguments arguments = readArguments(argc, argv);
    if (arguments.exitStatus)
        return *arguments.exitStatus;
    // One malloc arena for every thread: the font reader and Qt's few
    // threads would each make one of their own, for allocations that seldom
    // meet (0.2 MiB more resident at the first frame).
    mallopt(M_ARENA_MAX, 1);
    // Before the questions to the bus and the compositor, which mostly wait
    // on their answers: the reader has the time then.
    FontReader fonts;
    // Whether the session bus answers is asked now and its answer awaited
    // once the display is chosen. The answer is needed before Qt starts: its
    // platform may connect to the bus while it starts, and libdbus would then
    // wait for a silent bus for good.
    SessionBus::Probe bus(SessionBus::address(), answerTimeout);
    const auto environment = [](const char* name) { return qgetenv(name); };
    std::optional<Compositor::Reply> asked;
    const auto compositor = [&] {
        if (!asked) {
            asked = Compositor::ask(qgetenv("WAYLAND_SOCKET"), qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_RUNTIME_DIR"),
                                    answerTimeout);
            // Without the layer shell's module any compositor is taken for
            // one without it: XWayland places the strip where it can.
            if (asked->answer == Compositor::Answer::LayerShell && !LayerShell::load())
                asked->answer = Compositor::Answer::Plain;
        }
        return *asked;
    };
    const PlatformChoice platform = choosePlatform(arguments, environment, compositor);
    if (platform.chosenHere)
        qputenv("QT_QPA_PLATFORM", platform.names.join(';'));
    // Asked of the compositor Qt connects to: the strip need not ask again.
    if (platform.chosenHere && asked
        && (asked->answer == Compositor::Answer::LayerShell || asked->answer == Compositor::Answer::Plain))
        LayerShell::offeredBeforeQt(asked->answer == Compositor::Answer::LayerShell, asked->plasma);
    if (platform.chosenHere && asked && asked->answer == Compositor::Answer::Silent && platform.names == QByteArrayList{"xcb"})
        std::fprintf(stderr, "velmora: %s; running through XWayland\n", qPrintable(asked->problem));
    // Whether a display can be had is looked into before Qt only as far as
    // needs no X connection; where Qt then fails to open one, its guard
    // looks further and says why.
    const QString displayMissing = displayProblem(platform, arguments, environment, compositor, false);
    if (!displayMissing.isEmpty()) {
        std::fprintf(stderr, "velmora: %s\n", qPrintable(displayMissing));
        return EXIT_FAILURE;
    }
    // Qt takes the launcher's startup id for itself; the running strip needs
    // it if this start only calls that one forward.
    const QVariantMap platformData = SingleInstance::platformDataFromEnvironment();
    if (bus.answer() == SessionBus::State::Silent) {
        std::fprintf(stderr, "velmora: the session bus did not answer within %lld s; running without it\n",
                     static_cast<long long>(answerTimeout.count()));
        SessionBus::disable();
    }

    std::optional<PlatformGuard> guard(std::in_place, [&] {
        return displayProblem(platform, arguments, environment, compositor, true);
    });
    QApplication app(argc, argv);
    guard.reset();
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
    // The about window comes and goes; the exit command or a close of the
    // strip ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // Accessibility sets itself up at the first text a widget is given and
    // starts a D-Bus thread then. Set up here, before the strip lays out its
    // line, rather than in the middle of it, so that the two do not compete
    // for the faces being loaded.
    QAccessible::isActive();

    // The name is asked for now and its answer awaited only before the strip
    // is shown: the round trips overlap the building of the windows.
    SingleInstance instance(QDBusConnection::sessionBus(), int(std::chrono::milliseconds(answerTimeout).count()));
    instance.requestName();
    loadQtTranslations();

    fonts.wait();
    Form1 form1;
    switch (instance.claim(platformData)) {
    case SingleInstance::Claim::HandedOver:
        return EXIT_SUCCESS;
    case SingleInstance::Claim::Failed:
        std::fprintf(stderr, "velmora: %s\n", qPrintable(instance.problem()));
        return EXIT_FAILURE;
    case SingleInstance::Claim::Owned:
    case SingleInstance::Claim::NoBus:
        break;
    }
    QObject::connect(&instance, &SingleInstance::activated, &form1,
                     [&form1](const QByteArray& startupId) { bringToFront(form1, startupId); });
    showOnEveryWorkspace(form1);
    warnIfNoArabicFont();
    return app.exec();
}
