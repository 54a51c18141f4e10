// The operations against a real Dovecot on 127.0.0.1: a check of a few hundred messages, spam
// marked by a filter as the headers arrive, the removal, and a second check that must find the
// removed messages gone and the others numbered as the server now numbers them. Once with
// USER/PASS and once with APOP.

#include "operations/MailboxOperations.h"
#include "operations/ProgressDialog.h"
#include "support/DovecotServer.h"
#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace toppeek::operations;
using toppeek::test::DovecotServer;
using toppeek::test::ScriptedMessageBoxes;

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

class RealServerOperations : public testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() { toppeek::mail::startConnectionLayer(); }
    static void TearDownTestSuite() { toppeek::mail::stopConnectionLayer(); }

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
    Account account;
    std::unique_ptr<Settings> settings = createDefaultSettings();
    std::unique_ptr<Filters> filters = createFilters();
    OperationOptions options;
    ScriptedMessageBoxes boxes;
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
    EXPECT_TRUE(boxes.shown().empty());
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
    ASSERT_EQ(boxes.flags(), std::vector<unsigned>{0x40});
    EXPECT_NE(boxes.shown()[0].text.find("log in"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Dovecot, RealServerOperations, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Apop" : "UserPass");
                         });

} // namespace
