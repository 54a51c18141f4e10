// The operations against a real Dovecot on 127.0.0.1: a check of a few hundred messages, spam
// marked by a filter as the headers arrive, the removal, and a second check that must find the
// removed messages gone and the others numbered as the server now numbers them. Once with
// USER/PASS and once with APOP. Then the same over pop3s and against mailutils pop3d, both of
// which take commands ahead of their replies.

#include "mail/Pop3.h"
#include "messages/MailText.h"
#include "operations/MailboxOperations.h"
#include "storage/AccountOptions.h"
#include "support/DovecotServer.h"
#include "support/MailboxOperationsFixture.h"
#include "support/MailutilsServer.h"
#include "support/ProcessTrust.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace toppeek::messages;

namespace {

using namespace toppeek::operations;
using toppeek::test::DovecotServer;
using toppeek::test::MailboxOperationsFixture;
using toppeek::test::MailutilsServer;
using toppeek::test::ProcessTrust;
using toppeek::test::RealPop3Server;
using toppeek::test::TemporaryFolder;

constexpr int kMessages = 300;
const char* const kUser = "carol";
const char* const kPassword = "c4rol-Pw";

bool isSpam(int n) {
    return n % 7 == 3;
}

std::string messageText(int n) {
    std::string from = isSpam(n) ? "Offers <deals@promo.example>" : "Bob <bob@example.org>";
    std::string text = "From: " + from + "\nTo: carol@example.com\nSubject: Message " +
                       std::to_string(n) + "\nDate: Tue, 5 Mar 2024 10:00:00 +0100\n\n";
    for (int line = 0; line < n % 5 + 1; ++line)
        text += "Body line " + std::to_string(line) + " of message " + std::to_string(n) + "\n";
    return text;
}

std::vector<std::string> subjectsOf(const MessageList& list) {
    std::vector<std::string> subjects;
    for (const MessageEntry* entry : list)
        subjects.push_back(entry->subject.value_or(""));
    return subjects;
}

class RealServerOperations : public MailboxOperationsFixture<testing::TestWithParam<bool>> {
protected:
    void SetUp() override {
        server.addUser(kUser, kPassword);
        for (int n = 1; n <= kMessages; ++n)
            sizes.push_back(static_cast<int>(server.addMessage(kUser, messageText(n))));
        ASSERT_TRUE(server.start()) << server.failure();
        account.host = server.hostAndPort();
        account.userName = server.loginName(kUser);
        account.password = kPassword;
        account.accountTag = 3;
        settings->maxMessages = 1000;
        settings->useApop = GetParam() ? 1 : 0;
        auto rule = createFilterRule();
        rule->fromText = "@promo.example";
        filters->rules.append(rule.release());
        filters->rulesEnabled = 1;
        options.timeoutSeconds = 20;
    }

    OperationOutcome check(MessageList& into) {
        return checkMailbox(account, *settings, *filters, into, {}, options);
    }

    DovecotServer server;
    std::vector<int> sizes; // by message number - 1
};

TEST_P(RealServerOperations, CheckMarkRemoveAndCheckAgain) {
    auto list = createMessageList();
    ASSERT_TRUE(check(*list));
    ASSERT_EQ(list->count(), kMessages) << server.logTail();
    int spam = 0;
    std::uint32_t total = 0;
    for (int i = 0; i < kMessages; ++i) {
        const MessageEntry& entry = *list->at(i);
        int n = i + 1;
        EXPECT_EQ(entry.messageNumber, n);
        EXPECT_EQ(entry.subject, "Message " + std::to_string(n));
        EXPECT_EQ(entry.size, sizes[static_cast<std::size_t>(i)]);
        EXPECT_EQ(entry.accountTag, 3);
        EXPECT_EQ(entry.mark, isSpam(n) ? MarkState::MarkedForDelete : MarkState::Unmarked) << n;
        spam += isSpam(n) ? 1 : 0;
        total += static_cast<std::uint32_t>(entry.size);
    }
    EXPECT_EQ(settings->mailboxBytes, total);

    // The viewer's fetch of one message works on the same account.
    settings->bodyLines = 2;
    MessageEntry& viewed = *list->at(13);
    ASSERT_TRUE(fetchMessageText(account, *settings, viewed, options));
    EXPECT_EQ(viewed.body, "Body line 0 of message 14\r\nBody line 1 of message 14\r\n.\r\n");

    std::vector<int> removedAt;
    ASSERT_TRUE(removeMarkedMessages(
        account, *settings, *list, [&](int index) { removedAt.push_back(index); }, options));
    EXPECT_EQ(static_cast<int>(removedAt.size()), spam);
    ASSERT_EQ(list->count(), kMessages - spam);
    EXPECT_EQ(server.messageCount(kUser), static_cast<std::size_t>(kMessages - spam));
    std::uint32_t kept = 0;
    for (int i = 0; i < list->count(); ++i) {
        EXPECT_EQ(list->at(i)->messageNumber, i + 1);
        kept += static_cast<std::uint32_t>(list->at(i)->size);
    }
    EXPECT_EQ(settings->mailboxBytes, kept);

    // The server's view now: the spam gone, the rest numbered as the list says.
    auto again = createMessageList();
    ASSERT_TRUE(check(*again));
    EXPECT_EQ(subjectsOf(*again), subjectsOf(*list));
    for (int i = 0; i < again->count(); ++i) {
        EXPECT_EQ(again->at(i)->messageNumber, list->at(i)->messageNumber);
        EXPECT_EQ(again->at(i)->mark, MarkState::Unmarked);
    }
    EXPECT_TRUE(host.said().empty());
    EXPECT_FALSE(cancelRequested());
    // Dovecot logs each login with its method.
    const std::string log = server.logTail();
    EXPECT_EQ(log.find("method=APOP") != std::string::npos, GetParam()) << log;
    EXPECT_EQ(log.find("method=PLAIN") != std::string::npos, !GetParam()) << log;
}

TEST_P(RealServerOperations, WrongPasswordIsShownAsRefusedLogin) {
    account.password = "not-the-password";
    auto list = createMessageList();
    EXPECT_TRUE(check(*list));
    EXPECT_EQ(list->count(), 0);
    ASSERT_EQ(host.kinds(), std::vector{toppeek::test::ScriptedOperationHost::Kind::Told});
    EXPECT_NE(host.said()[0].text.find("log in"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Dovecot, RealServerOperations, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Apop" : "UserPass");
                         });

// A real server chosen by the test's parameter (mailutils pop3d when true, else Dovecot), holding
// kUser's messages 1..count, and an account that logs in to it.
class OnEitherRealServer : public MailboxOperationsFixture<testing::TestWithParam<bool>> {
protected:
    void startServer(std::unique_ptr<RealPop3Server> chosen, int count) {
        server = std::move(chosen);
        server->addUser(kUser, kPassword);
        for (int n = 1; n <= count; ++n)
            server->addMessage(kUser, messageText(n));
        ASSERT_TRUE(server->start()) << server->failure();
        account.host = server->hostAndPort();
        account.userName = server->loginName(kUser);
        account.password = kPassword;
        options.timeoutSeconds = 20;
    }

    std::unique_ptr<RealPop3Server> server;
};

// A message far longer than the reply buffer, its text part running past the buffer's cut into
// a base64 attachment: the view reads the text up to the cut and says that the rest was not
// fetched, and never shows what the buffer kept of the reply's end as text.
class LongMessageViewed : public OnEitherRealServer {};

TEST_P(LongMessageViewed, TheTextStopsAtTheCut) {
    std::string text = "From: Bob <bob@example.org>\nSubject: Report\nMIME-Version: 1.0\n"
                       "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
                       "Content-Type: text/plain\n\n";
    for (int line = 0; line < 1000; ++line)
        text += "Report line " + std::to_string(line) + "\n";
    text += "--b\nContent-Type: application/pdf; name=r.pdf\n"
            "Content-Transfer-Encoding: base64\n\n";
    for (int line = 0; line < 300; ++line)
        text += std::string(76, 'Q') + "\n";
    text += "--b--\n";
    server = GetParam() ? std::unique_ptr<RealPop3Server>(std::make_unique<MailutilsServer>())
                        : std::make_unique<DovecotServer>();
    server->addUser(kUser, kPassword);
    server->addMessage(kUser, text);
    ASSERT_TRUE(server->start()) << server->failure();
    account.host = server->hostAndPort();
    account.userName = server->loginName(kUser);
    account.password = kPassword;
    options.timeoutSeconds = 20;
    settings->bodyLines = 2000;

    auto list = createMessageList();
    ASSERT_TRUE(checkMailbox(account, *settings, *filters, *list, {}, options));
    ASSERT_EQ(list->count(), 1);
    MessageEntry& entry = *list->at(0);
    ASSERT_TRUE(fetchMessageText(account, *settings, entry, options));
    ASSERT_NE(entry.bodyCutAt, MessageEntry::kNotCut);
    const ReadableMessage message = readableMessage(entry.headerText, entry.body.value_or(""),
                                                    {settings->bodyLines, entry.bodyCutAt});
    EXPECT_NE(message.text.find("Subject: Report\n\nReport line 0\nReport line 1\n"),
              std::string::npos)
        << message.text;
    EXPECT_EQ(message.text.find("QQQQ"), std::string::npos) << message.text;
    EXPECT_TRUE(message.text.ends_with("\n\n(The rest of the message was not fetched: it is "
                                       "longer than the reply buffer holds. Show raw lines to "
                                       "see the end of the reply.)\n"))
        << message.text;
    // The raw lines still show what the buffer kept, its end included.
    EXPECT_NE(message.raw.find("QQQQ"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(RealServers, LongMessageViewed, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Mailutils" : "Dovecot");
                         });

// Another client changes the mailbox between the check and the next operation, as a mail client
// beside the checker does: it downloads and deletes messages below and above the marked one, and
// new mail arrives. Viewing shows the marked message itself, the removal deletes exactly it, and
// the list then names the server's messages under their numbers.
class ChangedMailbox : public OnEitherRealServer {
protected:
    void SetUp() override {
        if (GetParam())
            startServer(std::make_unique<MailutilsServer>(), 8);
        else
            startServer(std::make_unique<DovecotServer>(), 8);
    }

    OperationOutcome check(MessageList& into) {
        return checkMailbox(account, *settings, *filters, into, {}, options);
    }

    // A second client (python3's poplib) deletes the messages under these numbers.
    void deleteElsewhere(const std::vector<int>& numbers) {
        std::vector<std::string> argv = {"python3",
                                         "-c",
                                         "import poplib, sys\n"
                                         "p = poplib.POP3(sys.argv[1], int(sys.argv[2]))\n"
                                         "p.user(sys.argv[3]); p.pass_(sys.argv[4])\n"
                                         "for n in sys.argv[5:]: p.dele(int(n))\n"
                                         "p.quit()\n",
                                         "127.0.0.1",
                                         std::to_string(server->port()),
                                         account.userName,
                                         kPassword};
        for (int n : numbers)
            argv.push_back(std::to_string(n));
        std::string output;
        ASSERT_TRUE(toppeek::test::runTool(argv, output)) << output;
    }
};

TEST_P(ChangedMailbox, ViewAndRemoveTouchOnlyTheMarkedMessage) {
    auto list = createMessageList();
    ASSERT_EQ(check(*list).result, OperationResult::Completed);
    ASSERT_EQ(list->count(), 8);
    MessageEntry& marked = *list->at(4);
    ASSERT_FALSE(marked.uniqueId.empty());
    marked.mark = MarkState::MarkedForDelete;

    deleteElsewhere({2, 7});
    server->addMessage(kUser, messageText(9));

    settings->bodyLines = 1;
    OperationOutcome viewed = fetchMessageText(account, *settings, marked, options);
    EXPECT_EQ(viewed.identity, MessageIdentity::Confirmed);
    // (mailutils puts a blank line of its own before the body)
    EXPECT_NE(marked.body.value_or("").find("Body line 0 of message 5\r\n.\r\n"),
              std::string::npos);
    EXPECT_EQ(marked.messageNumber, 4);

    OperationOutcome removed = removeMarkedMessages(account, *settings, *list, {}, options);
    EXPECT_EQ(removed.result, OperationResult::Completed);
    EXPECT_EQ(removed.removed, 1);
    EXPECT_TRUE(removed.quitAcknowledged);
    // Messages 2 and 7 left the list with the server; message 9 is for the next check.
    EXPECT_EQ(subjectsOf(*list), (std::vector<std::string>{"Message 1", "Message 3", "Message 4",
                                                           "Message 6", "Message 8"}));

    auto now = createMessageList();
    ASSERT_EQ(check(*now).result, OperationResult::Completed);
    EXPECT_EQ(subjectsOf(*now), (std::vector<std::string>{"Message 1", "Message 3", "Message 4",
                                                          "Message 6", "Message 8", "Message 9"}));
    for (int i = 0; i < list->count(); ++i) {
        EXPECT_EQ(list->at(i)->messageNumber, now->at(i)->messageNumber);
        EXPECT_EQ(list->at(i)->uniqueId, now->at(i)->uniqueId);
    }
    EXPECT_EQ(settings->mailboxMessages, 6);
    EXPECT_TRUE(host.said().empty());

    // The deleted messages are gone for a viewer holding the old list too.
    MessageEntry& stale = *now->at(3);
    deleteElsewhere({4});
    OperationOutcome gone = fetchMessageText(account, *settings, stale, options);
    EXPECT_EQ(gone.identity, MessageIdentity::Gone);
    EXPECT_FALSE(stale.bodyLoaded);
}

// Both servers list PIPELINING, so the check sends every message's LIST and TOP ahead of the
// replies and the removal its DELEs: Dovecot over pop3s, mailutils pop3d over a plain
// connection. The check, a fetch, the removal and a second check must agree with the server.
class PipelinedRealServer : public OnEitherRealServer {
protected:
    static constexpr int kCount = 120;

    static void SetUpTestSuite() {
        OnEitherRealServer::SetUpTestSuite();
        certificates() = std::make_unique<TemporaryFolder>("toppeek-pipelined");
        if (!certificates()->valid())
            return;
        certificates()->letOthersRead();
        toppeek::test::TestAuthority authority("TopPeek Pipelining Test Authority");
        auto issued = authority.issue("127.0.0.1", {"IP:127.0.0.1", "DNS:localhost"});
        std::ofstream(certificates()->file("server.pem"), std::ios::binary) << issued.certificate;
        std::ofstream(certificates()->file("server.key"), std::ios::binary) << issued.key;
        // The test authority is trusted by this process only, while this suite runs.
        trust() = std::make_unique<ProcessTrust>(authority.certificatePem());
    }

    static void TearDownTestSuite() {
        trust().reset();
        certificates().reset();
        OnEitherRealServer::TearDownTestSuite();
    }

    // The server's certificate and key, read by a server running as another user.
    static std::unique_ptr<TemporaryFolder>& certificates() {
        static std::unique_ptr<TemporaryFolder> folder;
        return folder;
    }
    static std::unique_ptr<ProcessTrust>& trust() {
        static std::unique_ptr<ProcessTrust> value;
        return value;
    }

    void SetUp() override {
        ASSERT_TRUE(certificates()->valid() && trust() && trust()->valid());
        settings->maxMessages = 1000;
        if (GetParam()) {
            startServer(std::make_unique<MailutilsServer>(), kCount);
            return;
        }
        startServer(std::make_unique<DovecotServer>(toppeek::test::DovecotTls{
                        certificates()->file("server.pem"), certificates()->file("server.key")}),
                    kCount);
        if (HasFatalFailure())
            return;
        account.host = "pop3s://127.0.0.1:" +
                       std::to_string(static_cast<DovecotServer*>(server.get())->pop3sPort());
    }

    // The host's trace line when the operation's first entry is reported: the last command
    // queued by then.
    std::function<void(int)> traceAtFirst(std::string& line) {
        return [this, &line](int) {
            if (line.empty())
                line = host.statusLine();
        };
    }
};

TEST_P(PipelinedRealServer, CheckFetchRemoveAndCheckAgain) {
    {
        toppeek::mail::ConnectionControl control;
        control.timeoutSeconds = 20;
        toppeek::mail::Pop3Session session;
        ASSERT_EQ(
            toppeek::mail::pop3Login(session, account.host, account.userName, kPassword, control),
            toppeek::mail::kLoginOk)
            << control.failureReason;
        ASSERT_TRUE(toppeek::mail::pop3Capa(session));
        EXPECT_TRUE(session.pipelines());
        EXPECT_EQ(session.isSecured(), !GetParam());
        toppeek::mail::pop3Quit(session);
    }

    auto list = createMessageList();
    std::string checkTrace;
    ASSERT_EQ(
        checkMailbox(account, *settings, *filters, *list, traceAtFirst(checkTrace), options).result,
        OperationResult::Completed);
    // Every message's commands, and QUIT behind them, went out before the first entry was
    // reported; the trace shows the reply being read all the same.
    EXPECT_EQ(checkTrace, "TOP 1 0");
    // Over pop3s the status line said that the connection was being secured, then with what.
    if (!GetParam()) {
        const std::vector<std::string>& lines = host.statusLines();
        const auto securing = std::find(lines.begin(), lines.end(), "Securing connection\u2026");
        ASSERT_NE(securing, lines.end());
        ASSERT_NE(securing + 1, lines.end());
        EXPECT_TRUE(securing[1].starts_with("Securing connection\u2026 TLSv1.")) << securing[1];
    }
    ASSERT_EQ(list->count(), kCount) << server->logTail();
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(list->at(i)->messageNumber, i + 1);
        EXPECT_EQ(list->at(i)->subject, "Message " + std::to_string(i + 1));
    }

    settings->bodyLines = 1;
    MessageEntry& viewed = *list->at(40);
    ASSERT_EQ(fetchMessageText(account, *settings, viewed, options).identity,
              MessageIdentity::Confirmed);
    EXPECT_NE(viewed.body.value_or("").find("Body line 0 of message 41\r\n.\r\n"),
              std::string::npos);

    for (int index : {2, 39, 76})
        list->at(index)->mark = MarkState::MarkedForDelete;
    std::string removeTrace;
    OperationOutcome removed =
        removeMarkedMessages(account, *settings, *list, traceAtFirst(removeTrace), options);
    EXPECT_EQ(removed.result, OperationResult::Completed);
    EXPECT_EQ(removed.removed, 3);
    EXPECT_TRUE(removed.quitAcknowledged);
    // The last DELE went out before the first one's reply was read.
    EXPECT_EQ(removeTrace, "DELE 77\r\n");
    EXPECT_EQ(server->messageCount(kUser), static_cast<std::size_t>(kCount - 3));

    auto again = createMessageList();
    ASSERT_EQ(checkMailbox(account, *settings, *filters, *again, {}, options).result,
              OperationResult::Completed);
    EXPECT_EQ(subjectsOf(*again), subjectsOf(*list));
    for (int i = 0; i < again->count(); ++i)
        EXPECT_EQ(again->at(i)->messageNumber, i + 1);
    EXPECT_TRUE(host.said().empty());
}

INSTANTIATE_TEST_SUITE_P(RealServers, PipelinedRealServer, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "MailutilsPlain" : "DovecotPop3s");
                         });

INSTANTIATE_TEST_SUITE_P(RealServers, ChangedMailbox, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Mailutils" : "Dovecot");
                         });

// A server of one's own with a self-signed certificate: the check refuses it and asks; trusted,
// the certificate is kept with the account and asked about no more; another certificate on the
// same server is refused again, named by its new fingerprint; a check nobody asked for never asks.
class SelfSignedServer : public MailboxOperationsFixture<testing::Test> {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.valid());
        folder.letOthersRead();
        const auto identity = toppeek::test::selfSignedCertificate("localhost", {"DNS:localhost"});
        ASSERT_FALSE(identity.certificate.empty());
        std::ofstream(folder.file("self.pem")) << identity.certificate;
        std::ofstream(folder.file("self.key")) << identity.key;
        server = std::make_unique<DovecotServer>(
            toppeek::test::DovecotTls{folder.file("self.pem"), folder.file("self.key")});
        server->addUser(kUser, kPassword);
        server->addMessage(kUser, messageText(1));
        ASSERT_TRUE(server->start()) << server->failure();
        account.host = "pop3s://localhost:" + std::to_string(server->pop3sPort());
        account.userName = server->loginName(kUser);
        account.password = kPassword;
        account.accountTag = 5;
        options.timeoutSeconds = 20;
    }

    OperationOutcome check(MessageList& into, const OperationOptions& how) {
        return checkMailbox(account, *settings, *filters, into, {}, how);
    }

    TemporaryFolder folder{"toppeek-self-signed"};
    std::unique_ptr<DovecotServer> server;
};

TEST_F(SelfSignedServer, TrustIsAskedKeptWithTheAccountAndRefusedForAnotherCertificate) {
    auto list = createMessageList();
    host.answer(false);
    EXPECT_EQ(check(*list, options).result, OperationResult::NoConnection);
    ASSERT_EQ(host.said().size(), 2u);
    const std::string question = host.said()[0].text;
    EXPECT_NE(question.find("could not be verified"), std::string::npos) << question;
    EXPECT_NE(question.find("Subject: CN=localhost"), std::string::npos) << question;
    EXPECT_NE(question.find("Valid until: "), std::string::npos) << question;
    EXPECT_NE(question.find("localhost:" + std::to_string(server->pop3sPort())), std::string::npos);
    EXPECT_FALSE(toppeek::storage::trustedCertificate(*settings, account));

    // Trusted: the log-in goes on at once, and the trust is the account's.
    host.answer(true);
    EXPECT_EQ(check(*list, options).result, OperationResult::Completed);
    EXPECT_EQ(list->count(), 1);
    ASSERT_EQ(host.said().size(), 3u);
    const auto trusted = toppeek::storage::trustedCertificate(*settings, account);
    ASSERT_TRUE(trusted);
    EXPECT_EQ(trusted->port, server->pop3sPort());
    EXPECT_NE(question.find(toppeek::storage::fingerprintText(trusted->sha256, 16)),
              std::string::npos);
    auto again = createMessageList();
    EXPECT_EQ(check(*again, options).result, OperationResult::Completed);
    EXPECT_EQ(host.said().size(), 3u);

    // The server's certificate changed (as a trust for another one reads): asked again, with the
    // certificate it presents now.
    auto changed = *trusted;
    changed.sha256 = std::string(64, '0');
    ASSERT_TRUE(toppeek::storage::setTrustedCertificate(*settings, account, changed));
    host.answer(false);
    auto refused = createMessageList();
    EXPECT_EQ(check(*refused, options).result, OperationResult::NoConnection);
    ASSERT_GE(host.said().size(), 4u);
    const std::string changedQuestion = host.said()[3].text;
    EXPECT_NE(changedQuestion.find("has changed"), std::string::npos) << changedQuestion;
    EXPECT_NE(changedQuestion.find(toppeek::storage::fingerprintText(trusted->sha256, 16)),
              std::string::npos);
    EXPECT_EQ(toppeek::storage::trustedCertificate(*settings, account), changed);

    // A check nobody asked for says why in its reason and asks nothing.
    const std::size_t shown = host.said().size();
    OperationOptions quiet = options;
    quiet.quiet = true;
    auto background = createMessageList();
    const OperationOutcome outcome = check(*background, quiet);
    EXPECT_EQ(outcome.result, OperationResult::NoConnection);
    EXPECT_NE(outcome.reason.find("unknown issuer"), std::string::npos) << outcome.reason;
    EXPECT_EQ(host.said().size(), shown);
}

} // namespace
