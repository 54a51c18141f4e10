// A sorted list of owned texts (byte-wise, case-sensitive order), used for
// the banned and friendly domain lists.
#pragma once

#include "core/GrowArray.h"

#include <string>
#include <string_view>

namespace toppeek::core {

// Byte-wise comparison of two texts, bytes taken as unsigned.
int compareBytes(std::string_view a, std::string_view b);

class TextList {
public:
    TextList(int initialCapacity, int growBy, bool allowDuplicates);

    int count() const { return items.count(); }
    // The text at i (0 <= i < count); null when the list is empty.
    const std::string* at(int i) const { return items.at(i); }

    struct Bound {
        int index;
        bool found;
    };
    // The first position whose text is not less than text, and whether an
    // equal text is held.
    Bound lowerBound(std::string_view text) const;

    // The index of the first text equal to text, or -1.
    int find(std::string_view text) const;

    // Inserts text at its lowerBound position (a duplicate goes in front of
    // its equals) and returns the index; -1 when it is held already and
    // duplicates are not allowed.
    int add(std::string text);

    // Releases the text at i and removes its slot.
    bool removeAt(int i);

    // Replaces the text at i without re-sorting (the editors re-add edited
    // texts to keep the order).
    bool replaceAt(int i, std::string text);

    void clear() { items.clear(); }

    bool allowDuplicates;
    // Texts in ascending order.
    GrowArray<std::string> items;
};

} // namespace toppeek::core
