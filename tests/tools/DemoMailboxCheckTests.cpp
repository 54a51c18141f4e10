// The demo as a user meets it: the shipped demo mailbox served by the demo server on a thread,
// checked with the program's own mailbox operations under the demo's settings and filters. The
// filters must mark the spam and nothing else; removing the marked messages must leave the rest
// on the server, numbered afresh, as the next session sees them.

#include "DemoFiles.h"
#include "DemoServer.h"
#include "mail/Connection.h"
#include "messages/Filters.h"
#include "operations/MailboxOperations.h"
#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace toppeek::demo;
using toppeek::operations::checkMailbox;
using toppeek::operations::removeMarkedMessages;
using Names = std::set<std::string>;

const Names kSpam = {"04-cheap-meds.eml",      "06-free-spins.eml",     "08-lottery-win.eml",
                     "11-exclusive-offer.eml", "14-work-from-home.eml", "17-your-order.eml",
                     "20-payout-pending.eml",  "23-crypto-gains.eml",   "26-double-deposit.eml"};

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
        ASSERT_TRUE(server->listen(0, error)) << error;
        thread = std::thread([this] { server->run(); });
        settings = demoSettings("127.0.0.1:" + std::to_string(server->port()));
    }

    void TearDown() override {
        server->stop();
        if (thread.joinable())
            thread.join();
        EXPECT_TRUE(boxes.shown().empty()) << boxes.shown().front().text;
    }

    const Account& account() const { return *settings->accounts.at(0); }

    bool check(MessageList& list) {
        return checkMailbox(account(), *settings, *filters, list, [](int) {});
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
    toppeek::test::ScriptedMessageBoxes boxes;
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

    // Only the team list's message is addressed elsewhere.
    auto notAddressed = createMessageList();
    ASSERT_TRUE(check(*notAddressed));
    EXPECT_EQ(markNotAddressed(*notAddressed, kDemoAddress), 1);
    EXPECT_EQ(marked(*notAddressed, names), Names{"10-meeting-notes.eml"});

    ASSERT_TRUE(removeMarkedMessages(account(), *settings, *list, [](int) {}));
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

} // namespace
