// The things the checker does on a server, each one whole POP3 conversation from the
// connection to QUIT, run on the calling (GUI) thread through an operation host
// (operations/OperationHost.h):
//
//   checkMailbox         lists the first messages of the mailbox with their headers (TOP n 0),
//                        runs the filters on each and appends it to the message list;
//   fetchMessageText     reads the first lines of one listed message into its body;
//   removeMarkedMessages deletes the entries marked for deletion and takes them out of the list;
//   updateMailbox        the automatic check of a listed mailbox: its unique-ids, then the headers
//                        of only the messages the list lacks, for the caller to merge.
//
// Between the check and a later operation the mailbox may have changed under other hands (a mail
// client that downloads and deletes, another device, a server that renumbers), so the removal and
// the fetch first make sure each message is still the one listed: by its unique-id (UIDL) when the
// server gives them, else by its size and its header block. A message that cannot be confirmed is
// never deleted or shown.
//
// Each returns an outcome that says what happened, so that the caller reports only what is true.
// A failed connection or log-in is told through the host by the operation itself; everything
// else is for the caller to tell (see the report functions below). A server certificate that
// fails the check is put to the host with the question whether to trust it for that server; on yes
// the trust goes into the settings with the account (storage/AccountOptions.h) and the log-in is
// tried again.
#pragma once

#include "messages/Filters.h"
#include "messages/ListUpdate.h"
#include "messages/MessageEntry.h"
#include "messages/MessageList.h"
#include "operations/OperationHost.h"
#include "storage/Settings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace toppeek::operations {

// One reply buffer of this size serves all TOP replies of an operation; a longer reply keeps its
// beginning and its end.
inline constexpr int kReplyBufferSize = 20000;
// Longest single wait on the server.
inline constexpr std::uint32_t kConnectionTimeoutSeconds = 120;

struct OperationOptions {
    std::uint32_t timeoutSeconds = kConnectionTimeoutSeconds;
    // A failed connection or log-in is not told through the host but left in the outcome's reason,
    // for the caller to tell where it sees fit (checks nobody asked for).
    bool quiet = false;
    // Where the operation shows its progress and asks the user; without one it runs silently
    // (see SilentHost).
    OperationHost* host = nullptr;
};

enum class OperationResult {
    Completed,    // ran to its end
    Cancelled,    // the user cancelled it
    Busy,         // another operation was running; nothing was done
    NoConnection, // no connection could be made (told through the host unless quiet)
    LoginRefused, // the server refused the log-in (told through the host unless quiet)
    NoAnswer,     // the server stopped answering or hung up during the log-in (likewise)
    BrokeOff,     // the conversation ended early after the log-in; reason says why
};
// For NoConnection, LoginRefused and NoAnswer of a quiet operation the outcome's reason holds
// the text the host would have been told.

// Whether the message an entry was listed as is still on the server under a number.
enum class MessageIdentity {
    Unknown,   // not looked at (the operation ended before)
    Confirmed, // found, by its unique-id or by its size and header block
    Gone,      // its unique-id is no longer on the server
    Changed,   // without unique-ids: the message under its number is not the one listed
    Shared,    // the server gives its unique-id to more than one message
};

struct OperationOutcome {
    OperationResult result = OperationResult::Completed;
    // Why the conversation broke off, in a few words ("the connection was lost").
    std::string reason;
    // A refused log-in: the response code of the refusal ("AUTH", "SYS/TEMP"), empty for none.
    std::string refusalCode;
    // Check: the messages listed, how many it was to list (-1 when STAT did not answer) and how
    // many the server said the mailbox holds (-1 likewise).
    long listed = 0;
    long toList = -1;
    long mailboxCount = -1;
    // Removal: what became of the marked entries.
    int removed = 0;    // DELE accepted; carried out by the server only with quitAcknowledged
    int gone = 0;       // no longer on the server; taken out of the list
    int changed = 0;    // could not be confirmed as the listed message; kept, still marked
    int shared = 0;     // unique-id shared by several messages; kept, still marked
    int refused = 0;    // DELE refused; kept, still marked
    int notReached = 0; // not tried because the removal ended early; kept, still marked
    // DELE sent but never answered (the connection broke); the server keeps them without an
    // acknowledged QUIT; kept, still marked.
    int unconfirmed = 0;
    // Without unique-ids: the server holds fewer messages than the list names, so messages the
    // list still shows were deleted or moved by other hands since the check.
    bool mailboxChanged = false;
    bool quitAcknowledged = false;
    // Fetch: what was found of the entry's message.
    MessageIdentity identity = MessageIdentity::Unknown;

    // The old meaning of the result: true unless cancelled or refused as a second operation.
    explicit operator bool() const {
        return result != OperationResult::Cancelled && result != OperationResult::Busy;
    }
};

// Called with an index, so that the list view can keep in step.
using EntryCallback = std::function<void(int)>;

// Empties nothing: new entries are appended. Lists the messages 1 to the smaller of the mailbox's
// count and settings.maxMessages, in order, each with its unique-id when the server gives them;
// onEntry is called after each append with the message number - 1. settings.mailboxBytes becomes
// the total size of the messages listed, settings.mailboxMessages the mailbox's count.
OperationOutcome checkMailbox(const storage::Account& account, storage::Settings& settings,
                              const messages::Filters& filters, messages::MessageList& list,
                              const EntryCallback& onEntry, const OperationOptions& options = {});

// What updateMailbox found; the list it was given is left alone, so that an update that fails or
// is cancelled leaves the list as it was.
struct MailboxUpdate {
    // The server gave unique-ids that can be trusted. Without them nothing else is filled in and
    // only a whole check can bring the list up to date.
    bool byUniqueIds = false;
    // The server's numbering now, for messages::mergeServerListing.
    messages::UniqueIdMap uniqueIds;
    // The messages among the first maxMessages that the list did not hold, read and filtered as
    // the check reads them, in number order; empty unless the update was completed.
    std::vector<std::unique_ptr<messages::MessageEntry>> arrived;
};

// An automatic check of a listed mailbox: the mailbox's unique-ids first (STAT and UIDL), then
// LIST and TOP only for the messages that the account's entries in list do not stand for
// (messages::numbersNotListed). outcome.listed is how many were read, toList and mailboxCount as
// for checkMailbox; settings are not written.
OperationOutcome updateMailbox(const storage::Account& account, storage::Settings& settings,
                               const messages::Filters& filters, const messages::MessageList& list,
                               MailboxUpdate& update, const OperationOptions& options = {});

// Finds the entry's message on the server (outcome.identity) and only when it is confirmed reads
// it with TOP and settings.bodyLines lines: its body becomes what follows the header's blank line
// (empty without one), bodyCutAt where the reply buffer cut it, bodyLoaded is set, and
// messageNumber becomes the number it has now.
OperationOutcome fetchMessageText(const storage::Account& account, storage::Settings& settings,
                                  messages::MessageEntry& entry,
                                  const OperationOptions& options = {});

// Sends DELE for every entry marked MarkedForDelete whose message is confirmed, under the number
// it has now, in list order; each accepted one is taken out of the list and released, and
// onRemoved is called with the index it had. A marked message that is no longer on the server is
// taken out the same way. With unique-ids, the entries left are numbered from the server's
// listing: as it numbers them after the deletions when it acknowledges QUIT (and so carries them
// out), as it numbers them now otherwise; entries whose messages have gone leave the list, and
// mail that arrived since the check is not listed. Without unique-ids the numbers are worked out
// from the deletions. settings.mailboxBytes becomes the total size of the entries left in the
// list.
OperationOutcome removeMarkedMessages(const storage::Account& account, storage::Settings& settings,
                                      messages::MessageList& list, const EntryCallback& onRemoved,
                                      const OperationOptions& options = {});

// The texts the caller shows after an operation; empty when nothing needs saying (a failed log-in
// was shown already, a cancel needs no word, a complete removal or fetch speaks for itself). A
// quiet check's failed log-in is said here.
// address names the mailbox.
std::string checkReport(const OperationOutcome& outcome, const std::string& address);
std::string removalReport(const OperationOutcome& outcome);
std::string fetchReport(const OperationOutcome& outcome);

} // namespace toppeek::operations
