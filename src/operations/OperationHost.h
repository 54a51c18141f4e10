// What a mailbox operation needs from whoever runs it: somewhere to show how far it got, whether
// the user wants it to go on, a step that keeps the program answering while it waits on the
// network, and a way to tell the user what went wrong or to ask a question. The operations know
// nothing of windows; the progress dialog with its message boxes, the status bar's panel of a
// background check and the tests' scripted host each implement this.
//
// The model is single-threaded: the operation runs on the thread of the user interface and keeps
// it alive by calling pump() inside each wait, so the host's own controls (its Cancel) work
// through the events that pump processes.
#pragma once

#include <string>

namespace toppeek::operations {

// A question put to the user; the host shows it with Yes and No.
struct Question {
    std::string text;
    // The question warns of a risk (a certificate that could not be verified) rather than only
    // asking.
    bool warning = false;
};

class OperationHost {
public:
    virtual ~OperationHost() = default;

    // The run starts (the host shows itself) and ends (it goes away). Between the two every
    // other call may come any number of times.
    virtual void begin() = 0;
    virtual void end() = 0;

    // The texts of the run: its caption, the line that says how far it is ("Reading message 3 of
    // 20") and the status line that follows the conversation ("TOP 3 0"). Hosts cut overlong
    // texts themselves.
    virtual void setCaption(const std::string& text) = 0;
    virtual void setProgressLine(const std::string& text) = 0;
    virtual void setStatusLine(const std::string& text) = 0;
    // position of maximum; a maximum of 0 means the length of the work is not known.
    virtual void setProgressBar(int position, int maximum) = 0;

    // False once the user asked for the run to stop and confirmed it; the loops between messages
    // look at this, the waits of the connection at cancelRequested().
    virtual bool goOn() const = 0;
    // The user (or the window closing) asks for the run to stop, as the host's Cancel does: the
    // host may ask whether to stop first. Afterwards goOn() says whether it will.
    virtual void cancel() = 0;

    // Lets the program handle what is pending (input, painting, timers).
    virtual void pump() = 0;

    // Tells the user of a failure (a box). warning marks one the user has to act on.
    virtual void tell(const std::string& text, bool warning = false) = 0;
    // Asks; true for Yes.
    virtual bool ask(const Question& question) = 0;
};

// The host of the operation that is running, or null. There is at most one at a time: an
// operation started from an event handler while another runs is refused.
OperationHost* runningHost();
inline bool operationRunning() {
    return runningHost() != nullptr;
}

// The process-wide cancel flag, asked by every wait of the connection layer so that the exchange
// under way fails at once: set by a confirmed cancel, cleared when an operation starts.
bool cancelRequested();
void setCancelFlag(bool value);

// Makes host the running one for its lifetime and runs its begin() and end(); the cancel flag is
// cleared. Made while another host runs, it does nothing and started() is false.
class RunningHost {
public:
    explicit RunningHost(OperationHost& host);
    ~RunningHost();
    RunningHost(const RunningHost&) = delete;
    RunningHost& operator=(const RunningHost&) = delete;

    bool started() const { return started_; }

private:
    OperationHost& host_;
    bool started_ = false;
};

// Runs nothing of its own: no texts, no questions (each is answered No), no cancel unless asked,
// failures to the standard error stream. For callers without a user (tools, benchmarks of the
// protocol alone).
class SilentHost : public OperationHost {
public:
    void begin() override {}
    void end() override {}
    void setCaption(const std::string&) override {}
    void setProgressLine(const std::string&) override {}
    void setStatusLine(const std::string&) override {}
    void setProgressBar(int, int) override {}
    bool goOn() const override { return !cancelled_; }
    void cancel() override;
    void pump() override {}
    void tell(const std::string& text, bool warning = false) override;
    bool ask(const Question&) override { return false; }

private:
    bool cancelled_ = false;
};

} // namespace toppeek::operations
