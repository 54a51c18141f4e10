#include "messages/Filters.h"

#include <algorithm>
#include <optional>

#include "core/Text.h"
#include "messages/Address.h"
#include "messages/MailText.h"

namespace toppeek::messages {

using core::compareNoCase;
using core::findTextN;

namespace {

// Buffer sizes of the address lookups: a sender's address and domain are
// taken up to 99 characters, the addresses compared by markNotAddressed up
// to 254.
constexpr int senderBufferSize = 100;
constexpr int recipientBufferSize = 255;

// The editor's rule input holds at most this many characters.
constexpr std::size_t copiedTextLength = 198;

std::string senderDomain(const MessageEntry& entry) {
    std::string domain;
    if (!entry.from || entry.from->empty())
        return domain;
    std::string address;
    std::size_t position = 0;
    if (findFirstAddress(address, senderBufferSize, *entry.from, position))
        domainOf(domain, senderBufferSize, address);
    return domain;
}

// The domain of the first valid address in text; false when there is none.
bool firstAddressDomain(const std::string& text, std::string& domain) {
    std::string address;
    std::size_t position = 0;
    if (!findFirstAddress(address, recipientBufferSize, text, position))
        return false;
    domainOf(domain, recipientBufferSize, address);
    return true;
}

} // namespace

Filters::Filters()
    : rules(initialCapacity, growBy, destroyFilterRule),
      bannedDomains(initialCapacity, growBy, false),
      friendlyDomains(initialCapacity, growBy, false) {}

std::unique_ptr<Filters> createFilters() {
    return std::make_unique<Filters>();
}

void destroyFilters(std::unique_ptr<Filters> filters) {
    filters.reset();
}

std::unique_ptr<FilterRule> createFilterRule() {
    auto rule = std::make_unique<FilterRule>();
    rule->fromText.reserve(FilterRule::kMaxTextLength);
    rule->subjectText.reserve(FilterRule::kMaxTextLength);
    rule->headersText.reserve(FilterRule::kMaxTextLength);
    return rule;
}

void copyFilterRule(FilterRule& destination, const FilterRule& source) {
    destination.active = source.active;
    destination.kind = source.kind;
    destination.spareFlag = source.spareFlag;
    destination.fromText = source.fromText.substr(0, copiedTextLength);
    destination.subjectText = source.subjectText.substr(0, copiedTextLength);
    destination.headersText = source.headersText.substr(0, copiedTextLength);
}

std::unique_ptr<FilterRule> cloneFilterRule(const FilterRule& source) {
    auto rule = std::make_unique<FilterRule>();
    rule->active = source.active;
    rule->kind = source.kind;
    rule->spareFlag = source.spareFlag;
    rule->fromText = source.fromText;
    rule->subjectText = source.subjectText;
    rule->headersText = source.headersText;
    return rule;
}

void destroyFilterRule(FilterRule* rule) {
    delete rule;
}

namespace {

bool containsText(std::string_view text, std::string_view wanted) {
    // Searched over the full lengths: a header block may hold zero bytes.
    return findTextN(text.data(), static_cast<unsigned>(text.size()), wanted.data(),
                     static_cast<unsigned>(wanted.size()), false) >= 0;
}

// Whether a text reads differently once decoded; plain ASCII without encoded words does not.
bool decodes(std::string_view text) {
    return text.find("=?") != std::string_view::npos ||
           std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

const char* ruleName(RuleKind kind) {
    switch (kind) {
    case RuleKind::FromContains:
        return "From rule: ";
    case RuleKind::SubjectContains:
        return "Subject rule: ";
    case RuleKind::HeadersContain:
        return "Headers rule: ";
    }
    return "Rule: ";
}

// The header block decoded once for all the rules tried on one entry.
struct DecodedHeaders {
    std::optional<std::string> text;
};

bool matches(const MessageEntry& entry, const FilterRule& rule, DecodedHeaders& decoded) {
    if (rule.active == 0)
        return false;
    const std::string* text = nullptr;
    const std::string* wanted = nullptr;
    ShownField shown = ShownField::From;
    switch (rule.kind) {
    case RuleKind::FromContains:
        text = entry.from ? &*entry.from : nullptr;
        wanted = &rule.fromText;
        break;
    case RuleKind::SubjectContains:
        text = entry.subject ? &*entry.subject : nullptr;
        wanted = &rule.subjectText;
        shown = ShownField::Subject;
        break;
    case RuleKind::HeadersContain:
        text = &entry.headerText;
        wanted = &rule.headersText;
        break;
    default:
        return false; // a kind byte from a damaged file
    }
    if (!text)
        return false;
    if (containsText(*text, *wanted))
        return true;
    // A rule typed as the user reads the text matches the decoded text too.
    if (!decodes(*text))
        return false;
    const std::string wantedShown = utf8FromBytes(*wanted);
    if (rule.kind == RuleKind::HeadersContain) {
        if (!decoded.text)
            decoded.text = decodeHeaderBlock(*text);
        return containsText(*decoded.text, wantedShown);
    }
    std::string scratch;
    return containsText(shownText(entry, shown, scratch), wantedShown);
}

} // namespace

bool ruleMatches(const MessageEntry& entry, const FilterRule& rule) {
    DecodedHeaders decoded;
    return matches(entry, rule, decoded);
}

std::string ruleMarkReason(const FilterRule& rule) {
    const std::string& text = rule.kind == RuleKind::FromContains      ? rule.fromText
                              : rule.kind == RuleKind::SubjectContains ? rule.subjectText
                                                                       : rule.headersText;
    return ruleName(rule.kind) + utf8FromBytes(text);
}

bool firstMatchingRule(MessageEntry& entry, const FilterRuleList& rules) {
    DecodedHeaders decoded;
    for (const FilterRule* rule : rules) {
        if (matches(entry, *rule, decoded)) {
            entry.mark = MarkState::MarkedForDelete;
            entry.markReason = ruleMarkReason(*rule);
            return true;
        }
    }
    return false;
}

bool evaluateFilters(MessageEntry& entry, const Filters& filters) {
    const std::string domain = senderDomain(entry);
    if (filters.friendlyEnabled && filters.friendlyDomains.find(domain) >= 0) {
        entry.mark = MarkState::Unmarked;
        entry.markReason = "Friendly domain: " + utf8FromBytes(domain) + ", kept unmarked";
        return false;
    }
    if (filters.bannedEnabled && filters.bannedDomains.find(domain) >= 0) {
        entry.mark = MarkState::MarkedForDelete;
        entry.markReason = "Banned domain: " + utf8FromBytes(domain);
        return true;
    }
    return filters.rulesEnabled && firstMatchingRule(entry, filters.rules);
}

int applyFilters(MessageList& list, const Filters& filters) {
    int marked = 0;
    for (MessageEntry* entry : list) {
        evaluateFilters(*entry, filters);
        if (entry->mark != MarkState::Unmarked)
            ++marked;
    }
    return marked;
}

int markNotAddressed(MessageList& list, const std::string& accountAddress) {
    std::string accountDomain;
    if (!firstAddressDomain(accountAddress, accountDomain))
        return 0;
    int marked = 0;
    std::string domain;
    for (MessageEntry* entry : list) {
        const bool addressed = entry->to && firstAddressDomain(*entry->to, domain) &&
                               compareNoCase(domain.c_str(), accountDomain.c_str()) == 0;
        entry->mark = addressed ? MarkState::Unmarked : MarkState::MarkedForDelete;
        entry->markReason =
            addressed ? std::string() : "Not addressed to " + utf8FromBytes(accountDomain);
        if (!addressed)
            ++marked;
    }
    return marked;
}

} // namespace toppeek::messages
