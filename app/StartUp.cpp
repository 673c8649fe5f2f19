#include "StartUp.h"

#include "Project.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace StartUp {

namespace {

constexpr char usage[] = "usage: velmora [--help | --version]\n"
                         "Shows today's Persian (Solar Hijri) date in a small strip near the top of the screen.\n"
                         "Qt's own options, such as -platform NAME and -display DISPLAY, are also accepted.\n";

// The options QApplication and Qt's X11 platform document, as they parse
// them: one leading "-" of "--" is dropped, a value follows as the next
// argument, and only the three below also take "-option=value".
constexpr std::string_view optionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry", "qwindowtitle",
    "title", "qwindowicon", "icon", "session", "style", "stylesheet", "qmljsdebugger", "display", "name", "visual"};
constexpr std::string_view optionsWithValueAfterEquals[] = {"style", "stylesheet", "qmljsdebugger"};
constexpr std::string_view flags[] = {"reverse", "widgetcount", "nograb", "dograb"};

template <std::size_t N>
bool contains(const std::string_view (&names)[N], std::string_view name)
{
    for (const std::string_view candidate : names)
        if (candidate == name)
            return true;
    return false;
}

int refuse(const char* why, const char* arg)
{
    std::fprintf(stderr, "velmora: %s \"%s\"\n%s", why, arg, usage);
    return 2;
}

// Whether a Wayland compositor listens where libwayland, and so Qt, looks
// for it; why not, if it does not.
QString openWayland(const Environment& environment)
{
    if (!environment("WAYLAND_SOCKET").isEmpty())
        return {};  // a connection handed over by the compositor itself
    QByteArray name = environment("WAYLAND_DISPLAY");
    if (name.isEmpty())
        name = "wayland-0";
    const QString problem = QStringLiteral("cannot connect to the Wayland display \"%1\"").arg(QString::fromLocal8Bit(name));
    QByteArray path = name;
    if (!name.startsWith('/')) {
        const QByteArray runtimeDir = environment("XDG_RUNTIME_DIR");
        if (runtimeDir.isEmpty())
            return problem + QStringLiteral(": XDG_RUNTIME_DIR is not set");
        path = runtimeDir + '/' + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::size_t(path.size()) >= sizeof address.sun_path)
        return problem + QStringLiteral(": its path is too long");
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return connected ? QString() : problem;
}

// The X display Qt will open, the one -display names or else DISPLAY: why
// it cannot be had, if it cannot.
QString openX11(const Arguments& arguments, const Environment& environment, bool connect)
{
    const QByteArray display = arguments.display.isEmpty() ? environment("DISPLAY") : arguments.display;
    if (display.isEmpty())
        return QStringLiteral("cannot open a display: DISPLAY is not set");
    if (!connect)
        return {};
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool connected = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return connected ? QString() : QStringLiteral("cannot open display \"%1\"").arg(QString::fromLocal8Bit(display));
}

}  // namespace

Arguments readArguments(int argc, const char* const* argv)
{
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            arguments.exitStatus = 0;
            return arguments;
        }
        if (arg == "--version") {
            std::puts("velmora " VELMORA_VERSION);
            arguments.exitStatus = 0;
            return arguments;
        }
        std::string_view name = arg.size() > 1 && arg[0] == '-' ? arg.substr(arg[1] == '-' ? 2 : 1) : std::string_view();
        const auto equals = name.find('=');
        if (equals != std::string_view::npos && contains(optionsWithValueAfterEquals, name.substr(0, equals)))
            continue;
        if (contains(flags, name))
            continue;
        if (!contains(optionsWithValue, name)) {
            arguments.exitStatus = refuse("unknown argument", argv[i]);
            return arguments;
        }
        if (++i == argc) {
            arguments.exitStatus = refuse("a value must follow", argv[i - 1]);
            return arguments;
        }
        if (name == "platform")
            arguments.platform = argv[i];
        else if (name == "display")
            arguments.display = argv[i];
    }
    return arguments;
}

PlatformChoice choosePlatform(const Arguments& arguments, const Environment& environment,
                              const std::function<bool()>& layerShell)
{
    const QByteArray given = arguments.platform.isEmpty() ? environment("QT_QPA_PLATFORM") : arguments.platform;
    if (!given.isEmpty())
        return {given.split(';'), false};
    const bool wayland = !environment("WAYLAND_DISPLAY").isEmpty() || environment("XDG_SESSION_TYPE") == "wayland";
    if (!wayland)
        return {{"xcb"}, true};
    // A Wayland compositor places a plain window where it likes: the strip
    // takes its place as a layer surface, or as an X11 window through
    // XWayland, which also stands in where Qt's wayland platform is not
    // installed.
    const bool x11 = !arguments.display.isEmpty() || !environment("DISPLAY").isEmpty();
    if (layerShell())
        return {x11 ? QByteArrayList{"wayland", "xcb"} : QByteArrayList{"wayland"}, true};
    return {{x11 ? "xcb" : "wayland"}, true};
}

QString displayProblem(const PlatformChoice& choice, const Arguments& arguments, const Environment& environment,
                       bool connectToX)
{
    QStringList problems;
    for (const QByteArray& entry : choice.names) {
        const QByteArray name = entry.split(':').constFirst();  // "xcb:option" is xcb
        if (name.isEmpty())
            continue;
        if (name != "xcb" && !name.startsWith("wayland"))
            return {};  // offscreen, vnc...: Qt checks what it needs, the guard reports it
        const QString problem = name == "xcb" ? openX11(arguments, environment, connectToX) : openWayland(environment);
        if (problem.isEmpty())
            return {};
        problems << problem;
    }
    return problems.join(QStringLiteral("; "));
}

namespace {

struct KeptMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
std::vector<KeptMessage> keptMessages;
std::function<QString()> diagnosis;

void keepOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        keptMessages.push_back({type, context.category, text});
        return;
    }
    // The first thing Qt said is the cause ("could not connect to display",
    // "Could not find the Qt platform plugin"); the rest is advice.
    QString cause = text.section(QLatin1Char('\n'), 0, 0);
    for (const KeptMessage& message : keptMessages)
        if (message.type == QtWarningMsg || message.type == QtCriticalMsg) {
            cause = message.text;
            break;
        }
    if (const QString problem = diagnosis ? diagnosis() : QString(); !problem.isEmpty())
        std::fprintf(stderr, "velmora: %s\n", qPrintable(problem));
    else
        std::fprintf(stderr, "velmora: Qt could not start a platform: %s\n", qPrintable(cause.simplified()));
    std::_Exit(EXIT_FAILURE);
}

}  // namespace

PlatformGuard::PlatformGuard(std::function<QString()> diagnose)
{
    diagnosis = std::move(diagnose);
    qInstallMessageHandler(keepOrEnd);
}

PlatformGuard::~PlatformGuard()
{
    qInstallMessageHandler(nullptr);
    diagnosis = nullptr;
    for (const KeptMessage& message : std::exchange(keptMessages, {})) {
        const QMessageLogger logger(nullptr, 0, nullptr, message.category.constData());
        switch (message.type) {
        case QtDebugMsg: logger.debug("%s", qPrintable(message.text)); break;
        case QtInfoMsg: logger.info("%s", qPrintable(message.text)); break;
        case QtCriticalMsg: logger.critical("%s", qPrintable(message.text)); break;
        default: logger.warning("%s", qPrintable(message.text)); break;
        }
    }
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
