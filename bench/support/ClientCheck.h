#pragma once

// Our POP3 client alone, without the operations layer around it, checking a mailbox on GNU
// mailutils pop3d beside python3's poplib. mailutils writes each TOP reply in several pieces, so
// a lock-step reader that leaves delayed acknowledgements on stalls there for tens of
// milliseconds per message; this measures whether ours does.

namespace toppeek::bench {

struct ClientCheckFigures {
    bool ok = false;
    int messages = 0;            // in the mailbox, all checked by our client
    long poplibMessages = 0;     // checked by poplib, which is too slow there for all of them
    double oursPerMessage = 0;   // median seconds per message
    double poplibPerMessage = 0; // median seconds per message
};

// Starts a mailutils pop3d with messages messages and times runs checks by our client (log in,
// STAT, LIST n and TOP n 0 for every message, QUIT) and three by poplib over the first tenth of
// the messages, alternating. The connection layer must be started.
ClientCheckFigures timeClientCheckOnMailutils(int messages, int runs);

} // namespace toppeek::bench
