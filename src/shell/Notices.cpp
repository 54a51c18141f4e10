#include "shell/Notices.h"

#include "dialogs/ProgramInfo.h"
#include "shell/Help.h"
#include "shell/UpdateCheck.h"
#include "shell/WebLinks.h"
#include "ui/DialogSupport.h"
#include "ui/HelpContext.h"
#include "ui/MainIcons.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QWindow>

using namespace toppeek::ui;

namespace toppeek::shell {

namespace {

constexpr int kAboutTextLimit = 4000;
// How long the notice waits for the window system to put it on screen, so that it can be
// painted before the start-up work holds the thread.
constexpr int kNoticeExposeWaitMs = 200;

QPointer<TFWaitNotice> gNotice;

} // namespace

// ---------------------------------------------------------------- notice

TFWaitNotice::TFWaitNotice()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TFWaitNotice"));
    setWindowTitle(QStringLiteral("Please Wait"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A notice never keeps the program running, nor counts as its last window.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kClientWidth, kClientHeight);
    LBText = named(new QLabel(this), "LBText");
    LBText->move(16, 16);
    LBText->resize(kClientWidth - 32, kClientHeight - 32);
    LBText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LBText->setWordWrap(true);
}

QString startupNoticeText() {
    return QStringLiteral("%1 is starting. Please wait...")
        .arg(QString::fromLatin1(dialogs::kProgramTitle));
}

void showNotice(const QString& title, const QString& text) {
    removeNotice();
    gNotice = new TFWaitNotice;
    gNotice->setWindowTitle(title);
    gNotice->LBText->setText(text);
    centreOnScreen(gNotice, nullptr);
    gNotice->show();
    // The pending window messages once, as the start-up has always done; on a window system
    // that maps windows asynchronously the notice may need a moment before it can be painted.
    QElapsedTimer waited;
    waited.start();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    while (gNotice != nullptr && gNotice->windowHandle() != nullptr &&
           !gNotice->windowHandle()->isExposed() && waited.elapsed() < kNoticeExposeWaitMs) {
        QThread::msleep(1);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    if (gNotice != nullptr)
        gNotice->repaint();
}

void removeNotice() {
    if (gNotice != nullptr)
        delete gNotice.data();
    gNotice = nullptr;
}

TFWaitNotice* currentNotice() {
    return gNotice.data();
}

void runStartupUpdateCheck(std::uint32_t& lastUpdateCheckDay) {
    startProgramUpdateCheck(lastUpdateCheckDay);
}

void endStartupUpdateCheck() {
    stopProgramUpdateCheck();
}

// ---------------------------------------------------------------- About

TFAbout::TFAbout(QWidget* owner) : QDialog(nullptr) {
    setObjectName(QStringLiteral("TFAbout"));
    setFixedSize(kClientWidth, kClientHeight);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Image1 = named(new QLabel(this), "Image1");
    Image1->setGeometry(12, 12, 32, 32);
    Image1->setPixmap(programIcon().pixmap(32, 32));

    Id1 = named(new QLabel(this), "Id1");
    Id1->move(64, 20);
    Id1->setWordWrap(false);
    Id1->setTextFormat(Qt::PlainText);
    Id1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    BitBtn1 = named(new QPushButton(QStringLiteral("&OK"), this), "BitBtn1");
    BitBtn1->setGeometry(190, 212, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    centreOnScreen(this, owner);
}

QString aboutText() {
    const QString text =
        QStringLiteral("%1 %2\n\n"
                       "Checks your POP3 mailboxes:\n"
                       "reads the headers on the server,\n"
                       "marks spam with your filters,\n"
                       "and deletes it before your mail\n"
                       "program downloads it.\n\n"
                       "Press F1 for the user guide.\n\n"
                       "%3")
            .arg(QString::fromLatin1(dialogs::kProgramTitle), QString::fromLatin1(programVersion()),
                 QString::fromLatin1(kProgramHomePageUrl));
    return text.left(kAboutTextLimit);
}

void showAbout(QWidget* owner) {
    TFAbout about(owner);
    about.setWindowTitle(QStringLiteral("About %1").arg(dialogs::kProgramTitle));
    setHelpContext(&about, TFAbout::kHelpContext);
    installHelpShortcut(&about);
    about.Id1->setText(aboutText());
    about.Id1->adjustSize();
    about.exec();
}

} // namespace toppeek::shell
