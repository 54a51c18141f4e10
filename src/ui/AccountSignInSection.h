// The account editor's sign-in part: a password, or OAuth2 in the web browser with a provider
// (Google, Microsoft, or another one's endpoints), the application's client ID, and the button
// that signs in.
#pragma once

#include "signin/OAuthSignIn.h"

#include <QWidget>

#include <functional>
#include <string>
#include <string_view>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace toppeek::storage {
struct Account;
} // namespace toppeek::storage

namespace toppeek::ui {

class AccountSignInSection : public QWidget {
    Q_OBJECT

public:
    explicit AccountSignInSection(QWidget* parent = nullptr);

    void showAccount(const storage::Account& account);
    // Writes the sign-in into account; for OAuth2 the refresh token of a sign-in made here (else
    // the one it had) takes the password's place.
    void storeAccount(storage::Account& account) const;
    bool usesOAuth2() const;
    // Switches to OAuth2, as for an address whose provider takes no password.
    void chooseOAuth2();
    // The guard on OK: false, after an information box, when an OAuth2 sign-in lacks its client
    // ID or (for another provider) its endpoints.
    bool acceptable();
    // A new address chooses the provider its domain obviously belongs to.
    void addressChanged(const QString& address);

    // Called when a preset provider is chosen, with its POP3 server, so that the editor fills
    // the host, SSL/TLS and port 995 in.
    std::function<void(std::string_view server)> presetChosen;
    // Called when the sign-in method changes, so that the editor sets the password row.
    std::function<void(bool oauth2)> methodChanged;
    // Opens the browser for "Sign in…"; the system's browser unless set.
    signin::BrowserOpener openBrowser = signin::systemBrowser();
    // The address the sign-in is for, asked when "Sign in…" is pressed.
    std::function<QString()> currentAddress;

    QComboBox* signInBox;
    QComboBox* providerBox;
    QLineEdit* clientIdEdit;
    QLineEdit* clientSecretEdit;
    QLineEdit* issuerEdit;
    QPushButton* findButton;
    QLineEdit* authorizationEdit;
    QLineEdit* tokenEdit;
    QLineEdit* scopeEdit;
    QPushButton* signInButton;
    QLabel* stateLabel;

private:
    void updateRows();
    void providerChosen();
    void findEndpoints();
    void signInNow();
    signin::OAuthSetup currentSetup() const;

    QWidget* oauthRows_;
    QWidget* otherRows_;
    std::string originalRefreshToken_;
    std::string newRefreshToken_;
};

} // namespace toppeek::ui
