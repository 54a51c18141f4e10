// A save that cannot be completed must leave the previous file as it was
// and say so: the settings file holds the user's accounts.
#include "core/RecordStream.h"
#include "storage/FiltersFile.h"
#include "storage/RecordFields.h"
#include "storage/Settings.h"

#include "StorageTestUtil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace toppeek::storage;
using toppeek::core::RecordStream;
using toppeek::messages::createFilters;
using namespace storage_test;

namespace {

// Enough accounts that the file is far larger than the stream's buffer, so
// failures also hit the writes in the middle of the save, not only the last.
std::unique_ptr<Settings> largeSettings() {
    auto settings = createDefaultSettings();
    for (int i = 0; i < 100; ++i) {
        auto account = newAccount();
        account->address = account->host = account->userName = account->password = pattern(199, i);
        settings->accounts.append(account.release());
    }
    return settings;
}

// Fills the file system holding dir; false when it could not be filled.
bool fillFileSystem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const std::string block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    const bool full = errno == ENOSPC;
    std::string one = "x";
    while (::write(fd, one.data(), 1) > 0) {
    }
    ::close(fd);
    return full;
}

} // namespace

TEST(Durability, FailedWritesKeepTheOldFileAndReportFailure) {
    TempDir dir;
    const std::string path = dir.file("s.dat");
    ASSERT_TRUE(saveSettings(path, *createDefaultSettings()));
    const std::string old = readAll(path);

    auto settings = largeSettings();
    ASSERT_TRUE(saveSettings(dir.file("full.dat"), *settings));
    const long size = static_cast<long>(readAll(dir.file("full.dat")).size());
    std::filesystem::remove(dir.file("full.dat"));

    for (long allowed : {0L, 1L, 13L, 9999L, 10000L, 20000L, size - 1}) {
        SCOPED_TRACE(allowed);
        EXPECT_FALSE(saveReplacing(path, [&](RecordStream& stream) {
            stream.failWritesAfter(allowed);
            writeSettingsFile(stream, *settings);
        }));
        EXPECT_EQ(readAll(path), old);
        EXPECT_EQ(dir.names(), std::set<std::string>{"s.dat"});
    }
    // Exactly enough room is enough.
    EXPECT_TRUE(saveReplacing(path, [&](RecordStream& stream) {
        stream.failWritesAfter(size);
        writeSettingsFile(stream, *settings);
    }));
    EXPECT_EQ(static_cast<long>(readAll(path).size()), size);

    const std::string filtersPath = dir.file("f.dat");
    ASSERT_TRUE(saveFilters(*createFilters(), filtersPath));
    auto filters = createFilters();
    filters->bannedDomains.add(pattern(4095));
    filters->bannedDomains.add(pattern(4095, 1));
    filters->bannedDomains.add(pattern(4095, 2));
    EXPECT_FALSE(saveReplacing(filtersPath, [&](RecordStream& stream) {
        stream.failWritesAfter(5000);
        writeFiltersFile(stream, *filters);
    }));
    EXPECT_EQ(readAll(filtersPath).size(), 26u);
}

TEST(Durability, FullFileSystemKeepsTheOldFilesAndReportsFailure) {
    TempDir dir;
    const std::string mountPoint = dir.file("small");
    std::filesystem::create_directory(mountPoint);
    if (::mount("toppeek-test", mountPoint.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs to fill (needs root and mount permission "
                        "in this environment): "
                     << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};

    const std::string settingsPath = mountPoint + "/s.dat", filtersPath = mountPoint + "/f.dat";
    ASSERT_TRUE(saveSettings(settingsPath, *createDefaultSettings()));
    ASSERT_TRUE(saveFilters(*createFilters(), filtersPath));
    const std::string oldSettings = readAll(settingsPath);
    ASSERT_TRUE(fillFileSystem(mountPoint + "/filler"));

    auto filters = createFilters();
    filters->bannedDomains.add(pattern(4095));
    EXPECT_FALSE(saveSettings(settingsPath, *largeSettings()));
    EXPECT_FALSE(saveFilters(*filters, filtersPath));
    EXPECT_EQ(readAll(settingsPath), oldSettings);
    EXPECT_EQ(readAll(filtersPath).size(), 26u);
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(mountPoint))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"f.dat", "filler", "s.dat"}));

    // With room again the same saves go through.
    std::filesystem::remove(mountPoint + "/filler");
    EXPECT_TRUE(saveFilters(*filters, filtersPath));
    auto loaded = createFilters();
    ASSERT_TRUE(loadFilters(*loaded, filtersPath));
    EXPECT_EQ(loaded->bannedDomains.count(), 1);
}

// Temporary files that killed saves left behind go with the next save; files that merely look
// alike, and a save that may still be running elsewhere, are left alone.
TEST(Durability, ASaveRemovesTheStaleTemporariesOfCutOffSaves) {
    TempDir dir;
    const std::string path = dir.file("settings.dat");
    const auto make = [&](const std::string& name, bool old) {
        const std::string file = dir.file(name);
        std::FILE* out = std::fopen(file.c_str(), "w");
        ASSERT_NE(out, nullptr);
        std::fputs("half a save", out);
        std::fclose(out);
        if (old) {
            const timespec times[2] = {{::time(nullptr) - staleTemporaryAge - 5, 0},
                                       {::time(nullptr) - staleTemporaryAge - 5, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
        }
    };
    make("settings.dat.a1B2c3", true);
    make("settings.dat.ZZZZZZ", true);
    make("settings.dat.Fresh1", false); // another instance saving right now
    make("settings.dat.a1B2c", true);   // not what a save leaves
    make("settings.dat.a1B2c34", true);
    make("settings.dat.a1-2c3", true);
    make("filters.dat.a1B2c3", true); // another file's, removed by that file's save
    std::filesystem::create_directory(dir.file("settings.dat.dir123"));

    ASSERT_TRUE(saveSettings(path, *createDefaultSettings()));
    EXPECT_EQ(dir.names(),
              (std::set<std::string>{"settings.dat", "settings.dat.Fresh1", "settings.dat.a1B2c",
                                     "settings.dat.a1B2c34", "settings.dat.a1-2c3",
                                     "filters.dat.a1B2c3", "settings.dat.dir123"}));

    ASSERT_TRUE(saveFilters(*createFilters(), dir.file("filters.dat")));
    EXPECT_EQ(dir.names().count("filters.dat.a1B2c3"), 0u);
    EXPECT_EQ(dir.names().count("settings.dat.Fresh1"), 1u);
}
