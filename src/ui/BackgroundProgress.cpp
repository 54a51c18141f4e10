#include "ui/BackgroundProgress.h"

#include "dialogs/ProgressDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

using toppeek::dialogs::currentProgressDialog;
using toppeek::dialogs::ProgressDialog;

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

    // The dialog's own Cancel: the same question, the same flags.
    connect(cancelButton, &QToolButton::clicked, this, [] {
        if (ProgressDialog* dialog = currentProgressDialog())
            dialog->cancelClicked();
    });
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
    // Read from the run's dialog at the time of taking: a deferred take shows the latest texts.
    const ProgressDialog* dialog = currentProgressDialog();
    if (dialog == nullptr)
        return;
    progressText->setText(dialog->progressLabel->text());
    progressText->setToolTip(dialog->statusLabel->text());
    progressBar->setRange(0, std::max(dialog->progressBar->maximum(), 0));
    progressBar->setValue(dialog->progressBar->value());
}

void BackgroundProgress::begin() {
    progressText->setText(tr("Checking for new mail..."));
    progressText->setToolTip(QString());
    progressBar->setRange(0, 0);
    cancelButton->setEnabled(true);
    show();
}

void BackgroundProgress::end() {
    deferred_.stop();
    hide();
}

} // namespace toppeek::ui
