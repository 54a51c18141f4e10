// Day numbers: the calendar arithmetic behind message dates and the days
// between two update checks.
#pragma once

namespace toppeek::core {

// A running day count (consecutive days give consecutive numbers); 0 for
// the all-zero date, which stands for "no date".
int dayNumber(int day, int month, int year);

// 0 = Sunday ... 6 = Saturday.
int weekdayOf(int dayNumber);

// dayNumber of today's local date.
int todayNumber();

} // namespace toppeek::core
