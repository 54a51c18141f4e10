#include "core/TextList.h"

#include <algorithm>
#include <memory>

namespace toppeek::core {

int compareBytes(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int x = static_cast<unsigned char>(a[i]);
        const int y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x - y;
    }
    // The shorter text ends first, as its terminator is the smallest byte.
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -static_cast<unsigned char>(b[n])
                               : static_cast<unsigned char>(a[n]);
}

TextList::TextList(int initialCapacity, int growBy, bool allowDuplicates)
    : allowDuplicates(allowDuplicates),
      items(initialCapacity, growBy, GrowArray<std::string>::deleter()) {}

TextList::Bound TextList::lowerBound(std::string_view text) const {
    int lo = 0;
    int hi = items.count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const int r = compareBytes(*items.at(mid), text);
        if (r < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (r == 0)
                found = true;
        }
    }
    return {lo, found};
}

int TextList::find(std::string_view text) const {
    const Bound bound = lowerBound(text);
    return bound.found ? bound.index : -1;
}

int TextList::add(std::string text) {
    const Bound bound = lowerBound(text);
    if (bound.found && !allowDuplicates)
        return -1;
    auto owned = std::make_unique<std::string>(std::move(text));
    const int index = items.insertAt(bound.index, owned.get());
    if (index >= 0)
        owned.release();
    return index;
}

bool TextList::removeAt(int i) {
    return items.takeAt(i) != nullptr;
}

bool TextList::replaceAt(int i, std::string text) {
    auto owned = std::make_unique<std::string>(std::move(text));
    if (!items.replaceAt(i, owned.get()))
        return false;
    owned.release();
    return true;
}

} // namespace toppeek::core
