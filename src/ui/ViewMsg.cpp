#include "ui/ViewMsg.h"

#include "core/DataFiles.h"
#include "storage/RecordFields.h"
#include "ui/ByteText.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <limits>

namespace {

constexpr const char* kHeaderListingName = "toppeek-headers.txt";

// The size the last viewer of this run was closed at; -1 while none was.
int gRememberedWidth = -1;
int gRememberedHeight = -1;

constexpr int kPanelHeight = 41;
constexpr int kButtonWidth = 89;
constexpr int kButtonHeight = 25;

// Messages come with CR LF line ends; the edit control wants plain line
// feeds, and a stray CR must still break the line rather than vanish.
QString linesForDisplay(std::string_view text) {
    QString shown = textFromBytes(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

} // namespace

TFViewMsg::TFViewMsg(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("TFViewMsg"));
    setWindowTitle(QStringLiteral("View Message"));

    MMsg = new QPlainTextEdit(this);
    MMsg->setObjectName(QStringLiteral("MMsg"));
    MMsg->setReadOnly(true);
    MMsg->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Lines wrap at the window's width, so there is never anything to the right.
    MMsg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Read-only, but the keyboard still moves through and selects the text.
    MMsg->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    MMsg->installEventFilter(this);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(kPanelHeight);
    BOk = new QPushButton(QStringLiteral("&Close"), Panel1);
    BOk->setObjectName(QStringLiteral("BOk"));
    BOk->setFixedSize(kButtonWidth, kButtonHeight);
    BOk->setDefault(true);
    connect(BOk, &QPushButton::clicked, this, &TFViewMsg::BOkClick);
    CBRaw = new QCheckBox(QStringLiteral("Show &raw lines"), Panel1);
    CBRaw->setObjectName(QStringLiteral("CBRaw"));
    CBRaw->setToolTip(QStringLiteral("The lines as the server sent them, encodings and all"));
    CBRaw->setVisible(false);
    connect(CBRaw, &QCheckBox::toggled, this, &TFViewMsg::showChosenForm);
    auto* panel = new QHBoxLayout(Panel1);
    panel->setContentsMargins(8, 8, 8, 0);
    panel->addWidget(CBRaw, 0, Qt::AlignTop);
    panel->addStretch(1);
    panel->addWidget(BOk, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(MMsg, 1);
    layout->addWidget(Panel1);
    resize(kDesignWidth, kDesignHeight);
}

void TFViewMsg::ShowText(std::string_view text, const QString& title) {
    setWindowTitle(title);
    readable_.clear();
    raw_.clear();
    CBRaw->setVisible(false);
    MMsg->clear();
    MMsg->setPlainText(linesForDisplay(text));
    if (gRememberedWidth != -1 && gRememberedHeight != -1)
        resize(gRememberedWidth, gRememberedHeight);
}

void TFViewMsg::ShowReadable(std::string_view readable, std::string_view raw,
                             const QString& title) {
    ShowText({}, title);
    readable_ = linesForDisplay(readable);
    raw_ = linesForDisplay(raw);
    CBRaw->setVisible(true);
    {
        const QSignalBlocker quiet(CBRaw);
        CBRaw->setChecked(false);
    }
    showChosenForm();
}

void TFViewMsg::showChosenForm() {
    MMsg->setPlainText(CBRaw->isChecked() ? raw_ : readable_);
}

int TFViewMsg::Execute(std::string_view text, const QString& title) {
    ShowText(text, title);
    return exec();
}

QSize TFViewMsg::rememberedSize() {
    return {gRememberedWidth, gRememberedHeight};
}

void TFViewMsg::forgetSize() {
    gRememberedWidth = -1;
    gRememberedHeight = -1;
}

void TFViewMsg::BOkClick() {
    done(QDialog::Accepted);
}

bool TFViewMsg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == MMsg && event->type() == QEvent::KeyPress)
        return MMsgKeyDown(static_cast<QKeyEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

bool TFViewMsg::MMsgKeyDown(QKeyEvent* event) {
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

void TFViewMsg::done(int) {
    FormClose();
    // The one button is both the default and the cancel button, and it
    // answers OK: however the viewer closes, the result is the same.
    QDialog::done(QDialog::Accepted);
}

void TFViewMsg::FormClose() {
    gRememberedWidth = width();
    gRememberedHeight = height();
}

void viewText(QWidget* owner, std::string_view text, const QString& title) {
    TFViewMsg viewer(owner);
    viewer.Execute(text, title);
}

void viewReadable(QWidget* owner, std::string_view readable, std::string_view raw,
                  const QString& title) {
    TFViewMsg viewer(owner);
    viewer.ShowReadable(readable, raw, title);
    viewer.exec();
}

bool writeHeaderListing(const std::string& path, const MessageList& list) {
    return storage::saveReplacing(path, [&list](RecordStream& stream) {
        for (const MessageEntry* entry : list) {
            // Header blocks are far below the stream's limit; the loop only
            // guards against a block larger than one write can take.
            std::string_view text = entry->headerText;
            while (!text.empty()) {
                const std::size_t piece =
                    std::min<std::size_t>(text.size(), std::numeric_limits<int>::max());
                stream.writeBytes(text.data(), static_cast<int>(piece));
                text.remove_prefix(piece);
            }
            stream.writeBytes("\n\n", 2);
        }
    });
}

std::string headerListingPath() {
    return dataFilePath(kHeaderListingName);
}
