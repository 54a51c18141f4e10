// A TCP proxy of the benchmark's own on 127.0.0.1 that puts a network's latency between a client
// and a server on loopback: every chunk it reads is written on after a fixed delay, in each
// direction, in the order read. It knows nothing of the protocol, so POP3 over TLS passes through
// it as well as plain POP3.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace toppeek::bench {

class LatencyProxy {
public:
    // Forwards every connection it accepts to 127.0.0.1:targetPort, delay each way.
    LatencyProxy(int targetPort, std::chrono::milliseconds delay);
    ~LatencyProxy();
    LatencyProxy(const LatencyProxy&) = delete;
    LatencyProxy& operator=(const LatencyProxy&) = delete;

    bool ok() const { return listener_ >= 0; }
    int port() const { return port_; }
    // Bytes relayed both ways since the proxy started or the count was last cleared.
    long long bytesRelayed() const { return relayed_; }
    void clearCount() { relayed_ = 0; }

    class Link;

private:
    void run();

    int targetPort_;
    std::chrono::milliseconds delay_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<long long> relayed_{0};
    std::vector<std::unique_ptr<Link>> links_; // touched by the accepting thread alone
    std::thread thread_;
};

} // namespace toppeek::bench
