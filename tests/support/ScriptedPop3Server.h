#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace toppeek::test {

// One piece of a reply, sent after waiting delay.
struct ReplyPiece {
    std::string bytes;
    std::chrono::milliseconds delay{0};
};

// What the server does once a step's reply is out.
enum class AfterReply {
    Continue,   // go on with the next step
    StaySilent, // read and record what arrives, but never answer again
    Close,      // close the connection (also in the middle of a reply)
};

// A POP3 server for tests that does exactly what its script says, including what real servers
// never do. It listens on 127.0.0.1 on an ephemeral port and serves one connection on its own
// thread: the greeting, then for each expected command line its canned reply. Commands that
// arrive after the script has ended are recorded and answered "-ERR". Every wait is bounded,
// so a test can never hang on it.
class ScriptedPop3Server {
public:
    ScriptedPop3Server();
    ~ScriptedPop3Server();
    ScriptedPop3Server(const ScriptedPop3Server&) = delete;
    ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

    // Script building, before start().
    ScriptedPop3Server& greeting(std::string reply);
    ScriptedPop3Server& greeting(std::vector<ReplyPiece> pieces,
                                 AfterReply after = AfterReply::Continue);
    // command is the expected line without its line end.
    ScriptedPop3Server& expect(std::string command, std::string reply);
    ScriptedPop3Server& expect(std::string command, std::vector<ReplyPiece> pieces,
                               AfterReply after = AfterReply::Continue);
    // Longest any single wait of the server lasts (accept, next command, silence). 10 s unless
    // set.
    ScriptedPop3Server& waitLimit(std::chrono::milliseconds limit);
    // Shrinks the connection's send and receive buffers (SO_SNDBUF, SO_RCVBUF) to bytes, so that
    // a client that stops reading while it sends fills them quickly.
    ScriptedPop3Server& socketBuffers(int bytes);

    // Starts serving in a thread.
    void start();
    // Waits until the conversation is over (the script ended and the client closed, or the
    // server closed, or a wait ran out). True when it ended within limit.
    bool waitUntilDone(std::chrono::milliseconds limit = std::chrono::seconds(10));

    int port() const { return port_; }
    // The host text the client takes: "127.0.0.1:port".
    std::string hostAndPort() const;

    // The command lines received, each with the line end it arrived with (an unfinished last
    // line too).
    std::vector<std::string> received() const;
    // Every byte received.
    std::string receivedBytes() const;
    // Commands that did not match the script, commands after its end, waits that ran out.
    std::vector<std::string> problems() const;

private:
    struct Step {
        std::optional<std::string> command;
        std::vector<ReplyPiece> pieces;
        AfterReply after = AfterReply::Continue;
    };
    enum class Read { Line, Closed, TimedOut };

    void serve();
    void converse(int client);
    Read readLine(int client, std::string& line);
    bool sendPiece(int client, const ReplyPiece& piece);
    bool pause(std::chrono::milliseconds delay);
    void drain(int client, bool answer);
    void note(std::string problem);
    bool stopping() const;

    int listener_ = -1;
    int port_ = 0;
    std::vector<Step> script_;
    std::chrono::milliseconds limit_{10000};
    int bufferBytes_ = 0; // 0: the system's
    std::thread thread_;
    std::string pending_; // bytes of a line not yet complete

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool done_ = false;
    std::vector<std::string> received_;
    std::string receivedBytes_;
    std::vector<std::string> problems_;
};

// A loopback port on which a connection attempt neither succeeds nor fails: the listener's
// queue is full and it never accepts, so the attempt waits until cancelled or timed out.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;

    int port() const { return port_; }
    // False when the queue could not be filled; then attempts may succeed.
    bool ready() const { return ready_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    int port_ = 0;
    bool ready_ = false;
};

// A loopback port on which nothing listens, so a connection attempt is refused.
int unusedLoopbackPort();

} // namespace toppeek::test
