#include "ui/AccountSignInSection.h"

#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "storage/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace toppeek::ui {

using dialogs::kMbInformation;
using dialogs::kProgramTitle;
using dialogs::msgBox;
using signin::ProviderKind;

namespace {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

constexpr int kPasswordIndex = 0;
constexpr int kOAuth2Index = 1;

ProviderKind providerAt(int index) {
    return index == 0   ? ProviderKind::Google
           : index == 1 ? ProviderKind::Microsoft
                        : ProviderKind::Other;
}

int indexOfProvider(ProviderKind kind) {
    return kind == ProviderKind::Google ? 0 : kind == ProviderKind::Microsoft ? 1 : 2;
}

std::string text(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

} // namespace

AccountSignInSection::AccountSignInSection(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SignInSection"));
    signInBox = named(new QComboBox(this), "SignInBox");
    signInBox->addItems({tr("Password"), tr("OAuth2 (web browser)")});
    providerBox = named(new QComboBox(this), "ProviderBox");
    // The providers' own names stay as they are; "Other" is a word of the program's.
    providerBox->addItems({QStringLiteral("Google"), QStringLiteral("Microsoft"), tr("Other")});
    clientIdEdit = named(new QLineEdit(this), "EdClientId");
    clientSecretEdit = named(new QLineEdit(this), "EdClientSecret");
    clientSecretEdit->setPlaceholderText(tr("(only where the provider gave one)"));
    issuerEdit = named(new QLineEdit(this), "EdIssuer");
    issuerEdit->setPlaceholderText(QStringLiteral("https://issuer.example.com"));
    issuerEdit->setAccessibleName(tr("Issuer address"));
    findButton = named(new QPushButton(tr("&Find"), this), "BtnFindEndpoints");
    authorizationEdit = named(new QLineEdit(this), "EdAuthorizationUrl");
    tokenEdit = named(new QLineEdit(this), "EdTokenUrl");
    scopeEdit = named(new QLineEdit(this), "EdScope");
    signInButton = named(new QPushButton(tr("Sign &in\u2026"), this), "BtnSignIn");
    stateLabel = named(new QLabel(this), "SignInState");
    stateLabel->setWordWrap(true);

    auto* top = new QFormLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addRow(tr("Sign-in:"), signInBox);

    oauthRows_ = new QWidget(this);
    auto* oauth = new QFormLayout(oauthRows_);
    oauth->setContentsMargins(0, 0, 0, 0);
    oauth->addRow(tr("Provider:"), providerBox);
    oauth->addRow(tr("Client ID:"), clientIdEdit);
    oauth->addRow(tr("Client secret:"), clientSecretEdit);

    otherRows_ = new QWidget(oauthRows_);
    auto* other = new QFormLayout(otherRows_);
    other->setContentsMargins(0, 0, 0, 0);
    auto* issuerRow = new QHBoxLayout;
    issuerRow->addWidget(issuerEdit, 1);
    issuerRow->addWidget(findButton);
    other->addRow(tr("Issuer:"), issuerRow);
    other->addRow(tr("Authorization URL:"), authorizationEdit);
    other->addRow(tr("Token URL:"), tokenEdit);
    other->addRow(tr("Scope:"), scopeEdit);
    oauth->addRow(otherRows_);
    auto* signInRow = new QHBoxLayout;
    signInRow->addWidget(signInButton);
    signInRow->addWidget(stateLabel, 1);
    oauth->addRow(signInRow);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(oauthRows_);

    connect(signInBox, &QComboBox::currentIndexChanged, this, [this] {
        updateRows();
        if (usesOAuth2() && currentAddress)
            addressChanged(currentAddress());
        if (methodChanged)
            methodChanged(usesOAuth2());
    });
    connect(providerBox, &QComboBox::activated, this, [this] { providerChosen(); });
    connect(providerBox, &QComboBox::currentIndexChanged, this, [this] { updateRows(); });
    connect(findButton, &QPushButton::clicked, this, [this] { findEndpoints(); });
    connect(signInButton, &QPushButton::clicked, this, [this] { signInNow(); });
    updateRows();
}

bool AccountSignInSection::usesOAuth2() const {
    return signInBox->currentIndex() == kOAuth2Index;
}

void AccountSignInSection::updateRows() {
    oauthRows_->setVisible(usesOAuth2());
    otherRows_->setVisible(providerAt(providerBox->currentIndex()) == ProviderKind::Other);
}

void AccountSignInSection::showAccount(const storage::Account& account) {
    const bool oauth2 = account.signIn == storage::SignInMethod::OAuth2;
    const storage::OAuthSettings& settings = account.oauth;
    const ProviderKind kind =
        signin::providerFromKey(settings.provider)
            .value_or(signin::providerForAddress(account.address).value_or(ProviderKind::Other));
    {
        const QSignalBlocker quietMethod(signInBox);
        const QSignalBlocker quietProvider(providerBox);
        signInBox->setCurrentIndex(oauth2 ? kOAuth2Index : kPasswordIndex);
        providerBox->setCurrentIndex(indexOfProvider(kind));
    }
    clientIdEdit->setText(QString::fromStdString(settings.clientId));
    clientSecretEdit->setText(QString::fromStdString(settings.clientSecret));
    authorizationEdit->setText(QString::fromStdString(settings.authorizationUrl));
    tokenEdit->setText(QString::fromStdString(settings.tokenUrl));
    scopeEdit->setText(QString::fromStdString(settings.scope));
    originalRefreshToken_ = oauth2 ? account.password : std::string();
    newRefreshToken_.clear();
    stateLabel->setText(!oauth2 ? QString()
                        : account.password.empty() && account.passwordKnown
                            ? tr("Not signed in yet.")
                            : tr("Signed in."));
    updateRows();
    if (methodChanged)
        methodChanged(oauth2);
}

void AccountSignInSection::storeAccount(storage::Account& account) const {
    if (!usesOAuth2()) {
        account.signIn = storage::SignInMethod::Password;
        return;
    }
    account.signIn = storage::SignInMethod::OAuth2;
    const ProviderKind kind = providerAt(providerBox->currentIndex());
    account.oauth.provider = std::string(signin::providerKey(kind));
    account.oauth.clientId = text(clientIdEdit);
    account.oauth.clientSecret = text(clientSecretEdit);
    const bool other = kind == ProviderKind::Other;
    account.oauth.authorizationUrl = other ? text(authorizationEdit) : std::string();
    account.oauth.tokenUrl = other ? text(tokenEdit) : std::string();
    account.oauth.scope = other ? text(scopeEdit) : std::string();
    if (!newRefreshToken_.empty()) {
        account.password = newRefreshToken_;
        account.passwordKnown = true;
        // The next save puts it into the keyring under the account's own item.
        account.keyringItem.reset();
    } else {
        account.password = originalRefreshToken_;
    }
}

signin::OAuthSetup AccountSignInSection::currentSetup() const {
    storage::Account account;
    storeAccount(account);
    signin::OAuthSetup setup = signin::presetFor(providerAt(providerBox->currentIndex()));
    if (setup.kind == ProviderKind::Other) {
        setup.authorizationUrl = account.oauth.authorizationUrl;
        setup.tokenUrl = account.oauth.tokenUrl;
        setup.scope = account.oauth.scope;
    }
    if (!account.oauth.clientId.empty()) {
        setup.clientId = account.oauth.clientId;
        setup.clientSecret = account.oauth.clientSecret;
    }
    return setup;
}

bool AccountSignInSection::acceptable() {
    if (!usesOAuth2())
        return true;
    const signin::OAuthSetup setup = currentSetup();
    if (setup.clientId.empty()) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox",
                                 "Please enter the client ID that the provider gave your "
                                 "registration of TopPeek. The help page \"Signing in with "
                                 "OAuth2\" says how to get one."));
        clientIdEdit->setFocus();
        return false;
    }
    if (setup.authorizationUrl.empty() || setup.tokenUrl.empty()) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox", "Please enter the provider's authorization and token "
                                           "URLs, or its issuer and press Find."));
        authorizationEdit->setFocus();
        return false;
    }
    return true;
}

void AccountSignInSection::chooseOAuth2() {
    signInBox->setCurrentIndex(kOAuth2Index);
}

void AccountSignInSection::addressChanged(const QString& address) {
    if (!usesOAuth2())
        return;
    if (const auto kind = signin::providerForAddress(address.trimmed().toStdString())) {
        if (providerAt(providerBox->currentIndex()) != *kind) {
            providerBox->setCurrentIndex(indexOfProvider(*kind));
            providerChosen();
        }
    }
}

void AccountSignInSection::providerChosen() {
    const ProviderKind kind = providerAt(providerBox->currentIndex());
    updateRows();
    if (clientIdEdit->text().isEmpty())
        clientIdEdit->setText(QString::fromStdString(signin::builtInClientId(kind)));
    if (clientSecretEdit->text().isEmpty())
        clientSecretEdit->setText(QString::fromStdString(signin::builtInClientSecret(kind)));
    if (kind != ProviderKind::Other && presetChosen)
        presetChosen(signin::pop3ServerOf(kind));
}

void AccountSignInSection::findEndpoints() {
    std::string failure;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto endpoints = signin::discoverEndpoints(text(issuerEdit), failure);
    QApplication::restoreOverrideCursor();
    if (!endpoints) {
        msgBox(kMbInformation, kProgramTitle, "%s", failure.c_str());
        return;
    }
    authorizationEdit->setText(QString::fromStdString(endpoints->authorizationUrl));
    tokenEdit->setText(QString::fromStdString(endpoints->tokenUrl));
}

void AccountSignInSection::signInNow() {
    if (!acceptable())
        return;
    stateLabel->setText(tr("Waiting for the sign-in in the web browser\u2026"));
    signInButton->setEnabled(false);
    const std::string address = currentAddress ? currentAddress().trimmed().toStdString() : "";
    const signin::SignInResult result =
        signin::signInWithBrowser(currentSetup(), address, openBrowser);
    signInButton->setEnabled(true);
    if (!result.tokens) {
        stateLabel->setText(tr("Not signed in."));
        msgBox(kMbInformation, kProgramTitle, "%s", result.failure.c_str());
        return;
    }
    newRefreshToken_ = result.tokens->refreshToken;
    stateLabel->setText(tr("Signed in."));
}

} // namespace toppeek::ui
