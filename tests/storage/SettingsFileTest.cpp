#include "storage/Settings.h"

#include "StorageTestUtil.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>

using namespace toppeek::storage;
using namespace storage_test;

namespace {

const std::string signature = "\x1AVARROWCKRCnf";

Account* makeAccount(std::int16_t tag, std::string address, std::string host, std::int16_t port,
                     std::string user, std::string password) {
    Account* account = newAccount().release();
    account->accountTag = tag;
    account->address = std::move(address);
    account->host = std::move(host);
    account->port = port;
    account->userName = std::move(user);
    account->password = std::move(password);
    return account;
}

std::unique_ptr<Settings> sampleSettings() {
    auto settings = createDefaultSettings();
    settings->bodyLines = 25;
    settings->accounts.append(
        makeAccount(3, "me@example.org", "pop.example.org", 995, "me", "pw1"));
    settings->accounts.append(
        makeAccount(-2, pattern(199), pattern(199, 7), -1, pattern(199, 9), pattern(199, 200)));
    settings->accounts.append(makeAccount(0, "", "", 110, "", ""));
    settings->selectedAccount = 7; // beyond the list: kept, clamped only where used
    settings->showAbout = 1;
    settings->maxMessages = 250;
    settings->useApop = 1;
    settings->mailboxBytes = 99;
    settings->reservedFlag = 0x5A;
    settings->reservedText1 = pattern(499);
    settings->reservedText2 = "two";
    settings->reservedText3 = "";
    settings->reservedText4 = "four";
    settings->lastUpdateCheckDay = 738000;
    return settings;
}

void expectSameAccount(const Account& a, const Account& b, bool passwordMayBeEmpty = false) {
    EXPECT_EQ(a.accountTag, b.accountTag);
    EXPECT_EQ(a.address, b.address);
    EXPECT_EQ(a.host, b.host);
    EXPECT_EQ(a.port, b.port);
    EXPECT_EQ(a.userName, b.userName);
    if (!passwordMayBeEmpty || !b.password.empty()) {
        EXPECT_EQ(a.password, b.password);
    }
}

void expectSameStoredFields(const Settings& a, const Settings& b) {
    EXPECT_EQ(a.bodyLines, b.bodyLines);
    ASSERT_EQ(a.accounts.count(), b.accounts.count());
    for (int i = 0; i < a.accounts.count(); ++i)
        expectSameAccount(*a.accounts.at(i), *b.accounts.at(i));
    EXPECT_EQ(a.selectedAccount, b.selectedAccount);
    EXPECT_EQ(a.showAbout, b.showAbout);
    EXPECT_EQ(a.maxMessages, b.maxMessages);
    EXPECT_EQ(a.useApop, b.useApop);
    EXPECT_EQ(a.reservedFlag, b.reservedFlag);
    EXPECT_EQ(a.reservedText1, b.reservedText1);
    EXPECT_EQ(a.reservedText2, b.reservedText2);
    EXPECT_EQ(a.reservedText3, b.reservedText3);
    EXPECT_EQ(a.reservedText4, b.reservedText4);
    EXPECT_EQ(a.lastUpdateCheckDay, b.lastUpdateCheckDay);
}

std::unique_ptr<Settings> loadBytes(const TempDir& dir, std::string_view bytes,
                                    bool* ok = nullptr) {
    writeAll(dir.file("in.dat"), bytes);
    auto settings = createDefaultSettings();
    const bool loaded = loadSettings(dir.file("in.dat"), *settings);
    if (ok)
        *ok = loaded;
    return settings;
}

} // namespace

TEST(SettingsFile, DefaultSettingsGiveTheDocumentedBytes) {
    TempDir dir;
    ASSERT_TRUE(saveSettings(dir.file("s.dat"), *createDefaultSettings()));
    const std::string text3 = Settings::defaultReservedText3,
                      text4 = Settings::defaultReservedText4;
    const std::string expected = signature + std::string("\0\0\0\0\0\0\0\x64\0\0\0\0\x01", 13) +
                                 stored("") + stored("") + stored(text3) + stored(text4) +
                                 std::string(4, '\0');
    EXPECT_EQ(readAll(dir.file("s.dat")), expected);
    EXPECT_EQ(expected.size(), 38 + text3.size() + text4.size());
}

TEST(SettingsFile, RoundTripKeepsEveryStoredFieldButNotTheMailboxSize) {
    TempDir dir;
    auto saved = sampleSettings();
    ASSERT_TRUE(saveSettings(dir.file("s.dat"), *saved));
    auto loaded = createDefaultSettings();
    ASSERT_TRUE(loadSettings(dir.file("s.dat"), *loaded));
    expectSameStoredFields(*saved, *loaded);
    EXPECT_EQ(loaded->mailboxBytes, 0u);

    // Loading again replaces the accounts rather than adding to them.
    ASSERT_TRUE(loadSettings(dir.file("s.dat"), *loaded));
    EXPECT_EQ(loaded->accounts.count(), 3);
}

TEST(SettingsFile, TextsBeyondTheirLimitsAreStoredCut) {
    TempDir dir;
    auto longTexts = createDefaultSettings(), cutTexts = createDefaultSettings();
    longTexts->accounts.append(
        makeAccount(1, pattern(250), pattern(250, 1), 110, pattern(250, 2), pattern(250, 3)));
    longTexts->reservedText1 = pattern(600);
    longTexts->reservedText2 = pattern(300);
    cutTexts->accounts.append(newAccount().release());
    copyAccount(*cutTexts->accounts.at(0), *longTexts->accounts.at(0));
    EXPECT_EQ(cutTexts->accounts.at(0)->password, pattern(199, 3));
    cutTexts->reservedText1 = pattern(499);
    cutTexts->reservedText2 = pattern(199);
    ASSERT_TRUE(saveSettings(dir.file("long.dat"), *longTexts));
    ASSERT_TRUE(saveSettings(dir.file("cut.dat"), *cutTexts));
    EXPECT_EQ(readAll(dir.file("long.dat")), readAll(dir.file("cut.dat")));
}

TEST(SettingsFile, PasswordIsStoredScrambledWithAFixedKey) {
    TempDir dir;
    auto settings = createDefaultSettings();
    settings->accounts.append(makeAccount(0, "", "", 110, "", "secret"));
    settings->accounts.append(makeAccount(0, "", "", 110, "", "aaaaaaaa"));
    ASSERT_TRUE(saveSettings(dir.file("s.dat"), *settings));
    const std::string bytes = readAll(dir.file("s.dat"));
    // Signature, three 16-bit fields, then the account up to its password.
    const std::size_t first = 13 + 6 + 10;
    ASSERT_GT(bytes.size(), first + 2 + 6 + 10 + 2 + 8);
    EXPECT_EQ(bytes.substr(first, 2), le16(6));
    // Files written by earlier builds must keep reading: the key never changes.
    EXPECT_EQ(bytes.substr(first + 2, 6), "\x43\x35\xD2\x3B\xC5\xF2");
    const std::string second = bytes.substr(first + 2 + 6 + 10 + 2, 8);
    EXPECT_EQ(std::set<char>(second.begin(), second.end()).size() > 1, true)
        << "equal characters must not give equal stored bytes";
}

TEST(SettingsFile, ForeignFilesLoadNothing) {
    TempDir dir;
    ASSERT_TRUE(saveSettings(dir.file("good.dat"), *sampleSettings()));
    const std::string good = readAll(dir.file("good.dat"));
    std::string firstByte = good, lowerCase = good, upperCase = good;
    firstByte[0] = 0x1B;
    lowerCase[10] = 'c'; // "...CKRcnf"
    upperCase[11] = 'N'; // "...CKRCNf"
    for (const std::string& bytes :
         {firstByte, lowerCase, upperCase, std::string(), good.substr(0, 12),
          std::string("\x1AVARROWCKRFilters") + std::string(9, '\0')}) {
        auto settings = createDefaultSettings();
        settings->bodyLines = 5;
        settings->accounts.append(newAccount().release());
        writeAll(dir.file("bad.dat"), bytes);
        EXPECT_FALSE(loadSettings(dir.file("bad.dat"), *settings));
        EXPECT_EQ(settings->bodyLines, 5);
        EXPECT_EQ(settings->accounts.count(), 1);
    }
    auto settings = createDefaultSettings();
    EXPECT_FALSE(loadSettings(dir.file("missing.dat"), *settings));
}

TEST(SettingsFile, FileCutAfterTheLastTextLoadsWithoutUpdateDay) {
    TempDir dir;
    auto saved = sampleSettings();
    ASSERT_TRUE(saveSettings(dir.file("s.dat"), *saved));
    const std::string bytes = readAll(dir.file("s.dat"));
    writeAll(dir.file("s.dat"), bytes.substr(0, bytes.size() - 4));
    auto loaded = createDefaultSettings();
    loaded->lastUpdateCheckDay = 12345;
    ASSERT_TRUE(loadSettings(dir.file("s.dat"), *loaded));
    EXPECT_EQ(loaded->lastUpdateCheckDay, 0u);
    saved->lastUpdateCheckDay = 0;
    expectSameStoredFields(*saved, *loaded);
}

TEST(SettingsFile, EveryTruncationLoadsWhatCameBeforeTheCut) {
    TempDir dir;
    auto saved = sampleSettings();
    ASSERT_TRUE(saveSettings(dir.file("s.dat"), *saved));
    const std::string bytes = readAll(dir.file("s.dat"));
    int lastCount = 0;
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        SCOPED_TRACE(n);
        bool ok = false;
        auto loaded = loadBytes(dir, bytes.substr(0, n), &ok);
        ASSERT_EQ(ok, n >= signature.size());
        const int count = loaded->accounts.count();
        ASSERT_GE(count, lastCount);
        lastCount = count;
        for (int i = 0; i < count; ++i)
            expectSameAccount(*saved->accounts.at(i), *loaded->accounts.at(i), i == count - 1);
        if (n < bytes.size()) {
            EXPECT_EQ(loaded->lastUpdateCheckDay, 0u);
        }
    }
    EXPECT_EQ(lastCount, 3);
}

TEST(SettingsFile, DamagedFilesLoadSafely) {
    TempDir dir;
    const std::string head = signature + le16(4) + le16(0);
    const std::string account =
        le16(9) + stored("a@b.c") + stored("host") + le16(110) + stored("user") + stored("");
    const std::string tail = std::string("\x01\x20\0\0\0\x01\x00", 7) + stored("r1") +
                             stored("r2") + stored("r3") + stored("r4") +
                             std::string("\x05\0\0\0", 4);

    // A huge count over a short file: only the accounts that are there.
    auto loaded = loadBytes(dir, head + le16(32767) + account + account.substr(0, 9));
    EXPECT_EQ(loaded->accounts.count(), 1);

    // A count of 32768 or more means no accounts; the fields behind it still read.
    loaded = loadBytes(dir, head + le16(0x8000) + tail);
    EXPECT_EQ(loaded->accounts.count(), 0);
    EXPECT_EQ(loaded->maxMessages, 32);
    EXPECT_EQ(loaded->lastUpdateCheckDay, 5u);

    // An over-long address is cut and the fields behind it stay in place.
    loaded = loadBytes(dir, head + le16(1) + le16(9) + stored(pattern(300)) + stored("host") +
                                le16(110) + stored("user") + stored("pw") + tail);
    ASSERT_EQ(loaded->accounts.count(), 1);
    EXPECT_EQ(loaded->accounts.at(0)->address, pattern(199));
    EXPECT_EQ(loaded->accounts.at(0)->host, "host");
    EXPECT_EQ(loaded->reservedText4, "r4");

    // A length running past the end of the file drops the account; a zero
    // byte ends a text as in memory.
    loaded = loadBytes(dir, head + le16(1) + le16(9) + le16(0xFFFF) + "abc");
    EXPECT_EQ(loaded->accounts.count(), 0);
    loaded = loadBytes(dir, head + le16(1) + le16(9) + stored(std::string("a\0b", 3)) +
                                account.substr(9) + tail);
    ASSERT_EQ(loaded->accounts.count(), 1);
    EXPECT_EQ(loaded->accounts.at(0)->address, "a");

    std::mt19937 random(4);
    for (int i = 0; i < 300; ++i) {
        std::string garbage = signature;
        for (int n = random() % 400; n > 0; --n)
            garbage.push_back(static_cast<char>(random() % 4 == 0 ? 0xFF : random() % 8));
        loadBytes(dir, garbage);
    }
}

TEST(SettingsFile, SavedFileIsPrivateAndLeavesNothingElse) {
    TempDir dir;
    writeAll(dir.file("s.dat"), "old");
    ::chmod(dir.file("s.dat").c_str(), 0644);
    const mode_t oldMask = ::umask(0);
    const bool saved = saveSettings(dir.file("s.dat"), *sampleSettings());
    ::umask(oldMask);
    ASSERT_TRUE(saved);
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("s.dat").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(dir.names(), std::set<std::string>{"s.dat"});
    EXPECT_FALSE(saveSettings(dir.file("no/such/dir/s.dat"), *sampleSettings()));
}

TEST(Accounts, CloneKeepsTextsWhileCopyCutsThemToTheLimit) {
    auto source = std::unique_ptr<Account>(makeAccount(4, pattern(300), "h", 99, "u", "p"));
    auto clone = cloneAccount(*source);
    expectSameAccount(*source, *clone);
    auto copy = newAccount();
    EXPECT_EQ(copy->port, 110);
    copyAccount(*copy, *source);
    EXPECT_EQ(copy->address, pattern(199));
    EXPECT_EQ(copy->port, 99);
    EXPECT_EQ(copy->accountTag, 4);
}
