#include "shell/UpdateCheck.h"

#include "dialogs/MsgBox.h"
#include "shell/WebLinks.h"
#include "support/HttpTestServer.h"
#include "support/ProcessTrust.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QString>
#include <QUrl>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using testing::HasSubstr;
using testing::StartsWith;
using toppeek::dialogs::kIdCancel;
using toppeek::dialogs::kIdOk;
using toppeek::shell::checkForUpdate;
using toppeek::shell::compareVersions;
using toppeek::shell::FetchLimits;
using toppeek::shell::fetchUrl;
using toppeek::shell::UpdateCheckHooks;
using toppeek::shell::versionTextOf;
using toppeek::test::HttpTestServer;
using toppeek::test::ScriptedMessageBoxes;

namespace {

// Short limits, so that a server that never answers ends a test within a second or two.
constexpr FetchLimits kQuickLimits{500, 1000};

// Keeps the proxy variables of the machine away from the loopback tests, and lets a test set
// its own; the old values come back afterwards.
class ProxyEnvironment {
public:
    ProxyEnvironment() {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value != nullptr ? std::optional<std::string>(value)
                                                       : std::nullopt);
            ::unsetenv(name);
        }
    }
    ~ProxyEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    ProxyEnvironment(const ProxyEnvironment&) = delete;
    ProxyEnvironment& operator=(const ProxyEnvironment&) = delete;

private:
    static constexpr std::array<const char*, 8> kNames = {
        "http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
        "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Records the addresses the program would open, and opens none.
class RecordedOpener {
public:
    explicit RecordedOpener(bool succeed = true) {
        previous_ = toppeek::shell::setUrlOpener([this, succeed](const QUrl& url) {
            opened.push_back(url.toString().toStdString());
            return succeed;
        });
    }
    ~RecordedOpener() { toppeek::shell::setUrlOpener(std::move(previous_)); }
    RecordedOpener(const RecordedOpener&) = delete;
    RecordedOpener& operator=(const RecordedOpener&) = delete;

    std::vector<std::string> opened;

private:
    toppeek::shell::UrlOpener previous_;
};

struct Fetched {
    int result = -1;
    int received = -1;
    std::string data;
};

Fetched fetch(const std::string& url, unsigned size = 1000, FetchLimits limits = kQuickLimits) {
    std::vector<char> buffer(size + 1, '\0');
    Fetched fetched;
    fetched.result = fetchUrl(url.c_str(), buffer.data(), fetched.received, size, limits);
    if (fetched.received >= 0)
        fetched.data.assign(buffer.data(), static_cast<std::size_t>(fetched.received));
    return fetched;
}

std::string ok(const std::string& body) {
    return HttpTestServer::reply(200, "OK", body);
}

} // namespace

// ---------------------------------------------------------------- compareVersions

TEST(CompareVersions, FieldsCompareAsNumbersNotAsText) {
    EXPECT_EQ(compareVersions("3.4.10", "3.4.9"), 1);
    EXPECT_EQ(compareVersions("3.4.9", "3.4.10"), -1);
    EXPECT_EQ(compareVersions("10.0", "9.9"), 1);
}

TEST(CompareVersions, FirstDifferenceDecides) {
    EXPECT_EQ(compareVersions("3.5", "3.4.8.9"), 1);
    EXPECT_EQ(compareVersions("3.4.8.9", "3.5"), -1);
    EXPECT_EQ(compareVersions("2.9.9.9", "3.0"), -1);
}

TEST(CompareVersions, WithoutDifferenceTheFieldCountDecides) {
    EXPECT_EQ(compareVersions("3.4", "3.4.0"), -1);
    EXPECT_EQ(compareVersions("3.4.0", "3.4"), 1);
    EXPECT_EQ(compareVersions("3.4.0", "3.4.0"), 0);
}

TEST(CompareVersions, OnlyFourFieldsAreRead) {
    EXPECT_EQ(compareVersions("3.4.8.9.1", "3.4.8.9"), 0);
    EXPECT_EQ(compareVersions("3.4.8.9", "3.4.8.9.7"), 0);
}

TEST(CompareVersions, EmptyFieldsDoNotCount) {
    EXPECT_EQ(compareVersions("3..4", "3.4"), 0);
    EXPECT_EQ(compareVersions("..3.4.", "3.4"), 0);
    EXPECT_EQ(compareVersions("", "1"), -1);
    EXPECT_EQ(compareVersions("", ""), 0);
    EXPECT_EQ(compareVersions(nullptr, "1"), -1);
}

TEST(CompareVersions, FieldsReadTheirLeadingDigits) {
    EXPECT_EQ(compareVersions("3.4b", "3.4"), 0);
    EXPECT_EQ(compareVersions("3.x", "3.0"), 0);
    // A field too large for a number stays the largest one instead of wrapping round.
    EXPECT_EQ(compareVersions("99999999999999999999999999", "9223372036854775806"), 1);
}

TEST(VersionText, KeepsOnlyDigitsAndDots) {
    const std::string reply = "Version 3.5 (build 12)";
    EXPECT_EQ(versionTextOf(reply.data(), static_cast<int>(reply.size())), "3.512");
    EXPECT_EQ(compareVersions("3.512", "3.5"), 1); // the fields 3 and 512

    const std::string page = "<html><p>Newest: 1.2.3</p></html>\r\n";
    EXPECT_EQ(versionTextOf(page.data(), static_cast<int>(page.size())), "1.2.3");
    EXPECT_EQ(versionTextOf("no digits", 9), "");
}

TEST(VersionText, StopsAtFiftyCharactersAndTheGivenLength) {
    const std::string digits(80, '7');
    EXPECT_EQ(versionTextOf(digits.data(), 80), std::string(50, '7'));
    EXPECT_EQ(versionTextOf("1.2.3", 3), "1.2");
}

// ---------------------------------------------------------------- fetchUrl

class FetchUrl : public testing::Test {
protected:
    ProxyEnvironment proxies;
};

TEST_F(FetchUrl, OkReplyGivesClassTwoAndTheBody) {
    HttpTestServer server(ok("3.4.10\n"));
    const Fetched fetched = fetch(server.url());
    EXPECT_EQ(fetched.result, 2);
    EXPECT_EQ(fetched.received, 7);
    EXPECT_EQ(fetched.data, "3.4.10\n");

    // The request names the agent and asks for a fresh copy.
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string request = server.requests().front();
    EXPECT_THAT(request, StartsWith("GET /version.txt HTTP/1."));
    EXPECT_THAT(request, HasSubstr("\r\nUser-Agent: Mozilla\r\n"));
    EXPECT_THAT(request, HasSubstr("\r\nCache-Control: no-cache"));
    EXPECT_THAT(request, HasSubstr("\r\nPragma: no-cache\r\n"));
}

TEST_F(FetchUrl, ErrorStatusesGiveTheirClassWithTheBody) {
    HttpTestServer missing(HttpTestServer::reply(404, "Not Found", "no such file"));
    Fetched fetched = fetch(missing.url());
    EXPECT_EQ(fetched.result, 4);
    EXPECT_EQ(fetched.data, "no such file");

    HttpTestServer broken(HttpTestServer::reply(500, "Internal Server Error", ""));
    fetched = fetch(broken.url());
    EXPECT_EQ(fetched.result, 5);
    EXPECT_EQ(fetched.received, 0);
}

TEST_F(FetchUrl, KeepsAtMostTheBufferSize) {
    std::string body;
    for (int i = 0; body.size() < 5000; ++i)
        body += std::to_string(i) + ' ';
    HttpTestServer server(ok(body));
    const Fetched fetched = fetch(server.url(), 1000);
    EXPECT_EQ(fetched.result, 2); // a full buffer ends the transfer successfully
    EXPECT_EQ(fetched.received, 1000);
    EXPECT_EQ(fetched.data, body.substr(0, 1000));

    HttpTestServer exact(ok(std::string(1000, 'x')));
    const Fetched exactly = fetch(exact.url(), 1000);
    EXPECT_EQ(exactly.result, 2);
    EXPECT_EQ(exactly.received, 1000);
}

TEST_F(FetchUrl, AServerThatNeverAnswersIsGivenUpAtTheTimeOut) {
    HttpTestServer silent(std::nullopt);
    const auto start = std::chrono::steady_clock::now();
    const Fetched fetched = fetch(silent.url(), 1000, kQuickLimits);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(fetched.result, 0);
    EXPECT_EQ(fetched.received, 0);
    // Not a speed figure: the transfer has to end by its time-out rather than hang.
    EXPECT_LT(took, std::chrono::seconds(8));
    EXPECT_EQ(silent.requests().size(), 1u);
}

TEST_F(FetchUrl, NoServerFailsWithNothingReceived) {
    const Fetched fetched =
        fetch("http://127.0.0.1:" + std::to_string(HttpTestServer::unusedPort()) + "/v.txt");
    EXPECT_EQ(fetched.result, 0);
    EXPECT_EQ(fetched.received, 0);
}

TEST_F(FetchUrl, ABrokenTransferFailsButReportsWhatArrived) {
    // Promises 100 bytes, sends 10, closes.
    HttpTestServer server(std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n"
                                      "Connection: close\r\n\r\n0123456789"));
    const Fetched fetched = fetch(server.url());
    EXPECT_EQ(fetched.result, 0);
    EXPECT_EQ(fetched.received, 10);
    EXPECT_EQ(fetched.data, "0123456789");
}

TEST_F(FetchUrl, FollowsRedirects) {
    HttpTestServer target(ok("2.0"));
    HttpTestServer moved("HTTP/1.1 302 Found\r\nLocation: " + target.url("/new.txt") +
                         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    const Fetched fetched = fetch(moved.url());
    EXPECT_EQ(fetched.result, 2);
    EXPECT_EQ(fetched.data, "2.0");
    ASSERT_EQ(target.requests().size(), 1u);
    EXPECT_THAT(target.requests().front(), StartsWith("GET /new.txt "));
}

// An HTTPS server on 127.0.0.1 (python3's own http.server over its ssl module) with a
// certificate from an authority this process alone trusts: /version.txt gives "3.0", every other
// path redirects to redirect.
class HttpsRedirector {
public:
    explicit HttpsRedirector(const std::string& redirect) {
        toppeek::test::TestAuthority authority("TopPeek Update Test Authority");
        const auto identity = authority.issue("localhost", {"DNS:localhost", "IP:127.0.0.1"});
        if (!folder_.valid() || identity.key.empty())
            return;
        trust_ = std::make_unique<toppeek::test::ProcessTrust>(authority.certificatePem());
        std::ofstream(folder_.file("server.pem")) << identity.certificate << identity.key;
        const std::string script =
            "import http.server, ssl, sys\n"
            "class H(http.server.BaseHTTPRequestHandler):\n"
            "    def do_GET(self):\n"
            "        if self.path == '/version.txt':\n"
            "            self.send_response(200); self.send_header('Content-Length', '3')\n"
            "            self.end_headers(); self.wfile.write(b'3.0')\n"
            "        else:\n"
            "            self.send_response(302); self.send_header('Location', sys.argv[2])\n"
            "            self.send_header('Content-Length', '0'); self.end_headers()\n"
            "    def log_message(self, *a): pass\n"
            "s = http.server.HTTPServer(('127.0.0.1', 0), H)\n"
            "c = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER); c.load_cert_chain(sys.argv[1])\n"
            "s.socket = c.wrap_socket(s.socket, server_side=True)\n"
            "print(s.server_address[1], flush=True)\n"
            "s.serve_forever()\n";
        int out[2];
        if (::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::execlp("python3", "python3", "-c", script.c_str(), folder_.file("server.pem").c_str(),
                     redirect.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        FILE* port = ::fdopen(out[0], "r");
        if (port != nullptr && std::fscanf(port, "%d", &port_) != 1)
            port_ = 0;
        if (port != nullptr)
            std::fclose(port);
    }
    ~HttpsRedirector() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    HttpsRedirector(const HttpsRedirector&) = delete;
    HttpsRedirector& operator=(const HttpsRedirector&) = delete;

    std::string url(const std::string& path) const {
        return "https://localhost:" + std::to_string(port_) + path;
    }
    int port() const { return port_; }

private:
    toppeek::test::TemporaryFolder folder_{"toppeek-https"};
    std::unique_ptr<toppeek::test::ProcessTrust> trust_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// Whoever answers in the clear could say anything: a secure address is never left for a plain
// one. A plain address may still move to a secure one.
TEST_F(FetchUrl, ASecureAddressIsNeverRedirectedToAPlainOne) {
    HttpTestServer plain(ok("9.9"));
    HttpsRedirector secure(plain.url());
    ASSERT_NE(secure.port(), 0) << "python3 could not serve HTTPS";
    const Fetched direct = fetch(secure.url("/version.txt"));
    ASSERT_EQ(direct.result, 2);
    EXPECT_EQ(direct.data, "3.0");

    const Fetched downgraded = fetch(secure.url("/moved"));
    EXPECT_EQ(downgraded.result, 0);
    EXPECT_TRUE(plain.requests().empty());

    HttpTestServer upgrading("HTTP/1.1 301 Moved\r\nLocation: " + secure.url("/version.txt") +
                             "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    const Fetched upgraded = fetch(upgrading.url());
    EXPECT_EQ(upgraded.result, 2);
    EXPECT_EQ(upgraded.data, "3.0");
}

// The names kept for examples are never asked, however they are written.
TEST(PlaceholderAddress, ExampleNamesAreToldFromRealOnes) {
    using toppeek::shell::isPlaceholderAddress;
    for (const char* url :
         {"https://example.org/toppeek/version.txt", "https://EXAMPLE.COM./x", "http://example.net",
          "https://www.example.org:8443/v", "https://user@updates.example.com/v",
          "https://toppeek.test/v", "http://host.invalid/"})
        EXPECT_TRUE(isPlaceholderAddress(url)) << url;
    for (const char* url : {"https://example.org.evil.net/v", "https://notexample.org/v",
                            "http://127.0.0.1:8080/version.txt", "https://[::1]/v",
                            "https://toppeek.org/version.txt"})
        EXPECT_FALSE(isPlaceholderAddress(url)) << url;
    // The build's own address is a placeholder until the project has pages.
    EXPECT_EQ(isPlaceholderAddress(toppeek::shell::kVersionUrl),
              std::string_view(toppeek::shell::kVersionUrl).find("example.org") !=
                  std::string_view::npos);
}

TEST_F(FetchUrl, GoesThroughTheProxyTheEnvironmentNames) {
    HttpTestServer proxy(ok("9.9"));
    ::setenv("http_proxy", proxy.url("").c_str(), 1);
    const Fetched fetched = fetch("http://updates.toppeek.invalid/version.txt");
    EXPECT_EQ(fetched.result, 2);
    EXPECT_EQ(fetched.data, "9.9");
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_THAT(proxy.requests().front(),
                StartsWith("GET http://updates.toppeek.invalid/version.txt HTTP/1."));
}

TEST_F(FetchUrl, RefusesAddressesThatAreNotWebAddresses) {
    const Fetched fetched = fetch("file:///etc/hostname");
    EXPECT_EQ(fetched.result, 0);
    EXPECT_EQ(fetched.received, 0);
}

// ---------------------------------------------------------------- checkForUpdate

class UpdateCheck : public testing::Test {
protected:
    static constexpr const char* kTitle = "TopPeek";
    static constexpr const char* kQuestion = "A newer version is out. Open the home page?";
    static constexpr const char* kHome = "https://example.org/toppeek/";

    // One start of the program on day today with its own version own.
    int check(const std::string& url, int today, const char* own = "1.0.0") {
        UpdateCheckHooks hooks;
        hooks.today = [today] { return today; };
        hooks.limits = kQuickLimits;
        return checkForUpdate(url.c_str(), own, kTitle, kQuestion, kHome, day, 2, hooks);
    }

    ProxyEnvironment proxies;
    ScriptedMessageBoxes boxes;
    RecordedOpener opener;
    std::uint32_t day = 0;
};

TEST_F(UpdateCheck, ChecksAtOnceWhenNeverChecked) {
    HttpTestServer server(ok("1.0.0"));
    EXPECT_EQ(check(server.url(), 5000), 1);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(day, 5000u);
    EXPECT_TRUE(boxes.shown().empty()); // the same version: nothing to ask
}

TEST_F(UpdateCheck, WaitsTwoDaysAfterACheck) {
    HttpTestServer server(ok("1.0.0"));
    check(server.url(), 5000);
    check(server.url(), 5001);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(day, 5000u);
    check(server.url(), 5002);
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(day, 5002u);
}

TEST_F(UpdateCheck, AClockSetBackRecordsTodayAndWaitsFromThere) {
    HttpTestServer server(ok("1.0.0"));
    day = 5000;
    check(server.url(), 4993);
    EXPECT_EQ(server.requests().size(), 0u);
    EXPECT_EQ(day, 4993u);
    check(server.url(), 4994);
    EXPECT_EQ(server.requests().size(), 0u);
    check(server.url(), 4995);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(day, 4995u);
}

TEST_F(UpdateCheck, ANewerVersionAsksAndOpensTheHomePageOnOk) {
    HttpTestServer server(ok("Version 3.5 (build 12)"));
    boxes.answer(kIdOk);
    check(server.url(), 5000, "3.5");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].flags, 0x21u);
    EXPECT_EQ(boxes.shown()[0].title, kTitle);
    EXPECT_EQ(boxes.shown()[0].text, kQuestion);
    EXPECT_EQ(opener.opened, std::vector<std::string>{kHome});
    EXPECT_EQ(day, 5000u);
}

TEST_F(UpdateCheck, CancelStillRecordsTheDay) {
    HttpTestServer server(ok("3.4.10"));
    boxes.answer(kIdCancel);
    check(server.url(), 5000, "3.4.9");
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_EQ(day, 5000u);
}

TEST_F(UpdateCheck, AnOlderOrUnreadableVersionAsksNothingAndRecordsTheDay) {
    HttpTestServer older(ok("3.4"));
    check(older.url(), 5000, "3.4.0");
    HttpTestServer noDigits(ok("<html>maintenance</html>"));
    check(noDigits.url(), 5002, "3.4.0");
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(day, 5002u);
}

TEST_F(UpdateCheck, AFailedCheckIsRepeatedAtTheNextStart) {
    HttpTestServer missing(HttpTestServer::reply(404, "Not Found", "9.9.9"));
    check(missing.url(), 5000);
    EXPECT_EQ(day, 0u);
    check(missing.url(), 5000);
    EXPECT_EQ(missing.requests().size(), 2u);
    EXPECT_TRUE(boxes.shown().empty());

    day = 4000;
    HttpTestServer silent(std::nullopt);
    check(silent.url(), 5000);
    EXPECT_EQ(day, 4000u);
}

TEST_F(UpdateCheck, OnlyTheFirstThousandBytesOfTheReplyCount) {
    // "0" is the 1000th byte; the "9.9" behind it would make the version newer.
    HttpTestServer server(ok(std::string(999, ' ') + "0" + "9.9"));
    check(server.url(), 5000, "1.0");
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(day, 5000u);
}

// ---------------------------------------------------------------- web links

TEST(WebLinks, TheCommandsOpenTheProjectsAddresses) {
    RecordedOpener opener;
    ScriptedMessageBoxes boxes;
    EXPECT_TRUE(toppeek::shell::openOnlineHelp());
    EXPECT_TRUE(toppeek::shell::openProgramHomePage());
    EXPECT_TRUE(toppeek::shell::openAuthorHomePage());
    EXPECT_EQ(opener.opened, (std::vector<std::string>{toppeek::shell::kOnlineHelpUrl,
                                                       toppeek::shell::kProgramHomePageUrl,
                                                       toppeek::shell::kAuthorHomePageUrl}));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST(WebLinks, AFailedOpenNamesTheAddressInAnInformationBox) {
    RecordedOpener opener(false);
    ScriptedMessageBoxes boxes;
    EXPECT_FALSE(toppeek::shell::openProgramHomePage());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].flags, 0x40u);
    EXPECT_EQ(boxes.shown()[0].title, "TopPeek");
    EXPECT_THAT(boxes.shown()[0].text, HasSubstr(toppeek::shell::kProgramHomePageUrl));
}

TEST(WebLinks, TextsThatAreNoAddressAreNotHandedOn) {
    RecordedOpener opener;
    ScriptedMessageBoxes boxes;
    EXPECT_FALSE(toppeek::shell::openUrl(""));
    EXPECT_FALSE(toppeek::shell::openUrl(nullptr));
    EXPECT_FALSE(toppeek::shell::openUrl("no address here"));
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_FALSE(toppeek::shell::openWebLink("no address here"));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_THAT(boxes.shown()[0].text, HasSubstr("no address here"));
}
