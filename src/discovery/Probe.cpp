#include "discovery/Probe.h"

#include "mail/Tls.h"

#include <array>
#include <string_view>

namespace toppeek::discovery {

namespace {

// Room for any CAPA listing a server sends in practice; a longer one keeps its ends.
constexpr int kCapaBufferSize = 8192;

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

} // namespace

bool readCapabilityLines(mail::Pop3Session& session, std::vector<std::string>& lines) {
    lines.clear();
    std::array<char, mail::kStatusBufferSize> status{};
    if (!mail::transact(session, "CAPA\r\n", status.data(), static_cast<int>(status.size())))
        return false;
    std::array<char, kCapaBufferSize> body{};
    if (!mail::readUntil(session.channel(), body.data(), kCapaBufferSize, mail::findTopBodyEnd, 0,
                         session.control)) {
        session.broken = true;
        return false;
    }
    std::set<std::string> names;
    std::string_view text(body.data());
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line == ".")
            break;
        if (line.empty())
            continue;
        lines.emplace_back(line);
        names.insert(upper(line.substr(0, line.find(' '))));
    }
    session.capabilities = std::move(names);
    return true;
}

std::vector<std::string> saslMechanisms(const std::vector<std::string>& lines) {
    std::vector<std::string> mechanisms;
    for (const std::string& line : lines) {
        if (upper(line.substr(0, 5)) != "SASL " && upper(line) != "SASL")
            continue;
        std::size_t position = 4;
        for (std::string word = mail::nextReplyToken(line, position); !word.empty();
             word = mail::nextReplyToken(line, position))
            mechanisms.push_back(upper(word));
    }
    return mechanisms;
}

ProbeOutcome probePop3(const std::string& host, const mail::AddressList& addresses, int port,
                       mail::Security security, mail::ConnectionControl& control) {
    ProbeOutcome outcome;
    const mail::Socket socket = mail::connectToAny(addresses, port, &control);
    if (socket == mail::kInvalidSocket) {
        outcome.failure = "no connection";
        return outcome;
    }
    mail::Pop3Session session;
    session.attach(socket);
    session.control = &control;
    if (security == mail::Security::Tls) {
        auto channel = mail::secureConnection(socket, host, control);
        if (!channel) {
            outcome.failure = control.failureReason.empty() ? "no TLS" : control.failureReason;
            return outcome;
        }
        session.secureWith(std::move(channel));
    }
    std::array<char, mail::kLoginBufferSize> greeting{};
    if (!mail::readStatusReply(session, greeting.data(), static_cast<int>(greeting.size()))) {
        outcome.failure = "no POP3 greeting";
        return outcome;
    }
    outcome.pop3 = true;
    std::vector<std::string> lines;
    if (security == mail::Security::StartTls) {
        readCapabilityLines(session, lines);
        outcome.offersStls = session.capabilities.contains("STLS");
        std::array<char, mail::kStatusBufferSize> reply{};
        if (session.broken ||
            !mail::transact(session, "STLS\r\n", reply.data(), static_cast<int>(reply.size()))) {
            outcome.failure = "STLS refused";
            return outcome;
        }
        auto channel = mail::secureConnection(socket, host, control);
        if (!channel) {
            outcome.failure = control.failureReason.empty() ? "no TLS" : control.failureReason;
            return outcome;
        }
        session.secureWith(std::move(channel));
        outcome.offersStls = true;
    }
    outcome.secured = security != mail::Security::None;
    readCapabilityLines(session, lines);
    if (!session.broken)
        mail::pop3Quit(session);
    return outcome;
}

} // namespace toppeek::discovery
