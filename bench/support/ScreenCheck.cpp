#include "ScreenCheck.h"

#include "mail/Connection.h"
#include "storage/Settings.h"
#include "support/ScriptedMessageBoxes.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace toppeek::storage;

extern char** environ;

namespace toppeek::bench {

using ui::MainWindow;

namespace {

constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 1000;

// Reads everything fd gives until its writers are gone, or one line when oneLine is set and
// waits at most timeoutMs for it.
std::string readFrom(int fd, bool oneLine, int timeoutMs) {
    std::string text;
    char chunk[256];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (oneLine) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            pollfd wait{fd, POLLIN, 0};
            if (left <= 0 || ::poll(&wait, 1, static_cast<int>(left)) <= 0)
                break;
        }
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(got));
        if (oneLine && text.find('\n') != std::string::npos)
            break;
    }
    return text;
}

} // namespace

VirtualDisplay::VirtualDisplay() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    // Xvfb writes its display number to the descriptor it is given, once it takes clients.
    const int writeEnd = 3;
    const std::string fdText = std::to_string(writeEnd);
    std::vector<const char*> argv{"Xvfb",     "-displayfd",   fdText.c_str(), "-screen",
                                  "0",        "1600x1200x24", "-nolisten",    "tcp",
                                  "-noreset", nullptr};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, fds[1], writeEnd);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, "Xvfb", &actions, nullptr,
                                       const_cast<char* const*>(argv.data()), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned == 0) {
        pid_ = pid;
        std::string number = readFrom(fds[0], true, 15000);
        number.erase(number.find_last_not_of("\r\n ") + 1);
        if (!number.empty())
            display_ = ":" + number;
    }
    ::close(fds[0]);
}

VirtualDisplay::~VirtualDisplay() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::vector<double> timeWindowChecks(const ScreenCheckAccount& account, int runs,
                                     const std::string& platform, const std::string& display) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "QT_QPA_PLATFORM=", 16) != 0 &&
            std::strncmp(*entry, "DISPLAY=", 8) != 0)
            environment.emplace_back(*entry);
    }
    environment.push_back("QT_QPA_PLATFORM=" + platform);
    if (!display.empty())
        environment.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> args{self,
                                  kScreenCheckChildFlag,
                                  account.host,
                                  account.user,
                                  account.password,
                                  std::to_string(account.messages),
                                  std::to_string(runs)};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string output = spawned == 0 ? readFrom(out[0], false, 0) : std::string();
    ::close(out[0]);
    if (spawned != 0)
        return {};
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    std::vector<double> seconds;
    std::istringstream in(output);
    std::string word;
    double value = 0;
    while (in >> word >> value) {
        if (word == "check")
            seconds.push_back(value);
    }
    return static_cast<int>(seconds.size()) == runs ? seconds : std::vector<double>{};
}

int screenCheckChild(int argc, char** argv) {
    if (argc != 7)
        return 2;
    QApplication application(argc, argv);
    mail::startConnectionLayer();
    const int messages = std::atoi(argv[5]);
    const int runs = std::atoi(argv[6]);
    test::ScriptedMessageBoxes boxes;
    QTemporaryDir dir;
    const std::string settingsPath = dir.filePath("settings.dat").toStdString();
    const std::string filtersPath = dir.filePath("filters.dat").toStdString();
    {
        std::unique_ptr<Settings> settings = createDefaultSettings();
        std::unique_ptr<Account> account = newAccount();
        account->address = "bench@example.com";
        account->host = argv[2];
        account->userName = argv[3];
        account->password = argv[4];
        settings->accounts.append(account.release());
        settings->maxMessages = messages;
        if (!saveSettings(settingsPath, *settings))
            return 1;
    }
    int status = 0;
    {
        MainWindow window(settingsPath, filtersPath);
        window.resize(kWindowWidth, kWindowHeight);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window, 10000) ||
            !QTest::qWaitFor([&] { return window.firstActivationDone(); }, 10000))
            status = 1;
        // One check first, untimed: the first paint of a full list sets up fonts and caches.
        for (int run = -1; status == 0 && run < runs; ++run) {
            QTest::qWait(50);
            const auto start = std::chrono::steady_clock::now();
            window.OpenConnection();
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (window.messageView->rowCount() != messages || !boxes.shown().empty()) {
                status = 1;
                break;
            }
            if (run >= 0)
                std::printf("check %.6f\n", seconds);
            window.CloseConnection();
        }
    }
    std::fflush(stdout);
    mail::stopConnectionLayer();
    return status;
}

} // namespace toppeek::bench
