#include "BenchServers.h"

#include "BenchCommon.h"
#include "PoplibReference.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace toppeek::bench {

namespace {

// A message with a header block and far more than kFetchedLines lines of body.
std::string longMessage() {
    std::string text = "From: Sender <sender@example.org>\n"
                       "To: Bench <bench@example.com>\n"
                       "Subject: A long message\n"
                       "Date: Tue, 5 Mar 2024 10:00:00 +0100\n\n";
    for (int line = 1; line <= 2 * kFetchedLines; ++line)
        text += "Line " + std::to_string(line) +
                " of the body, long enough to look like a line of real text.\n";
    return text;
}

} // namespace

TlsFiles::~TlsFiles() {
    std::error_code ignored;
    if (!dir.empty())
        std::filesystem::remove_all(dir, ignored);
}

std::string TlsFiles::make() {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/toppeek-bench-tls-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return "no temporary directory for the certificates";
    dir = pattern;
    // Dovecot reads the files under users of its own.
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    toppeek::test::TestAuthority authority("TopPeek Bench Authority");
    if (!authority.valid())
        return "could not make the certificate authority";
    issued = authority.issue("localhost", {"DNS:localhost", "IP:127.0.0.1"});
    if (issued.key.empty() || issued.certificate.empty())
        return "could not issue the server's certificate";
    caFile = dir / "ca.pem";
    server = {dir / "server.pem", dir / "server.key"};
    std::ofstream(caFile, std::ios::binary) << authority.certificatePem();
    std::ofstream(server.certificate, std::ios::binary) << issued.certificate;
    std::ofstream(server.key, std::ios::binary) << issued.key;
    ::setenv("SSL_CERT_FILE", caFile.c_str(), 1);
    ::setenv("SSL_CERT_DIR", (dir / "no-such-folder").c_str(), 1);
    return {};
}

std::string pop3sHost(const toppeek::test::DovecotServer& server) {
    return "pop3s://127.0.0.1:" + std::to_string(server.pop3sPort());
}

bool BenchServers::start(int runs) {
    for (const char* user : {kCheckUser, kFetchUser, kRemoveUser})
        server.addUser(user, kPassword);
    // The TLS server gets the same mailbox.
    std::vector<std::string> checkMailboxTexts;
    for (int n = 1; n <= kMailboxMessages; ++n) {
        checkMailboxTexts.push_back(makeMessage(n, random));
        server.addMessage(kCheckUser, checkMailboxTexts.back());
    }
    server.addMessage(kFetchUser, longMessage());
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", server.failure().c_str());
        return false;
    }
    std::printf("Dovecot on %s, %d messages, %d runs\n", server.hostAndPort().c_str(),
                kMailboxMessages, runs);

    if (const std::string failure = tlsFiles.make(); !failure.empty())
        return fail(failure.c_str());
    tlsServer = std::make_unique<toppeek::test::DovecotServer>(tlsFiles.server);
    tlsServer->addUser(kCheckUser, kPassword);
    for (const std::string& text : checkMailboxTexts)
        tlsServer->addMessage(kCheckUser, text);
    checkMailboxTexts.clear();
    if (!tlsServer->start()) {
        std::fprintf(stderr, "%s\n", tlsServer->failure().c_str());
        return false;
    }
    std::printf("Dovecot over TLS on %s, the same %d messages\n", pop3sHost(*tlsServer).c_str(),
                kMailboxMessages);

    probe.messages = kMailboxMessages;
    probe.account = accountFor(server, kCheckUser);
    probe.settings->maxMessages = kMailboxMessages;
    plainAccount = probe.account;
    tlsAccount = probe.account;
    tlsAccount.host = pop3sHost(*tlsServer);

    // The first session makes the server index the new mail; it is not timed.
    if (probe.timedCheck() < 0 || timedTlsCheck() < 0)
        return fail("a check failed");
    return true;
}

double BenchServers::timedTlsCheck() {
    probe.account = tlsAccount;
    const double seconds = probe.timedCheck();
    probe.account = plainAccount;
    return seconds;
}

} // namespace toppeek::bench
