#include "Form1.h"
#include "StartUp.h"

#include <cstdlib>
#include <exception>

int main(int argc, char** argv)
{
    if (StartUp::prefersX11(argc, argv, [](const char* name) { return qgetenv(name); }))
        qputenv("QT_QPA_PLATFORM", "xcb");

    Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
    // The about window comes and goes; only the exit command ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    try {
        Form1 form1;
        form1.show();
        StartUp::warnIfNoArabicFont();
        return app.exec();
    } catch (const std::exception& error) {
        StartUp::reportFatalError(QString::fromUtf8(error.what()));
    }
    return EXIT_FAILURE;
}
