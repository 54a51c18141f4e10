// What the last check of each account listed, so that a later check can tell which messages
// arrived since. Kept in a small file of its own beside the settings file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::core {
class RecordStream;
} // namespace toppeek::core

namespace toppeek::storage {

struct Account;

class SeenMessages {
public:
    // Above the thousand messages a check lists at most. Of a longer listing the last ids (the
    // newest messages) are kept.
    static constexpr int kMaxIdsPerAccount = 5000;
    // The accounts checked least recently are forgotten first; an account forgotten is one never
    // checked: its next check only sets what later checks compare with.
    static constexpr int kMaxAccounts = 32;
    // A unique-id has at most 70 characters; a longer one comes from a server that breaks the
    // rules, is never stored and so never marks a message as new.
    static constexpr std::size_t kMaxUniqueIdLength = 70;

    // For each id of a completed check of account, in the same order, whether its message is
    // new: the account's earlier check did not list it. Then this check's ids replace the
    // earlier ones. A message without a unique-id (the empty text) is never new: with nothing
    // that identifies it, it cannot be told apart from a message seen before. The first check
    // of an account finds nothing new either: with no earlier listing, every message would
    // count, which says nothing about what arrived. A check that was cancelled or failed must
    // not be recorded, or the messages it did not reach would come back as new.
    std::vector<bool> recordCheck(const Account& account,
                                  const std::vector<std::string_view>& uniqueIds);

    // Whether a check of account is remembered.
    bool remembers(const Account& account) const;

    // Replaces the file at path only when the new one was written completely.
    bool save(const std::string& path) const;
    void write(core::RecordStream& stream) const;
    // What the file at path holds. A file that is missing, not this file or damaged in front
    // gives nothing; one cut off inside an account keeps the accounts before the cut.
    static SeenMessages load(const std::string& path);

    friend bool operator==(const SeenMessages&, const SeenMessages&) = default;

    struct AccountIds {
        std::string key;
        std::vector<std::string> ids; // as listed, each once
        friend bool operator==(const AccountIds&, const AccountIds&) = default;
    };
    // Least recently checked first.
    const std::vector<AccountIds>& accounts() const { return accounts_; }

private:
    void remember(AccountIds account);

    std::vector<AccountIds> accounts_;
};

// What a check brought to one account: the messages recordCheck called new, and how many of
// them the filters marked as spam. The new-mail notice is built from these.
struct NewMailCount {
    std::string account; // the account's address
    int newMessages = 0;
    int markedAsSpam = 0;
};

// Beside the settings file, by the same rules (dataFilePath).
std::string seenMessagesFilePath();

} // namespace toppeek::storage
