// The message list: the entries of the mailbox read last, in display order,
// and the operations on the whole list (counting, marking, sorting).
#pragma once

#include "core/GrowArray.h"
#include "messages/MessageEntry.h"

#include <memory>
#include <optional>
#include <string>

namespace toppeek::messages {

// Owns its entries (released with destroyMessageEntry).
using MessageList = core::GrowArray<MessageEntry>;

enum class SortKey : int { ByTo = 0, ByFrom = 1, BySubject = 2, BySize = 3, ByDate = 4 };

// An empty list: initial capacity 10, growth 5, owning its entries.
std::unique_ptr<MessageList> createMessageList();

// Number of entries whose mark is not Unmarked.
int countMarked(const MessageList& list);

// The first position holding that very entry, or -1.
int indexOfEntry(const MessageList& list, const MessageEntry* entry);

void setBodyLoadedAll(MessageList& list, bool value);

// Sorts in place with the list's Shell sort. To, From and Subject compare as
// the list shows them (decoded, UTF-8), byte-wise and case-sensitively, an
// absent text as the empty text; sizes as signed
// numbers; dates with compareMailDate. Equal keys keep no particular order.
// A key outside the five values leaves the list as it is. Always true.
bool sortMessages(MessageList& list, SortKey key, bool ascending);

// Sets the mark of every entry whose From or Subject, as stored or as shown,
// matches pattern and returns how many were set; other entries keep their
// marks.
// The entries set say that the group text set their mark.
int markGroup(MessageList& list, const std::string& pattern, MarkState value);

// A pattern with '*' must describe the whole text (matchWildcard); any other
// pattern is searched for anywhere in the text. Both ASCII
// case-insensitive. An absent text or pattern never matches.
bool groupPatternMatches(const std::optional<std::string>& text,
                         const std::optional<std::string>& pattern);

} // namespace toppeek::messages
