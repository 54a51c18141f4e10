// The demo as a user meets it: the shipped demo mailbox served by the demo server on a thread,
// checked with the program's own mailbox operations under the demo's settings and filters. The
// filters must mark the spam and nothing else; removing the marked messages must leave the rest
// on the server, numbered afresh, as the next session sees them. The demo's second account
// reaches the same mailbox over STLS, trusting the authority the server made at its start as
// ./run.sh --demo does (through SSL_CERT_FILE).

#include "DemoFiles.h"
#include "DemoServer.h"
#include "mail/Connection.h"
#include "messages/Filters.h"
#include "operations/MailboxOperations.h"
#include "support/ProcessTrust.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/ScriptedOperationHost.h"
#include "ui/AccountEditor.h"

#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using toppeek::storage::Account;
using toppeek::storage::Settings;
using toppeek::ui::AccountEditor;
using namespace toppeek::messages;

namespace {

using namespace toppeek::demo;
using toppeek::operations::checkMailbox;
using toppeek::operations::removeMarkedMessages;
using Names = std::set<std::string>;

const Names kSpam = {"04-cheap-meds.eml",      "06-free-spins.eml",     "08-lottery-win.eml",
                     "11-exclusive-offer.eml", "14-work-from-home.eml", "17-your-order.eml",
                     "20-payout-pending.eml",  "23-crypto-gains.eml",   "26-double-deposit.eml",
                     "33-prize-notice.eml"};

class DemoMailboxCheck : public testing::Test {
protected:
    static void SetUpTestSuite() { toppeek::mail::startConnectionLayer(); }
    static void TearDownTestSuite() { toppeek::mail::stopConnectionLayer(); }

    void SetUp() override {
        std::string error;
        auto loaded = DemoMailbox::load(TOPPEEK_DEMO_MAILBOX, error);
        ASSERT_TRUE(loaded) << error;
        for (const DemoMessage& message : loaded->messages())
            names.push_back(message.name);
        server =
            std::make_unique<DemoServer>(std::move(*loaded), Credentials{kDemoUser, kDemoPassword});
        std::optional<DemoIdentity> identity = makeDemoIdentity(error);
        ASSERT_TRUE(identity) << error;
        ASSERT_TRUE(server->offerStartTls(*identity, error)) << error;
        authority = identity->authorityCertificate;
        server->log = [this](const std::string& line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        };
        ASSERT_TRUE(server->listen(0, error)) << error;
        thread = std::thread([this] { server->run(); });
        const std::string port = std::to_string(server->port());
        settings = demoSettings("127.0.0.1:" + port, "pop3+stls://127.0.0.1:" + port);
    }

    void TearDown() override {
        server->stop();
        if (thread.joinable())
            thread.join();
        EXPECT_TRUE(host.said().empty()) << host.said().front().text;
    }

    const Account& account(int index = 0) const { return *settings->accounts.at(index); }

    toppeek::operations::OperationOptions options() {
        toppeek::operations::OperationOptions how;
        how.host = &host;
        return how;
    }

    bool check(MessageList& list, int accountIndex = 0) {
        return static_cast<bool>(checkMailbox(
            account(accountIndex), *settings, *filters, list, [](int) {}, options()));
    }

    std::vector<std::string> logged() {
        std::lock_guard lock(logMutex);
        return log;
    }

    Names marked(const MessageList& list, const std::vector<std::string>& onServer) const {
        Names result;
        for (const MessageEntry* entry : list)
            if (entry->mark == MarkState::MarkedForDelete)
                result.insert(onServer.at(static_cast<std::size_t>(entry->messageNumber - 1)));
        return result;
    }

    std::vector<std::string> names;
    std::unique_ptr<DemoServer> server;
    std::thread thread;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<Filters> filters = demoFilters();
    toppeek::test::ScriptedOperationHost host;
    std::string authority;
    std::mutex logMutex;
    std::vector<std::string> log;
};

TEST_F(DemoMailboxCheck, TheDemoFiltersMarkTheSpamAndRemovingItLeavesTheRest) {
    ASSERT_GE(names.size(), 24u);
    auto list = createMessageList();
    ASSERT_TRUE(check(*list));
    ASSERT_EQ(list->count(), static_cast<int>(names.size()));
    for (int i = 0; i < list->count(); ++i) {
        const MessageEntry& entry = *list->at(i);
        EXPECT_EQ(entry.messageNumber, i + 1);
        EXPECT_GT(entry.size, 0);
        EXPECT_TRUE(entry.headerText.find("\r\n") != std::string::npos) << names[i];
    }
    EXPECT_EQ(marked(*list, names), kSpam);

    // The odd one is listed with what could be read of it.
    const auto odd = std::find(names.begin(), names.end(), "12-odd-headers.eml");
    ASSERT_NE(odd, names.end());
    const MessageEntry& oddEntry = *list->at(static_cast<int>(odd - names.begin()));
    ASSERT_TRUE(oddEntry.subject.has_value());
    EXPECT_NE(oddEntry.subject->find("three lines"), std::string::npos);

    // The encoded messages read decoded; the friendly sender's says what kept it.
    const auto entryNamed = [&](const char* name) -> const MessageEntry& {
        const auto at = std::find(names.begin(), names.end(), name);
        return *list->at(static_cast<int>(at - names.begin()));
    };
    std::string scratch;
    EXPECT_EQ(shownText(entryNamed("31-invoice.eml"), ShownField::Subject, scratch),
              "Ihre Rechnung f\xC3\xBCr Dezember \xE2\x80\x93 Nr. 4711");
    EXPECT_EQ(entryNamed("30-greetings-from-munich.eml").markReason,
              "Friendly domain: friends.example, kept unmarked");
    EXPECT_EQ(entryNamed("33-prize-notice.eml").markReason, "Subject rule: lottery");

    // Only the team list's message is addressed elsewhere.
    auto notAddressed = createMessageList();
    ASSERT_TRUE(check(*notAddressed));
    EXPECT_EQ(markNotAddressed(*notAddressed, kDemoAddress), 1);
    EXPECT_EQ(marked(*notAddressed, names), Names{"10-meeting-notes.eml"});

    ASSERT_TRUE(removeMarkedMessages(
        account(), *settings, *list, [](int) {}, options()));
    EXPECT_EQ(list->count(), static_cast<int>(names.size() - kSpam.size()));

    // The next session sees only the rest, numbered from 1, and nothing in it is spam.
    std::vector<std::string> left;
    for (const std::string& name : names)
        if (kSpam.count(name) == 0)
            left.push_back(name);
    auto again = createMessageList();
    ASSERT_TRUE(check(*again));
    ASSERT_EQ(again->count(), static_cast<int>(left.size()));
    EXPECT_EQ(marked(*again, left), Names{});
    for (int i = 0; i < again->count(); ++i)
        EXPECT_EQ(again->at(i)->headerText, list->at(i)->headerText);
}

TEST_F(DemoMailboxCheck, TheStarttlsAccountReadsAndCleansTheSameMailboxSecured) {
    ASSERT_EQ(settings->accounts.count(), 2);
    EXPECT_EQ(settings->selectedAccount, 0);
    EXPECT_EQ(account(0).host.find("://"), std::string::npos) << "the first account stays plain";
    EXPECT_EQ(account(1).address, kDemoSecuredAddress);
    // Trusted beside the system's authorities, as the demo's start script makes the program do.
    toppeek::test::ProcessTrust trust(authority);
    ASSERT_TRUE(trust.valid());

    auto plain = createMessageList();
    ASSERT_TRUE(check(*plain));
    auto secured = createMessageList();
    ASSERT_TRUE(check(*secured, 1));
    ASSERT_EQ(secured->count(), plain->count());
    for (int i = 0; i < secured->count(); ++i) {
        EXPECT_EQ(secured->at(i)->headerText, plain->at(i)->headerText);
        EXPECT_EQ(secured->at(i)->mark, plain->at(i)->mark);
    }
    EXPECT_EQ(marked(*secured, names), kSpam);

    // The second session was secured before any credential came.
    std::vector<std::string> lines = logged();
    auto at = [&](const std::string& prefix) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& line) { return line.starts_with(prefix); });
    };
    auto securedAt = at("2 secured with TLSv1.");
    ASSERT_NE(securedAt, lines.end());
    EXPECT_LT(at("2 STLS"), securedAt);
    auto firstCredential = std::min(at("2 USER"), at("2 APOP"));
    ASSERT_NE(firstCredential, lines.end());
    EXPECT_LT(securedAt, firstCredential);

    ASSERT_TRUE(removeMarkedMessages(
        account(1), *settings, *secured, [](int) {}, options()));
    auto again = createMessageList();
    ASSERT_TRUE(check(*again));
    EXPECT_EQ(again->count(), static_cast<int>(names.size() - kSpam.size()));

    // The account's name still gives the domain that Mark No Addressed Messages compares.
    EXPECT_EQ(markNotAddressed(*again, kDemoSecuredAddress), 1);
}

} // namespace

// The demo must survive its own account editor: OK on an untouched account keeps it as it is.
TEST_F(DemoMailboxCheck, EveryDemoAccountPassesTheAccountEditorUnchanged) {
    ASSERT_EQ(settings->accounts.count(), 2);
    for (int i = 0; i < settings->accounts.count(); ++i) {
        Account edited = account(i);
        toppeek::test::ScriptedMessageBoxes boxes;
        AccountEditor editor;
        QTimer::singleShot(0, &editor, [&editor] {
            editor.okButton->click();
            if (editor.isVisible()) // refused: the box has been answered, leave
                editor.cancelButton->click();
        });
        EXPECT_TRUE(editor.Execute(edited, QStringLiteral("Account"), 0)) << edited.address;
        EXPECT_TRUE(boxes.shown().empty()) << (boxes.shown().empty() ? "" : boxes.shown()[0].text);
        EXPECT_EQ(edited.address, account(i).address);
        EXPECT_EQ(edited.host, account(i).host);
    }
}
