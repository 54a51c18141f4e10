#include "discovery/AccountTest.h"

#include "discovery/Dns.h"
#include "discovery/Probe.h"
#include "discovery/Settings.h"

#include <algorithm>
#include <array>
#include <optional>

namespace toppeek::discovery {

namespace {

using mail::Security;
using Report = AccountTestReport;

std::string withFamily(const mail::IpAddress& address) {
    return mail::addressText(address) +
           (address.family == mail::IpAddress::Family::V6 ? " (IPv6)" : " (IPv4)");
}

std::string trimmedLine(const char* text) {
    std::string line(text);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

bool hasCapability(const mail::Pop3Session& session, const char* name) {
    return session.capabilities.contains(name);
}

class AccountTester {
public:
    AccountTester(const AccountTestInput& input, const std::atomic<bool>* stop,
                  const std::function<void(const std::string&)>& progress)
        : input_(input), stop_(stop), progress_(progress) {
        control_.timeoutSeconds = input.timeoutSeconds;
        control_.cancelQuery = [this](mail::ConnectionControl&) { return stopped(); };
        control_.statusCallback = [this](mail::ConnectionControl& control) {
            if (control.status == mail::ConnectStatus::Connected)
                connectedText_ = control.statusText;
        };
    }

    Report run();

private:
    bool stopped() const { return stop_ != nullptr && stop_->load(); }
    void say(const std::string& text) const {
        if (progress_)
            progress_(text);
    }
    bool fail(std::string failure, std::vector<std::string> advice = {}) {
        report_.cancelled = stopped();
        if (report_.cancelled)
            failure = "The test was cancelled.";
        report_.failure = std::move(failure);
        if (!report_.cancelled)
            for (std::string& line : advice)
                report_.advice.push_back(std::move(line));
        return false;
    }
    bool connect();
    bool secure(const char* when);
    bool greet();
    bool startTls();
    bool logIn();

    const AccountTestInput& input_;
    const std::atomic<bool>* stop_;
    const std::function<void(const std::string&)>& progress_;
    mail::ConnectionControl control_;
    mail::Pop3Session session_;
    std::string connectedText_;
    std::optional<std::string> apopStamp_;
    Report report_;
};

bool AccountTester::connect() {
    say("Looking up " + report_.host + "\u2026");
    DnsResolver dns(input_.dnsServer);
    const int lookup = dns.lookUpAddresses(report_.host);
    dns.wait(Clock::now() + std::chrono::seconds(input_.timeoutSeconds), stop_);
    const mail::AddressList& addresses = dns.answer(lookup).addresses;
    for (const mail::IpAddress& address : addresses)
        report_.addresses.push_back(withFamily(address));
    if (addresses.empty())
        return fail("The name " + report_.host + " is not known to DNS.",
                    {"Check the spelling of the host address, or use Find settings."});
    say("Connecting to " + report_.host + ", port " + std::to_string(report_.port) + "\u2026");
    const mail::Socket socket = mail::connectToAny(addresses, report_.port, &control_);
    if (socket == mail::kInvalidSocket) {
        std::vector<std::string> advice;
        if (control_.timedOut)
            advice.push_back("Nothing answered on port " + std::to_string(report_.port) +
                             ": a firewall may drop the connection, or the port is wrong.");
        else
            advice.push_back("The server refused the connection on port " +
                             std::to_string(report_.port) + ": nothing listens there.");
        advice.push_back("POP3 over TLS (SSL/TLS) is usually on port 995; STARTTLS and None on "
                         "port 110.");
        return fail("No connection could be made to " + report_.host + " on port " +
                        std::to_string(report_.port) + ".",
                    std::move(advice));
    }
    for (const mail::IpAddress& address : addresses)
        if (mail::addressText(address) == connectedText_)
            report_.connectedTo = withFamily(address);
    if (report_.connectedTo.empty())
        report_.connectedTo = connectedText_;
    session_.attach(socket);
    session_.control = &control_;
    return true;
}

bool AccountTester::secure(const char* when) {
    say("Securing the connection\u2026");
    report_.tlsTried = true;
    auto channel =
        mail::inspectSecureConnection(session_.socket(), report_.host, control_, report_.tls);
    if (!channel) {
        std::vector<std::string> advice;
        if (control_.failureReason.find("did not answer in TLS") != std::string::npos)
            advice.push_back("The server does not speak TLS on port " +
                             std::to_string(report_.port) +
                             ": choose STARTTLS on port 110, or check the port.");
        return fail(
            "The connection could not be secured " + std::string(when) + ": " +
                (control_.failureReason.empty() ? "the server broke off." : control_.failureReason),
            std::move(advice));
    }
    session_.secureWith(std::move(channel));
    report_.secured = true;
    if (report_.tls.trusted)
        return true;
    std::vector<std::string> advice;
    if (report_.tls.nameMismatch && !report_.tls.names.empty()) {
        std::string names;
        for (const std::string& name : report_.tls.names)
            names += (names.empty() ? "" : ", ") + name;
        advice.push_back(
            "The certificate is for " + names + ": use " +
            (report_.tls.names.size() == 1 ? "that host name." : "one of those names."));
    }
    if (report_.tls.expired)
        advice.push_back("The certificate has expired: the provider must renew it.");
    if (advice.empty())
        advice.push_back("The certificate comes from an authority this computer does not trust: "
                         "ask the provider which certificate authority to install.");
    advice.push_back("The password was not sent.");
    std::string why;
    for (const std::string& line : report_.tls.whyNotTrusted)
        why += (why.empty() ? "" : " ") + line;
    return fail("The server's certificate is not trusted. " + why, std::move(advice));
}

bool AccountTester::greet() {
    std::array<char, mail::kLoginBufferSize> greeting{};
    if (!mail::readStatusReply(session_, greeting.data(), static_cast<int>(greeting.size()))) {
        report_.greeting = trimmedLine(greeting.data());
        if (!report_.greeting.empty())
            return fail("The server refused the connection: " + report_.greeting);
        return fail(std::string("The server sent no POP3 greeting") +
                        (control_.timedOut ? " (it stayed silent)." : "."),
                    {"Check that this is the POP3 server and port: POP3 over TLS (SSL/TLS) is "
                     "usually on port 995, STARTTLS and None on port 110."});
    }
    report_.greeting = trimmedLine(greeting.data());
    apopStamp_ = mail::apopTimestamp(report_.greeting);
    readCapabilityLines(session_, report_.capabilities);
    return !session_.broken || fail("The server stopped answering after its greeting.");
}

bool AccountTester::startTls() {
    std::array<char, mail::kStatusBufferSize> reply{};
    const bool offered = hasCapability(session_, "STLS");
    if (!mail::transact(session_, "STLS\r\n", reply.data(), static_cast<int>(reply.size()))) {
        report_.stlsRefused = true;
        return fail(std::string("The server refuses STLS") +
                        (offered ? "." : ": it does not offer it."),
                    {"Choose SSL/TLS on port 995, which secures the connection from its start.",
                     "The password was not sent."});
    }
    if (!secure("after STLS"))
        return false;
    readCapabilityLines(session_, report_.capabilities);
    return !session_.broken || fail("The server stopped answering after STLS.");
}

bool AccountTester::logIn() {
    if (!mail::isSendableCredential(input_.userName) ||
        !mail::isSendableCredential(input_.password))
        return fail("The user name or password cannot be sent to a POP3 server.");
    say("Logging in as " + input_.userName + "\u2026");
    std::array<char, mail::kLoginBufferSize> reply{};
    const int size = static_cast<int>(reply.size());
    bool accepted = false;
    if (input_.useApop && apopStamp_) {
        accepted = mail::transact(session_,
                                  "APOP " + input_.userName + " " +
                                      mail::apopDigest(*apopStamp_, input_.password) + "\r\n",
                                  reply.data(), size);
    } else {
        accepted =
            mail::transact(session_, "USER " + input_.userName + "\r\n", reply.data(), size) &&
            mail::transact(session_, "PASS " + input_.password + "\r\n", reply.data(), size);
    }
    if (!accepted) {
        report_.logInReply = trimmedLine(reply.data());
        if (session_.broken)
            return fail("The server stopped answering during the log-in.");
        report_.logIn = Report::LogIn::Refused;
        std::vector<std::string> advice{"Check the user name and the password."};
        if (input_.userName.find('@') == std::string::npos)
            advice.push_back("Many providers want the whole e-mail address as the user name.");
        advice.push_back("Some providers take only an app password made in their web settings, "
                         "or need POP3 switched on there first.");
        if (!hasCapability(session_, "USER") && !report_.sasl.empty())
            advice.push_back("The server does not list USER among its capabilities: it may take "
                             "only a SASL sign-in.");
        return fail("The server refused the log-in" +
                        (report_.logInReply.empty() ? std::string(".") : ": " + report_.logInReply),
                    std::move(advice));
    }
    report_.logIn = Report::LogIn::Accepted;
    long count = 0;
    long octets = 0;
    if (mail::pop3Stat(session_, count, octets)) {
        report_.messages = count;
        report_.octets = octets;
    }
    mail::pop3Quit(session_);
    return true;
}

Report AccountTester::run() {
    const auto address = mail::parseServerAddress(input_.hostText);
    if (!address || address->target.name.empty()) {
        fail("The host address cannot be used.",
             {"Enter the server's name alone, such as pop.example.com, or use Find settings."});
        return report_;
    }
    report_.host = address->target.name;
    report_.port = mail::serverPort(*address);
    report_.security = address->security;
    if (!connect())
        return report_;
    if (report_.security == Security::Tls && !secure("from its start")) {
        // The look at an untrusted server goes on as far as its greeting and capabilities, for
        // the report; nothing more is sent.
        if (report_.secured && !session_.broken) {
            const std::string failure = report_.failure;
            greet();
            report_.failure = failure;
        }
        report_.sasl = saslMechanisms(report_.capabilities);
        return report_;
    }
    if (!greet())
        return report_;
    if (report_.security == Security::StartTls && !startTls()) {
        report_.sasl = saslMechanisms(report_.capabilities);
        return report_;
    }
    report_.sasl = saslMechanisms(report_.capabilities);
    if (report_.security == Security::None && hasCapability(session_, "STLS"))
        report_.advice.push_back("The server offers STLS: choose STARTTLS so that the password "
                                 "does not travel in clear.");
    logIn();
    return report_;
}

std::string yesNo(bool value) {
    return value ? "yes" : "no";
}

} // namespace

AccountTestReport testAccount(const AccountTestInput& input, const std::atomic<bool>* stop,
                              const std::function<void(const std::string&)>& progress) {
    return AccountTester(input, stop, progress).run();
}

std::string reportText(const AccountTestReport& report) {
    std::string text;
    auto line = [&text](const std::string& words) { text += words + "\n"; };
    if (!report.host.empty())
        line("Server: " + report.host + ", port " + std::to_string(report.port) + ", " +
             securityName(report.security));
    if (!report.addresses.empty()) {
        std::string all;
        for (const std::string& address : report.addresses)
            all += (all.empty() ? "" : ", ") + address;
        line("Addresses: " + all);
    }
    if (!report.connectedTo.empty())
        line("Connected to: " + report.connectedTo);
    if (!report.greeting.empty())
        line("Greeting: " + report.greeting);
    if (report.tlsTried && report.secured) {
        line("TLS: " + report.tls.protocol + ", " + report.tls.cipher);
        line("Certificate: " + report.tls.subject);
        line("  issued by: " + report.tls.issuer);
        line("  valid until: " + report.tls.expires + (report.tls.expired ? " (expired)" : ""));
        if (!report.tls.names.empty()) {
            std::string names;
            for (const std::string& name : report.tls.names)
                names += (names.empty() ? "" : ", ") + name;
            line("  for: " + names);
        }
        std::string why;
        for (const std::string& reason : report.tls.whyNotTrusted)
            why += " " + reason;
        line("  trusted: " + (report.tls.trusted ? std::string("yes") : "no." + why));
    }
    if (!report.capabilities.empty()) {
        auto has = [&report](std::string_view name) {
            return std::any_of(report.capabilities.begin(), report.capabilities.end(),
                               [name](const std::string& capability) {
                                   return lowerAscii(capability.substr(0, capability.find(' '))) ==
                                          lowerAscii(name);
                               });
        };
        std::string sasl;
        for (const std::string& mechanism : report.sasl)
            sasl += (sasl.empty() ? "" : " ") + mechanism;
        line("Capabilities: TOP " + yesNo(has("TOP")) + ", UIDL " + yesNo(has("UIDL")) +
             ", PIPELINING " + yesNo(has("PIPELINING")) + ", SASL " +
             (sasl.empty() ? std::string("none") : sasl));
    } else if (!report.greeting.empty()) {
        line("Capabilities: the server does not list them (no CAPA)");
    }
    switch (report.logIn) {
    case AccountTestReport::LogIn::Accepted:
        line("Log-in: accepted");
        if (report.messages >= 0)
            line("Messages waiting: " + std::to_string(report.messages) + " (" +
                 std::to_string(report.octets) + " bytes)");
        break;
    case AccountTestReport::LogIn::Refused:
        line("Log-in: refused" + (report.logInReply.empty() ? "" : " (" + report.logInReply + ")"));
        break;
    case AccountTestReport::LogIn::NotTried:
        line("Log-in: not tried");
        break;
    }
    line("");
    line(report.succeeded() ? "Result: the account works." : "Result: " + report.failure);
    if (!report.advice.empty()) {
        line("What to try:");
        for (const std::string& advice : report.advice)
            line("- " + advice);
    }
    return text;
}

} // namespace toppeek::discovery
