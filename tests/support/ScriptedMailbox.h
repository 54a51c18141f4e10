// The pieces the scripted mailboxes of the tests are made of: a message's header block and the
// log-in every conversation begins with.
#pragma once

#include "support/ScriptedPop3Server.h"

#include <string>

namespace toppeek::test {

struct Mail {
    std::string from;
    std::string to;
    std::string subject;
    int size;
    std::string date = "Fri, 5 Mar 2010 09:07:09 +0100";
};

// The header block as a server sends it, without the empty line that ends it.
inline std::string headerOf(const Mail& mail) {
    return "From: " + mail.from + "\r\nTo: " + mail.to + "\r\nSubject: " + mail.subject +
           "\r\nDate: " + mail.date + "\r\n";
}

// Message n of a numbered mailbox: to alice, "Message n".
inline std::string headerOf(int n, const std::string& from = "Bob <bob@example.org>") {
    return headerOf(Mail{from, "alice@example.com", "Message " + std::to_string(n), 1000 + n,
                         "Tue, 5 Mar 2024 10:00:00 +0100"});
}

// Greeted, the capabilities asked for and logged in as alice, as every operation begins; by
// default a server that takes commands ahead of its replies, as most do.
inline ScriptedPop3Server&
loggedIn(ScriptedPop3Server& server,
         const std::string& capabilities = "+OK\r\nTOP\r\nUIDL\r\nPIPELINING\r\n.\r\n") {
    return server.greeting("+OK ready\r\n")
        .expect("CAPA", capabilities)
        .expect("USER alice", "+OK\r\n")
        .expect("PASS secret", "+OK logged in\r\n");
}

} // namespace toppeek::test
