#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

struct xcb_connection_t;

namespace StartUp {

using Environment = std::function<QByteArray(const char* name)>;

// Answers --help and --version, and refuses any argument that is neither one
// of them nor one of Qt's own options (-platform, -display...): returns the
// exit status when the program should end here.
std::optional<int> handleArguments(int argc, const char* const* argv);

// True when the strip should run on Qt's xcb platform: a Wayland session,
// which ignores window positions, with an X11 server (XWayland) at hand, and
// no platform chosen by the user through QT_QPA_PLATFORM or -platform.
bool prefersX11(int argc, const char* const* argv, const Environment& environment);

// Opens the display Qt's X11 platform will use, ahead of Qt, which aborts
// without one. The connection is held until this goes, once Qt has its own:
// an X server whose last client leaves resets itself, and turns clients away
// meanwhile.
class DisplayCheck {
public:
    DisplayCheck(int argc, const char* const* argv, const Environment& environment);
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck&) = delete;
    DisplayCheck& operator=(const DisplayCheck&) = delete;

    // Why the display cannot be opened, in one line; empty when it can, or
    // when another platform is chosen.
    const QString& problem() const { return problem_; }

private:
    xcb_connection_t* connection_ = nullptr;
    QString problem_;
};

// Loads Qt's own translations (the line's context menu...) for the user's
// locale, keeping the strip's designed left-to-right layout.
void loadQtTranslations();

// Warns on standard error when no installed face can shape Arabic script:
// the Persian words would silently not be drawn.
void warnIfNoArabicFont();

}  // namespace StartUp
