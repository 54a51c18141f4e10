#include "core/ListCursor.h"

#include <gtest/gtest.h>

using toppeek::core::adjustIndex;

namespace {

TEST(AdjustIndex, ClampsIntoTheList) {
    int index = 4;
    EXPECT_TRUE(adjustIndex(index, 4, 2, 0));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(adjustIndex(index, 4, 2, 0));
    index = 2;
    EXPECT_TRUE(adjustIndex(index, 0, 2, 0));
    EXPECT_EQ(index, 0);
    index = 2;
    EXPECT_TRUE(adjustIndex(index, 10, 0, 5));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(adjustIndex(index, 10, 1, 0));
    EXPECT_EQ(index, 9);
    index = 5;
    EXPECT_TRUE(adjustIndex(index, 10, 2, -100));
    EXPECT_EQ(index, 0);
    index = 5;
    EXPECT_TRUE(adjustIndex(index, 10, 2, 2147483647));
    EXPECT_EQ(index, 9);
    index = -3;
    EXPECT_TRUE(adjustIndex(index, 10, 2, 1));
    EXPECT_EQ(index, 1);
}

} // namespace
