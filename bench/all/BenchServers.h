#pragma once

// The Dovecot servers most groups measure against: one holding the mailbox to check, the long
// message to fetch and the mailbox to remove from; a second that takes only secured logins and
// holds the same mailbox to check, behind a certificate from a CA made up for the run.

#include "OperationsProbe.h"
#include "support/DovecotServer.h"
#include "support/TestCertificates.h"

#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace toppeek::bench {

// The certificates of the TLS server, made for the run in a directory of their own that the
// object removes. This process (and so python3 started from it) trusts the made-up CA alone.
struct TlsFiles {
    std::filesystem::path dir;
    std::filesystem::path caFile;
    toppeek::test::DovecotTls server;
    toppeek::test::IssuedCertificate issued;

    TlsFiles() = default;
    TlsFiles(const TlsFiles&) = delete;
    TlsFiles& operator=(const TlsFiles&) = delete;
    ~TlsFiles();

    // Empty on success, else why it failed.
    std::string make();
};

std::string pop3sHost(const toppeek::test::DovecotServer& server);

struct BenchServers {
    toppeek::test::DovecotServer server;
    TlsFiles tlsFiles;
    std::unique_ptr<toppeek::test::DovecotServer> tlsServer;
    // The operations as the program runs them, on the plain server's mailbox to check.
    OperationsProbe probe;
    toppeek::storage::Account plainAccount;
    toppeek::storage::Account tlsAccount;
    // The removal mailbox is refilled with messages numbered on from nextMessage.
    std::mt19937 random{20240305};
    int nextMessage = 1;

    // Starts both servers and has them index their mail; false, said on stderr, on failure.
    bool start(int runs);

    int port() const { return server.port(); }
    int tlsPort() const { return tlsServer->pop3sPort(); }
    // The probe's check of the TLS server's mailbox; seconds, negative on failure.
    double timedTlsCheck();
};

} // namespace toppeek::bench
