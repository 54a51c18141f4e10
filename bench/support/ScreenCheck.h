#pragma once

// The check as a user meets it on a screen: the main window shown at 1280x1000 on a virtual X
// display of the benchmark's own, the list growing while the check runs. Each figure comes from
// a child process (the same program, started with kScreenCheckChildFlag) so that the platform
// plugin is the child's choice and not the offscreen one of the benchmark itself.

#include <string>
#include <vector>

namespace toppeek::bench {

inline constexpr const char* kScreenCheckChildFlag = "--screen-check-child";

// An Xvfb of its own (never resetting), ended with the object. display() is ":N", empty when
// the server did not start.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    const std::string& display() const { return display_; }

private:
    int pid_ = -1;
    std::string display_;
};

struct ScreenCheckAccount {
    std::string host; // host:port
    std::string user;
    std::string password;
    int messages = 0; // the count a whole check must list
};

// Runs `runs` checks of the main window in a child on the given platform ("xcb" with display,
// or "offscreen"); seconds per check, empty when a check failed.
std::vector<double> timeWindowChecks(const ScreenCheckAccount& account, int runs,
                                     const std::string& platform, const std::string& display);

// The child's side: argv is [self, flag, host, user, password, messages, runs].
int screenCheckChild(int argc, char** argv);

} // namespace toppeek::bench
