// The preferences dialog (TFOptions) and the account editor (TFAEdit).
//
// Both work directly on the program's one Settings record. Adding, editing
// and deleting an account changes the account list at once, and Cancel does
// not take it back; the General tab's values reach the record only on OK.
// The arrows beside the two numbers step the stored value at once; a
// cancelled dialog puts both numbers back as they were when it opened, so
// that Cancel never leaves a changed line count behind without the caller
// hearing of it.
//
// The main window opens the preferences with
//
//     int TFOptions::Execute(Settings& settings, QWidget* parent);
//
// which creates the dialog, shows it modally, destroys it and returns
// kOptionsCancelled (0), kOptionsSaved (1) or kOptionsBodyLinesChanged (2).
// On anything but 0 the caller saves the settings file; on 2 it also forgets
// every fetched message body, which was fetched with the old line count. In
// every case it refills its account selector, since accounts may have changed
// even when the dialog was cancelled.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

struct Account;
struct Settings;

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QWidget;
class TUpDown;
enum class UpDownButton;

namespace toppeek::mail {
enum class Security;
} // namespace toppeek::mail

// The help topic both dialogs open on the help key.
inline constexpr int kOptionsHelpContext = 1301;

// Results of TFOptions::Execute.
inline constexpr int kOptionsCancelled = 0;
inline constexpr int kOptionsSaved = 1;            // OK, bodyLines as before
inline constexpr int kOptionsBodyLinesChanged = 2; // OK, bodyLines changed

// The largest line count or message count the dialog stores.
inline constexpr int kOptionsMaxCount = 32767;

// A number typed into a count box: leading whitespace and a sign are
// accepted, reading stops at the first non-digit, no digits give 0. The
// result is clamped into 0..kOptionsMaxCount, so that a large number never
// wraps into a negative count.
std::int16_t countFromText(std::string_view text);

// Whether a user name or password can go into a POP3 command line: no CR,
// LF or NUL and no longer than the command line allows.
bool isSendableCredential(std::string_view text);

// The bytes an account keeps for an edit box's text: original itself when
// the box still shows it unchanged (so that texts the program cannot show
// exactly survive a visit to the editor), else the text as UTF-8; in both
// cases at most Account::maxTextLength bytes, never ending in half of a
// UTF-8 character that was typed.
std::string accountTextFromEdit(const QString& shown, const std::string& original);

// "Account Information": edits the four texts of one account. The host
// text may carry a scheme and a port ("pop3s://name:port"); the editor shows
// them apart, the name in EdHost, the scheme in CBSecurity and the port in
// EdPort, and puts them together again on OK. The port is written into the
// host text only when it differs from the chosen security's default, and a
// host text whose three controls were left as shown is kept byte for byte,
// even one that the controls cannot represent.
class TFAEdit : public QDialog {
    Q_OBJECT

public:
    explicit TFAEdit(QWidget* parent = nullptr);
    ~TFAEdit() override;

    // Shows the editor modally for account under caption. On OK writes the
    // four texts into account (at most Account::maxTextLength bytes each)
    // and returns true; otherwise returns false with account unchanged.
    bool Execute(Account& account, const QString& caption, int helpContext);

    // The guard on closing with OK: false, after an information box, when
    // the address is empty or invalid, the host controls do not make a host
    // text (a host field that is not a server name, a port outside 1..65535,
    // a secure connection without a name, a text too long to keep), or the
    // user name or password cannot be sent to a server. Closing any other way
    // is always allowed.
    bool FormCloseQuery();

    // A new security moves the port to its default when the port still
    // shows the previous security's default (or nothing); a port the user
    // chose stays.
    void CBSecurityChange();
    // A scheme or port typed into the host field moves into the Security and
    // Port boxes when the user leaves it; text that is no host address stays
    // for OK to refuse.
    void EdHostExit();

    int helpContext() const { return helpContext_; }

    QLabel* Label1;
    QLineEdit* EdDesc;
    QLabel* Label2;
    QLineEdit* EdHost;
    QLabel* Label5;
    QComboBox* CBSecurity;
    QLabel* Label6;
    QLineEdit* EdPort;
    QLabel* Label3;
    QLineEdit* EdUser;
    QLabel* Label4;
    QLineEdit* EdPass;
    QPushButton* BOk;
    QPushButton* BCancel;

    // The captions the preferences give the editor.
    static QString addCaption();
    static QString editCaption();

protected:
    void done(int result) override;
    void showEvent(QShowEvent* event) override;

private:
    void showAccount(const Account& account);
    void storeAccount(Account& account) const;
    toppeek::mail::Security chosenSecurity() const;
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

    int helpContext_ = kOptionsHelpContext;
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

// "Preferences": the account list and the general options.
class TFOptions : public QDialog {
    Q_OBJECT

public:
    // The dialog for settings, which must outlive it. Fills the account list.
    // passwordNote says under the list where passwords are kept.
    explicit TFOptions(Settings& settings, QWidget* parent = nullptr,
                       const QString& passwordNote = QString());

    // Shows the dialog modally; kOptionsCancelled, kOptionsSaved or
    // kOptionsBodyLinesChanged.
    int Execute();

    // The main window's way in: a dialog for this one use, over parent.
    static int Execute(Settings& settings, QWidget* parent,
                       const QString& passwordNote = QString());

    int helpContext() const { return kOptionsHelpContext; }

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QTreeWidget* LVAcc;
    QPushButton* BAdd;
    QPushButton* BEdit;
    QPushButton* BDelete;
    QLabel* LBPasswords;
    QWidget* TabSheet2;
    QCheckBox* CBAbout;
    QLabel* Label1;
    QLineEdit* EdLines;
    TUpDown* UpDownLines;
    QLabel* Label2;
    QLineEdit* EdMaxMsg;
    TUpDown* UpDownMaxMsg;
    QCheckBox* CBApop;
    QPushButton* BOk;
    QPushButton* BCancel;

public slots:
    void FormCreate();
    void BAddClick();
    void BEditClick();
    void BDeleteClick();
    void LVAccDblClick();
    void UpDownLinesClick(UpDownButton button);
    void UpDownMaxMsgClick(UpDownButton button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Sets selectedAccount to the selected row, 0 when none is selected.
    void takeCurrentRow();
    void selectRow(int row);
    // Runs the account editor on account; true on OK.
    bool editAccount(Account& account, const QString& caption);
    // Fills the General tab from the record and remembers the two counts.
    void showGeneral();
    // Takes the General tab over on OK, or puts the counts back on Cancel.
    int finish(bool accepted);

    Settings& settings_;
    std::int16_t openedBodyLines_ = 0;
    std::int32_t openedMaxMessages_ = 0;
};
