#include "support/RealPop3Server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace toppeek::test {

namespace {

using Clock = std::chrono::steady_clock;

// How long a server may take to greet after it was started; Dovecot needs well under a second.
constexpr auto startupLimit = 20s;
// How long a server may take to exit after SIGTERM before it is killed.
constexpr long stopGraceMilliseconds = 10000;

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A port that was free a moment ago. Another process may take it before the server binds it;
// start() then sees the server exit and tries another one.
int freePort() {
    Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (s.fd < 0)
        return 0;
    sockaddr_in a = loopback(0);
    if (::bind(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return 0;
    socklen_t len = sizeof a;
    if (::getsockname(s.fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

enum class Probe { Refused, Greeted, Silent };

// Connects to the port and reads the first line the server sends.
Probe probe(int port, std::string& greeting) {
    Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (s.fd < 0)
        return Probe::Refused;
    timeval limit{2, 0};
    ::setsockopt(s.fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in a = loopback(port);
    if (::connect(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return Probe::Refused;
    greeting.clear();
    char buffer[512];
    while (greeting.find('\n') == std::string::npos && greeting.size() < 4096) {
        ssize_t n = ::recv(s.fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        greeting.append(buffer, static_cast<std::size_t>(n));
    }
    return greeting.empty() ? Probe::Silent : Probe::Greeted;
}

bool portAcceptsConnections(int port) {
    Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = loopback(port);
    return s.fd >= 0 && ::connect(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

// The guardian's exit status tells how the server ended: its own exit status below 128, else 128
// plus the signal that killed it.
std::string describeExit(int guardianStatus) {
    if (!WIFEXITED(guardianStatus))
        return "ended abnormally";
    int code = WEXITSTATUS(guardianStatus);
    if (code >= 128)
        return std::string("was killed by signal ") + ::strsignal(code - 128);
    return "exited with status " + std::to_string(code);
}

std::string lastLines(const fs::path& path, std::size_t count) {
    std::ifstream in(path);
    if (!in)
        return {};
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(std::move(line));
    std::string out;
    std::size_t first = lines.size() > count ? lines.size() - count : 0;
    for (std::size_t i = first; i < lines.size(); ++i)
        out += "    " + lines[i] + "\n";
    return out;
}

// A failure shows up later as a refused login, with the server's log in the message; the usual
// cause, not running as root, is reported by start() first.
void giveTo(const fs::path& path, unsigned uid) {
    [[maybe_unused]] int ignored = ::lchown(path.c_str(), uid, uid);
}

void chownTree(const fs::path& root, unsigned uid) {
    giveTo(root, uid);
    for (const auto& entry : fs::recursive_directory_iterator(root))
        giveTo(entry.path(), uid);
}

std::size_t countFiles(const fs::path& dir) {
    std::error_code ec;
    std::size_t n = 0;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file())
            ++n;
    return n;
}

void pause(long milliseconds) {
    timespec t{milliseconds / 1000, (milliseconds % 1000) * 1000000};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

long elapsedMilliseconds(const timespec& since) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - since.tv_sec) * 1000 + (now.tv_nsec - since.tv_nsec) / 1000000;
}

// Kills what is left of the server's process group and reaps it. The guardian is a subreaper,
// so helpers orphaned by the master come to it rather than lingering as zombies of init.
void reapLeftovers(pid_t server) {
    ::kill(-server, SIGKILL);
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    while (elapsedMilliseconds(start) < 2000) {
        pid_t r = ::waitpid(-1, nullptr, WNOHANG);
        if (r < 0 && errno != EINTR)
            return; // no children left
        if (r == 0)
            pause(5);
    }
}

// Runs in the guardian after fork, so only async-signal-safe calls. Stops the server when the
// control pipe closes, which happens both on stop() and when the test process dies in any way:
// the servers change their credentials at start-up, which clears a parent-death signal, so
// they cannot watch the test process themselves.
[[noreturn]] void guard(pid_t server, int control) {
    int status = 0;
    for (;;) {
        if (::waitpid(server, &status, WNOHANG) == server) {
            reapLeftovers(server);
            if (WIFSIGNALED(status))
                ::_exit(128 + WTERMSIG(status));
            ::_exit(WIFEXITED(status) ? std::min(WEXITSTATUS(status), 127) : 127);
        }
        pollfd entry{control, POLLIN, 0};
        if (::poll(&entry, 1, 10) > 0)
            break;
    }
    ::kill(server, SIGTERM);
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    bool reaped = false;
    while (!reaped && elapsedMilliseconds(start) < stopGraceMilliseconds) {
        reaped = ::waitpid(server, &status, WNOHANG) == server;
        if (!reaped)
            pause(5);
    }
    if (!reaped) {
        ::kill(server, SIGKILL);
        while (::waitpid(server, &status, 0) < 0 && errno == EINTR) {
        }
    }
    reapLeftovers(server);
    ::_exit(0);
}

// Starts a guardian process that starts the server (argv, output to outputPath) and stops it
// when the returned control descriptor is closed. Returns the guardian's pid, or -1.
pid_t spawnGuarded(const fs::path& program, const std::vector<std::string>& args,
                   const fs::path& outputPath, int& control) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Fd out(::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    Fd in(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int pipeFds[2];
    if (out.fd < 0 || in.fd < 0 || ::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    Fd readEnd(pipeFds[0]);
    pid_t guardian = ::fork();
    if (guardian == 0) {
        // Only async-signal-safe calls from here on. Keep nothing but the read end, so that the
        // guardians of other servers never hold this one's write end open.
        ::dup2(in.fd, 0);
        ::dup2(out.fd, 1);
        ::dup2(out.fd, 2);
        ::dup2(readEnd.fd, 3);
        ::close_range(4, ~0U, 0);
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        pid_t server = ::fork();
        if (server == 0) {
            ::setpgid(0, 0);
            ::close(3);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        if (server < 0)
            ::_exit(127);
        guard(server, 3);
    }
    if (guardian < 0) {
        ::close(pipeFds[1]);
        return -1;
    }
    control = pipeFds[1];
    return guardian;
}

} // namespace

RealPop3Server::RealPop3Server(std::string_view kind) : kind_(kind) {
    std::string pattern = "/tmp/toppeek-" + kind_ + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary directory for " + kind_ + ": " +
                                 std::strerror(errno));
    dir_ = pattern;
    // mkdtemp makes the directory 0700; the servers read it under their own uids.
    ::chmod(dir_.c_str(), 0755);
    fs::create_directories(dir_ / "home");
    ::chmod((dir_ / "home").c_str(), 0755);
}

RealPop3Server::~RealPop3Server() {
    stop();
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void RealPop3Server::addUser(const std::string& name, const std::string& password) {
    users_.push_back({name, password});
    fs::path maildir = maildirOf(name);
    for (const char* sub : {"new", "cur", "tmp"})
        fs::create_directories(maildir / sub);
    fs::path home = homeOf(name);
    chownTree(home, mailUid);
    for (const auto& entry : fs::recursive_directory_iterator(home))
        ::chmod(entry.path().c_str(), 0755);
    ::chmod(home.c_str(), 0755);
}

fs::path RealPop3Server::homeOf(const std::string& user) const {
    return dir_ / "home" / user;
}

std::size_t RealPop3Server::addMessage(const std::string& user, std::string_view text) {
    auto known =
        std::find_if(users_.begin(), users_.end(), [&](const User& u) { return u.name == user; });
    if (known == users_.end())
        throw std::invalid_argument("no such mail user: " + user);
    // The leading number is the delivery time the servers order new mail by; counting it up
    // keeps the messages numbered in the order they were added.
    ++nextMessage_;
    std::string name = std::to_string(1000000000u + nextMessage_) + ".M" +
                       std::to_string(nextMessage_) + "P" + std::to_string(::getpid()) + ".toppeek";
    fs::path maildir = maildirOf(user);
    // Written to tmp and renamed, as Maildir delivery does, so that a running server never
    // reads half a message.
    fs::path temporary = maildir / "tmp" / name;
    writeFile(temporary, text);
    giveTo(temporary, mailUid);
    fs::rename(temporary, maildir / "new" / name);
    std::size_t lineFeeds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return text.size() + lineFeeds;
}

std::size_t RealPop3Server::messageCount(const std::string& user) const {
    fs::path maildir = maildirOf(user);
    return countFiles(maildir / "new") + countFiles(maildir / "cur");
}

int freeLoopbackPort() {
    return freePort();
}

std::string RealPop3Server::hostAndPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

bool RealPop3Server::start() {
    failure_.clear();
    if (running())
        return true;
    if (::geteuid() != 0) {
        failure_ = kind_ +
                   " cannot be started: the tests must run as root, because the server "
                   "switches to the mail owner's uid " +
                   std::to_string(mailUid) + " after login";
        return false;
    }
    std::string exits;
    for (int attempt = 0; attempt < 4; ++attempt) {
        int port = freePort();
        if (port == 0) {
            failure_ = kind_ + " cannot be started: no free port on 127.0.0.1";
            return false;
        }
        std::string error = prepare(port);
        if (!error.empty()) {
            failure_ = kind_ + " cannot be started: " + error;
            return false;
        }
        switch (launch(port)) {
        case Launch::Ready:
            port_ = port;
            return true;
        case Launch::Failed:
            failure_ += "\n" + logTail();
            return false;
        case Launch::Exited:
            // Most likely another process took the port first; try a new one.
            exits = failure_;
            break;
        }
    }
    failure_ = kind_ + " did not start: " + exits + "\n" + logTail();
    return false;
}

RealPop3Server::Launch RealPop3Server::launch(int port) {
    std::vector<std::string> args = commandLine();
    fs::path program = findProgram(args.at(0));
    if (program.empty()) {
        failure_ = kind_ + " cannot be started: program \"" + args[0] +
                   "\" not found (install dovecot-core, dovecot-pop3d and mailutils-pop3d)";
        return Launch::Failed;
    }
    pid_ = spawnGuarded(program, args, dir_ / "server.out", control_);
    if (pid_ < 0) {
        pid_ = -1;
        failure_ = kind_ + " cannot be started: " + std::strerror(errno);
        return Launch::Failed;
    }
    std::string description = program.string() + " (port " + std::to_string(port) + ")";
    auto deadline = Clock::now() + startupLimit;
    while (Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            ::close(control_);
            control_ = -1;
            failure_ = description + " " + describeExit(status) + " during start-up";
            return Launch::Exited;
        }
        std::string greeting;
        switch (probe(port, greeting)) {
        case Probe::Greeted:
            if (greeting.rfind("+OK", 0) == 0)
                return Launch::Ready;
            failure_ = description + " greeted with \"" + greeting + "\"";
            killAndReap();
            return Launch::Failed;
        case Probe::Silent:
        case Probe::Refused:
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    failure_ = description + " did not greet within " +
               std::to_string(std::chrono::seconds(startupLimit).count()) + " s";
    killAndReap();
    return Launch::Failed;
}

void RealPop3Server::stop() {
    if (!running())
        return;
    killAndReap();
    // The listening socket may outlive the master for a moment while its helpers exit.
    auto deadline = Clock::now() + 5s;
    while (portAcceptsConnections(port_) && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
}

void RealPop3Server::killAndReap() {
    if (pid_ <= 0)
        return;
    // Closing the control pipe makes the guardian stop the server; it then exits itself.
    ::close(control_);
    control_ = -1;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

std::string RealPop3Server::logTail() const {
    std::string out;
    std::vector<fs::path> files = logFiles();
    files.push_back(dir_ / "server.out");
    for (const auto& file : files) {
        std::string tail = lastLines(file, 25);
        if (!tail.empty())
            out += "  " + file.filename().string() + ":\n" + tail;
    }
    return out.empty() ? "  (the server wrote no log)" : out;
}

std::string substitute(std::string text,
                       const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [name, value] : values) {
        const std::string key = "@" + name + "@";
        for (std::size_t at = text.find(key); at != std::string::npos;
             at = text.find(key, at + value.size()))
            text.replace(at, key.size(), value);
    }
    return text;
}

fs::path findProgram(const std::string& name) {
    std::vector<std::string> dirs;
    if (const char* path = std::getenv("PATH")) {
        std::stringstream in(path);
        for (std::string dir; std::getline(in, dir, ':');)
            if (!dir.empty())
                dirs.push_back(dir);
    }
    for (const char* dir : {"/usr/sbin", "/sbin", "/usr/local/sbin", "/usr/bin", "/bin"})
        dirs.emplace_back(dir);
    for (const auto& dir : dirs) {
        fs::path candidate = fs::path(dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

bool runTool(const std::vector<std::string>& argv, std::string& output) {
    output.clear();
    fs::path program = findProgram(argv.at(0));
    if (program.empty()) {
        output = "program \"" + argv[0] + "\" not found";
        return false;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        output = std::strerror(errno);
        return false;
    }
    Fd readEnd(pipeFds[0]);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        ::execv(program.c_str(), args.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        output = std::strerror(errno);
        return false;
    }
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(readEnd.fd, buffer, sizeof buffer);
        if (n > 0)
            output.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void RealPop3Server::writeFile(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    ::chmod(path.c_str(), 0644);
}

} // namespace toppeek::test
