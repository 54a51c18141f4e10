#include "mail/Tls.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace toppeek::mail {

namespace {

struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct SslContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using SslPointer = std::unique_ptr<SSL, SslFree>;
using SslContextPointer = std::unique_ptr<SSL_CTX, SslContextFree>;

bool retryable(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

Socket socketOf(BIO* bio) {
    return static_cast<Socket>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE on a connection the server
// has reset; this one sends with MSG_NOSIGNAL like the plain path does.
int bioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    ssize_t sent = ::send(socketOf(bio), data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (sent < 0 && retryable(errno)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(sent);
}

int bioRead(BIO* bio, char* buffer, int size) {
    BIO_clear_retry_flags(bio);
    const Socket socket = socketOf(bio);
    ssize_t received = ::recv(socket, buffer, static_cast<std::size_t>(size), 0);
    if (received < 0 && retryable(errno)) {
        BIO_set_retry_read(bio);
    } else if (received > 0) {
        // As on the plain path: a server that writes a reply in two records must not wait for
        // our delayed acknowledgement of the first.
        rearmQuickAck(socket);
    }
    return static_cast<int>(received);
}

long bioControl(BIO* /*bio*/, int command, long /*number*/, void* /*pointer*/) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

// Made once and kept for the run, as OpenSSL's own methods are.
const BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "toppeek socket");
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

bool isAddress(const std::string& name) {
    in_addr v4{};
    in6_addr v6{};
    return ::inet_pton(AF_INET, name.c_str(), &v4) == 1 ||
           ::inet_pton(AF_INET6, name.c_str(), &v6) == 1;
}

// A certificate names an IPv6 address without the zone that tells the interface to reach it by.
std::string withoutZone(const std::string& name) {
    return name.find(':') != std::string::npos ? name.substr(0, name.find('%')) : name;
}

std::string verificationFailure(long code) {
    switch (code) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "The server's certificate has expired.";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "The server's certificate is not valid yet.";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "The server's certificate is for another name.";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return "The server's certificate comes from an unknown issuer.";
    default:
        return std::string("The server's certificate could not be verified: ") +
               X509_verify_cert_error_string(code) + ".";
    }
}

// What the certificate check of one handshake needs beyond OpenSSL's own: the certificates the
// user trusts anyway, and what to tell about one that failed.
struct CertificateCheck {
    std::vector<TrustedCertificate> trusted;
    std::string host;
    int port = 0;
    std::optional<ServerCertificate> refused;
};

int checkIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

std::string hexDigest(const X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1)
        return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kDigits[digest[i] >> 4]);
        text.push_back(kDigits[digest[i] & 0x0F]);
    }
    return text;
}

std::string nameText(const X509_NAME* name) {
    BIO* out = BIO_new(BIO_s_mem());
    std::string text;
    // One line, UTF-8, the most specific part (CN) first, as people read a server's name:
    // "CN=mail.example.com, O=Example".
    if (out != nullptr &&
        X509_NAME_print_ex(out, name, 0,
                           (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) | XN_FLAG_SEP_CPLUS_SPC |
                               XN_FLAG_DN_REV | XN_FLAG_FN_SN | XN_FLAG_DUMP_UNKNOWN_FIELDS) >= 0) {
        char* data = nullptr;
        const long length = BIO_get_mem_data(out, &data);
        text.assign(data, static_cast<std::size_t>(length));
    }
    BIO_free(out);
    return text;
}

std::string timeText(const ASN1_TIME* time) {
    tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    // Room for any int in every field: a certificate may name any year.
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

// OpenSSL's verdict stands, except on the one certificate the user trusts for this server: then
// every complaint about it (unknown issuer, self-signed, another name, expired) is overruled.
int verifyCertificate(int verified, X509_STORE_CTX* store) {
    if (verified == 1)
        return 1;
    SSL* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* check = ssl != nullptr
                      ? static_cast<CertificateCheck*>(SSL_get_ex_data(ssl, checkIndex()))
                      : nullptr;
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (check == nullptr || leaf == nullptr)
        return 0;
    const std::string digest = hexDigest(leaf);
    if (!digest.empty()) {
        for (const TrustedCertificate& trusted : check->trusted)
            if (trusted.sha256 == digest && trusted.port == check->port &&
                trusted.host == check->host)
                return 1;
    }
    if (!check->refused && !digest.empty()) {
        ServerCertificate& refused = check->refused.emplace();
        refused.host = check->host;
        refused.port = check->port;
        refused.sha256 = digest;
        refused.subject = nameText(X509_get_subject_name(leaf));
        refused.issuer = nameText(X509_get_issuer_name(leaf));
        refused.expires = timeText(X509_get0_notAfter(leaf));
        refused.failure = verificationFailure(X509_STORE_CTX_get_error(store));
    }
    return 0;
}

// Why the handshake failed, in one line.
std::string handshakeFailure(SSL* ssl, int error) {
    long verified = SSL_get_verify_result(ssl);
    if (verified != X509_V_OK) {
        return verificationFailure(verified);
    }
    unsigned long queued = ERR_peek_last_error();
    if (error == SSL_ERROR_SSL && queued != 0 && ERR_GET_LIB(queued) == ERR_LIB_SSL) {
        // Bytes that are no TLS record at all: a plain POP3 server behind a pop3s:// address,
        // say, whose greeting OpenSSL can only call a "wrong version number".
        int code = ERR_GET_REASON(queued);
        if (code == SSL_R_WRONG_VERSION_NUMBER || code == SSL_R_PACKET_LENGTH_TOO_LONG) {
            return "The connection could not be secured: the server did not answer in TLS.";
        }
    }
    if (error == SSL_ERROR_SSL && queued != 0) {
        const char* reason = ERR_reason_error_string(queued);
        return std::string("The secure connection could not be set up: ") +
               (reason != nullptr ? reason : "unknown error") + ".";
    }
    return "The server ended the connection while it was being secured.";
}

class TlsTransport final : public Transport {
public:
    TlsTransport(Socket socket, std::unique_ptr<CertificateCheck> check, SslPointer ssl)
        : socket_(socket), check_(std::move(check)), ssl_(std::move(ssl)) {}

    int receive(char* buffer, int size, int flags, ConnectionControl* control) override {
        if (failed_ || size < 0 || stopRequested(control)) {
            return -1;
        }
        const std::uint32_t start = nowSeconds();
        if (size == 0) {
            return waitPass(socket_, false, control, start) < 0 ? -1 : 0;
        }
        // OpenSSL may hold decrypted bytes that the socket no longer shows, so the call comes
        // first and the poll only when it asks for more.
        for (;;) {
            if (!flushQueued()) {
                failed_ = true;
                return -1;
            }
            std::size_t received = 0;
            ERR_clear_error();
            int result =
                (flags & kPeek) != 0
                    ? SSL_peek_ex(ssl_.get(), buffer, static_cast<std::size_t>(size), &received)
                    : SSL_read_ex(ssl_.get(), buffer, static_cast<std::size_t>(size), &received);
            if (result == 1) {
                return static_cast<int>(received);
            }
            int error = SSL_get_error(ssl_.get(), result);
            if (error == SSL_ERROR_ZERO_RETURN) {
                return 0;
            }
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                failed_ = true;
                return -1;
            }
            if (waitPassEither(socket_, error == SSL_ERROR_WANT_WRITE || queuedBytes() > 0, control,
                               start) < 0) {
                return -1;
            }
        }
    }

    int send(const char* data, int length, ConnectionControl* control) override {
        if (failed_ || length < 0) {
            return -1;
        }
        if (length == 0) {
            return 0;
        }
        const std::uint32_t start = nowSeconds();
        for (;;) {
            std::size_t sent = 0;
            ERR_clear_error();
            int result = SSL_write_ex(ssl_.get(), data, static_cast<std::size_t>(length), &sent);
            if (result == 1) {
                return static_cast<int>(sent);
            }
            int error = SSL_get_error(ssl_.get(), result);
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                failed_ = true;
                return -1;
            }
            if (waitPass(socket_, error == SSL_ERROR_WANT_WRITE, control, start) < 0) {
                return -1;
            }
        }
    }

    std::optional<Binding> channelBinding() const override {
        if (SSL_version(ssl_.get()) >= TLS1_3_VERSION) {
            // RFC 9266: 32 bytes of the exporter with the binding's label and no context.
            constexpr std::string_view kLabel = "EXPORTER-Channel-Binding";
            std::string data(32, '\0');
            if (SSL_export_keying_material(
                    ssl_.get(), reinterpret_cast<unsigned char*>(data.data()), data.size(),
                    kLabel.data(), kLabel.size(), nullptr, 0, 0) != 1) {
                return std::nullopt;
            }
            return Binding{"tls-exporter", std::move(data)};
        }
        // RFC 5929: the first Finished message of the latest handshake, the client's unless the
        // session was resumed.
        std::string data(64, '\0');
        const std::size_t length = SSL_session_reused(ssl_.get()) != 0
                                       ? SSL_get_peer_finished(ssl_.get(), data.data(), data.size())
                                       : SSL_get_finished(ssl_.get(), data.data(), data.size());
        if (length == 0 || length > data.size()) {
            return std::nullopt;
        }
        data.resize(length);
        return Binding{"tls-unique", std::move(data)};
    }

protected:
    int sendNow(const char* data, int length) override {
        if (failed_) {
            return -1;
        }
        // A write that had to wait must be repeated with the same length (the queue only grows
        // behind it, and the buffer may move: SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER).
        if (retryLength_ > 0) {
            length = retryLength_;
        }
        std::size_t sent = 0;
        ERR_clear_error();
        int result = SSL_write_ex(ssl_.get(), data, static_cast<std::size_t>(length), &sent);
        if (result == 1) {
            retryLength_ = 0;
            return static_cast<int>(sent);
        }
        int error = SSL_get_error(ssl_.get(), result);
        if (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ) {
            retryLength_ = length;
            return 0;
        }
        failed_ = true;
        return -1;
    }

private:
    Socket socket_;
    // What the certificate check of a renegotiation reads; goes after the connection (members
    // go in reverse order).
    std::unique_ptr<CertificateCheck> check_;
    SslPointer ssl_;
    // The length of a queued write that OpenSSL asked to be repeated; 0 when none is.
    int retryLength_ = 0;
    // After a fatal error OpenSSL allows no further reads or writes on the connection.
    bool failed_ = false;
};

constexpr const char* kTls12Ciphers = "ECDHE+AESGCM:ECDHE+CHACHA20:DHE+AESGCM:DHE+CHACHA20:"
                                      "ECDHE+AES:DHE+AES:!aNULL:!eNULL:!PSK:!SRP";

std::string environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : std::string();
}

// Reading the system's trust store costs about 20 ms of processor time, which every secure
// connection paid when each made its own context. One context serves the run instead; it is made
// again when the trust locations named by the environment change, and once an hour so that a
// program left running for days sees renewed authorities. Connections already made keep theirs
// (each SSL holds a reference).
SslContextPointer clientContext() {
    struct Kept {
        std::mutex lock;
        SslContextPointer context;
        std::string file;
        std::string folder;
        std::chrono::steady_clock::time_point made;
    };
    static Kept kept;
    constexpr auto kLifetime = std::chrono::hours(1);

    const std::lock_guard<std::mutex> guard(kept.lock);
    std::string file = environmentText("SSL_CERT_FILE");
    std::string folder = environmentText("SSL_CERT_DIR");
    const auto now = std::chrono::steady_clock::now();
    if (!kept.context || file != kept.file || folder != kept.folder ||
        now - kept.made > kLifetime) {
        SslContextPointer context(SSL_CTX_new(TLS_client_method()));
        // TLS 1.3 suites are all forward secret; under TLS 1.2 only those with an ephemeral key
        // exchange are offered, so that a server key taken later cannot open recorded sessions.
        if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1 ||
            SSL_CTX_set_cipher_list(context.get(), kTls12Ciphers) != 1 ||
            SSL_CTX_set_default_verify_paths(context.get()) != 1) {
            return nullptr;
        }
        SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, verifyCertificate);
        kept.context = std::move(context);
        kept.file = std::move(file);
        kept.folder = std::move(folder);
        kept.made = now;
    }
    SSL_CTX_up_ref(kept.context.get());
    return SslContextPointer(kept.context.get());
}

void reportSecuring(ConnectionControl& control, std::string text) {
    control.statusText = std::move(text);
    control.status = ConnectStatus::Securing;
    if (control.statusCallback) {
        control.statusCallback(control);
    }
}

} // namespace

namespace {

// The inspection an inspecting handshake fills in, reached from the verification callback.
int inspectionIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// Notes every failed check of an inspecting handshake and lets it go on.
int noteVerification(int passed, X509_STORE_CTX* store) {
    if (passed == 1) {
        return 1;
    }
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* info = ssl != nullptr ? static_cast<TlsPeerInfo*>(SSL_get_ex_data(ssl, inspectionIndex()))
                                : nullptr;
    if (info != nullptr) {
        const long code = X509_STORE_CTX_get_error(store);
        if (code == X509_V_ERR_HOSTNAME_MISMATCH || code == X509_V_ERR_IP_ADDRESS_MISMATCH) {
            info->nameMismatch = true;
        }
        std::string why = verificationFailure(code);
        if (std::find(info->whyNotTrusted.begin(), info->whyNotTrusted.end(), why) ==
            info->whyNotTrusted.end()) {
            info->whyNotTrusted.push_back(std::move(why));
        }
    }
    return 1;
}

void describePeer(SSL* ssl, TlsPeerInfo& info) {
    info.protocol = SSL_get_version(ssl);
    const char* cipher = SSL_get_cipher_name(ssl);
    info.cipher = cipher != nullptr ? cipher : "";
    const X509* certificate = SSL_get0_peer_certificate(ssl);
    if (certificate == nullptr) {
        info.whyNotTrusted.emplace_back("The server sent no certificate.");
        info.trusted = false;
        return;
    }
    info.subject = nameText(X509_get_subject_name(certificate));
    info.issuer = nameText(X509_get_issuer_name(certificate));
    info.expires = timeText(X509_get0_notAfter(certificate));
    info.expired = X509_cmp_current_time(X509_get0_notAfter(certificate)) < 0;
    auto* names = static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; names != nullptr && i < sk_GENERAL_NAME_num(names); ++i) {
        const GENERAL_NAME* entry = sk_GENERAL_NAME_value(names, i);
        if (entry->type == GEN_DNS) {
            const ASN1_IA5STRING* dns = entry->d.dNSName;
            info.names.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                                    static_cast<std::size_t>(ASN1_STRING_length(dns)));
        } else if (entry->type == GEN_IPADD) {
            const ASN1_OCTET_STRING* ip = entry->d.iPAddress;
            char text[INET6_ADDRSTRLEN] = {};
            const int family = ASN1_STRING_length(ip) == 16 ? AF_INET6 : AF_INET;
            if (::inet_ntop(family, ASN1_STRING_get0_data(ip), text, sizeof text) != nullptr) {
                info.names.emplace_back(text);
            }
        }
    }
    GENERAL_NAMES_free(names);
    info.trusted = info.whyNotTrusted.empty() && SSL_get_verify_result(ssl) == X509_V_OK;
}

// The handshake of both kinds: with an inspection, failed checks are noted there instead of ending
// it.
std::unique_ptr<Transport> establishSecureConnection(Socket socket, std::string_view hostName,
                                                     ConnectionControl& control,
                                                     TlsPeerInfo* inspection) {
    control.failureReason.clear();
    control.refusedCertificate.reset();
    reportSecuring(control, std::string(kSecuringText));
    const std::string name = withoutZone(std::string(hostName));

    SslContextPointer context = clientContext();
    const BIO_METHOD* method = socketMethod();
    if (!context || method == nullptr) {
        control.failureReason = "The secure connection could not be prepared.";
        return nullptr;
    }
    SslPointer ssl(SSL_new(context.get()));
    BIO* bio = ssl ? BIO_new(method) : nullptr;
    if (bio == nullptr) {
        control.failureReason = "The secure connection could not be prepared.";
        return nullptr;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(socket)));
    SSL_set_bio(ssl.get(), bio, bio);
    // A write may be retried from a moved buffer and may go out in parts, as with the socket.
    SSL_set_mode(ssl.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);

    if (inspection != nullptr) {
        SSL_set_ex_data(ssl.get(), inspectionIndex(), inspection);
        SSL_set_verify(ssl.get(), SSL_VERIFY_PEER, noteVerification);
    }

    // The certificate must name the host the user wrote: an address is checked as an address
    // and is never sent as the server name, which must be a DNS name.
    // A name is looked for among the certificate's DNS names only, never in its subject's
    // common name, which no authority checks as a host name.
    bool named = false;
    if (isAddress(name)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), name.c_str()) == 1;
    } else {
        SSL_set_hostflags(ssl.get(), X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
        named = SSL_set_tlsext_host_name(ssl.get(), name.c_str()) == 1 &&
                SSL_set1_host(ssl.get(), name.c_str()) == 1;
    }
    // The trusted certificates are copied: the check outlives this call with the connection.
    auto check = std::make_unique<CertificateCheck>();
    check->trusted = control.trustedCertificates;
    check->host = name;
    check->port = control.port;
    if (!named || SSL_set_ex_data(ssl.get(), checkIndex(), check.get()) != 1) {
        control.failureReason = "The server's name cannot be checked against its certificate.";
        return nullptr;
    }

    // The whole handshake is one wait with one clock.
    const std::uint32_t start = nowSeconds();
    for (;;) {
        ERR_clear_error();
        int result = SSL_connect(ssl.get());
        if (result == 1) {
            break;
        }
        int error = SSL_get_error(ssl.get(), result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            control.failureReason = handshakeFailure(ssl.get(), error);
            control.refusedCertificate = std::move(check->refused);
            if (control.refusedCertificate)
                control.failureReason = control.refusedCertificate->failure;
            return nullptr;
        }
        if (waitPass(socket, error == SSL_ERROR_WANT_WRITE, &control, start) < 0) {
            if (!stopRequested(&control)) {
                control.failureReason = "The server did not finish securing the connection.";
            }
            return nullptr;
        }
    }

    if (inspection != nullptr) {
        describePeer(ssl.get(), *inspection);
        SSL_set_ex_data(ssl.get(), inspectionIndex(), nullptr);
    }
    const char* cipher = SSL_get_cipher_name(ssl.get());
    reportSecuring(control, std::string(kSecuringText) + " " + SSL_get_version(ssl.get()) + ", " +
                                (cipher != nullptr ? cipher : "unknown cipher"));
    return std::make_unique<TlsTransport>(socket, std::move(check), std::move(ssl));
}

} // namespace

std::unique_ptr<Transport> secureConnection(Socket socket, std::string_view hostName,
                                            ConnectionControl& control) {
    return establishSecureConnection(socket, hostName, control, nullptr);
}

std::unique_ptr<Transport> inspectSecureConnection(Socket socket, std::string_view hostName,
                                                   ConnectionControl& control, TlsPeerInfo& info) {
    info = TlsPeerInfo{};
    return establishSecureConnection(socket, hostName, control, &info);
}

} // namespace toppeek::mail
