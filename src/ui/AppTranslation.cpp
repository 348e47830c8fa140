// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace AppTranslation {

bool install()
{
    static QTranslator *qtbase = nullptr;
    if (qtbase)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), u"qtbase"_qs, u"_"_qs,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    qtbase = translator;
    return true;
}

} // namespace AppTranslation
