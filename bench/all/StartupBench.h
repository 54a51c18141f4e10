#pragma once

// Start-up: a fresh process of this program up to the main window's first paint, its update
// check aimed at a loopback port that refuses the connection and at one that accepts it and stays
// silent. Runs before the QApplication of the measuring process exists.

#include <vector>

namespace toppeek::bench {

// The flag that makes bench_all the child that starts the program: "--startup-child DIR URL".
inline const char* const kStartupChildFlag = "--startup-child";
int startupChild(int argc, char** argv);

struct StartupFigures {
    std::vector<double> refused;
    std::vector<double> refusedCheck;
    std::vector<double> silent;
    std::vector<double> silentCheck;
    std::vector<double> silentClose;
    int silentRuns = 0;
};

// False, said on stderr, when a start failed.
bool measureStartup(int runs, StartupFigures& figures);

void printStartupRuns(const StartupFigures& figures);
void startupRows(const StartupFigures& figures);

} // namespace toppeek::bench
