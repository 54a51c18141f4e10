// The filters file as any damaged, cut or foreign file may hold it. Whatever loads must save and
// load again to the same filter set.
#include "FuzzSupport.h"

#include "storage/FiltersFile.h"

using toppeek::storage::loadFilters;
using toppeek::storage::saveFilters;
using namespace toppeek::messages;
using toppeek::core::TextList;

namespace {

bool sameRule(const FilterRule& a, const FilterRule& b) {
    return a.active == b.active && a.kind == b.kind && a.fromText == b.fromText &&
           a.subjectText == b.subjectText && a.headersText == b.headersText &&
           a.spareFlag == b.spareFlag && a.reserved == b.reserved;
}

bool sameList(const TextList& a, const TextList& b) {
    if (a.count() != b.count()) {
        return false;
    }
    for (int i = 0; i < a.count(); ++i) {
        if (*a.at(i) != *b.at(i)) {
            return false;
        }
    }
    return true;
}

bool sameFilters(const Filters& a, const Filters& b) {
    if (a.rules.count() != b.rules.count()) {
        return false;
    }
    for (int i = 0; i < a.rules.count(); ++i) {
        if (!sameRule(*a.rules.at(i), *b.rules.at(i))) {
            return false;
        }
    }
    return sameList(a.bannedDomains, b.bannedDomains) &&
           sameList(a.friendlyDomains, b.friendlyDomains) && a.rulesEnabled == b.rulesEnabled &&
           a.bannedEnabled == b.bannedEnabled && a.friendlyEnabled == b.friendlyEnabled;
}

bool inByteOrder(const TextList& list) {
    for (int i = 1; i < list.count(); ++i) {
        if (!(*list.at(i - 1) < *list.at(i))) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& directory = toppeek::fuzz::scratchDirectory();
    const std::string input = directory + "/input.fil";
    const std::string again = directory + "/again.fil";
    toppeek::fuzz::writeFile(input, data, size);

    std::unique_ptr<Filters> loaded = createFilters();
    if (!loadFilters(*loaded, input)) {
        // A file that is not a filters file leaves the set alone.
        FUZZ_CHECK(sameFilters(*loaded, *createFilters()));
        return 0;
    }
    FUZZ_CHECK(inByteOrder(loaded->bannedDomains));
    FUZZ_CHECK(inByteOrder(loaded->friendlyDomains));
    for (const FilterRule* rule : loaded->rules) {
        FUZZ_CHECK(rule != nullptr);
        FUZZ_CHECK(rule->fromText.size() <= FilterRule::kMaxTextLength);
        FUZZ_CHECK(rule->subjectText.size() <= FilterRule::kMaxTextLength);
        FUZZ_CHECK(rule->headersText.size() <= FilterRule::kMaxTextLength);
    }

    FUZZ_CHECK(saveFilters(*loaded, again));
    std::unique_ptr<Filters> reloaded = createFilters();
    FUZZ_CHECK(loadFilters(*reloaded, again));
    FUZZ_CHECK(sameFilters(*loaded, *reloaded));
    destroyFilters(std::move(loaded));
    destroyFilters(std::move(reloaded));
    return 0;
}
