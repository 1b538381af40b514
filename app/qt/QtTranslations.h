// Qt's own texts (file, colour and message dialogs, standard buttons) in the user's language.
#pragma once

#include <QLocale>
#include <memory>

class QCoreApplication;
class QTranslator;

// Qt's translation of its own texts for `locale`, from the qtbase_*.qm files in Qt's
// translations folder (Debian: qt6-translations-l10n); null when the locale is not Japanese or
// no file is found. Like the program's own captions, Qt's texts are Japanese on a Japanese
// desktop and English everywhere else.
std::unique_ptr<QTranslator> QtTranslationFor(const QLocale& locale);

// Installs the translation for the user's locale into the application, which keeps it until
// it ends. True when one was installed.
bool InstallQtTranslations(QCoreApplication& app);
