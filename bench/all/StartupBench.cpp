#include "StartupBench.h"

#include "BenchCommon.h"
#include "core/Memory.h"
#include "mail/Connection.h"
#include "shell/Help.h"
#include "shell/MainWindowHooks.h"
#include "shell/UpdateCheck.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace toppeek::bench {

namespace {

using toppeek::ui::MainWindow;
using toppeek::ui::ShellHooks;

// The update check runs in the background: a silent address must not hold the window back.
constexpr double kSilentBoundMs = 300;

// Nanoseconds of CLOCK_MONOTONIC, which parent and child share.
long long monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct StartupRun {
    double toChecked = -1; // seconds from the start to the update check's return
    double toPainted = -1; // seconds from the start to the first painted main window
    double toClose = -1;   // seconds the main window took to close, the check still running
};

// Starts this program as the child above and reads its times; negative ones on failure.
StartupRun timeStartup(const std::filesystem::path& dir, const std::string& url) {
    StartupRun run;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    int out[2];
    if (::pipe(out) != 0)
        return run;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string dirText = dir.string();
    std::vector<char*> argv{const_cast<char*>(self.c_str()), const_cast<char*>(kStartupChildFlag),
                            const_cast<char*>(dirText.c_str()), const_cast<char*>(url.c_str()),
                            nullptr};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_addclose(&actions, out[0]);
    ::posix_spawn_file_actions_addclose(&actions, out[1]);
    pid_t pid = -1;
    const long long started = monotonicNs();
    const int spawned = ::posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string output;
    if (spawned == 0) {
        char chunk[256];
        for (ssize_t got; (got = ::read(out[0], chunk, sizeof chunk)) != 0;) {
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                break;
            output.append(chunk, static_cast<std::size_t>(got));
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            output.clear();
    }
    ::close(out[0]);
    std::istringstream in(output);
    std::string word;
    long long checked = 0;
    long long painted = 0;
    long long closing = -1;
    in >> word >> checked >> word >> painted >> word >> closing;
    if (checked > 0 && painted > 0) {
        run.toChecked = static_cast<double>(checked - started) / 1e9;
        run.toPainted = static_cast<double>(painted - started) / 1e9;
        run.toClose = static_cast<double>(closing) / 1e9;
    }
    return run;
}

// A TCP socket on 127.0.0.1 with a port of its own; -1 on failure.
int loopbackSocket(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Accepts every connection on 127.0.0.1 and never sends a byte; the connections stay open until
// the object goes.
class SilentListener {
public:
    SilentListener() {
        fd_ = loopbackSocket(port_);
        if (fd_ >= 0 && ::listen(fd_, 16) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0)
            thread_ = std::thread([this] { run(); });
    }
    ~SilentListener() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        for (int fd : accepted_)
            ::close(fd);
        if (fd_ >= 0)
            ::close(fd_);
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    bool ok() const { return fd_ >= 0; }
    int port() const { return port_; }

private:
    void run() {
        while (!stop_) {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, 100) > 0) {
                int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0)
                    accepted_.push_back(fd);
            }
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<int> accepted_;
};

} // namespace

// The child: the program's own start (main.cpp) with the update check due and aimed at url.
// Prints when the update check returned and when the main window's first paint was done.
int startupChild(int argc, char** argv) {
    const std::filesystem::path dir = argv[2];
    const std::string url = argv[3];
    QApplication application(argc, argv);
    toppeek::core::installOutOfMemoryHandler();
    toppeek::shell::installHelpKeyInEveryWindow();
    toppeek::mail::startConnectionLayer();

    long long checked = 0;
    std::unique_ptr<toppeek::shell::BackgroundUpdateCheck> check;
    ShellHooks hooks = toppeek::shell::mainWindowHooks();
    hooks.startupUpdateCheck = [&](std::uint32_t& lastUpdateCheckDay) {
        toppeek::shell::UpdateCheckRequest request = toppeek::shell::programUpdateRequest();
        request.versionUrl = url;
        request.question = "A newer version is out. Look at it?";
        request.homePageUrl = "http://127.0.0.1:9/";
        check = std::make_unique<toppeek::shell::BackgroundUpdateCheck>(std::move(request),
                                                                        lastUpdateCheckDay);
        checked = monotonicNs();
    };
    hooks.stopStartupUpdateCheck = [&] { check.reset(); };

    // The time is taken once the pass of event processing that delivered the first paint to the
    // main window (or one of its controls) is over, so the whole window has been drawn.
    struct FirstPaint : QObject {
        QWidget* window = nullptr;
        long long painted = 0;
        bool seen = false;
        bool eventFilter(QObject* object, QEvent* event) override {
            if (!seen && window != nullptr && event->type() == QEvent::Paint) {
                auto* widget = qobject_cast<QWidget*>(object);
                if (widget != nullptr && widget->window() == window) {
                    seen = true;
                    QTimer::singleShot(0, qApp, [this] {
                        painted = monotonicNs();
                        QApplication::quit();
                    });
                }
            }
            return false;
        }
    } firstPaint;
    application.installEventFilter(&firstPaint);

    auto window = std::make_unique<MainWindow>(
        (dir / "toppeek.ini").string(), (dir / "filters.dat").string(), nullptr, std::move(hooks));
    firstPaint.window = window.get();
    window->show();
    QTimer::singleShot(60000, qApp, [] { QApplication::quit(); });
    QApplication::exec();
    application.removeEventFilter(&firstPaint);
    // Closing while the check still waits for its answer.
    const long long closing = monotonicNs();
    window.reset();
    const long long closed = monotonicNs();
    std::printf("checked %lld\npainted %lld\nclosed %lld\n", checked, firstPaint.painted,
                closed - closing);
    std::fflush(stdout);
    return firstPaint.painted != 0 ? 0 : 1;
}

bool measureStartup(int runs, StartupFigures& figures) {
    // Each run a fresh process; the update check is due because its settings file is new.
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() / ("toppeek-bench-" + std::to_string(::getpid()));
    int refusedPort = 0;
    const int refusing = loopbackSocket(refusedPort); // bound, never listening: refused
    SilentListener silent;
    if (refusing < 0 || !silent.ok())
        return fail("no loopback port for the update check");
    const std::string refusedUrl =
        "http://127.0.0.1:" + std::to_string(refusedPort) + "/version.txt";
    const std::string silentUrl =
        "http://127.0.0.1:" + std::to_string(silent.port()) + "/version.txt";
    figures.silentRuns = std::min(runs, 3);
    for (int r = 0; r < runs; ++r) {
        StartupRun run = timeStartup(scratch, refusedUrl);
        if (run.toPainted < 0)
            return fail("a start with a refused update check failed");
        figures.refused.push_back(run.toPainted);
        figures.refusedCheck.push_back(run.toChecked);
    }
    for (int r = 0; r < figures.silentRuns; ++r) {
        StartupRun run = timeStartup(scratch, silentUrl);
        if (run.toPainted < 0)
            return fail("a start with a silent update check failed");
        figures.silent.push_back(run.toPainted);
        figures.silentCheck.push_back(run.toChecked);
        figures.silentClose.push_back(run.toClose);
    }
    std::filesystem::remove_all(scratch);
    ::close(refusing);
    return true;
}

void printStartupRuns(const StartupFigures& figures) {
    printRuns("start, refused:", figures.refused, 1000, "ms");
    printRuns("  its update check started:", figures.refusedCheck, 1000, "ms");
    printRuns("start, silent:", figures.silent, 1000, "ms");
    printRuns("  its update check started:", figures.silentCheck, 1000, "ms");
    printRuns("  closing with the check unanswered:", figures.silentClose, 1000, "ms");
}

void startupRows(const StartupFigures& figures) {
    char silentTarget[64];
    std::snprintf(silentTarget, sizeof silentTarget, "<= %.0f ms", kSilentBoundMs);
    row("Start to painted window, check refused (worst)", longest(figures.refused) * 1000, -1,
        "<= 300 ms", verdict(longest(figures.refused) <= 0.300));
    row("Start to painted window, check silent (worst)", longest(figures.silent) * 1000, -1,
        silentTarget, verdict(longest(figures.silent) * 1000 <= kSilentBoundMs));
}

} // namespace toppeek::bench
