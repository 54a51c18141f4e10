// Certificates this test process trusts for a while, as the program trusts what SSL_CERT_FILE
// names.
#pragma once

#include "support/TemporaryFolder.h"

#include <optional>
#include <string>

namespace toppeek::test {

// This process trusts the PEM certificates through SSL_CERT_FILE while the object lives, and
// trusts again what it trusted before once the object goes. With Beside::Nothing the system's
// certificate folder is hidden as well, so that no authority but these is trusted.
class ProcessTrust {
public:
    enum class Beside { SystemAuthorities, Nothing };

    explicit ProcessTrust(const std::string& pem, Beside beside = Beside::SystemAuthorities);
    ~ProcessTrust();
    ProcessTrust(const ProcessTrust&) = delete;
    ProcessTrust& operator=(const ProcessTrust&) = delete;

    // False when the trust file could not be written; the process trusts nothing new then.
    bool valid() const { return valid_; }

private:
    std::optional<std::string> previousFile_;
    std::optional<std::string> previousFolder_;
    TemporaryFolder folder_{"toppeek-trust"};
    bool valid_ = false;
};

} // namespace toppeek::test
