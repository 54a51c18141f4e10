// Bringing a list up to date from the server's unique-ids, and carrying the user's marks over to a
// list read again in full.
#include "messages/ListUpdate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace toppeek::messages;

namespace {

MessageEntry* add(MessageList& list, std::uint16_t tag, int number, const std::string& uniqueId,
                  MarkState mark = MarkState::Unmarked) {
    auto entry = std::make_unique<MessageEntry>();
    entry->accountTag = tag;
    entry->messageNumber = number;
    entry->uniqueId = uniqueId;
    entry->headerText = "Subject: " + uniqueId + "\r\n";
    entry->size = 100 + number;
    entry->mark = mark;
    MessageEntry* kept = entry.get();
    list.append(entry.release());
    return kept;
}

std::vector<std::string> ids(const MessageList& list) {
    std::vector<std::string> all;
    for (const MessageEntry* entry : list)
        all.push_back(std::to_string(entry->accountTag) + ":" + entry->uniqueId + "#" +
                      std::to_string(entry->messageNumber));
    return all;
}

} // namespace

// A mixed list: account 1's messages are renumbered, its gone and shared ones leave, what it
// lacks is read and joins behind its last entry; account 2 is not touched.
TEST(ListUpdate, MergesOneAccountOfAMixedList) {
    auto list = createMessageList();
    add(*list, 1, 1, "a");
    add(*list, 1, 2, "b", MarkState::MarkedForDelete);
    add(*list, 1, 3, "s"); // its unique-id is now given to two messages
    add(*list, 2, 1, "a"); // the same unique-id on another account
    add(*list, 1, 4, "c");
    // a went, b and c moved up, s is shared by 3 and 5, d and e arrived; e lies past toList.
    const UniqueIdMap now = {{1, "b"}, {2, "c"}, {3, "s"}, {4, "d"}, {5, "s"}, {6, "e"}};
    EXPECT_EQ(numbersNotListed(*list, 1, now, 5), (std::vector<long>{3, 4, 5}));

    std::vector<std::unique_ptr<MessageEntry>> arrived;
    for (auto [number, uniqueId] : {std::pair{3L, "s"}, {4L, "d"}, {5L, "s"}}) {
        arrived.push_back(std::make_unique<MessageEntry>());
        arrived.back()->accountTag = 1;
        arrived.back()->messageNumber = static_cast<std::int32_t>(number);
        arrived.back()->uniqueId = uniqueId;
    }
    std::vector<int> removed;
    std::vector<int> inserted;
    EXPECT_EQ(mergeServerListing(
                  *list, 1, now, 5, std::move(arrived),
                  [&removed](int index) { removed.push_back(index); },
                  [&inserted](int index) { inserted.push_back(index); }),
              3);
    EXPECT_EQ(removed, (std::vector<int>{0, 1}));
    EXPECT_EQ(inserted, (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(ids(*list),
              (std::vector<std::string>{"1:b#1", "2:a#1", "1:c#2", "1:s#3", "1:d#4", "1:s#5"}));
    EXPECT_EQ(list->at(0)->mark, MarkState::MarkedForDelete);
}

// Read again in full without unique-ids: each message takes over its mark, its reason and the
// text already read from the earlier entry with the same size and header block, once.
TEST(ListUpdate, CarriesMarksOverToAListReadAgain) {
    auto earlier = createMessageList();
    MessageEntry* twin = add(*earlier, 1, 1, "twin", MarkState::MarkedForDelete);
    twin->markReason = "Marked by hand";
    twin->body = "read before";
    twin->bodyLoaded = true;
    add(*earlier, 1, 2, "twin"); // the same header and size, unmarked
    add(*earlier, 2, 3, "other", MarkState::MarkedForDelete);

    auto fresh = createMessageList();
    add(*fresh, 1, 1, "twin");
    add(*fresh, 1, 1, "twin");  // sizes as the first: only one of them takes the mark
    add(*fresh, 1, 3, "other"); // another account's message, though it reads the same
    carryOverState(*earlier, 1, *fresh);
    EXPECT_EQ(fresh->at(0)->mark, MarkState::MarkedForDelete);
    EXPECT_EQ(fresh->at(0)->markReason, "Marked by hand");
    EXPECT_EQ(fresh->at(0)->body, "read before");
    EXPECT_EQ(fresh->at(1)->mark, MarkState::Unmarked);
    EXPECT_EQ(fresh->at(2)->mark, MarkState::Unmarked);

    std::vector<int> removed;
    replaceAccountEntries(*earlier, 1, *fresh, [&removed](int index) { removed.push_back(index); });
    EXPECT_EQ(removed, (std::vector<int>{0, 0}));
    EXPECT_EQ(fresh->count(), 0);
    EXPECT_EQ(ids(*earlier),
              (std::vector<std::string>{"1:twin#1", "1:twin#1", "1:other#3", "2:other#3"}));
}
