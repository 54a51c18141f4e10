#include "support/ChildServers.h"

#include "support/RealPop3Server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace toppeek::test {

namespace {

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// True when something has bound the UDP (or TCP) port on 127.0.0.1.
bool portTaken(int port, int type) {
    const int s = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool taken = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                       errno == EADDRINUSE;
    ::close(s);
    return taken;
}

} // namespace

bool ChildProcess::start(const std::vector<std::string>& argv, const fs::path& output) {
    stop();
    const fs::path program = findProgram(argv.at(0));
    if (program.empty())
        return false;
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        ::execv(program.c_str(), args.data());
        ::_exit(127);
    }
    pid_ = pid;
    return true;
}

bool ChildProcess::exited() {
    if (pid_ <= 0)
        return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return true;
    }
    return false;
}

void ChildProcess::stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 200 && !exited(); ++i)
        std::this_thread::sleep_for(10ms);
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

DnsTestServer::DnsTestServer(std::vector<std::string> records) : records_(std::move(records)) {
    log_ = fs::temp_directory_path() / ("toppeek-dnsmasq-" + std::to_string(::getpid()) + ".log");
}

bool DnsTestServer::start() {
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = freeLoopbackPort();
        std::vector<std::string> argv = {"dnsmasq",
                                         "--keep-in-foreground",
                                         "--conf-file=/dev/null",
                                         "--no-resolv",
                                         "--no-hosts",
                                         "--no-poll",
                                         "--bind-interfaces",
                                         "--listen-address=127.0.0.1",
                                         "--port=" + std::to_string(port_),
                                         "--pid-file",
                                         "--user=root",
                                         "--local=/test/",
                                         "--log-facility=-"};
        argv.insert(argv.end(), records_.begin(), records_.end());
        if (!process_.start(argv, log_)) {
            failure_ = "dnsmasq cannot be started (install dnsmasq)";
            return false;
        }
        for (int i = 0; i < 500; ++i) {
            if (process_.exited())
                break;
            if (portTaken(port_, SOCK_DGRAM))
                return true;
            std::this_thread::sleep_for(10ms);
        }
        process_.stop();
    }
    failure_ = "dnsmasq did not start: " + fileText(log_);
    return false;
}

HttpsTestServer::HttpsTestServer(fs::path root, fs::path certificate, fs::path key)
    : root_(std::move(root)), certificate_(std::move(certificate)), key_(std::move(key)) {}

bool HttpsTestServer::start() {
    const fs::path script = fs::path(TOPPEEK_TEST_SUPPORT_DIR) / "https-server.py";
    const fs::path log = root_ / "server.log";
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = freeLoopbackPort();
        if (!process_.start({"python3", script.string(), std::to_string(port_),
                             certificate_.string(), key_.string(), root_.string()},
                            log)) {
            failure_ = "python3 cannot be started";
            return false;
        }
        for (int i = 0; i < 1000; ++i) {
            if (process_.exited())
                break;
            if (portTaken(port_, SOCK_STREAM))
                return true;
            std::this_thread::sleep_for(10ms);
        }
        process_.stop();
    }
    failure_ = "the HTTPS server did not start: " + fileText(log);
    return false;
}

} // namespace toppeek::test
