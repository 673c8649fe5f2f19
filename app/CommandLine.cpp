#include "CommandLine.h"

#include "Project.h"

#include <cstdio>
#include <string_view>

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
