#include "dialogs/ProgressDialog.h"

#include "dialogs/DisplayText.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <memory>

namespace toppeek::dialogs {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(left, top, width, height);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

ProgressDialog::ProgressDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("TTFPro3"));
    setWindowTitle(tr("Processing"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // Closing this dialog must never end the program, even when it is the only window.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(261, 123);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    cancelButton = new QPushButton(tr("&Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("BCancel"));
    cancelButton->setGeometry(96, 92, 75, 25);
    progressLabel = makeLabel(this, "Label1", 16, 8, 233, 13);
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("PBar"));
    progressBar->setGeometry(12, 68, 237, 16);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    statusLabel = makeLabel(this, "Label2", 16, 28, 233, 13);
    spareLabel = makeLabel(this, "Label3", 16, 48, 233, 13);
    cancelButton->setFocus();

    connect(cancelButton, &QPushButton::clicked, this, &ProgressDialog::cancelClicked);
    deferredPaint_.setSingleShot(true);
    connect(&deferredPaint_, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

bool ProgressDialog::cancelAccepted() {
    if (!confirm_)
        return true;
    confirming_ = true;
    bool accepted = confirm_();
    confirming_ = false;
    return accepted;
}

void ProgressDialog::cancelClicked() {
    // Once cancelled there is nothing more to ask; the operation is already on its way out.
    if (!running_ || confirming_)
        return;
    if (cancelAccepted())
        running_ = false;
}

bool ProgressDialog::canClose() {
    if (confirming_)
        return false;
    if (!confirm_) {
        running_ = false;
        return false;
    }
    if (!running_ || cancelAccepted()) {
        running_ = false;
        return true;
    }
    return false;
}

bool ProgressDialog::event(QEvent* event) {
    // The labels change several times per message, thousands of times a second, and painting
    // each change would cost more than the conversation itself. The widgets keep their dirty
    // areas; a request that comes too soon after the last paint is put off until the interval is
    // over, so the dialog shows the latest texts at most one interval late.
    if (event->type() == QEvent::UpdateRequest) {
        if (lastPaint_.isValid() && lastPaint_.elapsed() < kPaintIntervalMilliseconds) {
            if (!deferredPaint_.isActive())
                deferredPaint_.start(kPaintIntervalMilliseconds -
                                     static_cast<int>(lastPaint_.elapsed()));
            return true;
        }
        lastPaint_.start();
    }
    return QDialog::event(event);
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
    if (canClose())
        event->accept();
    else
        event->ignore();
}

void ProgressDialog::reject() {
    cancelButton->click();
}

QString progressText(std::string_view text) {
    const bool cut = text.size() > static_cast<std::size_t>(kProgressTextLimit);
    return displayText(text.substr(0, kProgressTextLimit), cut);
}

bool confirmCancel() {
    return msgBox(kMbAskYesNo, kProgramTitle,
                  QT_TRANSLATE_NOOP("MsgBox", "Do you want to stop talking to the mail server?")) ==
           kIdYes;
}

} // namespace toppeek::dialogs
