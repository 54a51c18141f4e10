#include "ui/AccountEditor.h"

// The account list names a variable `slots`, which Qt's keyword macro would
// rewrite: the storage header comes before every Qt header.
#include "storage/Settings.h"
#include "storage/SignInOptions.h"

#include "dialogs/DisplayText.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "mail/Pop3.h"
#include "messages/Address.h"
#include "ui/AccountSignInSection.h"
#include "ui/DialogSupport.h"
#include "ui/HelpContext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

namespace toppeek::ui {

using dialogs::kMbInformation;
using dialogs::kProgramTitle;
using dialogs::msgBox;
using mail::Security;
using messages::isValidAccountAddress;
using storage::Account;

namespace {

// Longest address text the check looks at; longer input is judged by its start.
constexpr std::size_t kCheckedAddressLength = 254;

// The Security box lists the choices in this order.
constexpr Security kSecurityChoices[] = {Security::None, Security::Tls, Security::StartTls};

Security securityAt(int index) {
    return index >= 0 && index < static_cast<int>(std::size(kSecurityChoices))
               ? kSecurityChoices[index]
               : Security::None;
}

int indexOfSecurity(Security security) {
    const auto* found =
        std::find(std::begin(kSecurityChoices), std::end(kSecurityChoices), security);
    return found == std::end(kSecurityChoices)
               ? 0
               : static_cast<int>(found - std::begin(kSecurityChoices));
}

QString defaultPortText(Security security) {
    return QString::number(mail::defaultServerPort(security));
}

} // namespace

std::string accountTextFromEdit(const QString& shown, const std::string& original) {
    constexpr int limit = Account::kMaxTextLength;
    if (shown == dialogs::displayText(original))
        return original.substr(0, limit);
    // What was typed is UTF-8, which the cut keeps whole.
    return cutBytes(shown.toUtf8().toStdString(), limit);
}

AccountEditor::AccountEditor(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FAEdit"));
    setWindowTitle(tr("Account Information"));

    addressLabel = named(new QLabel(tr("Email Address:"), this), "Label1");
    addressEdit = named(new QLineEdit(this), "EdDesc");
    hostLabel = named(new QLabel(tr("Host Address:"), this), "Label2");
    hostEdit = named(new QLineEdit(this), "EdHost");
    securityLabel = named(new QLabel(tr("Security:"), this), "Label5");
    securityBox = named(new QComboBox(this), "CBSecurity");
    securityBox->addItems({tr("None"), QStringLiteral("SSL/TLS"), QStringLiteral("STARTTLS")});
    portLabel = named(new QLabel(tr("Port:"), this), "Label6");
    portEdit = named(new QLineEdit(this), "EdPort");
    // Digits only as the user types; OK still checks the range, since the
    // box can hold 0, a number beyond 65535 or nothing.
    portEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,5}")), portEdit));
    portEdit->setFixedWidth(
        std::max(40, portEdit->fontMetrics().horizontalAdvance(QStringLiteral("655350")) + 8));
    userNameLabel = named(new QLabel(tr("UserName:"), this), "Label3");
    userNameEdit = named(new QLineEdit(this), "EdUser");
    passwordLabel = named(new QLabel(tr("Password:"), this), "Label4");
    passwordEdit = named(new QLineEdit(this), "EdPass");
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // '*'
    rememberPasswordBox =
        named(new QCheckBox(tr("Keep the password in the settings file when no keyring can be "
                               "used"),
                            this),
              "CBRememberPassword");
    rememberPasswordBox->setChecked(true);
    rememberPasswordBox->setToolTip(
        tr("Off: without the desktop's keyring the password is asked once each time the program "
           "runs and is never written down."));
    plainTextWarning = named(new QLabel(tr("Without security the password and your mail travel "
                                           "in plain text: anyone on the way can read them."),
                                        this),
                             "LabelPlainText");
    plainTextWarning->setWordWrap(true);
    plainTextWarning->setStyleSheet(QStringLiteral("color: #a00000"));
    const OkCancelRow buttons = okCancelRow(this, tr("&OK"), QSize(89, 25));
    okButton = buttons.ok;
    cancelButton = buttons.cancel;
    buttons.row->setCenterButtons(true);

    const std::pair<QLabel*, QLineEdit*> rows[] = {{addressLabel, addressEdit},
                                                   {hostLabel, hostEdit},
                                                   {userNameLabel, userNameEdit},
                                                   {passwordLabel, passwordEdit}};
    auto* fields = new QGridLayout;
    fields->setVerticalSpacing(8);
    int row = 0;
    for (const auto& [label, edit] : rows) {
        label->setBuddy(edit);
        edit->setMinimumWidth(161);
        // Edit boxes take text of any length; storing cuts it.
        edit->setMaxLength(32767);
        fields->addWidget(label, row, 0, Qt::AlignRight | Qt::AlignVCenter);
        fields->addWidget(edit, row, 1);
        ++row;
        if (edit == hostEdit) {
            // Security and port belong to the host: one row just below it.
            securityLabel->setBuddy(securityBox);
            portLabel->setBuddy(portEdit);
            auto* connection = new QHBoxLayout;
            connection->setSpacing(6);
            connection->addWidget(securityBox, 1);
            connection->addSpacing(6);
            connection->addWidget(portLabel);
            connection->addWidget(portEdit);
            fields->addWidget(securityLabel, row, 0, Qt::AlignRight | Qt::AlignVCenter);
            fields->addLayout(connection, row, 1);
            ++row;
            fields->addWidget(plainTextWarning, row, 1);
            ++row;
        }
    }
    fields->addWidget(rememberPasswordBox, row, 0, 1, 2);
    setTabOrder(addressEdit, hostEdit);
    setTabOrder(hostEdit, securityBox);
    setTabOrder(securityBox, portEdit);
    setTabOrder(portEdit, userNameEdit);
    setTabOrder(userNameEdit, passwordEdit);
    setTabOrder(passwordEdit, rememberPasswordBox);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 10);
    layout->addLayout(fields);
    addDiscoveryControls(layout);
    signInSection = new AccountSignInSection(this);
    layout->addSpacing(8);
    layout->addWidget(signInSection);
    layout->addSpacing(20);
    // Tab follows the layout: the fields, the buttons of the settings search, the sign-in part
    // with its own order inside, then OK and Cancel.
    QWidget* previous = rememberPasswordBox;
    for (QWidget* next :
         {static_cast<QWidget*>(findButton), static_cast<QWidget*>(testButton),
          static_cast<QWidget*>(useFoundButton), static_cast<QWidget*>(signInSection->signInBox)}) {
        setTabOrder(previous, next);
        previous = next;
    }
    while (previous->nextInFocusChain() != nullptr &&
           signInSection->isAncestorOf(previous->nextInFocusChain()))
        previous = previous->nextInFocusChain();
    setTabOrder(previous, okButton);
    setTabOrder(okButton, cancelButton);
    signInSection->currentAddress = [this] { return addressEdit->text(); };
    signInSection->presetChosen = [this](std::string_view server) {
        // The providers' POP3 servers take SSL/TLS on port 995.
        hostEdit->setText(QString::fromUtf8(server.data(), static_cast<int>(server.size())));
        securityBox->setCurrentIndex(indexOfSecurity(Security::Tls));
        portEdit->setText(QString::number(mail::kPop3sPort));
    };
    signInSection->methodChanged = [this](bool oauth2) {
        // An OAuth2 account has no password to type: the sign-in in the browser stands for it.
        passwordEdit->setEnabled(!oauth2);
        passwordLabel->setEnabled(!oauth2);
        if (oauth2)
            passwordEdit->clear();
    };
    connect(addressEdit, &QLineEdit::editingFinished, this,
            [this] { signInSection->addressChanged(addressEdit->text()); });
    layout->addWidget(buttons.row);
    fixToLayoutSize(this, 273, 183);

    connect(securityBox, &QComboBox::currentIndexChanged, this, &AccountEditor::securityChanged);
    connect(hostEdit, &QLineEdit::editingFinished, this, &AccountEditor::hostEditLeft);
    setHelpContext(this, kOptionsHelpContext);

    // A blank account: secured from the first byte, as most providers want it.
    showAccount(Account{});
}

void AccountEditor::setRememberPassword(bool remember) {
    rememberPasswordBox->setChecked(remember);
}

bool AccountEditor::rememberPassword() const {
    return rememberPasswordBox->isChecked();
}

void AccountEditor::showPlainTextWarning() {
    plainTextWarning->setVisible(chosenSecurity() == Security::None);
}

AccountEditor::~AccountEditor() {
    stopDiscoveryWork();
    disconnect(addressEdit, nullptr, this, nullptr);
    // The host field loses the focus while the dialog's base is torn down,
    // when this part of it is gone already.
    disconnect(hostEdit, nullptr, this, nullptr);
    disconnect(securityBox, nullptr, this, nullptr);
    disconnect(addressEdit, nullptr, this, nullptr);
}

int AccountEditor::helpContext() const {
    return ui::helpContext(this);
}

QString AccountEditor::addCaption() {
    return tr("Add Account");
}

QString AccountEditor::editCaption() {
    return tr("Edit Account");
}

void AccountEditor::setSettings(const storage::Settings* settings) {
    settings_ = settings;
}

bool AccountEditor::Execute(Account& account, const QString& caption, int helpContext) {
    original_ = storage::cloneAccount(account);
    // The preferences edit a copy of the account: the one of the list it was made from has the
    // same tag and names.
    replaced_ = nullptr;
    if (settings_ != nullptr)
        for (const Account* listed : settings_->accounts)
            if (listed->accountTag == account.accountTag && listed->address == account.address &&
                listed->host == account.host && listed->userName == account.userName)
                replaced_ = listed;
    showAccount(account);
    setHelpContext(this, helpContext);
    setWindowTitle(caption);
    const QPointer<AccountEditor> alive(this);
    if (exec() != QDialog::Accepted || alive.isNull())
        return false;
    storeAccount(account);
    return true;
}

void AccountEditor::showAccount(const Account& account) {
    address_ = account.address;
    host_ = account.host;
    userName_ = account.userName;
    password_ = account.password;
    addressEdit->setText(dialogs::displayText(address_));
    userNameEdit->setText(dialogs::displayText(userName_));
    passwordEdit->setText(dialogs::displayText(password_));
    // A password still in the keyring is not read for the editor: left
    // empty, it stays there.
    passwordEdit->setPlaceholderText(account.passwordKnown ? QString()
                                                           : tr("(kept in the keyring)"));

    // A host text that would not come back the same from its parts is shown
    // whole, as a plain name on the usual port. A blank account is offered
    // SSL/TLS: the password never goes out in plain text unless chosen.
    Security security = host_.empty() ? Security::Tls : Security::None;
    int port = mail::defaultServerPort(security);
    shownHostName_ = host_;
    if (const auto address = mail::parseServerAddress(host_);
        !host_.empty() && address &&
        mail::formatServerAddress(address->security, address->target.name,
                                  mail::serverPort(*address))) {
        security = address->security;
        port = mail::serverPort(*address);
        shownHostName_ = address->target.name;
    }
    shownSecurity_ = indexOfSecurity(security);
    portSecurity_ = shownSecurity_;
    {
        const QSignalBlocker quiet(securityBox);
        securityBox->setCurrentIndex(shownSecurity_);
    }
    hostEdit->setText(dialogs::displayText(shownHostName_));
    portEdit->setText(QString::number(port));
    shownPort_ = portEdit->text();
    hostText_ = host_;
    showPlainTextWarning();
    signInSection->showAccount(account);
}

void AccountEditor::storeAccount(Account& account) const {
    account.address = accountTextFromEdit(addressEdit->text(), address_);
    account.host = hostText_;
    account.userName = accountTextFromEdit(userNameEdit->text(), userName_);
    account.password = accountTextFromEdit(passwordEdit->text(), password_);
    signInSection->storeAccount(account);
}

bool AccountEditor::fieldsAccepted() {
    // The address is judged by what the account would keep, at its full
    // checked length: the stored text is cut shorter still.
    QString shownAddress = addressEdit->text();
    std::string address = shownAddress == dialogs::displayText(address_)
                              ? address_
                              : shownAddress.toUtf8().toStdString();
    address.resize(std::min(address.size(), kCheckedAddressLength));
    if (address.empty()) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP(
                   "MsgBox",
                   "Please enter the e-mail address of the account. It also names the account in "
                   "the list."));
        addressEdit->setFocus();
        return false;
    }
    if (!isValidAccountAddress(address)) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP(
                   "MsgBox",
                   "This is not a valid e-mail address. Please enter a complete address, such as "
                   "name@example.com."));
        addressEdit->setFocus();
        addressEdit->selectAll();
        return false;
    }
    if (!composeHost())
        return false;
    if (!signInSection->acceptable() || !signInKept())
        return false;
    // A server never sees a name or password that cannot form one command
    // line, so an account holding one could never log in.
    const std::pair<QLineEdit*, const char*> credentials[] = {{userNameEdit, "user name"},
                                                              {passwordEdit, "password"}};
    for (const auto& [edit, what] : credentials) {
        const std::string& original = edit == userNameEdit ? userName_ : password_;
        if (!toppeek::mail::isSendableCredential(accountTextFromEdit(edit->text(), original))) {
            msgBox(kMbInformation, kProgramTitle,
                   QT_TRANSLATE_NOOP(
                       "MsgBox",
                       "The %s cannot be sent to a POP3 server: it must not contain a line break "
                       "and must not be longer than %d characters."),
                   what, static_cast<int>(mail::kCredentialLimit));
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    return true;
}

Security AccountEditor::chosenSecurity() const {
    return securityAt(securityBox->currentIndex());
}

bool AccountEditor::hostControlsChanged() const {
    return hostEdit->text() != dialogs::displayText(shownHostName_) ||
           securityBox->currentIndex() != shownSecurity_ || portEdit->text() != shownPort_;
}

std::string AccountEditor::hostNameBytes() const {
    const QString shown = hostEdit->text();
    if (shown == dialogs::displayText(shownHostName_))
        return shownHostName_;
    return shown.trimmed().toUtf8().toStdString();
}

void AccountEditor::securityChanged() {
    const Security previous = securityAt(portSecurity_);
    portSecurity_ = securityBox->currentIndex();
    const QString portText = portEdit->text().trimmed();
    const std::optional<int> port = mail::parsePort(portText.toStdString());
    if (portText.isEmpty() || port == mail::defaultServerPort(previous))
        portEdit->setText(defaultPortText(chosenSecurity()));
    showPlainTextWarning();
}

void AccountEditor::hostEditLeft() {
    // Text that is no host address waits for OK, which says so; a box here
    // would fight the user over the focus.
    takeHostApart();
}

bool AccountEditor::takeHostApart() {
    if (hostEdit->text() == dialogs::displayText(shownHostName_))
        return true; // as the account had it, whatever it holds
    const QString typed = hostEdit->text().trimmed();
    if (!typed.contains(QLatin1Char(':')))
        return true;
    const auto address = mail::parseServerAddress(typed.toUtf8().toStdString());
    // A name may hold colons only as an IPv6 literal, which the host box shows without its
    // brackets (they go back in when the host text is composed).
    if (!address || (address->target.name.find(':') != std::string::npos &&
                     !mail::parseIpv6Literal(address->target.name)))
        return false;
    // A scheme chooses the security, moving a default port along; a port
    // given stays whatever the scheme.
    if (address->security != Security::None)
        securityBox->setCurrentIndex(indexOfSecurity(address->security));
    if (address->target.port != 0)
        portEdit->setText(QString::number(address->target.port));
    hostEdit->setText(QString::fromStdString(address->target.name));
    return true;
}

bool AccountEditor::composeHost() {
    // msgBox cannot translate a text it is given whole, so it is translated here.
    auto refuse = [](QLineEdit* edit, const char* text) {
        msgBox(kMbInformation, kProgramTitle, "%s", tr(text).toUtf8().constData());
        edit->setFocus();
        edit->selectAll();
        return false;
    };
    constexpr const char* kNotAHost = QT_TRANSLATE_NOOP(
        "toppeek::ui::AccountEditor",
        "This host address cannot be used. Please enter the server's name alone, such as "
        "pop.example.com, and choose the security and the port in their own boxes.");
    if (hostControlsChanged() && !takeHostApart())
        return refuse(hostEdit, kNotAHost);
    constexpr std::size_t limit = Account::kMaxTextLength;
    if (!hostControlsChanged()) {
        // Untouched, or typed back to what it was: the account keeps its text.
        hostText_ = host_.substr(0, limit);
        return true;
    }
    const std::optional<int> port = mail::parsePort(portEdit->text().trimmed().toStdString());
    if (!port) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP(
                   "MsgBox",
                   "The port must be a number from 1 to 65535. Each security choice fills in its "
                   "usual port: %d for None and STARTTLS, %d for SSL/TLS."),
               mail::defaultServerPort(Security::None), mail::defaultServerPort(Security::Tls));
        portEdit->setFocus();
        portEdit->selectAll();
        return false;
    }
    const Security security = chosenSecurity();
    const std::string name = hostNameBytes();
    if (security != Security::None && name.empty())
        return refuse(hostEdit, QT_TRANSLATE_NOOP("toppeek::ui::AccountEditor",
                                                  "Please enter the host address of the server. A "
                                                  "secure connection checks the server's "
                                                  "certificate against this name."));
    const std::optional<std::string> text = mail::formatServerAddress(security, name, *port);
    if (!text)
        return refuse(hostEdit, kNotAHost);
    if (text->size() > limit) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP(
                   "MsgBox",
                   "The host address is too long: an account keeps at most %d characters of it, "
                   "security and port included."),
               static_cast<int>(Account::kMaxTextLength));
        hostEdit->setFocus();
        return false;
    }
    hostText_ = *text;
    return true;
}

bool AccountEditor::signInKept() {
    if (settings_ == nullptr || !original_ || !signInSection->usesOAuth2())
        return true;
    const std::unique_ptr<Account> edited = storage::cloneAccount(*original_);
    storeAccount(*edited);
    switch (storage::signInRoomFor(*settings_, replaced_, *edited)) {
    case storage::SignInRoom::Fits:
        return true;
    case storage::SignInRoom::NotAField:
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox",
                                 "The client ID, the client secret and the URLs cannot contain "
                                 "spaces or \"=\". Please check that each was copied whole and "
                                 "alone."));
        signInSection->clientIdEdit->setFocus();
        return false;
    case storage::SignInRoom::NoRoom:
        break;
    }
    // The file keeps sign-ins in a fixed space that older versions read too; a sign-in that does
    // not fit would be lost at the next save, and the account would no longer sign in.
    msgBox(kMbInformation, kProgramTitle,
           QT_TRANSLATE_NOOP(
               "MsgBox",
               "TopPeek cannot keep the OAuth2 sign-in of this account: the space the settings "
               "file has for sign-ins and other account options is full. Shorter texts (client "
               "ID, client secret, URLs, scope) may fit; otherwise remove an OAuth2 account or a "
               "trusted certificate you no longer need, or sign in with a password."));
    signInSection->clientIdEdit->setFocus();
    return false;
}

void AccountEditor::done(int result) {
    if (result == QDialog::Accepted && !fieldsAccepted())
        return;
    stopDiscoveryWork();
    QDialog::done(result);
}

void AccountEditor::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
}

} // namespace toppeek::ui
