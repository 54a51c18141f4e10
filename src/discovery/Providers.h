// The large mail providers' POP3 servers as the settings search sees them: the program's one
// provider table (mail/Providers.h), with what signing in there takes in the search's terms.
#pragma once

#include "discovery/Settings.h"

#include <span>
#include <string_view>

namespace toppeek::discovery {

struct Provider {
    std::string_view name;
    // The provider's own mail domains, separated by spaces ("label.*" as mail/Providers.h says).
    std::string_view domains;
    // Domains under which the provider's MX hosts are named, separated by spaces: a domain of its
    // own whose MX is one of them is hosted there (Google Workspace, Microsoft 365).
    std::string_view mailExchangers;
    // Empty when the provider offers no POP3 at all.
    std::string_view host;
    int port = mail::kPop3sPort;
    mail::Security security = mail::Security::Tls;
    // What signing in takes; the user name is always the whole address.
    SignIn signIn = SignIn::Password;
    // What the user must know beyond the settings, in one or two sentences; may be empty.
    std::string_view note;

    bool offersPop3() const { return !host.empty(); }
};

std::span<const Provider> providers();

// The provider whose own domain this is (case-insensitive, a trailing dot ignored), or null.
const Provider* providerForDomain(std::string_view domain);
// The provider whose MX hosts are named under a domain that host ends in, or null.
const Provider* providerForMailExchanger(std::string_view host);

} // namespace toppeek::discovery
