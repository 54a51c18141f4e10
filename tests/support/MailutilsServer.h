#pragma once

#include "support/RealPop3Server.h"

namespace toppeek::test {

// GNU mailutils pop3d, whose habits differ from Dovecot's (it writes a TOP reply in several
// pieces). Users live in one virtual domain and log in as "user@domain"; the mailbox is a
// Maildir at HOME/INBOX; APOP works through a database built with popauth.
class MailutilsServer : public RealPop3Server {
public:
    static constexpr const char* domain = "toppeek.test";

    MailutilsServer();

    std::string loginName(const std::string& user) const override;

protected:
    std::string prepare(int port) override;
    std::vector<std::string> commandLine() const override;
    std::filesystem::path maildirOf(const std::string& user) const override;
};

} // namespace toppeek::test
