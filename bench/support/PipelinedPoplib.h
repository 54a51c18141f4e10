#pragma once

// python3's poplib with the commands of a check pipelined: the limit of what any client can reach
// on a link with latency, as the reference for a check through the latency proxy.

#include <string>
#include <vector>

namespace toppeek::bench {

// Sessions on 127.0.0.1:port, each: USER and PASS one after the other as poplib does them, then
// CAPA, STAT, UIDL, LIST n and TOP n 0 for n = 1 .. messages and QUIT all sent in one write, and
// only then every reply read, by poplib's own reply parsing. The mailbox must hold at least
// messages. The seconds of each session; empty when python3 failed. caFile as for
// timePoplibCheck: POP3 over TLS with a context that trusts that CA alone.
std::vector<double> timePipelinedPoplibCheck(int port, const std::string& user,
                                             const std::string& password, int runs, long messages,
                                             const std::string& caFile = {});

} // namespace toppeek::bench
