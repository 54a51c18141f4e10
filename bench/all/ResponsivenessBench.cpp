#include "ResponsivenessBench.h"

#include "BenchCommon.h"

#include <algorithm>

namespace toppeek::bench {

bool measureResponsiveness(OperationsProbe& probe, int runs, double checkSeconds,
                           ResponsivenessFigures& figures) {
    long passes = 0;
    for (int r = 0; r < runs; ++r) {
        double gap = probe.longestGap(passes);
        if (gap < 0)
            return fail("a check with the idle probe failed");
        figures.gaps.push_back(gap);
    }
    // Replies that are all there already never make a wait pass; their reading must still let
    // the window answer.
    for (int r = 0; r < runs; ++r) {
        long floodPasses = 0;
        double gap =
            OperationsProbe::longestGapUnderFlood(kFloodMessages, kFloodHeaderBytes, floodPasses);
        if (gap < 0)
            return fail("a check with the idle probe on a flooding server failed");
        figures.floodGaps.push_back(gap);
    }
    const int delay = std::max(1, static_cast<int>(checkSeconds * 1000 / 2));
    for (int r = 0; r < runs; ++r) {
        double latency = probe.cancelLatency(delay);
        if (latency < 0)
            return fail("a cancelled check did not end as cancelled");
        figures.cancels.push_back(latency);
    }
    return true;
}

void printResponsivenessRuns(const ResponsivenessFigures& figures) {
    printRuns("idle-step gaps:", figures.gaps, 1000, "ms");
    printRuns("idle-step gaps, flood:", figures.floodGaps, 1000, "ms");
    printRuns("cancel latency:", figures.cancels, 1000, "ms");
}

void responsivenessRows(const ResponsivenessFigures& figures) {
    row("Longest gap between idle steps (worst run)", longest(figures.gaps) * 1000, -1, "<= 50 ms",
        verdict(longest(figures.gaps) <= 0.050));
    row("Longest gap, replies flooded in one go (worst run)", longest(figures.floodGaps) * 1000, -1,
        "<= 50 ms", verdict(longest(figures.floodGaps) <= 0.050));
    row("Confirmed cancel to return (worst run)", longest(figures.cancels) * 1000, -1, "<= 100 ms",
        verdict(longest(figures.cancels) <= 0.100));
}

} // namespace toppeek::bench
