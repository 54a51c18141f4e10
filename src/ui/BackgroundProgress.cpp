#include "ui/BackgroundProgress.h"

#include "dialogs/ProgressDialog.h"
#include "ui/ProgressDialogHost.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace toppeek::ui {

BackgroundProgress::BackgroundProgress(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("backgroundProgress"));
    progressText = new QLabel(this);
    progressText->setObjectName(QStringLiteral("backgroundProgressText"));
    progressText->setTextFormat(Qt::PlainText);
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("backgroundProgressBar"));
    progressBar->setTextVisible(false);
    progressBar->setFixedWidth(80);
    cancelButton = new QToolButton(this);
    cancelButton->setObjectName(QStringLiteral("backgroundCancelButton"));
    cancelButton->setText(tr("Cancel"));
    cancelButton->setToolTip(tr("Stop the check"));
    cancelButton->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(progressText);
    layout->addWidget(progressBar);
    layout->addWidget(cancelButton);

    connect(cancelButton, &QToolButton::clicked, this, [this] { cancel(); });
    deferred_.setSingleShot(true);
    connect(&deferred_, &QTimer::timeout, this, &BackgroundProgress::takeTexts);
    hide();
}

void BackgroundProgress::follow() {
    if (lastTaken_.isValid() && lastTaken_.elapsed() < kRefreshIntervalMs) {
        if (!deferred_.isActive())
            deferred_.start(kRefreshIntervalMs - static_cast<int>(lastTaken_.elapsed()));
        return;
    }
    takeTexts();
}

void BackgroundProgress::takeTexts() {
    lastTaken_.start();
    progressText->setText(line_);
    progressText->setToolTip(status_);
    progressBar->setRange(0, std::max(maximum_, 0));
    progressBar->setValue(position_);
}

void BackgroundProgress::begin() {
    running_ = true;
    line_ = tr("Checking for new mail...");
    status_.clear();
    position_ = maximum_ = 0;
    takeTexts();
    lastTaken_.invalidate();
    cancelButton->setEnabled(true);
    show();
}

void BackgroundProgress::end() {
    deferred_.stop();
    hide();
}

void BackgroundProgress::setCaption(const std::string& /*text*/) {
    // The status bar has no caption; the progress line says what runs.
}

void BackgroundProgress::setProgressLine(const std::string& text) {
    line_ = dialogs::progressText(text);
    follow();
}

void BackgroundProgress::setStatusLine(const std::string& text) {
    status_ = dialogs::progressText(text);
    follow();
}

void BackgroundProgress::setProgressBar(int position, int maximum) {
    position_ = position;
    maximum_ = maximum;
    follow();
}

void BackgroundProgress::cancel() {
    // Once cancelled there is nothing more to ask; the check is already on its way out.
    if (!running_ || confirming_)
        return;
    confirming_ = true;
    const bool accepted = confirmOperationCancel();
    confirming_ = false;
    if (accepted)
        running_ = false;
}

void BackgroundProgress::pump() {
    QCoreApplication::processEvents();
}

void BackgroundProgress::tell(const std::string& text, bool warning) {
    tellInBox(text, warning);
}

bool BackgroundProgress::ask(const operations::Question& question) {
    return askInBox(question);
}

} // namespace toppeek::ui
