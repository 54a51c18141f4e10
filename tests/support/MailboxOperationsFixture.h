// What the tests of the mailbox operations start from: the connection layer running while the
// suite runs, an account, the default settings, no filters, an empty list, and the operations run
// through a scripted host, so that every question is answered by the test and every text is
// recorded. Base is testing::Test or a testing::TestWithParam<...>.
#pragma once

#include "mail/Connection.h"
#include "operations/MailboxOperations.h"
#include "support/ScriptedOperationHost.h"

#include <gtest/gtest.h>

#include <memory>

namespace toppeek::test {

template <typename Base = testing::Test> class MailboxOperationsFixture : public Base {
protected:
    MailboxOperationsFixture() { options.host = &host; }

    static void SetUpTestSuite() { toppeek::mail::startConnectionLayer(); }
    static void TearDownTestSuite() { toppeek::mail::stopConnectionLayer(); }

    toppeek::storage::Account account;
    std::unique_ptr<toppeek::storage::Settings> settings =
        toppeek::storage::createDefaultSettings();
    std::unique_ptr<toppeek::messages::Filters> filters = toppeek::messages::createFilters();
    std::unique_ptr<toppeek::messages::MessageList> list = toppeek::messages::createMessageList();
    ScriptedOperationHost host;
    toppeek::operations::OperationOptions options;
};

} // namespace toppeek::test
