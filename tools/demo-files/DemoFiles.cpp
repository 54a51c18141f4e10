#include "DemoFiles.h"

#include "core/Calendar.h"
#include "storage/AccountOptions.h"

using namespace toppeek::storage;
using namespace toppeek::messages;

namespace toppeek::demo {

using core::todayNumber;

namespace {

void addRule(Filters& filters, RuleKind kind, const char* text) {
    std::unique_ptr<FilterRule> rule = createFilterRule();
    rule->kind = kind;
    switch (kind) {
    case RuleKind::FromContains:
        rule->fromText = text;
        break;
    case RuleKind::SubjectContains:
        rule->subjectText = text;
        break;
    case RuleKind::HeadersContain:
        rule->headersText = text;
        break;
    }
    if (filters.rules.append(rule.get()) >= 0)
        rule.release();
}

void addAccount(Settings& settings, const char* address, const std::string& host) {
    std::unique_ptr<Account> account = newAccount();
    account->address = address;
    account->host = host;
    account->userName = kDemoUser;
    account->password = kDemoPassword;
    if (settings.accounts.append(account.get()) >= 0)
        account.release();
}

} // namespace

std::unique_ptr<Settings> demoSettings(const std::string& host,
                                       const std::optional<std::string>& securedHost) {
    std::unique_ptr<Settings> settings = createDefaultSettings();
    addAccount(*settings, kDemoAddress, host);
    if (securedHost)
        addAccount(*settings, kDemoSecuredAddress, *securedHost);
    settings->selectedAccount = 0;
    settings->useApop = 1;
    settings->bodyLines = 40;
    settings->showAbout = 0;
    const int today = todayNumber();
    settings->lastUpdateCheckDay = today > 0 ? static_cast<std::uint32_t>(today) : 0;
    // The demo's password stays in the demo's own settings file: leaving the demo must not ask
    // the desktop's keyring to take it (or to be created for it).
    setKeyringOff(*settings);
    return settings;
}

std::unique_ptr<Filters> demoFilters() {
    std::unique_ptr<Filters> filters = createFilters();
    addRule(*filters, RuleKind::SubjectContains, "lottery");
    addRule(*filters, RuleKind::FromContains, "casino");
    addRule(*filters, RuleKind::HeadersContain, "X-Spam-Flag: YES");
    filters->bannedDomains.add("cheap-pills.example");
    filters->bannedDomains.add("bulk-offers.example");
    filters->friendlyDomains.add("friends.example");
    filters->rulesEnabled = 1;
    filters->bannedEnabled = 1;
    filters->friendlyEnabled = 1;
    return filters;
}

} // namespace toppeek::demo
