#include "LatencyProxy.h"

#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace toppeek::bench {

namespace {

using Clock = std::chrono::steady_clock;

// Without it a small write would wait for the acknowledgement of the one before, a delay of the
// proxy's making rather than the one it injects.
void sendAtOnce(int fd) {
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// The proxy's end toward the server stands in for the client, which acknowledges what it reads at
// once. Left to delay its acknowledgements, the proxy would hold a server's second small reply
// behind the server's Nagle wait for 40 ms, another delay of the proxy's making. A proxy cannot
// make the acknowledgement travel the injected delay back, so such a wait, one round trip on a
// real link, costs nothing here.
void acknowledgeAtOnce(int fd) {
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

// One direction of a connection: a reader that stamps each chunk with the time it is due and a
// writer that sends it then. An empty chunk stands for the end of the stream.
class Direction {
public:
    Direction(int from, int to, std::chrono::milliseconds delay, std::atomic<long long>& relayed)
        : from_(from), to_(to), delay_(delay), relayed_(relayed) {}

    void start() {
        reader_ = std::thread([this] { read(); });
        writer_ = std::thread([this] { write(); });
    }
    void join() {
        if (reader_.joinable())
            reader_.join();
        if (writer_.joinable())
            writer_.join();
    }
    bool finished() const { return finished_; }

private:
    void push(std::string chunk) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back({Clock::now() + delay_, std::move(chunk)});
        }
        ready_.notify_one();
    }

    void read() {
        std::string buffer(65536, '\0');
        for (;;) {
            const ssize_t got = ::recv(from_, buffer.data(), buffer.size(), 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            acknowledgeAtOnce(from_);
            relayed_ += got;
            push(buffer.substr(0, static_cast<std::size_t>(got)));
        }
        push({});
    }

    void write() {
        bool broken = false;
        for (;;) {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return !queue_.empty(); });
            const Clock::time_point due = queue_.front().first;
            // Chunks are due in the order they came, so only the first can be due next.
            while (Clock::now() < due)
                ready_.wait_until(lock, due);
            std::string chunk = std::move(queue_.front().second);
            queue_.pop_front();
            lock.unlock();
            if (chunk.empty())
                break;
            for (std::size_t sent = 0; !broken && sent < chunk.size();) {
                const ssize_t put =
                    ::send(to_, chunk.data() + sent, chunk.size() - sent, MSG_NOSIGNAL);
                if (put < 0 && errno == EINTR)
                    continue;
                if (put <= 0) {
                    // The other side is gone: stop reading this side too, so the link ends.
                    broken = true;
                    ::shutdown(from_, SHUT_RD);
                } else {
                    sent += static_cast<std::size_t>(put);
                }
            }
        }
        ::shutdown(to_, SHUT_WR);
        finished_ = true;
    }

    int from_;
    int to_;
    std::chrono::milliseconds delay_;
    std::atomic<long long>& relayed_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::pair<Clock::time_point, std::string>> queue_;
    std::atomic<bool> finished_{false};
    std::thread reader_;
    std::thread writer_;
};

} // namespace

// One accepted connection and the one it made to the server.
class LatencyProxy::Link {
public:
    Link(int client, int server, std::chrono::milliseconds delay, std::atomic<long long>& relayed)
        : client_(client), server_(server), up_(client, server, delay, relayed),
          down_(server, client, delay, relayed) {
        up_.start();
        down_.start();
    }
    ~Link() {
        stop();
        up_.join();
        down_.join();
        ::close(client_);
        ::close(server_);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool finished() const { return up_.finished() && down_.finished(); }
    // Ends both readers; what they queued still goes out after its delay.
    void stop() {
        ::shutdown(client_, SHUT_RD);
        ::shutdown(server_, SHUT_RD);
    }

private:
    int client_;
    int server_;
    Direction up_;
    Direction down_;
};

LatencyProxy::LatencyProxy(int targetPort, std::chrono::milliseconds delay)
    : targetPort_(targetPort), delay_(delay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        return;
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::listen(listener_, 16) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

LatencyProxy::~LatencyProxy() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    for (auto& link : links_)
        link->stop();
    links_.clear();
    if (listener_ >= 0)
        ::close(listener_);
}

void LatencyProxy::run() {
    while (!stopping_) {
        // Connections that ended give their threads back.
        std::erase_if(links_, [](const auto& link) { return link->finished(); });
        pollfd ready{listener_, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in target = loopback(targetPort_);
        if (server < 0 ||
            ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            if (server >= 0)
                ::close(server);
            ::close(client);
            continue;
        }
        sendAtOnce(client);
        sendAtOnce(server);
        links_.push_back(std::make_unique<Link>(client, server, delay_, relayed_));
    }
}

} // namespace toppeek::bench
