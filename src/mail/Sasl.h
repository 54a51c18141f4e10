#pragma once

// SASL (RFC 4422) for the POP3 log-in: which mechanism a log-in uses, and the client side of
// the challenge-response mechanisms through GNU SASL. The OAuth2 bearer mechanisms (XOAUTH2,
// OAUTHBEARER of RFC 7628) send one fixed message and are built here.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::mail {

// What an account signs in with, and what it allows.
// When APOP is wanted and the greeting carries no time stamp: whether USER/PASS may follow on a
// connection that is not secured. A stamp removed on the way by someone who reads along would
// otherwise bring the password out in the clear.
enum class PlainPasswordFallback {
    SecuredOnly, // refused (kLoginRefused, failureReason says why) unless the connection is secured
    Allowed,     // the user chose to allow it
};

struct LoginRequest {
    std::string_view user;
    // The password, or an OAuth2 access token when bearerToken is set.
    std::string_view secret;
    bool bearerToken = false;
    // APOP when the greeting carries a time stamp and nothing stronger is offered.
    bool allowApop = false;
    // PLAIN, LOGIN and USER/PASS over a connection that is not secured: the user chose a plain
    // connection and was told the password then crosses the network as it is.
    bool allowPlainText = true;
    // With APOP wanted and no time stamp offered.
    PlainPasswordFallback plainFallback = PlainPasswordFallback::Allowed;
};

// What the server offered, as the log-in learnt it.
struct ServerOffer {
    // The SASL mechanisms of CAPA's SASL line, upper case, in the server's order.
    std::vector<std::string> sasl;
    // USER/PASS is taken: CAPA listed USER, or listed no SASL mechanism (or was not answered).
    bool user = true;
    // The greeting carried an APOP time stamp.
    bool apopStamp = false;
    bool secured = false;
    // The secure channel can bind a SCRAM exchange to itself.
    bool channelBinding = false;
};

// The pseudo-mechanisms of the POP3 commands that are no SASL.
inline constexpr std::string_view kApopMechanism = "APOP";
inline constexpr std::string_view kUserPassMechanism = "USER";

// The mechanisms to try in turn, strongest first: SCRAM-SHA-256-PLUS, SCRAM-SHA-256,
// SCRAM-SHA-1-PLUS, SCRAM-SHA-1, CRAM-MD5, then APOP when allowed, then USER/PASS, PLAIN and LOGIN
// (these three only over a secured connection unless plain text is allowed). A bearer token goes
// with OAUTHBEARER or XOAUTH2 only. Empty when nothing offered is allowed.
std::vector<std::string> loginMechanisms(const ServerOffer& offer, const LoginRequest& request);

// Whether the mechanism puts the secret on the wire as it is (or merely encoded).
bool sendsSecretInClear(std::string_view mechanism);

// The XOAUTH2 message: "user=" user ^A "auth=Bearer " token ^A ^A.
std::string xoauth2Message(std::string_view user, std::string_view token);
// The OAUTHBEARER message (RFC 7628): GS2 header with the user, host and port, the token.
std::string oauthBearerMessage(std::string_view user, std::string_view host, int port,
                               std::string_view token);

std::string base64Encode(std::string_view bytes);
// Nothing for text that is no base64.
std::optional<std::string> base64Decode(std::string_view text);

// One client exchange of a mechanism that GNU SASL implements.
class SaslExchange {
public:
    // Nothing when the library does not know the mechanism or cannot start it. For a -PLUS
    // mechanism, bindingType is "tls-exporter" or "tls-unique" and bindingData its raw bytes.
    static std::unique_ptr<SaslExchange> start(std::string_view mechanism, std::string_view user,
                                               std::string_view password,
                                               std::string_view bindingType = {},
                                               std::string_view bindingData = {});
    ~SaslExchange();
    SaslExchange(const SaslExchange&) = delete;
    SaslExchange& operator=(const SaslExchange&) = delete;

    // The client's answer (base64) to the server's challenge (base64; empty for the first step).
    // Nothing when the exchange failed, the server's proof included.
    std::optional<std::string> answer(std::string_view challenge);
    // The last answer finished the exchange on the client's side.
    bool finished() const { return finished_; }

private:
    explicit SaslExchange(void* session) : session_(session) {}
    void* session_;
    bool finished_ = false;
};

// Whether GNU SASL can run the mechanism as a client here.
bool saslSupports(std::string_view mechanism);

} // namespace toppeek::mail
