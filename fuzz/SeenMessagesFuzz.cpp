// The file of the ids each account's last check listed, as any damaged, cut or foreign file may
// hold it. Whatever loads stays within the bounds and saves and loads again to the same record.
#include "FuzzSupport.h"

#include "storage/SeenMessages.h"

using toppeek::storage::SeenMessages;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& directory = toppeek::fuzz::scratchDirectory();
    const std::string input = directory + "/input.seen";
    const std::string again = directory + "/again.seen";
    toppeek::fuzz::writeFile(input, data, size);

    const SeenMessages loaded = SeenMessages::load(input);
    FUZZ_CHECK(std::ssize(loaded.accounts()) <= SeenMessages::kMaxAccounts);
    for (const auto& account : loaded.accounts()) {
        FUZZ_CHECK(std::ssize(account.ids) <= SeenMessages::kMaxIdsPerAccount);
        for (const std::string& id : account.ids)
            FUZZ_CHECK(!id.empty() && id.size() <= SeenMessages::kMaxUniqueIdLength);
    }
    FUZZ_CHECK(loaded.save(again));
    FUZZ_CHECK(SeenMessages::load(again) == loaded);
    return 0;
}
