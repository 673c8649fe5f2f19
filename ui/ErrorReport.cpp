#include "ErrorReport.h"

#include <QMessageBox>
#include <QString>

#include <cstdio>

void reportFatalError(const QString& message)
{
    std::fprintf(stderr, "velmora: %s\n", message.toLocal8Bit().constData());
    QMessageBox::critical(nullptr, QStringLiteral("Velmora"), message);
}
