#include "core/ListCursor.h"

#include <algorithm>

namespace toppeek::core {

bool adjustIndex(int& index, int count, int mode, int delta) {
    const int old = index;
    if (count <= 0) {
        index = 0;
    } else {
        const long long last = count - 1;
        const long long clamped = std::clamp<long long>(index, 0, last);
        if (mode == 0)
            index = 0;
        else if (mode == 1)
            index = static_cast<int>(last);
        else
            index = static_cast<int>(std::clamp<long long>(clamped + delta, 0, last));
    }
    return index != old;
}

} // namespace toppeek::core
