#include "support/ProcessTrust.h"

#include <cstdlib>
#include <fstream>

namespace toppeek::test {

namespace {

std::optional<std::string> environment(const char* name) {
    if (const char* value = std::getenv(name))
        return value;
    return std::nullopt;
}

void restore(const char* name, const std::optional<std::string>& value) {
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

} // namespace

ProcessTrust::ProcessTrust(const std::string& pem, Beside beside)
    : previousFile_(environment("SSL_CERT_FILE")), previousFolder_(environment("SSL_CERT_DIR")) {
    if (!folder_.valid())
        return;
    const std::string trusted = folder_.file("trusted.pem");
    if (!(std::ofstream(trusted, std::ios::binary) << pem))
        return;
    ::setenv("SSL_CERT_FILE", trusted.c_str(), 1);
    if (beside == Beside::Nothing)
        ::setenv("SSL_CERT_DIR", folder_.file("no-such-folder").c_str(), 1);
    valid_ = true;
}

ProcessTrust::~ProcessTrust() {
    restore("SSL_CERT_FILE", previousFile_);
    restore("SSL_CERT_DIR", previousFolder_);
}

} // namespace toppeek::test
