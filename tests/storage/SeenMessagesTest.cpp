// The memory of what each account's last check listed: which messages count as new, across
// checks and restarts, within its bounds, and from damaged files.
#include "storage/SeenMessages.h"
#include "core/RecordStream.h"
#include "storage/RecordFields.h"
#include "storage/Settings.h"

#include "StorageTestUtil.h"

#include <gtest/gtest.h>

using namespace toppeek::storage;
using toppeek::core::RecordStream;
using namespace storage_test;

namespace {

Account account(const std::string& address, const std::string& user = "u") {
    Account a;
    a.address = address;
    a.host = "pop.example.org";
    a.userName = user;
    return a;
}

std::vector<std::string_view> views(const std::vector<std::string>& ids) {
    return {ids.begin(), ids.end()};
}

std::vector<std::string> numbered(int from, int to) {
    std::vector<std::string> ids;
    for (int i = from; i < to; ++i)
        ids.push_back("id" + std::to_string(i));
    return ids;
}

} // namespace

TEST(SeenMessages, TellsNewMessagesAcrossChecksAndRestarts) {
    TempDir dir;
    const std::string path = dir.file("seen.dat");
    const Account alice = account("alice@example.org"), bob = account("bob@example.org");
    const std::string longId(SeenMessages::kMaxUniqueIdLength + 1, 'x');

    SeenMessages seen;
    // A first check has nothing to compare with.
    EXPECT_EQ(seen.recordCheck(alice, {"a1", "a2"}), (std::vector<bool>{false, false}));
    EXPECT_TRUE(seen.remembers(alice));
    EXPECT_FALSE(seen.remembers(bob));
    EXPECT_EQ(seen.recordCheck(bob, {}), std::vector<bool>{});
    // Bob's empty mailbox was a check too: what arrives next is new.
    EXPECT_EQ(seen.recordCheck(bob, {"a1", "", longId}), (std::vector<bool>{true, false, false}));
    // a1 left, a3 arrived; a message without an id, or with an id too long to keep, never
    // counts; an id listed twice counts at both places.
    EXPECT_EQ(seen.recordCheck(alice, {"a2", "a3", "", longId, "a3"}),
              (std::vector<bool>{false, true, false, false, true}));
    // The same address with another user name is another account.
    EXPECT_FALSE(seen.remembers(account("alice@example.org", "other")));

    ASSERT_TRUE(seen.save(path));
    SeenMessages restarted = SeenMessages::load(path);
    EXPECT_EQ(restarted, seen);
    // a1 came back after it was gone: new again, as a server would list a restored message.
    EXPECT_EQ(restarted.recordCheck(alice, {"a1", "a2", "a3", "a4"}),
              (std::vector<bool>{true, false, false, true}));
    EXPECT_EQ(restarted.recordCheck(bob, {"a1", "b1"}), (std::vector<bool>{false, true}));
}

TEST(SeenMessages, StaysWithinItsBounds) {
    TempDir dir;
    SeenMessages seen;
    const Account big = account("big@example.org");
    const std::vector<std::string> many = numbered(0, SeenMessages::kMaxIdsPerAccount + 10);
    seen.recordCheck(big, views(many));
    ASSERT_EQ(seen.accounts().back().ids.size(), std::size_t(SeenMessages::kMaxIdsPerAccount));
    // The newest messages are the ones kept.
    EXPECT_EQ(seen.accounts().back().ids.front(), "id10");
    EXPECT_EQ(seen.recordCheck(big, {"id9", "id10"}), (std::vector<bool>{true, false}));

    // The account checked least recently is forgotten first.
    for (int i = 0; i < SeenMessages::kMaxAccounts; ++i)
        seen.recordCheck(account("a" + std::to_string(i) + "@example.org"), {"x"});
    seen.recordCheck(account("a0@example.org"), {"x"});
    seen.recordCheck(account("late@example.org"), {"x"});
    EXPECT_EQ(std::ssize(seen.accounts()), SeenMessages::kMaxAccounts);
    EXPECT_FALSE(seen.remembers(big));
    EXPECT_FALSE(seen.remembers(account("a1@example.org")));
    EXPECT_TRUE(seen.remembers(account("a0@example.org")));

    // A file written by other hands with more than the bounds loads within them.
    const std::string path = dir.file("seen.dat");
    ASSERT_TRUE(saveReplacing(path, [&](RecordStream& stream) {
        stream.writeSignature("\x1ATopPeekSeen1");
        writeCount(stream, SeenMessages::kMaxAccounts + 5);
        for (int a = 0; a < SeenMessages::kMaxAccounts + 5; ++a) {
            writeText(stream, "key" + std::to_string(a), 100);
            writeCount(stream, SeenMessages::kMaxIdsPerAccount + 3);
            stream.writeText(std::string(SeenMessages::kMaxUniqueIdLength + 1, 'l'));
            for (const std::string& id : numbered(0, SeenMessages::kMaxIdsPerAccount + 2))
                stream.writeText(id);
        }
    }));
    const SeenMessages loaded = SeenMessages::load(path);
    ASSERT_EQ(std::ssize(loaded.accounts()), SeenMessages::kMaxAccounts);
    EXPECT_EQ(loaded.accounts().front().key, "key5");
    for (const auto& a : loaded.accounts()) {
        ASSERT_EQ(std::ssize(a.ids), SeenMessages::kMaxIdsPerAccount);
        EXPECT_EQ(a.ids.front(), "id2");
    }
}

TEST(SeenMessages, DamagedOrForeignFilesLoadWithoutHarm) {
    TempDir dir;
    const std::string path = dir.file("seen.dat");
    EXPECT_TRUE(SeenMessages::load(path).accounts().empty()); // missing

    ASSERT_TRUE(saveSettings(path, *createDefaultSettings()));
    EXPECT_TRUE(SeenMessages::load(path).accounts().empty());
    writeAll(path, pattern(3000));
    EXPECT_TRUE(SeenMessages::load(path).accounts().empty());

    SeenMessages seen;
    seen.recordCheck(account("a@example.org"), {"1", "2"});
    seen.recordCheck(account("b@example.org"), {"3"});
    ASSERT_TRUE(seen.save(path));
    const std::string whole = readAll(path);
    // Cut anywhere, the file gives the accounts read whole before the cut, and nothing else.
    for (std::size_t size = 0; size < whole.size(); ++size) {
        SCOPED_TRACE(size);
        writeAll(path, std::string_view(whole).substr(0, size));
        const SeenMessages loaded = SeenMessages::load(path);
        const auto& accounts = loaded.accounts();
        ASSERT_LT(accounts.size(), seen.accounts().size());
        for (std::size_t i = 0; i < accounts.size(); ++i)
            EXPECT_EQ(accounts[i], seen.accounts()[i]);
    }
}

TEST(SeenMessages, AFailedSaveKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("seen.dat");
    SeenMessages old;
    old.recordCheck(account("a@example.org"), {"1"});
    ASSERT_TRUE(old.save(path));
    const std::string oldBytes = readAll(path);

    SeenMessages large;
    const std::vector<std::string> many = numbered(0, 3000);
    large.recordCheck(account("b@example.org"), views(many));
    for (long allowed : {0L, 10L, 10000L, 20000L}) {
        SCOPED_TRACE(allowed);
        EXPECT_FALSE(saveReplacing(path, [&](RecordStream& stream) {
            stream.failWritesAfter(allowed);
            large.write(stream);
        }));
        EXPECT_EQ(readAll(path), oldBytes);
        EXPECT_EQ(dir.names(), std::set<std::string>{"seen.dat"});
    }
}
