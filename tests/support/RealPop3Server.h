#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace toppeek::test {

// Runs a real POP3 server as a child process on 127.0.0.1, with its configuration, users and
// Maildirs in a private temporary directory that is removed with the object. The concrete
// servers (Dovecot, GNU mailutils) only supply their configuration and command line.
//
// The servers switch to the mail owner's uid after login, so they must be started as root.
class RealPop3Server {
public:
    virtual ~RealPop3Server();
    RealPop3Server(const RealPop3Server&) = delete;
    RealPop3Server& operator=(const RealPop3Server&) = delete;

    // Adds a mailbox user; call before start(). The password is kept in clear so that APOP
    // works.
    void addUser(const std::string& name, const std::string& password);

    // Stores one message (LF line ends are fine) in the user's Maildir, after the ones stored
    // before; works before and after start(). Returns the size the server reports for it,
    // which counts every line end as CR LF.
    std::size_t addMessage(const std::string& user, std::string_view text);

    // Messages still in the user's Maildir.
    std::size_t messageCount(const std::string& user) const;

    // Starts the server and waits for its greeting. On failure returns false and failure()
    // tells why, with the end of the server's log; nothing is left running.
    [[nodiscard]] bool start();

    // Sends SIGTERM, reaps the child (SIGKILL after a grace period) and waits until the port
    // is closed. Does nothing when the server is not running.
    void stop();

    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    // The host text the client takes to reach this server: "127.0.0.1:port".
    std::string hostAndPort() const;
    // The name the given user logs in with.
    virtual std::string loginName(const std::string& user) const { return user; }
    const std::string& failure() const { return failure_; }
    const std::filesystem::path& directory() const { return dir_; }
    // The end of the server's own log and output, for failure messages.
    std::string logTail() const;

protected:
    struct User {
        std::string name;
        std::string password;
    };

    // Owner of the homes and Maildirs; Dovecot refuses uids below its first_valid_uid (1000)
    // and the uid need not exist in /etc/passwd.
    static constexpr unsigned mailUid = 5000;

    explicit RealPop3Server(std::string_view kind);

    std::filesystem::path homeOf(const std::string& user) const;
    const std::vector<User>& users() const { return users_; }

    // Writes the configuration for the given port; returns an error text or the empty text.
    virtual std::string prepare(int port) = 0;
    // The program and its arguments; the program is looked up on PATH and the sbin folders.
    virtual std::vector<std::string> commandLine() const = 0;
    virtual std::filesystem::path maildirOf(const std::string& user) const = 0;
    // Log files besides the captured standard output and error.
    virtual std::vector<std::filesystem::path> logFiles() const { return {}; }

    // Writes a file readable by everyone; the servers read it under other uids.
    static void writeFile(const std::filesystem::path& path, std::string_view text);

private:
    enum class Launch { Ready, Exited, Failed };

    Launch launch(int port);
    void killAndReap();

    std::string kind_;
    std::filesystem::path dir_;
    std::vector<User> users_;
    std::string failure_;
    pid_t pid_ = -1;   // the guardian that starts, watches and stops the server
    int control_ = -1; // closing it tells the guardian to stop the server
    int port_ = 0;
    unsigned nextMessage_ = 0;
};

// text with every "@NAME@" of the list replaced by its value; configuration files are written
// from templates this way.
std::string substitute(std::string text,
                       const std::vector<std::pair<std::string, std::string>>& values);

// A loopback port that was free a moment ago (another process may take it before it is bound).
int freeLoopbackPort();

// Full path of a program on PATH or in the sbin folders, or the empty path.
std::filesystem::path findProgram(const std::string& name);

// Runs a program to completion and collects its standard output and error in output. True when
// it exits with status 0.
bool runTool(const std::vector<std::string>& argv, std::string& output);

} // namespace toppeek::test
