#include "core/Translation.h"

#include <atomic>
#include <vector>

namespace toppeek::core {

namespace {

// The settings search's helper thread may translate while the window's thread installs.
std::atomic<Translator> gTranslator{nullptr};

std::string english(const char* text, int n) {
    std::string result = text != nullptr ? text : "";
    if (n == -1)
        return result;
    const std::string count = std::to_string(n);
    for (std::size_t at = result.find("%n"); at != std::string::npos;
         at = result.find("%n", at + count.size()))
        result.replace(at, 2, count);
    return result;
}

} // namespace

void setTranslator(Translator translator) {
    gTranslator.store(translator);
}

std::string translate(const char* context, const char* text, const char* comment, int n) {
    if (const Translator translator = gTranslator.load())
        return translator(context, text, comment, n);
    return english(text, n);
}

std::string filled(std::string_view text, std::initializer_list<std::string_view> arguments) {
    const std::vector<std::string_view> given(arguments);
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(text[i + 1] - '1');
            if (index < given.size()) {
                result += given[index];
                ++i;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

} // namespace toppeek::core
