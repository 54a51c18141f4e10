// A POP3 server over TLS of the benchmark's own, on 127.0.0.1, that writes every reply in two TLS
// records sent one after the other, as some servers do (the status line's first word, then the
// rest). Its socket keeps Nagle's algorithm, like theirs, so the second record waits until the
// client acknowledges the first: a client that delays its acknowledgements waits for it on every
// reply. It answers USER, PASS, STAT, LIST n, TOP n 0 and QUIT for a mailbox of its own.
#pragma once

#include "support/TestCertificates.h"

#include <atomic>
#include <string>
#include <thread>

namespace toppeek::bench {

class TwoRecordServer {
public:
    TwoRecordServer(toppeek::test::IssuedCertificate identity, int messages);
    ~TwoRecordServer();
    TwoRecordServer(const TwoRecordServer&) = delete;
    TwoRecordServer& operator=(const TwoRecordServer&) = delete;

    bool ok() const { return listener_ >= 0; }
    int port() const { return port_; }
    int messages() const { return messages_; }

private:
    void run();
    void serve(int client);
    std::string replyTo(const std::string& line, bool& quit) const;

    toppeek::test::IssuedCertificate identity_;
    int messages_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace toppeek::bench
