#include "operations/MailboxOperations.h"

#include "mail/Pop3.h"
#include "operations/MsgBox.h"
#include "operations/ProgramInfo.h"
#include "operations/ProgressDialog.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace toppeek::operations {

namespace {

using mail::ConnectionControl;
using mail::Pop3Session;

const char* const kOperationTitle = "TopPeek - talking to the mail server";

// What one started operation works with; the work step gets it from the runner.
struct OperationRecord {
    const Account& account;
    const Settings& settings;
    // Where the check and the removal leave the total size of the listed messages.
    std::uint32_t* mailboxBytes = nullptr;
    MessageList* list = nullptr;
    const Filters* filters = nullptr;
    MessageEntry* entry = nullptr;
    const EntryCallback* callback = nullptr;
    std::uint32_t timeoutSeconds = kConnectionTimeoutSeconds;
    int removed = 0;
};

using Operation = void (*)(OperationRecord&, ConnectionControl&);

// The connection layer runs the idle step in every pass of every wait; while an operation runs
// it keeps the dialog and the windows answering.
class IdleStepInstalled {
public:
    IdleStepInstalled() { mail::setIdleStep(idleStep); }
    ~IdleStepInstalled() { mail::setIdleStep({}); }
    IdleStepInstalled(const IdleStepInstalled&) = delete;
    IdleStepInstalled& operator=(const IdleStepInstalled&) = delete;
};

void runOperation(OperationRecord& record, Operation operation) {
    setProgressCaption("%s", kOperationTitle);
    ConnectionControl control;
    control.statusCallback = showConnectStatus;
    control.connectTries = 1;
    control.cancelQuery = [](ConnectionControl& c) { return cancelRequested(&c); };
    control.timeoutEnabled = true;
    control.timeoutSeconds = record.timeoutSeconds;
    operation(record, control);
}

bool start(OperationRecord& record, Operation operation) {
    // An operation started from an event handler while another runs is refused before it
    // touches anything: clearing the cancel flag or the idle step here would take the running
    // operation's cancel and its event processing away.
    if (progressBusy())
        return false;
    setCancelFlag(false);
    IdleStepInstalled idle;
    return runWithProgress([&] { runOperation(record, operation); },
                           [] { return confirmCancel(); });
}

// Logs in as the operations share it. A failure is shown whatever caused it, a cancel included,
// because the user must know that the mailbox was not read.
bool logIn(const OperationRecord& record, Pop3Session& session, ConnectionControl& control) {
    const Account& account = record.account;
    int result =
        record.settings.useApop != 0
            ? mail::pop3LoginApop(session, account.host, account.userName, account.password,
                                  control)
            : mail::pop3Login(session, account.host, account.userName, account.password, control);
    if (result == mail::kLoginNoConnection && !control.failureReason.empty())
        msgBox(kMbInformation, kProgramTitle, "Could not connect to the mail server %s.\n%s",
               account.host.c_str(), control.failureReason.c_str());
    else if (result == mail::kLoginNoConnection)
        msgBox(kMbInformation, kProgramTitle, "Could not connect to the mail server %s.",
               account.host.c_str());
    else if (result == mail::kLoginRefused)
        msgBox(kMbInformation, kProgramTitle, "Could not log in to the mail server %s as %s.",
               account.host.c_str(), account.userName.c_str());
    return result == mail::kLoginOk;
}

// Ends the conversation. True only when the server acknowledged QUIT, which is when it carries
// out the deletions.
bool finish(Pop3Session& session) {
    bool acknowledged = mail::pop3Quit(session);
    mail::closeConnection(session.socket);
    session.socket = mail::kInvalidSocket;
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

void checkStep(OperationRecord& record, ConnectionControl& control) {
    const Settings& settings = record.settings;
    *record.mailboxBytes = 0;
    Pop3Session session;
    if (!logIn(record, session, control))
        return;
    auto buffer = newReplyBuffer();
    long count = 0;
    long octets = 0;
    bool ok = mail::pop3Stat(session, count, octets);
    for (long i = 1; ok && i <= count && i <= settings.maxMessages && progressRunning(); ++i) {
        setProgressLine("Reading message %ld of %ld", i, count);
        setProgressBar(clampToInt(i), clampToInt(count));
        processPendingEvents();
        long size = 0;
        ok = mail::pop3List(session, i, size) &&
             mail::pop3Top(session, i, 0, buffer.get(), kReplyBufferSize);
        if (!ok)
            break;
        std::unique_ptr<MessageEntry> entry = createMessageEntry(buffer.get());
        entry->accountTag = static_cast<std::uint16_t>(record.account.accountTag);
        entry->messageNumber = static_cast<std::int32_t>(i);
        entry->size = messageSize(size);
        entry->mark = MarkState::Unmarked;
        entry->bodyLoaded = false;
        evaluateFilters(*entry, *record.filters);
        *record.mailboxBytes = addBytes(*record.mailboxBytes, entry->size);
        if (record.list->append(entry.get()) < 0)
            break;
        entry.release();
        if (*record.callback)
            (*record.callback)(static_cast<int>(i - 1));
    }
    buffer.reset();
    finish(session);
}

void fetchStep(OperationRecord& record, ConnectionControl& control) {
    Pop3Session session;
    if (!logIn(record, session, control))
        return;
    auto buffer = newReplyBuffer();
    processPendingEvents();
    MessageEntry& entry = *record.entry;
    if (mail::pop3Top(session, entry.messageNumber, record.settings.bodyLines, buffer.get(),
                      kReplyBufferSize)) {
        std::string_view text(buffer.get());
        int bodyStart = findBodyStart(text);
        entry.body = bodyStart < 0 ? std::string() : std::string(text.substr(bodyStart));
        entry.bodyLoaded = true;
    }
    buffer.reset();
    finish(session);
}

// Each entry's new number is its old one less the deleted messages numbered below it: the
// numbering the server gives the remaining messages once it has carried out the deletions.
void renumber(MessageList& list, std::vector<std::int32_t> deleted) {
    std::sort(deleted.begin(), deleted.end());
    for (MessageEntry* entry : list) {
        auto below = std::lower_bound(deleted.begin(), deleted.end(), entry->messageNumber);
        entry->messageNumber -= static_cast<std::int32_t>(below - deleted.begin());
    }
}

void removeStep(OperationRecord& record, ConnectionControl& control) {
    Pop3Session session;
    if (!logIn(record, session, control))
        return;
    MessageList& list = *record.list;
    setProgressLine("Removing marked messages");
    std::vector<std::int32_t> deleted;
    for (int i = 0; progressRunning() && i < list.count(); ++i) {
        MessageEntry* entry = list.at(i);
        processPendingEvents();
        if (entry->mark == MarkState::MarkedForDelete &&
            mail::pop3Dele(session, entry->messageNumber)) {
            entry->mark = MarkState::Deleted;
            deleted.push_back(entry->messageNumber);
            ++record.removed;
            list.removeAt(i);
            destroyMessageEntry(entry);
            if (*record.callback)
                (*record.callback)(i);
            --i;
        }
    }
    // Counted over the whole list rather than the entries the loop looked at, so that a cancel
    // part-way leaves the right total too.
    std::uint32_t bytes = 0;
    for (const MessageEntry* entry : list)
        bytes = addBytes(bytes, entry->size);
    *record.mailboxBytes = bytes;
    // Without an acknowledged QUIT the server keeps every message under its old number, and so
    // do the entries; the removed ones come back with the next check.
    if (finish(session))
        renumber(list, std::move(deleted));
}

} // namespace

bool checkMailbox(const Account& account, Settings& settings, const Filters& filters,
                  MessageList& list, const EntryCallback& onEntry,
                  const OperationOptions& options) {
    OperationRecord record{account, settings};
    record.mailboxBytes = &settings.mailboxBytes;
    record.list = &list;
    record.filters = &filters;
    record.callback = &onEntry;
    record.timeoutSeconds = options.timeoutSeconds;
    return start(record, checkStep);
}

bool fetchMessageText(const Account& account, const Settings& settings, MessageEntry& entry,
                      const OperationOptions& options) {
    OperationRecord record{account, settings};
    record.entry = &entry;
    record.timeoutSeconds = options.timeoutSeconds;
    return start(record, fetchStep);
}

bool removeMarkedMessages(const Account& account, Settings& settings, MessageList& list,
                          const EntryCallback& onRemoved, const OperationOptions& options) {
    OperationRecord record{account, settings};
    record.mailboxBytes = &settings.mailboxBytes;
    record.list = &list;
    record.callback = &onRemoved;
    record.timeoutSeconds = options.timeoutSeconds;
    return start(record, removeStep);
}

} // namespace toppeek::operations
