#include "mail/Pop3.h"

#include "core/Ascii.h"
#include "core/Numbers.h"
#include "mail/Pop3Auth.h"
#include "mail/Tls.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <utility>

namespace toppeek::mail {

using core::asciiUpper;
using core::equalsNoCase;
using core::isAsciiSpace;
using core::saturatedNumber;

namespace {

constexpr int kSendChunk = 512;
constexpr int kDefaultPop3Port = 110;
constexpr std::string_view kTlsScheme = "pop3s://";
constexpr std::string_view kStartTlsScheme = "pop3+stls://";
// What one read of a multi-line listing looks at; lines run on across reads.
constexpr int kListingChunk = 16384;
// Longest listing line kept whole: no CAPA or UIDL line comes near it, so a longer one is garbage
// and is passed on marked as such instead of growing without bound.
constexpr std::size_t kListingLineLimit = 1024;
constexpr std::size_t kCapaReplyLimit = 64 * 1024;

std::mutex gPortMutex;
int gPop3Port = 0; // 0 until looked up

bool isSeparator(char c) {
    return c == '\r' || c == '\n' || c == '\t' || c == ' ';
}

// The reply in a buffer that readUntil zero-terminated.
std::string_view replyText(const char* buffer, int size) {
    return {buffer, ::strnlen(buffer, static_cast<std::size_t>(size))};
}

std::string firstToken(std::string_view text) {
    std::size_t position = 0;
    return nextReplyToken(text, position);
}

// The second and third tokens of a positive reply whose indicator is exactly "+OK".
void readNumbers(std::string_view reply, long& second, long& third) {
    second = 0;
    third = 0;
    std::size_t position = 0;
    if (nextReplyToken(reply, position) != "+OK") {
        return;
    }
    second = saturatedNumber(nextReplyToken(reply, position));
    third = saturatedNumber(nextReplyToken(reply, position));
}

int lookUpPop3Port() {
    servent entry{};
    servent* found = nullptr;
    std::array<char, 1024> scratch{};
    if (::getservbyname_r("pop3", nullptr, &entry, scratch.data(), scratch.size(), &found) == 0 &&
        found != nullptr) {
        int port = ntohs(static_cast<std::uint16_t>(found->s_port));
        if (port > 0) {
            return port;
        }
    }
    return kDefaultPop3Port;
}

// The remembered POP3 port; the first call of the run looks it up and reports that it does.
int rememberedPop3Port(std::string_view host, ConnectionControl& control) {
    {
        std::lock_guard lock(gPortMutex);
        if (gPop3Port != 0) {
            return gPop3Port;
        }
    }
    control.statusText = std::string(host);
    control.status = ConnectStatus::Resolving;
    if (control.statusCallback) {
        control.statusCallback(control);
    }
    return pop3Port();
}

template <std::size_t N, typename... Args>
std::string_view formatLine(std::array<char, N>& line, const char* format, Args... args) {
    int length = std::snprintf(line.data(), line.size(), format, args...);
    if (length < 0) {
        line[0] = '\0';
    }
    return {line.data(), std::strlen(line.data())};
}

bool quitAndClose(Pop3Session& session) {
    std::array<char, kStatusBufferSize> reply{};
    transact(session, "QUIT\r\n", reply.data(), static_cast<int>(reply.size()));
    session.close();
    return false;
}

// Puts TLS over the session's connection; on failure closes it (the conversation cannot go on
// in the clear, so no QUIT is sent).
bool secure(Pop3Session& session, const std::string& name) {
    std::unique_ptr<Transport> channel = secureConnection(session.socket(), name, *session.control);
    if (!channel) {
        session.close();
        return false;
    }
    session.secureWith(std::move(channel));
    return true;
}

// A conversation can go on only while it is in step and its connection open.
bool inStep(const Pop3Session& session) {
    return !session.broken && session.socket() != kInvalidSocket;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// Takes count bytes that a peek has already seen.
bool takeSeen(Transport& channel, char* buffer, int count, ConnectionControl* control) {
    while (count > 0) {
        int received = channel.receive(buffer, count, 0, control);
        if (received <= 0) {
            return false;
        }
        count -= received;
    }
    return true;
}

// Reads the body of a multi-line reply up to and including its terminating line, and not a byte
// further: what follows belongs to the next reply. Each line goes to onLine(text, overlong)
// without its line end and dot-unstuffed; a line longer than kListingLineLimit goes as its first
// bytes with overlong set. Every wait is one of the connection layer's, with its time-out and
// cancel. A failed read, or a reply longer than limit bytes or (when mostLines is not negative)
// mostLines lines, leaves the conversation out of step; the latter two set control->overran.
template <typename OnLine>
bool readListing(Pop3Session& session, std::size_t limit, long mostLines, OnLine&& onLine) {
    if (!inStep(session)) {
        session.broken = true;
        return false;
    }
    ConnectionControl* control = session.control;
    Transport& channel = session.channel();
    auto chunk = std::make_unique<char[]>(kListingChunk);
    std::string line;
    bool overlong = false;
    std::size_t total = 0;
    long lines = 0;
    bool overran = false;
    for (;;) {
        // A listing whose bytes are all there already is read without a single wait.
        idleStepIfDue();
        if (stopRequested(control) || pastDeadline(control)) {
            break;
        }
        int peeked = channel.receive(chunk.get(), kListingChunk, kPeek, control);
        if (peeked <= 0) {
            break;
        }
        int used = peeked;
        bool ended = false;
        for (int i = 0; i < peeked; ++i) {
            char c = chunk[static_cast<std::size_t>(i)];
            if (c != '\n') {
                if (line.size() < kListingLineLimit) {
                    line += c;
                } else {
                    overlong = true;
                }
                continue;
            }
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!overlong && line == ".") {
                ended = true;
                used = i + 1;
                break;
            }
            if (mostLines >= 0 && ++lines > mostLines) {
                overran = true;
                used = i + 1;
                break;
            }
            std::string_view text(line);
            if (text.size() > 1 && text[0] == '.') {
                text.remove_prefix(1);
            }
            onLine(text, overlong);
            line.clear();
            overlong = false;
        }
        total += static_cast<std::size_t>(used);
        if (!takeSeen(channel, chunk.get(), used, control)) {
            break;
        }
        if (ended) {
            return true;
        }
        if (overran || total > limit) {
            if (control != nullptr) {
                control->overran = true;
            }
            break;
        }
    }
    session.broken = true;
    return false;
}

// readStatusReply, waiting at most seconds for the line when the time-out is longer.
bool readStatusReplyWithin(Pop3Session& session, char* buffer, int size, std::uint32_t seconds) {
    ConnectionControl* control = session.control;
    if (control == nullptr || !control->timeoutEnabled || control->timeoutSeconds <= seconds) {
        return readStatusReply(session, buffer, size);
    }
    const std::uint32_t kept = std::exchange(control->timeoutSeconds, seconds);
    const bool positive = readStatusReply(session, buffer, size);
    control->timeoutSeconds = kept;
    return positive;
}

bool isUniqueIdCharacter(char c) {
    return c >= 0x21 && c <= 0x7E;
}

// A negative reply to a credential is a refusal whatever the server does next: many hang up at
// once, so the QUIT that follows it finds the connection gone.
bool refusedIf(Pop3Session& session, bool answered) {
    if (!answered && !session.broken) {
        session.refusal = LoginRefusal::Credentials;
    }
    return answered;
}

// APOP with the greeting's time stamp.
bool apopLogIn(Pop3Session& session, std::string_view user, std::string_view password,
               const std::string& stamp, char* buffer) {
    std::string digest = apopDigest(stamp, password);
    std::array<char, kApopLineSize> line{};
    return refusedIf(session,
                     transact(session,
                              formatLine(line, "APOP %.*s %s\r\n", static_cast<int>(user.size()),
                                         user.data(), digest.c_str()),
                              buffer, kLoginBufferSize));
}

// USER and PASS; in one round trip with a server that pipelines.
bool userPassLogIn(Pop3Session& session, std::string_view user, std::string_view password,
                   char* buffer) {
    if (!isSendableCredential(password)) {
        return false;
    }
    std::array<char, kCommandLineSize> userLine{};
    std::array<char, kCommandLineSize> passLine{};
    const std::string_view userCommand =
        formatLine(userLine, "USER %.*s\r\n", static_cast<int>(user.size()), user.data());
    const std::string_view passCommand =
        formatLine(passLine, "PASS %.*s\r\n", static_cast<int>(password.size()), password.data());
    if (session.pipelines()) {
        // Both replies are read whatever the first says, so that the QUIT after a refusal
        // is answered in step.
        bool ok = sendAhead(session, userCommand) && sendAhead(session, passCommand);
        // The refusal may be either's, the hang-up right behind it.
        const bool userAccepted =
            ok && refusedIf(session, readStatusReply(session, buffer, kLoginBufferSize));
        // The refusal of USER is the one to report, though PASS's reply is read over it.
        const std::string userRefusal = ok && !userAccepted ? std::string(buffer) : std::string();
        const bool passAccepted =
            ok && refusedIf(session, readStatusReply(session, buffer, kLoginBufferSize));
        if (!userRefusal.empty()) {
            std::snprintf(buffer, kLoginBufferSize, "%s", userRefusal.c_str());
        }
        return userAccepted && passAccepted;
    }
    return refusedIf(session, transact(session, userCommand, buffer, kLoginBufferSize) &&
                                  transact(session, passCommand, buffer, kLoginBufferSize));
}

// An access token goes into one base64 payload: any length, but no line break or NUL.
bool isSendableToken(std::string_view token) {
    return !token.empty() && token.find_first_of("\r\n", 0, 3) == std::string_view::npos;
}

int logIn(Pop3Session& session, std::string_view host, const LoginRequest& request,
          ConnectionControl& control) {
    const std::string_view user = request.user;
    const std::string_view password = request.secret;
    const bool allowApop = request.allowApop && !request.bearerToken;
    const PlainPasswordFallback fallback = request.plainFallback;
    session.close();
    session.control = &control;
    session.broken = false;
    session.capabilities.clear();
    session.refusal = LoginRefusal::None;
    session.saslMechanisms.clear();
    session.signedInWith.clear();
    session.sendingSaslPayload = false;
    session.refusalCode.clear();
    control.failureReason.clear();

    std::optional<ServerAddress> address = parseServerAddress(host);
    if (!address) {
        return kLoginNoConnection;
    }
    const HostAndPort& target = address->target;
    int port = target.port;
    if (port == 0) {
        port = address->security == Security::Tls ? kPop3sPort
                                                  : rememberedPop3Port(target.name, control);
    }

    auto buffer = std::make_unique<char[]>(kLoginBufferSize);
    session.attach(connectToHost(target.name, port, control));
    if (session.socket() == kInvalidSocket) {
        return kLoginNoConnection;
    }
    if (address->security == Security::Tls && !secure(session, target.name)) {
        return kLoginNoConnection;
    }

    bool ok = readStatusReply(session, buffer.get(), kLoginBufferSize);
    // Taken now: the STLS reply that may follow overwrites the greeting.
    std::optional<std::string> stamp;
    if (ok && allowApop) {
        stamp = apopTimestamp(replyText(buffer.get(), kLoginBufferSize));
    }
    if (ok && address->security == Security::StartTls) {
        // The credentials must never go out in the clear: a server that will not secure the
        // connection is not logged in to.
        if (!transact(session, "STLS\r\n", buffer.get(), kLoginBufferSize)) {
            if (!session.broken) {
                session.refusal = LoginRefusal::SecureLink;
            }
            quitAndClose(session);
            return kLoginRefused;
        }
        if (!secure(session, target.name)) {
            return kLoginNoConnection;
        }
    }
    if (ok && allowApop && !stamp && !session.isSecured() &&
        fallback != PlainPasswordFallback::Allowed) {
        control.failureReason = "The server did not offer APOP, and the password is not sent in "
                                "plain text instead.";
        quitAndClose(session);
        return kLoginRefused;
    }
    // A credential that cannot go out safely ends the log-in before anything more is said. APOP
    // sends the user name only.
    ok =
        ok && isSendableCredential(user) &&
        (request.bearerToken ? isSendableToken(password) : stamp || isSendableCredential(password));
    // What the server can do is asked before the credentials go out, and only once the connection
    // is secured (what a server said in the clear before STLS is not to be trusted): a server
    // that pipelines takes USER and PASS in one round trip.
    if (ok) {
        pop3Capa(session);
        ok = inStep(session);
    }
    if (ok) {
        ServerOffer offer;
        offer.sasl = session.saslMechanisms;
        // Many servers leave USER out of CAPA though they take it: it is assumed unless the
        // server lists SASL mechanisms and not USER.
        offer.user = session.capabilities.contains("USER") || session.saslMechanisms.empty();
        offer.apopStamp = stamp.has_value();
        offer.secured = session.isSecured();
        std::optional<Transport::Binding> binding;
        if (offer.secured) {
            binding = session.channel().channelBinding();
        }
        offer.channelBinding = binding.has_value();
        ok = authenticate(session, request, offer, binding, target.name, port, buffer.get(),
                          [&](std::string_view mechanism) {
                              if (mechanism == kApopMechanism) {
                                  return apopLogIn(session, user, password, *stamp, buffer.get());
                              }
                              return userPassLogIn(session, user, password, buffer.get());
                          });
        // An AUTH that ends in a negative reply is a refusal as PASS's is.
        if (!ok && !session.broken && session.refusal == LoginRefusal::None) {
            session.refusal = LoginRefusal::Credentials;
        }
    }
    if (!ok) {
        quitAndClose(session);
        return kLoginRefused;
    }
    return kLoginOk;
}

void traceCommand(Pop3Session& session, std::string_view line) {
    if (ConnectionControl* control = session.control; control != nullptr) {
        control->statusText =
            session.sendingSaslPayload ? std::string(kMaskedPayload) : traceText(line);
        control->status = ConnectStatus::CommandSent;
        if (control->statusCallback) {
            control->statusCallback(*control);
        }
    }
}

} // namespace

bool isSendableCredential(std::string_view text) {
    return text.size() <= kCredentialLimit && text.find_first_of("\r\n", 0, 3) == std::string::npos;
}

Pop3Session::Pop3Session(Pop3Session&& other) noexcept
    : control(other.control), broken(other.broken), capabilities(std::move(other.capabilities)),
      refusal(other.refusal), saslMechanisms(std::move(other.saslMechanisms)),
      signedInWith(std::move(other.signedInWith)),
      sendingSaslPayload(std::exchange(other.sendingSaslPayload, false)),
      refusalCode(std::move(other.refusalCode)),
      socket_(std::exchange(other.socket_, kInvalidSocket)),
      transport_(std::move(other.transport_)), secured_(std::exchange(other.secured_, false)),
      inFlight_(std::move(other.inFlight_)), inFlightBytes_(std::exchange(other.inFlightBytes_, 0)),
      quitSentAhead_(std::exchange(other.quitSentAhead_, false)) {
    other.inFlight_.clear();
}

Pop3Session& Pop3Session::operator=(Pop3Session&& other) noexcept {
    if (this != &other) {
        close();
        control = other.control;
        broken = other.broken;
        capabilities = std::move(other.capabilities);
        refusal = other.refusal;
        saslMechanisms = std::move(other.saslMechanisms);
        signedInWith = std::move(other.signedInWith);
        sendingSaslPayload = std::exchange(other.sendingSaslPayload, false);
        refusalCode = std::move(other.refusalCode);
        socket_ = std::exchange(other.socket_, kInvalidSocket);
        transport_ = std::move(other.transport_);
        secured_ = std::exchange(other.secured_, false);
        inFlight_ = std::move(other.inFlight_);
        other.inFlight_.clear();
        inFlightBytes_ = std::exchange(other.inFlightBytes_, 0);
        quitSentAhead_ = std::exchange(other.quitSentAhead_, false);
    }
    return *this;
}

void Pop3Session::attach(Socket connected) {
    close();
    if (connected != kInvalidSocket) {
        socket_ = connected;
        transport_ = std::make_unique<PlainTransport>(connected);
    }
}

void Pop3Session::secureWith(std::unique_ptr<Transport> channel) {
    transport_ = std::move(channel);
    secured_ = true;
}

void Pop3Session::close() {
    // The channel goes first: a secure one borrows the socket.
    transport_.reset();
    closeConnection(socket_);
    socket_ = kInvalidSocket;
    secured_ = false;
    inFlight_.clear();
    inFlightBytes_ = 0;
    quitSentAhead_ = false;
}

void Pop3Session::sentAhead(std::size_t bytes) {
    inFlight_.push_back(bytes);
    inFlightBytes_ += bytes;
}

void Pop3Session::replyRead() {
    // The greeting is a reply to no command.
    if (!inFlight_.empty()) {
        inFlightBytes_ -= inFlight_.front();
        inFlight_.pop_front();
    }
}

std::string nextReplyToken(std::string_view text, std::size_t& position) {
    while (position < text.size() && isAsciiSpace(text[position])) {
        ++position;
    }
    std::size_t begin = position;
    while (position < text.size() && !isSeparator(text[position]) &&
           position - begin < static_cast<std::size_t>(kTokenSize - 1)) {
        ++position;
    }
    return std::string(text.substr(begin, position - begin));
}

int findStatusLineEnd(const char* buffer, int count, int /*argument*/) {
    if (count <= 4) {
        return 0;
    }
    std::string_view text(buffer, static_cast<std::size_t>(count));
    std::size_t tokenEnd = 0;
    std::string token = nextReplyToken(text, tokenEnd);
    if (!equalsNoCase(token, "+OK") && !equalsNoCase(token, "-ERR")) {
        // Not a status line we know: everything received so far is the reply.
        return count;
    }
    // The line end is looked for behind the indicator: a stray line end in front of it may
    // arrive, and be taken from the socket, before the indicator does, and an end placed there
    // would lose the bytes taken since.
    if (std::size_t end = text.find("\r\n", tokenEnd); end != std::string_view::npos) {
        return static_cast<int>(end + 2);
    }
    if (std::size_t end = text.find('\n', tokenEnd); end != std::string_view::npos) {
        return static_cast<int>(end + 1);
    }
    return 0;
}

int findTopBodyEnd(const char* buffer, int count, int /*argument*/) {
    std::string_view text(buffer, static_cast<std::size_t>(count));
    // An empty body: the terminating line comes straight after the status line. A lone ".\r"
    // may still be followed by its "\n", so it waits for the next byte.
    if (text.size() >= 2 && text[0] == '.') {
        if (text[1] == '\n') {
            return 2;
        }
        if (text[1] == '\r' && text.size() >= 3) {
            return text[2] == '\n' ? 3 : 2;
        }
    }
    for (std::string_view terminator : {"\n.\r\n", "\n.\n", "\r.\r"}) {
        if (std::size_t at = text.find(terminator); at != std::string_view::npos) {
            return static_cast<int>(at + terminator.size());
        }
    }
    return 0;
}

std::string traceText(std::string_view line) {
    // Any line that names PASS is masked whole, an AUTH line among them: masking more than needed
    // costs nothing, showing a password would.
    const bool namesPass = line.find("PASS") != std::string_view::npos;
    std::string trace = namesPass ? std::string("PASS xxxx") : std::string(line);
    if (!namesPass && startsWithNoCase(line, "AUTH ")) {
        // The mechanism is shown; an initial response after it is a secret or derived from one.
        const std::size_t space = line.find(' ', 5);
        if (space != std::string_view::npos) {
            trace = std::string(line.substr(0, space)) + " " + std::string(kMaskedPayload);
        } else {
            trace = std::string(line);
        }
    }
    if (trace.size() > kTraceLimit) {
        trace.resize(kTraceLimit);
    }
    return trace;
}

std::optional<std::string> apopTimestamp(std::string_view greeting) {
    std::string stamp;
    bool inside = false;
    for (char c : greeting) {
        if (c == '<') {
            inside = true;
        }
        if (inside && stamp.size() < kTimestampLimit) {
            stamp += c;
        }
        if (inside && c == '>') {
            break;
        }
    }
    if (stamp.empty()) {
        return std::nullopt;
    }
    return stamp;
}

std::string apopDigest(std::string_view timestamp, std::string_view password) {
    std::string combined(timestamp);
    combined.append(password);
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(combined.data(), combined.size(), digest.data(), &length, EVP_md5(), nullptr) !=
        1) {
        return {};
    }
    std::string hex;
    hex.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        std::array<char, 3> pair{};
        std::snprintf(pair.data(), pair.size(), "%02x", digest[i]);
        hex += pair.data();
    }
    return hex;
}

std::optional<int> parsePort(std::string_view digits) {
    if (digits.empty()) {
        return std::nullopt;
    }
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
        if (port > 65535) {
            return std::nullopt;
        }
    }
    if (port < 1) {
        return std::nullopt;
    }
    return port;
}

std::optional<HostAndPort> splitHostAndPort(std::string_view host) {
    if (!host.empty() && host.front() == '[') {
        // "[literal]" or "[literal]:port": the brackets keep the literal's colons from the port's.
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos || !parseIpv6Literal(host.substr(1, close - 1))) {
            return std::nullopt;
        }
        std::string name(host.substr(1, close - 1));
        std::string_view rest = host.substr(close + 1);
        if (rest.empty()) {
            return HostAndPort{std::move(name), 0};
        }
        std::optional<int> port = rest.front() == ':' ? parsePort(rest.substr(1)) : std::nullopt;
        if (!port) {
            return std::nullopt;
        }
        return HostAndPort{std::move(name), *port};
    }
    std::size_t colon = host.rfind(':');
    if (colon == std::string_view::npos) {
        return HostAndPort{std::string(host), 0};
    }
    // Two colons or more: an IPv6 literal written without brackets, which cannot carry a port.
    if (host.find(':') != colon) {
        return HostAndPort{std::string(host), 0};
    }
    std::optional<int> port = parsePort(host.substr(colon + 1));
    if (!port) {
        return std::nullopt;
    }
    return HostAndPort{std::string(host.substr(0, colon)), *port};
}

std::optional<ServerAddress> parseServerAddress(std::string_view host) {
    ServerAddress address;
    if (startsWithNoCase(host, kTlsScheme)) {
        address.security = Security::Tls;
        host.remove_prefix(kTlsScheme.size());
    } else if (startsWithNoCase(host, kStartTlsScheme)) {
        address.security = Security::StartTls;
        host.remove_prefix(kStartTlsScheme.size());
    } else if (host.find("://") != std::string_view::npos) {
        return std::nullopt;
    }
    std::optional<HostAndPort> target = splitHostAndPort(host);
    if (!target || (address.security != Security::None && target->name.empty())) {
        return std::nullopt;
    }
    address.target = std::move(*target);
    return address;
}

int defaultServerPort(Security security) {
    return security == Security::Tls ? kPop3sPort : pop3Port();
}

int serverPort(const ServerAddress& address) {
    return address.target.port != 0 ? address.target.port : defaultServerPort(address.security);
}

std::optional<std::string> formatServerAddress(Security security, std::string_view name, int port) {
    // A colon in the name would be read back as the port's separator, unless the name is an IPv6
    // literal, which goes in brackets.
    const bool literal = name.find(':') != std::string_view::npos;
    if ((literal && !parseIpv6Literal(name)) || port < 1 || port > 65535 ||
        (security != Security::None && name.empty())) {
        return std::nullopt;
    }
    std::string text;
    if (security == Security::Tls) {
        text = kTlsScheme;
    } else if (security == Security::StartTls) {
        text = kStartTlsScheme;
    }
    if (literal) {
        text += '[';
        text += name;
        text += ']';
    } else {
        text += name;
    }
    if (port != defaultServerPort(security)) {
        text += ':';
        text += std::to_string(port);
    }
    return text;
}

int pop3Port() {
    std::lock_guard lock(gPortMutex);
    if (gPop3Port == 0) {
        gPop3Port = lookUpPop3Port();
    }
    return gPop3Port;
}

int sendCommand(Pop3Session& session, std::string_view line) {
    if (!inStep(session)) {
        session.broken = true;
        return -1;
    }
    traceCommand(session, line);
    Transport& channel = session.channel();
    if (channel.queuedBytes() > 0 || session.commandsInFlight() > 0) {
        // Behind commands that are still going out, or whose replies are still coming: a send
        // that waited for the socket here would not read, and a server blocked on writing those
        // replies would never take the line. It goes out with the next read.
        channel.queue(line);
        session.sentAhead(line.size());
        return static_cast<int>(line.size());
    }
    int sent =
        sendAll(channel, line.data(), static_cast<int>(line.size()), kSendChunk, session.control);
    if (sent == -1) {
        session.broken = true;
    } else {
        session.sentAhead(line.size());
    }
    return sent;
}

bool windowHasRoom(const Pop3Session& session, std::size_t length) {
    if (session.commandsInFlight() == 0) {
        return true;
    }
    return session.pipelines() && session.commandsInFlight() < kPipelineCommands &&
           session.bytesInFlight() + length <= kPipelineBytes;
}

bool sendAhead(Pop3Session& session, std::string_view line) {
    if (!inStep(session)) {
        session.broken = true;
        return false;
    }
    traceCommand(session, line);
    session.channel().queue(line);
    session.sentAhead(line.size());
    return true;
}

bool readStatusReply(Pop3Session& session, char* buffer, int size) {
    if (!inStep(session) ||
        !readUntil(session.channel(), buffer, size, findStatusLineEnd, 0, session.control)) {
        session.broken = true;
        return false;
    }
    session.replyRead();
    return equalsNoCase(firstToken(replyText(buffer, size)), "+OK");
}

bool transact(Pop3Session& session, std::string_view line, char* buffer, int size) {
    if (sendCommand(session, line) == -1) {
        return false;
    }
    return readStatusReply(session, buffer, size);
}

int pop3Login(Pop3Session& session, std::string_view host, std::string_view user,
              std::string_view password, ConnectionControl& control) {
    return logIn(session, host, LoginRequest{user, password}, control);
}

int pop3LoginApop(Pop3Session& session, std::string_view host, std::string_view user,
                  std::string_view password, ConnectionControl& control,
                  PlainPasswordFallback fallback) {
    LoginRequest request{user, password};
    request.allowApop = true;
    request.plainFallback = fallback;
    return logIn(session, host, request, control);
}

int pop3SignIn(Pop3Session& session, std::string_view host, const LoginRequest& request,
               ConnectionControl& control) {
    return logIn(session, host, request, control);
}

bool pop3Stat(Pop3Session& session, long& count, long& octets) {
    count = 0;
    octets = 0;
    if (sendCommand(session, "STAT\r\n") == -1) {
        return false;
    }
    return readStatReply(session, count, octets);
}

bool readStatReply(Pop3Session& session, long& count, long& octets) {
    count = 0;
    octets = 0;
    std::array<char, kStatusBufferSize> reply{};
    if (!readStatusReply(session, reply.data(), kStatusBufferSize)) {
        return false;
    }
    readNumbers(replyText(reply.data(), kStatusBufferSize), count, octets);
    return true;
}

bool sendQuitAhead(Pop3Session& session) {
    if (!sendAhead(session, "QUIT\r\n")) {
        return false;
    }
    session.markQuitSentAhead();
    return true;
}

bool readListReply(Pop3Session& session, long& size) {
    size = 0;
    std::array<char, kStatusBufferSize> reply{};
    if (!readStatusReply(session, reply.data(), kStatusBufferSize)) {
        return false;
    }
    long ignored = 0;
    readNumbers(replyText(reply.data(), kStatusBufferSize), ignored, size);
    return true;
}

bool pop3List(Pop3Session& session, long number, long& size) {
    size = 0;
    std::array<char, kCommandLineSize> line{};
    if (sendCommand(session, formatLine(line, "LIST %ld\r\n", number)) == -1) {
        return false;
    }
    return readListReply(session, size);
}

bool pop3Top(Pop3Session& session, long number, int lines, char* buffer, int size, int* foldedAt) {
    std::array<char, kCommandLineSize> line{};
    if (sendCommand(session, formatLine(line, "TOP %ld %d\r\n", number, lines)) == -1) {
        return false;
    }
    return readTopReply(session, buffer, size, foldedAt);
}

bool readTopReply(Pop3Session& session, char* buffer, int size, int* foldedAt) {
    if (!readStatusReply(session, buffer, size)) {
        return false;
    }
    if (firstToken(replyText(buffer, size)) != "+OK") {
        // The body that follows such a reply stays unread, so the next reply would be misread.
        session.broken = true;
        return false;
    }
    if (!inStep(session) ||
        !readUntil(session.channel(), buffer, size, findTopBodyEnd, 0, session.control, foldedAt)) {
        session.broken = true;
        return false;
    }
    return true;
}

bool pop3Dele(Pop3Session& session, long number) {
    std::array<char, kCommandLineSize> line{};
    std::array<char, kStatusBufferSize> reply{};
    return transact(session, formatLine(line, "DELE %ld\r\n", number), reply.data(),
                    kStatusBufferSize);
}

bool pop3Capa(Pop3Session& session) {
    session.capabilities.clear();
    session.saslMechanisms.clear();
    std::array<char, kStatusBufferSize> reply{};
    if (!transact(session, "CAPA\r\n", reply.data(), kStatusBufferSize)) {
        return false;
    }
    std::set<std::string> names;
    std::vector<std::string> sasl;
    bool read =
        readListing(session, kCapaReplyLimit, -1, [&](std::string_view line, bool overlong) {
            std::size_t position = 0;
            std::string name = nextReplyToken(line, position);
            for (char& c : name) {
                c = asciiUpper(c);
            }
            if (!overlong && name == "SASL") {
                sasl.clear();
                for (std::string mechanism = nextReplyToken(line, position); !mechanism.empty();
                     mechanism = nextReplyToken(line, position)) {
                    for (char& c : mechanism) {
                        c = asciiUpper(c);
                    }
                    sasl.push_back(std::move(mechanism));
                }
            }
            if (!overlong && !name.empty()) {
                names.insert(std::move(name));
            }
        });
    if (read) {
        session.capabilities = std::move(names);
        session.saslMechanisms = std::move(sasl);
    }
    return read;
}

std::optional<std::pair<long, std::string>> parseUniqueIdLine(std::string_view line) {
    std::size_t i = 0;
    long number = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        int digit = line[i] - '0';
        if (number > (LONG_MAX - digit) / 10) {
            return std::nullopt;
        }
        number = number * 10 + digit;
    }
    if (i == 0 || number < 1 || i >= line.size() || (line[i] != ' ' && line[i] != '\t')) {
        return std::nullopt;
    }
    // One space is what the protocol says; more blanks cost nothing to accept.
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    std::size_t begin = i;
    while (i < line.size() && isUniqueIdCharacter(line[i])) {
        ++i;
    }
    std::size_t length = i - begin;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    if (length == 0 || length > kUniqueIdLimit || i != line.size()) {
        return std::nullopt;
    }
    return std::pair<long, std::string>(number, std::string(line.substr(begin, length)));
}

namespace {

// One line of a LIST listing: "n size", n a decimal number from 1; the size is read as the reply
// to LIST n reads it, and more after it is allowed (RFC 1939 leaves room for it).
std::optional<std::pair<long, long>> parseSizeLine(std::string_view line) {
    std::size_t position = 0;
    std::string number = nextReplyToken(line, position);
    std::string size = nextReplyToken(line, position);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
        size.find_first_of("0123456789") == std::string::npos) {
        return std::nullopt;
    }
    long n = saturatedNumber(number);
    if (n < 1) {
        return std::nullopt;
    }
    return std::pair<long, long>(n, saturatedNumber(size));
}

} // namespace

bool pop3ListAll(Pop3Session& session, SizeListing& listing, long mostLines) {
    listing = {};
    std::array<char, kStatusBufferSize> reply{};
    if (!transact(session, "LIST\r\n", reply.data(), kStatusBufferSize)) {
        return false;
    }
    const bool read =
        readListing(session, kListReplyLimit, mostLines, [&](std::string_view line, bool overlong) {
            std::optional<std::pair<long, long>> parsed =
                overlong ? std::nullopt : parseSizeLine(line);
            if (!parsed || !listing.byNumber.emplace(parsed->first, parsed->second).second) {
                listing.malformed = true;
            }
        });
    listing.malformed = listing.malformed || !read;
    return read;
}

bool pop3Uidl(Pop3Session& session, UniqueIdListing& listing, long mostLines) {
    listing = {};
    if (sendCommand(session, "UIDL\r\n") == -1) {
        return false;
    }
    return readUidlReply(session, listing, mostLines);
}

bool readUidlReply(Pop3Session& session, UniqueIdListing& listing, long mostLines) {
    listing = {};
    std::array<char, kStatusBufferSize> reply{};
    if (!readStatusReplyWithin(session, reply.data(), kStatusBufferSize, kUidlAnswerSeconds)) {
        return false;
    }
    const bool read =
        readListing(session, kUidlReplyLimit, mostLines, [&](std::string_view line, bool overlong) {
            std::optional<std::pair<long, std::string>> parsed =
                overlong ? std::nullopt : parseUniqueIdLine(line);
            if (!parsed ||
                !listing.byNumber.emplace(parsed->first, std::move(parsed->second)).second) {
                listing.malformed = true;
            }
        });
    listing.malformed = listing.malformed || !read;
    return read;
}

bool pop3UidlOne(Pop3Session& session, long number, std::string& uniqueId) {
    uniqueId.clear();
    std::array<char, kCommandLineSize> line{};
    std::array<char, kStatusBufferSize> reply{};
    if (sendCommand(session, formatLine(line, "UIDL %ld\r\n", number)) == -1 ||
        !readStatusReplyWithin(session, reply.data(), kStatusBufferSize, kUidlAnswerSeconds)) {
        return false;
    }
    std::string_view text = replyText(reply.data(), kStatusBufferSize);
    std::size_t position = 0;
    nextReplyToken(text, position); // the status indicator
    while (position < text.size() && isAsciiSpace(text[position])) {
        ++position;
    }
    std::string_view rest = text.substr(position);
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) {
        rest.remove_suffix(1);
    }
    std::optional<std::pair<long, std::string>> parsed = parseUniqueIdLine(rest);
    if (!parsed || parsed->first != number) {
        return false;
    }
    uniqueId = std::move(parsed->second);
    return true;
}

bool pop3Quit(Pop3Session& session) {
    // With QUIT already on its way, its reply is the one left once every other has been read.
    const int due = session.quitSentAhead() ? 1 : 0;
    if (session.commandsInFlight() > due) {
        // Replies still unread would be taken for QUIT's: the conversation cannot end in step.
        // No QUIT follows them, so a server not told it already carries out nothing.
        session.broken = true;
        return false;
    }
    std::array<char, kStatusBufferSize> reply{};
    if (due == 1) {
        return readStatusReply(session, reply.data(), kStatusBufferSize);
    }
    return transact(session, "QUIT\r\n", reply.data(), kStatusBufferSize);
}

} // namespace toppeek::mail
