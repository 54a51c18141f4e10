// The small stay-on-top dialog that a mailbox operation runs under: a progress line, a status
// line with the POP3 conversation, a progress bar and Cancel. There is no modal loop: its host
// (ui/ProgressDialogHost.h) shows the dialog and the operation runs directly, keeping the dialog
// alive by processing pending events while it waits on the network.
//
// The dialog's running flag goes false once a cancel is accepted; the confirm-cancel callback
// does whatever else a cancel needs (the operations' process-wide flag).
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <string_view>

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

// A text for the caption or a label of the dialog: cut to kProgressTextLimit bytes, converted
// for display.
QString progressText(std::string_view text);

// Asks the user whether to stop talking to the mail server (Yes/No); true for Yes.
bool confirmCancel();

} // namespace toppeek::dialogs
