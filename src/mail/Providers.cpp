#include "mail/Providers.h"

#include <array>
#include <string>

namespace toppeek::mail {

namespace {

// Google's OAuth 2.0 for installed applications; the scope is the one its POP3 server takes.
constexpr OAuthPreset kGoogle = {"google", "Google", "https://accounts.google.com/o/oauth2/v2/auth",
                                 "https://oauth2.googleapis.com/token", "https://mail.google.com/"};

// The Microsoft identity platform's v2.0 endpoints for work, school and personal accounts; without
// offline_access it gives no refresh token, and the user would sign in at every check.
constexpr OAuthPreset kMicrosoft = {
    "microsoft", "Microsoft", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
    "https://login.microsoftonline.com/common/oauth2/v2.0/token",
    "https://outlook.office.com/POP.AccessAsUser.All offline_access"};

constexpr std::array<const OAuthPreset*, 2> kPresets = {&kGoogle, &kMicrosoft};

// Each line from the provider's public help pages on POP3; all take POP3 over TLS on port 995.
constexpr MailProvider kProviders[] = {
    {"Gmail", "gmail.com googlemail.com", "google.com googlemail.com", "pop.gmail.com", 995,
     Security::Tls, &kGoogle,
     "Google signs in with OAuth2, or with an app password when two-step verification is on. POP "
     "must be switched on in Gmail's settings (Forwarding and POP/IMAP)."},
    {"Outlook.com", "outlook.com msn.com passport.com outlook.de outlook.fr hotmail.* live.*",
     "outlook.com", "outlook.office365.com", 995, Security::Tls, &kMicrosoft,
     "Microsoft takes only OAuth2 sign-in for POP3; POP must be allowed in Outlook's settings "
     "(Forwarding and IMAP)."},
    {"Yahoo Mail",
     "yahoo.com ymail.com rocketmail.com yahoo.co.uk yahoo.de yahoo.fr yahoo.es yahoo.it yahoo.ca "
     "yahoo.com.au yahoo.in",
     "yahoodns.net", "pop.mail.yahoo.com", 995, Security::Tls, nullptr,
     "Yahoo needs an app password, made in the account's security settings."},
    {"AOL Mail", "aol.com aim.com", "", "pop.aol.com", 995, Security::Tls, nullptr,
     "AOL needs an app password, made in the account's security settings."},
    {"GMX", "gmx.net gmx.de gmx.at gmx.ch", "gmx.net gmx.de", "pop.gmx.net", 995, Security::Tls,
     nullptr, "POP3 must be switched on in GMX's settings (POP3 & IMAP) first."},
    {"GMX", "gmx.com gmx.us gmx.co.uk gmx.fr gmx.es", "gmx.com", "pop.gmx.com", 995, Security::Tls,
     nullptr, "POP3 must be switched on in GMX's settings first."},
    {"WEB.DE", "web.de", "web.de", "pop3.web.de", 995, Security::Tls, nullptr,
     "POP3 must be switched on in WEB.DE's settings (POP3/IMAP) first."},
    {"Mail.ru", "mail.ru inbox.ru list.ru bk.ru internet.ru", "mail.ru", "pop.mail.ru", 995,
     Security::Tls, nullptr,
     "Mail.ru needs a password for external applications, made in the account's security "
     "settings."},
    {"Yandex Mail", "yandex.ru yandex.com ya.ru yandex.by yandex.kz yandex.ua",
     "yandex.ru yandex.net", "pop.yandex.com", 995, Security::Tls, nullptr,
     "Yandex needs an app password, and POP3 switched on in the mail settings (Email clients)."},
    {"Zoho Mail", "zoho.com zohomail.com", "zoho.com", "pop.zoho.com", 995, Security::Tls, nullptr,
     "POP access must be switched on in Zoho Mail's settings."},
    {"Zoho Mail (EU)", "zoho.eu zohomail.eu", "zoho.eu", "pop.zoho.eu", 995, Security::Tls, nullptr,
     "POP access must be switched on in Zoho Mail's settings."},
    {"Fastmail", "fastmail.com fastmail.fm fastmail.net fastmail.org messagingengine.com",
     "messagingengine.com", "pop.fastmail.com", 995, Security::Tls, nullptr,
     "Fastmail takes only an app password here, never the account's own password."},
    {"iCloud Mail", "icloud.com me.com mac.com", "icloud.com", "", 0, Security::Tls, nullptr,
     "iCloud Mail offers no POP3, only IMAP: TopPeek cannot read it."},
    {"Proton Mail", "proton.me protonmail.com protonmail.ch pm.me", "protonmail.ch", "", 0,
     Security::Tls, nullptr,
     "Proton Mail offers no POP3 (its Bridge speaks IMAP only): TopPeek cannot read it."},
    {"T-Online", "t-online.de magenta.de", "t-online.de", "securepop.t-online.de", 995,
     Security::Tls, nullptr,
     "T-Online needs the separate e-mail password set in its customer centre."},
    {"Xfinity (Comcast)", "comcast.net", "comcast.net", "pop.comcast.net", 995, Security::Tls,
     nullptr, ""},
};

std::string normalised(std::string_view name) {
    while (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Calls visit for each space-separated word of list until it returns true.
template <typename Visit> bool anyWord(std::string_view list, Visit visit) {
    while (!list.empty()) {
        const std::size_t end = list.find(' ');
        const std::string_view word = list.substr(0, end);
        if (!word.empty() && visit(word))
            return true;
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
    }
    return false;
}

bool isLabel(std::string_view text) {
    return !text.empty() && text.find('.') == std::string_view::npos;
}

// Whether domain is word, or one of the country domains a word "label.*" stands for.
bool domainMatches(std::string_view word, std::string_view domain) {
    if (!word.ends_with(".*"))
        return word == domain;
    const std::string_view prefix = word.substr(0, word.size() - 1); // "label."
    if (!domain.starts_with(prefix))
        return false;
    std::string_view rest = domain.substr(prefix.size());
    for (const std::string_view second : {"co.", "com."})
        if (rest.starts_with(second) && isLabel(rest.substr(second.size())))
            return true;
    return isLabel(rest);
}

} // namespace

std::span<const MailProvider> mailProviders() {
    return kProviders;
}

const MailProvider* mailProviderForDomain(std::string_view domain) {
    const std::string wanted = normalised(domain);
    for (const MailProvider& provider : kProviders)
        if (anyWord(provider.domains,
                    [&](std::string_view word) { return domainMatches(word, wanted); }))
            return &provider;
    return nullptr;
}

const MailProvider* mailProviderForExchanger(std::string_view host) {
    const std::string name = normalised(host);
    for (const MailProvider& provider : kProviders) {
        if (anyWord(provider.mailExchangers, [&](std::string_view suffix) {
                return name == suffix || (name.size() > suffix.size() && name.ends_with(suffix) &&
                                          name[name.size() - suffix.size() - 1] == '.');
            }))
            return &provider;
    }
    return nullptr;
}

std::span<const OAuthPreset* const> oauthPresets() {
    return kPresets;
}

const OAuthPreset* oauthPreset(std::string_view key) {
    for (const OAuthPreset* preset : kPresets)
        if (preset->key == key)
            return preset;
    return nullptr;
}

const MailProvider* providerSigningInWith(const OAuthPreset& preset) {
    for (const MailProvider& provider : kProviders)
        if (provider.oauth == &preset)
            return &provider;
    return nullptr;
}

} // namespace toppeek::mail
