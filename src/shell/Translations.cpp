#include "shell/Translations.h"

#include "core/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace toppeek::shell {

namespace {

// Where lrelease's output lies in the program's resources (see src/shell/CMakeLists.txt).
const char* const kOwnTranslations = ":/toppeek/translations";

QTranslator* gOwn = nullptr;
QTranslator* gQt = nullptr;

void replace(QTranslator*& installed, QTranslator* loaded) {
    if (installed != nullptr) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    if (loaded != nullptr) {
        QCoreApplication::installTranslator(loaded);
        installed = loaded;
    }
}

// The translator of file for the first of languages it has a translation for, from folder, or
// null when there is none or English comes first: English is the language of the program's
// sources, and a later language in the list must not override it. The translator belongs to the
// application, so that it goes with it.
QTranslator* loaded(const QStringList& languages, const QString& file, const QString& folder) {
    for (QString language : languages) {
        const QLocale::Language wanted = QLocale(language).language();
        if (wanted == QLocale::English || wanted == QLocale::C)
            return nullptr;
        auto* translator = new QTranslator(QCoreApplication::instance());
        // "de-AT" is looked for as toppeek_de_AT.qm, then toppeek_de.qm.
        if (translator->load(file + QLatin1Char('_') +
                                 language.replace(QLatin1Char('-'), QLatin1Char('_')),
                             folder))
            return translator;
        delete translator;
    }
    return nullptr;
}

// The texts built in the folders without Qt go through the application's translators too.
std::string translated(const char* context, const char* text, const char* comment, int n) {
    return QCoreApplication::translate(context, text, comment, n).toStdString();
}

} // namespace

void installTranslations(const QLocale& locale) {
    if (QCoreApplication::instance() == nullptr)
        return;
    const QStringList languages = locale.uiLanguages();
    QTranslator* own =
        loaded(languages, QStringLiteral("toppeek"), QString::fromLatin1(kOwnTranslations));
    // Qt's own texts (the standard buttons, the context menus of text fields) only in the language
    // the program speaks, so that a window never mixes two languages.
    QTranslator* qt = nullptr;
    if (own != nullptr)
        qt = loaded({own->language()}, QStringLiteral("qtbase"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    replace(gQt, qt);
    replace(gOwn, own);
    core::setTranslator(translated);
}

} // namespace toppeek::shell
