#include "LatencyBench.h"

#include "BenchCommon.h"
#include "LatencyProxy.h"
#include "PipelinedPoplib.h"
#include "PoplibReference.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace toppeek::bench {

namespace {

// Our check and poplib's two through the latency proxy in front of targetPort; hostPrefix makes
// our account's host of the proxy's port ("127.0.0.1:" or "pop3s://127.0.0.1:").
ProxyChecks timeProxyChecks(OperationsProbe& probe, int targetPort, const std::string& hostPrefix,
                            const std::string& user, int runs, const std::string& caFile) {
    ProxyChecks checks;
    const LatencyProxy proxy(targetPort, kProxyDelay);
    if (!proxy.ok())
        return checks;
    const toppeek::storage::Account direct = probe.account;
    probe.account.host = hostPrefix + std::to_string(proxy.port());
    for (int r = 0; r < runs; ++r) {
        const double ours = probe.timedCheck();
        const std::vector<double> pipelined =
            timePipelinedPoplibCheck(proxy.port(), user, kPassword, 1, kMailboxMessages, caFile);
        if (ours < 0 || pipelined.empty()) {
            probe.account = direct;
            return checks;
        }
        checks.ours.push_back(ours);
        checks.pipelined.push_back(pipelined.front());
    }
    probe.account = direct;
    checks.lockStep = timePoplibCheck(proxy.port(), user, kPassword, 1, kLockStepMessages, caFile);
    checks.ok = !checks.lockStep.empty();
    return checks;
}

} // namespace

double ProxyChecks::lockStepScaledMs() const {
    return median(lockStep) * 1000 * kMailboxMessages / kLockStepMessages;
}

bool measureLatencyChecks(BenchServers& servers, int runs, LatencyFigures& figures) {
    // A pair of these checks takes well under a second, so even a single run of the benchmark
    // gets a median of three.
    figures.runs = std::max(3, runs);
    figures.plain =
        timeProxyChecks(servers.probe, servers.port(),
                        "127.0.0.1:", servers.server.loginName(kCheckUser), figures.runs, {});
    figures.tls = timeProxyChecks(servers.probe, servers.tlsPort(),
                                  "pop3s://127.0.0.1:", servers.tlsServer->loginName(kCheckUser),
                                  figures.runs, servers.tlsFiles.caFile.string());
    if (!figures.plain.ok || !figures.tls.ok)
        return fail("a check through the latency proxy failed");
    return true;
}

void printLatencyRuns(const LatencyFigures& figures) {
    printRuns("check at 20 ms RTT, ours:", figures.plain.ours, 1, "s");
    printRuns("  poplib pipelined:", figures.plain.pipelined, 1, "s");
    printRuns("  poplib lock-step, 200:", figures.plain.lockStep, 1, "s");
    printRuns("TLS check at 20 ms RTT, ours:", figures.tls.ours, 1, "s");
    printRuns("  poplib pipelined:", figures.tls.pipelined, 1, "s");
    printRuns("  poplib lock-step, 200:", figures.tls.lockStep, 1, "s");
}

void latencyRows(const LatencyFigures& figures) {
    const ProxyChecks& plain = figures.plain;
    const ProxyChecks& tls = figures.tls;
    const double plainPipelined = median(plain.ours) / median(plain.pipelined);
    const double plainLockStep = median(plain.ours) * 1000 / plain.lockStepScaledMs();
    const double tlsPipelined = median(tls.ours) / median(tls.pipelined);
    const double tlsLockStep = median(tls.ours) * 1000 / tls.lockStepScaledMs();
    row("Check of 1000 via 20 ms RTT (ref: pipelined)", median(plain.ours) * 1000,
        median(plain.pipelined) * 1000, "ratio <= 1.5", verdict(plainPipelined <= 1.5));
    // Against lock-step the ratio is small enough to need three places.
    auto lockStepRow = [](const char* what, const ProxyChecks& checks, double ratio,
                          const char* target, bool met) {
        rowText(what, format("%.2f ms", median(checks.ours) * 1000),
                format("%.2f ms", checks.lockStepScaledMs()), format("%.3f", ratio), target,
                verdict(met));
    };
    lockStepRow("Check of 1000 via 20 ms RTT (ref: lock-step 200x5)", plain, plainLockStep,
                "ratio <= 0.1", plainLockStep <= 0.1);
    row("TLS check of 1000 via 20 ms RTT (ref: pipelined)", median(tls.ours) * 1000,
        median(tls.pipelined) * 1000, "<= 1.2 x plain ratio",
        verdict(tlsPipelined <= 1.2 * plainPipelined));
    lockStepRow("TLS check via 20 ms RTT (ref: lock-step 200x5)", tls, tlsLockStep,
                "<= 1.2 x plain ratio", tlsLockStep <= 1.2 * plainLockStep);
}

void latencyNote() {
    std::printf("Through the latency proxy: %lld ms each way; lock-step poplib checked %ld of the "
                "%d messages once, its time x %ld standing for the whole check; pipelined poplib "
                "logs in lock-step, then sends every command before reading a reply.\n",
                static_cast<long long>(kProxyDelay.count()), kLockStepMessages, kMailboxMessages,
                kMailboxMessages / kLockStepMessages);
}

} // namespace toppeek::bench
