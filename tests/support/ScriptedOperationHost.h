// An operation host for tests: it shows nothing, records everything an operation tells it, and
// plays the user by script. Questions take the queued answers in order, then No, as Esc would
// answer them; a cancel comes when a condition the test gives holds, checked each time the
// operation lets pending work run (pump), which is where a user's click would be handled.
#pragma once

#include "operations/OperationHost.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace toppeek::test {

class ScriptedOperationHost : public toppeek::operations::OperationHost {
public:
    // What the user was told or asked, or that they asked to stop, in order.
    struct Said {
        enum class Kind { Told, Warning, Question, WarningQuestion, Cancel };
        Kind kind;
        std::string text;
    };
    using Kind = Said::Kind;

    struct Bar {
        int position;
        int maximum;
        bool operator==(const Bar&) const = default;
    };

    ScriptedOperationHost& answer(bool yes) {
        answers_.push_back(yes);
        return *this;
    }
    // The user presses Cancel once condition holds, and answers the question whether to stop
    // with confirmed. Once pressed, the condition is dropped.
    void cancelWhen(std::function<bool()> condition, bool confirmed = true) {
        cancelCondition_ = std::move(condition);
        cancelConfirmed_ = confirmed;
    }

    const std::vector<Said>& said() const { return said_; }
    std::vector<Kind> kinds() const {
        std::vector<Kind> all;
        for (const Said& one : said_)
            all.push_back(one.kind);
        return all;
    }
    // How often Cancel was pressed.
    int cancels() const {
        int count = 0;
        for (const Said& one : said_)
            count += one.kind == Kind::Cancel ? 1 : 0;
        return count;
    }
    const std::vector<std::string>& captions() const { return captions_; }
    const std::vector<std::string>& progressLines() const { return progressLines_; }
    const std::vector<std::string>& statusLines() const { return statusLines_; }
    const std::vector<Bar>& bars() const { return bars_; }
    // The latest status line, as the dialog would show it now.
    std::string statusLine() const { return statusLines_.empty() ? "" : statusLines_.back(); }
    int began() const { return began_; }
    int ended() const { return ended_; }

    void begin() override {
        ++began_;
        stopped_ = false;
    }
    void end() override { ++ended_; }
    void setCaption(const std::string& text) override { captions_.push_back(text); }
    void setProgressLine(const std::string& text) override { progressLines_.push_back(text); }
    void setStatusLine(const std::string& text) override { statusLines_.push_back(text); }
    void setProgressBar(int position, int maximum) override {
        bars_.push_back({position, maximum});
    }
    bool goOn() const override { return !stopped_; }
    void cancel() override {
        said_.push_back({Kind::Cancel, {}});
        if (stopped_ || !cancelConfirmed_)
            return;
        // As a confirmed cancel does: the loops stop, and so does the wait under way.
        stopped_ = true;
        toppeek::operations::setCancelFlag(true);
    }
    void pump() override {
        if (cancelCondition_ && cancelCondition_()) {
            cancelCondition_ = nullptr;
            cancel();
        }
    }
    void tell(const std::string& text, bool warning = false) override {
        said_.push_back({warning ? Kind::Warning : Kind::Told, text});
    }
    bool ask(const toppeek::operations::Question& question) override {
        said_.push_back({question.warning ? Kind::WarningQuestion : Kind::Question, question.text});
        if (answers_.empty())
            return false;
        const bool yes = answers_.front();
        answers_.pop_front();
        return yes;
    }

private:
    std::deque<bool> answers_;
    std::function<bool()> cancelCondition_;
    bool cancelConfirmed_ = true;
    std::vector<Said> said_;
    std::vector<std::string> captions_;
    std::vector<std::string> progressLines_;
    std::vector<std::string> statusLines_;
    std::vector<Bar> bars_;
    int began_ = 0;
    int ended_ = 0;
    bool stopped_ = false;
};

} // namespace toppeek::test
