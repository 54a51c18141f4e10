// The small stay-on-top dialog that a mailbox operation runs under: a progress line, a status
// line with the POP3 conversation, a progress bar and Cancel. There is no modal loop: the runner
// shows the dialog and calls the operation directly, and the operation keeps the dialog alive by
// processing pending events while it waits on the network.
//
// Cancelling uses two flags. The dialog's running flag is watched by the operations' loops
// between messages; the process-wide cancel flag is asked by every wait of the connection layer,
// so that the exchange under way fails at once.
#pragma once

#include "mail/Connection.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;

namespace toppeek::dialogs {

// Asked when the user wants to cancel; true accepts the cancel. It carries whatever the running
// operation needs to decide.
using ConfirmCancel = std::function<bool()>;

// Texts put into the caption and the labels are cut to this many bytes.
inline constexpr int kProgressTextLimit = 255;

class ProgressDialog : public QDialog {
    Q_OBJECT

public:
    explicit ProgressDialog(QWidget* owner = nullptr);

    QPushButton* cancelButton;
    QLabel* progressLabel;     // progress line
    QProgressBar* progressBar; // progress
    QLabel* statusLabel;       // status line: the connection trace
    QLabel* spareLabel;        // stays empty

    bool running() const { return running_; }
    void setConfirmCancel(ConfirmCancel confirm) { confirm_ = std::move(confirm); }

    // The Cancel button, and Esc.
    void cancelClicked();
    // The close box; true lets the dialog close (it is hidden, not freed).
    bool canClose();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // QDialog's answer to Esc; here Esc presses Cancel.
    void reject() override;

private:
    // Asks the confirm-cancel callback; a dialog without one cancels at once.
    bool cancelAccepted();

    bool running_ = true;
    // Set while the question is open, so that further clicks do not stack up more questions.
    bool confirming_ = false;
    ConfirmCancel confirm_;
    // Shortest time between two paints of the dialog.
    static constexpr int kPaintIntervalMilliseconds = 20;
    QElapsedTimer lastPaint_;
    QTimer deferredPaint_;
};

// Called after each change of the run's caption, texts or bar, for a run whose progress is shown
// elsewhere (the main window's status bar) rather than in the dialog.
using ProgressShownElsewhere = std::function<void()>;

// Shows a new dialog, runs work and frees the dialog again. True when the work ran and no cancel
// was accepted meanwhile; false when a cancel was accepted or another run was in progress, in
// which case nothing is shown and work is not called. With shownElsewhere the dialog is made but
// never shown: it still holds the texts, the bar and the running flag, and its Cancel is pressed
// from wherever the progress is shown.
bool runWithProgress(const std::function<void()>& work, ConfirmCancel confirm,
                     ProgressShownElsewhere shownElsewhere = {});

// True for exactly the duration of runWithProgress.
bool progressBusy();
// The dialog of the run in progress, or null.
ProgressDialog* currentProgressDialog();

// The current dialog's texts, printf-style, cut to kProgressTextLimit bytes. Without a current
// dialog they do nothing.
void setProgressCaption(const char* format, ...) __attribute__((format(printf, 1, 2)));
void setProgressLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void setStatusLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Minimum 0, then maximum, then position, so that a position above the old maximum is kept.
void setProgressBar(int position, int maximum);

// The current dialog's running flag; false when no run is in progress.
bool progressRunning();

// Asks the user whether to cancel (Yes/No); Yes sets the cancel flag and returns true.
bool confirmCancel();

// The process-wide cancel flag: set by a confirmed cancel, cleared when an operation starts.
// The control is not looked at; the signature lets it serve as a connection's cancel query.
bool cancelRequested(const mail::ConnectionControl* control = nullptr);
void setCancelFlag(bool value);

// Status callback for the connection layer: shows the lookup, the connection and every command
// sent on the status line.
void showConnectStatus(mail::ConnectionControl& control);

// Lets the application handle everything that is pending (input, painting, timers). The
// operations call it between messages.
void processPendingEvents();
// The connection layer's idle step while an operation runs: processPendingEvents, unless that
// ran less than a millisecond ago.
void idleStep();

} // namespace toppeek::dialogs
