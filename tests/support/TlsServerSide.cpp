#include "support/TlsServerSide.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <utility>

namespace toppeek::test {

namespace {

SSL* asSsl(void* p) {
    return static_cast<SSL*>(p);
}
BIO* asBio(void* p) {
    return static_cast<BIO*>(p);
}

// The certificate and key out of their PEM texts into the context; false when either is bad.
bool present(SSL_CTX* context, const IssuedCertificate& identity) {
    BIO* certificateText =
        BIO_new_mem_buf(identity.certificate.data(), static_cast<int>(identity.certificate.size()));
    BIO* keyText = BIO_new_mem_buf(identity.key.data(), static_cast<int>(identity.key.size()));
    X509* certificate = certificateText != nullptr
                            ? PEM_read_bio_X509(certificateText, nullptr, nullptr, nullptr)
                            : nullptr;
    EVP_PKEY* key =
        keyText != nullptr ? PEM_read_bio_PrivateKey(keyText, nullptr, nullptr, nullptr) : nullptr;
    bool ok = certificate != nullptr && key != nullptr &&
              SSL_CTX_use_certificate(context, certificate) == 1 &&
              SSL_CTX_use_PrivateKey(context, key) == 1;
    X509_free(certificate);
    EVP_PKEY_free(key);
    BIO_free(certificateText);
    BIO_free(keyText);
    return ok;
}

} // namespace

TlsServerSide::TlsServerSide(const IssuedCertificate& identity, TlsVersion version) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr)
        return;
    context_ = context;
    int protocol = version == TlsVersion::Tls12 ? TLS1_2_VERSION : TLS1_3_VERSION;
    if (SSL_CTX_set_min_proto_version(context, protocol) != 1 ||
        SSL_CTX_set_max_proto_version(context, protocol) != 1 || !present(context, identity))
        return;
    SSL_CTX_set_num_tickets(context, 0);
    SSL_CTX_set_options(context, SSL_OP_NO_TICKET);
    SSL* ssl = SSL_new(context);
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (ssl == nullptr || in == nullptr || out == nullptr) {
        SSL_free(ssl);
        BIO_free(in);
        BIO_free(out);
        return;
    }
    SSL_set_bio(ssl, in, out);
    SSL_set_accept_state(ssl);
    ssl_ = ssl;
    fromClient_ = in;
    toClient_ = out;
}

TlsServerSide::~TlsServerSide() {
    SSL_free(asSsl(ssl_));
    SSL_CTX_free(static_cast<SSL_CTX*>(context_));
}

bool TlsServerSide::feed(std::string_view fromClient) {
    if (!valid() || failed_)
        return false;
    if (!fromClient.empty())
        BIO_write(asBio(fromClient_), fromClient.data(), static_cast<int>(fromClient.size()));
    SSL* ssl = asSsl(ssl_);
    if (!secured_) {
        ERR_clear_error();
        int result = SSL_do_handshake(ssl);
        if (result != 1) {
            int error = SSL_get_error(ssl, result);
            failed_ = error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE;
            return !failed_;
        }
        secured_ = true;
    }
    char buffer[4096];
    for (;;) {
        std::size_t count = 0;
        ERR_clear_error();
        int result = SSL_read_ex(ssl, buffer, sizeof buffer, &count);
        if (result == 1) {
            text_.append(buffer, count);
            continue;
        }
        int error = SSL_get_error(ssl, result);
        if (error == SSL_ERROR_ZERO_RETURN)
            closedByClient_ = true;
        else if (error != SSL_ERROR_WANT_READ)
            failed_ = true;
        return !failed_;
    }
}

std::string TlsServerSide::output() {
    std::string bytes;
    if (!valid())
        return bytes;
    BIO* out = asBio(toClient_);
    bytes.resize(BIO_ctrl_pending(out));
    if (!bytes.empty()) {
        int taken = BIO_read(out, bytes.data(), static_cast<int>(bytes.size()));
        bytes.resize(taken > 0 ? static_cast<std::size_t>(taken) : 0);
    }
    return bytes;
}

std::string TlsServerSide::text() {
    return std::exchange(text_, {});
}

std::string TlsServerSide::seal(std::string_view text) {
    if (!secured_ || failed_)
        return {};
    std::size_t written = 0;
    if (!text.empty() && SSL_write_ex(asSsl(ssl_), text.data(), text.size(), &written) != 1)
        failed_ = true;
    return output();
}

std::string TlsServerSide::closeNotify() {
    if (valid())
        SSL_shutdown(asSsl(ssl_));
    return output();
}

std::vector<std::size_t> recordLengths(std::string_view bytes) {
    constexpr std::size_t kHeader = 5;
    std::vector<std::size_t> lengths;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t length = kHeader;
        if (bytes.size() - at >= kHeader)
            length += static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 3])) << 8 |
                      static_cast<unsigned char>(bytes[at + 4]);
        lengths.push_back(length);
        at += length;
    }
    return lengths;
}

} // namespace toppeek::test
