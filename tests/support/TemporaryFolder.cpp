#include "support/TemporaryFolder.h"

#include <cstdlib>
#include <string>

namespace toppeek::test {

namespace fs = std::filesystem;

TemporaryFolder::TemporaryFolder(std::string_view prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr)
        path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    if (!path_.empty())
        fs::remove_all(path_, ignored);
}

std::set<std::string> TemporaryFolder::names() const {
    std::set<std::string> result;
    for (const auto& entry : fs::directory_iterator(path_))
        result.insert(entry.path().filename().string());
    return result;
}

void TemporaryFolder::letOthersRead() const {
    fs::permissions(path_,
                    fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                        fs::perms::others_exec,
                    fs::perm_options::add);
}

} // namespace toppeek::test
