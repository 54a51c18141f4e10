#include "storage/SeenMessages.h"

#include "core/DataFiles.h"
#include "core/RecordStream.h"
#include "storage/RecordFields.h"
#include "storage/Settings.h"

#include <algorithm>
#include <unordered_set>

namespace toppeek::storage {

using core::dataFilePath;
using core::RecordStream;

namespace {

constexpr const char* seenMessagesFileName = "toppeek-seen.dat";
constexpr std::string_view kSeenMessagesSignature = "\x1ATopPeekSeen1";
// Address, host and user name with the two line breaks between them.
constexpr int kMaxKeyLength = 3 * Account::kMaxTextLength + 2;

std::string accountKey(const Account& account) {
    return keyringItemFor(account).key;
}

bool storable(std::string_view uniqueId) {
    return !uniqueId.empty() && uniqueId.size() <= SeenMessages::kMaxUniqueIdLength;
}

// The ids to store: storable ones, each once, the last kMaxIdsPerAccount of them.
std::vector<std::string> keptIds(const std::vector<std::string_view>& uniqueIds) {
    std::vector<std::string> kept;
    std::unordered_set<std::string_view> taken;
    for (auto id = uniqueIds.rbegin(); id != uniqueIds.rend(); ++id) {
        if (std::ssize(kept) == SeenMessages::kMaxIdsPerAccount)
            break;
        if (storable(*id) && taken.insert(*id).second)
            kept.emplace_back(*id);
    }
    std::reverse(kept.begin(), kept.end());
    return kept;
}

} // namespace

std::vector<bool> SeenMessages::recordCheck(const Account& account,
                                            const std::vector<std::string_view>& uniqueIds) {
    const std::string key = accountKey(account);
    std::vector<bool> fresh(uniqueIds.size(), false);
    auto earlier = std::find_if(accounts_.begin(), accounts_.end(),
                                [&](const AccountIds& a) { return a.key == key; });
    if (earlier != accounts_.end()) {
        const std::unordered_set<std::string_view> seen(earlier->ids.begin(), earlier->ids.end());
        for (std::size_t i = 0; i < uniqueIds.size(); ++i)
            fresh[i] = storable(uniqueIds[i]) && !seen.contains(uniqueIds[i]);
    }
    remember({key, keptIds(uniqueIds)});
    return fresh;
}

bool SeenMessages::remembers(const Account& account) const {
    const std::string key = accountKey(account);
    return std::any_of(accounts_.begin(), accounts_.end(),
                       [&](const AccountIds& a) { return a.key == key; });
}

void SeenMessages::remember(AccountIds account) {
    std::erase_if(accounts_, [&](const AccountIds& a) { return a.key == account.key; });
    accounts_.push_back(std::move(account));
    if (std::ssize(accounts_) > kMaxAccounts)
        accounts_.erase(accounts_.begin(), accounts_.end() - kMaxAccounts);
}

void SeenMessages::write(RecordStream& stream) const {
    stream.writeSignature(kSeenMessagesSignature);
    writeCount(stream, static_cast<int>(accounts_.size()));
    for (const AccountIds& account : accounts_) {
        writeText(stream, account.key, kMaxKeyLength);
        writeCount(stream, static_cast<int>(account.ids.size()));
        for (const std::string& id : account.ids)
            writeText(stream, id, static_cast<int>(kMaxUniqueIdLength));
    }
}

bool SeenMessages::save(const std::string& path) const {
    return saveReplacing(path, [&](RecordStream& stream) { write(stream); });
}

SeenMessages SeenMessages::load(const std::string& path) {
    SeenMessages seen;
    std::unique_ptr<RecordStream> stream = RecordStream::open(path, false);
    if (!stream || !stream->expectSignature(kSeenMessagesSignature))
        return seen;
    const int accounts = readCount(*stream).value_or(0);
    for (int a = 0; a < accounts; ++a) {
        std::optional<std::string> key = readText(*stream, kMaxKeyLength + 1);
        const std::optional<int> count = key ? readCount(*stream) : std::nullopt;
        if (!count)
            break;
        std::vector<std::string> ids;
        std::vector<std::string_view> listed;
        int i = 0;
        for (; i < *count; ++i) {
            // One character more than a stored id may have shows a foreign one.
            std::optional<std::string> id =
                readText(*stream, static_cast<int>(kMaxUniqueIdLength) + 2);
            if (!id)
                break;
            ids.push_back(std::move(*id));
        }
        if (i < *count)
            break;
        listed.assign(ids.begin(), ids.end());
        seen.remember({std::move(*key), keptIds(listed)});
    }
    RecordStream::close(std::move(stream));
    return seen;
}

std::string seenMessagesFilePath() {
    return dataFilePath(seenMessagesFileName);
}

} // namespace toppeek::storage
