#include "discovery/Providers.h"

#include <string>

namespace toppeek::discovery {

namespace {

using mail::Security;

// Each line from the provider's public help pages on POP3; all take POP3 over TLS on port 995.
constexpr Provider kProviders[] = {
    {"Gmail", "gmail.com googlemail.com", "google.com googlemail.com", "pop.gmail.com", 995,
     Security::Tls, SignIn::OAuth2,
     "Google signs in with OAuth2, or with an app password when two-step verification is on. POP "
     "must be switched on in Gmail's settings (Forwarding and POP/IMAP)."},
    {"Outlook.com",
     "outlook.com hotmail.com live.com msn.com passport.com hotmail.co.uk hotmail.fr hotmail.de "
     "hotmail.it hotmail.es live.co.uk live.fr live.de live.it outlook.de outlook.fr",
     "outlook.com", "outlook.office365.com", 995, Security::Tls, SignIn::OAuth2,
     "Microsoft takes only OAuth2 sign-in for POP3; POP must be allowed in Outlook's settings "
     "(Forwarding and IMAP)."},
    {"Yahoo Mail",
     "yahoo.com ymail.com rocketmail.com yahoo.co.uk yahoo.de yahoo.fr yahoo.es yahoo.it yahoo.ca "
     "yahoo.com.au yahoo.in",
     "yahoodns.net", "pop.mail.yahoo.com", 995, Security::Tls, SignIn::Password,
     "Yahoo needs an app password, made in the account's security settings."},
    {"AOL Mail", "aol.com aim.com", "", "pop.aol.com", 995, Security::Tls, SignIn::Password,
     "AOL needs an app password, made in the account's security settings."},
    {"GMX", "gmx.net gmx.de gmx.at gmx.ch", "gmx.net gmx.de", "pop.gmx.net", 995, Security::Tls,
     SignIn::Password, "POP3 must be switched on in GMX's settings (POP3 & IMAP) first."},
    {"GMX", "gmx.com gmx.us gmx.co.uk gmx.fr gmx.es", "gmx.com", "pop.gmx.com", 995, Security::Tls,
     SignIn::Password, "POP3 must be switched on in GMX's settings first."},
    {"WEB.DE", "web.de", "web.de", "pop3.web.de", 995, Security::Tls, SignIn::Password,
     "POP3 must be switched on in WEB.DE's settings (POP3/IMAP) first."},
    {"Mail.ru", "mail.ru inbox.ru list.ru bk.ru internet.ru", "mail.ru", "pop.mail.ru", 995,
     Security::Tls, SignIn::Password,
     "Mail.ru needs a password for external applications, made in the account's security "
     "settings."},
    {"Yandex Mail", "yandex.ru yandex.com ya.ru yandex.by yandex.kz yandex.ua",
     "yandex.ru yandex.net", "pop.yandex.com", 995, Security::Tls, SignIn::Password,
     "Yandex needs an app password, and POP3 switched on in the mail settings (Email clients)."},
    {"Zoho Mail", "zoho.com zohomail.com", "zoho.com", "pop.zoho.com", 995, Security::Tls,
     SignIn::Password, "POP access must be switched on in Zoho Mail's settings."},
    {"Zoho Mail (EU)", "zoho.eu zohomail.eu", "zoho.eu", "pop.zoho.eu", 995, Security::Tls,
     SignIn::Password, "POP access must be switched on in Zoho Mail's settings."},
    {"Fastmail", "fastmail.com fastmail.fm fastmail.net fastmail.org messagingengine.com",
     "messagingengine.com", "pop.fastmail.com", 995, Security::Tls, SignIn::Password,
     "Fastmail takes only an app password here, never the account's own password."},
    {"iCloud Mail", "icloud.com me.com mac.com", "icloud.com", "", 0, Security::Tls,
     SignIn::Password, "iCloud Mail offers no POP3, only IMAP: TopPeek cannot read it."},
    {"Proton Mail", "proton.me protonmail.com protonmail.ch pm.me", "protonmail.ch", "", 0,
     Security::Tls, SignIn::Password,
     "Proton Mail offers no POP3 (its Bridge speaks IMAP only): TopPeek cannot read it."},
    {"T-Online", "t-online.de magenta.de", "t-online.de", "securepop.t-online.de", 995,
     Security::Tls, SignIn::Password,
     "T-Online needs the separate e-mail password set in its customer centre."},
    {"Xfinity (Comcast)", "comcast.net", "comcast.net", "pop.comcast.net", 995, Security::Tls,
     SignIn::Password, ""},
};

std::string normalised(std::string_view name) {
    while (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    return lowerAscii(name);
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

} // namespace

std::span<const Provider> providers() {
    return kProviders;
}

const Provider* providerForDomain(std::string_view domain) {
    const std::string wanted = normalised(domain);
    for (const Provider& provider : kProviders)
        if (anyWord(provider.domains, [&](std::string_view word) { return word == wanted; }))
            return &provider;
    return nullptr;
}

const Provider* providerForMailExchanger(std::string_view host) {
    const std::string name = normalised(host);
    for (const Provider& provider : kProviders) {
        if (anyWord(provider.mailExchangers, [&](std::string_view suffix) {
                return name == suffix || (name.size() > suffix.size() && name.ends_with(suffix) &&
                                          name[name.size() - suffix.size() - 1] == '.');
            }))
            return &provider;
    }
    return nullptr;
}

} // namespace toppeek::discovery
