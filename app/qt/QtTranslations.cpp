// Loading qtbase_ja.qm from Qt's translations folder.
#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

std::unique_ptr<QTranslator> QtTranslationFor(const QLocale& locale) {
    // The same test as IsJapaneseLocale: a German desktop keeps English buttons beside the
    // English caption set rather than mixing in a third language.
    if (locale.language() != QLocale::Japanese) {
        return nullptr;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return nullptr;
    }
    return translator;
}

bool InstallQtTranslations(QCoreApplication& app) {
    std::unique_ptr<QTranslator> translator = QtTranslationFor(QLocale::system());
    if (!translator) {
        return false;
    }
    QTranslator* installed = translator.release();
    installed->setParent(&app);
    return QCoreApplication::installTranslator(installed);
}
