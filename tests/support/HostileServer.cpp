#include "support/HostileServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace toppeek::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMilliseconds = 10;

bool retryable(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// Polls one slice; true when the events are there.
bool ready(int socket, short events) {
    pollfd entry{socket, events, 0};
    return ::poll(&entry, 1, kSliceMilliseconds) > 0;
}

} // namespace

HostilePeer::HostilePeer(int socket, std::chrono::milliseconds limit,
                         const std::atomic<bool>& stopping)
    : socket_(socket), limit_(limit), stopping_(stopping) {
    int on = 1;
    // Pieces must leave at once, one by one, to arrive as the behaviour cut them.
    ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(socket_, F_SETFL, ::fcntl(socket_, F_GETFL, 0) | O_NONBLOCK);
}

HostilePeer::~HostilePeer() {
    close();
}

bool HostilePeer::send(std::string_view bytes) {
    auto deadline = Clock::now() + limit_;
    while (!bytes.empty()) {
        if (socket_ < 0 || stopping() || Clock::now() >= deadline)
            return false;
        if (!ready(socket_, POLLOUT))
            continue;
        ssize_t sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (retryable(errno))
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
        deadline = Clock::now() + limit_;
    }
    return true;
}

bool HostilePeer::trickle(std::string_view bytes, std::chrono::milliseconds gap) {
    for (char byte : bytes) {
        auto until = Clock::now() + gap;
        while (Clock::now() < until) {
            if (stopping())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (!send(std::string_view(&byte, 1)))
            return false;
    }
    return true;
}

std::optional<std::string> HostilePeer::readLine(std::size_t most) {
    std::string line;
    auto deadline = Clock::now() + limit_;
    while (line.size() < most) {
        if (socket_ < 0 || stopping() || Clock::now() >= deadline)
            return std::nullopt;
        if (!ready(socket_, POLLIN))
            continue;
        char chunk[4096];
        std::size_t want = std::min(sizeof chunk, most - line.size());
        ssize_t peeked = ::recv(socket_, chunk, want, MSG_PEEK);
        if (peeked < 0 && retryable(errno))
            continue;
        if (peeked <= 0)
            return std::nullopt;
        std::string_view seen(chunk, static_cast<std::size_t>(peeked));
        std::size_t end = seen.find('\n');
        std::size_t take = end == std::string_view::npos ? seen.size() : end + 1;
        ssize_t taken = ::recv(socket_, chunk, take, 0);
        if (taken <= 0)
            return std::nullopt;
        line.append(chunk, static_cast<std::size_t>(taken));
        received_.append(chunk, static_cast<std::size_t>(taken));
        deadline = Clock::now() + limit_;
        if (end != std::string_view::npos && static_cast<std::size_t>(taken) == take)
            return line;
    }
    return line;
}

std::optional<std::string> HostilePeer::readSome(std::size_t most) {
    auto deadline = Clock::now() + limit_;
    std::string bytes(std::max<std::size_t>(most, 1), '\0');
    for (;;) {
        if (socket_ < 0 || stopping() || Clock::now() >= deadline)
            return std::nullopt;
        if (!ready(socket_, POLLIN))
            continue;
        ssize_t count = ::recv(socket_, bytes.data(), bytes.size(), 0);
        if (count < 0 && retryable(errno))
            continue;
        if (count <= 0)
            return std::nullopt;
        bytes.resize(static_cast<std::size_t>(count));
        received_ += bytes;
        return bytes;
    }
}

void HostilePeer::waitForClose() {
    auto deadline = Clock::now() + limit_;
    while (socket_ >= 0 && !stopping() && Clock::now() < deadline) {
        if (!ready(socket_, POLLIN))
            continue;
        char chunk[4096];
        ssize_t count = ::recv(socket_, chunk, sizeof chunk, 0);
        if (count < 0 && retryable(errno))
            continue;
        if (count <= 0)
            return;
        received_.append(chunk, static_cast<std::size_t>(count));
    }
}

void HostilePeer::close() {
    if (socket_ < 0)
        return;
    // Our end first, so that the client reads all that was sent and then the end; closing with
    // its next command unread would reset the connection instead.
    ::shutdown(socket_, SHUT_WR);
    waitForClose();
    ::close(socket_);
    socket_ = -1;
}

void HostilePeer::reset() {
    if (socket_ < 0)
        return;
    linger abortive{1, 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(socket_);
    socket_ = -1;
}

bool HostilePeer::clientGone() {
    if (socket_ < 0)
        return true;
    pollfd entry{socket_, POLLIN | POLLRDHUP, 0};
    if (::poll(&entry, 1, 0) <= 0)
        return false;
    if ((entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
        return true;
    char byte = 0;
    return ::recv(socket_, &byte, 1, MSG_PEEK) == 0;
}

HostileServer::HostileServer(Behaviour behaviour, std::chrono::milliseconds limit)
    : HostileServer(std::vector<Behaviour>{std::move(behaviour)}, limit) {}

HostileServer::HostileServer(std::vector<Behaviour> behaviours, std::chrono::milliseconds limit)
    : limit_(limit) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener_ >= 0)
            ::close(listener_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&HostileServer::serve, this, std::move(behaviours));
}

HostileServer::~HostileServer() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

std::string HostileServer::hostAndPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string HostileServer::received() {
    if (thread_.joinable())
        thread_.join();
    return received_;
}

int HostileServer::connections() {
    if (thread_.joinable())
        thread_.join();
    return connections_;
}

void HostileServer::serve(std::vector<Behaviour> behaviours) {
    for (std::size_t i = 0; i < behaviours.size(); ++i) {
        auto deadline = Clock::now() + limit_;
        int client = -1;
        while (client < 0 && !stopping_ && Clock::now() < deadline) {
            if (ready(listener_, POLLIN))
                client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        }
        if (i + 1 == behaviours.size()) {
            ::close(listener_);
            listener_ = -1;
        }
        if (client < 0)
            return;
        ++connections_;
        HostilePeer peer(client, limit_, stopping_);
        behaviours[i](peer);
        peer.close();
        received_ += peer.received();
    }
}

} // namespace toppeek::test
