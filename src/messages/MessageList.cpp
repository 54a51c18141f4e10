#include "messages/MessageList.h"

#include "core/Text.h"
#include "core/TextList.h"
#include "messages/MailText.h"

namespace toppeek::messages {

using core::compareBytes;
using core::findText;
using core::matchWildcard;

namespace {

// Compares what the list shows for field, byte-wise on the UTF-8 text.
int compareShown(const MessageEntry& a, const MessageEntry& b, ShownField field) {
    std::string scratchA;
    std::string scratchB;
    return compareBytes(shownText(a, field, scratchA), shownText(b, field, scratchB));
}

int compareSizes(std::int32_t a, std::int32_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

} // namespace

std::unique_ptr<MessageList> createMessageList() {
    return std::make_unique<MessageList>(10, 5, destroyMessageEntry);
}

int countMarked(const MessageList& list) {
    int marked = 0;
    for (const MessageEntry* entry : list)
        if (entry->mark != MarkState::Unmarked)
            ++marked;
    return marked;
}

int indexOfEntry(const MessageList& list, const MessageEntry* entry) {
    for (int i = 0; i < list.count(); ++i)
        if (list.at(i) == entry)
            return i;
    return -1;
}

void setBodyLoadedAll(MessageList& list, bool value) {
    for (MessageEntry* entry : list)
        entry->bodyLoaded = value;
}

bool sortMessages(MessageList& list, SortKey key, bool ascending) {
    switch (key) {
    case SortKey::ByTo:
        list.sort([](const MessageEntry& a,
                     const MessageEntry& b) { return compareShown(a, b, ShownField::To); },
                  ascending);
        break;
    case SortKey::ByFrom:
        list.sort([](const MessageEntry& a,
                     const MessageEntry& b) { return compareShown(a, b, ShownField::From); },
                  ascending);
        break;
    case SortKey::BySubject:
        list.sort([](const MessageEntry& a,
                     const MessageEntry& b) { return compareShown(a, b, ShownField::Subject); },
                  ascending);
        break;
    case SortKey::BySize:
        list.sort([](const MessageEntry& a,
                     const MessageEntry& b) { return compareSizes(a.size, b.size); },
                  ascending);
        break;
    case SortKey::ByDate:
        list.sort([](const MessageEntry& a,
                     const MessageEntry& b) { return compareMailDate(a.date, b.date); },
                  ascending);
        break;
    }
    return true;
}

bool groupPatternMatches(const std::optional<std::string>& text,
                         const std::optional<std::string>& pattern) {
    if (!text || !pattern)
        return false;
    if (pattern->find('*') != std::string::npos)
        return matchWildcard(text->c_str(), pattern->c_str());
    return findText(text->c_str(), pattern->c_str(), false) >= 0;
}

int markGroup(MessageList& list, const std::string& pattern, MarkState value) {
    const std::optional<std::string> wanted = pattern;
    int marked = 0;
    for (MessageEntry* entry : list) {
        // As stored, or as the list shows it.
        std::string scratch;
        const auto shownMatches = [&](ShownField field) {
            const std::optional<std::string>& stored =
                field == ShownField::From ? entry->from : entry->subject;
            if (!stored)
                return false; // an absent text never matches
            const std::string_view shown = shownText(*entry, field, scratch);
            return shown != *stored && groupPatternMatches(std::string(shown), wanted);
        };
        if (groupPatternMatches(entry->from, wanted) ||
            groupPatternMatches(entry->subject, wanted) || shownMatches(ShownField::From) ||
            shownMatches(ShownField::Subject)) {
            entry->mark = value;
            entry->markReason = (value == MarkState::Unmarked ? "Unmarked by group text: "
                                                              : "Marked by group text: ") +
                                utf8FromBytes(pattern);
            ++marked;
        }
    }
    return marked;
}

} // namespace toppeek::messages
