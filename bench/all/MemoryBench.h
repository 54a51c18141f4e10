#pragma once

// The memory of the message list: kListEntries entries made from kHeaderBytes-byte headers,
// counted by malloc (and by the resident set, the figure left under the sanitizers).

#include <cstddef>

namespace toppeek::bench {

struct MemoryFigures {
    std::size_t heapBytes = 0;
    std::size_t residentBytes = 0;
    std::size_t headerBytes = 0; // 0 when the list could not be built
    double seconds = 0;
};

// Measured first, before Qt and the servers add their own allocations to the heap.
MemoryFigures measureListMemory();

void memoryRow(const MemoryFigures& memory);
void memoryNote(const MemoryFigures& memory);

} // namespace toppeek::bench
