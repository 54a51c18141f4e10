#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace toppeek::test {

// A tiny HTTP server on 127.0.0.1 for the update check's tests. Every connection gets its request
// read up to the empty line and then the same raw reply, after which the connection is closed;
// without a reply the server keeps the connection open and says nothing until it stops, like a
// host that silently drops packets.
class HttpTestServer {
public:
    explicit HttpTestServer(std::optional<std::string> reply);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // A complete reply with a status line, a Content-Length and body.
    static std::string reply(int status, const std::string& reason, const std::string& body);

    int port() const { return port_; }
    std::string url(const std::string& path = "/version.txt") const;
    // The requests received so far, each up to and including its empty line.
    std::vector<std::string> requests() const;

    // A loopback port on which nothing listens.
    static int unusedPort();

private:
    void run();
    void serve(int client);

    std::optional<std::string> reply_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

} // namespace toppeek::test
