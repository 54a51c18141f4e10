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

void MainWindow::setPasswordStore(std::unique_ptr<PasswordStore> store) {
    keyringSync_.reset();
    passwords_ = std::move(store);
    keyringState_ = KeyringState::Unknown;
    // Settings that keep their passwords to themselves (the demo's) never
    // reach the desktop's keyring, not even to ask whether there is one.
    if (passwords_ && keyringOff(*settings_))
        passwords_.reset();
    if (!passwords_)
        return;
    // Whether a keyring answers, for the Preferences to say where passwords
    // go. Looking for an item nobody stores never asks to unlock anything.
    KeyringItem probe;
    probe.label = "TopPeek";
    probe.key = "keyring probe";
    passwords_->load(probe, [this](KeyringResult result, const std::string&) {
        if (keyringState_ == KeyringState::Unknown)
            noteKeyringAnswer(result);
    });
}

void MainWindow::noteKeyringAnswer(KeyringResult result) {
    keyringState_ =
        result == KeyringResult::Unavailable ? KeyringState::Unusable : KeyringState::Usable;
}

QString MainWindow::passwordNote() const {
    if (!passwords_ || keyringState_ == KeyringState::Unusable)
        return QStringLiteral("No keyring of the desktop can be used, so passwords are kept in "
                              "the settings file, scrambled but not encrypted: anyone who has "
                              "the file can read them back. An account whose password is not "
                              "to be kept there asks for it once each time the program runs.");
    if (keyringState_ == KeyringState::Usable)
        return QStringLiteral("Passwords are kept in the desktop's keyring, not in the settings "
                              "file.");
    return QStringLiteral("Passwords are kept in the desktop's keyring when it can be reached, "
                          "otherwise in the settings file.");
}

void MainWindow::enterKeyringWait() {
    enterBusy();
    if (keyringWaits_++ == 0) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        statusBeforeWait_ = statusText->text();
        statusText->setText(tr("Waiting for the desktop's keyring..."));
    }
}

void MainWindow::leaveKeyringWait() {
    if (--keyringWaits_ == 0) {
        QApplication::restoreOverrideCursor();
        statusText->setText(statusBeforeWait_);
    }
    leaveBusy();
}

bool MainWindow::askPassword(Account& account, KeyringResult why) {
    const QString address = dialogs::displayText(account.address);
    const bool notKept = !account.keyringItem && !remembersPassword(*settings_, account);
    const QString text =
        notKept ? QStringLiteral("The password for %1 is not kept.\nPlease enter the password:")
                      .arg(address)
        : why == KeyringResult::NotFound
            ? QStringLiteral("The desktop's keyring holds no password for %1.\nPlease enter the "
                             "password:")
                  .arg(address)
            : QStringLiteral("The desktop's keyring did not give the password for %1.\nPlease "
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
    return passwordReady(command, settings_->accounts.at(settings_->selectedAccount));
}

bool MainWindow::passwordReady(void (MainWindow::*command)(), Account* account) {
    if (account != nullptr && account->passwordKnown &&
        account->signIn == storage::SignInMethod::OAuth2)
        return signInReady(*account, command == &MainWindow::runAutomaticCheck);
    if (account == nullptr || account->passwordKnown)
        return true;
    // A password the user chose not to keep is in no keyring either.
    if (!passwords_ || (!account->keyringItem && !remembersPassword(*settings_, *account)))
        return askPassword(*account, KeyringResult::Unavailable);
    const KeyringItem item = account->keyringItem.value_or(keyringItemFor(*account));
    enterKeyringWait();
    passwords_->load(item,
                     [this, item, command](KeyringResult result, const std::string& password) {
                         leaveKeyringWait();
                         noteKeyringAnswer(result);
                         // The window was busy while it waited, so the list is as it was.
                         Account* waiting = nullptr;
                         for (Account* candidate : settings_->accounts)
                             if (!candidate->passwordKnown && candidate->keyringItem == item)
                                 waiting = candidate;
                         if (waiting == nullptr)
                             return;
                         if (result == KeyringResult::Done) {
                             waiting->password = password;
                             waiting->passwordKnown = true;
                         } else if (waiting->signIn == storage::SignInMethod::OAuth2) {
                             // No refresh token to be had: the account signs in anew.
                             waiting->password.clear();
                             waiting->passwordKnown = true;
                         } else if (closePending_ || !askPassword(*waiting, result)) {
                             return;
                         }
                         QTimer::singleShot(0, this, command);
                     });
    return false;
}

void MainWindow::saveSettingsFile(std::function<void(bool saved)> then) {
    auto write = [this, then = std::move(then)] {
        const bool saved = saveSettings(settingsPath_, *settings_);
        if (then)
            then(saved);
    };
    if (!passwords_ || keyringState_ == KeyringState::Unusable || !keyringWorkPending(*settings_)) {
        write();
        return;
    }
    enterKeyringWait();
    keyringSync_ = std::make_unique<KeyringSync>(*settings_, *passwords_);
    keyringSync_->start([this, write = std::move(write)](bool usable) {
        noteKeyringAnswer(usable ? KeyringResult::Done : KeyringResult::Unavailable);
        // The passwords the keyring did not take stay in the file, as they
        // were before there was a keyring.
        write();
        leaveKeyringWait();
    });
}

bool MainWindow::keyringSaveBeforeClose() {
    if (!passwords_ || keyringState_ == KeyringState::Unusable || !keyringWorkPending(*settings_))
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

bool MainWindow::signInReady(Account& account, bool background) {
    signin::Tokens& tokens = accessTokens_[account.address];
    tokens.refreshToken = account.password;
    const signin::OAuthSetup setup = signin::oauthSetupOf(account);
    std::string failure;
    signin::TokenState state =
        signin::ensureAccessToken(setup, account.address, tokens, false, {}, failure);
    if (state == signin::TokenState::SignInNeeded && !background) {
        const QString question =
            QStringLiteral("TopPeek needs you to sign in to %1 again. Sign in now in your web "
                           "browser?")
                .arg(dialogs::displayText(account.address));
        if (QMessageBox::question(this, QString::fromLatin1(kProgramTitle), question) !=
            QMessageBox::Yes)
            return false;
        statusText->setText(QStringLiteral("Waiting for the sign-in in the web browser\u2026"));
        state = signin::ensureAccessToken(setup, account.address, tokens, true,
                                          signin::systemBrowser(), failure);
        statusText->clear();
    }
    if (tokens.refreshToken != account.password) {
        // A new or renewed refresh token goes to the keyring with the next save; a refused one
        // is forgotten there too.
        account.password = tokens.refreshToken;
        account.keyringItem.reset();
        saveSettingsFile(nullptr);
    }
    account.accessToken = tokens.accessToken;
    if (state == signin::TokenState::Ready)
        return true;
    if (background) {
        statusText->setText(
            QStringLiteral("Sign-in needed for %1").arg(dialogs::displayText(account.address)));
        // The check goes on for the other accounts; this one's says why it could not log in.
        return true;
    }
    msgBox(kMbInformation, kProgramTitle, "Could not sign in to %s.\n%s", account.address.c_str(),
           failure.c_str());
    return false;
}

} // namespace toppeek::ui
