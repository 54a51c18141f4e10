// The status bar's share of a check that runs without the progress dialog: the progress line,
// a small bar and a cancel button. It is the host such a check runs through; what the check
// tells or asks it leaves to the program's message boxes, though a check nobody asked for is run
// quietly and tells nothing.
#pragma once

#include "operations/OperationHost.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QToolButton;

namespace toppeek::ui {

class BackgroundProgress : public QWidget, public operations::OperationHost {
    Q_OBJECT
public:
    explicit BackgroundProgress(QWidget* parent = nullptr);

    // Shown for the run, hidden again once it ended.
    void begin() override;
    void end() override;
    // The texts change several times per message; the panel shows them at most once per
    // interval, always the latest.
    void setCaption(const std::string& text) override;
    void setProgressLine(const std::string& text) override;
    void setStatusLine(const std::string& text) override;
    void setProgressBar(int position, int maximum) override;
    bool goOn() const override { return running_; }
    // The dialog's Cancel: the same question, the same flags.
    void cancel() override;
    void pump() override;
    void tell(const std::string& text, bool warning = false) override;
    bool ask(const operations::Question& question) override;

    QLabel* progressText;
    QProgressBar* progressBar;
    QToolButton* cancelButton;

private:
    void follow();
    void takeTexts();

    static constexpr int kRefreshIntervalMs = 100;
    QElapsedTimer lastTaken_;
    QTimer deferred_;
    QString line_;
    QString status_;
    int position_ = 0;
    int maximum_ = 0;
    bool running_ = true;
    // Set while the question is open, so that further clicks do not stack up more questions.
    bool confirming_ = false;
};

} // namespace toppeek::ui
