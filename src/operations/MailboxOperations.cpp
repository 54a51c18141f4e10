#include "operations/MailboxOperations.h"

#include "core/Translation.h"
#include "mail/Pop3.h"
#include "messages/ListUpdate.h"
#include "operations/OperationHost.h"
#include "storage/AccountOptions.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <deque>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace toppeek::operations {

using messages::createMessageEntry;
using messages::destroyMessageEntry;
using messages::evaluateFilters;
using messages::Filters;
using messages::findBodyStart;
using messages::indexOfEntry;
using messages::MarkState;
using messages::MessageEntry;
using messages::MessageList;
using storage::Account;
using storage::Settings;

using core::filled;
using core::translate;

namespace {

using mail::ConnectionControl;
using mail::Pop3Session;

// "host:port", with an IPv6 address in brackets.
std::string serverText(const std::string& host, int port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// What one started operation works with; the work step gets it from the runner.
struct OperationRecord {
    const Account& account;
    // Changed only to keep a certificate the user chose to trust.
    Settings& settings;
    // Where the check and the removal leave the total size of the listed messages.
    std::uint32_t* mailboxBytes = nullptr;
    // Where the check and the removal leave the mailbox's message count.
    std::int32_t* mailboxMessages = nullptr;
    MessageList* list = nullptr;
    const Filters* filters = nullptr;
    MessageEntry* entry = nullptr;
    const EntryCallback* callback = nullptr;
    // An update compares with this list and leaves what it found in update.
    const MessageList* compared = nullptr;
    MailboxUpdate* update = nullptr;
    std::uint32_t timeoutSeconds = kConnectionTimeoutSeconds;
    bool quiet = false;
    OperationHost* host = nullptr;
    OperationOutcome outcome = {};
};

using Operation = void (*)(OperationRecord&, ConnectionControl&);

// Gives the stage of the operation that starts now (connecting and logging in, or the work after
// it) its part of the operation's deadline. Each wait has the time-out, but a server that sends a
// byte now and then, each within it, would hold the operation (and an automatic check of every
// account behind it) for as long as it likes. A stage may take twice the time-out and ten seconds
// more, and the work two seconds more for each message it reads or deletes and a second for every
// hundred lines of the whole mailbox's listings: many times what a slow link needs, while a server
// that drips its replies is given up within minutes.
void allowFor(ConnectionControl& control, long messages = 0, long listingLines = 0) {
    if (!control.timeoutEnabled)
        return;
    // Far beyond any real mailbox; keeps the sums below from overflowing on absurd counts.
    constexpr long kMost = 10'000'000;
    const auto stage = 2 * std::chrono::seconds(control.timeoutSeconds) + std::chrono::seconds(10) +
                       std::chrono::seconds(2) * std::clamp(messages, 0L, kMost) +
                       std::chrono::milliseconds(10) * std::clamp(listingLines, 0L, kMost);
    control.deadline = std::chrono::steady_clock::now() + stage;
}

// The host of the operation that runs; every step below runs inside start().
OperationHost& host() {
    return *runningHost();
}

void setProgressLine(const std::string& text) {
    host().setProgressLine(text);
}

void setProgressBar(int position, int maximum) {
    host().setProgressBar(position, maximum);
}

bool progressRunning() {
    return host().goOn();
}

// When the host last processed pending events.
std::chrono::steady_clock::time_point gLastPump;

// A pass of a wait that finds its socket ready comes back within microseconds; processing events
// in each of those would cost more than the exchange itself and would not make the window answer
// any sooner than once per millisecond does.
constexpr auto kPumpInterval = std::chrono::milliseconds(1);

void processPendingEvents() {
    host().pump();
    gLastPump = std::chrono::steady_clock::now();
}

void idleStep() {
    if (std::chrono::steady_clock::now() - gLastPump >= kPumpInterval)
        processPendingEvents();
}

// Shows the lookup, the connection and every command sent on the status line.
void showConnectStatus(ConnectionControl& control) {
    using mail::ConnectStatus;
    switch (control.status) {
    case ConnectStatus::Resolving:
        host().setStatusLine(
            filled(translate("toppeek::operations::MailboxOperations", "Looking up %1 ..."),
                   {control.statusText}));
        break;
    case ConnectStatus::Connecting:
        host().setStatusLine(translate("toppeek::operations::MailboxOperations", "Connecting ..."));
        break;
    case ConnectStatus::Connected:
        host().setStatusLine(
            filled(translate("toppeek::operations::MailboxOperations", "Connected to %1, port %2"),
                   {control.statusText, std::to_string(control.port)}));
        break;
    case ConnectStatus::CommandSent:
    case ConnectStatus::Securing:
        host().setStatusLine(control.statusText);
        break;
    default:
        break;
    }
}

// The connection layer runs the idle step in every pass of every wait; while an operation runs
// it keeps the host and the windows answering.
class IdleStepInstalled {
public:
    IdleStepInstalled() { mail::setIdleStep(idleStep); }
    ~IdleStepInstalled() { mail::setIdleStep({}); }
    IdleStepInstalled(const IdleStepInstalled&) = delete;
    IdleStepInstalled& operator=(const IdleStepInstalled&) = delete;
};

void runOperation(OperationRecord& record, Operation operation) {
    host().setCaption(translate("toppeek::operations::MailboxOperations",
                                "TopPeek - talking to the mail server"));
    ConnectionControl control;
    control.statusCallback = showConnectStatus;
    control.connectTries = 1;
    control.cancelQuery = [](ConnectionControl&) { return cancelRequested(); };
    control.timeoutEnabled = true;
    control.timeoutSeconds = record.timeoutSeconds;
    allowFor(control);
    operation(record, control);
}

OperationOutcome start(OperationRecord& record, Operation operation) {
    // An operation started from an event handler while another runs is refused before it
    // touches anything: clearing the cancel flag or the idle step here would take the running
    // operation's cancel and its event processing away.
    if (operationRunning()) {
        record.outcome.result = OperationResult::Busy;
        return record.outcome;
    }
    SilentHost silent;
    RunningHost running(record.host != nullptr ? *record.host : silent);
    IdleStepInstalled idle;
    runOperation(record, operation);
    if (!host().goOn())
        record.outcome.result = OperationResult::Cancelled;
    return record.outcome;
}

// Shows the certificate the check refused and asks whether to trust it for this server. On yes
// the trust is kept with the account (the settings file keeps it once it is saved) and given to
// control for the next attempt.
bool offerCertificateTrust(OperationRecord& record, ConnectionControl& control) {
    const mail::ServerCertificate& refused = *control.refusedCertificate;
    const std::string fingerprint = storage::fingerprintText(refused.sha256, 16);
    const std::string server = serverText(refused.host, refused.port);
    const std::optional<mail::TrustedCertificate> before =
        storage::trustedCertificate(record.settings, record.account);
    const bool changed = before && before->host == refused.host && before->port == refused.port;
    const std::string headline =
        changed ? translate("toppeek::operations::MailboxOperations",
                            "The server's certificate has changed since you chose to trust it.")
                : translate("toppeek::operations::MailboxOperations",
                            "The server's certificate could not be verified.");
    const std::string question = filled(
        translate("toppeek::operations::MailboxOperations",
                  "%1\n%2\n\n"
                  "Server: %3\nSubject: %4\nIssuer: %5\nValid until: %6\nSHA-256 "
                  "fingerprint:\n%7\n\n"
                  "Trust this certificate for %3 from now on? Choose Yes only if the server is "
                  "one you know to present a certificate of its own (a company's or your own "
                  "server) and the fingerprint is the one its administrator gave you. Anyone "
                  "between you and the server could otherwise read your password and mail."),
        {headline, refused.failure, server, refused.subject, refused.issuer, refused.expires,
         fingerprint});
    if (!host().ask({question, true}))
        return false;
    const mail::TrustedCertificate trusted{refused.host, refused.port, refused.sha256};
    if (!storage::setTrustedCertificate(record.settings, record.account, trusted))
        host().tell(translate("toppeek::operations::MailboxOperations",
                              "The settings have no room left to keep this trust; it holds for "
                              "this connection only. Removing the trust of another account in "
                              "Preferences makes room."),
                    true);
    control.trustedCertificates = {trusted};
    control.refusedCertificate.reset();
    return true;
}

// What the account signs in with: its password, or the access token its OAuth2 sign-in gave.
// A plain connection was the user's explicit choice, made where the account editor says that the
// password then crosses the network as it is.
mail::LoginRequest loginRequest(const OperationRecord& record) {
    const Account& account = record.account;
    mail::LoginRequest request{account.userName, account.password};
    request.allowApop = record.settings.useApop != 0;
    request.plainFallback = storage::apopPlainFallback(record.settings)
                                ? mail::PlainPasswordFallback::Allowed
                                : mail::PlainPasswordFallback::SecuredOnly;
    if (account.signIn == storage::SignInMethod::OAuth2) {
        request.secret = account.accessToken;
        request.bearerToken = true;
        request.allowApop = false;
    }
    return request;
}

// The log-in with the account's credentials, as the settings ask for it.
int signIn(const OperationRecord& record, Pop3Session& session, ConnectionControl& control) {
    return mail::pop3SignIn(session, record.account.host, loginRequest(record), control);
}

// Logs in as the operations share it (the log-in learns what the server can do). A connection that
// could not be made is shown whatever caused it, a cancel included, because the user must know
// that the mailbox was not read; a cancel during the log-in is the user's own doing and is not
// shown as a refusal, nor is a server that stopped answering.
bool logIn(OperationRecord& record, Pop3Session& session, ConnectionControl& control) {
    const Account& account = record.account;
    OperationResult& outcome = record.outcome.result;
    if (account.signIn == storage::SignInMethod::OAuth2 && account.accessToken.empty()) {
        // Only a check asked for opens the browser to sign in again.
        outcome = OperationResult::LoginRefused;
        const std::string failure =
            filled(translate("toppeek::operations::MailboxOperations",
                             "Sign-in needed for %1: check the account by hand to sign in again."),
                   {account.address});
        if (record.quiet)
            record.outcome.reason = failure;
        else
            host().tell(failure);
        return false;
    }
    control.trustedCertificates.clear();
    if (const auto trusted = storage::trustedCertificate(record.settings, account))
        control.trustedCertificates.push_back(*trusted);
    int result = signIn(record, session, control);
    // A certificate the check refused may be one the user knows (a server of their own, a
    // company's): asked, they may trust it for this server, and the log-in is tried again.
    if (result == mail::kLoginNoConnection && control.refusedCertificate && !record.quiet &&
        !cancelRequested() && offerCertificateTrust(record, control)) {
        result = signIn(record, session, control);
    }
    if (result == mail::kLoginOk) {
        allowFor(control);
        return true;
    }
    std::string failure;
    if (result == mail::kLoginNoConnection) {
        outcome = OperationResult::NoConnection;
        failure = filled(translate("toppeek::operations::MailboxOperations",
                                   "Could not connect to the mail server %1."),
                         {account.host});
        if (!control.failureReason.empty())
            failure += "\n" + control.failureReason;
    } else if (cancelRequested()) {
        outcome = OperationResult::Cancelled;
        return false;
    } else if (session.refusal == mail::LoginRefusal::SecureLink) {
        // Nothing was sent but STLS, so it is no refusal of the user's credentials.
        outcome = OperationResult::NoConnection;
        failure = filled(translate("toppeek::operations::MailboxOperations",
                                   "The mail server %1 does not offer a secure connection "
                                   "(STARTTLS) on this port, so nothing was sent to it. Choose "
                                   "SSL/TLS instead, usually on port 995."),
                         {account.host});
    } else if (session.refusal != mail::LoginRefusal::Credentials && session.broken) {
        outcome = OperationResult::NoAnswer;
        if (control.overran)
            failure = translate("toppeek::operations::MailboxOperations",
                                "The log-in to the mail server %1 was given up: the server "
                                "sent more than a mail server should.");
        else if (control.deadlinePassed)
            failure = translate("toppeek::operations::MailboxOperations",
                                "The log-in to the mail server %1 was given up: the server "
                                "took longer than a mail server should.");
        else if (control.timedOut)
            failure = translate("toppeek::operations::MailboxOperations",
                                "The mail server %1 is not answering: it fell silent before "
                                "the log-in.");
        else
            failure = translate("toppeek::operations::MailboxOperations",
                                "The mail server %1 is not answering: the connection ended "
                                "before the log-in.");
        failure = filled(failure, {account.host});
    } else {
        outcome = OperationResult::LoginRefused;
        record.outcome.refusalCode = session.refusalCode;
        failure = filled(translate("toppeek::operations::MailboxOperations",
                                   "Could not log in to the mail server %1 as %2."),
                         {account.host, account.userName});
        if (!control.failureReason.empty())
            failure += "\n" + control.failureReason;
    }
    if (record.quiet)
        record.outcome.reason = std::move(failure);
    else if (!failure.empty())
        host().tell(failure);
    return false;
}

// Why a conversation that had logged in ended early; refused names what the server refused when
// it answered with a negative reply, and is empty otherwise.
std::string failureReason(const ConnectionControl& control, const std::string& refused) {
    if (!refused.empty())
        return filled(translate("toppeek::operations::MailboxOperations", "the server refused %1"),
                      {refused});
    if (control.overran)
        return translate("toppeek::operations::MailboxOperations",
                         "the server sent more than a mail server should");
    if (control.deadlinePassed)
        return translate("toppeek::operations::MailboxOperations",
                         "the server took longer than a mail server should");
    if (control.timedOut)
        return translate("toppeek::operations::MailboxOperations", "the server stopped answering");
    return translate("toppeek::operations::MailboxOperations", "the connection was lost");
}

void brokeOff(OperationOutcome& outcome, std::string reason) {
    outcome.result = OperationResult::BrokeOff;
    outcome.reason = std::move(reason);
}

std::string numbered(const std::string& text, long number) {
    return filled(text, {std::to_string(number)});
}

bool isNegativeReply(const char* reply) {
    return std::strncmp(reply, "-ERR", 4) == 0;
}

// Ends the conversation. True only when the server acknowledged QUIT, which is when it carries
// out the deletions.
bool finish(Pop3Session& session) {
    bool acknowledged = mail::pop3Quit(session);
    session.close();
    return acknowledged;
}

std::unique_ptr<char[]> newReplyBuffer() {
    auto buffer = std::make_unique<char[]>(kReplyBufferSize);
    buffer[0] = '\0';
    return buffer;
}

int clampToInt(long value) {
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

// A size from LIST is the server's word: a negative one, or one beyond the entry's 32-bit field,
// would show as nonsense and throw the total off.
std::int32_t messageSize(long listed) {
    return static_cast<std::int32_t>(std::clamp<long>(listed, 0, INT32_MAX));
}

// The total stops at its largest value rather than wrapping to a small one.
std::uint32_t addBytes(std::uint32_t total, std::int32_t size) {
    std::uint64_t sum = std::uint64_t{total} + static_cast<std::uint64_t>(std::max(size, 0));
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(sum, UINT32_MAX));
}

// The unique-ids of the whole mailbox as one UIDL reply gave them, and the numbers each one
// stands for now.
struct ServerIdentities {
    bool usable = false;
    mail::UniqueIdListing listing;
    std::unordered_map<std::string, std::vector<long>> numbersOf;
};

// Asks for the mailbox's unique-ids, or reads the reply of the UIDL already sent ahead. A server
// without UIDL, or one whose listing cannot be trusted, leaves them unusable and the
// conversation goes on; false only when it broke. A listing of more lines than the mailbox's
// count (when known, else negative) is cut off there.
bool learnIdentities(Pop3Session& session, ServerIdentities& identities, bool sentAhead = false,
                     long mailboxCount = -1) {
    identities = {};
    const bool listed = sentAhead ? mail::readUidlReply(session, identities.listing, mailboxCount)
                                  : mail::pop3Uidl(session, identities.listing, mailboxCount);
    if (!listed || identities.listing.malformed) {
        identities.listing.byNumber.clear();
        return !session.broken;
    }
    identities.usable = true;
    // A mailbox of a million messages takes a while here too.
    identities.numbersOf.reserve(identities.listing.byNumber.size());
    for (const auto& [number, uniqueId] : identities.listing.byNumber) {
        identities.numbersOf[uniqueId].push_back(number);
        if (number % 1024 == 0)
            mail::idleStepIfDue();
    }
    return true;
}

// A server whose UIDL does not answer, or whose connection breaks inside the listing, is read
// without unique-ids, as a server without UIDL is: on some servers that one command fails inside
// the server while every other works. The session it broke is ended and a second one opened,
// quietly: the first log-in was accepted already. The work of the second is allowed for as given.
// False, with the session closed and broken, when it could not be opened (then the reason the
// first one broke is what the user is told) or when the break was a cancel or the deadline.
bool startOverWithoutUniqueIds(OperationRecord& record, Pop3Session& session,
                               ConnectionControl& control, long messages, long listingLines,
                               std::string& whyFirstBroke) {
    whyFirstBroke = failureReason(control, "");
    if (cancelRequested() || control.deadlinePassed)
        return false;
    session.close();
    control.timedOut = false;
    control.overran = false;
    allowFor(control);
    if (signIn(record, session, control) != mail::kLoginOk) {
        session.close();
        session.broken = true;
        return false;
    }
    allowFor(control, messages, listingLines);
    return true;
}

struct Location {
    MessageIdentity identity = MessageIdentity::Unknown;
    long number = 0;
};

Location locateByUniqueId(const MessageEntry& entry, const ServerIdentities& identities) {
    if (entry.uniqueIdShared)
        return {MessageIdentity::Shared};
    auto found = identities.numbersOf.find(entry.uniqueId);
    if (found == identities.numbersOf.end())
        return {MessageIdentity::Gone};
    if (found->second.size() > 1)
        return {MessageIdentity::Shared};
    return {MessageIdentity::Confirmed, found->second.front()};
}

// Without unique-ids the message under the entry's number is the one listed only when its size
// and its header block, byte for byte, are the ones the check read. The caller looks at
// session.broken to tell a broken conversation from a message that changed.
Location confirmByContent(Pop3Session& session, const MessageEntry& entry, char* buffer,
                          long mailboxCount) {
    const long number = entry.messageNumber;
    if (number < 1 || (mailboxCount >= 0 && number > mailboxCount))
        return {MessageIdentity::Changed};
    long size = 0;
    if (!mail::pop3List(session, number, size) || messageSize(size) != entry.size ||
        !mail::pop3Top(session, number, 0, buffer, kReplyBufferSize) ||
        std::string_view(buffer) != entry.headerText)
        return {MessageIdentity::Changed};
    return {MessageIdentity::Confirmed, number};
}

// A listing of the whole mailbox's sizes is asked for when the mailbox holds at most this many
// times the messages to list.
constexpr long kWholeListingFactor = 4;

// The check's commands for messages 1 to last, in order: LIST n unless its size is known, then
// TOP n 0. Each goes out ahead of its reply as far as the session's window allows. With a server
// that pipelines, QUIT follows the last of them: a check changes nothing on the server, so the
// replies a cancel or a failure leaves unread do not matter to it, and QUIT's round trip then
// overlaps the stream's.
class CheckCommands {
public:
    CheckCommands(long last, const mail::SizeListing& sizes) : last_(last), sizes_(sizes) {}
    // The same for the given numbers only, in their order (an update reads what it lacks).
    CheckCommands(const std::vector<long>& numbers, const mail::SizeListing& sizes)
        : last_(static_cast<long>(numbers.size())), sizes_(sizes), numbers_(&numbers) {}
    // Sends what fits the window now; at least the next command when none is in flight, so that
    // the reply the caller reads next is on its way. False when the session broke.
    bool sendAhead(Pop3Session& session) {
        while (number_ <= last_) {
            const long number = numbers_ != nullptr ? (*numbers_)[number_ - 1] : number_;
            if (!listing_ && !topping_)
                listing_ = !sizes_.byNumber.contains(number);
            const std::string line = listing_ ? "LIST " + std::to_string(number) + "\r\n"
                                              : "TOP " + std::to_string(number) + " 0\r\n";
            if (!mail::windowHasRoom(session, line.size()))
                return true;
            if (!mail::sendAhead(session, line))
                return false;
            if (listing_) {
                listing_ = false;
                topping_ = true;
            } else {
                topping_ = false;
                ++number_;
            }
        }
        if (!quitSent_ && session.pipelines() && mail::windowHasRoom(session, kQuitLength)) {
            if (!mail::sendQuitAhead(session))
                return false;
            quitSent_ = true;
        }
        return true;
    }

private:
    static constexpr std::size_t kQuitLength = 6;
    const long last_;
    const mail::SizeListing& sizes_;
    const std::vector<long>* numbers_ = nullptr;
    bool quitSent_ = false;
    long number_ = 1;      // the position in numbers_ when given
    bool listing_ = false; // LIST of number_ is next
    bool topping_ = false; // TOP of number_ is next
};

// Sends ahead, then shows the command whose reply is read next: the trace of what was sent would
// show the QUIT that goes out behind the last TOP while the messages before it are still read.
bool sendAheadShowing(CheckCommands& commands, Pop3Session& session, const char* verb, long number,
                      const char* tail = "") {
    if (!commands.sendAhead(session))
        return false;
    if (session.pipelines())
        host().setStatusLine(std::string(verb) + " " + std::to_string(number) + tail);
    return true;
}

void checkStep(OperationRecord& record, ConnectionControl& control) {
    const Settings& settings = record.settings;
    OperationOutcome& outcome = record.outcome;
    *record.mailboxBytes = 0;
    *record.mailboxMessages = -1;
    Pop3Session session;
    if (!logIn(record, session, control))
        return;
    auto buffer = newReplyBuffer();
    long count = 0;
    long octets = 0;
    // A server that pipelines gets STAT and UIDL together: one round trip for both, whatever the
    // count turns out to be (unless the preferences list no message at all).
    const bool pipelined = session.pipelines() && settings.maxMessages > 0;
    bool ok = pipelined
                  ? mail::sendAhead(session, "STAT\r\n") && mail::sendAhead(session, "UIDL\r\n") &&
                        mail::readStatReply(session, count, octets)
                  : mail::pop3Stat(session, count, octets);
    std::string refused = ok || session.broken ? ""
                                               : translate("toppeek::operations::MailboxOperations",
                                                           "to tell the mailbox's size");
    // What STAT said sets how many are listed, how long the listings may be and the time allowed.
    auto takeCount = [&] {
        count = std::max(count, 0L);
        outcome.mailboxCount = count;
        outcome.toList = std::min<long>(count, std::max<std::int32_t>(settings.maxMessages, 0));
        *record.mailboxMessages = static_cast<std::int32_t>(std::min<long>(count, INT32_MAX));
        allowFor(control, outcome.toList, std::min(count, LONG_MAX / 2) * 2);
    };
    if (ok)
        takeCount();
    // One listing for the whole mailbox: a unique-id given to several messages names none of
    // them for sure. A UIDL sent ahead is read even after a refused STAT, to stay in step.
    ServerIdentities identities;
    const bool counted = ok;
    bool askedUniqueIds = false;
    if (pipelined && !session.broken) {
        askedUniqueIds = true;
        const bool read = learnIdentities(session, identities, true, ok ? count : -1);
        ok = ok && read;
    } else if (ok && outcome.toList > 0) {
        askedUniqueIds = true;
        ok = learnIdentities(session, identities, false, count);
    }
    if (counted && askedUniqueIds && session.broken) {
        std::string whyFirstBroke;
        if (startOverWithoutUniqueIds(record, session, control, outcome.toList,
                                      std::min(count, LONG_MAX / 2) * 2, whyFirstBroke)) {
            ok = mail::pop3Stat(session, count, octets);
            refused = ok || session.broken ? ""
                                           : translate("toppeek::operations::MailboxOperations",
                                                       "to tell the mailbox's size");
            if (ok)
                takeCount();
        } else {
            brokeOff(outcome, whyFirstBroke);
        }
    }
    const long last = ok ? outcome.toList : 0;
    // A server that takes no commands ahead costs a round trip per command, so one LIST gives the
    // sizes of all messages at once unless the mailbox holds far more than are listed. A server
    // whose LIST listing fails or cannot be read is asked message by message.
    mail::SizeListing sizes;
    if (ok && last > 0 && !session.pipelines() && count <= kWholeListingFactor * last) {
        if (!mail::pop3ListAll(session, sizes, count) || sizes.malformed)
            sizes.byNumber.clear();
        ok = !session.broken;
    }
    auto knownSize = [&sizes](long number) { return sizes.byNumber.find(number); };
    // The commands go out ahead of their replies as far as the session's window allows (with a
    // server that does not pipeline, one at a time); the replies are read in the same order.
    CheckCommands commands(last, sizes);
    for (long i = 1; ok && i <= last && progressRunning(); ++i) {
        setProgressLine(
            filled(translate("toppeek::operations::MailboxOperations", "Reading message %1 of %2"),
                   {std::to_string(i), std::to_string(count)}));
        setProgressBar(clampToInt(i), clampToInt(count));
        processPendingEvents();
        long size = 0;
        if (auto known = knownSize(i); known != sizes.byNumber.end()) {
            size = known->second;
        } else {
            ok = sendAheadShowing(commands, session, "LIST", i) &&
                 mail::readListReply(session, size);
            if (!ok) {
                refused = session.broken
                              ? ""
                              : numbered(translate("toppeek::operations::MailboxOperations",
                                                   "to list message %1"),
                                         i);
                break;
            }
        }
        ok = sendAheadShowing(commands, session, "TOP", i, " 0") &&
             mail::readTopReply(session, buffer.get(), kReplyBufferSize);
        if (!ok) {
            refused = isNegativeReply(buffer.get())
                          ? numbered(translate("toppeek::operations::MailboxOperations",
                                               "to send message %1"),
                                     i)
                          : "";
            break;
        }
        std::unique_ptr<MessageEntry> entry = createMessageEntry(buffer.get());
        entry->accountTag = static_cast<std::uint16_t>(record.account.accountTag);
        entry->messageNumber = static_cast<std::int32_t>(i);
        entry->size = messageSize(size);
        entry->mark = MarkState::Unmarked;
        entry->bodyLoaded = false;
        if (auto found = identities.listing.byNumber.find(i);
            found != identities.listing.byNumber.end()) {
            entry->uniqueId = found->second;
            entry->uniqueIdShared = identities.numbersOf[found->second].size() > 1;
        }
        evaluateFilters(*entry, *record.filters);
        *record.mailboxBytes = addBytes(*record.mailboxBytes, entry->size);
        if (record.list->append(entry.get()) < 0) {
            ok = false;
            refused.clear();
            brokeOff(outcome, translate("toppeek::operations::MailboxOperations",
                                        "there was no memory left for more"));
            break;
        }
        entry.release();
        ++outcome.listed;
        if (*record.callback)
            (*record.callback)(static_cast<int>(i - 1));
    }
    if (!ok && outcome.result == OperationResult::Completed)
        brokeOff(outcome, failureReason(control, refused));
    buffer.reset();
    finish(session);
}

// The check's way of reading one message, for an update: the header block in buffer, with the
// size from LIST and the unique-id the server gives it.
std::unique_ptr<MessageEntry> readEntry(const OperationRecord& record, const char* header,
                                        long number, long size,
                                        const ServerIdentities& identities) {
    std::unique_ptr<MessageEntry> entry = createMessageEntry(header);
    entry->accountTag = static_cast<std::uint16_t>(record.account.accountTag);
    entry->messageNumber = static_cast<std::int32_t>(std::min<long>(number, INT32_MAX));
    entry->size = messageSize(size);
    entry->mark = MarkState::Unmarked;
    entry->bodyLoaded = false;
    if (auto found = identities.listing.byNumber.find(number);
        found != identities.listing.byNumber.end()) {
        entry->uniqueId = found->second;
        entry->uniqueIdShared = identities.numbersOf.at(found->second).size() > 1;
    }
    evaluateFilters(*entry, *record.filters);
    return entry;
}

void updateStep(OperationRecord& record, ConnectionControl& control) {
    const Settings& settings = record.settings;
    OperationOutcome& outcome = record.outcome;
    MailboxUpdate& update = *record.update;
    Pop3Session session;
    if (!logIn(record, session, control))
        return;
    long count = 0;
    long octets = 0;
    bool ok = session.pipelines()
                  ? mail::sendAhead(session, "STAT\r\n") && mail::sendAhead(session, "UIDL\r\n") &&
                        mail::readStatReply(session, count, octets)
                  : mail::pop3Stat(session, count, octets);
    std::string refused = ok || session.broken ? ""
                                               : translate("toppeek::operations::MailboxOperations",
                                                           "to tell the mailbox's size");
    ServerIdentities identities;
    if (!session.broken && (ok || session.pipelines())) {
        const bool read = learnIdentities(session, identities, session.pipelines());
        ok = ok && read;
    }
    if (ok) {
        count = std::max(count, 0L);
        outcome.mailboxCount = count;
        outcome.toList = std::min<long>(count, std::max<std::int32_t>(settings.maxMessages, 0));
        update.byUniqueIds = identities.usable;
    }
    std::vector<long> numbers;
    if (ok && identities.usable) {
        update.uniqueIds = identities.listing.byNumber;
        numbers = messages::numbersNotListed(*record.compared,
                                             static_cast<std::uint16_t>(record.account.accountTag),
                                             update.uniqueIds, outcome.toList);
    }
    const long toRead = static_cast<long>(numbers.size());
    mail::SizeListing sizes;
    if (toRead > 0 && !session.pipelines() && count <= kWholeListingFactor * toRead) {
        if (!mail::pop3ListAll(session, sizes) || sizes.malformed)
            sizes.byNumber.clear();
        ok = !session.broken;
    }
    auto buffer = newReplyBuffer();
    CheckCommands commands(numbers, sizes);
    for (long k = 1; ok && k <= toRead && progressRunning(); ++k) {
        const long number = numbers[static_cast<std::size_t>(k - 1)];
        setProgressLine(filled(
            translate("toppeek::operations::MailboxOperations", "Reading new message %1 of %2"),
            {std::to_string(k), std::to_string(toRead)}));
        setProgressBar(clampToInt(k), clampToInt(toRead));
        processPendingEvents();
        long size = 0;
        if (auto known = sizes.byNumber.find(number); known != sizes.byNumber.end()) {
            size = known->second;
        } else if (!sendAheadShowing(commands, session, "LIST", number) ||
                   !mail::readListReply(session, size)) {
            ok = false;
            refused = session.broken ? ""
                                     : numbered(translate("toppeek::operations::MailboxOperations",
                                                          "to list message %1"),
                                                number);
            break;
        }
        if (!sendAheadShowing(commands, session, "TOP", number, " 0") ||
            !mail::readTopReply(session, buffer.get(), kReplyBufferSize)) {
            ok = false;
            refused = isNegativeReply(buffer.get())
                          ? numbered(translate("toppeek::operations::MailboxOperations",
                                               "to send message %1"),
                                     number)
                          : "";
            break;
        }
        update.arrived.push_back(readEntry(record, buffer.get(), number, size, identities));
        ++outcome.listed;
    }
    buffer.reset();
    finish(session);
    if (!ok)
        brokeOff(outcome, failureReason(control, refused));
}

void fetchStep(OperationRecord& record, ConnectionControl& control) {
    OperationOutcome& outcome = record.outcome;
    Pop3Session session;
    if (!logIn(record, session, control))
        return;
    auto buffer = newReplyBuffer();
    processPendingEvents();
    MessageEntry& entry = *record.entry;
    Location where;
    // Why the session broke when no second one could be opened in its place.
    std::string whyBroke;
    if (entry.uniqueIdShared) {
        where.identity = MessageIdentity::Shared;
    } else if (entry.uniqueId.empty()) {
        where = confirmByContent(session, entry, buffer.get(), -1);
    } else {
        // Most often the message still has its number: one short exchange tells. Otherwise the
        // whole listing says where it went, or that it is gone.
        std::string now;
        ServerIdentities identities;
        if (mail::pop3UidlOne(session, entry.messageNumber, now) && now == entry.uniqueId) {
            where = {MessageIdentity::Confirmed, entry.messageNumber};
        } else if (!session.broken && learnIdentities(session, identities) && identities.usable) {
            where = locateByUniqueId(entry, identities);
        } else if (!session.broken) {
            where = confirmByContent(session, entry, buffer.get(), -1);
        } else if (startOverWithoutUniqueIds(record, session, control, 1, 0, whyBroke)) {
            whyBroke.clear();
            where = confirmByContent(session, entry, buffer.get(), -1);
        }
    }
    if (session.broken) {
        brokeOff(outcome, whyBroke.empty() ? failureReason(control, "") : whyBroke);
    } else {
        outcome.identity = where.identity;
    }
    if (outcome.identity == MessageIdentity::Confirmed) {
        const int lines = record.settings.bodyLines;
        int foldedAt = -1;
        if (mail::pop3Top(session, where.number, lines, buffer.get(), kReplyBufferSize,
                          &foldedAt)) {
            std::string_view text(buffer.get());
            int bodyStart = findBodyStart(text);
            entry.body = bodyStart < 0 ? std::string() : std::string(text.substr(bodyStart));
            entry.bodyCutAt =
                foldedAt < 0
                    ? MessageEntry::kNotCut
                    : static_cast<std::size_t>(std::max(0, foldedAt - std::max(0, bodyStart)));
            entry.bodyLoaded = true;
            entry.messageNumber =
                static_cast<std::int32_t>(std::min<long>(where.number, INT32_MAX));
        } else {
            brokeOff(outcome, failureReason(
                                  control, isNegativeReply(buffer.get())
                                               ? translate("toppeek::operations::MailboxOperations",
                                                           "to send it")
                                               : ""));
        }
    }
    buffer.reset();
    finish(session);
}

// Each entry's new number is its old one less the deleted messages numbered below it: the
// numbering the server gives the remaining messages once it has carried out the deletions.
void renumber(MessageEntry& entry, const std::vector<long>& deleted) {
    auto below = std::lower_bound(deleted.begin(), deleted.end(), entry.messageNumber);
    entry.messageNumber -= static_cast<std::int32_t>(below - deleted.begin());
}

// Takes the entry at index out of the list and tells the list view.
void takeOut(OperationRecord& record, int index, MessageEntry* entry) {
    record.list->removeAt(index);
    destroyMessageEntry(entry);
    if (*record.callback)
        (*record.callback)(index);
}

// Numbers every entry from the server's listing: the numbers the listed messages have once the
// deletions are carried out (none when they are not). Entries whose messages have gone leave the
// list; those without a unique-id of their own can only be worked out from the deletions.
void renumberFromServer(OperationRecord& record, const ServerIdentities& identities,
                        const std::vector<long>& deleted) {
    std::vector<long> remaining;
    for (const auto& [number, uniqueId] : identities.listing.byNumber)
        if (!std::binary_search(deleted.begin(), deleted.end(), number))
            remaining.push_back(number);
    MessageList& list = *record.list;
    for (int i = 0; i < list.count(); ++i) {
        MessageEntry* entry = list.at(i);
        if (entry->uniqueId.empty() || entry->uniqueIdShared) {
            renumber(*entry, deleted);
            continue;
        }
        Location where = locateByUniqueId(*entry, identities);
        if (where.identity == MessageIdentity::Gone) {
            takeOut(record, i, entry);
            --i;
        } else if (where.identity == MessageIdentity::Confirmed) {
            auto at = std::lower_bound(remaining.begin(), remaining.end(), where.number);
            entry->messageNumber = static_cast<std::int32_t>(at - remaining.begin() + 1);
        }
    }
}

void removeStep(OperationRecord& record, ConnectionControl& control) {
    OperationOutcome& outcome = record.outcome;
    // What the caller knew the mailbox to hold before, from the check or the removal before.
    const long knownCount = *record.mailboxMessages;
    Pop3Session session;
    if (!logIn(record, session, control))
        return;
    MessageList& list = *record.list;
    setProgressLine(
        translate("toppeek::operations::MailboxOperations", "Removing marked messages"));
    auto buffer = newReplyBuffer();
    // Entries that were listed with unique-ids are found by them; the rest, or all of them when
    // the server no longer gives unique-ids, by their size and header block.
    ServerIdentities identities;
    long mailboxCount = -1;
    bool ok = true;
    // Each marked entry may take a LIST and a TOP to be confirmed, and its DELE.
    const long marked = std::count_if(list.begin(), list.end(), [](const MessageEntry* entry) {
        return entry->mark == MarkState::MarkedForDelete;
    });
    allowFor(control, 2 * marked);
    // Why the session broke when no second one could be opened in its place.
    std::string whyBroke;
    if (std::any_of(list.begin(), list.end(),
                    [](const MessageEntry* entry) { return !entry->uniqueId.empty(); })) {
        ok = learnIdentities(session, identities) ||
             startOverWithoutUniqueIds(record, session, control, 2 * marked, 0, whyBroke);
        if (ok)
            whyBroke.clear();
    }
    if (ok && !identities.usable) {
        long octets = 0;
        if (!mail::pop3Stat(session, mailboxCount, octets))
            mailboxCount = -1;
        ok = !session.broken;
    }
    std::vector<long> deleted;
    std::string refused;
    // DELEs of messages found by their unique-ids go out ahead of their replies as far as the
    // session's window allows; each entry is settled when its reply is read, in order.
    struct SentDele {
        MessageEntry* entry;
        long number;
    };
    std::deque<SentDele> sent;
    // Reads the oldest DELE reply and settles its entry. True when the entry left the list.
    auto settleOldest = [&] {
        const SentDele dele = sent.front();
        sent.pop_front();
        // Replies already here are read without a wait, so without this a cancel would only be
        // seen once the whole window was settled.
        processPendingEvents();
        std::array<char, mail::kStatusBufferSize> reply{};
        if (mail::readStatusReply(session, reply.data(), mail::kStatusBufferSize)) {
            dele.entry->mark = MarkState::Deleted;
            deleted.push_back(dele.number);
            ++outcome.removed;
            takeOut(record, indexOfEntry(list, dele.entry), dele.entry);
            return true;
        }
        if (session.broken) {
            ok = false;
            ++outcome.unconfirmed;
        } else {
            ++outcome.refused;
        }
        return false;
    };
    for (int i = 0; i < list.count(); ++i) {
        MessageEntry* entry = list.at(i);
        if (entry->mark != MarkState::MarkedForDelete)
            continue;
        processPendingEvents();
        if (!ok || !progressRunning()) {
            ++outcome.notReached;
            continue;
        }
        const bool byUniqueId =
            !entry->uniqueIdShared && identities.usable && !entry->uniqueId.empty();
        Location where;
        if (entry->uniqueIdShared) {
            where.identity = MessageIdentity::Shared;
        } else if (byUniqueId) {
            where = locateByUniqueId(*entry, identities);
        } else {
            // Its LIST and TOP replies must not be taken for those of DELEs still in flight.
            while (!sent.empty())
                if (settleOldest())
                    --i;
            if (!ok) {
                ++outcome.notReached;
                continue;
            }
            where = confirmByContent(session, *entry, buffer.get(), mailboxCount);
        }
        if (session.broken) {
            ok = false;
            ++outcome.notReached;
            continue;
        }
        switch (where.identity) {
        case MessageIdentity::Gone:
            // Already done by other hands, which is what the user wanted.
            ++outcome.gone;
            takeOut(record, i, entry);
            --i;
            break;
        case MessageIdentity::Changed:
            ++outcome.changed;
            break;
        case MessageIdentity::Shared:
            ++outcome.shared;
            break;
        case MessageIdentity::Confirmed:
            if (byUniqueId) {
                const std::string line = "DELE " + std::to_string(where.number) + "\r\n";
                while (!sent.empty() && !mail::windowHasRoom(session, line.size()))
                    if (settleOldest())
                        --i;
                if (ok && mail::sendAhead(session, line))
                    sent.push_back({entry, where.number});
                else {
                    ok = false;
                    ++outcome.notReached;
                }
            } else if (mail::pop3Dele(session, where.number)) {
                entry->mark = MarkState::Deleted;
                deleted.push_back(where.number);
                ++outcome.removed;
                takeOut(record, i, entry);
                --i;
            } else if (session.broken) {
                ok = false;
                ++outcome.unconfirmed;
            } else {
                ++outcome.refused;
            }
            break;
        case MessageIdentity::Unknown:
            break;
        }
    }
    while (!sent.empty())
        settleOldest();
    buffer.reset();
    std::sort(deleted.begin(), deleted.end());
    // Without an acknowledged QUIT the server keeps every message under the number it has now;
    // the deleted entries come back with the next check. Unlike the check's, this QUIT waits for
    // every DELE's reply instead of going out behind them: once it is out the server carries the
    // deletions out, and a cancel among the replies would leave the list telling otherwise.
    outcome.quitAcknowledged = ok && finish(session);
    if (!outcome.quitAcknowledged) {
        if (ok && !session.broken)
            refused = translate("toppeek::operations::MailboxOperations", "to end the session");
        ok = false;
        session.close();
    }
    const std::vector<long> carriedOut = outcome.quitAcknowledged ? deleted : std::vector<long>{};
    if (identities.usable) {
        renumberFromServer(record, identities, carriedOut);
        *record.mailboxMessages = static_cast<std::int32_t>(std::min<std::size_t>(
            identities.listing.byNumber.size() - carriedOut.size(), INT32_MAX));
    } else {
        // Without unique-ids a message deleted by other hands since the check is only seen in
        // the count: fewer messages than before, or fewer than the list's numbers reach.
        if (mailboxCount >= 0) {
            const bool fewer = knownCount >= 0 && mailboxCount < knownCount;
            outcome.mailboxChanged =
                fewer || std::any_of(list.begin(), list.end(), [mailboxCount](const auto* entry) {
                    return entry->messageNumber > mailboxCount;
                });
        }
        for (MessageEntry* entry : list)
            renumber(*entry, carriedOut);
        if (mailboxCount >= 0)
            *record.mailboxMessages = static_cast<std::int32_t>(
                std::min<long>(mailboxCount - static_cast<long>(carriedOut.size()), INT32_MAX));
    }
    // Counted over the whole list rather than the entries the loop looked at, so that a cancel
    // part-way leaves the right total too.
    std::uint32_t bytes = 0;
    for (const MessageEntry* entry : list)
        bytes = addBytes(bytes, entry->size);
    *record.mailboxBytes = bytes;
    if (!ok)
        brokeOff(outcome, whyBroke.empty() ? failureReason(control, refused) : whyBroke);
}

// The check and the removal work on the whole list and leave the mailbox's figures in settings.
OperationRecord wholeListRecord(const Account& account, Settings& settings, MessageList& list,
                                const EntryCallback& callback, const OperationOptions& options) {
    OperationRecord record{account, settings};
    record.mailboxBytes = &settings.mailboxBytes;
    record.mailboxMessages = &settings.mailboxMessages;
    record.list = &list;
    record.callback = &callback;
    record.timeoutSeconds = options.timeoutSeconds;
    record.quiet = options.quiet;
    record.host = options.host;
    return record;
}

} // namespace

OperationOutcome checkMailbox(const Account& account, Settings& settings, const Filters& filters,
                              MessageList& list, const EntryCallback& onEntry,
                              const OperationOptions& options) {
    OperationRecord record = wholeListRecord(account, settings, list, onEntry, options);
    record.filters = &filters;
    return start(record, checkStep);
}

OperationOutcome fetchMessageText(const Account& account, Settings& settings, MessageEntry& entry,
                                  const OperationOptions& options) {
    OperationRecord record{account, settings};
    record.entry = &entry;
    record.timeoutSeconds = options.timeoutSeconds;
    record.quiet = options.quiet;
    record.host = options.host;
    return start(record, fetchStep);
}

OperationOutcome updateMailbox(const Account& account, Settings& settings, const Filters& filters,
                               const MessageList& list, MailboxUpdate& update,
                               const OperationOptions& options) {
    update = {};
    OperationRecord record{account, settings};
    record.filters = &filters;
    record.timeoutSeconds = options.timeoutSeconds;
    record.quiet = options.quiet;
    record.host = options.host;
    record.compared = &list;
    record.update = &update;
    OperationOutcome outcome = start(record, updateStep);
    // Only a whole update is of use: the caller's list stays as it was otherwise.
    if (outcome.result != OperationResult::Completed)
        update.arrived.clear();
    return outcome;
}

OperationOutcome removeMarkedMessages(const Account& account, Settings& settings, MessageList& list,
                                      const EntryCallback& onRemoved,
                                      const OperationOptions& options) {
    OperationRecord record = wholeListRecord(account, settings, list, onRemoved, options);
    return start(record, removeStep);
}

std::string checkReport(const OperationOutcome& outcome, const std::string& address) {
    switch (outcome.result) {
    case OperationResult::Completed: {
        if (outcome.listed > 0)
            return {};
        if (outcome.mailboxCount == 0)
            return filled(translate("toppeek::operations::MailboxOperations",
                                    "There are no messages in the mailbox of %1."),
                          {address});
        const int n = static_cast<int>(std::min<long>(outcome.mailboxCount, INT_MAX));
        return filled(n == 1 ? translate("toppeek::operations::MailboxOperations",
                                         "The mailbox of %1 holds %n message, but the preferences "
                                         "are set to list no message.",
                                         nullptr, n)
                             : translate("toppeek::operations::MailboxOperations",
                                         "The mailbox of %1 holds %n messages, but the "
                                         "preferences are set to list no message.",
                                         nullptr, n),
                      {address});
    }
    case OperationResult::BrokeOff:
        if (outcome.listed == 0)
            return filled(translate("toppeek::operations::MailboxOperations",
                                    "Could not read the mailbox of %1: %2."),
                          {address, outcome.reason});
        return filled(translate("toppeek::operations::MailboxOperations",
                                "Only %1 of %2 messages of the mailbox of %3 were listed: %4."),
                      {std::to_string(outcome.listed), std::to_string(outcome.toList), address,
                       outcome.reason});
    case OperationResult::NoConnection:
    case OperationResult::LoginRefused:
    case OperationResult::NoAnswer:
        // Empty unless the check was quiet: the box said it then.
        return outcome.reason;
    default:
        return {};
    }
}

// Each sentence with a count has its English source picked by the English plural; a translation
// gives both all the plural forms of its language.
std::string removalReport(const OperationOutcome& outcome) {
    std::string text;
    auto line = [&text](const std::string& sentence) {
        if (!text.empty())
            text += '\n';
        text += sentence;
    };
    if (const int n = outcome.gone; n > 0)
        line(n == 1 ? translate("toppeek::operations::MailboxOperations",
                                "%n marked message was no longer on the server and left the list.",
                                nullptr, n)
                    : translate("toppeek::operations::MailboxOperations",
                                "%n marked messages were no longer on the server and left the "
                                "list.",
                                nullptr, n));
    if (const int n = outcome.changed; n > 0)
        line(n == 1 ? translate("toppeek::operations::MailboxOperations",
                                "%n marked message was not removed: the mailbox changed since the "
                                "check and it could not be told apart. Check the mailbox again.",
                                nullptr, n)
                    : translate("toppeek::operations::MailboxOperations",
                                "%n marked messages were not removed: the mailbox changed since "
                                "the check and they could not be told apart. Check the mailbox "
                                "again.",
                                nullptr, n));
    else if (outcome.mailboxChanged)
        line(translate("toppeek::operations::MailboxOperations",
                       "The mailbox changed since the check: other messages were deleted or "
                       "moved, and the list may show some that the server no longer has. Check "
                       "the mailbox again."));
    if (const int n = outcome.shared; n > 0)
        line(n == 1 ? translate("toppeek::operations::MailboxOperations",
                                "%n marked message was not removed: the server gives the same "
                                "unique-id to more than one message.",
                                nullptr, n)
                    : translate("toppeek::operations::MailboxOperations",
                                "%n marked messages were not removed: the server gives the same "
                                "unique-id to more than one message.",
                                nullptr, n));
    if (const int n = outcome.refused; n > 0)
        line(n == 1 ? translate("toppeek::operations::MailboxOperations",
                                "%n marked message was not removed: the server refused to delete "
                                "it.",
                                nullptr, n)
                    : translate("toppeek::operations::MailboxOperations",
                                "%n marked messages were not removed: the server refused to "
                                "delete them.",
                                nullptr, n));
    const bool endedEarly =
        outcome.result == OperationResult::BrokeOff ||
        (outcome.result == OperationResult::Cancelled &&
         (outcome.removed > 0 || outcome.notReached > 0 || outcome.unconfirmed > 0));
    if (endedEarly) {
        const std::string why =
            outcome.result == OperationResult::Cancelled
                ? translate("toppeek::operations::MailboxOperations", "it was cancelled")
                : outcome.reason;
        line(filled(translate("toppeek::operations::MailboxOperations",
                              "The removal did not end properly (%1)."),
                    {why}));
        if (const int n = outcome.removed; !outcome.quitAcknowledged && n > 0)
            line(n == 1 ? translate("toppeek::operations::MailboxOperations",
                                    "The server keeps the %n message it was asked to delete; it "
                                    "left the list but the next check lists it again.",
                                    nullptr, n)
                        : translate("toppeek::operations::MailboxOperations",
                                    "The server keeps the %n messages it was asked to delete; "
                                    "they left the list but the next check lists them again.",
                                    nullptr, n));
        if (const int n = outcome.unconfirmed; n > 0)
            line(n == 1 ? translate("toppeek::operations::MailboxOperations",
                                    "%n marked message was sent to the server for deletion, but "
                                    "the server never confirmed it; the server keeps it and it "
                                    "stays marked in the list.",
                                    nullptr, n)
                        : translate("toppeek::operations::MailboxOperations",
                                    "%n marked messages were sent to the server for deletion, but "
                                    "the server never confirmed it; the server keeps them and "
                                    "they stay marked in the list.",
                                    nullptr, n));
        if (const int n = outcome.notReached; n > 0)
            line(n == 1 ? translate("toppeek::operations::MailboxOperations",
                                    "%n marked message was not tried and stays marked in the list.",
                                    nullptr, n)
                        : translate("toppeek::operations::MailboxOperations",
                                    "%n marked messages were not tried and stay marked in the "
                                    "list.",
                                    nullptr, n));
    }
    return text;
}

std::string fetchReport(const OperationOutcome& outcome) {
    if (outcome.result == OperationResult::BrokeOff)
        return filled(translate("toppeek::operations::MailboxOperations",
                                "The message could not be read: %1."),
                      {outcome.reason});
    if (outcome.result != OperationResult::Completed)
        return {};
    switch (outcome.identity) {
    case MessageIdentity::Gone:
        return translate("toppeek::operations::MailboxOperations",
                         "This message is no longer on the server: it was deleted or moved "
                         "since the check. Nothing was fetched; check the mailbox again to see "
                         "what it holds now.");
    case MessageIdentity::Changed:
        return translate("toppeek::operations::MailboxOperations",
                         "This message is no longer on the server as it was listed: the mailbox "
                         "changed since the check. Nothing was fetched; check the mailbox again.");
    case MessageIdentity::Shared:
        return translate("toppeek::operations::MailboxOperations",
                         "The server gives this message's unique-id to more than one message, "
                         "so it cannot tell which one to show. Nothing was fetched.");
    default:
        return {};
    }
}

} // namespace toppeek::operations
