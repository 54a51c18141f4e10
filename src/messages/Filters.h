// The filter set: ordered rejection rules, banned and friendly sender
// domains, each part with its own switch, and the evaluation that marks
// listed messages for deletion.
#pragma once

#include "core/GrowArray.h"
#include "core/TextList.h"
#include "messages/MessageEntry.h"
#include "messages/MessageList.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace toppeek::messages {

// Stored as one byte; a byte read from a file outside 0..2 is kept as it is
// and such a rule never matches.
enum class RuleKind : std::uint8_t { FromContains = 0, SubjectContains = 1, HeadersContain = 2 };

struct FilterRule {
    // The longest rule text the program keeps (the file reader's limit too).
    static constexpr int kMaxTextLength = 199;
    static constexpr int reservedSize = 10;

    std::uint8_t active = 1; // takes part in matching only when not 0
    RuleKind kind = RuleKind::FromContains;
    // All three texts are kept although only the one of kind is used, so
    // that switching the kind in the editor and back loses nothing.
    std::string fromText;
    std::string subjectText;
    std::string headersText;
    std::uint8_t spareFlag = 0;                        // kept and stored, never used
    std::array<std::uint8_t, reservedSize> reserved{}; // kept and stored
};

using FilterRuleList = core::GrowArray<FilterRule>;

struct Filters {
    static constexpr int initialCapacity = 10;
    static constexpr int growBy = 5;

    Filters();

    // Owns its rules (released with destroyFilterRule). The record writer
    // and reader hooks are left empty here: the filters file code installs
    // its own before writing or reading the list.
    FilterRuleList rules;
    // Sorted byte-wise, no duplicates; compared with the sender's domain as
    // whole texts, case-sensitively.
    core::TextList bannedDomains;
    core::TextList friendlyDomains;
    // Switch bytes: 0 off, anything else on.
    std::uint8_t rulesEnabled = 0;
    std::uint8_t bannedEnabled = 0;
    std::uint8_t friendlyEnabled = 0;
};

// An empty set with all switches off.
std::unique_ptr<Filters> createFilters();
void destroyFilters(std::unique_ptr<Filters> filters);

// active 1, kind FromContains, three empty texts, spareFlag 0, reserved zero.
std::unique_ptr<FilterRule> createFilterRule();
// Copies active, kind, spareFlag and the three texts, each cut to 198
// characters (the editor's input limit); reserved is not copied.
void copyFilterRule(FilterRule& destination, const FilterRule& source);
// A new rule with active, kind, spareFlag and the texts of source;
// reserved is zero.
std::unique_ptr<FilterRule> cloneFilterRule(const FilterRule& source);
// The release function of the rule list; null is ignored.
void destroyFilterRule(FilterRule* rule);

// Friendly domain first (clears the mark, also a hand-set one), then banned
// domain, then the rules (either sets the mark); with no match the mark
// stays. True when the entry was marked by a domain or a rule.
// Each sets the entry's markReason to what decided ("Banned domain:
// example.biz", "Subject rule: lottery", "Friendly domain: example.org,
// kept unmarked"); with no match the reason stays with the mark.
bool evaluateFilters(MessageEntry& entry, const Filters& filters);

// evaluateFilters on every entry, first to last; returns how many entries
// are marked afterwards, hand marks included.
int applyFilters(MessageList& list, const Filters& filters);

// True when an active rule's text occurs (ASCII case-insensitive) in the
// entry text its kind names, as stored or as decoded for reading (From and
// Subject as the list shows them, the header block by decodeHeaderBlock).
bool ruleMatches(const MessageEntry& entry, const FilterRule& rule);

// What a mark by rule says: "Subject rule: lottery".
std::string ruleMarkReason(const FilterRule& rule);

// Marks the entry and returns true at the first rule that matches.
bool firstMatchingRule(MessageEntry& entry, const FilterRuleList& rules);

// Marks every entry whose first valid To address is not at the domain of
// accountAddress (ASCII case-insensitive) and unmarks all others. Returns
// the number marked; 0 without touching any mark when accountAddress holds
// no valid address.
int markNotAddressed(MessageList& list, const std::string& accountAddress);

} // namespace toppeek::messages
