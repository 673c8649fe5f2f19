#pragma once

#include <QApplication>
#include <QByteArray>

#include <functional>

namespace StartUp {

using Environment = std::function<QByteArray(const char* name)>;

// True when the strip should run on Qt's xcb platform: a Wayland session,
// which ignores window positions, with an X11 server (XWayland) at hand, and
// no platform chosen by the user through QT_QPA_PLATFORM or -platform.
bool prefersX11(int argc, const char* const* argv, const Environment& environment);

// Warns on standard error when no installed face can shape Arabic script:
// the Persian words would silently not be drawn.
void warnIfNoArabicFont();

// Shows the error in a message box titled "Velmora" and on standard error.
void reportFatalError(const QString& message);

}  // namespace StartUp

// Reports an error that escapes an event handler and ends the program with
// status 1, instead of letting it unwind through the event loop.
class Application : public QApplication {
    Q_OBJECT

public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;

private:
    bool failing_ = false;
};
