// Saves killed at random moments, and saves into a file system that runs out of space: each file
// must always be either the complete old one or the complete new one, one that loads with its
// signature and every record.
//
// A child process saves the settings and the filters over and over, switching between two
// versions of each, until it is killed with SIGKILL after a random delay. The parent then looks
// at both files. TOPPEEK_KILL_TRIALS sets the number of kills (100 here; scripts/hostile.sh runs
// 1000); TOPPEEK_HOSTILE_LONG=1 alone gives 500.
#include "storage/FiltersFile.h"
#include "storage/Settings.h"

#include "StorageTestUtil.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace toppeek::storage;
using namespace toppeek::messages;
using namespace storage_test;

namespace {

int killTrials() {
    if (const char* trials = std::getenv("TOPPEEK_KILL_TRIALS"); trials && std::atoi(trials) > 0)
        return std::atoi(trials);
    const char* longRun = std::getenv("TOPPEEK_HOSTILE_LONG");
    return longRun && *longRun && std::string(longRun) != "0" ? 500 : 100;
}

// Two versions of each file, different in size and in every record, so that a mixture of the
// two or a cut-off file can never pass for either.
std::unique_ptr<Settings> settingsVersion(int version) {
    auto settings = createDefaultSettings();
    settings->bodyLines = static_cast<std::int16_t>(10 + version);
    settings->maxMessages = 100 + version;
    settings->lastUpdateCheckDay = 700000u + static_cast<unsigned>(version);
    for (int i = 0; i < (version == 0 ? 3 : 60); ++i) {
        auto account = newAccount();
        account->accountTag = static_cast<std::int16_t>(i);
        account->address = "user" + std::to_string(i) + "@example.org";
        account->host = pattern(version == 0 ? 20 : 199, i);
        account->userName = pattern(version == 0 ? 10 : 199, i + 7);
        account->password = pattern(version == 0 ? 12 : 199, i + 13);
        settings->accounts.append(account.release());
    }
    return settings;
}

std::unique_ptr<Filters> filtersVersion(int version) {
    auto filters = createFilters();
    for (int i = 0; i < (version == 0 ? 2 : 120); ++i) {
        auto rule = createFilterRule();
        rule->kind = static_cast<RuleKind>(i % 3);
        rule->fromText = pattern(version == 0 ? 5 : 199, i);
        rule->subjectText = pattern(version == 0 ? 6 : 150, i + 1);
        rule->headersText = pattern(version == 0 ? 7 : 99, i + 2);
        filters->rules.append(rule.release());
    }
    for (int i = 0; i < (version == 0 ? 1 : 200); ++i)
        filters->bannedDomains.add("banned" + std::to_string(i) + ".example");
    filters->friendlyDomains.add(version == 0 ? "friend.example" : "other-friend.example");
    filters->rulesEnabled = filters->bannedEnabled = 1;
    filters->friendlyEnabled = static_cast<std::uint8_t>(version);
    return filters;
}

// What the parent and the child share: the child's counts and its first finished save.
struct Shared {
    std::atomic<int> started{0};
    std::atomic<long> saved{0};
    std::atomic<long> failed{0};
    std::atomic<int> violation{0};
};
static_assert(std::atomic<long>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

struct Files {
    std::string settings;
    std::string filters;
    std::array<std::string, 2> settingsBytes; // the complete file of each version
    std::array<std::string, 2> filtersBytes;
};

// Sets the filler file to a random size, so that some saves find room and some do not.
void refill(const std::string& filler, std::mt19937& random, long most) {
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (::ftruncate(fd, 0) == 0)
        ::posix_fallocate(fd, 0, static_cast<off_t>(random() % static_cast<unsigned long>(most)));
    ::close(fd);
}

// The child: saves forever. With a filler it also checks each save itself: a successful one
// leaves the new file, a failed one the old file.
[[noreturn]] void saveForever(const Files& files, Shared& shared, const std::string& filler,
                              long fillerMost, unsigned seed) {
    std::mt19937 random(seed);
    std::array<std::unique_ptr<Settings>, 2> settings{settingsVersion(0), settingsVersion(1)};
    std::array<std::unique_ptr<Filters>, 2> filters{filtersVersion(0), filtersVersion(1)};
    for (int version = static_cast<int>(random() % 2);; version ^= 1) {
        if (!filler.empty())
            refill(filler, random, fillerMost);
        for (int file = 0; file < 2; ++file) {
            const std::string& path = file == 0 ? files.settings : files.filters;
            const std::string& wanted =
                file == 0 ? files.settingsBytes[version] : files.filtersBytes[version];
            const std::string before = filler.empty() ? std::string() : readAll(path);
            const bool ok = file == 0 ? saveSettings(path, *settings[version])
                                      : saveFilters(*filters[version], path);
            (ok ? shared.saved : shared.failed)++;
            if (filler.empty())
                continue;
            if (readAll(path) != (ok ? wanted : before)) {
                shared.violation = 1;
                ::_exit(3);
            }
            // A save that ran out of space takes its temporary file away again.
            if (std::distance(
                    std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()),
                    std::filesystem::directory_iterator()) != 3) {
                shared.violation = 2;
                ::_exit(3);
            }
        }
        shared.started = 1;
    }
}

// Loads the file and writes what was loaded again: the same bytes mean every record came back.
std::string reloaded(bool settingsFile, const std::string& path, const std::string& scratch) {
    if (settingsFile) {
        auto settings = createDefaultSettings();
        if (!loadSettings(path, *settings) || !saveSettings(scratch, *settings))
            return "(does not load)";
    } else {
        auto filters = createFilters();
        if (!loadFilters(*filters, path) || !saveFilters(*filters, scratch))
            return "(does not load)";
    }
    return readAll(scratch);
}

struct Figures {
    int trials = 0;
    int killedInsideASave = 0; // a temporary file was left behind
    long saved = 0;
    long failed = 0;
};

// Runs the kill trials on files in dir; with a filler, the file system there runs short of
// space at random. Removes the temporary files that killed saves leave behind.
void killRepeatedly(const std::string& dir, const std::string& scratchDir,
                    const std::string& filler, long fillerMost, Figures& figures) {
    Files files{dir + "/settings.dat", dir + "/filters.dat", {}, {}};
    const std::string scratch = scratchDir + "/scratch.dat";
    for (int version = 0; version < 2; ++version) {
        EXPECT_TRUE(saveSettings(scratch, *settingsVersion(version)));
        files.settingsBytes[version] = readAll(scratch);
        EXPECT_TRUE(saveFilters(*filtersVersion(version), scratch));
        files.filtersBytes[version] = readAll(scratch);
    }
    EXPECT_TRUE(saveSettings(files.settings, *settingsVersion(0)));
    EXPECT_TRUE(saveFilters(*filtersVersion(0), files.filters));

    void* memory =
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(memory, MAP_FAILED);
    if (memory == MAP_FAILED)
        return;
    Shared& shared = *new (memory) Shared;
    struct Unmap {
        void* memory;
        ~Unmap() { ::munmap(memory, sizeof(Shared)); }
    } unmap{memory};

    std::mt19937 random(20261207);
    const int trials = killTrials();
    for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE("kill " + std::to_string(trial));
        shared.started = 0;
        std::fflush(nullptr);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0) << std::strerror(errno);
        if (child == 0)
            saveForever(files, shared, filler, fillerMost, static_cast<unsigned>(random()));

        // Wait for a first round of saves, then kill at a random moment of the ones after it.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (shared.started == 0 && shared.violation == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 15000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_NE(shared.violation, 1) << "a save left neither the old nor the new file";
        ASSERT_NE(shared.violation, 2) << "a failed save left its temporary file behind";
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the saving process ended on its own, status " << status;

        const std::string settingsNow = readAll(files.settings);
        const std::string filtersNow = readAll(files.filters);
        ASSERT_TRUE(settingsNow == files.settingsBytes[0] || settingsNow == files.settingsBytes[1])
            << "settings file of " << settingsNow.size() << " bytes";
        ASSERT_TRUE(filtersNow == files.filtersBytes[0] || filtersNow == files.filtersBytes[1])
            << "filters file of " << filtersNow.size() << " bytes";
        ASSERT_EQ(reloaded(true, files.settings, scratch), settingsNow);
        ASSERT_EQ(reloaded(false, files.filters, scratch), filtersNow);

        bool leftOver = false;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (name != "settings.dat" && name != "filters.dat" &&
                entry.path().string() != filler) {
                leftOver = true;
                std::filesystem::remove(entry.path());
            }
        }
        figures.killedInsideASave += leftOver;
        ++figures.trials;
    }
    figures.saved = shared.saved;
    figures.failed = shared.failed;
}

void report(const char* what, const Figures& figures) {
    std::printf("[   INFO   ] %s: %d kills, %d inside a save; %ld saves done, %ld refused\n", what,
                figures.trials, figures.killedInsideASave, figures.saved, figures.failed);
}

} // namespace

TEST(CrashSafeFiles, AKilledSaveLeavesTheOldOrTheNewFileWhole) {
    TempDir dir, scratch;
    Figures figures;
    killRepeatedly(dir.path().string(), scratch.path().string(), "", 0, figures);
    report("killed saves", figures);
    EXPECT_EQ(figures.trials, killTrials());
    // Kills landing between the saves only would prove nothing.
    EXPECT_GT(figures.killedInsideASave, 0);
}

TEST(CrashSafeFiles, AKilledSaveOnAFileSystemRunningOutOfSpace) {
    TempDir dir, scratch;
    const std::string mountPoint = dir.file("small");
    std::filesystem::create_directory(mountPoint);
    // Room for both files of the larger version and a temporary copy, unless the filler takes
    // it: it grows to a random size before every round of saves.
    constexpr long kSpace = 512 * 1024;
    if (::mount("toppeek-crash-test", mountPoint.c_str(), "tmpfs", 0, "size=512k,mode=0700") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs to run out of space in (needs root and mount "
                        "permission): "
                     << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};

    Figures figures;
    killRepeatedly(mountPoint, scratch.path().string(), mountPoint + "/filler", kSpace, figures);
    report("killed saves running out of space", figures);
    EXPECT_EQ(figures.trials, killTrials());
    EXPECT_GT(figures.failed, 0) << "no save ran out of space";
    EXPECT_GT(figures.saved, 0);
}
