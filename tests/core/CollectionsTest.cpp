#include "core/GrowArray.h"
#include "core/Memory.h"
#include "core/TextList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

using namespace toppeek::core;

// The sanitizer's allocator would end the program with its own report
// where an allocation fails; the tests need the failure to reach the code.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

// Items that record when they are released.
struct Tracked {
    int id;
};

struct ReleaseLog {
    std::vector<int> released;
    GrowArray<Tracked>::FreeItem freeItem() {
        return [this](Tracked* item) {
            released.push_back(item->id);
            delete item;
        };
    }
};

std::vector<int> ids(const GrowArray<Tracked>& array) {
    std::vector<int> result;
    for (Tracked* item : array)
        result.push_back(item->id);
    return result;
}

TEST(GrowArray, StartsWithAtLeastTwoSlotsAndGrowsByGrowBy) {
    GrowArray<Tracked> a(0, 0);
    EXPECT_EQ(a.capacity(), 2);
    EXPECT_EQ(a.growBy(), 1);
    Tracked items[30];
    EXPECT_EQ(a.append(&items[0]), 0);
    EXPECT_EQ(a.capacity(), 2);
    EXPECT_EQ(a.append(&items[1]), 1);
    EXPECT_EQ(a.capacity(), 3); // never fills the last slot, grows by one

    GrowArray<Tracked> b(20, 5);
    for (int i = 0; i < 19; ++i)
        b.append(&items[i]);
    EXPECT_EQ(b.capacity(), 20);
    b.append(&items[19]);
    EXPECT_EQ(b.capacity(), 25); // the 20th item: +5, not doubled
    for (int i = 20; i < 24; ++i)
        b.append(&items[i]);
    EXPECT_EQ(b.capacity(), 25);
    b.append(&items[24]);
    EXPECT_EQ(b.capacity(), 30);
    EXPECT_EQ(b.count(), 25);

    b.reserve(100);
    EXPECT_EQ(b.capacity(), 100);
    b.reserve(3);
    EXPECT_EQ(b.capacity(), 25); // never below count
    EXPECT_EQ(b.at(24), &items[24]);
}

TEST(GrowArray, RefusesPositionsOutsideTheArray) {
    GrowArray<Tracked> a(2, 1);
    Tracked x{1}, y{2}, z{3};
    EXPECT_EQ(a.insertAt(1, &x), -1);
    EXPECT_EQ(a.insertAt(-1, &x), -1);
    EXPECT_EQ(a.count(), 0);
    EXPECT_EQ(a.at(0), nullptr);
    EXPECT_FALSE(a.removeAt(0));
    EXPECT_FALSE(a.replaceAt(0, &x));

    EXPECT_EQ(a.insertAt(0, &x), 0);
    EXPECT_EQ(a.insertAt(0, &y), 0);
    EXPECT_EQ(a.insertAt(1, &z), 1);
    EXPECT_EQ(ids(a), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(a.insertAt(4, &x), -1);
    EXPECT_EQ(a.at(3), nullptr);
    EXPECT_EQ(a.at(-1), nullptr);
    EXPECT_FALSE(a.removeAt(3));
    EXPECT_FALSE(a.replaceAt(-1, &x));
    EXPECT_TRUE(a.removeAt(1));
    EXPECT_EQ(ids(a), (std::vector<int>{2, 1}));
    EXPECT_EQ(GrowArray<Tracked>::maxCapacity, 1073741819);
}

TEST(GrowArray, ReleasesOnClearDestroyAndReplaceButNotOnRemove) {
    ReleaseLog log;
    {
        GrowArray<Tracked> a(2, 1, log.freeItem());
        for (int id = 1; id <= 4; ++id)
            a.append(new Tracked{id});

        // removeAt hands the item back unreleased.
        Tracked* second = a.at(1);
        EXPECT_TRUE(a.removeAt(1));
        EXPECT_TRUE(log.released.empty());
        delete second;

        // replaceAt releases exactly the old item, once.
        EXPECT_TRUE(a.replaceAt(0, new Tracked{10}));
        EXPECT_EQ(log.released, (std::vector<int>{1}));
        // Putting back the same item must not release it.
        EXPECT_TRUE(a.replaceAt(0, a.at(0)));
        EXPECT_EQ(log.released, (std::vector<int>{1}));

        // clear releases every item in index order; the capacity stays.
        const int capacity = a.capacity();
        a.clear();
        EXPECT_EQ(log.released, (std::vector<int>{1, 10, 3, 4}));
        EXPECT_EQ(a.count(), 0);
        EXPECT_EQ(a.capacity(), capacity);

        a.append(new Tracked{7});
        a.append(new Tracked{8});
        std::unique_ptr<Tracked> taken = a.takeAt(0);
        EXPECT_EQ(taken->id, 7);
        a.append(new Tracked{9});
        log.released.clear();
    }
    // Destroying releases what is left, in index order.
    EXPECT_EQ(log.released, (std::vector<int>{8, 9}));

    // Without a release function the items are left alone.
    Tracked kept{5};
    {
        GrowArray<Tracked> plain(2, 1);
        plain.append(&kept);
        plain.replaceAt(0, &kept);
        plain.clear();
        plain.append(&kept);
    }
    EXPECT_EQ(kept.id, 5);
}

int compareTexts(const std::string& a, const std::string& b) {
    return compareBytes(a, b);
}

std::vector<std::string> sorted(std::vector<std::string> texts, bool ascending) {
    GrowArray<std::string> a(2, 1, GrowArray<std::string>::deleter());
    for (auto& text : texts)
        a.append(new std::string(text));
    a.sort(compareTexts, ascending);
    std::vector<std::string> result;
    for (const std::string* text : a)
        result.push_back(*text);
    return result;
}

TEST(GrowArray, ShellSortOrdersBothWays) {
    EXPECT_EQ(sorted({"b", "a", "c", "a"}, true), (std::vector<std::string>{"a", "a", "b", "c"}));
    EXPECT_EQ(sorted({"b", "a", "c", "a"}, false), (std::vector<std::string>{"c", "b", "a", "a"}));
    EXPECT_TRUE(sorted({}, true).empty());

    // Enough items for every gap to take part.
    std::vector<std::string> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(std::to_string((i * 17) % 40 + 100));
    std::vector<std::string> expected = many;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted(many, true), expected);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(sorted(many, false), expected);
}

TEST(GrowArray, DescendingSortMovesEqualItemsInFrontOfEarlierOnes) {
    // The move condition for descending order is compare >= 0: of two
    // equal items the later one is moved in front.
    const auto byId = [](const Tracked& x, const Tracked& y) { return x.id - y.id; };
    GrowArray<Tracked> a(2, 1);
    Tracked first{1}, second{1}, low{0};
    a.append(&first);
    a.append(&second);
    a.sort(byId, false);
    EXPECT_EQ(a.at(0), &second);
    EXPECT_EQ(a.at(1), &first);
    // Ascending (compare < 0) leaves two equal neighbours where they are.
    a.sort(byId, true);
    EXPECT_EQ(a.at(0), &second);
    EXPECT_EQ(a.at(1), &first);
    // And the sort is not stable: gap 2 carries the low item over its
    // equal-keyed neighbours, changing their order.
    a.append(&low);
    a.sort(byId, true);
    EXPECT_EQ(a.at(0), &low);
    EXPECT_EQ(a.at(1), &first);
    EXPECT_EQ(a.at(2), &second);
}

TEST(TextList, KeepsByteOrderAndRefusesDuplicates) {
    TextList list(10, 5, false);
    EXPECT_EQ(list.add("b"), 0);
    EXPECT_EQ(list.add("B"), 0); // 'B' sorts before 'b'
    EXPECT_EQ(list.add("a"), 1);
    EXPECT_EQ(list.add("\xE9"), 3); // above every ASCII byte
    EXPECT_EQ(list.add("b"), -1);
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(*list.at(0), "B");
    EXPECT_EQ(*list.at(1), "a");
    EXPECT_EQ(*list.at(2), "b");
    EXPECT_EQ(list.find("b"), 2);
    EXPECT_EQ(list.find("c"), -1);
    EXPECT_EQ(list.find(""), -1);

    const TextList::Bound bound = list.lowerBound("ab");
    EXPECT_EQ(bound.index, 2);
    EXPECT_FALSE(bound.found);

    EXPECT_TRUE(list.removeAt(0));
    EXPECT_FALSE(list.removeAt(3));
    EXPECT_EQ(*list.at(0), "a");
    EXPECT_TRUE(list.replaceAt(0, "aa"));
    EXPECT_EQ(*list.at(0), "aa");
    EXPECT_FALSE(list.replaceAt(5, "x"));
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.at(0), nullptr);
    EXPECT_EQ(list.find("a"), -1);
}

TEST(TextList, DuplicatesGoInFrontOfTheirEquals) {
    TextList list(2, 1, true);
    for (const char* text : {"d", "b", "a"})
        list.add(text);
    EXPECT_EQ(list.add("b"), 1);
    EXPECT_EQ(list.count(), 4);
    EXPECT_EQ(list.find("b"), 1);
    EXPECT_EQ(list.find("d"), 3);
    EXPECT_TRUE(list.lowerBound("b").found);
    EXPECT_EQ(list.lowerBound("z").index, 4);
}

TEST(CompareBytes, ComparesUnsignedBytesAndShorterFirst) {
    EXPECT_EQ(compareBytes("abc", "abc"), 0);
    EXPECT_LT(compareBytes("ab", "abc"), 0);
    EXPECT_GT(compareBytes("abc", "ab"), 0);
    EXPECT_LT(compareBytes("B", "b"), 0);
    EXPECT_GT(compareBytes("\xE9", "z"), 0);
    EXPECT_EQ(compareBytes("", ""), 0);
}

TEST(Memory, AllocatesAndCopies) {
    void* block = allocOrExit(0);
    EXPECT_NE(block, nullptr);
    std::free(block);
    char* copy = dupOrExit("text");
    EXPECT_STREQ(copy, "text");
    std::free(copy);
    copy = dupOrExit(nullptr);
    EXPECT_STREQ(copy, "");
    std::free(copy);
}

using MemoryDeathTest = ::testing::Test;

TEST_F(MemoryDeathTest, RunningOutOfMemoryEndsTheProgramWithERM) {
    EXPECT_EXIT(exitOutOfMemory(), ::testing::ExitedWithCode(1), "ERM$");
    EXPECT_EXIT(
        {
            void* block = allocOrExit(static_cast<std::size_t>(-1) / 2);
            std::free(block);
        },
        ::testing::ExitedWithCode(1), "ERM$");
    EXPECT_EXIT(
        {
            installOutOfMemoryHandler();
            // The handler runs when operator new finds no memory.
            std::new_handler handler = std::get_new_handler();
            if (handler)
                handler();
        },
        ::testing::ExitedWithCode(1), "ERM$");
}

} // namespace
