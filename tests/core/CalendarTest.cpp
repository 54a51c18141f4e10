#include "core/Calendar.h"

#include <gtest/gtest.h>

#include <ctime>

using toppeek::core::dayNumber;
using toppeek::core::todayNumber;
using toppeek::core::weekdayOf;

namespace {

TEST(DayNumber, CountsConsecutiveDaysAcrossMonthsYearsAndLeapDays) {
    EXPECT_EQ(dayNumber(0, 0, 0), 0);
    EXPECT_EQ(dayNumber(1, 1, 2000), 730486);
    EXPECT_EQ(weekdayOf(dayNumber(1, 1, 2000)), 6);
    EXPECT_EQ(dayNumber(29, 2, 2000) + 1, dayNumber(1, 3, 2000));
    EXPECT_EQ(dayNumber(28, 2, 2000) + 1, dayNumber(29, 2, 2000));
    // 1900 and 2100 are not leap years; 2024 is.
    EXPECT_EQ(dayNumber(28, 2, 1900) + 1, dayNumber(1, 3, 1900));
    EXPECT_EQ(dayNumber(28, 2, 2100) + 1, dayNumber(1, 3, 2100));
    EXPECT_EQ(dayNumber(1, 3, 2024) - dayNumber(28, 2, 2024), 2);
    EXPECT_EQ(dayNumber(31, 12, 1999) + 1, dayNumber(1, 1, 2000));
    EXPECT_EQ(dayNumber(1, 1, 2001) - dayNumber(1, 1, 2000), 366);
    EXPECT_EQ(dayNumber(1, 1, 2002) - dayNumber(1, 1, 2001), 365);
    EXPECT_EQ(dayNumber(1, 1, 1), 1 + 366);

    EXPECT_EQ(weekdayOf(dayNumber(7, 12, 2026)), 1); // a Monday
    EXPECT_EQ(weekdayOf(dayNumber(1, 1, 1970)), 4);  // a Thursday
    EXPECT_GE(weekdayOf(-12), 0);
    // Nonsense dates from a mail header do not overflow.
    (void)dayNumber(31, 12, 2000000000);
}

TEST(DayNumber, TodayIsTheLocalDate) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int expected = dayNumber(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
    const int today = todayNumber();
    // The date may turn over between the two readings.
    EXPECT_TRUE(today == expected || today == expected + 1);
}

} // namespace
