#include "StartUp.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstring>
#include <string_view>

namespace StartUp {

namespace {

constexpr char usage[] = "usage: velmora [--help | --version]\n"
                         "Shows today's Persian (Solar Hijri) date in a small strip near the top of the screen.\n"
                         "Qt's own options, such as -platform NAME and -display DISPLAY, are also accepted.\n";

// Qt's own options, which Qt takes out of the arguments itself; the first
// ones are followed by a value.
constexpr std::string_view qtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                                    "display", "qwindowgeometry", "qwindowicon", "qwindowtitle",
                                                    "session", "style", "stylesheet"};
constexpr std::string_view qtFlags[] = {"reverse", "widgetcount", "nograb", "dograb"};

// "-name", "--name" or "-name=value" as Qt's option `name`, else empty.
std::string_view qtOptionName(std::string_view arg)
{
    if (arg.size() < 2 || arg[0] != '-')
        return {};
    arg.remove_prefix(arg[1] == '-' ? 2 : 1);
    return arg.substr(0, arg.find('='));
}

// The value of Qt's option `name` (-name VALUE, -name=VALUE), or null.
const char* qtOption(int argc, const char* const* argv, std::string_view name)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (qtOptionName(arg) != name)
            continue;
        if (const auto equals = arg.find('='); equals != std::string_view::npos)
            return argv[i] + equals + 1;
        return i + 1 < argc ? argv[i + 1] : "";
    }
    return nullptr;
}

template <std::size_t N>
bool contains(const std::string_view (&names)[N], std::string_view name)
{
    for (const std::string_view candidate : names)
        if (candidate == name)
            return true;
    return false;
}

}  // namespace

std::optional<int> handleArguments(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("velmora " VELMORA_VERSION);
            return 0;
        }
        const std::string_view name = qtOptionName(arg);
        if (contains(qtOptionsWithValue, name)) {
            i += arg.find('=') == std::string_view::npos ? 1 : 0;
        } else if (!contains(qtFlags, name)) {
            std::fprintf(stderr, "velmora: unknown argument \"%s\"\n%s", argv[i], usage);
            return 2;
        }
    }
    return std::nullopt;
}

bool prefersX11(int argc, const char* const* argv, const Environment& environment)
{
    if (!environment("QT_QPA_PLATFORM").isEmpty() || qtOption(argc, argv, "platform"))
        return false;
    const bool wayland = !environment("WAYLAND_DISPLAY").isEmpty() || environment("XDG_SESSION_TYPE") == "wayland";
    return wayland && !environment("DISPLAY").isEmpty();
}

DisplayCheck::DisplayCheck(int argc, const char* const* argv, const Environment& environment)
{
    const char* platformOption = qtOption(argc, argv, "platform");
    const QByteArray platform = platformOption ? QByteArray(platformOption) : environment("QT_QPA_PLATFORM");
    const bool x11 = platform.isEmpty() ? environment("XDG_SESSION_TYPE") != "wayland" : platform.startsWith("xcb");
    if (!x11)
        return;
    const char* displayOption = qtOption(argc, argv, "display");
    const QByteArray display = displayOption ? QByteArray(displayOption) : environment("DISPLAY");
    if (display.isEmpty()) {
        problem_ = QStringLiteral("cannot open a display: DISPLAY is not set");
        return;
    }
    connection_ = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(connection_))
        problem_ = QStringLiteral("cannot open display \"%1\"").arg(QString::fromLocal8Bit(display));
}

DisplayCheck::~DisplayCheck()
{
    if (connection_)
        xcb_disconnect(connection_);
}

void loadQtTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
    // Set, not left to the translation: a right-to-left language would mirror
    // the strip and its menu.
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

void warnIfNoArabicFont()
{
    if (QFontDatabase::families(QFontDatabase::Arabic).isEmpty())
        std::fputs("velmora: no installed font can show Persian text, so the date line and menu will miss their "
                   "Persian words; install a font for Arabic script, for example the Debian package "
                   "fonts-noto-ui-core\n",
                   stderr);
}

}  // namespace StartUp
