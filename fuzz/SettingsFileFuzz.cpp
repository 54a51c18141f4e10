// The settings file as any damaged, cut or foreign file may hold it. Whatever loads must save
// and load again to the same record.
#include "FuzzSupport.h"

#include "storage/Settings.h"

using namespace toppeek::storage;

namespace {

bool sameAccount(const Account& a, const Account& b) {
    return a.accountTag == b.accountTag && a.address == b.address && a.host == b.host &&
           a.port == b.port && a.userName == b.userName && a.password == b.password;
}

bool sameSettings(const Settings& a, const Settings& b) {
    if (a.accounts.count() != b.accounts.count()) {
        return false;
    }
    for (int i = 0; i < a.accounts.count(); ++i) {
        if (!sameAccount(*a.accounts.at(i), *b.accounts.at(i))) {
            return false;
        }
    }
    return a.bodyLines == b.bodyLines && a.selectedAccount == b.selectedAccount &&
           a.showAbout == b.showAbout && a.maxMessages == b.maxMessages && a.useApop == b.useApop &&
           a.reservedFlag == b.reservedFlag && a.reservedText1 == b.reservedText1 &&
           a.reservedText2 == b.reservedText2 && a.reservedText3 == b.reservedText3 &&
           a.reservedText4 == b.reservedText4 && a.lastUpdateCheckDay == b.lastUpdateCheckDay;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& directory = toppeek::fuzz::scratchDirectory();
    const std::string input = directory + "/input.cnf";
    const std::string again = directory + "/again.cnf";
    toppeek::fuzz::writeFile(input, data, size);

    std::unique_ptr<Settings> loaded = createDefaultSettings();
    if (!loadSettings(input, *loaded)) {
        // A file that is not a settings file leaves the record alone.
        FUZZ_CHECK(sameSettings(*loaded, *createDefaultSettings()));
        return 0;
    }
    for (const Account* account : loaded->accounts) {
        FUZZ_CHECK(account != nullptr);
        FUZZ_CHECK(account->address.size() <= Account::kMaxTextLength);
        FUZZ_CHECK(account->host.size() <= Account::kMaxTextLength);
        FUZZ_CHECK(account->userName.size() <= Account::kMaxTextLength);
        FUZZ_CHECK(account->password.size() <= Account::kMaxTextLength);
    }

    FUZZ_CHECK(saveSettings(again, *loaded));
    std::unique_ptr<Settings> reloaded = createDefaultSettings();
    FUZZ_CHECK(loadSettings(again, *reloaded));
    FUZZ_CHECK(sameSettings(*loaded, *reloaded));
    freeSettings(std::move(loaded));
    freeSettings(std::move(reloaded));
    return 0;
}
