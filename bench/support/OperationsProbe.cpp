#include "OperationsProbe.h"

#include "support/HostileServer.h"
#include "ui/ProgressDialogHost.h"

#include <QObject>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <string>

namespace toppeek::bench {

using dialogs::kIdYes;
using messages::createMessageList;
using messages::MessageList;
using namespace toppeek::operations;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

OperationOptions underProgressDialog() {
    // Between runs the host holds no dialog, so it may outlive the application.
    static ui::ProgressDialogHost host;
    OperationOptions options;
    options.host = &host;
    return options;
}

OperationOptions OperationsProbe::options() {
    OperationOptions options;
    options.host = &host;
    return options;
}

double OperationsProbe::timedCheck() {
    auto list = createMessageList();
    auto start = Clock::now();
    bool ok = static_cast<bool>(checkMailbox(account, *settings, *filters, *list, {}, options()));
    double seconds = secondsSince(start);
    return ok && list->count() == messages && boxes.shown().empty() ? seconds : -1;
}

double OperationsProbe::timedUpdate(const MessageList& listed) {
    MailboxUpdate update;
    auto start = Clock::now();
    const OperationOutcome outcome =
        updateMailbox(account, *settings, *filters, listed, update, options());
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
    bool ok = static_cast<bool>(checkMailbox(account, *settings, *filters, *list, {}, options()));
    probe.stop();
    return ok && list->count() == messages ? longest : -1;
}

namespace {

// Waits for each command and answers it; false once the client is gone.
bool answer(toppeek::test::HostilePeer& peer, const std::string& reply) {
    return peer.readLine() && peer.send(reply);
}

} // namespace

double OperationsProbe::longestGapUnderFlood(long count, std::size_t headerBytes, long& passes) {
    auto header = [](int n, std::size_t bytes) {
        std::string text =
            "From: Bob <bob@example.org>\r\nSubject: Flood " + std::to_string(n) + "\r\nX-Pad: ";
        text.append(bytes > text.size() + 4 ? bytes - text.size() - 4 : 1, 'x');
        return "+OK\r\n" + text + "\r\n\r\n.\r\n";
    };
    std::string uniqueIds = "+OK\r\n";
    for (long n = 1; n <= count; ++n)
        uniqueIds += std::to_string(n) + " flood-" + std::to_string(n) + "\r\n";
    uniqueIds += ".\r\n";
    toppeek::test::HostileServer server([&](toppeek::test::HostilePeer& peer) {
        const std::string replies[] = {"+OK\r\nTOP\r\nUIDL\r\n.\r\n",
                                       "+OK\r\n",
                                       "+OK\r\n",
                                       "+OK " + std::to_string(count) + " 999999\r\n",
                                       uniqueIds,
                                       "+OK 1 5000\r\n",
                                       header(1, headerBytes),
                                       "+OK 2 5000\r\n",
                                       header(2, 200),
                                       "+OK bye\r\n"};
        if (!peer.send("+OK flood\r\n"))
            return;
        for (const std::string& reply : replies)
            if (!answer(peer, reply))
                return;
    });
    OperationsProbe probe;
    probe.account.host = server.hostAndPort();
    probe.account.userName = "flood";
    probe.account.password = "flood";
    probe.settings->maxMessages = 2;
    probe.messages = 2;
    return probe.longestGap(passes);
}

double OperationsProbe::cancelLatency(int delayMilliseconds) {
    auto list = createMessageList();
    Clock::time_point confirmed{};
    boxes.answer(kIdYes);
    boxes.whileShown([&](const auto&) { confirmed = Clock::now(); });
    QTimer::singleShot(delayMilliseconds, [] {
        if (dialogs::ProgressDialog* dialog = ui::ProgressDialogHost::current())
            dialog->cancelButton->click();
    });
    bool ok = static_cast<bool>(checkMailbox(account, *settings, *filters, *list, {}, options()));
    auto returned = Clock::now();
    boxes.whileShown({});
    if (ok || confirmed == Clock::time_point{})
        return -1;
    return std::chrono::duration<double>(returned - confirmed).count();
}

} // namespace toppeek::bench
