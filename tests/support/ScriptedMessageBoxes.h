#pragma once

#include "dialogs/MsgBox.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace toppeek::test {

// Stands in for the program's message boxes while it lives: every box is recorded and answered
// at once, so that no test ever waits on a modal window. Boxes take the queued answers in order;
// once they are used up, a box is dismissed (Cancel, No or OK, as Esc would answer it).
class ScriptedMessageBoxes {
public:
    using Request = toppeek::dialogs::MessageBoxRequest;

    ScriptedMessageBoxes() {
        previous_ = toppeek::dialogs::setMessageBoxResponder(
            [this](const Request& request) { return respond(request); });
    }
    ~ScriptedMessageBoxes() { toppeek::dialogs::setMessageBoxResponder(std::move(previous_)); }
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    ScriptedMessageBoxes& answer(int button) {
        answers_.push_back(button);
        return *this;
    }
    // Runs while a box is being answered, before the answer is given (it sees the box recorded).
    void whileShown(std::function<void(const Request&)> hook) { hook_ = std::move(hook); }

    const std::vector<Request>& shown() const { return shown_; }
    std::vector<unsigned> flags() const {
        std::vector<unsigned> all;
        for (const Request& request : shown_)
            all.push_back(request.flags);
        return all;
    }

private:
    int respond(const Request& request) {
        shown_.push_back(request);
        if (hook_)
            hook_(request);
        if (answers_.empty())
            return toppeek::dialogs::dismissAnswer(request.flags);
        int button = answers_.front();
        answers_.pop_front();
        return button;
    }

    toppeek::dialogs::MessageBoxResponder previous_;
    std::deque<int> answers_;
    std::function<void(const Request&)> hook_;
    std::vector<Request> shown_;
};

} // namespace toppeek::test
