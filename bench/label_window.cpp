// Baseline: the least a Qt program needs to show today's line, one label in
// the strip's font, sized to its text. Sizing lays the text out before the
// window maps, as the strip's text box does; a label left at a fixed size
// would load its fonts only after mapping, at its first paint.
#include "Module1.h"

#include <QApplication>
#include <QDate>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDate today = QDate::currentDate();
    const std::string date = Module1::GregorianTextToPersian(
        QStringLiteral("%1/%2/%3").arg(today.month()).arg(today.day()).arg(today.year()).toStdString());
    QLabel label(QStringLiteral(u"\u0627\u0645\u0631\u0648\u0632: ") + QString::fromStdString(date));
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Vazirmatn"), QStringLiteral("Noto Sans Arabic UI"),
                      QStringLiteral("Noto Sans Arabic"), QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(8.25);
    label.setFont(font);
    label.adjustSize();
    label.show();
    return app.exec();
}
