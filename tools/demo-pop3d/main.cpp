// toppeek-demo-server: serves a folder of .eml files as a POP3 mailbox on 127.0.0.1, for the
// demo of ./run.sh --demo and for the tests.
//
//   toppeek-demo-server [--port N] [--port-file FILE] [--log FILE] [--user NAME]
//                       [--password TEXT] [--tls-authority FILE] MAILBOX_FOLDER
//
// Without --port (or with 0) the system picks a free port; it is printed on the standard output
// and, with --port-file, written to that file once the server listens. With --tls-authority the
// server also offers STLS, with a certificate for localhost and 127.0.0.1 from an authority made
// at start, whose certificate it writes to FILE (before the port file) for the client to trust;
// when OpenSSL cannot make them it says so and serves without STLS, and FILE is not written. The
// server ends on SIGTERM or SIGINT, and when the process that started it ends.

#include "DemoServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

toppeek::demo::DemoServer* gServer = nullptr;

void stopServer(int) {
    if (gServer != nullptr)
        gServer->stop();
}

int usage() {
    std::fputs("usage: toppeek-demo-server [--port N] [--port-file FILE] [--log FILE] "
               "[--user NAME] [--password TEXT] [--tls-authority FILE] MAILBOX_FOLDER\n",
               stderr);
    return 2;
}

// Written under another name first, so that a reader never sees half of it.
bool writeWhole(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc | std::ios::binary);
        out << text;
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv) {
    const pid_t parent = ::getppid();
    // A demo server must not outlive the program it was started for, even when that one is
    // killed before it could stop the server.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        return 0;

    int port = 0;
    std::string portFile;
    std::string logFile;
    std::string authorityFile;
    toppeek::demo::Credentials credentials{"demo", "demo"};
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--port" && hasValue) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || value < 0 || value > 65535) {
                std::fprintf(stderr, "toppeek-demo-server: bad port %s\n", argv[i]);
                return 2;
            }
            port = static_cast<int>(value);
        } else if (arg == "--port-file" && hasValue) {
            portFile = argv[++i];
        } else if (arg == "--log" && hasValue) {
            logFile = argv[++i];
        } else if (arg == "--user" && hasValue) {
            credentials.user = argv[++i];
        } else if (arg == "--password" && hasValue) {
            credentials.password = argv[++i];
        } else if (arg == "--tls-authority" && hasValue) {
            authorityFile = argv[++i];
        } else if (!arg.starts_with("-") && folder.empty()) {
            folder = arg;
        } else {
            return usage();
        }
    }
    if (folder.empty())
        return usage();

    std::string error;
    std::optional<toppeek::demo::DemoMailbox> mailbox =
        toppeek::demo::DemoMailbox::load(folder, error);
    if (!mailbox) {
        std::fprintf(stderr, "toppeek-demo-server: %s\n", error.c_str());
        return 1;
    }
    toppeek::demo::DemoServer server(std::move(*mailbox), credentials);
    if (!authorityFile.empty()) {
        // The plain demo must go on without it: STLS is an extra.
        std::optional<toppeek::demo::DemoIdentity> identity =
            toppeek::demo::makeDemoIdentity(error);
        if (!identity || !server.offerStartTls(*identity, error)) {
            std::fprintf(stderr, "toppeek-demo-server: no STLS: %s\n", error.c_str());
        } else if (!writeWhole(authorityFile, identity->authorityCertificate)) {
            std::fprintf(stderr, "toppeek-demo-server: cannot write %s\n", authorityFile.c_str());
            return 1;
        }
    }
    if (!server.listen(port, error)) {
        std::fprintf(stderr, "toppeek-demo-server: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(nullptr, std::fclose);
    if (!logFile.empty()) {
        log.reset(std::fopen(logFile.c_str(), "a"));
        if (!log) {
            std::fprintf(stderr, "toppeek-demo-server: cannot write %s\n", logFile.c_str());
            return 1;
        }
        server.log = [&log](const std::string& line) {
            std::fprintf(log.get(), "%s\n", line.c_str());
            std::fflush(log.get());
        };
    }

    gServer = &server;
    struct sigaction action {};
    action.sa_handler = stopServer;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("%d\n", server.port());
    std::fflush(stdout);
    if (!portFile.empty() && !writeWhole(portFile, std::to_string(server.port()) + "\n")) {
        std::fprintf(stderr, "toppeek-demo-server: cannot write %s\n", portFile.c_str());
        return 1;
    }
    server.run();
    gServer = nullptr;
    return 0;
}
