#include "ui/MessageViewer.h"

#include "dialogs/DisplayText.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace toppeek::ui {

namespace {

// The size the last viewer of this run was closed at; -1 while none was.
int gRememberedWidth = -1;
int gRememberedHeight = -1;

constexpr int kPanelHeight = 41;
constexpr int kButtonWidth = 89;
constexpr int kButtonHeight = 25;

// Messages come with CR LF line ends; the edit control wants plain line
// feeds, and a stray CR must still break the line rather than vanish.
QString linesForDisplay(std::string_view text) {
    QString shown = dialogs::displayText(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

} // namespace

MessageViewer::MessageViewer(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("TFViewMsg"));
    setWindowTitle(tr("View Message"));

    textView = new QPlainTextEdit(this);
    textView->setObjectName(QStringLiteral("MMsg"));
    textView->setReadOnly(true);
    textView->setAccessibleName(tr("Message text"));
    textView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    textView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Lines wrap at the window's width, so there is never anything to the right.
    textView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Read-only, but the keyboard still moves through and selects the text.
    textView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    textView->installEventFilter(this);

    buttonPanel = new QWidget(this);
    buttonPanel->setObjectName(QStringLiteral("Panel1"));
    buttonPanel->setFixedHeight(kPanelHeight);
    closeButton = new QPushButton(tr("&Close"), buttonPanel);
    closeButton->setObjectName(QStringLiteral("BOk"));
    closeButton->setFixedSize(kButtonWidth, kButtonHeight);
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &MessageViewer::closeClicked);
    rawLinesBox = new QCheckBox(tr("Show &raw lines"), buttonPanel);
    rawLinesBox->setObjectName(QStringLiteral("CBRaw"));
    rawLinesBox->setToolTip(tr("The lines as the server sent them, encodings and all"));
    rawLinesBox->setVisible(false);
    connect(rawLinesBox, &QCheckBox::toggled, this, &MessageViewer::showChosenForm);
    auto* panel = new QHBoxLayout(buttonPanel);
    panel->setContentsMargins(8, 8, 8, 0);
    panel->addWidget(rawLinesBox, 0, Qt::AlignTop);
    panel->addStretch(1);
    panel->addWidget(closeButton, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(textView, 1);
    layout->addWidget(buttonPanel);
    resize(kDesignWidth, kDesignHeight);
}

void MessageViewer::ShowText(std::string_view text, const QString& title) {
    setWindowTitle(title);
    readable_.clear();
    raw_.clear();
    rawLinesBox->setVisible(false);
    textView->clear();
    textView->setPlainText(linesForDisplay(text));
    if (gRememberedWidth != -1 && gRememberedHeight != -1)
        resize(gRememberedWidth, gRememberedHeight);
}

void MessageViewer::ShowReadable(std::string_view readable, std::string_view raw,
                                 const QString& title) {
    ShowText({}, title);
    readable_ = linesForDisplay(readable);
    raw_ = linesForDisplay(raw);
    rawLinesBox->setVisible(true);
    {
        const QSignalBlocker quiet(rawLinesBox);
        rawLinesBox->setChecked(false);
    }
    showChosenForm();
}

void MessageViewer::showChosenForm() {
    textView->setPlainText(rawLinesBox->isChecked() ? raw_ : readable_);
}

int MessageViewer::Execute(std::string_view text, const QString& title) {
    ShowText(text, title);
    return exec();
}

QSize MessageViewer::rememberedSize() {
    return {gRememberedWidth, gRememberedHeight};
}

void MessageViewer::forgetSize() {
    gRememberedWidth = -1;
    gRememberedHeight = -1;
}

void MessageViewer::closeClicked() {
    done(QDialog::Accepted);
}

bool MessageViewer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == textView && event->type() == QEvent::KeyPress)
        return textKeyPressed(static_cast<QKeyEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

bool MessageViewer::textKeyPressed(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        done(QDialog::Accepted);
        return true;
    default:
        return false;
    }
}

void MessageViewer::done(int) {
    FormClose();
    // The one button is both the default and the cancel button, and it
    // answers OK: however the viewer closes, the result is the same.
    QDialog::done(QDialog::Accepted);
}

void MessageViewer::FormClose() {
    gRememberedWidth = width();
    gRememberedHeight = height();
}

void viewText(QWidget* owner, std::string_view text, const QString& title) {
    MessageViewer viewer(owner);
    viewer.Execute(text, title);
}

void viewReadable(QWidget* owner, std::string_view readable, std::string_view raw,
                  const QString& title) {
    MessageViewer viewer(owner);
    viewer.ShowReadable(readable, raw, title);
    viewer.exec();
}

} // namespace toppeek::ui
