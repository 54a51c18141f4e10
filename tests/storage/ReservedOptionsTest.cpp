// The options kept in the settings file's first reserved text: the file keeps its layout, an
// older file reads as "never", and what others wrote into the text stays.
#include "storage/ReservedOptions.h"
#include "storage/Settings.h"

#include "StorageTestUtil.h"

#include <gtest/gtest.h>

using namespace toppeek::storage;

using namespace storage_test;

TEST(ReservedOptions, IntervalTravelsInTheReservedTextOfAnUnchangedLayout) {
    TempDir dir;
    auto settings = createDefaultSettings();
    EXPECT_EQ(checkIntervalMinutes(*settings), 0); // an older file says nothing: never
    ASSERT_TRUE(setCheckIntervalMinutes(*settings, 15));
    setTrayCloseExplained(*settings);
    ASSERT_TRUE(saveSettings(dir.file("s.dat"), *settings));

    // The same bytes as default settings but for the reserved text: what an older version
    // reads, and writes back as it read it.
    const std::string bytes = readAll(dir.file("s.dat"));
    const std::string text = "check-every=15\ntray-close-explained=1";
    EXPECT_NE(bytes.find(stored(text)), std::string::npos);
    EXPECT_EQ(bytes.size(), 38 + text.size() + std::string(Settings::defaultReservedText3).size() +
                                std::string(Settings::defaultReservedText4).size());

    auto loaded = createDefaultSettings();
    ASSERT_TRUE(loadSettings(dir.file("s.dat"), *loaded));
    EXPECT_EQ(checkIntervalMinutes(*loaded), 15);
    EXPECT_TRUE(trayCloseExplained(*loaded));
}

TEST(ReservedOptions, ForeignLinesStayAndDamagedValuesReadAsNever) {
    auto settings = createDefaultSettings();
    settings->reservedText1 = "someone=else\ncheck-every=5\nmore";
    ASSERT_TRUE(setCheckIntervalMinutes(*settings, 30));
    EXPECT_EQ(settings->reservedText1, "someone=else\ncheck-every=30\nmore");
    ASSERT_TRUE(setCheckIntervalMinutes(*settings, 100000));
    EXPECT_EQ(checkIntervalMinutes(*settings), kMaxCheckIntervalMinutes);

    for (const char* damaged :
         {"check-every=-3", "check-every=5x", "check-every=", "check-every=99999"}) {
        settings->reservedText1 = damaged;
        EXPECT_EQ(checkIntervalMinutes(*settings), 0) << damaged;
    }
    // A text already full is left as it is rather than cut.
    settings->reservedText1 = std::string(Settings::kMaxReservedText1Length - 3, 'x');
    EXPECT_FALSE(setCheckIntervalMinutes(*settings, 5));
    EXPECT_EQ(settings->reservedText1.size(), std::size_t(Settings::kMaxReservedText1Length - 3));
}
