#include "messages/MessageEntry.h"

#include "core/Ascii.h"
#include "core/Text.h"
#include "messages/MailText.h"

#include <cstring>

namespace toppeek::messages {

using core::compareNoCase;
using core::findAfter;
using core::isAsciiBlank;
using core::isAsciiSpace;

namespace {

// Reads one physical line of a field value from cursor: leading blanks are
// skipped, the line must end with CR within the length limit. On success
// the cursor stands behind the CR and the LF that follows it.
bool readValueLine(std::string_view text, std::size_t& cursor, std::string& line) {
    while (cursor < text.size() && isAsciiBlank(text[cursor]))
        ++cursor;
    const std::size_t start = cursor;
    while (cursor < text.size() && text[cursor] != '\r' &&
           cursor - start < static_cast<std::size_t>(maxHeaderValueLength))
        ++cursor;
    if (cursor >= text.size() || text[cursor] != '\r')
        return false;
    line.assign(text.substr(start, cursor - start));
    // Step over CR LF, but never past the end of a block whose last byte
    // is a lone CR.
    cursor = std::min(cursor + 2, text.size());
    return true;
}

// The joined value of a folded field: lines joined with one space, the
// whole cut to the same limit as one physical line.
void appendFoldedLine(std::string& value, const std::string& line) {
    if (line.empty())
        return;
    while (!value.empty() && isAsciiBlank(value.back()))
        value.pop_back();
    if (!value.empty())
        value += ' ';
    value += line;
    if (value.size() > static_cast<std::size_t>(maxHeaderValueLength))
        value.resize(maxHeaderValueLength);
}

bool namesEqual(const std::string& found, const char* wanted) {
    // A zero byte inside the found name must not make it a prefix match.
    return std::strlen(found.c_str()) == found.size() && compareNoCase(found.c_str(), wanted) == 0;
}

} // namespace

bool findHeaderField(const char* name, std::string_view text, std::string& value) {
    value.clear();
    std::size_t cursor = 0;
    std::string fieldName;
    std::string line;
    std::string fieldValue;
    for (;;) {
        // Line ends do not stop a name: a line without a colon runs on into
        // the next and the combined name matches nothing.
        const std::size_t start = cursor;
        while (cursor < text.size() && text[cursor] != ':' &&
               cursor - start < static_cast<std::size_t>(maxHeaderNameLength))
            ++cursor;
        if (cursor >= text.size() || text[cursor] != ':')
            return false;
        fieldName.assign(text.substr(start, cursor - start));
        ++cursor;

        if (!readValueLine(text, cursor, line))
            return false;
        fieldValue = line;
        while (cursor < text.size() && isAsciiBlank(text[cursor])) {
            if (!readValueLine(text, cursor, line))
                return false;
            appendFoldedLine(fieldValue, line);
        }

        if (namesEqual(fieldName, name)) {
            // A NUL is kept like any other byte: the list and the viewer show it the same way,
            // and what follows it is no less part of the value.
            std::string_view trimmed(fieldValue);
            while (!trimmed.empty() && isAsciiSpace(trimmed.front()))
                trimmed.remove_prefix(1);
            while (!trimmed.empty() && isAsciiSpace(trimmed.back()))
                trimmed.remove_suffix(1);
            value.assign(trimmed);
            return true;
        }
    }
}

std::unique_ptr<MessageEntry> createMessageEntry(std::string_view text) {
    auto entry = std::make_unique<MessageEntry>();
    std::string value;
    if (findHeaderField("Date", text, value) && !parseMailDate(value, entry->date))
        setMailDateToNow(entry->date);
    if (findHeaderField("To", text, value))
        entry->to = value;
    if (findHeaderField("From", text, value))
        entry->from = value;
    if (findHeaderField("Subject", text, value))
        entry->subject = value;
    entry->headerText.assign(text);
    // Most fields read as they are stored: those keep no second copy.
    auto decoded = [](const std::optional<std::string>& value) {
        if (!value)
            return std::string();
        std::string text = decodeHeaderText(*value);
        return text == *value ? std::string() : text;
    };
    entry->shown = MessageEntry::ShownFields{decoded(entry->to), decoded(entry->from),
                                             decoded(entry->subject)};
    return entry;
}

std::string_view shownText(const MessageEntry& entry, ShownField field, std::string& scratch) {
    const std::optional<std::string>& raw = field == ShownField::To     ? entry.to
                                            : field == ShownField::From ? entry.from
                                                                        : entry.subject;
    if (entry.shown) {
        const std::string& kept = field == ShownField::To     ? entry.shown->to
                                  : field == ShownField::From ? entry.shown->from
                                                              : entry.shown->subject;
        if (!kept.empty() || !raw)
            return kept;
        return *raw;
    }
    scratch = raw ? decodeHeaderText(*raw) : std::string();
    return scratch;
}

void destroyMessageEntry(MessageEntry* entry) {
    delete entry;
}

int findBodyStart(std::string_view text) {
    const int length = static_cast<int>(text.size());
    if (int after = findAfter(text.data(), length, "\r\n\r\n", 4))
        return after;
    if (int after = findAfter(text.data(), length, "\n\n", 2))
        return after;
    return -1;
}

} // namespace toppeek::messages
