#include "support/MailutilsServer.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace toppeek::test {

namespace {

bool fitsPasswdFile(const std::string& text) {
    return text.find_first_of(":\r\n") == std::string::npos;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// Without a lock directory of its own every login answers "-ERR [IN-USE] Mailbox in use".
// The APOP database lies in our temporary directory, which the safety checks would refuse.
const char* const kConfiguration = R"(mode daemon;
foreground yes;
tls-mode false;
logging {
  syslog false;
};
server 127.0.0.1:@PORT@ {
  tls-mode false;
};
auth {
  authorization virtdomain;
  authentication generic;
};
virtdomain {
  passwd-dir @DIR@/passwd;
};
apop-database-file @DIR@/apop.db;
apop-database-safety none;
mandatory-locking {
  enable yes;
  lock-directory @DIR@/lock;
};
)";

} // namespace

MailutilsServer::MailutilsServer() : RealPop3Server("mailutils") {}

std::string MailutilsServer::loginName(const std::string& user) const {
    return user + "@" + domain;
}

fs::path MailutilsServer::maildirOf(const std::string& user) const {
    return homeOf(user) / "INBOX";
}

std::vector<std::string> MailutilsServer::commandLine() const {
    return {"pop3d", "--config-file=" + (directory() / "pop3d.conf").string()};
}

std::string MailutilsServer::prepare(int port) {
    const fs::path dir = directory();
    std::string passwd;
    std::string apop;
    for (const auto& u : users()) {
        if (!fitsPasswdFile(u.name) || u.password.find_first_of("\r\n") != std::string::npos ||
            u.password.find(' ') != std::string::npos)
            return "user name or password of \"" + u.name + "\" does not fit the passwd files";
        std::string hash;
        if (!runTool({"openssl", "passwd", "-6", "-salt", "toppeek", u.password}, hash))
            return "openssl passwd failed: " + hash;
        passwd += u.name + ":" + firstLine(hash) + ":" + std::to_string(mailUid) + ":" +
                  std::to_string(mailUid) + ":" + u.name + ":" + homeOf(u.name).string() +
                  ":/bin/false\n";
        apop += loginName(u.name) + " " + u.password + "\n";
    }
    fs::create_directories(dir / "passwd");
    writeFile(dir / "passwd" / domain, passwd);
    writeFile(dir / "apop.txt", apop);
    std::error_code ignored;
    fs::remove(dir / "apop.db", ignored);
    std::string output;
    if (!runTool(
            {"popauth", "-c", "-f", (dir / "apop.txt").string(), "-o", (dir / "apop.db").string()},
            output))
        return "popauth could not build the APOP database: " + output;
    fs::create_directories(dir / "lock");

    writeFile(dir / "pop3d.conf",
              substitute(kConfiguration, {{"DIR", dir.string()}, {"PORT", std::to_string(port)}}));
    return {};
}

} // namespace toppeek::test
