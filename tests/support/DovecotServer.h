#pragma once

#include "support/RealPop3Server.h"

namespace toppeek::test {

// Dovecot's POP3 server with a configuration of its own: plain passwords (so APOP works and the
// greeting carries a time stamp), Maildirs at HOME/Maildir, and no penalty or long delay after a
// refused login, so that tests may refuse passwords without slowing the ones that follow.
class DovecotServer : public RealPop3Server {
public:
    DovecotServer();

protected:
    std::string prepare(int port) override;
    std::vector<std::string> commandLine() const override;
    std::filesystem::path maildirOf(const std::string& user) const override;
    std::vector<std::filesystem::path> logFiles() const override;
};

} // namespace toppeek::test
