// MainWindow: the program's main window. It shows the state of the mailbox
// checker below it (checker/Checker.h: settings, filters, the message list, the
// accounts it was read from, the new mail) through messageView, and turns every
// menu item, pop-up item, toolbar button and key into one command member
// function, which routes to the checker and tells the user what came of it.
//
// While a mailbox operation runs, its event processing keeps this window
// painting and answering. Every command that could start a second operation
// or touch the list under the running one refuses to run then; closing the
// window asks the operation's cancel question instead and, when it is
// accepted, closes the window once the operation has returned.
#pragma once

#include "checker/Checker.h"
#include "messages/MessageList.h"
#include "operations/MailboxOperations.h"
#include "signin/OAuthSignIn.h"
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

// The selectedAccount that stands for "All accounts", the selector's last item.
inline constexpr std::int16_t kAllAccountsSelected = checker::kAllAccountsSelected;

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
    // Each activation; the first one reads the filters and sets the window up for the user.
    void windowActivated();
    // Asked before the window closes; false keeps it open (an operation still runs, or the
    // keyring still takes the passwords).
    bool mayClose();
    void accountChosen();
    void listDoubleClicked();
    void listColumnClicked(int column);
    // True when the key was one of the list's commands (the list then ignores it).
    bool listKeyPressed(QKeyEvent* event);

    // --- State, for the program's dialogs and for tests ---
    bool connected() const { return checker_->connected(); }
    // "All accounts" is chosen: a check lists every account's messages one after another.
    bool allAccountsChosen() const { return checker_->allAccountsChosen(); }
    // The list was read from every account; each command reaches the message's own account.
    bool listsAllAccounts() const { return checker_->listsAllAccounts(); }
    // True while a mailbox operation started by this window runs.
    bool busy() const;
    bool firstActivationDone() const { return !firstActivation_; }
    // A close was asked for during an operation; the window closes once it returns.
    bool closePending() const { return closePending_; }
    int sortKey() const { return sortKey_; }
    bool sortAscending() const { return sortAscending_; }
    checker::Checker& mailboxChecker() { return *checker_; }
    storage::Settings& settings() const { return checker_->settings(); }
    messages::Filters& filters() const { return checker_->filters(); }
    messages::MessageList& messageList() const { return checker_->list(); }
    const std::string& settingsPath() const { return checker_->settingsPath(); }
    const std::string& filtersPath() const { return checker_->filtersPath(); }
    // Print headers writes beside the executable unless told otherwise.
    void setHeaderListingPath(std::string path) { headerListingPath_ = std::move(path); }
    void setOperationOptions(const operations::OperationOptions& options) {
        operationOptions_ = options;
    }
    // The desktop's keyring, which takes the account passwords from the
    // settings file at the next save; without one they stay in the file.
    void setPasswordStore(std::unique_ptr<storage::PasswordStore> store);
    // True while the window waits for the keyring to answer.
    bool waitingForKeyring() const { return checker_->passwords().waiting(); }
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
    void createWindow();
    void createControls();
    void createMenus();
    void buildPopupMenu();
    void wireCommands();
    void bindCommand(std::initializer_list<QAction*> actions, QToolButton* button,
                     void (MainWindow::*command)());

    const storage::Account* currentAccount() const { return checker_->currentAccount(); }
    void enterBusy();
    void leaveBusy();
    void setConnectedCommands(bool connected);
    void updateCaption();
    void updateGroupCaption();
    void showFilterLabel();
    // The removal step, on account's mailbox; null means the current account.
    void removeMarkedStep(const storage::Account* account = nullptr);
    // The Account column shows while the list holds more than one account's messages.
    void updateAccountColumn();
    int selectorRow() const;
    void closeConnectionOf(const storage::Account* account);
    void discardList();
    void groupCommand(bool select);
    void syncSortChecks();
    void closeAfterOperation();
    // What the checker had to say beside a run (a file it could not write), for the status bar
    // once the run has ended.
    QString runNotice_;
    void showRunNotice();
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
    void runAutomaticCheck();
    // The automatic check of a list on show: each listed mailbox is brought up to date in place,
    // keeping the marks and what the user has in view.
    void updateListedMailboxes();
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
    QTimer trayRefresh_;
    // Set by the commands that end the program, which closing the window then does even with
    // the tray icon there.
    bool quitting_ = false;

    // The window's side of the password gate (MainWindowPasswords.cpp).
    checker::GatePrompts gatePrompts();
    // True when the secret of the current account (every account's for "All accounts") is at
    // hand; otherwise the checker reads it and runs command again once it is there.
    bool passwordReady(void (MainWindow::*command)());
    // The password prompt; true when the user gave one.
    bool askPassword(storage::Account& account, storage::KeyringResult why);
    // For an OAuth2 account: gives it an access token for the check, refreshed when it would
    // expire, or signed in anew in the browser after a question when the check was asked for.
    checker::SignInState signIn(storage::Account& account, checker::SignInMode mode);
    // The access tokens of this run, by account address; never stored.
    std::map<std::string, signin::Tokens> accessTokens_;
    void keyringWait(bool waiting);
    // Writes the settings file once the keyring has taken what it can, then
    // calls then with the outcome of the write.
    void saveSettingsFile(std::function<void(bool saved)> then);
    // Starts the keyring's part of the save at exit; false when it has none.
    bool keyringSaveBeforeClose();

    ShellHooks hooks_;
    std::string headerListingPath_;
    std::unique_ptr<checker::Checker> checker_;
    // messageView's model, which reads its rows from the checker's list.
    MessageTableModel* messageRows_ = nullptr;
    operations::OperationOptions operationOptions_;
    // The options of the next operation: a check nobody asked for runs quietly in the status bar,
    // everything else under the progress dialog.
    operations::OperationOptions operationOptions();
    ProgressDialogHost progressHost_;

    QActionGroup* viewStyleGroup_ = nullptr;
    QActionGroup* sortGroup_ = nullptr;

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

    QString statusBeforeWait_;
};

} // namespace toppeek::ui
