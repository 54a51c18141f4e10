// One listed message: the fields the list shows, filters look at and the
// viewer needs, built from the header block that TOP n 0 returned.
#pragma once

#include "messages/MailDate.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace toppeek::messages {

enum class MarkState : std::uint8_t { Unmarked = 0, MarkedForDelete = 1, Deleted = 2 };

// Limits of one header lookup: a field name is read up to 249 characters,
// one physical line of its value up to 8047 (also the limit of the value
// of a folded field after its lines are joined).
inline constexpr int maxHeaderNameLength = 249;
inline constexpr int maxHeaderValueLength = 8047;

struct MessageEntry {
    std::uint16_t accountTag = 0;
    std::int32_t messageNumber = 0; // 1-based number on the server
    MailDate date;                  // all zero without a Date field
    std::int32_t size = 0;          // octets as LIST reported them
    MarkState mark = MarkState::Unmarked;
    // Absent when the header has no such field; an empty field gives "".
    // Every reader treats an absent text as the empty text.
    std::optional<std::string> to;
    std::optional<std::string> from;
    std::optional<std::string> subject;
    std::optional<std::string> body; // absent until the message is viewed
    // Where in body the reply buffer cut the fetched lines (what follows is the reply's last
    // bytes), kNotCut when they fitted.
    static constexpr std::size_t kNotCut = std::string::npos;
    std::size_t bodyCutAt = kNotCut;
    std::string headerText; // the whole header block as received
    bool bodyLoaded = false;
    // The server's unique-id of the message (UIDL), kept only while the program runs; empty when
    // the server gave none. It is what tells the message apart once the server has renumbered.
    std::string uniqueId;
    // The server gave this unique-id to more than one message, so it names none of them for
    // sure: such a message is neither viewed nor removed.
    bool uniqueIdShared = false;
    // The check that listed the message found it new: the account's check before did not list
    // it. Run time only.
    bool isNew = false;

    // To, From and Subject as a person reads them (encoded words decoded, UTF-8), made once by
    // createMessageEntry for the list to show and sort by; a field that reads as it is stored
    // is left empty here. Absent in an entry put together otherwise, for which shownText
    // decodes when asked.
    struct ShownFields {
        std::string to;
        std::string from;
        std::string subject;
    };
    std::optional<ShownFields> shown;
    // Why the entry carries its mark ("Subject rule: lottery", "Marked by hand"), or why a
    // friendly domain kept it unmarked; empty when nothing has said. UTF-8.
    std::string markReason;
};

enum class ShownField : std::uint8_t { To, From, Subject };

// The text shown for field: the one kept in entry.shown, else the field decoded now into scratch.
// An absent field is the empty text.
std::string_view shownText(const MessageEntry& entry, ShownField field, std::string& scratch);

// Builds an entry from a header block with CRLF line ends: Date, To, From
// and Subject are looked up, the block itself is kept as headerText. An
// unparsable Date gives the current local time. The caller fills in
// accountTag, messageNumber and size.
std::unique_ptr<MessageEntry> createMessageEntry(std::string_view text);

// Releases an entry made by createMessageEntry; null is ignored. This is the
// release function of the message list.
void destroyMessageEntry(MessageEntry* entry);

// Looks up the first field called name (ASCII case-insensitive, the name
// exactly as written before the colon). Physical lines end with CR LF; a
// line without CR, or one longer than the limits, ends the search. Folded
// lines are joined with one space. On success value holds the trimmed value
// and the result is true; otherwise value is empty.
bool findHeaderField(const char* name, std::string_view text, std::string& value);

// The offset just after the first blank line (CR LF CR LF, else LF LF), or
// -1 when there is none.
int findBodyStart(std::string_view text);

} // namespace toppeek::messages
