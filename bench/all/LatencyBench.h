#pragma once

// The checks through a link with latency, where every round trip counts: a proxy of our own
// delays every chunk by kProxyDelay each way, plain and TLS; beside poplib with the commands
// pipelined (its login lock-step) and poplib lock-step checking kLockStepMessages once.

#include "BenchServers.h"

#include <vector>

namespace toppeek::bench {

struct ProxyChecks {
    std::vector<double> ours;
    std::vector<double> pipelined;
    std::vector<double> lockStep; // seconds for kLockStepMessages
    bool ok = false;

    double lockStepScaledMs() const;
};

struct LatencyFigures {
    int runs = 0;
    ProxyChecks plain;
    ProxyChecks tls;
};

// False, said on stderr, when a check through the proxy failed.
bool measureLatencyChecks(BenchServers& servers, int runs, LatencyFigures& figures);

void printLatencyRuns(const LatencyFigures& figures);
void latencyRows(const LatencyFigures& figures);
void latencyNote();

} // namespace toppeek::bench
