// Keeping a list's current row inside the list after the list changed.
#pragma once

namespace toppeek::core {

// Moves a list position after the list changed: mode 0 first row, mode 1
// last row, otherwise index + delta, all clamped into the list. Returns true
// when index changed.
bool adjustIndex(int& index, int count, int mode, int delta);

} // namespace toppeek::core
