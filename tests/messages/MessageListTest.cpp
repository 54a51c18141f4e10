#include "MessageTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace toppeek::messages;

namespace {

std::vector<int> order(const MessageList& list) {
    std::vector<int> numbers;
    for (const MessageEntry* entry : list)
        numbers.push_back(entry->messageNumber);
    return numbers;
}

TEST(MessageListSort, TextsMissingFirstUpperBeforeLower) {
    auto list = createMessageList();
    EXPECT_TRUE(sortMessages(*list, SortKey::ByTo, true));
    addEntry(*list, "x", "s", "bob");
    addEntry(*list, "x", "s", std::nullopt);
    addEntry(*list, "x", "s", "Zed");
    addEntry(*list, "x", "s", "bo");
    addEntry(*list, "x", "s", "\xE9t\xE9");
    sortMessages(*list, SortKey::ByTo, true);
    EXPECT_EQ(order(*list), (std::vector<int>{2, 3, 4, 1, 5}));
    sortMessages(*list, SortKey::ByTo, false);
    EXPECT_EQ(order(*list), (std::vector<int>{5, 1, 4, 3, 2}));
    sortMessages(*list, static_cast<SortKey>(9), true);
    EXPECT_EQ(order(*list), (std::vector<int>{5, 1, 4, 3, 2}));
}

TEST(MessageListSort, SizesAndDatesOverManyEntries) {
    auto list = createMessageList();
    for (int i = 0; i < 25; ++i) {
        MessageEntry* entry = addEntry(*list, "x");
        entry->size = (i * 7) % 25 - 3;
        if (i % 5 != 0)
            entry->date = MailDate{1, 1, static_cast<std::int16_t>(2000 + (i * 11) % 25),
                                   0, 0, static_cast<std::uint8_t>(i)};
    }
    sortMessages(*list, SortKey::BySize, true);
    for (int i = 1; i < list->count(); ++i)
        EXPECT_LT(list->at(i - 1)->size, list->at(i)->size);
    sortMessages(*list, SortKey::ByDate, true);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(list->at(i)->date, MailDate{}); // messages without a Date come first
    for (int i = 1; i < list->count(); ++i)
        EXPECT_LE(compareMailDate(list->at(i - 1)->date, list->at(i)->date), 0);
    sortMessages(*list, SortKey::ByDate, false);
    EXPECT_EQ(list->at(24)->date, MailDate{});
    for (int i = 1; i < list->count(); ++i)
        EXPECT_GE(compareMailDate(list->at(i - 1)->date, list->at(i)->date), 0);
}

TEST(MessageListMarks, CountFindAndBodies) {
    auto list = createMessageList();
    MessageEntry* a = addEntry(*list, "a");
    MessageEntry* b = addEntry(*list, "a");
    b->mark = MarkState::MarkedForDelete;
    a->bodyLoaded = true;
    EXPECT_EQ(countMarked(*list), 1);
    EXPECT_EQ(indexOfEntry(*list, b), 1);
    MessageEntry twin = *b;
    EXPECT_EQ(indexOfEntry(*list, &twin), -1);
    setBodyLoadedAll(*list, false);
    EXPECT_FALSE(a->bodyLoaded);
}

TEST(MessageListMarks, GroupPatterns) {
    const std::optional<std::string> none;
    auto yes = [](const char* text, const char* pattern) {
        return groupPatternMatches(std::string(text), std::string(pattern));
    };
    EXPECT_TRUE(yes("Offer-NOW", "*-now"));
    EXPECT_FALSE(yes("abc", "*b"));
    EXPECT_TRUE(yes("Last chance, buy now", "*now"));
    EXPECT_FALSE(yes("now or never, now", "*now")); // first occurrence only
    EXPECT_TRUE(yes("Weekly NEWSletter", "news"));
    EXPECT_TRUE(yes("anything", ""));
    EXPECT_FALSE(groupPatternMatches(none, std::string("x")));
    EXPECT_FALSE(groupPatternMatches(std::string("x"), none));

    auto list = createMessageList();
    addEntry(*list, "Sales <sales@shop.com>", "hello");
    addEntry(*list, "friend@home.org", "SALE ends today")->mark = MarkState::MarkedForDelete;
    addEntry(*list, "boss@work.com", "report")->mark = MarkState::MarkedForDelete;
    addEntry(*list, std::nullopt, std::nullopt);
    EXPECT_EQ(markGroup(*list, "sale", MarkState::MarkedForDelete), 2);
    EXPECT_EQ(countMarked(*list), 3);
    EXPECT_EQ(markGroup(*list, "sale", MarkState::Unmarked), 2);
    EXPECT_EQ(list->at(2)->mark, MarkState::MarkedForDelete);
    EXPECT_EQ(markGroup(*list, "", MarkState::MarkedForDelete), 3);
    EXPECT_EQ(list->at(3)->mark, MarkState::Unmarked);
}

} // namespace
