#include "support/DovecotServer.h"

#include <filesystem>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace toppeek::test {

namespace {

bool fitsPasswdFile(const std::string& text) {
    return text.find_first_of(":\r\n") == std::string::npos;
}

// apop in auth_mechanisms is what puts the time stamp into the greeting. A refused login is
// answered after auth_failure_delay, and without the anvil change every later login from
// 127.0.0.1 would be slowed down for up to half a minute.
const char* const kConfiguration = R"(base_dir = @DIR@/base
state_dir = @DIR@/state
instance_name = toppeek-@NAME@
log_path = @DIR@/dovecot.log
protocols = pop3
listen = @LISTEN@
@SSL@
disable_plaintext_auth = no
auth_mechanisms = @MECHS@
auth_failure_delay = 1 secs
auth_verbose = yes
first_valid_uid = 1000
mail_location = maildir:~/Maildir
@OAUTH2@passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u @DIR@/users
}
userdb {
  driver = passwd-file
  args = username_format=%u @DIR@/users
}
service pop3-login {
  inet_listener pop3 {
    address = @LISTEN@
    port = @PORT@
  }
  inet_listener pop3s {
    address = @LISTEN@
    port = @PORT2@
  }
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
)";

} // namespace

DovecotServer::DovecotServer(std::optional<DovecotTls> tls)
    : RealPop3Server("dovecot"), tls_(std::move(tls)) {}

fs::path DovecotServer::maildirOf(const std::string& user) const {
    return homeOf(user) / "Maildir";
}

std::vector<fs::path> DovecotServer::logFiles() const {
    return {directory() / "dovecot.log"};
}

std::vector<std::string> DovecotServer::commandLine() const {
    // -F keeps the master in the foreground as our child, so that stop() can reap it.
    return {"dovecot", "-F", "-c", (directory() / "dovecot.conf").string()};
}

std::string DovecotServer::prepare(int port) {
    const fs::path dir = directory();
    std::string users;
    for (const auto& u : this->users()) {
        if (!fitsPasswdFile(u.name) || !fitsPasswdFile(u.password))
            return "user name or password of \"" + u.name + "\" does not fit a passwd-file";
        users += u.name + ":{PLAIN}" + u.password + ":" + std::to_string(mailUid) + ":" +
                 std::to_string(mailUid) + "::" + homeOf(u.name).string() + "\n";
    }
    writeFile(dir / "users", users);

    fs::create_directories(dir / "base");
    fs::create_directories(dir / "state");
    // A penalty table left from an earlier run would delay the first greeting by seconds.
    std::error_code ignored;
    fs::remove(dir / "base" / "anvil-auth-penalty", ignored);

    std::string ssl = "ssl = no";
    pop3sPort_ = 0;
    if (tls_) {
        // A fresh port per attempt: start() tries again when the server could not bind.
        pop3sPort_ = freeLoopbackPort();
        if (pop3sPort_ == 0 || pop3sPort_ == port)
            return "no second free port on 127.0.0.1";
        ssl = "ssl = required\nssl_cert = <" + tls_->certificate.string() + "\nssl_key = <" +
              tls_->key.string();
    }
    std::string oauth2;
    if (!introspection_.empty()) {
        // The token's owner is the introspection reply's "username"; an inactive token is
        // refused.
        writeFile(dir / "oauth2.conf.ext",
                  "introspection_mode = post\nintrospection_url = " + introspection_ +
                      "\nusername_attribute = username\nactive_attribute = active\n"
                      "active_value = true\nforce_introspection = yes\n");
        oauth2 = "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = " +
                 (dir / "oauth2.conf.ext").string() + "\n}\n";
    }
    writeFile(
        dir / "dovecot.conf",
        substitute(kConfiguration, {{"DIR", dir.string()},
                                    {"NAME", dir.filename().string()},
                                    {"PORT", std::to_string(port)},
                                    {"PORT2", std::to_string(pop3sPort_)},
                                    {"SSL", ssl},
                                    {"MECHS", mechanisms_},
                                    {"OAUTH2", oauth2},
                                    {"LISTEN", ipv6Loopback_ ? "127.0.0.1, ::1" : "127.0.0.1"}}));
    return {};
}

bool hasIpv6Loopback() {
    const int probe = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return bound;
}

} // namespace toppeek::test
