#include "BringToFront.h"
#include "ErrorReport.h"
#include "EveryWorkspace.h"
#include "Form1.h"
#include "SingleInstance.h"
#include "StartUp.h"

#include <QAccessible>
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

int main(int argc, char** argv)
{
    if (const auto status = StartUp::handleArguments(argc, argv))
        return *status;
    const auto environment = [](const char* name) { return qgetenv(name); };
    if (StartUp::prefersX11(argc, argv, environment))
        qputenv("QT_QPA_PLATFORM", "xcb");
    auto display = std::make_unique<StartUp::DisplayCheck>(argc, argv, environment);
    if (!display->problem().isEmpty()) {
        std::fprintf(stderr, "velmora: %s\n", qPrintable(display->problem()));
        return EXIT_FAILURE;
    }
    // Qt takes the launcher's startup id for itself; the running strip needs
    // it if this start only calls that one forward.
    const QVariantMap platformData = SingleInstance::platformDataFromEnvironment();

    QApplication app(argc, argv);
    display.reset();  // Qt is connected now
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
    // The about window comes and goes; the exit command or a close of the
    // strip ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // Accessibility sets itself up at the first text a widget is given and
    // starts a D-Bus thread then. Set up here, before the strip lays out its
    // line, rather than in the middle of it, the two do not compete: the
    // profile showed some 190 fewer memory pages touched and a 2-4% faster
    // start with hundreds of fonts installed.
    QAccessible::isActive();

    SingleInstance instance(QDBusConnection::sessionBus());
    switch (instance.claim(platformData)) {
    case SingleInstance::Claim::HandedOver:
        return EXIT_SUCCESS;
    case SingleInstance::Claim::NoAnswer:
        std::fputs("velmora: Velmora is already running here but did not answer within 5 s\n", stderr);
        return EXIT_FAILURE;
    case SingleInstance::Claim::Owned:
    case SingleInstance::Claim::NoBus:
        break;
    }
    StartUp::loadQtTranslations();

    try {
        Form1 form1;
        QObject::connect(&instance, &SingleInstance::activated, &form1,
                         [&form1](const QByteArray& startupId) { bringToFront(form1, startupId); });
        showOnEveryWorkspace(form1);
        StartUp::warnIfNoArabicFont();
        return app.exec();
    } catch (const std::exception& error) {
        reportFatalError(QString::fromUtf8(error.what()));
    }
    return EXIT_FAILURE;
}
