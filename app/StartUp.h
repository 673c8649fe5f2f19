#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <functional>
#include <optional>

namespace StartUp {

using Environment = std::function<QByteArray(const char* name)>;

// The command line, read as Qt reads it.
struct Arguments {
    std::optional<int> exitStatus;  // the program ends here: --help, --version, a refused argument
    QByteArray platform;            // -platform NAME[;NAME...], the last one given
    QByteArray display;             // -display DISPLAY, the last one given
};

// Answers --help and --version, and refuses any argument that is neither one
// of them nor one of the options QApplication and Qt's X11 platform
// document, in the forms they parse (-display :1, not -display=:1).
Arguments readArguments(int argc, const char* const* argv);

// The platforms Qt is to try, in order, and whether Velmora chose them.
struct PlatformChoice {
    QByteArrayList names;
    bool chosenHere = false;  // then QT_QPA_PLATFORM must be set to them
};

// The user's choice (-platform, QT_QPA_PLATFORM) stands. Otherwise a Wayland
// session runs on Qt's wayland platform where the compositor offers the
// layer shell (`layerShell`), since only there can the strip place itself;
// else through XWayland where an X server is at hand; else as Qt would.
// Outside Wayland it is X11.
PlatformChoice choosePlatform(const Arguments& arguments, const Environment& environment,
                              const std::function<bool()>& layerShell);

// Why none of `choice`'s platforms can have a display, in one line; empty
// when one can, or when one is of a kind not looked into here (offscreen,
// vnc...). With `connectToX` false an X display is only looked for by name:
// a connection opened and closed ahead of Qt's would make an X server with
// no other client reset itself, and turn Qt away meanwhile.
QString displayProblem(const PlatformChoice& choice, const Arguments& arguments, const Environment& environment,
                       bool connectToX);

// Turns Qt's abort for want of a platform it can start, whatever the cause,
// into one line on standard error and exit status 1, while it lives (around
// the application's construction): what `diagnose` says then, if it says
// anything, else Qt's own cause. Qt's messages meanwhile are kept and passed
// on once the platform has started.
class PlatformGuard {
public:
    explicit PlatformGuard(std::function<QString()> diagnose);
    ~PlatformGuard();
    PlatformGuard(const PlatformGuard&) = delete;
    PlatformGuard& operator=(const PlatformGuard&) = delete;
};

// Loads Qt's own translations (the line's context menu...) for the user's
// locale, keeping the strip's designed left-to-right layout.
void loadQtTranslations();

// Warns on standard error when no installed face can shape Arabic script:
// the Persian words would silently not be drawn.
void warnIfNoArabicFont();

}  // namespace StartUp
