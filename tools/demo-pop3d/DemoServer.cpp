#include "DemoServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace toppeek::demo {

namespace {

bool sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string masked(const std::string& line) {
    if (line.size() >= 4 && ::strncasecmp(line.c_str(), "PASS", 4) == 0)
        return "PASS xxxx";
    return line;
}

} // namespace

DemoServer::DemoServer(DemoMailbox mailbox, Credentials credentials)
    : mailbox_(std::move(mailbox)), credentials_(std::move(credentials)) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        wake_[0] = wake_[1] = -1;
}

DemoServer::~DemoServer() {
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0)
            ::close(fd);
}

bool DemoServer::listen(int port, std::string& error) {
    if (wake_[0] < 0) {
        error = "cannot create a pipe";
        return false;
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    return true;
}

void DemoServer::stop() {
    if (wake_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    }
}

bool DemoServer::offerStartTls(const DemoIdentity& identity, std::string& error) {
    tls_ = TlsServer::create(identity, error);
    return tls_ != nullptr;
}

bool DemoServer::waitReady(int fd, bool forWriting, std::chrono::milliseconds limit) {
    const short events = forWriting ? POLLOUT : POLLIN;
    pollfd fds[2] = {{fd, events, 0}, {wake_[0], POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, static_cast<int>(limit.count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || fds[1].revents != 0)
            return false;
        return true;
    }
}

void DemoServer::note(int session, const std::string& text) {
    if (log)
        log(std::to_string(session) + " " + text);
}

void DemoServer::run() {
    int session = 0;
    while (listener_ >= 0 && waitReady(listener_, false, std::chrono::milliseconds(-1))) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        serve(client, ++session);
        ::close(client);
    }
}

void DemoServer::serve(int client, int session) {
    // The time stamp needs to be unique per greeting (RFC 1939): process, session and clock.
    const std::string stamp = "<" + std::to_string(::getpid()) + "." + std::to_string(session) +
                              "." + std::to_string(std::time(nullptr)) + "@toppeek.demo>";
    Pop3Conversation conversation(mailbox_, credentials_, stamp);
    if (tls_)
        conversation.offerStartTls();
    // Once STLS has secured the session, every byte goes through it.
    std::unique_ptr<TlsSession> secured;
    const SocketWait wait = [&](bool forWriting) {
        return waitReady(client, forWriting, idleLimit);
    };
    auto send = [&](const std::string& bytes) {
        return secured ? secured->send(bytes, wait) : sendAll(client, bytes);
    };
    if (!send(conversation.greeting()))
        return;
    std::string pending;
    bool discarding = false; // the rest of an overlong line
    for (;;) {
        std::size_t end = pending.find('\n');
        if (end == std::string::npos) {
            if (pending.size() > kMaxCommandLine) {
                if (!discarding && !send("-ERR command line too long\r\n"))
                    return;
                discarding = true;
                pending.clear();
            }
            // Decrypted bytes that OpenSSL holds do not show on the socket.
            if (!(secured && secured->buffered()) && !wait(false)) {
                note(session, "ended without QUIT (idle or stopped)");
                return;
            }
            char buffer[4096];
            long n = 0;
            if (secured) {
                n = secured->receive(buffer, sizeof buffer);
                if (n == TlsSession::kWantMore)
                    continue;
            } else {
                n = ::recv(client, buffer, sizeof buffer, 0);
                if (n < 0 && errno == EINTR)
                    continue;
            }
            if (n <= 0) {
                note(session, "closed by the client without QUIT");
                return;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (discarding) {
            discarding = false;
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        note(session, masked(line));
        const Reply reply = conversation.handle(line);
        if (!send(reply.bytes) || reply.close) {
            if (reply.close)
                note(session, "ended with QUIT, " + std::to_string(mailbox_.size()) + " left");
            return;
        }
        if (reply.startTls) {
            // Bytes that came behind the STLS line were sent in the clear before the handshake:
            // taking them as the secured conversation's first command would let anyone on the
            // way inject one (RFC 2595), so the session ends instead.
            if (!pending.empty()) {
                note(session, "ended: bytes came before the TLS handshake");
                return;
            }
            std::string error;
            secured = tls_->accept(client, wait, error);
            if (!secured) {
                note(session, "ended: " + error);
                return;
            }
            conversation.secured();
            note(session, "secured with " + secured->description());
        }
    }
}

} // namespace toppeek::demo
