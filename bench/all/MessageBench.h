#pragma once

// The operations on single messages: the first kFetchedLines lines of one (our operation, our
// POP3 client alone, poplib TOP), and removing kRemovedMessages marked of kMailboxMessages (our
// operation, poplib DELE of the same).

#include "BenchServers.h"

#include <vector>

namespace toppeek::bench {

struct MessageFigures {
    std::vector<double> fetchOurs;
    std::vector<double> fetchClient;
    std::vector<double> fetchPoplib;
    std::vector<double> removeOurs;
    std::vector<double> removePoplib;
};

// False, said on stderr, when something failed. Only an empty poplib fetch is left for the
// caller to find, as the reference runs are checked all together.
bool measureFetches(BenchServers& servers, int runs, MessageFigures& figures);
bool measureRemovals(BenchServers& servers, int runs, MessageFigures& figures);

void printMessageRuns(const MessageFigures& figures);
void fetchRows(const MessageFigures& figures);
void removeRow(const MessageFigures& figures);

} // namespace toppeek::bench
