#include "support/ScriptedPop3Server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace toppeek::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMilliseconds = 10;

void setNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int boundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

// A socket listening on 127.0.0.1 on an ephemeral port.
int listenOnLoopback(int backlog, int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("cannot create the test server's socket");
    }
    sockaddr_in address = loopback(0);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = boundPort(fd);
    return fd;
}

std::string withoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

} // namespace

ScriptedPop3Server::ScriptedPop3Server() {
    listener_ = listenOnLoopback(4, port_);
}

ScriptedPop3Server::~ScriptedPop3Server() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

ScriptedPop3Server& ScriptedPop3Server::greeting(std::string reply) {
    return greeting(std::vector<ReplyPiece>{ReplyPiece{std::move(reply)}});
}

ScriptedPop3Server& ScriptedPop3Server::greeting(std::vector<ReplyPiece> pieces, AfterReply after) {
    script_.push_back(Step{std::nullopt, std::move(pieces), after});
    return *this;
}

ScriptedPop3Server& ScriptedPop3Server::expect(std::string command, std::string reply) {
    return expect(std::move(command), std::vector<ReplyPiece>{ReplyPiece{std::move(reply)}});
}

ScriptedPop3Server& ScriptedPop3Server::expect(std::string command, std::vector<ReplyPiece> pieces,
                                               AfterReply after) {
    script_.push_back(Step{std::move(command), std::move(pieces), after});
    return *this;
}

ScriptedPop3Server& ScriptedPop3Server::waitLimit(std::chrono::milliseconds limit) {
    limit_ = limit;
    return *this;
}

ScriptedPop3Server& ScriptedPop3Server::socketBuffers(int bytes) {
    bufferBytes_ = bytes;
    return *this;
}

void ScriptedPop3Server::start() {
    thread_ = std::thread(&ScriptedPop3Server::serve, this);
}

bool ScriptedPop3Server::waitUntilDone(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return done_; });
}

std::string ScriptedPop3Server::hostAndPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> ScriptedPop3Server::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::string ScriptedPop3Server::receivedBytes() const {
    std::lock_guard lock(mutex_);
    return receivedBytes_;
}

std::vector<std::string> ScriptedPop3Server::problems() const {
    std::lock_guard lock(mutex_);
    return problems_;
}

void ScriptedPop3Server::note(std::string problem) {
    std::lock_guard lock(mutex_);
    problems_.push_back(std::move(problem));
}

bool ScriptedPop3Server::stopping() const {
    std::lock_guard lock(mutex_);
    return stop_;
}

void ScriptedPop3Server::serve() {
    int client = -1;
    auto deadline = Clock::now() + limit_;
    while (client < 0 && !stopping() && Clock::now() < deadline) {
        pollfd entry{listener_, POLLIN, 0};
        if (::poll(&entry, 1, kSliceMilliseconds) > 0) {
            client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        }
    }
    if (client < 0) {
        if (!stopping()) {
            note("no client connected");
        }
    } else {
        setNonBlocking(client);
        if (bufferBytes_ > 0) {
            ::setsockopt(client, SOL_SOCKET, SO_SNDBUF, &bufferBytes_, sizeof bufferBytes_);
            ::setsockopt(client, SOL_SOCKET, SO_RCVBUF, &bufferBytes_, sizeof bufferBytes_);
        }
        converse(client);
        ::shutdown(client, SHUT_WR);
        ::close(client);
    }
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    changed_.notify_all();
}

void ScriptedPop3Server::converse(int client) {
    for (const Step& step : script_) {
        if (step.command) {
            std::string line;
            Read read = readLine(client, line);
            if (read != Read::Line) {
                if (!stopping()) {
                    note((read == Read::Closed ? "connection closed while waiting for \""
                                               : "nothing received while waiting for \"") +
                         *step.command + "\"");
                }
                return;
            }
            if (withoutLineEnd(line) != *step.command) {
                note("expected \"" + *step.command + "\", received \"" + withoutLineEnd(line) +
                     "\"");
                return;
            }
        }
        for (const ReplyPiece& piece : step.pieces) {
            if (!pause(piece.delay) || !sendPiece(client, piece)) {
                return;
            }
        }
        if (step.after == AfterReply::Close) {
            return;
        }
        if (step.after == AfterReply::StaySilent) {
            drain(client, false);
            return;
        }
    }
    drain(client, true);
}

ScriptedPop3Server::Read ScriptedPop3Server::readLine(int client, std::string& line) {
    auto deadline = Clock::now() + limit_;
    for (;;) {
        if (std::size_t end = pending_.find('\n'); end != std::string::npos) {
            line = pending_.substr(0, end + 1);
            pending_.erase(0, end + 1);
            std::lock_guard lock(mutex_);
            received_.push_back(line);
            return Read::Line;
        }
        if (stopping() || Clock::now() >= deadline) {
            return Read::TimedOut;
        }
        pollfd entry{client, POLLIN, 0};
        if (::poll(&entry, 1, kSliceMilliseconds) <= 0) {
            continue;
        }
        char chunk[4096];
        ssize_t count = ::recv(client, chunk, sizeof chunk, 0);
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            continue;
        }
        if (count <= 0) {
            std::lock_guard lock(mutex_);
            if (!pending_.empty()) {
                received_.push_back(pending_);
                pending_.clear();
            }
            return Read::Closed;
        }
        pending_.append(chunk, static_cast<std::size_t>(count));
        std::lock_guard lock(mutex_);
        receivedBytes_.append(chunk, static_cast<std::size_t>(count));
    }
}

bool ScriptedPop3Server::sendPiece(int client, const ReplyPiece& piece) {
    auto deadline = Clock::now() + limit_;
    std::size_t sent = 0;
    while (sent < piece.bytes.size()) {
        if (stopping() || Clock::now() >= deadline) {
            return false;
        }
        pollfd entry{client, POLLOUT, 0};
        if (::poll(&entry, 1, kSliceMilliseconds) <= 0) {
            continue;
        }
        ssize_t count =
            ::send(client, piece.bytes.data() + sent, piece.bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                continue;
            }
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

bool ScriptedPop3Server::pause(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, delay, [this] { return stop_; });
}

void ScriptedPop3Server::drain(int client, bool answer) {
    std::string line;
    while (readLine(client, line) == Read::Line) {
        if (answer) {
            note("command after the end of the script: \"" + withoutLineEnd(line) + "\"");
            if (!sendPiece(client, ReplyPiece{"-ERR not in the script\r\n"})) {
                return;
            }
        }
    }
}

StalledListener::StalledListener() {
    listener_ = listenOnLoopback(0, port_);
    // A backlog of 0 still queues one connection; once it is taken, further attempts get no
    // answer at all.
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (filler_ < 0) {
        return;
    }
    setNonBlocking(filler_);
    sockaddr_in address = loopback(port_);
    if (::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        ready_ = true;
        return;
    }
    pollfd entry{filler_, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    ready_ = errno == EINPROGRESS && ::poll(&entry, 1, 2000) == 1 &&
             ::getsockopt(filler_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

StalledListener::~StalledListener() {
    if (filler_ >= 0) {
        ::close(filler_);
    }
    ::close(listener_);
}

int unusedLoopbackPort() {
    int port = 0;
    int fd = listenOnLoopback(1, port);
    ::close(fd);
    return port;
}

} // namespace toppeek::test
