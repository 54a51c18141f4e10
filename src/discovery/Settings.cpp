#include "discovery/Settings.h"

namespace toppeek::discovery {

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string domainOf(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos)
        return {};
    std::string_view domain = address.substr(at + 1);
    while (!domain.empty() && (domain.back() == '.' || domain.back() == ' '))
        domain.remove_suffix(1);
    return lowerAscii(domain);
}

std::string localPartOf(std::string_view address) {
    const std::size_t at = address.rfind('@');
    return std::string(at == std::string_view::npos ? address : address.substr(0, at));
}

const char* securityName(mail::Security security) {
    switch (security) {
    case mail::Security::Tls:
        return "SSL/TLS";
    case mail::Security::StartTls:
        return "STARTTLS";
    case mail::Security::None:
        break;
    }
    return "None";
}

} // namespace toppeek::discovery
