#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <utility>

namespace toppeek::test {

// Answers the modal dialogs that the code under test opens, so that a test never waits on one.
// Each step names the dialog it expects (its objectName) and what to do with it; a step runs as
// soon as that dialog is the active modal window. A step that opens a further modal dialog must
// do so with clickLater, so that the driver is free to answer the nested one.
//
// If the expected dialog does not turn up within the deadline, or a dialog turns up with no step
// left for it, every modal dialog is rejected and failed() says so: a broken test fails, it does
// not hang.
class ModalDialogDriver : public QObject {
public:
    using Step = std::function<void(QDialog*)>;

    explicit ModalDialogDriver(int deadlineMs = 10000) : deadlineMs_(deadlineMs) {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
        waiting_.start();
    }

    ModalDialogDriver& expect(const QString& dialogName, Step step) {
        steps_.emplace_back(dialogName, std::move(step));
        return *this;
    }

    bool failed() const { return failed_; }
    bool finished() const { return steps_.empty(); }
    int answered() const { return answered_; }

    // Clicks button once the current step has returned.
    static void clickLater(QAbstractButton* button) {
        QTimer::singleShot(0, button, [button] { button->click(); });
    }

private:
    void poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (!steps_.empty() && waiting_.elapsed() > deadlineMs_)
                failed_ = true;
            return;
        }
        if (steps_.empty() || steps_.front().first != dialog->objectName()) {
            if (steps_.empty() || waiting_.elapsed() > deadlineMs_) {
                failed_ = true;
                dialog->reject();
            }
            return;
        }
        Step step = std::move(steps_.front().second);
        steps_.pop_front();
        ++answered_;
        waiting_.restart();
        step(dialog);
    }

    int deadlineMs_;
    QTimer timer_;
    QElapsedTimer waiting_;
    std::deque<std::pair<QString, Step>> steps_;
    int answered_ = 0;
    bool failed_ = false;
};

} // namespace toppeek::test
