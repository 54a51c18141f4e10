// Where the data files go: beside the executable when its folder is writable, else in the
// user's configuration folder, made private. The tests run as root, for whom every folder is
// writable, so the "not writable" answer comes through the seam.

#include "core/DataFiles.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace toppeek::core;

namespace {

namespace fs = std::filesystem;

bool neverWritable(const std::string&) {
    return false;
}

class DataFilePath : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root / "bin");
        surroundings.programFolder = (root / "bin").string() + "/";
    }

    static unsigned modeOf(const fs::path& folder) {
        struct stat status {};
        EXPECT_EQ(::stat(folder.c_str(), &status), 0) << folder;
        return status.st_mode & 07777;
    }

    toppeek::test::TemporaryFolder folder{"toppeek-datafile"};
    const fs::path root = folder.path();
    DataFileSurroundings surroundings;
};

TEST_F(DataFilePath, AWritableProgramFolderKeepsTheFilesBesideTheExecutable) {
    surroundings.configHome = (root / "config").string();
    surroundings.home = (root / "home").string();
    EXPECT_EQ(dataFilePathIn("toppeek-settings.dat", surroundings),
              surroundings.programFolder + "toppeek-settings.dat");
    EXPECT_EQ(dataFilePathIn("../elsewhere/toppeek-filters.dat", surroundings),
              surroundings.programFolder + "toppeek-filters.dat");
    EXPECT_FALSE(fs::exists(root / "config")); // nothing is made where nothing goes
    EXPECT_FALSE(fs::exists(root / "home"));
}

TEST_F(DataFilePath, AReadOnlyProgramFolderSendsThemToThePrivateConfigFolder) {
    surroundings.isWritable = neverWritable;
    surroundings.configHome = (root / "config").string() + "/";
    surroundings.home = (root / "home").string();
    const fs::path folder = root / "config" / "toppeek";
    EXPECT_EQ(dataFilePathIn("toppeek-settings.dat", surroundings),
              (folder / "toppeek-settings.dat").string());
    ASSERT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(root / "config"), 0700u);
    // A second file goes to the same folder, which stays as it is.
    EXPECT_EQ(dataFilePathIn("/x/toppeek-headers.txt", surroundings),
              (folder / "toppeek-headers.txt").string());
}

TEST_F(DataFilePath, WithoutAnAbsoluteXdgConfigHomeTheHomesConfigFolderIsUsed) {
    surroundings.isWritable = neverWritable;
    surroundings.home = (root / "home").string();
    const fs::path folder = root / "home" / ".config" / "toppeek";
    EXPECT_EQ(dataFilePathIn("toppeek-filters.dat", surroundings),
              (folder / "toppeek-filters.dat").string());
    EXPECT_EQ(modeOf(folder), 0700u);

    // The XDG base directory rules say a relative value is to be ignored.
    surroundings.configHome = "relative/config";
    EXPECT_EQ(dataFilePathIn("toppeek-filters.dat", surroundings),
              (folder / "toppeek-filters.dat").string());
    EXPECT_FALSE(fs::exists("relative"));
}

TEST_F(DataFilePath, AnExistingConfigFolderKeepsItsPermissions) {
    surroundings.isWritable = neverWritable;
    surroundings.configHome = (root / "config").string();
    fs::create_directories(root / "config" / "toppeek");
    fs::permissions(root / "config" / "toppeek", fs::perms(0750));
    dataFilePathIn("toppeek-settings.dat", surroundings);
    EXPECT_EQ(modeOf(root / "config" / "toppeek"), 0750u);
}

TEST_F(DataFilePath, NowhereElseToGoAndOverlongPaths) {
    surroundings.isWritable = neverWritable;
    EXPECT_EQ(dataFilePathIn("toppeek-settings.dat", surroundings),
              surroundings.programFolder + "toppeek-settings.dat");

    std::string deep = root.string();
    while (deep.size() < 270)
        deep += "/abcdefgh";
    surroundings.configHome = deep;
    EXPECT_EQ(dataFilePathIn("toppeek-settings.dat", surroundings), "");
    EXPECT_FALSE(fs::exists(root / "abcdefgh")); // no folder for a file that cannot be saved
}

TEST_F(DataFilePath, TheRealOneUsesTheTestsOwnWritableFolder) {
    // The test executable lies in the build tree, which is writable.
    const std::string besides = programFilePath("toppeek-settings.dat");
    if (!besides.empty()) {
        EXPECT_EQ(dataFilePath("toppeek-settings.dat"), besides);
    }
}

TEST(ProgramFilePath, UsesTheExecutablesFolderAndTheLastNameComponent) {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    std::string folder(exe, static_cast<std::size_t>(n));
    folder.resize(folder.rfind('/') + 1);

    if (folder.size() + 12 <= 260) {
        EXPECT_EQ(programFilePath("settings.dat"), folder + "settings.dat");
        EXPECT_EQ(programFilePath("/etc/elsewhere/settings.dat"), folder + "settings.dat");
        EXPECT_EQ(programFilePath("../up/settings.dat"), folder + "settings.dat");
    }
    const std::string tooLong(300, 'n');
    EXPECT_EQ(programFilePath(tooLong.c_str()), "");
    EXPECT_LE(programFilePath(std::string(260 - folder.size(), 'x').c_str()).size(), 260u);
    EXPECT_EQ(programFilePath(std::string(260 - folder.size(), 'x').c_str()).size(), 260u);
}

} // namespace
