#include "ErrorReport.h"

#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

void reportFatalError(const QString& message)
{
    std::fprintf(stderr, "velmora: %s\n", message.toLocal8Bit().constData());
    QMessageBox::critical(nullptr, QStringLiteral("Velmora"), message);
}

void endOnUncaughtException()
{
    std::set_terminate([] {
        std::fputs("velmora: ", stderr);
        try {
            if (const std::exception_ptr thrown = std::current_exception())
                std::rethrow_exception(thrown);
            std::fputs("ended", stderr);
        } catch (const std::bad_alloc&) {
            std::fputs("out of memory", stderr);
        } catch (const std::exception& error) {
            std::fputs(error.what(), stderr);
        } catch (...) {
            std::fputs("an unknown error", stderr);
        }
        std::fputs("\n", stderr);
        std::_Exit(EXIT_FAILURE);
    });
}
