#pragma once

// The login and the check over TLS on the second Dovecot, beside poplib.POP3_SSL; and our check
// of a server that writes each reply in two TLS records, with the quick acknowledgements re-armed
// after every read and without.

#include "BenchServers.h"

#include <vector>

namespace toppeek::bench {

struct TlsFigures {
    std::vector<double> loginOurs;
    std::vector<double> loginPoplib;
    std::vector<double> checkOurs;
    std::vector<double> checkPoplib;
    std::vector<double> twoRecordsQuick;
    std::vector<double> twoRecordsDelayed;
};

// checkRuns as for the plain check; false, said on stderr, when something failed.
bool measureTlsChecks(BenchServers& servers, int runs, int checkRuns, TlsFigures& figures);
bool measureTwoRecordChecks(const BenchServers& servers, int runs, TlsFigures& figures);

void printTlsRuns(const TlsFigures& figures);
void tlsCheckRows(const TlsFigures& figures);
void twoRecordRow(const TlsFigures& figures);

} // namespace toppeek::bench
