#include "mail/Pop3Auth.h"

#include "core/Ascii.h"

#include <cstring>

namespace toppeek::mail {

using core::equalsNoCase;

namespace {

// RFC 5034: an AUTH command with its initial response may take 255 octets; a longer response
// waits for the server's empty challenge.
constexpr std::size_t kAuthLineLimit = 255;

int findLineEnd(const char* buffer, int count, int /*argument*/) {
    const void* end = std::memchr(buffer, '\n', static_cast<std::size_t>(count));
    return end == nullptr ? 0 : static_cast<int>(static_cast<const char*>(end) - buffer) + 1;
}

bool inStep(const Pop3Session& session) {
    return !session.broken && session.socket() != kInvalidSocket;
}

std::string_view lineOf(const char* buffer) {
    std::string_view line(buffer, std::strlen(buffer));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

// The response code of a negative reply, "-ERR [CODE] text": CODE, else empty.
std::string responseCode(std::string_view reply) {
    if (reply.size() < 4 || !equalsNoCase(reply.substr(0, 4), "-ERR")) {
        return {};
    }
    std::string_view rest = reply.substr(4);
    while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    const std::size_t close = rest.find(']');
    if (rest.empty() || rest.front() != '[' || close == std::string_view::npos) {
        return {};
    }
    std::string code(rest.substr(1, close - 1));
    for (char& c : code) {
        c = core::asciiUpper(c);
    }
    return code;
}

enum class Reply { Ok, Refused, Challenge, Broken };

// One line of the exchange: the final "+OK" or "-ERR", or a continuation "+ data" (data, which
// may be empty, left in challenge).
Reply readExchangeReply(Pop3Session& session, char* buffer, std::string& challenge) {
    if (!inStep(session) ||
        !readUntil(session.channel(), buffer, kLoginBufferSize, findLineEnd, 0, session.control)) {
        session.broken = true;
        return Reply::Broken;
    }
    session.replyRead();
    const std::string_view line = lineOf(buffer);
    if (line.size() >= 3 && equalsNoCase(line.substr(0, 3), "+OK")) {
        return Reply::Ok;
    }
    if (!line.empty() && line.front() == '+') {
        std::string_view data = line.substr(1);
        while (!data.empty() && data.front() == ' ') {
            data.remove_prefix(1);
        }
        challenge = std::string(data);
        return Reply::Challenge;
    }
    return Reply::Refused;
}

bool sendPayload(Pop3Session& session, std::string_view payload) {
    session.sendingSaslPayload = true;
    const bool sent = sendCommand(session, std::string(payload) + "\r\n") != -1;
    session.sendingSaslPayload = false;
    return sent;
}

enum class Outcome {
    Accepted,
    // Refused before any credential went out: the next mechanism may be tried.
    TurnedDown,
    // Refused after the credentials, or stopped for a reason that trying on cannot mend.
    Refused,
};

struct SaslResult {
    Outcome outcome = Outcome::Refused;
    std::string reason;
};

bool isBearer(std::string_view mechanism) {
    return mechanism == "XOAUTH2" || mechanism == "OAUTHBEARER";
}

SaslResult runSasl(Pop3Session& session, const std::string& mechanism, const LoginRequest& request,
                   const std::optional<Transport::Binding>& binding, std::string_view host,
                   int port, char* buffer) {
    std::unique_ptr<SaslExchange> exchange;
    std::string initial;
    if (isBearer(mechanism)) {
        initial = base64Encode(mechanism == "XOAUTH2"
                                   ? xoauth2Message(request.user, request.secret)
                                   : oauthBearerMessage(request.user, host, port, request.secret));
    } else {
        const bool plus = mechanism.ends_with("-PLUS");
        exchange = SaslExchange::start(mechanism, request.user, request.secret,
                                       plus && binding ? std::string_view(binding->type) : "",
                                       plus && binding ? std::string_view(binding->data) : "");
        std::optional<std::string> first = exchange ? exchange->answer("") : std::nullopt;
        if (!first) {
            return {Outcome::TurnedDown, {}};
        }
        initial = std::move(*first);
    }

    // A bearer token always goes on the line after the server's "+": some servers refuse it in
    // the AUTH line itself.
    std::string line = "AUTH " + mechanism;
    const bool initialInLine = !initial.empty() && !isBearer(mechanism) &&
                               line.size() + 1 + initial.size() + 2 <= kAuthLineLimit;
    if (initialInLine) {
        line += " " + initial;
        initial.clear();
    }
    if (sendCommand(session, line + "\r\n") == -1) {
        return {Outcome::Refused, {}};
    }
    bool credentialsSent = initialInLine;
    bool tokenRefused = false;
    std::string challenge;
    for (int round = 0;; ++round) {
        const Reply reply = readExchangeReply(session, buffer, challenge);
        if (reply == Reply::Broken) {
            return {Outcome::Refused, {}};
        }
        if (reply == Reply::Ok) {
            if (exchange && !exchange->finished() && mechanism.starts_with("SCRAM")) {
                // The server never proved that it knows the password: whoever answered is not
                // to be trusted with this mailbox.
                return {Outcome::Refused, "The server accepted the sign-in without proving "
                                          "that it knows the password; the check was stopped."};
            }
            return {Outcome::Accepted, {}};
        }
        if (reply == Reply::Refused) {
            const std::string code = responseCode(lineOf(buffer));
            std::string reason = refusalReason(lineOf(buffer));
            if (code.empty() && tokenRefused) {
                session.refusalCode = "AUTH";
                reason = refusalReason("-ERR [AUTH]");
            }
            if (!credentialsSent && code.empty()) {
                return {Outcome::TurnedDown, {}};
            }
            return {Outcome::Refused, std::move(reason)};
        }
        // A challenge. A bad one, or one a mechanism cannot answer, ends the exchange with "*".
        std::string answer;
        bool abort = false;
        if (!initial.empty() || (round == 0 && !credentialsSent && isBearer(mechanism))) {
            answer = std::move(initial);
            initial.clear();
        } else if (isBearer(mechanism)) {
            // RFC 7628: after the token, a challenge is the server's error report, which the
            // client acknowledges so that the server sends its final refusal.
            tokenRefused = true;
            answer = mechanism == "OAUTHBEARER" ? base64Encode("\001") : "";
        } else if (std::optional<std::string> next = exchange->answer(challenge); next) {
            answer = std::move(*next);
        } else {
            abort = true;
        }
        if (abort || round > 8) {
            sendCommand(session, "*\r\n");
            readExchangeReply(session, buffer, challenge);
            return {Outcome::Refused,
                    mechanism.starts_with("SCRAM")
                        ? "The server could not prove that it knows the password; the sign-in was "
                          "stopped."
                        : "The server's sign-in exchange made no sense; the sign-in was stopped."};
        }
        if (!sendPayload(session, answer)) {
            return {Outcome::Refused, {}};
        }
        credentialsSent = true;
    }
}

} // namespace

std::string refusalReason(std::string_view reply) {
    const std::string code = responseCode(reply);
    if (code == "AUTH") {
        return "The server says the password or sign-in is wrong.";
    }
    if (code == "SYS/TEMP") {
        return "The server has a temporary problem; try again later.";
    }
    if (code == "SYS/PERM") {
        return "The server has a problem that needs its administrator.";
    }
    if (code == "IN-USE") {
        return "Another client is using the mailbox.";
    }
    if (code == "LOGIN-DELAY") {
        return "The server allows no new log-in yet: the last one was too recent.";
    }
    return {};
}

bool authenticate(Pop3Session& session, const LoginRequest& request, const ServerOffer& offer,
                  const std::optional<Transport::Binding>& binding, std::string_view host, int port,
                  char* buffer, const std::function<bool(std::string_view)>& popCommands) {
    ConnectionControl& control = *session.control;
    const std::vector<std::string> mechanisms = loginMechanisms(offer, request);
    if (mechanisms.empty()) {
        if (request.bearerToken) {
            control.failureReason =
                offer.secured || request.allowPlainText
                    ? "The server offers no OAuth2 sign-in (XOAUTH2 or OAUTHBEARER)."
                    : "The sign-in token would cross the network unprotected: the connection is "
                      "not secured.";
        } else {
            control.failureReason =
                "The server offers no sign-in that keeps the password from crossing the "
                "network unprotected. Choose a secured connection for the account.";
        }
        return false;
    }
    for (const std::string& mechanism : mechanisms) {
        if (mechanism == kApopMechanism || mechanism == kUserPassMechanism) {
            buffer[0] = '\0';
            if (popCommands(mechanism)) {
                session.signedInWith = mechanism;
                return true;
            }
            // A refused PASS or APOP is about the password nearly always: not tried again.
            session.refusalCode = responseCode(lineOf(buffer));
            control.failureReason = refusalReason(lineOf(buffer));
            return false;
        }
        SaslResult result = runSasl(session, mechanism, request, binding, host, port, buffer);
        if (result.outcome == Outcome::Accepted) {
            session.signedInWith = mechanism;
            return true;
        }
        if (session.refusalCode.empty()) {
            session.refusalCode = responseCode(lineOf(buffer));
        }
        if (result.outcome == Outcome::Refused || !inStep(session)) {
            control.failureReason = std::move(result.reason);
            return false;
        }
    }
    control.failureReason =
        offer.secured || request.allowPlainText
            ? "The server turned down every way of signing in that the account allows."
            : "The server turned down every sign-in that keeps the password from crossing the "
              "network unprotected. Choose a secured connection for the account.";
    return false;
}

} // namespace toppeek::mail
