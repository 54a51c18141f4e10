#include "messages/ListUpdate.h"

#include <climits>
#include <string_view>
#include <unordered_map>

namespace toppeek::messages {

namespace {

// Each unique-id's number among the first toList, or 0 when it stands for several messages of
// the mailbox (counted over the whole mailbox, as the check counts them).
std::unordered_map<std::string_view, long> numbersByUniqueId(const UniqueIdMap& uniqueIds,
                                                             long toList) {
    std::unordered_map<std::string_view, long> numbers;
    std::unordered_map<std::string_view, int> uses;
    for (const auto& [number, uniqueId] : uniqueIds)
        ++uses[uniqueId];
    for (const auto& [number, uniqueId] : uniqueIds)
        if (number >= 1 && number <= toList)
            numbers.emplace(uniqueId, uses[uniqueId] == 1 ? number : 0);
    return numbers;
}

bool ownEntry(const MessageEntry& entry, std::uint16_t accountTag) {
    return entry.accountTag == accountTag && !entry.uniqueId.empty() && !entry.uniqueIdShared;
}

} // namespace

std::vector<long> numbersNotListed(const MessageList& list, std::uint16_t accountTag,
                                   const UniqueIdMap& uniqueIds, long toList) {
    const auto numbers = numbersByUniqueId(uniqueIds, toList);
    std::unordered_map<std::string_view, bool> listed;
    for (const MessageEntry* entry : list)
        if (ownEntry(*entry, accountTag))
            listed.emplace(entry->uniqueId, true);
    std::vector<long> missing;
    for (const auto& [number, uniqueId] : uniqueIds) {
        if (number < 1 || number > toList)
            continue;
        if (numbers.at(uniqueId) == 0 || !listed.contains(uniqueId))
            missing.push_back(number);
    }
    return missing;
}

namespace {

// Puts entries behind the account's last entry, or at the end; true unless the list is full.
int insertBehindAccount(MessageList& list, std::uint16_t accountTag,
                        std::vector<std::unique_ptr<MessageEntry>>& entries, int at,
                        const ListChanged& onInserted) {
    if (at < 0) {
        at = list.count();
        for (int i = list.count() - 1; i >= 0; --i)
            if (list.at(i)->accountTag == accountTag) {
                at = i + 1;
                break;
            }
    }
    int inserted = 0;
    for (std::unique_ptr<MessageEntry>& entry : entries) {
        if (!entry || list.insertAt(at, entry.get()) < 0)
            continue;
        entry.release();
        if (onInserted)
            onInserted(at);
        ++at;
        ++inserted;
    }
    return inserted;
}

// Takes out the account's entries for which keep says no, calling onRemoved; the index the
// first of the account's entries had, or -1.
template <class Keep>
int removeEntries(MessageList& list, std::uint16_t accountTag, Keep keep,
                  const ListChanged& onRemoved) {
    int first = -1;
    for (int i = 0; i < list.count(); ++i) {
        MessageEntry* entry = list.at(i);
        if (entry->accountTag != accountTag)
            continue;
        if (first < 0)
            first = i;
        if (keep(*entry))
            continue;
        list.removeAt(i);
        destroyMessageEntry(entry);
        if (onRemoved)
            onRemoved(i);
        --i;
    }
    return first;
}

} // namespace

int mergeServerListing(MessageList& list, std::uint16_t accountTag, const UniqueIdMap& uniqueIds,
                       long toList, std::vector<std::unique_ptr<MessageEntry>> arrived,
                       const ListChanged& onRemoved, const ListChanged& onInserted) {
    const auto numbers = numbersByUniqueId(uniqueIds, toList);
    std::unordered_map<std::string_view, bool> kept;
    removeEntries(
        list, accountTag,
        [&](MessageEntry& entry) {
            auto found = ownEntry(entry, accountTag) ? numbers.find(entry.uniqueId) : numbers.end();
            // A second entry for one message would have it listed twice.
            if (found == numbers.end() || found->second == 0 || kept.contains(entry.uniqueId))
                return false;
            kept.emplace(entry.uniqueId, true);
            entry.messageNumber = static_cast<std::int32_t>(std::min<long>(found->second, INT_MAX));
            return true;
        },
        onRemoved);
    return insertBehindAccount(list, accountTag, arrived, -1, onInserted);
}

void carryOverState(const MessageList& earlier, std::uint16_t accountTag, MessageList& fresh) {
    std::unordered_multimap<std::string_view, const MessageEntry*> byHeader;
    for (const MessageEntry* entry : earlier)
        if (entry->accountTag == accountTag)
            byHeader.emplace(entry->headerText, entry);
    for (MessageEntry* entry : fresh) {
        auto [first, last] = byHeader.equal_range(entry->headerText);
        for (auto it = first; it != last; ++it) {
            const MessageEntry& old = *it->second;
            if (old.size != entry->size)
                continue;
            entry->mark = old.mark;
            entry->markReason = old.markReason;
            entry->body = old.body;
            entry->bodyLoaded = old.bodyLoaded;
            byHeader.erase(it);
            break;
        }
    }
}

void replaceAccountEntries(MessageList& list, std::uint16_t accountTag, MessageList& fresh,
                           const ListChanged& onRemoved, const ListChanged& onInserted) {
    const int first = removeEntries(
        list, accountTag, [](const MessageEntry&) { return false; }, onRemoved);
    std::vector<std::unique_ptr<MessageEntry>> entries;
    for (MessageEntry* entry : fresh)
        entries.emplace_back(entry);
    while (fresh.count() > 0)
        fresh.removeAt(fresh.count() - 1);
    insertBehindAccount(list, accountTag, entries, first, onInserted);
}

} // namespace toppeek::messages
