#pragma once

// What every group of bench_all shares: the mailbox sizes, the users of the Dovecot it checks,
// and the printing of runs and table rows.

#include "storage/Settings.h"
#include "support/RealPop3Server.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace toppeek::bench {

inline const char* const kPassword = "bench-password";
inline const char* const kCheckUser = "bench";
inline const char* const kFetchUser = "fetch";
inline const char* const kRemoveUser = "remove";
constexpr int kMailboxMessages = 1000;
constexpr int kRemovedMessages = 100;
constexpr int kFetchedLines = 200;
constexpr int kListEntries = 32767;
// Messages of the server that writes each reply in two TLS records.
constexpr int kTwoRecordMessages = 50;
constexpr std::size_t kHeaderBytes = 4096;
// The flooding server's mailbox and its first header.
constexpr long kFloodMessages = 500000;
constexpr std::size_t kFloodHeaderBytes = 8u * 1024 * 1024;
constexpr std::chrono::milliseconds kProxyDelay{10};
// Lock-step poplib pays two round trips a message: through the proxy 1000 would take some 40 s
// a run, so it checks this many once and its time is scaled to the whole mailbox. The scaling
// counts its login five times as well, a few round trips in some two thousand.
constexpr long kLockStepMessages = 200;

toppeek::storage::Account accountFor(const toppeek::test::RealPop3Server& server, const char* user);

// Says on stderr what failed; false, for the measuring functions to return.
bool fail(const char* what);

void printRuns(const char* name, const std::vector<double>& values, double scale, const char* unit);
double longest(const std::vector<double>& values);
double shortest(const std::vector<double>& values);
const char* verdict(bool met);
std::string format(const char* pattern, double value);
void rowText(const char* what, const std::string& ours, const std::string& reference,
             const std::string& ratio, const std::string& target, const char* result);
// One row of the table: ours and the reference in milliseconds (a negative reference: none).
void row(const char* what, double oursMs, double referenceMs, const std::string& target,
         const char* result);

} // namespace toppeek::bench
