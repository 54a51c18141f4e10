#include "signin/OAuthProviders.h"

#include <algorithm>
#include <array>

namespace toppeek::signin {

namespace {

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return result;
}

// The first label of the domain, and the domain without it: "hotmail.co.uk" gives "hotmail".
bool firstLabelIs(std::string_view domain, std::string_view label) {
    return domain.size() > label.size() + 1 && domain.starts_with(label) &&
           domain[label.size()] == '.';
}

} // namespace

OAuthSetup presetFor(ProviderKind kind) {
    OAuthSetup setup;
    setup.kind = kind;
    if (kind == ProviderKind::Google) {
        // Google's OAuth 2.0 for installed applications; the scope is the one its POP3 server
        // takes.
        setup.authorizationUrl = "https://accounts.google.com/o/oauth2/v2/auth";
        setup.tokenUrl = "https://oauth2.googleapis.com/token";
        setup.scope = "https://mail.google.com/";
    } else if (kind == ProviderKind::Microsoft) {
        // The Microsoft identity platform's v2.0 endpoints for work, school and personal accounts.
        setup.authorizationUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize";
        setup.tokenUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
        setup.scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
    }
    setup.clientId = builtInClientId(kind);
    setup.clientSecret = builtInClientSecret(kind);
    return setup;
}

std::string_view pop3ServerOf(ProviderKind kind) {
    switch (kind) {
    case ProviderKind::Google:
        return "pop.gmail.com";
    case ProviderKind::Microsoft:
        return "outlook.office365.com";
    case ProviderKind::Other:
        break;
    }
    return {};
}

std::string_view providerName(ProviderKind kind) {
    switch (kind) {
    case ProviderKind::Google:
        return "Google";
    case ProviderKind::Microsoft:
        return "Microsoft";
    case ProviderKind::Other:
        break;
    }
    return "Other";
}

std::string_view providerKey(ProviderKind kind) {
    switch (kind) {
    case ProviderKind::Google:
        return "google";
    case ProviderKind::Microsoft:
        return "microsoft";
    case ProviderKind::Other:
        break;
    }
    return "other";
}

std::optional<ProviderKind> providerFromKey(std::string_view key) {
    for (ProviderKind kind : {ProviderKind::Google, ProviderKind::Microsoft, ProviderKind::Other}) {
        if (key == providerKey(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

std::optional<ProviderKind> providerForAddress(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string domain = lowered(address.substr(at + 1));
    if (domain == "gmail.com" || domain == "googlemail.com") {
        return ProviderKind::Google;
    }
    if (domain == "outlook.com" || domain == "msn.com" || firstLabelIs(domain, "hotmail") ||
        firstLabelIs(domain, "live")) {
        return ProviderKind::Microsoft;
    }
    return std::nullopt;
}

std::string builtInClientId(ProviderKind kind) {
    switch (kind) {
    case ProviderKind::Google:
        return TOPPEEK_GOOGLE_CLIENT_ID;
    case ProviderKind::Microsoft:
        return TOPPEEK_MICROSOFT_CLIENT_ID;
    case ProviderKind::Other:
        break;
    }
    return {};
}

std::string builtInClientSecret(ProviderKind kind) {
    return kind == ProviderKind::Google ? TOPPEEK_GOOGLE_CLIENT_SECRET : "";
}

} // namespace toppeek::signin
