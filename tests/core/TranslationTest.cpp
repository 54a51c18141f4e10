#include "core/Translation.h"

#include <gtest/gtest.h>

#include <string>

namespace toppeek::core {
namespace {

TEST(Translate, WithoutTranslatorGivesTheEnglishWithTheCountFilledIn) {
    EXPECT_EQ(translate("ctx", "Could not read %1."), "Could not read %1.");
    EXPECT_EQ(translate("ctx", "%n messages, %n in all", nullptr, 12), "12 messages, 12 in all");
    // Without a count a %n is no placeholder.
    EXPECT_EQ(translate("ctx", "100%n"), "100%n");
}

std::string shouted(const char* context, const char* text, const char* comment, int n) {
    return std::string(context) + "|" + text + "|" + (comment != nullptr ? comment : "-") + "|" +
           std::to_string(n);
}

TEST(Translate, GoesThroughTheInstalledTranslatorUntilItIsRemoved) {
    setTranslator(shouted);
    EXPECT_EQ(translate("a::B", "Text", "why", 3), "a::B|Text|why|3");
    EXPECT_EQ(translate("a::B", "Text"), "a::B|Text|-|-1");
    setTranslator(nullptr);
    EXPECT_EQ(translate("a::B", "Text"), "Text");
}

TEST(Filled, ReplacesNumberedPlaceholdersInOnePass) {
    EXPECT_EQ(filled("%2 before %1", {"one", "two"}), "two before one");
    // An argument's own '%1' stays as it is, and so does a placeholder without an argument.
    EXPECT_EQ(filled("%1 and %3", {"50%1", "x"}), "50%1 and %3");
    EXPECT_EQ(filled("100% sure, %", {}), "100% sure, %");
    EXPECT_EQ(filled("%1%1", {"ab"}), "abab");
}

} // namespace
} // namespace toppeek::core
