#include "core/Calendar.h"

#include <ctime>

namespace toppeek::core {

int dayNumber(int day, int month, int year) {
    if (day == 0 && month == 0 && year == 0)
        return 0;
    // Wide arithmetic: a nonsense year from a mail header must not overflow.
    const long long m = static_cast<long long>(month) + 9;
    const long long y = year + m / 12 + 399;
    const long long r = m % 12;
    const long long result = 365 * y + y / 4 - y / 100 + y / 400 + (153 * r + 2) / 5 + day - 146037;
    return static_cast<int>(result);
}

int weekdayOf(int dayNumber) {
    const long long w = (static_cast<long long>(dayNumber) + 5) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

int todayNumber() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return 0;
    return dayNumber(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

} // namespace toppeek::core
