#include "storage/FiltersFile.h"

#include "StorageTestUtil.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using toppeek::storage::loadFilters;
using toppeek::storage::saveFilters;
using namespace toppeek::messages;
using toppeek::core::TextList;
using namespace storage_test;

namespace {

const std::string signature = "\x1AVARROWCKRFilters";

FilterRule* makeRule(std::uint8_t active, std::uint8_t kind, std::string from, std::string subject,
                     std::string headers, std::uint8_t spare, std::uint8_t reservedStart) {
    FilterRule* rule = createFilterRule().release();
    rule->active = active;
    rule->kind = static_cast<RuleKind>(kind);
    rule->fromText = std::move(from);
    rule->subjectText = std::move(subject);
    rule->headersText = std::move(headers);
    rule->spareFlag = spare;
    for (int i = 0; i < FilterRule::reservedSize; ++i)
        rule->reserved[i] = static_cast<std::uint8_t>(reservedStart + i);
    return rule;
}

std::unique_ptr<Filters> sampleFilters() {
    auto filters = createFilters();
    filters->rules.append(makeRule(1, 1, "", "Buy now", "X-Spam: yes", 7, 1));
    filters->rules.append(makeRule(0, 9, pattern(199), pattern(199, 3), pattern(199, 5), 0, 0));
    filters->rules.append(makeRule(1, 0, "spam.example", "", "", 0, 0xF0));
    for (const char* domain : {"b.example", "Z.example", "a.example"})
        filters->bannedDomains.add(domain);
    for (const char* domain : {"friend.example", "work.example"})
        filters->friendlyDomains.add(domain);
    filters->rulesEnabled = 1;
    filters->bannedEnabled = 1;
    filters->friendlyEnabled = 1;
    return filters;
}

std::vector<std::string> texts(const TextList& list) {
    std::vector<std::string> result;
    for (int i = 0; i < list.count(); ++i)
        result.push_back(*list.at(i));
    return result;
}

void expectSameRule(const FilterRule& a, const FilterRule& b) {
    EXPECT_EQ(a.active, b.active);
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.fromText, b.fromText);
    EXPECT_EQ(a.subjectText, b.subjectText);
    EXPECT_EQ(a.headersText, b.headersText);
    EXPECT_EQ(a.spareFlag, b.spareFlag);
    EXPECT_EQ(a.reserved, b.reserved);
}

std::unique_ptr<Filters> loadBytes(const TempDir& dir, std::string_view bytes, bool* ok = nullptr) {
    writeAll(dir.file("in.dat"), bytes);
    auto filters = createFilters();
    const bool loaded = loadFilters(*filters, dir.file("in.dat"));
    if (ok)
        *ok = loaded;
    return filters;
}

} // namespace

TEST(FiltersFile, EmptySetIsTwentySixBytesAndLoadingItEmptiesTheSet) {
    TempDir dir;
    ASSERT_TRUE(saveFilters(*createFilters(), dir.file("f.dat")));
    EXPECT_EQ(readAll(dir.file("f.dat")), signature + std::string(9, '\0'));

    auto filters = sampleFilters();
    ASSERT_TRUE(loadFilters(*filters, dir.file("f.dat")));
    EXPECT_EQ(filters->rules.count(), 0);
    EXPECT_EQ(filters->bannedDomains.count() + filters->friendlyDomains.count(), 0);
    EXPECT_EQ(filters->rulesEnabled + filters->bannedEnabled + filters->friendlyEnabled, 0);
}

TEST(FiltersFile, RuleRecordKeepsAllTextsSpareFlagAndReservedBytes) {
    TempDir dir;
    auto filters = createFilters();
    filters->rules.append(makeRule(1, 1, "", "Buy now", "X-Spam: yes", 7, 1));
    ASSERT_TRUE(saveFilters(*filters, dir.file("f.dat")));
    EXPECT_EQ(readAll(dir.file("f.dat")), signature + le16(1) + "\x01\x01" + stored("") +
                                              stored("Buy now") + stored("X-Spam: yes") +
                                              "\x07\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A" +
                                              std::string(7, '\0'));

    auto saved = sampleFilters();
    ASSERT_TRUE(saveFilters(*saved, dir.file("f.dat")));
    auto loaded = createFilters();
    ASSERT_TRUE(loadFilters(*loaded, dir.file("f.dat")));
    ASSERT_EQ(loaded->rules.count(), 3);
    for (int i = 0; i < 3; ++i)
        expectSameRule(*saved->rules.at(i), *loaded->rules.at(i));
}

TEST(FiltersFile, DomainsAndSwitchesRoundTrip) {
    TempDir dir;
    const std::uint8_t switchSets[][3] = {{1, 0, 1}, {0, 1, 0}, {0, 0, 0}, {1, 1, 1}};
    for (const auto& switches : switchSets) {
        auto saved = sampleFilters();
        saved->rulesEnabled = switches[0];
        saved->bannedEnabled = switches[1];
        saved->friendlyEnabled = switches[2];
        ASSERT_TRUE(saveFilters(*saved, dir.file("f.dat")));
        auto loaded = createFilters();
        ASSERT_TRUE(loadFilters(*loaded, dir.file("f.dat")));
        EXPECT_EQ(texts(loaded->bannedDomains),
                  (std::vector<std::string>{"Z.example", "a.example", "b.example"}));
        EXPECT_EQ(texts(loaded->friendlyDomains), texts(saved->friendlyDomains));
        EXPECT_EQ(loaded->rulesEnabled, switches[0]);
        EXPECT_EQ(loaded->bannedEnabled, switches[1]);
        EXPECT_EQ(loaded->friendlyEnabled, switches[2]);
    }
}

TEST(FiltersFile, ForeignFilesLeaveTheSetUnchanged) {
    TempDir dir;
    ASSERT_TRUE(saveFilters(*sampleFilters(), dir.file("good.dat")));
    const std::string good = readAll(dir.file("good.dat"));
    std::string firstByte = good, oneLetter = good;
    firstByte[0] = 0;
    oneLetter[11] = 'f'; // "...CKRfilters"
    for (const std::string& bytes : {firstByte, oneLetter, good.substr(0, 16),
                                     std::string("\x1AVARROWCKRCnf") + std::string(40, '\0')}) {
        auto filters = sampleFilters();
        writeAll(dir.file("bad.dat"), bytes);
        EXPECT_FALSE(loadFilters(*filters, dir.file("bad.dat")));
        EXPECT_EQ(filters->rules.count(), 3);
        EXPECT_EQ(filters->bannedDomains.count(), 3);
        EXPECT_EQ(filters->friendlyEnabled, 1);
    }
    auto filters = createFilters();
    EXPECT_FALSE(loadFilters(*filters, dir.file("missing.dat")));
}

TEST(FiltersFile, EveryTruncationLoadsWhatCameBeforeTheCut) {
    TempDir dir;
    auto saved = sampleFilters();
    ASSERT_TRUE(saveFilters(*saved, dir.file("f.dat")));
    const std::string bytes = readAll(dir.file("f.dat"));
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        SCOPED_TRACE(n);
        bool ok = false;
        auto loaded = loadBytes(dir, bytes.substr(0, n), &ok);
        ASSERT_EQ(ok, n >= signature.size());
        for (int i = 0; i < loaded->rules.count(); ++i)
            expectSameRule(*saved->rules.at(i), *loaded->rules.at(i));
        const auto banned = texts(loaded->bannedDomains), friendly = texts(loaded->friendlyDomains);
        EXPECT_TRUE(banned.empty() || loaded->rules.count() == 3);
        EXPECT_TRUE(friendly.empty() || banned.size() == 3);
        for (std::size_t i = 0; i < friendly.size(); ++i)
            EXPECT_EQ(friendly[i], *saved->friendlyDomains.at(static_cast<int>(i)));
        // The switches are the last three bytes.
        EXPECT_EQ(loaded->rulesEnabled, n >= bytes.size() - 2);
        EXPECT_EQ(loaded->bannedEnabled, n >= bytes.size() - 1);
        EXPECT_EQ(loaded->friendlyEnabled, n == bytes.size());
    }
}

TEST(FiltersFile, DamagedFilesLoadSafely) {
    TempDir dir;
    const std::string rule =
        std::string("\x01\x00", 2) + stored("x") + stored("") + stored("") + std::string(11, '\0');
    const std::string switches = "\x01\x01\x01";

    auto loaded = loadBytes(dir, signature + le16(32767) + rule + rule.substr(0, 5));
    EXPECT_EQ(loaded->rules.count(), 1);

    // Counts of 32768 or more are empty lists; what follows them still reads.
    loaded = loadBytes(dir, signature + le16(0x8000) + le16(0xFFFF) + le16(1) +
                                stored("f.example") + switches);
    EXPECT_EQ(loaded->rules.count() + loaded->bannedDomains.count(), 0);
    EXPECT_EQ(texts(loaded->friendlyDomains), std::vector<std::string>{"f.example"});
    EXPECT_EQ(loaded->friendlyEnabled, 1);

    // Over-long texts are cut without shifting the fields behind them.
    loaded = loadBytes(dir, signature + le16(1) + "\x01\x02" + stored(pattern(300)) +
                                stored(pattern(250)) + stored(pattern(400)) + "\x03" + pattern(10) +
                                le16(1) + stored(pattern(5000)) + le16(0) + switches);
    ASSERT_EQ(loaded->rules.count(), 1);
    EXPECT_EQ(loaded->rules.at(0)->headersText, pattern(199));
    EXPECT_EQ(loaded->rules.at(0)->spareFlag, 3);
    EXPECT_EQ(texts(loaded->bannedDomains), std::vector<std::string>{pattern(4095)});
    EXPECT_EQ(loaded->bannedEnabled, 1);

    // Out of order and repeated domains are put in order, once each.
    loaded = loadBytes(dir, signature + le16(0) + le16(4) + stored("c") + stored("a") +
                                stored("c") + stored("B") + le16(0) + switches);
    EXPECT_EQ(texts(loaded->bannedDomains), (std::vector<std::string>{"B", "a", "c"}));
    EXPECT_GE(loaded->bannedDomains.find("a"), 0);

    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        std::string garbage = signature;
        for (int n = random() % 400; n > 0; --n)
            garbage.push_back(static_cast<char>(random() % 4 == 0 ? 0xFF : random() % 8));
        loadBytes(dir, garbage);
    }
}

TEST(FiltersFile, RuleTextsBeyondTheLimitAreStoredCut) {
    TempDir dir;
    auto longTexts = createFilters(), cutTexts = createFilters();
    longTexts->rules.append(makeRule(1, 2, pattern(250), pattern(300), pattern(199), 0, 0));
    longTexts->bannedDomains.add(pattern(5000));
    cutTexts->rules.append(makeRule(1, 2, pattern(199), pattern(199), pattern(199), 0, 0));
    cutTexts->bannedDomains.add(pattern(4095));
    ASSERT_TRUE(saveFilters(*longTexts, dir.file("long.dat")));
    ASSERT_TRUE(saveFilters(*cutTexts, dir.file("cut.dat")));
    EXPECT_EQ(readAll(dir.file("long.dat")), readAll(dir.file("cut.dat")));
}
