#include "DemoTls.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

namespace toppeek::demo {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertificatePointer = std::unique_ptr<X509, CertificateFree>;
using BioPointer = std::unique_ptr<BIO, BioFree>;

constexpr long kHour = 3600;
constexpr long kValidity = 30 * 24 * kHour;

SSL* asSsl(void* p) {
    return static_cast<SSL*>(p);
}

// The last OpenSSL error in words, or what was being done when OpenSSL left none.
std::string openSslError(const std::string& doing) {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return doing;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return doing + ": " + text;
}

bool addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr)
        return false;
    bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate for key named commonName, issued by issuer (itself when null), not yet signed.
CertificatePointer newCertificate(EVP_PKEY* key, const char* commonName, X509* issuer) {
    CertificatePointer certificate(X509_new());
    if (!certificate)
        return nullptr;
    X509* c = certificate.get();
    // Random serials: every start makes a new authority, and a browser or client that met an
    // earlier one must not take two different certificates for the same.
    BIGNUM* serial = BN_new();
    bool ok = X509_set_version(c, 2) == 1 && serial != nullptr &&
              BN_rand(serial, 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
              BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(c)) != nullptr;
    BN_free(serial);
    ok = ok && X509_gmtime_adj(X509_getm_notBefore(c), -kHour) != nullptr &&
         X509_gmtime_adj(X509_getm_notAfter(c), kValidity) != nullptr &&
         X509_set_pubkey(c, key) == 1 &&
         X509_NAME_add_entry_by_txt(X509_get_subject_name(c), "O", MBSTRING_ASC,
                                    reinterpret_cast<const unsigned char*>("TopPeek demo"), -1, -1,
                                    0) == 1 &&
         X509_NAME_add_entry_by_txt(X509_get_subject_name(c), "CN", MBSTRING_ASC,
                                    reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                                    0) == 1;
    X509* signer = issuer != nullptr ? issuer : c;
    ok = ok && X509_set_issuer_name(c, X509_get_subject_name(signer)) == 1 &&
         addExtension(c, signer, NID_subject_key_identifier, "hash");
    return ok ? std::move(certificate) : nullptr;
}

std::string pemOf(X509* certificate) {
    BioPointer out(BIO_new(BIO_s_mem()));
    if (!out || PEM_write_bio_X509(out.get(), certificate) != 1)
        return {};
    char* data = nullptr;
    long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string pemOf(EVP_PKEY* key) {
    BioPointer out(BIO_new(BIO_s_mem()));
    if (!out ||
        PEM_write_bio_PrivateKey(out.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    char* data = nullptr;
    long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when the client has gone;
// the demo server runs on a thread of the tests too, where that would end the whole program.
// This one sends with MSG_NOSIGNAL, as the plain path does.
int socketOf(BIO* bio) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

bool retryable(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

int bioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    ssize_t sent = ::send(socketOf(bio), data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (sent < 0 && retryable(errno))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int bioRead(BIO* bio, char* buffer, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t received = ::recv(socketOf(bio), buffer, static_cast<std::size_t>(size), 0);
    if (received < 0 && retryable(errno))
        BIO_set_retry_read(bio);
    return static_cast<int>(received);
}

long bioControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

// Made once and kept for the run, as OpenSSL's own methods are.
const BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "toppeek demo socket");
        if (m != nullptr) {
            BIO_meth_set_write(m, bioWrite);
            BIO_meth_set_read(m, bioRead);
            BIO_meth_set_ctrl(m, bioControl);
            BIO_meth_set_create(m, bioCreate);
        }
        return m;
    }();
    return method;
}

} // namespace

std::optional<DemoIdentity> makeDemoIdentity(std::string& error) {
    KeyPointer authorityKey(EVP_EC_gen("P-256"));
    KeyPointer serverKey(EVP_EC_gen("P-256"));
    if (!authorityKey || !serverKey) {
        error = openSslError("cannot make the demo's keys");
        return std::nullopt;
    }
    CertificatePointer authority =
        newCertificate(authorityKey.get(), "TopPeek demo authority", nullptr);
    bool ok = authority &&
              addExtension(authority.get(), authority.get(), NID_basic_constraints,
                           "critical,CA:TRUE,pathlen:0") &&
              addExtension(authority.get(), authority.get(), NID_key_usage,
                           "critical,keyCertSign,cRLSign") &&
              X509_sign(authority.get(), authorityKey.get(), EVP_sha256()) > 0;
    CertificatePointer server =
        ok ? newCertificate(serverKey.get(), "localhost", authority.get()) : nullptr;
    X509* issuer = authority.get();
    ok = server && addExtension(server.get(), issuer, NID_basic_constraints, "critical,CA:FALSE") &&
         addExtension(server.get(), issuer, NID_key_usage, "critical,digitalSignature") &&
         addExtension(server.get(), issuer, NID_ext_key_usage, "serverAuth") &&
         addExtension(server.get(), issuer, NID_authority_key_identifier, "keyid:always") &&
         addExtension(server.get(), issuer, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") &&
         X509_sign(server.get(), authorityKey.get(), EVP_sha256()) > 0;
    DemoIdentity identity;
    if (ok) {
        identity.authorityCertificate = pemOf(authority.get());
        identity.serverCertificate = pemOf(server.get());
        identity.serverKey = pemOf(serverKey.get());
    }
    if (!ok || identity.authorityCertificate.empty() || identity.serverCertificate.empty() ||
        identity.serverKey.empty()) {
        error = openSslError("cannot make the demo's certificates");
        return std::nullopt;
    }
    return identity;
}

std::unique_ptr<TlsServer> TlsServer::create(const DemoIdentity& identity, std::string& error) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr) {
        error = openSslError("cannot make a TLS context");
        return nullptr;
    }
    std::unique_ptr<TlsServer> server(new TlsServer(context));
    BioPointer certificateText(BIO_new_mem_buf(
        identity.serverCertificate.data(), static_cast<int>(identity.serverCertificate.size())));
    BioPointer keyText(
        BIO_new_mem_buf(identity.serverKey.data(), static_cast<int>(identity.serverKey.size())));
    CertificatePointer certificate(
        certificateText ? PEM_read_bio_X509(certificateText.get(), nullptr, nullptr, nullptr)
                        : nullptr);
    KeyPointer key(keyText ? PEM_read_bio_PrivateKey(keyText.get(), nullptr, nullptr, nullptr)
                           : nullptr);
    if (!certificate || !key || SSL_CTX_use_certificate(context, certificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context, key.get()) != 1 ||
        SSL_CTX_check_private_key(context) != 1 ||
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1) {
        error = openSslError("cannot use the demo's certificate");
        return nullptr;
    }
    return server;
}

TlsServer::~TlsServer() {
    SSL_CTX_free(static_cast<SSL_CTX*>(context_));
}

std::unique_ptr<TlsSession> TlsServer::accept(int fd, const SocketWait& wait,
                                              std::string& error) const {
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(context_));
    if (ssl == nullptr) {
        error = openSslError("cannot start TLS");
        return nullptr;
    }
    std::unique_ptr<TlsSession> session(new TlsSession(ssl));
    // Non-blocking, so that every wait goes through the server's poll, which a stop ends.
    BIO* bio = socketMethod() != nullptr ? BIO_new(socketMethod()) : nullptr;
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK) != 0 || bio == nullptr) {
        BIO_free(bio);
        error = openSslError("cannot start TLS");
        return nullptr;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    SSL_set_bio(ssl, bio, bio);
    for (;;) {
        ERR_clear_error();
        int result = SSL_accept(ssl);
        if (result == 1)
            return session;
        int failure = SSL_get_error(ssl, result);
        if (failure != SSL_ERROR_WANT_READ && failure != SSL_ERROR_WANT_WRITE) {
            error = openSslError("TLS handshake failed");
            return nullptr;
        }
        if (!wait(failure == SSL_ERROR_WANT_WRITE)) {
            error = "TLS handshake not finished in time";
            return nullptr;
        }
    }
}

TlsSession::~TlsSession() {
    SSL* ssl = asSsl(ssl_);
    // One try only: a client that is gone or never reads must not hold up the next session.
    if (SSL_is_init_finished(ssl))
        SSL_shutdown(ssl);
    SSL_free(ssl);
    ERR_clear_error();
}

bool TlsSession::send(std::string_view bytes, const SocketWait& wait) {
    SSL* ssl = asSsl(ssl_);
    while (!bytes.empty()) {
        std::size_t sent = 0;
        ERR_clear_error();
        if (SSL_write_ex(ssl, bytes.data(), bytes.size(), &sent) == 1) {
            bytes.remove_prefix(sent);
            continue;
        }
        int failure = SSL_get_error(ssl, 0);
        if ((failure != SSL_ERROR_WANT_READ && failure != SSL_ERROR_WANT_WRITE) ||
            !wait(failure == SSL_ERROR_WANT_WRITE))
            return false;
    }
    return true;
}

long TlsSession::receive(char* buffer, std::size_t size) {
    SSL* ssl = asSsl(ssl_);
    std::size_t received = 0;
    ERR_clear_error();
    if (SSL_read_ex(ssl, buffer, size, &received) == 1)
        return static_cast<long>(received);
    switch (SSL_get_error(ssl, 0)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        return kWantMore;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    default:
        return -1;
    }
}

bool TlsSession::buffered() const {
    return SSL_pending(asSsl(ssl_)) > 0;
}

std::string TlsSession::description() const {
    SSL* ssl = asSsl(ssl_);
    const char* cipher = SSL_get_cipher_name(ssl);
    return std::string(SSL_get_version(ssl)) + ", " + (cipher != nullptr ? cipher : "?");
}

} // namespace toppeek::demo
