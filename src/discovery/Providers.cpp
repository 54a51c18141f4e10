#include "discovery/Providers.h"

#include "mail/Providers.h"

#include <vector>

namespace toppeek::discovery {

namespace {

// The table's rows in the search's terms, in the table's order, so that a row's index is the
// same in both.
const std::vector<Provider>& rows() {
    static const std::vector<Provider> table = [] {
        std::vector<Provider> built;
        for (const mail::MailProvider& row : mail::mailProviders())
            built.push_back({row.name, row.domains, row.mailExchangers, row.host, row.port,
                             row.security, row.oauth ? SignIn::OAuth2 : SignIn::Password,
                             row.note});
        return built;
    }();
    return table;
}

const Provider* rowOf(const mail::MailProvider* found) {
    if (found == nullptr)
        return nullptr;
    return &rows()[static_cast<std::size_t>(found - mail::mailProviders().data())];
}

} // namespace

std::span<const Provider> providers() {
    return rows();
}

const Provider* providerForDomain(std::string_view domain) {
    return rowOf(mail::mailProviderForDomain(domain));
}

const Provider* providerForMailExchanger(std::string_view host) {
    return rowOf(mail::mailProviderForExchanger(host));
}

} // namespace toppeek::discovery
