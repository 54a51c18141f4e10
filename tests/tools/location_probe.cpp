// Prints the folder the program reads its guide from and the paths of its data files, as the
// program itself would find them from where this executable lies.

#include "shell/Help.h"
#include "storage/FiltersFile.h"
#include "storage/Settings.h"
#include "ui/HeaderListing.h"

#include <cstdio>

using toppeek::storage::filtersFilePath;
using toppeek::storage::settingsFilePath;
using toppeek::ui::headerListingPath;

int main() {
    std::printf("help %s\n", toppeek::shell::helpFolder().c_str());
    std::printf("settings %s\n", settingsFilePath().c_str());
    std::printf("filters %s\n", filtersFilePath().c_str());
    std::printf("headers %s\n", headerListingPath().c_str());
    return 0;
}
