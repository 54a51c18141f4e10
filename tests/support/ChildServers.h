// Servers of the settings discovery's tests, each a child process that ends with its object:
// dnsmasq answering for made-up domains on a loopback port, and python's http.server over TLS
// serving autoconfig documents.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace toppeek::test {

// A child process started with its output in a file; SIGTERM and reaped when the object goes
// (and killed with the test process, should that die first).
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::vector<std::string>& argv, const std::filesystem::path& output);
    void stop();
    bool running() const { return pid_ > 0; }
    // Whether the child has exited by now (it is reaped then).
    bool exited();

private:
    pid_t pid_ = -1;
};

// dnsmasq on 127.0.0.1 and a free port, authoritative for the names under "test": records as
// dnsmasq options ("--host-record=pop.a.test,127.0.0.1,::1", "--srv-host=...", "--mx-host=...").
// Other names under "test" are answered "no such domain"; nothing is passed upstream.
class DnsTestServer {
public:
    explicit DnsTestServer(std::vector<std::string> records);
    // Starts it and waits until it has bound its port. False with failure() set otherwise.
    bool start();
    // "127.0.0.1:port", as the discovery's resolver takes it.
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string& failure() const { return failure_; }

private:
    std::vector<std::string> records_;
    std::filesystem::path log_;
    ChildProcess process_;
    int port_ = 0;
    std::string failure_;
};

// python3's http.server over TLS on 127.0.0.1, serving root/<host>/<path> for a request to host
// (the port left off, the query ignored). Beside a file, "<file>.redirect" holding an address
// answers 302 to it, and "<file>.slow" makes the server wait 30 s before it answers.
class HttpsTestServer {
public:
    HttpsTestServer(std::filesystem::path root, std::filesystem::path certificate,
                    std::filesystem::path key);
    bool start();
    int port() const { return port_; }
    const std::string& failure() const { return failure_; }

private:
    std::filesystem::path root_;
    std::filesystem::path certificate_;
    std::filesystem::path key_;
    ChildProcess process_;
    int port_ = 0;
    std::string failure_;
};

} // namespace toppeek::test
