#include "mail/Sasl.h"

#include "core/Ascii.h"

#include <algorithm>
#include <array>
#include <gsasl.h>
#include <mutex>
#include <openssl/evp.h>

namespace toppeek::mail {

using core::equalsNoCase;

namespace {

// One library context for the run: made on first use, never freed (the library keeps nothing
// that needs closing at exit).
Gsasl* library() {
    static std::once_flag once;
    static Gsasl* context = nullptr;
    std::call_once(once, [] {
        if (gsasl_init(&context) != GSASL_OK) {
            context = nullptr;
        }
    });
    return context;
}

bool offers(const ServerOffer& offer, std::string_view mechanism) {
    return std::any_of(offer.sasl.begin(), offer.sasl.end(),
                       [&](const std::string& name) { return equalsNoCase(name, mechanism); });
}

Gsasl_session* asSession(void* session) {
    return static_cast<Gsasl_session*>(session);
}

} // namespace

std::vector<std::string> loginMechanisms(const ServerOffer& offer, const LoginRequest& request) {
    std::vector<std::string> chosen;
    if (request.bearerToken) {
        // A token grants nothing beyond this mailbox and expires soon, but it still gives the
        // mailbox to whoever reads it: only over a secured connection unless allowed.
        if (!offer.secured && !request.allowPlainText) {
            return chosen;
        }
        for (std::string_view name : {"OAUTHBEARER", "XOAUTH2"}) {
            if (offers(offer, name)) {
                chosen.emplace_back(name);
            }
        }
        return chosen;
    }
    auto take = [&](std::string_view name) {
        if (offers(offer, name) && saslSupports(name)) {
            chosen.emplace_back(name);
        }
    };
    if (offer.secured && offer.channelBinding) {
        take("SCRAM-SHA-256-PLUS");
    }
    take("SCRAM-SHA-256");
    if (offer.secured && offer.channelBinding) {
        take("SCRAM-SHA-1-PLUS");
    }
    take("SCRAM-SHA-1");
    take("CRAM-MD5");
    if (request.allowApop && offer.apopStamp) {
        chosen.emplace_back(kApopMechanism);
    }
    if (offer.secured || request.allowPlainText) {
        if (offer.user) {
            chosen.emplace_back(kUserPassMechanism);
        }
        take("PLAIN");
        take("LOGIN");
    }
    return chosen;
}

bool sendsSecretInClear(std::string_view mechanism) {
    return mechanism == kUserPassMechanism || equalsNoCase(mechanism, "PLAIN") ||
           equalsNoCase(mechanism, "LOGIN") || equalsNoCase(mechanism, "XOAUTH2") ||
           equalsNoCase(mechanism, "OAUTHBEARER");
}

std::string xoauth2Message(std::string_view user, std::string_view token) {
    std::string message = "user=";
    message += user;
    message += "\001auth=Bearer ";
    message += token;
    message += "\001\001";
    return message;
}

std::string oauthBearerMessage(std::string_view user, std::string_view host, int port,
                               std::string_view token) {
    // The GS2 header's authorization identity escapes ',' and '=' (RFC 5801).
    std::string header = "n,a=";
    for (char c : user) {
        if (c == ',') {
            header += "=2C";
        } else if (c == '=') {
            header += "=3D";
        } else {
            header += c;
        }
    }
    header += ",\001host=";
    header += host;
    header += "\001port=";
    header += std::to_string(port);
    header += "\001auth=Bearer ";
    header += token;
    header += "\001\001";
    return header;
}

std::string base64Encode(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return text;
}

std::optional<std::string> base64Decode(std::string_view text) {
    char* output = nullptr;
    std::size_t length = 0;
    if (gsasl_base64_from(text.data(), text.size(), &output, &length) != GSASL_OK) {
        return std::nullopt;
    }
    std::string bytes(output, length);
    gsasl_free(output);
    return bytes;
}

bool saslSupports(std::string_view mechanism) {
    Gsasl* context = library();
    return context != nullptr &&
           gsasl_client_support_p(context, std::string(mechanism).c_str()) != 0;
}

std::unique_ptr<SaslExchange> SaslExchange::start(std::string_view mechanism, std::string_view user,
                                                  std::string_view password,
                                                  std::string_view bindingType,
                                                  std::string_view bindingData) {
    Gsasl* context = library();
    Gsasl_session* session = nullptr;
    if (context == nullptr ||
        gsasl_client_start(context, std::string(mechanism).c_str(), &session) != GSASL_OK) {
        return nullptr;
    }
    std::unique_ptr<SaslExchange> exchange(new SaslExchange(session));
    gsasl_property_set_raw(session, GSASL_AUTHID, user.data(), user.size());
    gsasl_property_set_raw(session, GSASL_PASSWORD, password.data(), password.size());
    if (!bindingData.empty()) {
        const std::string encoded = base64Encode(bindingData);
        gsasl_property_set(
            session, bindingType == "tls-exporter" ? GSASL_CB_TLS_EXPORTER : GSASL_CB_TLS_UNIQUE,
            encoded.c_str());
    }
    return exchange;
}

SaslExchange::~SaslExchange() {
    gsasl_finish(asSession(session_));
}

std::optional<std::string> SaslExchange::answer(std::string_view challenge) {
    const std::string input(challenge);
    char* output = nullptr;
    const int result = gsasl_step64(asSession(session_), input.c_str(), &output);
    if (result != GSASL_OK && result != GSASL_NEEDS_MORE) {
        gsasl_free(output);
        return std::nullopt;
    }
    finished_ = result == GSASL_OK;
    std::string text = output != nullptr ? output : "";
    gsasl_free(output);
    return text;
}

} // namespace toppeek::mail
