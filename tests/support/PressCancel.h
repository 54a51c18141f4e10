#pragma once

#include "dialogs/ProgressDialog.h"
#include "ui/ProgressDialogHost.h"

#include <QPushButton>
#include <QTimer>

#include <functional>
#include <utility>

namespace toppeek::test {

// Presses Cancel on the running operation's dialog once condition holds. A timer checks it, so
// the click arrives the way a user's does: through the event processing inside the operation.
class PressCancelWhen {
public:
    using Condition = std::function<bool(toppeek::dialogs::ProgressDialog&)>;

    explicit PressCancelWhen(Condition condition, int intervalMilliseconds = 5)
        : condition_(std::move(condition)) {
        timer_.setInterval(intervalMilliseconds);
        QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
        timer_.start();
    }
    PressCancelWhen(const PressCancelWhen&) = delete;
    PressCancelWhen& operator=(const PressCancelWhen&) = delete;

    bool pressed() const { return pressed_; }

private:
    void check() {
        toppeek::dialogs::ProgressDialog* dialog = toppeek::ui::ProgressDialogHost::current();
        if (dialog == nullptr || !condition_(*dialog))
            return;
        timer_.stop();
        pressed_ = true;
        dialog->cancelButton->click();
    }

    Condition condition_;
    QTimer timer_;
    bool pressed_ = false;
};

} // namespace toppeek::test
