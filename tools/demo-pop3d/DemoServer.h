// The demo mailbox served over TCP on 127.0.0.1: one session at a time, as a POP3 server locks
// its maildrop, each in its own Pop3Conversation over the one mailbox, so that what one session
// deletes is gone in the next.
#pragma once

#include "DemoMailbox.h"
#include "DemoTls.h"
#include "Pop3Conversation.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace toppeek::demo {

class DemoServer {
public:
    DemoServer(DemoMailbox mailbox, Credentials credentials);
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Listens on 127.0.0.1 at port, or at a port the system picks when it is 0. False with the
    // reason in error when that fails.
    bool listen(int port, std::string& error);
    int port() const { return port_; }

    // Offers STLS with the identity's server certificate from the next session on. False, with
    // the reason in error, when OpenSSL does not take it.
    bool offerStartTls(const DemoIdentity& identity, std::string& error);

    // Serves sessions one after another until stop() is called. A session whose client stays
    // silent for the idle limit is ended without its deletions, as RFC 1939's autologout timer
    // says.
    void run();
    // Makes run() return soon; safe from another thread and from a signal handler.
    void stop();

    // Called with every command line received ("PASS" lines masked) and every session's end,
    // prefixed by the session's number; may be empty.
    std::function<void(const std::string&)> log;
    std::chrono::milliseconds idleLimit{std::chrono::minutes(10)};

    // The mailbox as the finished sessions left it.
    const DemoMailbox& mailbox() const { return mailbox_; }

private:
    void serve(int client, int session);
    // Waits until fd is readable (or writable); false when stop() was called or the limit ran
    // out.
    bool waitReady(int fd, bool forWriting, std::chrono::milliseconds limit);
    void note(int session, const std::string& text);

    DemoMailbox mailbox_;
    Credentials credentials_;
    int listener_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1}; // stop() writes to wake_[1]
    std::unique_ptr<TlsServer> tls_;
};

} // namespace toppeek::demo
