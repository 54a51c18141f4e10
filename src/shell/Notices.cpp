#include "shell/Notices.h"

#include "dialogs/ProgramInfo.h"
#include "shell/Help.h"
#include "shell/UpdateCheck.h"
#include "shell/WebLinks.h"
#include "ui/DialogSupport.h"
#include "ui/HelpContext.h"
#include "ui/MainIcons.h"

#include <QApplication>
#include <QCoreApplication>
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

QPointer<StartupNotice> gNotice;

} // namespace

// ---------------------------------------------------------------- notice

StartupNotice::StartupNotice()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TFWaitNotice"));
    setWindowTitle(tr("Please Wait"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A notice never keeps the program running, nor counts as its last window.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kClientWidth, kClientHeight);
    textLabel = named(new QLabel(this), "LBText");
    textLabel->move(16, 16);
    textLabel->resize(kClientWidth - 32, kClientHeight - 32);
    textLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    textLabel->setWordWrap(true);
}

QString startupNoticeText() {
    return QCoreApplication::translate("toppeek::shell::StartupNotice",
                                       "%1 is starting. Please wait...")
        .arg(QString::fromLatin1(dialogs::kProgramTitle));
}

void showNotice(const QString& title, const QString& text) {
    removeNotice();
    gNotice = new StartupNotice;
    gNotice->setWindowTitle(title);
    gNotice->textLabel->setText(text);
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

StartupNotice* currentNotice() {
    return gNotice.data();
}

void runStartupUpdateCheck(std::uint32_t& lastUpdateCheckDay) {
    startProgramUpdateCheck(lastUpdateCheckDay);
}

void endStartupUpdateCheck() {
    stopProgramUpdateCheck();
}

// ---------------------------------------------------------------- About

AboutBox::AboutBox(QWidget* owner) : QDialog(nullptr) {
    setObjectName(QStringLiteral("TFAbout"));
    setFixedSize(kClientWidth, kClientHeight);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    iconLabel = named(new QLabel(this), "Image1");
    iconLabel->setGeometry(12, 12, 32, 32);
    iconLabel->setPixmap(programIcon().pixmap(32, 32));

    aboutLabel = named(new QLabel(this), "Id1");
    aboutLabel->move(64, 20);
    aboutLabel->setWordWrap(false);
    aboutLabel->setTextFormat(Qt::PlainText);
    aboutLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    okButton = named(new QPushButton(tr("&OK"), this), "BitBtn1");
    okButton->setGeometry(190, 212, 75, 25);
    okButton->setDefault(true);
    okButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    centreOnScreen(this, owner);
}

QString aboutText() {
    const QString text =
        QCoreApplication::translate("toppeek::shell::AboutBox", "%1 %2\n\n"
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
    AboutBox about(owner);
    about.setWindowTitle(QCoreApplication::translate("toppeek::shell::AboutBox", "About %1")
                             .arg(dialogs::kProgramTitle));
    setHelpContext(&about, AboutBox::kHelpContext);
    installHelpShortcut(&about);
    about.aboutLabel->setText(aboutText());
    about.aboutLabel->adjustSize();
    about.exec();
}

} // namespace toppeek::shell
