// Finding an account's POP3 server from its address alone. The sources are asked in this order
// and the first that answers wins: the provider table, the domain's autoconfig document, its DNS
// records (RFC 6186 SRV, then an MX under a provider of the table), and last a look at the
// usual server names. The whole search ends within a bound (about ten seconds).
//
// discoverSettings blocks its thread for the whole search; the account editor runs it on a
// helper thread and stops it through the stop flag. No credential is ever sent: the look at a
// server reads its greeting and CAPA only.
#pragma once

#include "discovery/Providers.h"
#include "discovery/Settings.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::discovery {

// Where the search goes on the network. Real use keeps the defaults; the tests aim the search at
// their own DNS server (dnsmasq on a loopback port) and at their servers' ports instead of 443,
// 995 and 110.
struct Endpoints {
    // "address:port" of the only DNS server to ask; empty: the system's resolver configuration.
    std::string dnsServer;
    int httpsPort = 443;
    int pop3sPort = mail::kPop3sPort;
    int pop3Port = 110;
};

struct DiscoveryOptions {
    std::chrono::milliseconds bound{10000};
    // Another thread stores true to end the search at once (Cancel).
    const std::atomic<bool>* stop = nullptr;
    // What the search is doing now, in a few words; called on the searching thread.
    std::function<void(const std::string&)> progress;
    Endpoints endpoints;
};

// One source as it was asked.
struct SourceStep {
    Source source;
    std::string outcome; // what it said or why it had nothing, one line
    std::chrono::milliseconds took{0};
};

struct Discovery {
    bool found = false;
    ServerSettings settings;
    Source source = Source::ProviderTable;
    // Where it came from, as the editor says it: "found in the provider table (Gmail)".
    std::string origin;
    // The provider of the table, when the table or the MX named one.
    const Provider* provider = nullptr;
    // The provider offers no POP3 at all (iCloud): found is false and the note says so.
    bool noPop3 = false;
    // What the user must know beyond the settings (an app password, POP to switch on).
    std::string note;
    bool cancelled = false;
    std::vector<SourceStep> steps;
};

Discovery discoverSettings(std::string_view address, const DiscoveryOptions& options = {});

// The sign-in as the editor names it: "password", "encrypted password", "OAuth2".
const char* signInName(SignIn signIn);

} // namespace toppeek::discovery
