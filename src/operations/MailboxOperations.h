// The three things the checker does on a server, each one whole POP3 conversation from the
// connection to QUIT, run on the calling (GUI) thread under the progress dialog:
//
//   checkMailbox         lists the first messages of the mailbox with their headers (TOP n 0),
//                        runs the filters on each and appends it to the message list;
//   fetchMessageText     reads the first lines of one listed message into its body;
//   removeMarkedMessages deletes the entries marked for deletion and takes them out of the list.
//
// Each returns true when it ran to its end, false when the user cancelled it or another
// operation was already running. Server failures are not part of the result: a failed login is
// shown in a message box; a later failure ends the conversation early without a message, and the
// caller sees what was done in the list and the entry.
#pragma once

#include "messages/Filters.h"
#include "messages/MessageEntry.h"
#include "messages/MessageList.h"
#include "storage/Settings.h"

#include <cstdint>
#include <functional>

namespace toppeek::operations {

// One reply buffer of this size serves all TOP replies of an operation; a longer reply keeps its
// beginning and its end.
inline constexpr int kReplyBufferSize = 20000;
// Longest single wait on the server.
inline constexpr std::uint32_t kConnectionTimeoutSeconds = 120;

struct OperationOptions {
    std::uint32_t timeoutSeconds = kConnectionTimeoutSeconds;
};

// Called with an index, so that the list view can keep in step.
using EntryCallback = std::function<void(int)>;

// Empties nothing: new entries are appended. Lists the messages 1 to the smaller of the mailbox's
// count and settings.maxMessages, in order; onEntry is called after each append with the message
// number - 1. settings.mailboxBytes becomes the total size of the messages listed.
bool checkMailbox(const Account& account, Settings& settings, const Filters& filters,
                  MessageList& list, const EntryCallback& onEntry,
                  const OperationOptions& options = {});

// Reads the entry's message with TOP and settings.bodyLines lines; on success its body becomes
// what follows the header's blank line (empty without one) and bodyLoaded is set.
bool fetchMessageText(const Account& account, const Settings& settings, MessageEntry& entry,
                      const OperationOptions& options = {});

// Sends DELE for every entry marked MarkedForDelete, in list order; each accepted one is taken
// out of the list and released, and onRemoved is called with the index it had. When the server
// acknowledges QUIT (and so carries out the deletions), the remaining entries are renumbered the
// way the server now numbers them; otherwise they keep their numbers, which still name the same
// messages. settings.mailboxBytes becomes the total size of the entries left in the list.
bool removeMarkedMessages(const Account& account, Settings& settings, MessageList& list,
                          const EntryCallback& onRemoved, const OperationOptions& options = {});

} // namespace toppeek::operations
