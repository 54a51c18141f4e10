#include "messages/MailDate.h"

#include "core/Ascii.h"
#include "core/Calendar.h"
#include "core/Numbers.h"
#include "core/Text.h"

#include <ctime>

namespace toppeek::messages {

using core::dayNumber;
using core::findInArray;
using core::isAsciiDigit;
using core::isAsciiLetter;
using core::saturatedNumber;
using core::weekdayOf;

const char* const DayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

bool isDateTokenChar(char c) {
    return isAsciiLetter(c) || isAsciiDigit(c) || c == '+' || c == '-';
}

// Values are stored in the record's field widths before they are range
// tested, exactly as the record would hold them.
std::uint8_t narrow8(long long v) {
    return static_cast<std::uint8_t>(v);
}
std::int16_t narrow16(long long v) {
    return static_cast<std::int16_t>(v);
}

int dayIndex(const std::string& token) {
    return findInArray(token.c_str(), DayNames, 7);
}
int monthIndex(const std::string& token) {
    return findInArray(token.c_str(), MonthNames, 12);
}

std::int16_t widenYear(std::int16_t year) {
    return static_cast<std::int16_t>(year < 70 ? 2000 + year : 1900 + year);
}

bool weekdayMatches(const MailDate& d, int dayName) {
    return weekdayOf(dayNumber(d.day, d.month, d.year)) == dayName;
}

// Reads the tokens of one layout from the start of the text.
class Tokens {
public:
    explicit Tokens(const std::string& text) : text_(text) {}
    std::string next() { return nextDateToken(text_, position_); }

private:
    const std::string& text_;
    std::size_t position_ = 0;
};

bool readInRange(Tokens& tokens, std::uint8_t& field, int low, int high) {
    const std::string token = tokens.next();
    if (token.empty())
        return false;
    field = narrow8(saturatedNumber(token));
    return field >= low && field <= high;
}

bool readMonth(Tokens& tokens, MailDate& date) {
    const int month = monthIndex(tokens.next());
    if (month < 0)
        return false;
    date.month = static_cast<std::uint8_t>(month + 1);
    return true;
}

bool readFourDigitYear(Tokens& tokens, MailDate& date) {
    const std::string token = tokens.next();
    if (token.empty())
        return false;
    date.year = narrow16(saturatedNumber(token));
    return date.year >= 1970 && date.year <= 2099;
}

bool readTime(Tokens& tokens, MailDate& date) {
    return readInRange(tokens, date.hour, 0, 23) && readInRange(tokens, date.minute, 0, 59) &&
           readInRange(tokens, date.second, 0, 59);
}

// Day name optional, two- or four-digit year, seconds optional, or the time
// as four digits without a colon.
bool parseLayout1(const std::string& text, MailDate& date) {
    Tokens tokens(text);
    std::string token = tokens.next();
    const int dayName = dayIndex(token);
    if (dayName >= 0)
        token = tokens.next();
    if (token.empty())
        return false;
    date.day = narrow8(saturatedNumber(token));
    if (date.day < 1 || date.day > 31)
        return false;
    if (!readMonth(tokens, date))
        return false;
    token = tokens.next();
    if (token.empty())
        return false;
    date.year = narrow16(saturatedNumber(token));
    if (date.year >= 0 && date.year <= 99)
        date.year = widenYear(date.year);

    token = tokens.next();
    if (token.size() == 4) {
        date.hour = narrow8(saturatedNumber(token.substr(0, 2)));
        date.minute = narrow8(saturatedNumber(token.substr(2, 2)));
        date.second = 0;
        return true;
    }
    if (token.empty())
        return false;
    date.hour = narrow8(saturatedNumber(token));
    if (date.hour > 23)
        return false;
    if (!readInRange(tokens, date.minute, 0, 59))
        return false;
    token = tokens.next();
    if (!token.empty() && (isAsciiLetter(token[0]) || token[0] == '+' || token[0] == '-'))
        date.second = 0; // a zone where the seconds would be
    else
        date.second = narrow8(saturatedNumber(token));
    return dayName < 0 || weekdayMatches(date, dayName);
}

// Day name, day, month, four-digit year, time.
bool parseLayout2(const std::string& text, MailDate& date) {
    Tokens tokens(text);
    const int dayName = dayIndex(tokens.next());
    return dayName >= 0 && readInRange(tokens, date.day, 1, 31) && readMonth(tokens, date) &&
           readFourDigitYear(tokens, date) && readTime(tokens, date) &&
           weekdayMatches(date, dayName);
}

// Day name, month, day, time, four-digit year.
bool parseLayout3(const std::string& text, MailDate& date) {
    Tokens tokens(text);
    const int dayName = dayIndex(tokens.next());
    return dayName >= 0 && readMonth(tokens, date) && readInRange(tokens, date.day, 1, 31) &&
           readTime(tokens, date) && readFourDigitYear(tokens, date) &&
           weekdayMatches(date, dayName);
}

// Any leading word, day, month, two-digit year, time; the leading word is
// not checked, so a full day name passes.
bool parseLayout4(const std::string& text, MailDate& date) {
    Tokens tokens(text);
    tokens.next();
    if (!readInRange(tokens, date.day, 1, 31) || !readMonth(tokens, date))
        return false;
    const std::string token = tokens.next();
    if (token.empty())
        return false;
    date.year = narrow16(saturatedNumber(token));
    if (date.year < 0 || date.year > 99)
        return false;
    date.year = widenYear(date.year);
    return readTime(tokens, date);
}

} // namespace

std::string nextDateToken(const std::string& text, std::size_t& position) {
    // A zero byte ends the text as it would in a C string.
    auto atEnd = [&](std::size_t i) { return i >= text.size() || text[i] == '\0'; };
    while (!atEnd(position) && !isDateTokenChar(text[position]))
        ++position;
    std::string token;
    while (!atEnd(position) && isDateTokenChar(text[position])) {
        if (token.size() < maxDateTokenLength)
            token += text[position];
        ++position;
    }
    return token;
}

bool parseMailDate(const std::string& text, MailDate& date) {
    return parseLayout1(text, date) || parseLayout2(text, date) || parseLayout3(text, date) ||
           parseLayout4(text, date);
}

void setMailDateToNow(MailDate& date) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    date.day = static_cast<std::uint8_t>(local.tm_mday);
    date.month = static_cast<std::uint8_t>(local.tm_mon + 1);
    date.year = static_cast<std::int16_t>(local.tm_year + 1900);
    date.hour = static_cast<std::uint8_t>(local.tm_hour);
    date.minute = static_cast<std::uint8_t>(local.tm_min);
    date.second = static_cast<std::uint8_t>(local.tm_sec);
}

namespace {
int sign(int a, int b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}
} // namespace

int compareDatePart(const MailDate& a, const MailDate& b) {
    if (int r = sign(a.year, b.year))
        return r;
    if (int r = sign(a.month, b.month))
        return r;
    return sign(a.day, b.day);
}

int compareTimePart(const MailDate& a, const MailDate& b) {
    if (int r = sign(a.hour, b.hour))
        return r;
    if (int r = sign(a.minute, b.minute))
        return r;
    return sign(a.second, b.second);
}

int compareMailDate(const MailDate& a, const MailDate& b) {
    if (int r = compareDatePart(a, b))
        return r;
    return compareTimePart(a, b);
}

} // namespace toppeek::messages
