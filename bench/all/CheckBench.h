#pragma once

// The check of the 1000-message mailbox: our operation beside poplib (with and without CAPA and
// UIDL), the automatic check of the listed mailbox with no new mail and the bytes of both, the
// main window's check on a virtual X display and offscreen, and the logins alone.

#include "BenchServers.h"

#include <vector>

namespace toppeek::bench {

struct CheckFigures {
    int checkRuns = 0;
    std::vector<double> loginOurs;
    std::vector<double> loginPoplib;
    std::vector<double> checkOurs;
    std::vector<double> checkPoplib;
    // The same exchanges without CAPA and UIDL: what learning the unique-ids adds to a check.
    std::vector<double> checkPoplibPlain;
    std::vector<double> updateOurs;
    long long bytesFullCheck = 0;
    long long bytesUpdate = 0;
    // The main window's check, each in a child of its own; empty when a display or a check
    // failed.
    std::vector<double> onScreen;
    std::vector<double> offscreen;
};

// The number of runs the checks get, whose targets are ratios: a pair takes a fraction of a
// second, and on a busy machine a few runs leave the median to chance.
int checkRunsFor(int runs);

// False, said on stderr, when something failed.
bool measureChecks(BenchServers& servers, int runs, CheckFigures& figures);

void printCheckRuns(const CheckFigures& figures);
void checkRows(const CheckFigures& figures);

} // namespace toppeek::bench
