// The main window's side of keeping passwords in the desktop's keyring:
// reading a password before a login, the prompt when the keyring has none,
// and the save that lets the keyring take the passwords before the settings
// file is written. Every keyring request answers through the event loop;
// meanwhile the window is busy (commands refused, busy cursor, a status
// text), never frozen.

// The account list names a variable `slots`, which Qt's keyword macro would
// rewrite: the storage header comes before every Qt header.
#include "storage/AccountOptions.h"
#include "storage/KeyringPasswords.h"

#include "dialogs/DisplayText.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "signin/AccountSetup.h"
#include "ui/AccountEditor.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <utility>

using namespace toppeek::storage;

namespace toppeek::ui {

using dialogs::kMbInformation;
using dialogs::kMbWarning;
using dialogs::kProgramTitle;
using dialogs::msgBox;

namespace {

// How long leaving the program waits for the keyring to take the passwords.
constexpr int kKeyringExitWaitMs = 15000;

} // namespace

checker::GatePrompts MainWindow::gatePrompts() {
    return {[this](Account& account, KeyringResult why) {
                return !closePending_ && askPassword(account, why);
            },
            [this](Account& account, checker::SignInMode mode) { return signIn(account, mode); },
            [this](bool waiting) { keyringWait(waiting); }};
}

void MainWindow::setPasswordStore(std::unique_ptr<PasswordStore> store) {
    checker_->passwords().setStore(std::move(store));
}

QString MainWindow::passwordNote() const {
    switch (checker_->passwords().keyringState()) {
    case checker::KeyringState::Usable:
        return tr("Passwords are kept in the desktop's keyring, not in the settings file.");
    case checker::KeyringState::Unknown:
        return tr("Passwords are kept in the desktop's keyring when it can be reached, "
                  "otherwise in the settings file.");
    case checker::KeyringState::Unusable:
        break;
    }
    return tr("No keyring of the desktop can be used, so passwords are kept in "
              "the settings file (long sign-in tokens in a file beside it), "
              "scrambled but not encrypted: anyone who has the file can read them "
              "back. An account whose password is not to be kept there asks for it "
              "once each time the program runs.");
}

void MainWindow::keyringWait(bool waiting) {
    if (waiting) {
        enterBusy();
        QApplication::setOverrideCursor(Qt::BusyCursor);
        statusBeforeWait_ = statusText->text();
        statusText->setText(tr("Waiting for the desktop's keyring..."));
        return;
    }
    QApplication::restoreOverrideCursor();
    statusText->setText(statusBeforeWait_);
    leaveBusy();
}

bool MainWindow::askPassword(Account& account, KeyringResult why) {
    const QString address = dialogs::displayText(account.address);
    const bool notKept = !account.keyringItem && !remembersPassword(settings(), account);
    const QString text =
        notKept ? tr("The password for %1 is not kept.\nPlease enter the password:").arg(address)
        : why == KeyringResult::NotFound
            ? tr("The desktop's keyring holds no password for %1.\nPlease enter the "
                 "password:")
                  .arg(address)
            : tr("The desktop's keyring did not give the password for %1.\nPlease "
                 "enter the password:")
                  .arg(address);
    QPointer<QInputDialog> dialog = new QInputDialog(this);
    dialog->setObjectName(QStringLiteral("PasswordPrompt"));
    dialog->setWindowTitle(QString::fromLatin1(kProgramTitle));
    dialog->setLabelText(text);
    dialog->setTextEchoMode(QLineEdit::Password);
    const bool entered = dialog->exec() == QDialog::Accepted && !dialog.isNull();
    if (!entered) {
        delete dialog.data();
        return false;
    }
    account.password = accountTextFromEdit(dialog->textValue(), std::string());
    delete dialog.data();
    account.passwordKnown = true;
    // The next save puts it into the keyring under the account's own item,
    // replacing whatever an unreadable item there held.
    account.keyringItem.reset();
    return true;
}

bool MainWindow::passwordReady(void (MainWindow::*command)()) {
    // A background check opens no browser and asks nothing it can do without.
    const bool interactive = command != &MainWindow::runAutomaticCheck;
    return checker_->secretsReady([this, command] { QTimer::singleShot(0, this, command); },
                                  interactive);
}

void MainWindow::saveSettingsFile(std::function<void(bool saved)> then) {
    checker_->saveSettings(std::move(then));
}

bool MainWindow::keyringSaveBeforeClose() {
    if (!checker_->passwords().keyringWorkPending())
        return false;
    // The file itself is written when the window goes.
    saveSettingsFile(nullptr);
    if (!waitingForKeyring())
        return true;
    // A keyring that never answers (an unlock prompt nobody sees, a service
    // that hangs) must not keep the program from ending: after a while it
    // ends as if closed twice, the passwords left staying in the file.
    QTimer::singleShot(kKeyringExitWaitMs, this, [this] {
        if (waitingForKeyring() && closePending_)
            close();
    });
    return true;
}

checker::SignInState MainWindow::signIn(Account& account, checker::SignInMode mode) {
    signin::Tokens& tokens = accessTokens_[account.address];
    tokens.refreshToken = account.password;
    // A token the server refused is of no use whatever its expiry says.
    if (mode == checker::SignInMode::Renew)
        tokens.accessToken.clear();
    const signin::OAuthSetup setup = signin::oauthSetupOf(account);
    std::string failure;
    signin::TokenState state =
        signin::ensureAccessToken(setup, account.address, tokens, false, {}, failure);
    if (state == signin::TokenState::SignInNeeded && mode == checker::SignInMode::Interactive) {
        const QString question =
            tr("TopPeek needs you to sign in to %1 again. Sign in now in your web "
               "browser?")
                .arg(dialogs::displayText(account.address));
        if (QMessageBox::question(this, QString::fromLatin1(kProgramTitle), question) !=
            QMessageBox::Yes)
            return checker::SignInState::Declined;
        statusText->setText(tr("Waiting for the sign-in in the web browser…"));
        state = signin::ensureAccessToken(setup, account.address, tokens, true,
                                          signin::systemBrowser(), failure);
        statusText->clear();
    }
    // A new or renewed refresh token is the account's secret from now on; a refused one is
    // forgotten.
    account.password = tokens.refreshToken;
    account.accessToken = tokens.accessToken;
    if (state == signin::TokenState::Ready)
        return checker::SignInState::Ready;
    if (mode != checker::SignInMode::Interactive) {
        if (mode == checker::SignInMode::Quiet)
            statusText->setText(
                tr("Sign-in needed for %1.").arg(dialogs::displayText(account.address)));
        return checker::SignInState::SignInNeeded;
    }
    msgBox(kMbInformation, kProgramTitle,
           QT_TRANSLATE_NOOP("MsgBox", "Could not sign in to %s.\n%s"), account.address.c_str(),
           failure.c_str());
    return checker::SignInState::Declined;
}

} // namespace toppeek::ui
