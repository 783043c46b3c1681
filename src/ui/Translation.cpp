// SPDX-License-Identifier: MIT
#include "ui/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installItalianTranslation(QCoreApplication& app, QTranslator& translator)
{
    // The window is Italian on every till: the process locale decides
    // nothing here, and number parsing elsewhere never uses QLocale's default.
    if (!translator.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return app.installTranslator(&translator);
}
