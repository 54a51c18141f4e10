// Builds message entries and lists for the messages tests.
#pragma once

#include "messages/MessageList.h"

#include <memory>
#include <optional>
#include <string>

inline toppeek::messages::MessageEntry* addEntry(toppeek::messages::MessageList& list,
                                                 std::optional<std::string> from,
                                                 std::optional<std::string> subject = std::nullopt,
                                                 std::optional<std::string> to = std::nullopt) {
    auto entry = std::make_unique<toppeek::messages::MessageEntry>();
    entry->from = std::move(from);
    entry->subject = std::move(subject);
    entry->to = std::move(to);
    entry->messageNumber = list.count() + 1;
    list.append(entry.get());
    return entry.release();
}
