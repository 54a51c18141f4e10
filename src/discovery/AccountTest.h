// The account editor's Test: connects with the settings as typed and tells in one report what it
// found on the way, how far it got, and when something failed what to try instead. The password
// goes out only over a connection that is secured with a trusted certificate, or over a plain
// one when the account says None.
#pragma once

#include "mail/Pop3.h"
#include "mail/Tls.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace toppeek::discovery {

struct AccountTestInput {
    std::string hostText; // as the account keeps it: "pop3s://name:port", "pop3+stls://name"
    std::string userName;
    std::string password;
    bool useApop = false;
    // "address:port" of the only DNS server to ask, for tests; empty: the system's resolver.
    std::string dnsServer;
    std::uint32_t timeoutSeconds = 15;
};

struct AccountTestReport {
    enum class LogIn { NotTried, Accepted, Refused };

    std::string host;
    int port = 0;
    mail::Security security = mail::Security::None;
    std::vector<std::string> addresses; // "127.0.0.1 (IPv4)"
    std::string connectedTo;            // empty when no connection was made
    std::string greeting;
    bool tlsTried = false;
    bool secured = false;
    mail::TlsPeerInfo tls;
    std::vector<std::string> capabilities; // the CAPA lines, after securing when secured
    std::vector<std::string> sasl;
    bool stlsRefused = false;
    LogIn logIn = LogIn::NotTried;
    std::string logInReply; // the server's words on a refused log-in
    long messages = -1;
    long octets = -1;
    bool cancelled = false;
    // What went wrong first, in one sentence; empty when everything worked.
    std::string failure;
    // What to try, one suggestion a line.
    std::vector<std::string> advice;

    bool succeeded() const { return logIn == LogIn::Accepted && failure.empty(); }
};

AccountTestReport testAccount(const AccountTestInput& input,
                              const std::atomic<bool>* stop = nullptr,
                              const std::function<void(const std::string&)>& progress = {});

// The report as the editor shows it: one fact a line, then the advice.
std::string reportText(const AccountTestReport& report);

} // namespace toppeek::discovery
