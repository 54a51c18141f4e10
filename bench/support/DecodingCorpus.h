// The decoding a viewed message goes through, timed over a corpus of real messages: each file
// split as a server's TOP replies split it (the header block, then the body lines dot-stuffed and
// terminated) and read for the viewer as View message reads it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace toppeek::bench {

struct FetchedMessage {
    std::string header; // the reply to TOP n 0 without its status line
    std::string body;   // the lines after the header block, as TOP n lines returns them
};

// Every msg_*.txt of dir, in name order; empty when there is none.
std::vector<FetchedMessage> loadDecodingCorpus(const std::filesystem::path& dir);

// Microseconds per message, the median of runs passes over the whole corpus.
double timeDecoding(const std::vector<FetchedMessage>& corpus, int runs);

} // namespace toppeek::bench
