#include "support/HttpTestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace toppeek::test {

namespace {

int listenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen");
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Waits for fd to become readable or the stop pipe to be written; false on stop.
bool waitReadable(int fd, int stopFd) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0)
            return false;
        if ((fds[1].revents & (POLLIN | POLLHUP)) != 0)
            return false;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            return true;
    }
}

} // namespace

HttpTestServer::HttpTestServer(std::optional<std::string> reply) : reply_(std::move(reply)) {
    listener_ = listenOnLoopback(port_);
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        ::close(listener_);
        throw std::runtime_error("pipe");
    }
    thread_ = std::thread([this] { run(); });
}

HttpTestServer::~HttpTestServer() {
    stopping_ = true;
    const char byte = 0;
    static_cast<void>(::write(stopPipe_[1], &byte, 1));
    thread_.join();
    ::close(listener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

std::string HttpTestServer::reply(int status, const std::string& reason, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string HttpTestServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> HttpTestServer::requests() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

int HttpTestServer::unusedPort() {
    int port = 0;
    const int fd = listenOnLoopback(port);
    ::close(fd);
    return port;
}

void HttpTestServer::run() {
    while (!stopping_) {
        if (!waitReadable(listener_, stopPipe_[0]))
            return;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        serve(client);
        ::close(client);
    }
}

void HttpTestServer::serve(int client) {
    std::string request;
    char chunk[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
        if (!waitReadable(client, stopPipe_[0]))
            return;
        const ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
        if (got <= 0)
            break;
        request.append(chunk, static_cast<std::size_t>(got));
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    if (!reply_) {
        // Silent: hold the connection until the client gives up or the server stops.
        while (waitReadable(client, stopPipe_[0])) {
            if (::recv(client, chunk, sizeof chunk, 0) <= 0)
                return;
        }
        return;
    }
    std::size_t sent = 0;
    while (sent < reply_->size()) {
        const ssize_t put =
            ::send(client, reply_->data() + sent, reply_->size() - sent, MSG_NOSIGNAL);
        if (put <= 0)
            return;
        sent += static_cast<std::size_t>(put);
    }
}

} // namespace toppeek::test
