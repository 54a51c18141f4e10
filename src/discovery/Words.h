// The words the settings search and the account test say to the user, in the user's language.
// Both run on a helper thread; Qt's translation look-up is safe there, and where no translation
// is installed (the tests, an English desktop) the English sources are said.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <string>

namespace toppeek::discovery {

// The translation contexts.
class SearchWords {
    Q_DECLARE_TR_FUNCTIONS(toppeek::discovery::SearchWords)
};
class TestWords {
    Q_DECLARE_TR_FUNCTIONS(toppeek::discovery::TestWords)
};

// A translated text with its %1, %2, ... replaced by arguments, as UTF-8.
template <typename... Arguments>
std::string words(const QString& text, const Arguments&... arguments) {
    if constexpr (sizeof...(arguments) == 0)
        return text.toStdString();
    else
        return text.arg(QString::fromStdString(std::string(arguments))...).toStdString();
}

} // namespace toppeek::discovery
