#include "MemoryBench.h"

#include "BenchCommon.h"
#include "OperationsProbe.h"
#include "messages/MessageEntry.h"
#include "messages/MessageList.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace toppeek::bench {

namespace {

using namespace toppeek::messages;

// Heap bytes in use: the small blocks plus the ones malloc gave their own mapping (the list's
// slot array soon grows past the mapping threshold).
std::size_t heapInUse() {
    struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0;
    std::size_t resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// A header block of exactly kHeaderBytes with CR LF line ends and its closing blank line, as a
// TOP n 0 reply carries it. "#####" marks the places where each copy gets its number.
std::string headerTemplate() {
    std::string text = "Return-Path: <sender#####@example.org>\r\n"
                       "Received: from mail.example.org (mail.example.org [192.0.2.7])\r\n"
                       "\tby mx.example.com with ESMTP id #####\r\n"
                       "\tfor <bench@example.com>; Tue, 5 Mar 2024 10:00:00 +0100\r\n"
                       "Message-ID: <#####.bench@example.org>\r\n"
                       "Date: Tue, 5 Mar 2024 10:07:00 +0100\r\n"
                       "From: Sender ##### <sender#####@example.org>\r\n"
                       "To: Bench <bench@example.com>\r\n"
                       "Subject: Benchmark message number #####\r\n"
                       "MIME-Version: 1.0\r\n"
                       "Content-Type: text/plain; charset=us-ascii\r\n";
    auto padLine = [&text](std::size_t length) {
        text += "X-Pad: ";
        text.append(length - 9, 'x');
        text += "\r\n";
    };
    std::size_t need = kHeaderBytes - text.size() - 2;
    while (need > 160) {
        padLine(80);
        need -= 80;
    }
    padLine(need / 2);
    padLine(need - need / 2);
    text += "\r\n";
    return text;
}

// Under the sanitizers malloc is theirs and mallinfo2 reports nothing; the resident set is the
// figure left then.
bool countedByHeap(const MemoryFigures& memory) {
    return memory.heapBytes > 0;
}

} // namespace

MemoryFigures measureListMemory() {
    std::string header = headerTemplate();
    std::vector<std::size_t> marks;
    for (std::size_t at = header.find("#####"); at != std::string::npos;
         at = header.find("#####", at + 5))
        marks.push_back(at);
    char digits[8];

    MemoryFigures figures;
    ::malloc_trim(0);
    const std::size_t heapBefore = heapInUse();
    const std::size_t residentBefore = residentBytes();
    auto start = Clock::now();
    auto list = createMessageList();
    for (int n = 1; n <= kListEntries; ++n) {
        std::snprintf(digits, sizeof digits, "%05d", n);
        for (std::size_t at : marks)
            header.replace(at, 5, digits, 5);
        std::unique_ptr<MessageEntry> entry = createMessageEntry(header);
        entry->messageNumber = n;
        entry->size = static_cast<std::int32_t>(header.size());
        if (list->append(entry.get()) < 0)
            break;
        entry.release();
        figures.headerBytes += header.size();
    }
    figures.seconds = secondsSince(start);
    figures.heapBytes = heapInUse() - heapBefore;
    figures.residentBytes = residentBytes() - residentBefore;
    if (list->count() != kListEntries)
        figures.headerBytes = 0;
    return figures;
}

void memoryRow(const MemoryFigures& memory) {
    const bool byHeap = countedByHeap(memory);
    const std::size_t memoryBytes = byHeap ? memory.heapBytes : memory.residentBytes;
    const double memoryRatio =
        static_cast<double>(memoryBytes) / static_cast<double>(memory.headerBytes);
    rowText(byHeap ? "List of 32767 entries from 4 KB headers (heap)"
                   : "List of 32767 entries from 4 KB headers (RSS)",
            format("%.1f MB", static_cast<double>(memoryBytes) / 1e6), "-",
            format("%.2f", memoryRatio), "<= 2 x header bytes", verdict(memoryRatio <= 2));
}

void memoryNote(const MemoryFigures& memory) {
    std::printf("\nMemory: heap in use by mallinfo2 (uordblks + hblkhd) before and after building "
                "the list; %.1f MB of headers; resident set grew %.1f MB (%.2f x).\n",
                static_cast<double>(memory.headerBytes) / 1e6,
                static_cast<double>(memory.residentBytes) / 1e6,
                static_cast<double>(memory.residentBytes) /
                    static_cast<double>(memory.headerBytes));
}

} // namespace toppeek::bench
