// MainWindow: the program's main window. It owns the run-time state (settings,
// filters, the message list of the selected account, the connected flag),
// shows the list through messageView, and turns every menu item, pop-up item,
// toolbar button and key into one command member function.
//
// "Connected" means that a message list of the selected account has been
// fetched and is on show; no POP3 session stays open between commands.
//
// While a mailbox operation runs, its event processing keeps this window
// painting and answering. Every command that could start a second operation
// or touch the list under the running one refuses to run then; closing the
// window asks the operation's cancel question instead and, when it is
// accepted, closes the window once the operation has returned.
#pragma once

#include "messages/MessageList.h"
#include "operations/MailboxOperations.h"
#include "signin/OAuthSignIn.h"
#include "storage/KeyringPasswords.h"
#include "storage/SeenMessages.h"
#include "storage/Settings.h"
#include "ui/CheckTimer.h"
#include "ui/MessageListView.h"
#include "ui/ProgressDialogHost.h"

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace toppeek::messages {
struct Filters;
} // namespace toppeek::messages

class QAction;
class QActionGroup;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QStatusBar;
class QToolButton;

namespace toppeek::ui {

class BackgroundProgress;
class MessageTableModel;
class TrayIcon;

// A window with this property set to true handles F1 itself; the help layer adds no key of its
// own to it. The main window's F1 is its Help "&Index" item.
inline constexpr const char* kHelpKeyInstalledProperty = "toppeekHelpKey";

// The selectedAccount that stands for "All accounts", the selector's last item. The settings
// file keeps it where it keeps the account's row; an older version, finding no account there,
// clamps it and shows the first account.
inline constexpr std::int16_t kAllAccountsSelected = -1;

// What the layer above the windows does for the main window: help, web links, About and the
// start-up update check. The program fills it in when it starts the window; a window without
// hooks (as in the tests) leaves those steps out and never reaches the network.
struct ShellHooks {
    std::function<void(QWidget* from)> helpIndex;
    std::function<void()> onlineHelp;
    std::function<void()> programHomePage;
    std::function<void()> authorHomePage;
    std::function<void(QWidget* owner)> about;
    // Checks for a newer release when it is due. It may answer later, from the event loop,
    // recording the day in lastUpdateCheckDay, which stays valid until stopStartupUpdateCheck.
    std::function<void(std::uint32_t& lastUpdateCheckDay)> startupUpdateCheck;
    // Stops a start-up check still running; the first step of the shutdown, before the settings
    // are saved.
    std::function<void()> stopStartupUpdateCheck;
    // First step of the shutdown.
    std::function<void()> closeHelp;
    // Tells the desktop what a check nobody asked for found; onClicked runs when the user
    // clicks the notice.
    std::function<void(QWidget* window, const std::vector<storage::NewMailCount>& counts,
                       std::function<void()> onClicked)>
        newMailNotice;
};

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Reads and writes the settings and filters files beside the executable.
    explicit MainWindow(QWidget* parent = nullptr, ShellHooks hooks = {});
    // Reads and writes the given files instead.
    MainWindow(std::string settingsPath, std::string filtersPath, QWidget* parent = nullptr,
               ShellHooks hooks = {});
    // The shutdown: saves the settings, frees the state, stops the connection layer.
    ~MainWindow() override;

    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // --- Controls: each keeps its design name as its objectName (docs/DesignNames.md) ---
    // The panel with the toolbar, the account selector and the filter label.
    QWidget* toolbarPanel = nullptr;
    QWidget* toolbar = nullptr; // flat buttons with captions under their images
    QToolButton* connectButton = nullptr;
    QToolButton* closeButton = nullptr;
    QToolButton* viewButton = nullptr;
    QToolButton* markButton = nullptr;
    QToolButton* removeButton = nullptr;
    QToolButton* preferencesButton = nullptr;
    QComboBox* accountSelector = nullptr;
    QLabel* filterLabel = nullptr;     // the three filter switches
    QGroupBox* messageGroup = nullptr; // its caption counts the messages and their size
    MessageListView* messageView = nullptr;
    QStatusBar* statusPanel = nullptr;
    QLabel* statusText = nullptr; // the status bar's one panel
    // Beside it while a check nobody asked for runs.
    BackgroundProgress* backgroundProgress = nullptr;
    // Null where the desktop has no system tray.
    TrayIcon* trayIcon = nullptr;
    QMenu* listMenu = nullptr; // the list's pop-up menu

    // --- Main menu ---
    QMenu* fileMenu = nullptr;
    QAction* openConnectionItem = nullptr;
    QAction* closeConnectionItem = nullptr;
    QAction* exitItem = nullptr;
    QMenu* editMenu = nullptr;
    QAction* viewMessageItem = nullptr;
    QAction* viewHeadersItem = nullptr;
    QAction* printHeadersItem = nullptr;
    QAction* markItem = nullptr;
    QAction* markNotAddressedItem = nullptr;
    QAction* removeMarkedItem = nullptr;
    QAction* selectGroupItem = nullptr;
    QAction* unselectGroupItem = nullptr;
    QAction* applyFiltersItem = nullptr;
    QAction* editFiltersItem = nullptr;
    QMenu* optionsMenu = nullptr;
    QAction* preferencesItem = nullptr; // "&Preferences"
    QAction* largeIconsItem = nullptr;
    QAction* smallIconsItem = nullptr;
    QAction* listStyleItem = nullptr;
    QAction* detailsItem = nullptr;
    QMenu* sortMenu = nullptr;
    QAction* sortByToItem = nullptr;
    QAction* sortByFromItem = nullptr;
    QAction* sortBySizeItem = nullptr;
    QAction* sortByDateItem = nullptr;
    QAction* sortBySubjectItem = nullptr;
    QAction* showToolbarItem = nullptr;
    QAction* showStatusBarItem = nullptr;
    QMenu* helpMenu = nullptr;
    QAction* helpIndexItem = nullptr;
    QAction* onlineHelpItem = nullptr;
    QAction* programHomePageItem = nullptr;
    QAction* authorHomePageItem = nullptr;
    QAction* aboutItem = nullptr;

    // --- Pop-up menu of the list ---
    QAction* popupOpenConnection = nullptr;
    QAction* popupCloseConnection = nullptr;
    QAction* popupViewMessage = nullptr;
    QAction* popupViewHeaders = nullptr;
    QAction* popupMark = nullptr;
    QAction* popupMarkNotAddressed = nullptr;
    QAction* popupRemoveMarked = nullptr;
    QAction* popupSelectGroup = nullptr;
    QAction* popupUnselectGroup = nullptr;
    QAction* popupApplyFilters = nullptr;
    QAction* popupEditFilters = nullptr;

    // --- Commands: each is the one function behind its items, buttons and keys ---
    void OpenConnection();
    void CloseConnection();
    void Exit();
    void ViewMessage();
    void ViewHeaders();
    void PrintHeaders();
    void MarkOrUnmark();
    void MarkNotAddressed();
    void RemoveMarked();
    void SelectGroup();
    void UnselectGroup();
    void ApplyFilters();
    void EditFilters();
    void Preferences();
    void SetViewStyle(ListViewStyle style);
    void Sort(messages::SortKey key);
    // A mixed list by its Account column, in the same way as by the others.
    void SortByAccount();
    void ToggleToolbar();
    void ToggleStatusBar();
    void HelpIndex();
    void OnlineHelp();
    void ProgramHomePage();
    void AuthorHomePage();
    void About();

    // --- Events ---
    void FormActivate();
    bool FormCloseQuery();
    void accountChosen();
    void listDoubleClicked();
    void listColumnClicked(int column);
    // True when the key was one of the list's commands (the list then ignores it).
    bool listKeyPressed(QKeyEvent* event);

    // --- State, for the program's dialogs and for tests ---
    bool connected() const { return connected_; }
    // "All accounts" is chosen: a check lists every account's messages one after another.
    bool allAccountsChosen() const;
    // The list was read from every account; each command reaches the message's own account.
    bool listsAllAccounts() const { return !listedAccounts_.empty(); }
    // True while a mailbox operation started by this window runs.
    bool busy() const;
    bool firstActivationDone() const { return !firstActivation_; }
    // A close was asked for during an operation; the window closes once it returns.
    bool closePending() const { return closePending_; }
    int sortKey() const { return sortKey_; }
    bool sortAscending() const { return sortAscending_; }
    storage::Settings& settings() { return *settings_; }
    messages::Filters& filters() { return *filters_; }
    messages::MessageList& messageList() { return *messages_; }
    const std::string& settingsPath() const { return settingsPath_; }
    const std::string& filtersPath() const { return filtersPath_; }
    // Print headers writes beside the executable unless told otherwise.
    void setHeaderListingPath(std::string path) { headerListingPath_ = std::move(path); }
    void setOperationOptions(const operations::OperationOptions& options) {
        operationOptions_ = options;
    }
    // The desktop's keyring, which takes the account passwords from the
    // settings file at the next save; without one they stay in the file.
    void setPasswordStore(std::unique_ptr<storage::PasswordStore> store);
    // True while the window waits for the keyring to answer.
    bool waitingForKeyring() const { return keyringWaits_ > 0; }
    // Where the Preferences say the passwords are kept.
    QString passwordNote() const;

    // --- Watching the mailbox (MainWindowWatch.cpp) ---
    // What drives the checks nobody asks for; the window starts with a clock of real minutes.
    void setCheckClock(std::unique_ptr<CheckClock> clock);
    // A minute has passed: checks in the background once the preferences' interval is over,
    // unless the window is busy or a dialog of the program is open. With a list on show the
    // check updates it in place, keeping its marks and what the user has in view.
    void checkClockTicked();
    bool automaticCheckRunning() const { return automaticCheck_; }
    // The tray icon, also where the desktop shows none (its menu still works).
    void createTrayIcon();
    // The tray menu's "Check now", "Show" and "Quit".
    void CheckNow();
    void ShowFromTray();
    void QuitFromTray();

    // The list refresh after a change of the message list as a whole.
    void refreshList();
    // Refills accountSelector from the accounts and selects selectedAccount, clamped.
    void fillAccountSelector();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void createControls();
    void createMenus();
    void buildPopupMenu();
    void wireCommands();
    void bindCommand(std::initializer_list<QAction*> actions, QToolButton* button,
                     void (MainWindow::*command)());

    const storage::Account* currentAccount() const;
    bool isListedAccount(const storage::Account* account) const;
    void enterBusy();
    void leaveBusy();
    void setConnectedCommands(bool connected);
    void updateCaption();
    void updateGroupCaption();
    void showFilterLabel();
    // The removal step, on account's mailbox; null means the current account.
    void removeMarkedStep(const storage::Account* account = nullptr);
    // The check and the removal over every account, one session each; a failed account is
    // reported with the others in one box at the end and does not stop the rest.
    void checkAllAccounts();
    void removeMarkedOfEachAccount();
    // The account a message of a list read from every account came from, as it was checked.
    std::optional<storage::Account> listedAccountOf(const messages::MessageEntry& entry) const;
    // The listed accounts are all still there, unchanged, and "All accounts" still chosen.
    bool listedAccountsKept() const;
    // The Account column shows while the list holds more than one account's messages.
    void updateAccountColumn();
    int selectorRow() const;
    void closeConnectionOf(const storage::Account* account);
    void discardList();
    void groupCommand(bool select);
    void syncSortChecks();
    void closeAfterOperation();
    // The status bar tells why the current message is marked (or kept unmarked).
    void showMarkReason();

    // Columns: the width that shows a column's typical text whole in the list's font, the
    // user's widths where set, and the window width that shows them all beside Subject.
    int fittingColumnWidth(int column) const;
    void applyColumnWidths();
    int widthForColumns() const;
    QString viewStatePath() const;
    void loadColumnWidths();
    void saveColumnWidths() const;

    // Watching the mailbox (MainWindowWatch.cpp).
    void startWatching();
    std::string seenMessagesPath() const;
    void runAutomaticCheck();
    // The automatic check of a list on show: each listed mailbox is brought up to date in place;
    // one that fails or is cancelled leaves its messages as they were.
    void updateListedMailboxes();
    enum class UpdateResult { Updated, Failed, Cancelled };
    UpdateResult updateMailboxInPlace(const storage::Account& account,
                                      std::vector<std::string>& problems);
    // A check's end, for each account it read: records what it listed and finds what is new.
    void checkEnded(const storage::Account& account, const operations::OperationOutcome& outcome);
    // The same for entries, the account's whole listing as a completed check left it.
    void recordListing(const storage::Account& account,
                       const std::vector<messages::MessageEntry*>& entries);
    // Sorts the list again by the column it is sorted by, keeping the selected and focused
    // messages and the scroll position; after rows joined a sorted list.
    void sortAgainKeepingView();
    // The list as the server orders it, as a new check lists it: no column sorted.
    void forgetSortOrder();
    void sortByAccountNow();
    // A check's report: a box for a check by hand, the status bar for one in the background.
    void tellCheckReport(const std::string& report);
    // True, with a word in the status bar, while a background check runs.
    bool refusedDuringAutomaticCheck();
    void runCommand(void (MainWindow::*command)());
    void updateTray();
    // True when closing is to hide the window, which it then does.
    bool hideInsteadOfClosing();
    void windowClosed();

    std::unique_ptr<CheckClock> checkClock_;
    int minutesSinceCheck_ = 0;
    bool automaticCheck_ = false;
    // What the background check running or last run could not do; empty when nothing failed.
    QString automaticProblem_;
    storage::SeenMessages seen_;
    // What the current check found new, for each account with new messages.
    std::vector<storage::NewMailCount> newMail_;
    QTimer trayRefresh_;
    // Set by the commands that end the program, which closing the window then does even with
    // the tray icon there.
    bool quitting_ = false;

    // Keyring (MainWindowPasswords.cpp).
    enum class KeyringState { Unknown, Usable, Unusable };
    // True when the current account's password is at hand. Otherwise reads
    // it from the keyring (asking the user when the keyring has none to
    // give) and runs command again once it is there.
    bool passwordReady(void (MainWindow::*command)());
    // The same for the given account.
    bool passwordReady(void (MainWindow::*command)(), storage::Account* account);
    // The password prompt; true when the user gave one.
    bool askPassword(storage::Account& account, storage::KeyringResult why);
    // For an OAuth2 account: gives it an access token for the check, refreshed when it would
    // expire, or signed in anew in the browser after a question when the check was asked for.
    // A background check opens no browser: the account is left without a token, and its check
    // says that it needs a sign-in. False when the user declined or the sign-in failed.
    bool signInReady(storage::Account& account, bool background);
    // The access tokens of this run, by account address; never stored.
    std::map<std::string, signin::Tokens> accessTokens_;
    // Writes the settings file once the keyring has taken what it can, then
    // calls then with the outcome of the write.
    void saveSettingsFile(std::function<void(bool saved)> then);
    // Starts the keyring's part of the save at exit; false when it has none.
    bool keyringSaveBeforeClose();
    void enterKeyringWait();
    void leaveKeyringWait();
    void noteKeyringAnswer(storage::KeyringResult result);

    ShellHooks hooks_;
    std::string settingsPath_;
    std::string filtersPath_;
    std::string headerListingPath_;
    std::unique_ptr<storage::Settings> settings_;
    std::unique_ptr<messages::Filters> filters_;
    std::unique_ptr<messages::MessageList> messages_;
    // messageView's model, which reads its rows from messages_.
    MessageTableModel* messageRows_ = nullptr;
    operations::OperationOptions operationOptions_;
    // The options of the next operation: a check nobody asked for runs quietly in the status bar,
    // everything else under the progress dialog.
    operations::OperationOptions operationOptions();
    ProgressDialogHost progressHost_;

    QActionGroup* viewStyleGroup_ = nullptr;
    QActionGroup* sortGroup_ = nullptr;

    bool connected_ = false;
    // While connected: the account the list was read from, to tell whether
    // the preferences left it the current one.
    std::optional<storage::Account> listedAccount_;
    // While connected to "All accounts": every account that was read, as it was read (with the
    // password it logged in with), in the order of the settings.
    std::vector<storage::Account> listedAccounts_;
    // While connected after a check that ended early: how many messages the list would hold had
    // it run to its end, so that the caption never shows a partial list as the whole; -1 when
    // the list is complete.
    long meantToList_ = -1;
    // While connected: how many messages each listed account's mailbox held at its last check or
    // removal, by account tag; settings_->mailboxMessages is their sum.
    std::map<std::uint16_t, std::int32_t> mailboxCounts_;
    void setMailboxCount(std::uint16_t accountTag, std::int32_t count);
    // The mailbox changed since the check under a list without unique-ids: its count is not the
    // server's, and the caption says so.
    bool listOutdated_ = false;
    bool firstActivation_ = true;
    int sortKey_ = -1;
    // sortKey_ while a mixed list is sorted by its Account column, past the list's own keys.
    static constexpr int kSortByAccount = 100;
    bool sortAscending_ = true;
    std::string groupPattern_; // shared by Select group and Unselect group
    int toolbarHeight_ = 41;
    int statusBarHeight_ = 19;

    // Widths the user dragged the columns before Subject to (0: never), kept across runs in
    // the view state file.
    std::array<int, 4> userColumnWidths_{};
    int userAccountColumnWidth_ = 0;
    bool applyingWidths_ = false;

    // Rows that arrive during a check join the list in batches, at most one batch per
    // interval: adding each as it comes would have the window painted again for every message.
    static constexpr int kListGrowthIntervalMs = 75;
    QTimer listGrowth_;
    // What a check calls for each message it lists: the next batch is due within the interval.
    void rowArrived();
    void showArrivedRows();

    int busyDepth_ = 0;
    bool shown_ = false;
    bool closePending_ = false;
    // Set for the close that follows a cancelled operation: it asks nothing more.
    bool quietClose_ = false;

    std::unique_ptr<storage::PasswordStore> passwords_;
    std::unique_ptr<storage::KeyringSync> keyringSync_;
    KeyringState keyringState_ = KeyringState::Unknown;
    int keyringWaits_ = 0;
    QString statusBeforeWait_;
};

} // namespace toppeek::ui
