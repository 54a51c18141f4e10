// The preferences dialog and its account editor (AccountEditor.h).
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
//     int PreferencesDialog::Execute(Settings& settings, QWidget* parent);
//
// which creates the dialog, shows it modally, destroys it and returns
// kOptionsCancelled (0), kOptionsSaved (1) or kOptionsBodyLinesChanged (2).
// On anything but 0 the caller saves the settings file; on 2 it also forgets
// every fetched message body, which was fetched with the old line count. In
// every case it refills its account selector, since accounts may have changed
// even when the dialog was cancelled.
#pragma once

#include "ui/HelpContext.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <string_view>

namespace toppeek::storage {
struct Account;
struct Settings;
} // namespace toppeek::storage

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;
class QWidget;

namespace toppeek::ui {

class UpDownArrows;
enum class UpDownButton;

// Results of PreferencesDialog::Execute.
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

// "Preferences": the account list and the general options.
class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    // The dialog for settings, which must outlive it. Fills the account list.
    // passwordNote says under the list where passwords are kept.
    explicit PreferencesDialog(storage::Settings& settings, QWidget* parent = nullptr,
                               const QString& passwordNote = QString());

    // Shows the dialog modally; kOptionsCancelled, kOptionsSaved or
    // kOptionsBodyLinesChanged.
    int Execute();

    // The main window's way in: a dialog for this one use, over parent.
    static int Execute(storage::Settings& settings, QWidget* parent,
                       const QString& passwordNote = QString());

    int helpContext() const { return kOptionsHelpContext; }

    QTabWidget* pages;
    QWidget* accountsPage;
    QTreeWidget* accountList;
    QPushButton* addAccountButton;
    QPushButton* editAccountButton;
    QPushButton* deleteAccountButton;
    QLabel* passwordNoteLabel;
    QWidget* generalPage;
    QCheckBox* showAboutBox;
    QLabel* bodyLinesLabel;
    QLineEdit* bodyLinesEdit;
    UpDownArrows* bodyLinesArrows;
    QLabel* maxMessagesLabel;
    QLineEdit* maxMessagesEdit;
    UpDownArrows* maxMessagesArrows;
    QCheckBox* useApopBox;
    // Whether a log-in that wants APOP may send the password in plain text when the server
    // offers none over a connection without security.
    QCheckBox* apopFallbackBox;
    QLabel* checkEveryLabel;
    QSpinBox* checkEveryBox; // "Check every N minutes", 0 never
    // The certificates trusted although they failed the check, one row per account; removing
    // one takes effect at once, as deleting an account does.
    QWidget* certificatesPage;
    QTreeWidget* certificateList;
    QPushButton* removeCertificateButton;
    QPushButton* okButton;
    QPushButton* cancelButton;

public slots:
    void fillAccountList();
    void fillCertificateList();
    void removeCertificateClicked();
    void addAccountClicked();
    void editAccountClicked();
    void deleteAccountClicked();
    void accountDoubleClicked();
    void bodyLinesStepped(UpDownButton button);
    void maxMessagesStepped(UpDownButton button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Sets selectedAccount to the selected row, 0 when none is selected.
    void takeCurrentRow();
    void selectRow(int row);
    // Runs the account editor on account and on whether the settings file keeps its password
    // without a keyring; true on OK.
    bool editAccount(storage::Account& account, const QString& caption, bool& remember);
    // Fills the General tab from the record and remembers the two counts.
    void showGeneral();
    // Takes the General tab over on OK, or puts the counts back on Cancel.
    int finish(bool accepted);

    storage::Settings& settings_;
    std::int16_t openedBodyLines_ = 0;
    std::int32_t openedMaxMessages_ = 0;
};

} // namespace toppeek::ui
