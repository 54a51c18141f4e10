#pragma once

// The window's answer during a check: the longest pause in event processing, with the replies
// arriving as Dovecot sends them and flooded in one go by a server of our own, and a confirmed
// cancel's return.

#include "OperationsProbe.h"

#include <vector>

namespace toppeek::bench {

struct ResponsivenessFigures {
    std::vector<double> gaps;
    std::vector<double> floodGaps;
    std::vector<double> cancels;
};

// checkSeconds, the check's median, sets when the cancel comes: about half-way through, in
// whatever wait is running then. False, said on stderr, when something failed.
bool measureResponsiveness(OperationsProbe& probe, int runs, double checkSeconds,
                           ResponsivenessFigures& figures);

void printResponsivenessRuns(const ResponsivenessFigures& figures);
void responsivenessRows(const ResponsivenessFigures& figures);

} // namespace toppeek::bench
