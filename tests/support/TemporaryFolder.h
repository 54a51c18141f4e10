// A folder of a test's own under /tmp, removed with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

namespace toppeek::test {

class TemporaryFolder {
public:
    // The prefix shows in the folder's name, so that one left behind by a killed run says
    // which test made it. path() is empty when no folder could be made.
    explicit TemporaryFolder(std::string_view prefix = "toppeek");
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    bool valid() const { return !path_.empty(); }
    std::string file(std::string_view name) const { return (path_ / name).string(); }
    // The names of the entries directly inside, to show that nothing was left beside a file.
    std::set<std::string> names() const;
    // mkdtemp makes the folder 0700; servers started under other users read it too.
    void letOthersRead() const;

private:
    std::filesystem::path path_;
};

} // namespace toppeek::test
