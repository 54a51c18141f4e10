// Writes and reads settings files for the desktop smoke test, through the
// program's own storage code so that the test never depends on the layout.
//
//   settings_tool write PATH HOST   one account at HOST, selectedAccount
//                                   deliberately past the end of the list
//   settings_tool selected PATH     prints selectedAccount of the file
//   settings_tool filename          prints the name the program gives the
//                                   file beside its executable

#include "core/Calendar.h"
#include "storage/Settings.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

using namespace toppeek::storage;
using toppeek::core::todayNumber;

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "write") == 0) {
        std::unique_ptr<Settings> settings = createDefaultSettings();
        std::unique_ptr<Account> account = newAccount();
        account->address = "smoke@example.com";
        account->host = argv[3];
        account->userName = "smoke";
        account->password = "secret";
        settings->accounts.append(account.release());
        // The program clamps it into the list when it fills its account
        // selector, so the file it writes at exit says 0.
        settings->selectedAccount = 5;
        // Checked today already: the program must not look for an update on the network
        // while it is tested.
        settings->lastUpdateCheckDay = static_cast<std::uint32_t>(todayNumber());
        return saveSettings(argv[2], *settings) ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "selected") == 0) {
        std::unique_ptr<Settings> settings = createDefaultSettings();
        if (!loadSettings(argv[2], *settings))
            return 1;
        std::printf("%d\n", settings->selectedAccount);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "filename") == 0) {
        const std::string path = settingsFilePath();
        std::printf("%s\n", path.substr(path.rfind('/') + 1).c_str());
        return 0;
    }
    std::fputs("usage: settings_tool write PATH HOST | selected PATH | filename\n", stderr);
    return 2;
}
