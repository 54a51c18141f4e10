#include "support/TestCertificates.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace toppeek::test {

namespace {

EVP_PKEY* asKey(void* p) {
    return static_cast<EVP_PKEY*>(p);
}
X509* asCertificate(void* p) {
    return static_cast<X509*>(p);
}

bool addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr)
        return false;
    bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate for key, not yet signed; issuer is null for a self-signed one.
X509* makeCertificate(EVP_PKEY* key, const std::string& commonName, X509* issuer, long from,
                      long until) {
    X509* certificate = X509_new();
    if (certificate == nullptr)
        return nullptr;
    bool ok = X509_set_version(certificate, 2) == 1;
    // Random serials, so that no two certificates of one issuer share one.
    BIGNUM* serial = BN_new();
    ok = ok && serial != nullptr && BN_rand(serial, 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
         BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(certificate)) != nullptr;
    BN_free(serial);
    ok = ok && X509_gmtime_adj(X509_getm_notBefore(certificate), from) != nullptr &&
         X509_gmtime_adj(X509_getm_notAfter(certificate), until) != nullptr &&
         X509_set_pubkey(certificate, key) == 1;
    X509_NAME* subject = X509_get_subject_name(certificate);
    ok = ok && X509_NAME_add_entry_by_txt(
                   subject, "CN", MBSTRING_ASC,
                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0) == 1;
    X509* signer = issuer != nullptr ? issuer : certificate;
    ok = ok && X509_set_issuer_name(certificate, X509_get_subject_name(signer)) == 1;
    ok = ok && addExtension(certificate, signer, NID_subject_key_identifier, "hash");
    if (!ok) {
        X509_free(certificate);
        return nullptr;
    }
    return certificate;
}

bool sign(X509* certificate, EVP_PKEY* key) {
    return X509_sign(certificate, key, EVP_sha256()) > 0;
}

std::string pemOf(X509* certificate) {
    BIO* out = BIO_new(BIO_s_mem());
    std::string text;
    if (out != nullptr && PEM_write_bio_X509(out, certificate) == 1) {
        char* data = nullptr;
        long length = BIO_get_mem_data(out, &data);
        text.assign(data, static_cast<std::size_t>(length));
    }
    BIO_free(out);
    return text;
}

std::string pemOf(EVP_PKEY* key) {
    BIO* out = BIO_new(BIO_s_mem());
    std::string text;
    if (out != nullptr &&
        PEM_write_bio_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1) {
        char* data = nullptr;
        long length = BIO_get_mem_data(out, &data);
        text.assign(data, static_cast<std::size_t>(length));
    }
    BIO_free(out);
    return text;
}

} // namespace

TestAuthority::TestAuthority(const std::string& commonName) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (key == nullptr)
        return;
    X509* certificate = makeCertificate(key, commonName, nullptr, -3600, 7 * 24 * 3600);
    bool ok =
        certificate != nullptr &&
        addExtension(certificate, certificate, NID_basic_constraints, "critical,CA:TRUE") &&
        addExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign") &&
        sign(certificate, key);
    if (!ok) {
        X509_free(certificate);
        EVP_PKEY_free(key);
        return;
    }
    key_ = key;
    certificate_ = certificate;
}

TestAuthority::~TestAuthority() {
    X509_free(asCertificate(certificate_));
    EVP_PKEY_free(asKey(key_));
}

std::string TestAuthority::certificatePem() const {
    return valid() ? pemOf(asCertificate(certificate_)) : std::string();
}

IssuedCertificate TestAuthority::issue(const std::string& commonName,
                                       const std::vector<std::string>& names, long validFromSeconds,
                                       long validUntilSeconds) const {
    if (!valid())
        return {};
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (key == nullptr)
        return {};
    std::string alternativeNames;
    for (const auto& name : names)
        alternativeNames += (alternativeNames.empty() ? "" : ",") + name;
    X509* issuer = asCertificate(certificate_);
    X509* certificate =
        makeCertificate(key, commonName, issuer, validFromSeconds, validUntilSeconds);
    bool ok = certificate != nullptr &&
              addExtension(certificate, issuer, NID_basic_constraints, "critical,CA:FALSE") &&
              addExtension(certificate, issuer, NID_ext_key_usage, "serverAuth") &&
              addExtension(certificate, issuer, NID_authority_key_identifier, "keyid:always") &&
              (alternativeNames.empty() ||
               addExtension(certificate, issuer, NID_subject_alt_name, alternativeNames)) &&
              sign(certificate, asKey(key_));
    IssuedCertificate issued;
    if (ok) {
        issued.key = pemOf(key);
        issued.certificate = pemOf(certificate);
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    return issued;
}

IssuedCertificate selfSignedCertificate(const std::string& commonName,
                                        const std::vector<std::string>& names) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (key == nullptr)
        return {};
    std::string alternativeNames;
    for (const auto& name : names)
        alternativeNames += (alternativeNames.empty() ? "" : ",") + name;
    X509* certificate = makeCertificate(key, commonName, nullptr, -3600, 24 * 3600);
    const bool ok =
        certificate != nullptr &&
        addExtension(certificate, certificate, NID_ext_key_usage, "serverAuth") &&
        (alternativeNames.empty() ||
         addExtension(certificate, certificate, NID_subject_alt_name, alternativeNames)) &&
        sign(certificate, key);
    IssuedCertificate issued;
    if (ok) {
        issued.key = pemOf(key);
        issued.certificate = pemOf(certificate);
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    return issued;
}

} // namespace toppeek::test
