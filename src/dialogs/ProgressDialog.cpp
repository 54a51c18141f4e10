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

ProgressDialog* gCurrent = nullptr;
ProgressShownElsewhere gShownElsewhere;
bool gBusy = false;
bool gCancel = false;
// When pending events were last processed.
QElapsedTimer gEventsProcessed;
// A pass of a wait that finds its socket ready comes back within microseconds; processing events
// in each of those would cost more than the exchange itself and would not make the window answer
// any sooner than once per millisecond does.
constexpr qint64 kIdleIntervalNanoseconds = 1000000;

constexpr int kTextBufferSize = kProgressTextLimit + 1;

QLabel* makeLabel(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(left, top, width, height);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QString boundedText(const char* format, va_list args) {
    bool cut = false;
    std::string text = formatBounded(kTextBufferSize, format, args, &cut);
    return displayText(text, cut);
}

void progressChanged() {
    if (gShownElsewhere)
        gShownElsewhere();
}

void setLabel(QLabel* ProgressDialog::*label, const char* format, va_list args) {
    if (gCurrent == nullptr)
        return;
    (gCurrent->*label)->setText(boundedText(format, args));
    progressChanged();
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

bool runWithProgress(const std::function<void()>& work, ConfirmCancel confirm,
                     ProgressShownElsewhere shownElsewhere) {
    if (gBusy)
        return false;
    gBusy = true;
    auto dialog = std::make_unique<ProgressDialog>();
    dialog->setConfirmCancel(std::move(confirm));
    gCurrent = dialog.get();
    gShownElsewhere = std::move(shownElsewhere);
    if (!gShownElsewhere)
        dialog->show();
    if (work)
        work();
    bool running = dialog->running();
    gShownElsewhere = nullptr;
    gCurrent = nullptr;
    dialog.reset();
    gBusy = false;
    return running;
}

bool progressBusy() {
    return gBusy;
}

ProgressDialog* currentProgressDialog() {
    return gCurrent;
}

void setProgressCaption(const char* format, ...) {
    if (gCurrent == nullptr)
        return;
    va_list args;
    va_start(args, format);
    gCurrent->setWindowTitle(boundedText(format, args));
    va_end(args);
    progressChanged();
}

void setProgressLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    setLabel(&ProgressDialog::progressLabel, format, args);
    va_end(args);
}

void setStatusLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    setLabel(&ProgressDialog::statusLabel, format, args);
    va_end(args);
}

void setProgressBar(int position, int maximum) {
    if (gCurrent == nullptr)
        return;
    gCurrent->progressBar->setMinimum(0);
    gCurrent->progressBar->setMaximum(maximum);
    gCurrent->progressBar->setValue(position);
    progressChanged();
}

bool progressRunning() {
    return gCurrent != nullptr && gCurrent->running();
}

bool confirmCancel() {
    if (msgBox(kMbAskYesNo, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox", "Do you want to stop talking to the mail server?")) !=
        kIdYes)
        return false;
    setCancelFlag(true);
    return true;
}

bool cancelRequested(const mail::ConnectionControl* /*control*/) {
    return gCancel;
}

void setCancelFlag(bool value) {
    gCancel = value;
}

void showConnectStatus(mail::ConnectionControl& control) {
    using mail::ConnectStatus;
    switch (control.status) {
    case ConnectStatus::Resolving:
        setStatusLine("Looking up %s ...", control.statusText.c_str());
        break;
    case ConnectStatus::Connecting:
        setStatusLine("Connecting ...");
        break;
    case ConnectStatus::Connected:
        setStatusLine("Connected to %s, port %d", control.statusText.c_str(), control.port);
        break;
    case ConnectStatus::CommandSent:
    case ConnectStatus::Securing:
        setStatusLine("%s", control.statusText.c_str());
        break;
    default:
        break;
    }
}

void processPendingEvents() {
    QCoreApplication::processEvents();
    gEventsProcessed.start();
}

void idleStep() {
    if (!gEventsProcessed.isValid() || gEventsProcessed.nsecsElapsed() >= kIdleIntervalNanoseconds)
        processPendingEvents();
}

} // namespace toppeek::dialogs
