// toppeek-demo-setup: writes the demo's settings and filters files into a folder, through the
// program's own storage code, under the names the program looks for beside its executable.
//
//   toppeek-demo-setup FOLDER HOST [SECURED_HOST]
//
// HOST is the demo server's "127.0.0.1:PORT"; SECURED_HOST, when the server offers STLS, its
// "pop3+stls://127.0.0.1:PORT", for a second account on the same mailbox.

#include "DemoFiles.h"
#include "storage/FiltersFile.h"

#include <cstdio>
#include <string>

using namespace toppeek::storage;

namespace {

std::string fileName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: toppeek-demo-setup FOLDER HOST [SECURED_HOST]\n", stderr);
        return 2;
    }
    std::optional<std::string> securedHost;
    if (argc == 4)
        securedHost = argv[3];
    const std::string folder = std::string(argv[1]) + "/";
    const std::string settingsPath = folder + fileName(settingsFilePath());
    const std::string filtersPath = folder + fileName(filtersFilePath());
    if (!saveSettings(settingsPath, *toppeek::demo::demoSettings(argv[2], securedHost))) {
        std::fprintf(stderr, "toppeek-demo-setup: cannot write %s\n", settingsPath.c_str());
        return 1;
    }
    if (!saveFilters(*toppeek::demo::demoFilters(), filtersPath)) {
        std::fprintf(stderr, "toppeek-demo-setup: cannot write %s\n", filtersPath.c_str());
        return 1;
    }
    return 0;
}
