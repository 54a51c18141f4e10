#pragma once

#include <string>
#include <vector>

namespace toppeek::test {

// PEM texts of a private key and its certificate.
struct IssuedCertificate {
    std::string key;
    std::string certificate;
};

// A certificate authority made up for a test run (OpenSSL, P-256 keys), to hand servers
// certificates that are good, expired, or for another name, and to be trusted or not.
class TestAuthority {
public:
    explicit TestAuthority(const std::string& commonName);
    ~TestAuthority();
    TestAuthority(const TestAuthority&) = delete;
    TestAuthority& operator=(const TestAuthority&) = delete;

    // False when OpenSSL failed to make the authority; nothing else works then.
    bool valid() const { return certificate_ != nullptr; }
    // The authority's own certificate, for a trust file.
    std::string certificatePem() const;

    // A server certificate for the names ("DNS:localhost", "IP:127.0.0.1", ...), valid from
    // validFromSeconds to validUntilSeconds relative to now. Empty texts on failure.
    IssuedCertificate issue(const std::string& commonName, const std::vector<std::string>& names,
                            long validFromSeconds = -3600,
                            long validUntilSeconds = 24 * 3600) const;

private:
    void* key_ = nullptr;         // EVP_PKEY
    void* certificate_ = nullptr; // X509
};

// A self-signed server certificate for the names, as a company-internal server or a fresh
// installation presents one: no authority vouches for it. Empty texts on failure.
IssuedCertificate selfSignedCertificate(const std::string& commonName,
                                        const std::vector<std::string>& names);

} // namespace toppeek::test
