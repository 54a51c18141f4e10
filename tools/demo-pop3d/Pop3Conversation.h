// The server side of one POP3 session (RFC 1939) over the demo mailbox: the greeting with its
// APOP time stamp, the authorization state (USER/PASS, APOP), the transaction state (STAT, LIST,
// UIDL, TOP, RETR, DELE, RSET, NOOP, CAPA) and the update state entered by QUIT, which is the
// only place where messages marked with DELE leave the mailbox; STLS (RFC 2595) when the server
// offers it. It only turns command lines into replies; the socket, and the TLS over it, belong to
// the caller.
#pragma once

#include "DemoMailbox.h"

#include <string>
#include <string_view>
#include <vector>

namespace toppeek::demo {

struct Credentials {
    std::string user;
    std::string password;
};

// The longest command line taken, CR LF included (RFC 2449).
inline constexpr std::size_t kMaxCommandLine = 255;

struct Reply {
    std::string bytes;     // the whole reply, CR LF line ends, a multi-line one dot-stuffed
    bool close = false;    // the session ends once the reply is out
    bool startTls = false; // the handshake starts once the reply is out (see secured())
};

// The lowercase hexadecimal MD5 of stamp followed by password, as APOP expects it.
std::string apopDigestOf(std::string_view stamp, std::string_view password);

// The lines of text (CR LF ends) with every line that begins with a dot given another one, and
// the terminating line appended.
std::string dotStuffed(std::string_view text);

class Pop3Conversation {
public:
    // stamp is the greeting's time stamp, angle brackets included, unique for the session.
    Pop3Conversation(DemoMailbox& mailbox, Credentials credentials, std::string stamp);

    std::string greeting() const;
    // Lists STLS in CAPA and accepts it in the authorization state, once per session.
    void offerStartTls() { startTlsOffered_ = true; }
    // The handshake that a STLS reply started has finished: what the client said before it is
    // forgotten (a USER waiting for its PASS), and STLS is offered no more.
    void secured();
    bool isSecured() const { return secured_; }
    // line is one command line without its line end.
    Reply handle(std::string_view line);

    bool loggedIn() const { return state_ == State::Transaction; }
    bool finished() const { return state_ == State::Done; }

private:
    enum class State { Authorization, Transaction, Done };

    Reply authorization(const std::string& keyword, std::string_view arguments);
    Reply transaction(const std::string& keyword, std::string_view arguments);
    Reply enterTransaction();
    // The message a decimal argument names, when it names one not marked deleted.
    const DemoMessage* message(std::string_view argument, std::size_t& index) const;
    std::size_t liveCount() const;
    std::size_t liveOctets() const;

    DemoMailbox& mailbox_;
    Credentials credentials_;
    std::string stamp_;
    State state_ = State::Authorization;
    std::string user_; // given by USER, waiting for PASS
    bool haveUser_ = false;
    std::vector<bool> deleted_;
    bool startTlsOffered_ = false;
    bool secured_ = false;
};

} // namespace toppeek::demo
