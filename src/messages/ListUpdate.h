// Bringing a listed mailbox up to date from the server's unique-ids without reading again what the
// list already holds: the entries of messages still on the server stay (with their marks, the
// texts already read and the rows the user has in view), those of messages gone leave, and only
// the messages not listed yet are read.
#pragma once

#include "messages/MessageList.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace toppeek::messages {

// The server's numbering as a UIDL listing gave it: number to unique-id, for the whole mailbox.
using UniqueIdMap = std::map<long, std::string>;

// The numbers from 1 to toList whose messages the account's entries in list do not stand for:
// no entry carries their unique-id, or the server gives that unique-id to more than one message
// (which is then read again, as a check reads it). In number order.
std::vector<long> numbersNotListed(const MessageList& list, std::uint16_t accountTag,
                                   const UniqueIdMap& uniqueIds, long toList);

// Told of each index a row leaves or joins the list at, so that a view can keep in step.
using ListChanged = std::function<void(int index)>;

// Takes the account's entries whose messages are no longer among the first toList on the server
// out of list (released; onRemoved is called with the index each had), gives the others the
// numbers the server gives them now, and puts arrived, which holds entries for the numbers
// numbersNotListed named, in number order, behind the account's last entry (at the end when it
// has none; onInserted is called with each new index). Entries of other accounts are left alone.
// Returns how many entries joined the list.
int mergeServerListing(MessageList& list, std::uint16_t accountTag, const UniqueIdMap& uniqueIds,
                       long toList, std::vector<std::unique_ptr<MessageEntry>> arrived,
                       const ListChanged& onRemoved = {}, const ListChanged& onInserted = {});

// For a mailbox read again in full because it gives no unique-ids: each entry of fresh takes over
// what the user did with the account's entry in earlier that stands for the same message (its
// mark and why, the text already read), found by its size and header block, each earlier entry
// used once.
void carryOverState(const MessageList& earlier, std::uint16_t accountTag, MessageList& fresh);

// Replaces the account's entries in list with those of fresh (which gives them up), placed where
// the account's first entry was (at the end when it had none). The callbacks as above.
void replaceAccountEntries(MessageList& list, std::uint16_t accountTag, MessageList& fresh,
                           const ListChanged& onRemoved = {}, const ListChanged& onInserted = {});

} // namespace toppeek::messages
