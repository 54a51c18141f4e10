// The program's texts in the user's language: its own translations, built into the program,
// and Qt's for the standard buttons and dialogs.
#pragma once

#include <QLocale>

namespace toppeek::shell {

// Installs the translations for locale into the running application: the desktop's language
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) by default. Where there is no translation for it, or
// none of a language after the first in LANGUAGE, the texts stay English. Installing again
// replaces the translations installed before.
void installTranslations(const QLocale& locale = QLocale());

} // namespace toppeek::shell
