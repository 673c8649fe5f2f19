#include "StartUp.h"

#include <QFontDatabase>
#include <QMessageBox>

#include <cstdio>
#include <cstring>
#include <exception>

namespace StartUp {

bool prefersX11(int argc, const char* const* argv, const Environment& environment)
{
    if (!environment("QT_QPA_PLATFORM").isEmpty())
        return false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return false;
    }
    const bool wayland = !environment("WAYLAND_DISPLAY").isEmpty() || environment("XDG_SESSION_TYPE") == "wayland";
    return wayland && !environment("DISPLAY").isEmpty();
}

void warnIfNoArabicFont()
{
    if (QFontDatabase::families(QFontDatabase::Arabic).isEmpty())
        std::fputs("velmora: no installed font can show Persian text, so the date line and menu will miss their "
                   "Persian words; install a font for Arabic script, for example the Debian package "
                   "fonts-noto-ui-core\n",
                   stderr);
}

void reportFatalError(const QString& message)
{
    std::fprintf(stderr, "velmora: %s\n", message.toLocal8Bit().constData());
    QMessageBox::critical(nullptr, QStringLiteral("Velmora"), message);
}

}  // namespace StartUp

bool Application::notify(QObject* receiver, QEvent* event)
{
    QString message;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        message = QString::fromUtf8(error.what());
    } catch (...) {
        message = QStringLiteral("unknown error");
    }
    // Only the first error is reported; the box's own events must not recurse.
    if (!failing_) {
        failing_ = true;
        StartUp::reportFatalError(message);
        exit(1);
    }
    return false;
}
