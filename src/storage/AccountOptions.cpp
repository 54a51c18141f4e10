#include "storage/AccountOptions.h"

#include "storage/ReservedOptions.h"
#include "storage/SignInOptions.h"

#include <cctype>
#include <charconv>
#include <string>

namespace toppeek::storage {

namespace {

constexpr std::string_view kTrustedCertificate = "tls-trust";
constexpr std::string_view kRememberPassword = "remember-password";
constexpr std::string_view kApopPlainFallback = "apop-plain-fallback";
constexpr std::string_view kKeyring = "keyring";
constexpr std::size_t kDigestLength = 64;

std::string optionName(std::string_view name, const Account& account) {
    return std::string(name) + '.' + std::to_string(account.accountTag);
}

bool setOption(Settings& settings, std::string_view name, std::string_view value) {
    return setReservedOption(settings.reservedText1, name, value,
                             Settings::kMaxReservedText1Length);
}

bool isHexDigest(std::string_view text) {
    return text.size() == kDigestLength &&
           text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

} // namespace

// "DIGEST PORT HOST": the host last, so that nothing it holds (an IPv6 address's colons, say)
// can be taken for the digest or the port.
std::optional<mail::TrustedCertificate> trustedCertificate(const Settings& settings,
                                                           const Account& account) {
    const std::optional<std::string> line =
        reservedOption(settings.reservedText1, optionName(kTrustedCertificate, account));
    if (!line)
        return std::nullopt;
    const std::string_view text = *line;
    const std::size_t portStart = kDigestLength + 1;
    const std::size_t portEnd = text.find(' ', portStart);
    if (text.size() <= portStart || !isHexDigest(text.substr(0, kDigestLength)) ||
        text[kDigestLength] != ' ' || portEnd == std::string_view::npos ||
        portEnd + 1 >= text.size())
        return std::nullopt;
    int port = 0;
    const auto [end, error] = std::from_chars(text.data() + portStart, text.data() + portEnd, port);
    if (error != std::errc() || end != text.data() + portEnd || port < 1 || port > 65535)
        return std::nullopt;
    return mail::TrustedCertificate{std::string(text.substr(portEnd + 1)), port,
                                    std::string(text.substr(0, kDigestLength))};
}

bool setTrustedCertificate(Settings& settings, const Account& account,
                           const mail::TrustedCertificate& trusted) {
    if (!isHexDigest(trusted.sha256) || trusted.host.empty() || trusted.port < 1 ||
        trusted.port > 65535)
        return false;
    // A trust is long: it must not take the room an account's sign-in has in the file, which
    // the save would then drop without a word. The caller tells the user when it is refused.
    std::string text = settings.reservedText1;
    if (!setReservedOption(text, optionName(kTrustedCertificate, account),
                           trusted.sha256 + ' ' + std::to_string(trusted.port) + ' ' + trusted.host,
                           Settings::kMaxReservedText1Length) ||
        !signInLinesKeepRoom(settings, text))
        return false;
    settings.reservedText1 = std::move(text);
    return true;
}

void forgetTrustedCertificate(Settings& settings, const Account& account) {
    removeReservedOption(settings.reservedText1, optionName(kTrustedCertificate, account));
}

std::string fingerprintText(std::string_view sha256, int lineBytes) {
    std::string text;
    for (std::size_t i = 0; i + 1 < sha256.size(); i += 2) {
        const std::size_t byte = i / 2;
        if (byte > 0)
            text += lineBytes > 0 && byte % static_cast<std::size_t>(lineBytes) == 0 ? '\n' : ':';
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(sha256[i])));
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(sha256[i + 1])));
    }
    return text;
}

bool remembersPassword(const Settings& settings, const Account& account) {
    return reservedOption(settings.reservedText1, optionName(kRememberPassword, account)) != "0";
}

bool setRemembersPassword(Settings& settings, const Account& account, bool remember) {
    if (remember) {
        removeReservedOption(settings.reservedText1, optionName(kRememberPassword, account));
        return true;
    }
    return setOption(settings, optionName(kRememberPassword, account), "0");
}

void forgetAccountOptions(Settings& settings, const Account& account) {
    forgetTrustedCertificate(settings, account);
    setRemembersPassword(settings, account, true);
}

bool apopPlainFallback(const Settings& settings) {
    return reservedOption(settings.reservedText1, kApopPlainFallback) == "1";
}

void setApopPlainFallback(Settings& settings, bool allowed) {
    if (allowed)
        setOption(settings, kApopPlainFallback, "1");
    else
        removeReservedOption(settings.reservedText1, kApopPlainFallback);
}

bool keyringOff(const Settings& settings) {
    return reservedOption(settings.reservedText1, kKeyring) == "off";
}

void setKeyringOff(Settings& settings) {
    setOption(settings, kKeyring, "off");
}

} // namespace toppeek::storage
