#include "signin/OAuthProviders.h"

#include "mail/Providers.h"

namespace toppeek::signin {

namespace {

const mail::OAuthPreset* tablePreset(ProviderKind kind) {
    return kind == ProviderKind::Other ? nullptr : mail::oauthPreset(providerKey(kind));
}

} // namespace

OAuthSetup presetFor(ProviderKind kind) {
    OAuthSetup setup;
    setup.kind = kind;
    if (const mail::OAuthPreset* preset = tablePreset(kind)) {
        setup.authorizationUrl = preset->authorizationUrl;
        setup.tokenUrl = preset->tokenUrl;
        setup.scope = preset->scope;
    }
    setup.clientId = builtInClientId(kind);
    setup.clientSecret = builtInClientSecret(kind);
    return setup;
}

std::string_view pop3ServerOf(ProviderKind kind) {
    const mail::OAuthPreset* preset = tablePreset(kind);
    const mail::MailProvider* provider = preset ? mail::providerSigningInWith(*preset) : nullptr;
    return provider ? provider->host : std::string_view();
}

std::string_view providerName(ProviderKind kind) {
    const mail::OAuthPreset* preset = tablePreset(kind);
    return preset ? preset->name : "Other";
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
    const mail::MailProvider* provider = mail::mailProviderForDomain(address.substr(at + 1));
    if (provider == nullptr || provider->oauth == nullptr) {
        return std::nullopt;
    }
    return providerFromKey(provider->oauth->key);
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
