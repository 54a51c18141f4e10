// The windows' one conversion of 8-bit texts: UTF-8 where the bytes are UTF-8, Latin-1 byte for
// byte where they are not, a sequence cut by a bounded copy dropped only when asked, and nothing
// that lets a sender forge what is shown.

#include "dialogs/DisplayText.h"
#include "messages/MailText.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using toppeek::dialogs::displayLine;
using toppeek::dialogs::displayText;
using toppeek::messages::isValidUtf8;

TEST(DisplayText, ValidUtf8ShowsAsUtf8) {
    const struct {
        std::string_view bytes;
        QString shown;
    } cases[] = {
        {"Subject: hello", QStringLiteral("Subject: hello")},
        {"Gr\xc3\xbc\xc3\x9f"
         "e",
         QStringLiteral("Grüße")},
        {"\xe2\x82\xac 5", QStringLiteral("€ 5")},
        {"\xf0\x9f\x93\xa7", QString::fromUcs4(U"\U0001F4E7")},
        {"\xf4\x8f\xbf\xbf", QString::fromUcs4(U"\U0010FFFF")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bytes));
        ASSERT_TRUE(isValidUtf8(c.bytes));
        EXPECT_EQ(displayText(c.bytes), c.shown);
        EXPECT_EQ(displayText(std::string(c.bytes).c_str()), c.shown);
    }
}

TEST(DisplayText, MalformedUtf8ShowsAsLatin1ByteForByte) {
    const std::string_view cases[] = {
        "caf\xe9 cr\xe8me",
        "a\x80z",
        "\xc0\xaf",
        "\xe0\x80\xaf",
        "\xf0\x80\x80\xaf",
        "\xed\xa0\x80",
        "\xf4\x90\x80\x80",
        "\xf5\x80\x80\x80",
        "\xc3z end",
        "Gr\xc3\xbc\xc3\x9f"
        "e \xe9",
    };
    for (std::string_view bytes : cases) {
        SCOPED_TRACE(std::string(bytes));
        ASSERT_FALSE(isValidUtf8(bytes));
        const QString shown = displayText(bytes);
        ASSERT_EQ(static_cast<std::size_t>(shown.size()), bytes.size());
        // C1 controls (0x80..0x9F read as Latin-1) are never shown as themselves.
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            EXPECT_EQ(shown[static_cast<qsizetype>(i)].unicode(),
                      byte >= 0x80 && byte < 0xA0 ? 0xFFFD : byte);
        }
    }
}

TEST(DisplayText, ASequenceCutAtTheEndIsDroppedOnlyWhenTheTextMayBeCut) {
    // "Grüße" cut inside the "ß" by a bounded copy.
    const std::string cut("Gr\xc3\xbc\xc3", 5);
    EXPECT_EQ(displayText(cut, true), QStringLiteral("Grü"));
    EXPECT_EQ(displayText(cut, false), QString::fromLatin1("Gr\xc3\xbc\xc3"));
    EXPECT_EQ(displayText(std::string("\xe2\x82\xac \xe2\x82", 6), true), QStringLiteral("€ "));
    // Plain ASCII before the last byte gives no sign of UTF-8: a Latin-1 word is kept whole.
    EXPECT_EQ(displayText(std::string("caf\xe9", 4), true), QStringLiteral("café"));
    // The rest is not UTF-8 either: Latin-1 for every byte, the tail included.
    EXPECT_EQ(displayText(std::string("\xe9t\xc3", 3), true), QString::fromLatin1("\xe9t\xc3"));
}

TEST(DisplayText, NullAndEmptyShowNothing) {
    EXPECT_TRUE(displayText(static_cast<const char*>(nullptr)).isEmpty());
    EXPECT_TRUE(displayText("").isEmpty());
    EXPECT_TRUE(displayText(std::string_view(), true).isEmpty());
}

TEST(DisplayText, ControlsAndOverridesAreShownNotObeyed) {
    // A decoded subject that would show a line of its own, and a name reversed by U+202E.
    const std::string forged = "Quarterly report\nFrom: Your Bank <security@bank.example>";
    EXPECT_EQ(displayLine(forged),
              QStringLiteral("Quarterly report From: Your Bank <security@bank.example>"));
    EXPECT_EQ(displayText(forged), QString::fromStdString(forged));
    EXPECT_EQ(displayLine("invoice\xe2\x80\xae"
                          "fdp.exe\x1b[0m"),
              QStringLiteral("invoice\uFFFDfdp.exe\u241B[0m"));
    EXPECT_EQ(displayText(std::string_view("safe.pdf\0.exe\t", 14)),
              QStringLiteral("safe.pdf\u2400.exe\t"));
}
