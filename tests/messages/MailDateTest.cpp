#include "messages/MailDate.h"

#include <gtest/gtest.h>

using namespace toppeek::messages;

namespace {

MailDate date(int d, int mo, int y, int h, int mi, int s) {
    return MailDate{static_cast<std::uint8_t>(d),  static_cast<std::uint8_t>(mo),
                    static_cast<std::int16_t>(y),  static_cast<std::uint8_t>(h),
                    static_cast<std::uint8_t>(mi), static_cast<std::uint8_t>(s)};
}

std::optional<MailDate> parsed(const std::string& text) {
    MailDate d;
    if (!parseMailDate(text, d))
        return std::nullopt;
    return d;
}

TEST(DateTokens, SeparatorsAndLengthLimit) {
    const std::string text = " Fri, 5-Mar-2010 09:07 (" + std::string(30, 'z') + ")x";
    std::size_t pos = 0;
    std::vector<std::string> tokens;
    for (std::string t = nextDateToken(text, pos); !t.empty(); t = nextDateToken(text, pos))
        tokens.push_back(t);
    EXPECT_EQ(tokens, (std::vector<std::string>{"Fri", "5-Mar-2010", "09", "07",
                                                std::string(18, 'z'), "x"}));
    EXPECT_EQ(pos, text.size());
}

TEST(DateParsing, AcceptedLayouts) {
    const struct {
        const char* text;
        MailDate expected;
    } cases[] = {
        {"Fri, 5 Mar 2010 09:07:09 +0100", date(5, 3, 2010, 9, 7, 9)}, // layout 1
        {"5 Mar 2010 09:07:09 +0100", date(5, 3, 2010, 9, 7, 9)},      // no day name
        {"Fri Mar 5 09:07:09 2010", date(5, 3, 2010, 9, 7, 9)},        // time before year
        {"Friday, 05 Mar 10 09:07:09 GMT", date(5, 3, 2010, 9, 7, 9)}, // full day name
        {"5 Mar 10 0907", date(5, 3, 2010, 9, 7, 0)},                  // four-digit time
        {"Fri, 5 Mar 2010 0907 +0100", date(5, 3, 2010, 9, 7, 0)},
        {"1 Jan 69 10:00:00", date(1, 1, 2069, 10, 0, 0)},
        {"1 Jan 70 10:00:00", date(1, 1, 1970, 10, 0, 0)},
        {"5 Mar 2010 09:07 GMT", date(5, 3, 2010, 9, 7, 0)},         // zone for seconds
        {"5 Mar 2010 09:07:75", date(5, 3, 2010, 9, 7, 75)},         // seconds unchecked
        {"Mon, 5 Mar 10 09:07:09 +0100", date(5, 3, 2010, 9, 7, 9)}, // wrong day, 2-digit
        {"Fri, 30 Feb 2001 10:00:00", date(30, 2, 2001, 10, 0, 0)},  // counts on to 2 March
        {"261 Mar 2010 09:07:09", date(5, 3, 2010, 9, 7, 9)},        // day stored in 8 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(parsed(c.text), c.expected) << c.text;
}

TEST(DateParsing, RejectedTexts) {
    for (const char* text :
         {"Mon, 5 Mar 2010 09:07:09 +0100", // day name does not match the date
          "Friday, 05 Mar 2010 09:07:09",   // full day name with four-digit year
          "Fri, 5 mar 2010 09:07:09", "Fri, 5 MAR 2010 09:07:09", "FRI Mar 5 09:07:09 2010",
          "5 Mar 2010", "5 Mar 2010 24:00:00", "32 Mar 2010 10:00:00", "", "   ", "garbage"}) {
        EXPECT_EQ(parsed(text), std::nullopt) << text;
    }
}

TEST(DateComparison, DatePartThenTimePart) {
    const MailDate none;
    const MailDate early = date(31, 12, 1999, 23, 59, 59);
    const MailDate late = date(1, 1, 2000, 0, 0, 0);
    EXPECT_EQ(compareMailDate(none, early), -1);
    EXPECT_EQ(compareMailDate(early, late), -1);
    EXPECT_EQ(compareMailDate(late, early), 1);
    EXPECT_EQ(compareMailDate(late, late), 0);
    EXPECT_EQ(compareDatePart(date(1, 1, 2000, 9, 0, 0), late), 0);
    EXPECT_EQ(compareTimePart(date(1, 1, 2000, 9, 0, 0), late), 1);
}

} // namespace
