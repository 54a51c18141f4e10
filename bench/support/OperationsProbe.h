#pragma once

// Mailbox operations timed the way the program runs them: the progress dialog shown (offscreen),
// the idle step processing events in every pass of every wait, message boxes answered by script.
// Needs a QApplication and the connection layer started.

#include "operations/MailboxOperations.h"
#include "support/ScriptedMessageBoxes.h"
#include "ui/ProgressDialogHost.h"

#include <chrono>
#include <cstddef>
#include <memory>

namespace toppeek::bench {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);

// The options of an operation run as the user's runs are: under the progress dialog.
toppeek::operations::OperationOptions underProgressDialog();

struct OperationsProbe {
    toppeek::storage::Account account;
    std::unique_ptr<toppeek::storage::Settings> settings =
        toppeek::storage::createDefaultSettings();
    std::unique_ptr<toppeek::messages::Filters> filters = toppeek::messages::createFilters();
    toppeek::test::ScriptedMessageBoxes boxes;
    int messages = 0; // the count a whole check must list
    toppeek::ui::ProgressDialogHost host;
    toppeek::operations::OperationOptions options();

    // One whole check; seconds, or a negative value when it did not list every message.
    double timedCheck();

    // One automatic check of a mailbox listed in listed, as the main window runs it with
    // unique-ids: seconds, or a negative value when it did not complete or found mail the list
    // lacks.
    double timedUpdate(const toppeek::messages::MessageList& listed);

    // A check with a zero-interval timer that fires in every pass of event processing; returns
    // the longest time between two passes, in seconds, or a negative value when the check
    // failed.
    double longestGap(long& passes);

    // longestGap for a check of the first two of a mailbox of count messages on a server of its
    // own that sends every reply in one go, as fast as the connection takes it: the unique-ids of
    // the whole mailbox, the first header headerBytes long. -1 when the check did not list both.
    static double longestGapUnderFlood(long count, std::size_t headerBytes, long& passes);

    // Presses Cancel after delay and answers Yes; seconds from the answer to the check's return,
    // or a negative value when the check did not end as cancelled.
    double cancelLatency(int delayMilliseconds);
};

} // namespace toppeek::bench
