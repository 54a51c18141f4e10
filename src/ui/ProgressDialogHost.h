// The host an operation asked for by the user runs under: the progress dialog, shown for the run,
// and the program's message boxes for what the operation tells or asks.
#pragma once

#include "dialogs/ProgressDialog.h"
#include "operations/OperationHost.h"

#include <memory>

namespace toppeek::ui {

class ProgressDialogHost : public operations::OperationHost {
public:
    ProgressDialogHost();
    ~ProgressDialogHost() override;
    ProgressDialogHost(const ProgressDialogHost&) = delete;
    ProgressDialogHost& operator=(const ProgressDialogHost&) = delete;

    void begin() override;
    void end() override;
    void setCaption(const std::string& text) override;
    void setProgressLine(const std::string& text) override;
    void setStatusLine(const std::string& text) override;
    void setProgressBar(int position, int maximum) override;
    bool goOn() const override;
    void cancel() override;
    void pump() override;
    void tell(const std::string& text, bool warning = false) override;
    bool ask(const operations::Question& question) override;

    // The dialog while the run lasts, else null.
    dialogs::ProgressDialog* dialog() const { return dialog_.get(); }
    // The dialog of the running operation when it runs under a progress dialog, else null.
    static dialogs::ProgressDialog* current();

private:
    std::unique_ptr<dialogs::ProgressDialog> dialog_;
    // A cancel accepted during the run still counts for goOn() once the dialog has gone.
    bool cancelled_ = false;
};

// The question of a cancel asked for, as the dialog's Cancel asks it: Yes sets the operations'
// process-wide cancel flag.
bool confirmOperationCancel();

// What an operation tells or asks, in the program's message box.
void tellInBox(const std::string& text, bool warning);
bool askInBox(const operations::Question& question);

} // namespace toppeek::ui
