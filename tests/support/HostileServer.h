#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace toppeek::test {

// The accepted connection as a hostile server's behaviour sees it. Every wait is bounded by the
// server's wait limit and ends early when the server is being destroyed, so no behaviour can
// keep a test alive.
class HostilePeer {
public:
    HostilePeer(int socket, std::chrono::milliseconds limit, const std::atomic<bool>& stopping);
    ~HostilePeer();
    HostilePeer(const HostilePeer&) = delete;
    HostilePeer& operator=(const HostilePeer&) = delete;

    // Sends every byte; false once the client is gone, the limit ran out or the server stops.
    bool send(std::string_view bytes);
    // Sends one byte at a time with gap before each.
    bool trickle(std::string_view bytes, std::chrono::milliseconds gap);
    // Reads up to and including the next '\n', but no more than most bytes. Nothing when the
    // client closed or nothing came within the limit; the bytes read so far are in partial.
    std::optional<std::string> readLine(std::size_t most = std::string::npos);
    // Waits for bytes and takes what is there, at most most of them, lines or not (a TLS record,
    // say). Nothing when the client closed or nothing came within the limit.
    std::optional<std::string> readSome(std::size_t most = 65536);
    // Waits until the client closes, throwing away whatever it sends meanwhile.
    void waitForClose();
    // Ends the connection gracefully: the client reads everything sent, then the end.
    void close();
    // Ends it abortively (a reset); bytes not yet read by the client may be lost.
    void reset();
    // The client has closed its side (or the connection is already ended here).
    bool clientGone();
    bool stopping() const { return stopping_.load(); }

    // Everything received from the client.
    const std::string& received() const { return received_; }

private:
    int socket_;
    std::chrono::milliseconds limit_;
    const std::atomic<bool>& stopping_;
    std::string received_;
};

// A loopback server for misbehaving on purpose: it accepts one connection on 127.0.0.1 and hands
// it to the behaviour on its own thread. When the behaviour returns, the connection is closed
// gracefully unless the behaviour ended it already. Given several behaviours, it serves one
// connection with each, one after another. Once the last is accepted nothing listens any more, so
// a further connection attempt is refused at once.
class HostileServer {
public:
    using Behaviour = std::function<void(HostilePeer&)>;

    explicit HostileServer(Behaviour behaviour,
                           std::chrono::milliseconds limit = std::chrono::seconds(10));
    explicit HostileServer(std::vector<Behaviour> behaviours,
                           std::chrono::milliseconds limit = std::chrono::seconds(10));
    ~HostileServer();
    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;

    // The host text the client takes: "127.0.0.1:port".
    std::string hostAndPort() const;
    // Everything the client sent, once the behaviours have returned; the connections one after
    // another.
    std::string received();
    // How many connections were accepted, once the behaviours have returned.
    int connections();

private:
    void serve(std::vector<Behaviour> behaviours);

    int listener_ = -1;
    int port_ = 0;
    std::chrono::milliseconds limit_;
    std::atomic<bool> stopping_{false};
    std::string received_;
    int connections_ = 0;
    std::thread thread_;
};

} // namespace toppeek::test
