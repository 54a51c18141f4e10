#include "discovery/AccountTest.h"

#include "discovery/Dns.h"
#include "discovery/Probe.h"
#include "discovery/Settings.h"
#include "discovery/Words.h"

#include <algorithm>
#include <array>
#include <optional>

namespace toppeek::discovery {

namespace {

using mail::Security;
using Report = AccountTestReport;
// lupdate takes "std::string f(" for a member of std and loses the translation context of the
// texts inside f: the functions that translate spell their result type through this name.
using Text = std::string;

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
            failure = words(TestWords::tr("The test was cancelled."));
        report_.failure = std::move(failure);
        if (!report_.cancelled)
            for (std::string& line : advice)
                report_.advice.push_back(std::move(line));
        return false;
    }
    bool connect();
    bool secure(bool afterStls);
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
    say(words(TestWords::tr("Looking up %1\u2026"), report_.host));
    DnsResolver dns(input_.dnsServer);
    const int lookup = dns.lookUpAddresses(report_.host);
    dns.wait(Clock::now() + std::chrono::seconds(input_.timeoutSeconds), stop_);
    const mail::AddressList& addresses = dns.answer(lookup).addresses;
    for (const mail::IpAddress& address : addresses)
        report_.addresses.push_back(withFamily(address));
    if (addresses.empty())
        return fail(words(TestWords::tr("The name %1 is not known to DNS."), report_.host),
                    {words(TestWords::tr(
                        "Check the spelling of the host address, or use Find settings."))});
    const std::string port = std::to_string(report_.port);
    say(words(TestWords::tr("Connecting to %1, port %2\u2026"), report_.host, port));
    const mail::Socket socket = mail::connectToAny(addresses, report_.port, &control_);
    if (socket == mail::kInvalidSocket) {
        std::vector<std::string> advice;
        if (control_.timedOut)
            advice.push_back(words(TestWords::tr("Nothing answered on port %1: a firewall may "
                                                 "drop the connection, or the port is wrong."),
                                   port));
        else
            advice.push_back(
                words(TestWords::tr("The server refused the connection on port %1: nothing listens "
                                    "there."),
                      port));
        advice.push_back(words(TestWords::tr(
            "POP3 over TLS (SSL/TLS) is usually on port 995; STARTTLS and None on port 110.")));
        return fail(words(TestWords::tr("No connection could be made to %1 on port %2."),
                          report_.host, port),
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

bool AccountTester::secure(bool afterStls) {
    say(words(TestWords::tr("Securing the connection\u2026")));
    report_.tlsTried = true;
    auto channel =
        mail::inspectSecureConnection(session_.socket(), report_.host, control_, report_.tls);
    if (!channel) {
        std::vector<std::string> advice;
        if (control_.failureReason.find("did not answer in TLS") != std::string::npos)
            advice.push_back(words(TestWords::tr("The server does not speak TLS on port %1: "
                                                 "choose STARTTLS on port 110, or check the "
                                                 "port."),
                                   std::to_string(report_.port)));
        const std::string reason = control_.failureReason.empty()
                                       ? words(TestWords::tr("the server broke off."))
                                       : control_.failureReason;
        return fail(
            afterStls
                ? words(TestWords::tr("The connection could not be secured after STLS: %1"), reason)
                : words(TestWords::tr("The connection could not be secured from its start: %1"),
                        reason),
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
            report_.tls.names.size() == 1
                ? words(TestWords::tr("The certificate is for %1: use that host name."), names)
                : words(TestWords::tr("The certificate is for %1: use one of those names."),
                        names));
    }
    if (report_.tls.expired)
        advice.push_back(
            words(TestWords::tr("The certificate has expired: the provider must renew it.")));
    if (advice.empty())
        advice.push_back(
            words(TestWords::tr("The certificate comes from an authority this computer does not "
                                "trust: ask the provider which certificate authority to "
                                "install.")));
    advice.push_back(words(TestWords::tr("The password was not sent.")));
    std::string why;
    for (const std::string& line : report_.tls.whyNotTrusted)
        why += (why.empty() ? "" : " ") + line;
    return fail(words(TestWords::tr("The server's certificate is not trusted. %1"), why),
                std::move(advice));
}

bool AccountTester::greet() {
    std::array<char, mail::kLoginBufferSize> greeting{};
    if (!mail::readStatusReply(session_, greeting.data(), static_cast<int>(greeting.size()))) {
        report_.greeting = trimmedLine(greeting.data());
        if (!report_.greeting.empty())
            return fail(
                words(TestWords::tr("The server refused the connection: %1"), report_.greeting));
        return fail(control_.timedOut
                        ? words(TestWords::tr("The server sent no POP3 greeting (it stayed "
                                              "silent)."))
                        : words(TestWords::tr("The server sent no POP3 greeting.")),
                    {words(TestWords::tr("Check that this is the POP3 server and port: POP3 over "
                                         "TLS (SSL/TLS) is usually on port 995, STARTTLS and None "
                                         "on port 110."))});
    }
    report_.greeting = trimmedLine(greeting.data());
    apopStamp_ = mail::apopTimestamp(report_.greeting);
    readCapabilityLines(session_, report_.capabilities);
    return !session_.broken ||
           fail(words(TestWords::tr("The server stopped answering after its greeting.")));
}

bool AccountTester::startTls() {
    std::array<char, mail::kStatusBufferSize> reply{};
    const bool offered = hasCapability(session_, "STLS");
    if (!mail::transact(session_, "STLS\r\n", reply.data(), static_cast<int>(reply.size()))) {
        report_.stlsRefused = true;
        return fail(offered
                        ? words(TestWords::tr("The server refuses STLS."))
                        : words(TestWords::tr("The server refuses STLS: it does not offer it.")),
                    {words(TestWords::tr("Choose SSL/TLS on port 995, which secures the connection "
                                         "from its start.")),
                     words(TestWords::tr("The password was not sent."))});
    }
    if (!secure(true))
        return false;
    readCapabilityLines(session_, report_.capabilities);
    return !session_.broken ||
           fail(words(TestWords::tr("The server stopped answering after STLS.")));
}

bool AccountTester::logIn() {
    if (!mail::isSendableCredential(input_.userName) ||
        !mail::isSendableCredential(input_.password))
        return fail(
            words(TestWords::tr("The user name or password cannot be sent to a POP3 server.")));
    say(words(TestWords::tr("Logging in as %1\u2026"), input_.userName));
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
            return fail(words(TestWords::tr("The server stopped answering during the log-in.")));
        report_.logIn = Report::LogIn::Refused;
        std::vector<std::string> advice{
            words(TestWords::tr("Check the user name and the password."))};
        if (input_.userName.find('@') == std::string::npos)
            advice.push_back(words(
                TestWords::tr("Many providers want the whole e-mail address as the user name.")));
        advice.push_back(words(TestWords::tr("Some providers take only an app password made in "
                                             "their web settings, or need POP3 switched on there "
                                             "first.")));
        if (!hasCapability(session_, "USER") && !report_.sasl.empty())
            advice.push_back(words(TestWords::tr("The server does not list USER among its "
                                                 "capabilities: it may take only a SASL "
                                                 "sign-in.")));
        return fail(
            report_.logInReply.empty()
                ? words(TestWords::tr("The server refused the log-in."))
                : words(TestWords::tr("The server refused the log-in: %1"), report_.logInReply),
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
        fail(words(TestWords::tr("The host address cannot be used.")),
             {words(TestWords::tr("Enter the server's name alone, such as pop.example.com, or use "
                                  "Find settings."))});
        return report_;
    }
    report_.host = address->target.name;
    report_.port = mail::serverPort(*address);
    report_.security = address->security;
    if (!connect())
        return report_;
    if (report_.security == Security::Tls && !secure(false)) {
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
        report_.advice.push_back(words(TestWords::tr(
            "The server offers STLS: choose STARTTLS so that the password does not travel in "
            "clear.")));
    logIn();
    return report_;
}

Text yesNo(bool value) {
    return value ? words(TestWords::tr("yes")) : words(TestWords::tr("no"));
}

// As the account editor's security box names them: only None is a word to translate.
Text securityWords(Security security) {
    return security == Security::None ? words(TestWords::tr("None")) : securityName(security);
}

std::string joined(const std::vector<std::string>& parts, const char* between) {
    std::string all;
    for (const std::string& part : parts)
        all += (all.empty() ? "" : between) + part;
    return all;
}

} // namespace

AccountTestReport testAccount(const AccountTestInput& input, const std::atomic<bool>* stop,
                              const std::function<void(const std::string&)>& progress) {
    return AccountTester(input, stop, progress).run();
}

Text reportText(const AccountTestReport& report) {
    std::string text;
    auto line = [&text](const std::string& words) { text += words + "\n"; };
    // The certificate's details stand under it, indented.
    auto detail = [&line](const std::string& words) { line("  " + words); };
    if (!report.host.empty())
        line(words(TestWords::tr("Server: %1, port %2, %3"), report.host,
                   std::to_string(report.port), securityWords(report.security)));
    if (!report.addresses.empty())
        line(words(TestWords::tr("Addresses: %1"), joined(report.addresses, ", ")));
    if (!report.connectedTo.empty())
        line(words(TestWords::tr("Connected to: %1"), report.connectedTo));
    if (!report.greeting.empty())
        line(words(TestWords::tr("Greeting: %1"), report.greeting));
    if (report.tlsTried && report.secured) {
        line(words(TestWords::tr("TLS: %1, %2"), report.tls.protocol, report.tls.cipher));
        line(words(TestWords::tr("Certificate: %1"), report.tls.subject));
        detail(words(TestWords::tr("issued by: %1"), report.tls.issuer));
        detail(report.tls.expired
                   ? words(TestWords::tr("valid until: %1 (expired)"), report.tls.expires)
                   : words(TestWords::tr("valid until: %1"), report.tls.expires));
        if (!report.tls.names.empty())
            detail(words(TestWords::tr("for: %1"), joined(report.tls.names, ", ")));
        std::string why;
        for (const std::string& reason : report.tls.whyNotTrusted)
            why += " " + reason;
        detail(report.tls.trusted ? words(TestWords::tr("trusted: yes"))
                                  : words(TestWords::tr("trusted: no.%1"), why));
    }
    if (!report.capabilities.empty()) {
        auto has = [&report](std::string_view name) {
            return std::any_of(report.capabilities.begin(), report.capabilities.end(),
                               [name](const std::string& capability) {
                                   return lowerAscii(capability.substr(0, capability.find(' '))) ==
                                          lowerAscii(name);
                               });
        };
        line(words(TestWords::tr("Capabilities: TOP %1, UIDL %2, PIPELINING %3, SASL %4"),
                   yesNo(has("TOP")), yesNo(has("UIDL")), yesNo(has("PIPELINING")),
                   report.sasl.empty() ? words(TestWords::tr("none")) : joined(report.sasl, " ")));
    } else if (!report.greeting.empty()) {
        line(words(TestWords::tr("Capabilities: the server does not list them (no CAPA)")));
    }
    switch (report.logIn) {
    case AccountTestReport::LogIn::Accepted:
        line(words(TestWords::tr("Log-in: accepted")));
        if (report.messages >= 0)
            line(words(TestWords::tr("Messages waiting: %1 (%2 bytes)"),
                       std::to_string(report.messages), std::to_string(report.octets)));
        break;
    case AccountTestReport::LogIn::Refused:
        line(report.logInReply.empty()
                 ? words(TestWords::tr("Log-in: refused"))
                 : words(TestWords::tr("Log-in: refused (%1)"), report.logInReply));
        break;
    case AccountTestReport::LogIn::NotTried:
        line(words(TestWords::tr("Log-in: not tried")));
        break;
    }
    line("");
    line(report.succeeded() ? words(TestWords::tr("Result: the account works."))
                            : words(TestWords::tr("Result: %1"), report.failure));
    if (!report.advice.empty()) {
        line(words(TestWords::tr("What to try:")));
        for (const std::string& advice : report.advice)
            line("- " + advice);
    }
    return text;
}

} // namespace toppeek::discovery
