// The account editor ("Account Information"), which the preferences open for one account.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <string>
#include <string_view>

class QCheckBox;
class QComboBox;
class QLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace toppeek::discovery {
struct Endpoints;
} // namespace toppeek::discovery
namespace toppeek::mail {
enum class Security;
} // namespace toppeek::mail
namespace toppeek::storage {
struct Account;
struct Settings;
} // namespace toppeek::storage

namespace toppeek::ui {

class AccountSignInSection;

// The bytes an account keeps for an edit box's text: original itself when
// the box still shows it unchanged (so that texts the program cannot show
// exactly survive a visit to the editor), else the text as UTF-8; in both
// cases at most Account::kMaxTextLength bytes, never ending in half of a
// UTF-8 character that was typed.
std::string accountTextFromEdit(const QString& shown, const std::string& original);

// "Account Information": edits the four texts of one account. The host
// text may carry a scheme and a port ("pop3s://name:port"); the editor shows
// them apart, the name in hostEdit, the scheme in securityBox and the port in
// portEdit, and puts them together again on OK. The port is written into the
// host text only when it differs from the chosen security's default, and a
// host text whose three controls were left as shown is kept byte for byte,
// even one that the controls cannot represent.
class AccountEditor : public QDialog {
    Q_OBJECT

public:
    explicit AccountEditor(QWidget* parent = nullptr);
    ~AccountEditor() override;

    // Shows the editor modally for account under caption. On OK writes the
    // four texts into account (at most Account::kMaxTextLength bytes each)
    // and returns true; otherwise returns false with account unchanged.
    bool Execute(storage::Account& account, const QString& caption, int helpContext);

    // The guard on closing with OK: false, after an information box, when
    // the address is empty or invalid, the host controls do not make a host
    // text (a host field that is not a server name, a port outside 1..65535,
    // a secure connection without a name, a text too long to keep), or the
    // user name or password cannot be sent to a server. Closing any other way
    // is always allowed.
    bool fieldsAccepted();

    // A new security moves the port to its default when the port still
    // shows the previous security's default (or nothing); a port the user
    // chose stays. A blank account starts on SSL/TLS.
    void securityChanged();
    // A scheme or port typed into the host field moves into the Security and
    // Port boxes when the user leaves it; text that is no host address stays
    // for OK to refuse.
    void hostEditLeft();

    // The help topic the editor opens on the help key.
    int helpContext() const;

    // The settings whose account list the edited account belongs to (or joins), which must
    // outlive the editor: OK then refuses, with a box that says why, an OAuth2 sign-in the
    // settings file could not keep. Set before Execute; without it every sign-in is taken.
    void setSettings(const storage::Settings* settings);

    // Whether the settings file keeps the password when no keyring takes it: shown by
    // rememberPasswordBox, set before Execute and read after it.
    void setRememberPassword(bool remember);
    bool rememberPassword() const;

    QLabel* addressLabel;
    QLineEdit* addressEdit;
    QLabel* hostLabel;
    QLineEdit* hostEdit;
    QLabel* securityLabel;
    QComboBox* securityBox;
    QLabel* portLabel;
    QLineEdit* portEdit;
    QLabel* userNameLabel;
    QLineEdit* userNameEdit;
    QLabel* passwordLabel;
    QLineEdit* passwordEdit;
    QCheckBox* rememberPasswordBox;
    // Says, while Security is None, that the password then travels in plain text.
    QLabel* plainTextWarning;
    // How the account signs in: its password, or OAuth2 in the web browser.
    AccountSignInSection* signInSection;
    QPushButton* okButton;
    QPushButton* cancelButton;

    // The captions the preferences give the editor.
    static QString addCaption();
    static QString editCaption();

    // Find settings and Test (AccountEditorDiscovery.cpp). Both run on a helper thread while the
    // editor stays usable; their button reads Cancel meanwhile.
    QPushButton* findButton = nullptr;
    QPushButton* testButton = nullptr;
    // What the search or the test is doing, then what the search found and where.
    QLabel* discoveryLabel = nullptr;
    // Takes what the search found into the host, security, port and user name boxes.
    QPushButton* useFoundButton = nullptr;

    // Finds the server from the address's domain; a second click cancels.
    void findSettings();
    void useFoundSettings();
    // Tests the settings as typed and shows the report; a second click cancels.
    void testSettings();
    // The report of the last test, as shown.
    QString lastTestReport() const;
    // Where the search and the test go on the network; for tests, which aim them at their own
    // servers. Real use keeps the defaults.
    static void setDiscoveryEndpoints(const discovery::Endpoints& endpoints);

protected:
    void done(int result) override;
    void showEvent(QShowEvent* event) override;

private:
    struct DiscoveryState;
    struct DiscoveryStateDeleter {
        void operator()(DiscoveryState* state) const;
    };
    void addDiscoveryControls(QLayout* layout);
    // A new account's address typed while the host is still empty starts a search by itself.
    void addressEditLeft();
    void showDiscoveryResult();
    void stopDiscoveryWork();
    std::unique_ptr<DiscoveryState, DiscoveryStateDeleter> discovery_;

    void showAccount(const storage::Account& account);
    void storeAccount(storage::Account& account) const;
    mail::Security chosenSecurity() const;
    void showPlainTextWarning();
    // Whether the host field, the Security box or the Port box differs from
    // what the account showed.
    bool hostControlsChanged() const;
    // The bytes of the server name in the host field.
    std::string hostNameBytes() const;
    // Moves a scheme and port typed into the host field into their boxes;
    // false when the field holds text that is no host address.
    bool takeHostApart();
    // Puts the host text together into hostText_; false after an
    // information box when the controls do not make one.
    bool composeHost();
    // False after an information box when the settings file could not keep the sign-in.
    bool signInKept();

    const storage::Settings* settings_ = nullptr;
    // The account as Execute was given it, and the one of settings_ it stands for (null for an
    // account that is being added).
    std::unique_ptr<storage::Account> original_;
    const storage::Account* replaced_ = nullptr;

    // The texts the edit boxes were filled from.
    std::string address_;
    std::string host_;
    std::string userName_;
    std::string password_;
    // How the host controls were filled: the name's bytes (the whole host
    // text when the controls cannot represent it), the security and port.
    std::string shownHostName_;
    int shownSecurity_ = 0;
    QString shownPort_;
    // The security whose default port the Port box follows.
    int portSecurity_ = 0;
    // The host text that OK stores.
    std::string hostText_;
};

} // namespace toppeek::ui
