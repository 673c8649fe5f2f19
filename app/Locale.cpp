#include "Locale.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

void loadQtTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
    // Set, not left to the translation: a right-to-left language would mirror
    // the strip and its menu.
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

void warnIfNoArabicFont()
{
    if (QFontDatabase::families(QFontDatabase::Arabic).isEmpty())
        std::fputs("velmora: no installed font can show Persian text, so the date line and menu will miss their "
                   "Persian words; install a font for Arabic script, for example the Debian package "
                   "fonts-noto-ui-core\n",
                   stderr);
}
