// The calendar date of a message's Date field, as written (no time zone is
// applied), and the parser for the textual layouts found in real mail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace toppeek::messages {

// All zero means the message had no Date field.
struct MailDate {
    std::uint8_t day = 0;
    std::uint8_t month = 0; // 1..12
    std::int16_t year = 0;  // full year
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;

    bool operator==(const MailDate&) const = default;
};

// "Sun" .. "Sat" (index 0 = Sunday) and "Jan" .. "Dec" (index i = month i + 1).
// Looked up byte-exactly: "FRI", "Friday" or "mar" are not names.
extern const char* const DayNames[7];
extern const char* const MonthNames[12];

// The longest token nextDateToken keeps; the rest of a longer run is dropped.
inline constexpr int maxDateTokenLength = 18;

// Reads the next run of letters, digits, '+' and '-' from text at position,
// keeping at most 18 characters of it, and leaves position just behind the
// run. Returns the token, empty when the text holds no further token.
std::string nextDateToken(const std::string& text, std::size_t& position);

// Tries the four layouts in order; true when one accepted the text. On false
// date holds partial values and the caller substitutes its own.
bool parseMailDate(const std::string& text, MailDate& date);

// The current local date and time.
void setMailDateToNow(MailDate& date);

// -1, 0 or 1 by year, month, day (compareDatePart), hour, minute, second
// (compareTimePart); compareMailDate takes the date part first.
int compareDatePart(const MailDate& a, const MailDate& b);
int compareTimePart(const MailDate& a, const MailDate& b);
int compareMailDate(const MailDate& a, const MailDate& b);

} // namespace toppeek::messages
