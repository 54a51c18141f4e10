#include "storage/FiltersFile.h"

#include "core/DataFiles.h"
#include "core/RecordStream.h"
#include "storage/RecordFields.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace toppeek::storage {

using core::compareBytes;
using core::dataFilePath;
using core::RecordStream;
using core::TextList;
using messages::FilterRule;
using messages::Filters;
using messages::RuleKind;

namespace {

constexpr const char* filtersFileName = "toppeek-filters.dat";
constexpr std::string_view kFiltersSignature = "\x1AVARROWCKRFilters";
constexpr int kRuleTextReadSize = FilterRule::kMaxTextLength + 1;
constexpr int kMaxDomainLength = 4095;

void writeDomains(RecordStream& stream, const TextList& list) {
    const int count = std::min(list.count(), maxListCount);
    writeCount(stream, count);
    for (int i = 0; i < count; ++i)
        writeText(stream, *list.at(i), kMaxDomainLength);
}

// Reads a domain list into domains and returns true when the whole list
// arrived; a domain the file cuts off is dropped.
bool readDomains(RecordStream& stream, std::vector<std::string>& domains) {
    const std::optional<int> count = readCount(stream);
    if (!count)
        return false;
    for (int i = 0; i < *count; ++i) {
        std::optional<std::string> domain = readText(stream, kMaxDomainLength + 1);
        if (!domain)
            return false;
        domains.push_back(std::move(*domain));
    }
    return true;
}

// The program writes its lists sorted and without duplicates; a file that
// is not would make the binary-search lookups miss domains it lists.
// Sorting first keeps every add an append.
void fillDomainList(TextList& list, std::vector<std::string> domains) {
    std::sort(domains.begin(), domains.end(),
              [](const std::string& a, const std::string& b) { return compareBytes(a, b) < 0; });
    list.clear();
    for (std::string& domain : domains)
        list.add(std::move(domain));
}

struct FiltersContent {
    std::vector<std::unique_ptr<FilterRule>> rules;
    std::vector<std::string> banned;
    std::vector<std::string> friendly;
    std::uint8_t switches[3] = {0, 0, 0};
};

void readFiltersFields(RecordStream& stream, FiltersContent& content) {
    const std::optional<int> ruleCount = readCount(stream);
    if (!ruleCount)
        return;
    for (int i = 0; i < *ruleCount; ++i) {
        std::unique_ptr<FilterRule> rule = readFilterRule(stream);
        if (!rule)
            return;
        content.rules.push_back(std::move(rule));
    }
    if (!readDomains(stream, content.banned) || !readDomains(stream, content.friendly))
        return;
    for (std::uint8_t& value : content.switches)
        if (!readByte(stream, value))
            return;
}

} // namespace

void writeFilterRule(RecordStream& stream, const FilterRule& rule) {
    writeByte(stream, rule.active);
    writeByte(stream, static_cast<std::uint8_t>(rule.kind));
    writeText(stream, rule.fromText, FilterRule::kMaxTextLength);
    writeText(stream, rule.subjectText, FilterRule::kMaxTextLength);
    writeText(stream, rule.headersText, FilterRule::kMaxTextLength);
    writeByte(stream, rule.spareFlag);
    stream.writeBytes(rule.reserved.data(), FilterRule::reservedSize);
}

std::unique_ptr<FilterRule> readFilterRule(RecordStream& stream) {
    auto rule = std::make_unique<FilterRule>();
    std::uint8_t kind = 0;
    std::optional<std::string> fromText, subjectText, headersText;
    if (!readByte(stream, rule->active) || !readByte(stream, kind) ||
        !(fromText = readText(stream, kRuleTextReadSize)) ||
        !(subjectText = readText(stream, kRuleTextReadSize)) ||
        !(headersText = readText(stream, kRuleTextReadSize)) ||
        !readByte(stream, rule->spareFlag) ||
        stream.readBytes(rule->reserved.data(), FilterRule::reservedSize) !=
            FilterRule::reservedSize)
        return nullptr;
    // A kind outside the known ones is kept as stored; such a rule never matches.
    rule->kind = static_cast<RuleKind>(kind);
    rule->fromText = std::move(*fromText);
    rule->subjectText = std::move(*subjectText);
    rule->headersText = std::move(*headersText);
    return rule;
}

void writeFiltersFile(RecordStream& stream, const Filters& filters) {
    stream.writeSignature(kFiltersSignature);
    const int count = std::min(filters.rules.count(), maxListCount);
    writeCount(stream, count);
    for (int i = 0; i < count; ++i)
        writeFilterRule(stream, *filters.rules.at(i));
    writeDomains(stream, filters.bannedDomains);
    writeDomains(stream, filters.friendlyDomains);
    writeByte(stream, filters.rulesEnabled);
    writeByte(stream, filters.bannedEnabled);
    writeByte(stream, filters.friendlyEnabled);
}

bool saveFilters(const Filters& filters, const std::string& path) {
    return saveReplacing(path, [&](RecordStream& stream) { writeFiltersFile(stream, filters); });
}

bool loadFilters(Filters& filters, const std::string& path) {
    std::unique_ptr<RecordStream> stream = RecordStream::open(path, false);
    if (!stream)
        return false;
    if (!stream->expectSignature(kFiltersSignature)) {
        RecordStream::close(std::move(stream));
        return false;
    }
    FiltersContent content;
    readFiltersFields(*stream, content);
    RecordStream::close(std::move(stream));

    filters.rules.clear();
    for (std::unique_ptr<FilterRule>& rule : content.rules)
        if (filters.rules.append(rule.get()) >= 0)
            rule.release();
    fillDomainList(filters.bannedDomains, std::move(content.banned));
    fillDomainList(filters.friendlyDomains, std::move(content.friendly));
    filters.rulesEnabled = content.switches[0];
    filters.bannedEnabled = content.switches[1];
    filters.friendlyEnabled = content.switches[2];
    return true;
}

std::string filtersFilePath() {
    return dataFilePath(filtersFileName);
}

} // namespace toppeek::storage
