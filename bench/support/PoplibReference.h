#pragma once

// Pieces that the benchmarks against real servers share: the test mail, the median, and python3's
// poplib doing the same exchanges as ours, as the reference measured in the same run.

#include <random>
#include <string>
#include <vector>

namespace toppeek::bench {

// A message of 2 to 5 KB with a header block like real mail's and a plain body.
std::string makeMessage(int n, std::mt19937& random);

double median(std::vector<double> values);

// Runs a reference script that prints the seconds of each of its runs, separated by white space;
// empty (and the script's output on standard error, named by what) when it fails.
std::vector<double> runTimedScript(const std::vector<std::string>& argv, const char* what);

// Binds this process, and so every process it starts later, to the processor it runs on. On a
// virtual machine a wake-up on another processor can cost more than a whole exchange, and
// whether client and server share one changes from run to run; on one processor the figures
// repeat. Returns the processor, or -1 when the binding failed.
int runOnOneProcessor();

// runs sessions of poplib on 127.0.0.1:port, each: USER/PASS, CAPA, STAT, UIDL, then LIST n and
// TOP n 0 for n = 1 .. min(count, limit), QUIT, as the check does; without unique-ids, the same
// without CAPA and UIDL. The seconds of each session; empty when python3 failed (the
// reason is on the standard error stream). Given caFile (a PEM file), the sessions are POP3 over
// TLS (poplib.POP3_SSL) with a context that trusts that CA alone and checks the host name
// 127.0.0.1; the context is made once per call, outside the timed sessions.
std::vector<double> timePoplibCheck(int port, const std::string& user, const std::string& password,
                                    int runs, long limit, const std::string& caFile = {},
                                    bool withUniqueIds = true);

// Sessions of poplib that connect and log in (USER/PASS); the seconds up to the accepted PASS
// of each. QUIT follows, untimed. caFile as for timePoplibCheck.
std::vector<double> timePoplibLogin(int port, const std::string& user, const std::string& password,
                                    int runs, const std::string& caFile = {});

// Sessions of poplib that log in, read TOP message lines and QUIT; the seconds of each.
std::vector<double> timePoplibTop(int port, const std::string& user, const std::string& password,
                                  int runs, long message, long lines);

// One session of poplib that logs in, sends DELE for each of messages and QUIT, so that the
// server removes them; its seconds, in a vector of one.
std::vector<double> timePoplibDele(int port, const std::string& user, const std::string& password,
                                   const std::vector<long>& messages);

} // namespace toppeek::bench
