#include "TwoRecordServer.h"

#include "support/TlsServerSide.h"

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace toppeek::bench {

namespace {

bool sendAll(int socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Waits up to 100 ms for the socket to become readable.
bool readable(int socket) {
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, 100) > 0;
}

} // namespace

TwoRecordServer::TwoRecordServer(toppeek::test::IssuedCertificate identity, int messages)
    : identity_(std::move(identity)), messages_(messages) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener_ >= 0)
            ::close(listener_);
        listener_ = -1;
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

TwoRecordServer::~TwoRecordServer() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

void TwoRecordServer::run() {
    while (!stopping_) {
        if (!readable(listener_))
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        serve(client);
        ::close(client);
    }
}

std::string TwoRecordServer::replyTo(const std::string& line, bool& quit) const {
    long number = 0;
    if (line.rfind("USER ", 0) == 0 || line.rfind("PASS ", 0) == 0)
        return "+OK\r\n";
    if (line == "STAT")
        return "+OK " + std::to_string(messages_) + " " + std::to_string(messages_ * 100) + "\r\n";
    if (std::sscanf(line.c_str(), "LIST %ld", &number) == 1 && number >= 1 && number <= messages_)
        return "+OK " + std::to_string(number) + " 100\r\n";
    if (std::sscanf(line.c_str(), "TOP %ld", &number) == 1 && number >= 1 && number <= messages_)
        return "+OK\r\nFrom: sender@example.org\r\nTo: reader@example.org\r\nSubject: Message " +
               std::to_string(number) + "\r\n\r\n.\r\n";
    if (line == "QUIT") {
        quit = true;
        return "+OK bye\r\n";
    }
    return "-ERR unknown\r\n";
}

void TwoRecordServer::serve(int client) {
    toppeek::test::TlsServerSide tls(identity_, toppeek::test::TlsVersion::Tls13);
    if (!tls.valid())
        return;
    // Each reply as two records, each in a send of its own: the first word of the status line,
    // then the rest.
    auto reply = [&](const std::string& text) {
        const std::size_t split = std::min<std::size_t>(3, text.size());
        return sendAll(client, tls.seal(text.substr(0, split))) &&
               sendAll(client, tls.seal(text.substr(split)));
    };
    bool greeted = false;
    bool quit = false;
    std::string pending;
    char buffer[16384];
    while (!stopping_ && !quit) {
        if (!readable(client))
            continue;
        const ssize_t received = ::recv(client, buffer, sizeof buffer, 0);
        if (received <= 0)
            return;
        const bool fine = tls.feed(std::string_view(buffer, static_cast<std::size_t>(received)));
        if (!sendAll(client, tls.output()) || !fine)
            return;
        if (!tls.secured())
            continue;
        if (!greeted) {
            greeted = true;
            if (!reply("+OK two records each\r\n"))
                return;
        }
        pending += tls.text();
        for (std::size_t end; !quit && (end = pending.find("\r\n")) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 2);
            if (!reply(replyTo(line, quit)))
                return;
        }
    }
}

} // namespace toppeek::bench
