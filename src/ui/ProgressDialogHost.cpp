#include "ui/ProgressDialogHost.h"

#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace toppeek::ui {

using namespace toppeek::dialogs;

bool confirmOperationCancel() {
    if (!confirmCancel())
        return false;
    operations::setCancelFlag(true);
    return true;
}

ProgressDialogHost::ProgressDialogHost() = default;
ProgressDialogHost::~ProgressDialogHost() = default;

dialogs::ProgressDialog* ProgressDialogHost::current() {
    auto* host = dynamic_cast<ProgressDialogHost*>(operations::runningHost());
    return host != nullptr ? host->dialog() : nullptr;
}

void ProgressDialogHost::begin() {
    // One host serves every run of the window; each run starts uncancelled.
    cancelled_ = false;
    dialog_ = std::make_unique<ProgressDialog>();
    dialog_->setConfirmCancel(confirmOperationCancel);
    dialog_->show();
}

void ProgressDialogHost::end() {
    cancelled_ = cancelled_ || (dialog_ && !dialog_->running());
    dialog_.reset();
}

void ProgressDialogHost::setCaption(const std::string& text) {
    if (dialog_)
        dialog_->setWindowTitle(progressText(text));
}

void ProgressDialogHost::setProgressLine(const std::string& text) {
    if (dialog_)
        dialog_->progressLabel->setText(progressText(text));
}

void ProgressDialogHost::setStatusLine(const std::string& text) {
    if (dialog_)
        dialog_->statusLabel->setText(progressText(text));
}

void ProgressDialogHost::setProgressBar(int position, int maximum) {
    if (!dialog_)
        return;
    // Minimum, then maximum, then position, so that a position above the old maximum is kept.
    dialog_->progressBar->setMinimum(0);
    dialog_->progressBar->setMaximum(maximum);
    dialog_->progressBar->setValue(position);
}

bool ProgressDialogHost::goOn() const {
    return !cancelled_ && (!dialog_ || dialog_->running());
}

void ProgressDialogHost::cancel() {
    if (dialog_)
        dialog_->cancelClicked();
}

void ProgressDialogHost::pump() {
    QCoreApplication::processEvents();
}

void ProgressDialogHost::tell(const std::string& text, bool warning) {
    tellInBox(text, warning);
}

bool ProgressDialogHost::ask(const operations::Question& question) {
    return askInBox(question);
}

void tellInBox(const std::string& text, bool warning) {
    msgBox(warning ? kMbWarning : kMbInformation, kProgramTitle, "%s", text.c_str());
}

bool askInBox(const operations::Question& question) {
    return msgBox(kMbAskYesNo | (question.warning ? kMbIconWarning : 0u), kProgramTitle, "%s",
                  question.text.c_str()) == kIdYes;
}

} // namespace toppeek::ui
