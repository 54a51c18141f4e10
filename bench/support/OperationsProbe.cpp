#include "OperationsProbe.h"

#include "dialogs/ProgressDialog.h"

#include <QObject>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace toppeek::bench {

using dialogs::currentProgressDialog;
using dialogs::kIdYes;
using dialogs::ProgressDialog;
using messages::createMessageList;
using messages::MessageList;
using namespace toppeek::operations;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double OperationsProbe::timedCheck() {
    auto list = createMessageList();
    auto start = Clock::now();
    bool ok = static_cast<bool>(checkMailbox(account, *settings, *filters, *list, {}));
    double seconds = secondsSince(start);
    return ok && list->count() == messages && boxes.shown().empty() ? seconds : -1;
}

double OperationsProbe::timedUpdate(const MessageList& listed) {
    MailboxUpdate update;
    auto start = Clock::now();
    const OperationOutcome outcome = updateMailbox(account, *settings, *filters, listed, update);
    double seconds = secondsSince(start);
    return outcome.result == OperationResult::Completed && update.byUniqueIds &&
                   update.arrived.empty() && boxes.shown().empty()
               ? seconds
               : -1;
}

double OperationsProbe::longestGap(long& passes) {
    auto list = createMessageList();
    Clock::time_point last{};
    double longest = 0;
    passes = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        auto now = Clock::now();
        if (passes++ > 0)
            longest = std::max(longest, std::chrono::duration<double>(now - last).count());
        last = now;
    });
    probe.start();
    bool ok = static_cast<bool>(checkMailbox(account, *settings, *filters, *list, {}));
    probe.stop();
    return ok && list->count() == messages ? longest : -1;
}

double OperationsProbe::cancelLatency(int delayMilliseconds) {
    auto list = createMessageList();
    Clock::time_point confirmed{};
    boxes.answer(kIdYes);
    boxes.whileShown([&](const auto&) { confirmed = Clock::now(); });
    QTimer::singleShot(delayMilliseconds, [] {
        if (ProgressDialog* dialog = currentProgressDialog())
            dialog->cancelButton->click();
    });
    bool ok = static_cast<bool>(checkMailbox(account, *settings, *filters, *list, {}));
    auto returned = Clock::now();
    boxes.whileShown({});
    if (ok || confirmed == Clock::time_point{})
        return -1;
    return std::chrono::duration<double>(returned - confirmed).count();
}

} // namespace toppeek::bench
