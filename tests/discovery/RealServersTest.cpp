// Every discovery source and the account test against real servers started here: dnsmasq on a
// loopback port answers for made-up domains under "test" (the discovery's resolver is pointed at
// it through Endpoints::dnsServer), python's http.server over TLS serves the autoconfig
// documents, and Dovecot takes the probes and the account tests on its own ports, which
// Endpoints puts where real use has 995 and 110. One test authority, trusted by this process
// only, issued every certificate.

#include "discovery/AccountTest.h"
#include "discovery/Discovery.h"
#include "mail/Connection.h"
#include "support/ChildServers.h"
#include "support/DovecotServer.h"
#include "support/HttpTestServer.h"
#include "support/ProcessTrust.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

using namespace toppeek::discovery;
using namespace std::chrono_literals;
using toppeek::mail::Security;
using toppeek::test::DnsTestServer;
using toppeek::test::DovecotServer;
using toppeek::test::DovecotTls;
using toppeek::test::HttpsTestServer;
using toppeek::test::HttpTestServer;
using toppeek::test::ProcessTrust;
using toppeek::test::TemporaryFolder;
using toppeek::test::TestAuthority;
namespace fs = std::filesystem;

const std::string kPassword = "Disc0very-pw";

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The size of a server's log once it has stopped growing: Dovecot writes the end of a
// conversation a moment after the connection closed, and an earlier test's lines must not be taken
// for this one's.
std::size_t settledSize(const fs::path& log) {
    std::size_t size = readText(log).size();
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(100ms);
        const std::size_t now = readText(log).size();
        if (now == size && i >= 2)
            break;
        size = now;
    }
    return size;
}

std::string autoconfig(const std::string& host, int port, const char* socketType) {
    return "<?xml version=\"1.0\"?>\n<clientConfig version=\"1.1\"><emailProvider id=\"x\">"
           "<incomingServer type=\"pop3\"><hostname>" +
           host + "</hostname><port>" + std::to_string(port) + "</port><socketType>" + socketType +
           "</socketType><authentication>password-cleartext</authentication>"
           "<username>%EMAILADDRESS%</username></incomingServer></emailProvider></clientConfig>\n";
}

struct Servers {
    TemporaryFolder folder{"toppeek-discovery"};
    std::unique_ptr<ProcessTrust> trust;
    std::string strangerPem;
    std::unique_ptr<DovecotServer> secured; // ssl = required: STLS on port(), TLS on pop3sPort()
    std::unique_ptr<DovecotServer> plain;   // no TLS at all, so STLS is refused
    std::unique_ptr<HttpsTestServer> https;
    std::unique_ptr<DnsTestServer> dns;
    std::string failure;

    bool make() {
        if (!folder.valid())
            return fail("no temporary folder");
        folder.letOthersRead();
        const fs::path dir = folder.path();
        TestAuthority authority("TopPeek Discovery Authority");
        TestAuthority stranger("Some Other Authority");
        if (!authority.valid() || !stranger.valid())
            return fail("no test authority");
        strangerPem = stranger.certificatePem();
        trust = std::make_unique<ProcessTrust>(authority.certificatePem(),
                                               ProcessTrust::Beside::Nothing);
        const auto pop = authority.issue("pop.probe.test", {"DNS:pop.probe.test"});
        writeText(dir / "server.pem", pop.certificate);
        writeText(dir / "server.key", pop.key);
        const auto web = authority.issue(
            "autoconfig.auto.test", {"DNS:autoconfig.auto.test", "DNS:wellknown.test",
                                     "DNS:autoconfig.malformed.test", "DNS:autoconfig.huge.test",
                                     "DNS:autoconfig.redirect.test", "DNS:autoconfig.slow.test"});
        writeText(dir / "web.pem", web.certificate);
        writeText(dir / "web.key", web.key);

        secured =
            std::make_unique<DovecotServer>(DovecotTls{dir / "server.pem", dir / "server.key"});
        plain = std::make_unique<DovecotServer>();
        for (DovecotServer* server : {secured.get(), plain.get()}) {
            server->addUser("alice", kPassword);
            server->addMessage("alice", "From: b@example.org\nSubject: one\n\nfirst\n");
            server->addMessage("alice", "From: b@example.org\nSubject: two\n\nsecond\n");
            if (!server->start())
                return fail(server->failure());
        }
        const int pop3s = secured->pop3sPort();

        const fs::path site = dir / "site";
        writeText(site / "autoconfig.auto.test/mail/config-v1.1.xml",
                  autoconfig("pop.auto.test", 995, "SSL"));
        writeText(site / "wellknown.test/.well-known/autoconfig/mail/config-v1.1.xml",
                  autoconfig("pop.wellknown.test", 110, "STARTTLS"));
        writeText(site / "autoconfig.malformed.test/mail/config-v1.1.xml",
                  "<clientConfig><emailProvider><incomingServer type=\"pop3\"><hostname>x");
        writeText(site / "autoconfig.huge.test/mail/config-v1.1.xml",
                  "<clientConfig>" + std::string(1 << 20, ' ') + "</clientConfig>");
        writeText(site / "autoconfig.redirect.test/mail/config-v1.1.xml.redirect",
                  "http://autoconfig.redirect.test/mail/config-v1.1.xml");
        writeText(site / "autoconfig.slow.test/mail/config-v1.1.xml",
                  autoconfig("pop.slow.test", 995, "SSL"));
        writeText(site / "autoconfig.slow.test/mail/config-v1.1.xml.slow", "");
        https = std::make_unique<HttpsTestServer>(site, dir / "web.pem", dir / "web.key");
        if (!https->start())
            return fail(https->failure());

        // Each domain whose autoconfig fails has an SRV record to fall through to; auto.test and
        // srv.test have the later sources' records as well, so that the order shows.
        const std::string srvTarget = ",pop.probe.test," + std::to_string(pop3s);
        std::vector<std::string> records = {"--host-record=pop.probe.test,127.0.0.1,::1",
                                            "--host-record=pop.srv.test,127.0.0.1",
                                            "--host-record=pop.auto.test,127.0.0.1",
                                            "--srv-host=_pop3s._tcp.srv.test" + srvTarget,
                                            "--srv-host=_pop3s._tcp.auto.test" + srvTarget,
                                            "--mx-host=mx.test,aspmx.l.google.com,10",
                                            "--host-record=wellknown.test,127.0.0.1"};
        for (const char* name : {"auto", "malformed", "huge", "redirect", "slow"})
            records.push_back("--host-record=autoconfig." + std::string(name) + ".test,127.0.0.1");
        for (const char* name : {"malformed", "huge", "redirect", "slow"})
            records.push_back("--srv-host=_pop3s._tcp." + std::string(name) + ".test" + srvTarget);
        dns = std::make_unique<DnsTestServer>(records);
        if (!dns->start())
            return fail(dns->failure());
        return true;
    }

    bool fail(std::string why) {
        failure = std::move(why);
        return false;
    }

    Endpoints endpoints() const {
        return {dns->server(), https->port(), secured->pop3sPort(), secured->port()};
    }
};

Servers& servers() {
    static Servers shared;
    static const bool made = shared.make();
    (void)made;
    return shared;
}

class Discovery : public testing::Test {
protected:
    void SetUp() override {
        toppeek::mail::startConnectionLayer();
        ASSERT_TRUE(servers().failure.empty()) << servers().failure;
    }

    // Runs a search and prints how long each source took, for the figures of the report.
    static toppeek::discovery::Discovery find(const std::string& address,
                                              std::chrono::milliseconds bound = 10s,
                                              Endpoints endpoints = servers().endpoints(),
                                              const std::atomic<bool>* stop = nullptr) {
        DiscoveryOptions options;
        options.bound = bound;
        options.endpoints = std::move(endpoints);
        options.stop = stop;
        auto result = discoverSettings(address, options);
        for (const SourceStep& step : result.steps)
            std::printf("  %-22s source %d: %5lld ms  %s\n", address.c_str(),
                        static_cast<int>(step.source), static_cast<long long>(step.took.count()),
                        step.outcome.c_str());
        return result;
    }
};

TEST_F(Discovery, EachSourceFindsItsSettingsAndTheFirstThatAnswersWins) {
    const int pop3s = servers().secured->pop3sPort();

    auto table = find("someone@gmail.com");
    ASSERT_TRUE(table.found);
    EXPECT_EQ(table.source, Source::ProviderTable);
    EXPECT_EQ(table.settings.host, "pop.gmail.com");
    EXPECT_EQ(table.settings.signIn, SignIn::OAuth2);
    EXPECT_EQ(table.steps.size(), 1u); // nothing else was asked

    auto icloud = find("someone@icloud.com");
    EXPECT_FALSE(icloud.found);
    EXPECT_TRUE(icloud.noPop3);
    EXPECT_NE(icloud.note.find("no POP3"), std::string::npos);

    // auto.test also has an SRV record and a pop. host: the autoconfig comes first.
    auto fromAutoconfig = find("alice@auto.test");
    ASSERT_TRUE(fromAutoconfig.found) << fromAutoconfig.origin;
    EXPECT_EQ(fromAutoconfig.source, Source::Autoconfig);
    EXPECT_EQ(fromAutoconfig.settings.host, "pop.auto.test");
    EXPECT_EQ(fromAutoconfig.settings.security, Security::Tls);
    EXPECT_EQ(fromAutoconfig.settings.userName, "alice@auto.test");
    EXPECT_EQ(fromAutoconfig.origin, "from the domain's autoconfig (autoconfig.auto.test)");

    auto wellKnown = find("alice@wellknown.test");
    ASSERT_TRUE(wellKnown.found) << wellKnown.origin;
    EXPECT_EQ(wellKnown.source, Source::Autoconfig);
    EXPECT_EQ(wellKnown.settings.host, "pop.wellknown.test");
    EXPECT_EQ(wellKnown.settings.security, Security::StartTls);

    // srv.test also has a pop. host that a probe would find: DNS comes first.
    auto fromSrv = find("alice@srv.test");
    ASSERT_TRUE(fromSrv.found) << fromSrv.origin;
    EXPECT_EQ(fromSrv.source, Source::DnsService);
    EXPECT_EQ(fromSrv.settings.host, "pop.probe.test");
    EXPECT_EQ(fromSrv.settings.port, pop3s);
    EXPECT_EQ(fromSrv.settings.security, Security::Tls);

    auto fromMx = find("alice@mx.test");
    ASSERT_TRUE(fromMx.found) << fromMx.origin;
    EXPECT_EQ(fromMx.source, Source::MailExchanger);
    EXPECT_EQ(fromMx.settings.host, "pop.gmail.com");
    EXPECT_NE(fromMx.origin.find("aspmx.l.google.com"), std::string::npos);

    auto probed = find("alice@probe.test");
    ASSERT_TRUE(probed.found) << probed.origin;
    EXPECT_EQ(probed.source, Source::Probe);
    EXPECT_EQ(probed.settings.host, "pop.probe.test");
    EXPECT_EQ(probed.settings.port, pop3s);
    EXPECT_EQ(probed.settings.security, Security::Tls);
    EXPECT_EQ(probed.origin, "by trying pop.probe.test");
}

TEST_F(Discovery, AFailingAutoconfigFallsThroughToDnsWithinTheBound) {
    const std::pair<const char*, const char*> cases[] = {
        {"alice@malformed.test", "cannot be read"},
        {"alice@huge.test", "larger than"},
        {"alice@redirect.test", "without HTTPS"},
        {"alice@slow.test", "no answer in time"},
    };
    for (const auto& [address, why] : cases) {
        SCOPED_TRACE(address);
        const auto start = std::chrono::steady_clock::now();
        auto result = find(address);
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(result.found) << result.origin;
        EXPECT_EQ(result.source, Source::DnsService);
        ASSERT_GE(result.steps.size(), 3u);
        EXPECT_EQ(result.steps[1].source, Source::Autoconfig);
        EXPECT_NE(result.steps[1].outcome.find(why), std::string::npos) << result.steps[1].outcome;
        EXPECT_LT(took, 10s);
    }
}

TEST_F(Discovery, ProbesSendNoCredentialAndEndWithinTheBoundWhenNothingAnswers) {
    const fs::path log = servers().secured->directory() / "dovecot.log";
    const std::size_t before = settledSize(log);
    auto probed = find("alice@probe.test");
    ASSERT_TRUE(probed.found);
    const std::string since = readText(log).substr(0, settledSize(log)).substr(before);
    EXPECT_NE(since.find("no auth attempts"), std::string::npos) << since;
    EXPECT_EQ(since.find("alice"), std::string::npos) << since;
    EXPECT_EQ(since.find(kPassword), std::string::npos) << since;

    // A port that refuses and a server that never speaks: nothing is found, in time.
    HttpTestServer silent(std::nullopt);
    Endpoints nowhere = servers().endpoints();
    nowhere.pop3sPort = HttpTestServer::unusedPort();
    nowhere.pop3Port = silent.port();
    const auto start = std::chrono::steady_clock::now();
    auto none = find("alice@probe.test", 4s, nowhere);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(none.found);
    EXPECT_LT(took, 5s);
    ASSERT_FALSE(none.steps.empty());
    EXPECT_EQ(none.steps.back().source, Source::Probe);

    // Cancel ends a search that waits on the slow autoconfig at once.
    std::atomic<bool> stop{false};
    std::thread canceller([&stop] {
        std::this_thread::sleep_for(300ms);
        stop = true;
    });
    const auto cancelStart = std::chrono::steady_clock::now();
    auto cancelled = find("alice@slow.test", 10s, servers().endpoints(), &stop);
    canceller.join();
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelStart, 1500ms);
}

class AccountTest : public Discovery {
protected:
    static AccountTestReport test(const std::string& host,
                                  const std::string& password = kPassword) {
        AccountTestInput input;
        input.hostText = host;
        input.userName = "alice";
        input.password = password;
        input.dnsServer = servers().dns->server();
        auto report = testAccount(input);
        std::printf("%s\n", reportText(report).c_str());
        return report;
    }
    static std::string advice(const AccountTestReport& report) {
        std::string all;
        for (const std::string& line : report.advice)
            all += line + "\n";
        return all;
    }
};

TEST_F(AccountTest, AGoodAccountAndAWrongPassword) {
    const std::string host =
        "pop3s://pop.probe.test:" + std::to_string(servers().secured->pop3sPort());
    auto good = test(host);
    EXPECT_TRUE(good.succeeded()) << good.failure;
    EXPECT_EQ(good.messages, 2);
    EXPECT_TRUE(good.tls.trusted);
    EXPECT_EQ(good.tls.names.front(), "pop.probe.test");
    EXPECT_FALSE(good.addresses.empty());
    EXPECT_FALSE(good.connectedTo.empty());
    EXPECT_NE(std::find(good.sasl.begin(), good.sasl.end(), "PLAIN"), good.sasl.end());
    const std::string text = reportText(good);
    EXPECT_NE(text.find("TOP yes, UIDL yes"), std::string::npos) << text;
    EXPECT_NE(text.find("Result: the account works."), std::string::npos) << text;

    const std::string stls =
        "pop3+stls://pop.probe.test:" + std::to_string(servers().secured->port());
    EXPECT_TRUE(test(stls).succeeded());

    auto refused = test(host, "wrong");
    EXPECT_FALSE(refused.succeeded());
    EXPECT_EQ(refused.logIn, AccountTestReport::LogIn::Refused);
    EXPECT_NE(advice(refused).find("whole e-mail address"), std::string::npos);
}

TEST_F(AccountTest, AnUntrustedCertificateOrARefusedStlsStopsBeforeThePassword) {
    const fs::path log = servers().secured->directory() / "dovecot.log";
    const std::size_t before = settledSize(log);

    // The certificate names pop.probe.test, not the address.
    auto otherName = test("pop3s://127.0.0.1:" + std::to_string(servers().secured->pop3sPort()));
    EXPECT_EQ(otherName.logIn, AccountTestReport::LogIn::NotTried);
    EXPECT_TRUE(otherName.tls.nameMismatch);
    EXPECT_NE(advice(otherName).find("The certificate is for pop.probe.test: use that host name."),
              std::string::npos)
        << advice(otherName);
    EXPECT_FALSE(otherName.greeting.empty()); // the look went on as far as the greeting

    {
        ProcessTrust stranger(servers().strangerPem, ProcessTrust::Beside::Nothing);
        auto untrusted =
            test("pop3s://pop.probe.test:" + std::to_string(servers().secured->pop3sPort()));
        EXPECT_EQ(untrusted.logIn, AccountTestReport::LogIn::NotTried);
        EXPECT_FALSE(untrusted.tls.trusted);
        EXPECT_NE(untrusted.failure.find("unknown issuer"), std::string::npos) << untrusted.failure;
    }
    EXPECT_EQ(readText(log).substr(0, settledSize(log)).substr(before).find("alice"),
              std::string::npos);

    auto noStls = test("pop3+stls://127.0.0.1:" + std::to_string(servers().plain->port()));
    EXPECT_TRUE(noStls.stlsRefused);
    EXPECT_EQ(noStls.logIn, AccountTestReport::LogIn::NotTried);
    EXPECT_NE(advice(noStls).find("Choose SSL/TLS on port 995"), std::string::npos);

    auto nothing = test("pop3s://127.0.0.1:" + std::to_string(HttpTestServer::unusedPort()));
    EXPECT_TRUE(nothing.connectedTo.empty());
    EXPECT_NE(advice(nothing).find("nothing listens there"), std::string::npos);
}

} // namespace
