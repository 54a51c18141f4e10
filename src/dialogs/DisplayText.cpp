#include "dialogs/DisplayText.h"

#include "messages/MailText.h"

#include <cstdio>

namespace toppeek::dialogs {

using messages::utf8FromBytes;

std::string formatBounded(int size, const char* format, va_list args, bool* cut) {
    if (cut != nullptr)
        *cut = false;
    if (size <= 0 || format == nullptr)
        return {};
    std::string buffer(static_cast<std::size_t>(size), '\0');
    int length = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    if (length < 0)
        return {};
    if (cut != nullptr)
        *cut = static_cast<std::size_t>(length) >= buffer.size();
    buffer.resize(std::min(static_cast<std::size_t>(length), buffer.size() - 1));
    return buffer;
}

namespace {

QString shown(std::string_view bytes, bool mayBeCut, messages::LineBreaks breaks) {
    const std::string text = messages::safeToShow(utf8FromBytes(bytes, mayBeCut), breaks);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString displayText(std::string_view bytes, bool mayBeCut) {
    return shown(bytes, mayBeCut, messages::LineBreaks::Kept);
}

QString displayLine(std::string_view bytes, bool mayBeCut) {
    return shown(bytes, mayBeCut, messages::LineBreaks::AsSpace);
}

QString displayText(const char* text) {
    return text == nullptr ? QString() : displayText(std::string_view(text));
}

} // namespace toppeek::dialogs
