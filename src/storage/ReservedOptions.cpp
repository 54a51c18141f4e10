#include "storage/ReservedOptions.h"

#include "storage/Settings.h"

#include <algorithm>
#include <charconv>

namespace toppeek::storage {

namespace {

constexpr std::string_view kCheckEvery = "check-every";
constexpr std::string_view kTrayCloseExplained = "tray-close-explained";

// Calls visit(line, start) for each line of text; stops when it returns true.
template <typename Visit> void forEachLine(std::string_view text, Visit visit) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (visit(text.substr(start, end - start), start))
            return;
        start = end + 1;
    }
}

bool isLineOf(std::string_view line, std::string_view name) {
    return line.size() > name.size() && line.starts_with(name) && line[name.size()] == '=';
}

} // namespace

std::optional<std::string> reservedOption(std::string_view text, std::string_view name) {
    std::optional<std::string> value;
    forEachLine(text, [&](std::string_view line, std::size_t) {
        if (!isLineOf(line, name))
            return false;
        value = std::string(line.substr(name.size() + 1));
        return true;
    });
    return value;
}

bool setReservedOption(std::string& text, std::string_view name, std::string_view value,
                       std::size_t maxLength) {
    if (value.find('\n') != std::string_view::npos)
        return false;
    std::string line = std::string(name) + '=' + std::string(value);
    std::string result = text;
    bool replaced = false;
    forEachLine(text, [&](std::string_view old, std::size_t start) {
        if (!isLineOf(old, name))
            return false;
        result = text.substr(0, start) + line + text.substr(start + old.size());
        replaced = true;
        return true;
    });
    if (!replaced) {
        if (!result.empty() && result.back() != '\n')
            result += '\n';
        result += line;
    }
    if (result.size() > maxLength)
        return false;
    text = std::move(result);
    return true;
}

void removeReservedOption(std::string& text, std::string_view name) {
    std::string result;
    forEachLine(text, [&](std::string_view line, std::size_t) {
        if (!isLineOf(line, name)) {
            result += line;
            result += '\n';
        }
        return false;
    });
    // The last line had no line break unless the text ended with one.
    if (!result.empty() && !text.ends_with('\n'))
        result.pop_back();
    text = std::move(result);
}

int checkIntervalMinutes(const Settings& settings) {
    const std::optional<std::string> text = reservedOption(settings.reservedText1, kCheckEvery);
    if (!text)
        return 0;
    int minutes = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), minutes);
    if (error != std::errc() || end != text->data() + text->size() || minutes < 0 ||
        minutes > kMaxCheckIntervalMinutes)
        return 0;
    return minutes;
}

bool setCheckIntervalMinutes(Settings& settings, int minutes) {
    minutes = std::clamp(minutes, 0, kMaxCheckIntervalMinutes);
    return setReservedOption(settings.reservedText1, kCheckEvery, std::to_string(minutes),
                             Settings::kMaxReservedText1Length);
}

bool trayCloseExplained(const Settings& settings) {
    return reservedOption(settings.reservedText1, kTrayCloseExplained) == "1";
}

void setTrayCloseExplained(Settings& settings) {
    setReservedOption(settings.reservedText1, kTrayCloseExplained, "1",
                      Settings::kMaxReservedText1Length);
}

} // namespace toppeek::storage
