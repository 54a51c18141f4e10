#include "ui/MainWindow.h"

#include "dialogs/DisplayText.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "messages/Filters.h"
#include "messages/MailText.h"
#include "storage/AccountTags.h"
#include "storage/FiltersFile.h"
#include "storage/Settings.h"
#include "ui/BackgroundProgress.h"
#include "ui/FilterEditor.h"
#include "ui/HeaderListing.h"
#include "ui/HelpContext.h"
#include "ui/MainIcons.h"
#include "ui/MessageTableModel.h"
#include "ui/MessageViewer.h"
#include "ui/PreferencesDialog.h"
#include "ui/TextPrompt.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

using namespace toppeek::core;
using namespace toppeek::dialogs;
using namespace toppeek::storage;
using namespace toppeek::messages;
using namespace toppeek::operations;

namespace toppeek::ui {

namespace {

// Design sizes of the window and its panels.
constexpr int kDesignWidth = 694;
constexpr int kDesignHeight = 367;
constexpr int kPanelHeight = 41;
constexpr int kStatusBarHeight = 19;
constexpr int kToolbarWidth = 308;
constexpr int kButtonWidth = 47;
constexpr int kButtonHeight = 36;
constexpr int kButtonIconSize = 18;
constexpr int kSeparatorWidth = 2;
// The design's 8-point dialog font at the usual 96 dots per inch; the
// design's positions and column widths are measured for it.
constexpr int kFontPixelSize = 11;

// What the columns are sized to show whole, in the font in use: a typical
// sender or recipient, the longest size and date texts. Subject takes the
// rest, and at least kMinSubjectChars average characters at the start.
constexpr const char* kAddressSample = "Anna Berg <anna.berg@example.com>";
constexpr const char* kSizeSample = "9999.9 Kb";
constexpr const char* kDateSample = "30 Dec 2026 - 23:59:59";
constexpr int kMinSubjectChars = 32;
constexpr int kSizedColumns = 4; // the columns before Subject

// Where the main window keeps what the settings file has no room for: the
// column widths the user set. Beside the settings file, named after it
// ("toppeek-settings-view.ini"), so that the settings file keeps its layout.
const char* const kViewStateSuffix = "-view.ini";

// The group pattern's buffer: at most 198 characters come back.
constexpr int kGroupPatternSize = 200;
constexpr int kGroupHelpContext = 1200;
constexpr int kFiltersHelpContext = 11;

const char* const kNotConnectedCaption =
    QT_TRANSLATE_NOOP("toppeek::ui::MainWindow", "Not connected");
const char* const kAllAccountsCaption =
    QT_TRANSLATE_NOOP("toppeek::ui::MainWindow", "All accounts");

// Columns of the list, in order, and the sort key of each.
constexpr SortKey kColumnKeys[] = {SortKey::ByTo, SortKey::ByFrom, SortKey::BySize, SortKey::ByDate,
                                   SortKey::BySubject};

QString onOff(std::uint8_t flag) {
    return flag != 0 ? QCoreApplication::translate("toppeek::ui::MainWindow", "on")
                     : QCoreApplication::translate("toppeek::ui::MainWindow", "off");
}

void flipMark(MessageEntry& entry) {
    entry.mark =
        entry.mark == MarkState::Unmarked ? MarkState::MarkedForDelete : MarkState::Unmarked;
    entry.markReason =
        (entry.mark == MarkState::Unmarked
             ? QCoreApplication::translate("toppeek::ui::MainWindow", "Unmarked by hand")
             : QCoreApplication::translate("toppeek::ui::MainWindow", "Marked by hand"))
            .toStdString();
}

// A caption of the window's, marked with QT_TR_NOOP where it is written.
QString translated(const char* caption) {
    return QCoreApplication::translate("toppeek::ui::MainWindow", caption);
}

QAction* addItem(QMenu* menu, const char* name, const char* caption,
                 const QKeySequence& shortcut = {}) {
    QAction* action = menu->addAction(translated(caption));
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

// Checkable items of which at most one is checked: none is while the list has no view style or
// sort order of the menu's.
QActionGroup* optionalChoice(QObject* owner, std::initializer_list<QAction*> items) {
    auto* group = new QActionGroup(owner);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction* item : items) {
        item->setCheckable(true);
        group->addAction(item);
    }
    return group;
}

// A pop-up item shows its key like the main menu's item does, but only the
// main menu's item binds it: two window-wide bindings of one key would
// cancel each other out.
QAction* addPopupItem(QMenu* menu, const char* name, const char* caption,
                      const QKeySequence& shortcut = {}) {
    QAction* action = addItem(menu, name, caption, shortcut);
    action->setShortcutContext(Qt::WidgetShortcut);
    return action;
}

// Buttons sit side by side, each followed by a 2-pixel separator.
QToolButton* makeButton(QWidget* bar, int& left, const char* name, const char* caption,
                        const char* hint, ToolbarIcon icon) {
    if (left > 0) {
        auto* separator = new QFrame(bar);
        separator->setFrameShape(QFrame::VLine);
        separator->setFrameShadow(QFrame::Sunken);
        separator->setGeometry(left, 4, kSeparatorWidth, kButtonHeight - 4);
        left += kSeparatorWidth;
    }
    auto* button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(translated(caption));
    button->setToolTip(translated(hint));
    button->setIcon(toolbarIcon(icon));
    button->setIconSize(QSize(kButtonIconSize, kButtonIconSize));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(left, 2, kButtonWidth, kButtonHeight);
    left += kButtonWidth;
    return button;
}

} // namespace

// --- Creation and shutdown ---

MainWindow::MainWindow(QWidget* parent, ShellHooks hooks)
    : MainWindow(settingsFilePath(), filtersFilePath(), parent, std::move(hooks)) {}

namespace {

// The seen messages lie beside the settings file the window was given, which tests put in a
// folder of their own.
std::string seenMessagesBeside(const std::string& settingsPath) {
    std::filesystem::path path(settingsPath);
    path.replace_filename(std::filesystem::path(seenMessagesFilePath()).filename());
    return path.string();
}

} // namespace

MainWindow::MainWindow(std::string settingsPath, std::string filtersPath, QWidget* parent,
                       ShellHooks hooks)
    : QMainWindow(parent), hooks_(std::move(hooks)), headerListingPath_(headerListingPath()) {
    const std::string seenPath = seenMessagesBeside(settingsPath);
    checker_ = std::make_unique<checker::Checker>(std::move(settingsPath), std::move(filtersPath),
                                                  seenPath, gatePrompts());
    createWindow();
}

void MainWindow::createWindow() {
    setObjectName(QStringLiteral("FMain"));
    setHelpContext(this, 1);
    setProperty(kHelpKeyInstalledProperty, true);
    updateCaption();

    // The filters are read at the first activation.
    createControls();
    createMenus();
    buildPopupMenu();
    wireCommands();

    toolbarHeight_ = kPanelHeight;
    statusBarHeight_ = kStatusBarHeight;
    showToolbarItem->setChecked(true);
    showStatusBarItem->setChecked(true);

    messageView->setViewStyle(ListViewStyle::Report);
    messageView->setHideSelection(false);
    messageView->setFullRowSelect();
    detailsItem->setChecked(true);

    showFilterLabel();
    messageRows_->setMessages(&messageList());
    checker_->setEvents({
        .rowAppended = [this](int) { rowArrived(); },
        .rowRemoved = [this](int index) { messageView->removeRow(index); },
        .rowInserted = [this](int index) { messageView->insertRow(index); },
        .listChanged =
            [this] {
                messageRows_->setAccountNames(checker_->accountNames());
                refreshList();
            },
        .rowsChanged = [this] { messageView->redrawRows(messageList().count()); },
        .stopRequested = [this] { return closePending_; },
        // Said once the run is over, after the list has been shown.
        .notice = [this](const std::string& text) { runNotice_ = QString::fromStdString(text); },
        // The tray names the accounts that need a sign-in.
        .accountStateChanged = [this](const Account&) { trayRefresh_.start(); },
    });
    listGrowth_.setSingleShot(true);
    listGrowth_.setInterval(kListGrowthIntervalMs);
    connect(&listGrowth_, &QTimer::timeout, this, &MainWindow::showArrivedRows);
    setConnectedCommands(false);
    updateCaption();
    updateGroupCaption();

    setWindowIcon(programIcon());
    loadColumnWidths();
    startWatching();
    resize(std::max(kDesignWidth, widthForColumns()), kDesignHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    if (hooks_.startupUpdateCheck)
        hooks_.startupUpdateCheck(settings().lastUpdateCheckDay);
}

MainWindow::~MainWindow() {
    if (hooks_.stopStartupUpdateCheck)
        hooks_.stopStartupUpdateCheck();
    // The list may still be asked to paint while the widgets go; it must
    // not reach the state freed below.
    messageRows_->setMessages(nullptr);
    messageView->onColumnClick = nullptr;
    messageView->onDoubleClick = nullptr;
    messageView->onKeyPress = nullptr;
    messageView->onContextMenu = nullptr;
    messageView->onRowStateChange = nullptr;
    messageView->clearRows();

    if (hooks_.closeHelp)
        hooks_.closeHelp();
    saveColumnWidths();
    // Saves the settings; keyring answers still to come are dropped.
    checker_.reset();
}

void MainWindow::createControls() {
    QFont designFont = font();
    designFont.setPixelSize(kFontPixelSize);
    setFont(designFont);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    toolbarPanel = new QWidget(central);
    toolbarPanel->setObjectName(QStringLiteral("BB"));
    toolbarPanel->setFixedHeight(kPanelHeight);
    layout->addWidget(toolbarPanel);

    toolbar = new QWidget(toolbarPanel);
    toolbar->setObjectName(QStringLiteral("ToolBar1"));
    toolbar->setGeometry(0, 0, kToolbarWidth, kPanelHeight);
    int left = 0;
    connectButton =
        makeButton(toolbar, left, "BConnect", QT_TR_NOOP("Connect"),
                   QT_TR_NOOP("Connect to server and get messages"), ToolbarIcon::Connect);
    closeButton = makeButton(toolbar, left, "BClose", QT_TR_NOOP("Close"),
                             QT_TR_NOOP("Close conection"), ToolbarIcon::Close);
    viewButton = makeButton(toolbar, left, "BView", QT_TR_NOOP("View"),
                            QT_TR_NOOP("View Email message"), ToolbarIcon::View);
    markButton = makeButton(toolbar, left, "BMark", QT_TR_NOOP("Mark"),
                            QT_TR_NOOP("Mark/Unmark for delete"), ToolbarIcon::Mark);
    removeButton = makeButton(toolbar, left, "BRemove", QT_TR_NOOP("Remove"),
                              QT_TR_NOOP("Delete marked messages."), ToolbarIcon::Remove);
    preferencesButton = makeButton(toolbar, left, "BOptions", QT_TR_NOOP("options"),
                                   QT_TR_NOOP("Preferences"), ToolbarIcon::Options);

    accountSelector = new QComboBox(toolbarPanel);
    accountSelector->setObjectName(QStringLiteral("CBAcc"));
    accountSelector->setGeometry(320, 8, 185, accountSelector->sizeHint().height());
    accountSelector->setMaxVisibleItems(7);
    accountSelector->setEditable(false);

    filterLabel = new QLabel(toolbarPanel);
    filterLabel->setObjectName(QStringLiteral("LBFilter"));
    filterLabel->setTextFormat(Qt::PlainText);
    filterLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    filterLabel->setGeometry(524, 0, 170, kPanelHeight);

    messageGroup = new QGroupBox(central);
    messageGroup->setObjectName(QStringLiteral("GBMsg"));
    layout->addWidget(messageGroup, 1);
    auto* groupLayout = new QVBoxLayout(messageGroup);
    groupLayout->setContentsMargins(4, 4, 4, 4);

    auto messageRows = std::make_unique<MessageTableModel>();
    messageRows_ = messageRows.get();
    messageView = new MessageListView(std::move(messageRows), messageGroup);
    messageView->setObjectName(QStringLiteral("LVMsg"));
    groupLayout->addWidget(messageView);
    messageView->setStretchLastColumn(true);
    applyColumnWidths();
    // Only widths the user sets by dragging are remembered; those the
    // program sets pass by while applyingWidths_ is on.
    connect(messageView->headerView(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                if (!applyingWidths_ && column >= 0 && column < kSizedColumns)
                    userColumnWidths_[static_cast<std::size_t>(column)] = width;
                else if (!applyingWidths_ && column == MessageTableModel::kAccountColumn)
                    userAccountColumnWidth_ = width;
            });
    messageView->onRowStateChange = [this](const RowStateChange& change) {
        if (change.state == RowStateChange::State::Focused)
            showMarkReason();
    };
    messageView->setMultiSelect(true);
    messageView->setSmallImages(messageImages(MessageListView::kSmallIconSize));
    messageView->setLargeImages(messageImages(MessageListView::kLargeIconSize));

    setCentralWidget(central);

    statusPanel = new QStatusBar(this);
    statusPanel->setObjectName(QStringLiteral("StatusBar1"));
    statusPanel->setFixedHeight(kStatusBarHeight);
    statusPanel->setSizeGripEnabled(false);
    statusText = new QLabel(tr("For Help Press F1"), statusPanel);
    statusText->setObjectName(QStringLiteral("StatusText"));
    statusPanel->addWidget(statusText, 1);
    setStatusBar(statusPanel);
}

void MainWindow::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    fileMenu = bar->addMenu(tr("&File"));
    fileMenu->setObjectName(QStringLiteral("File1"));
    openConnectionItem =
        addItem(fileMenu, "OpenConnection1", QT_TR_NOOP("&Open Connection"), Qt::Key_F2);
    closeConnectionItem =
        addItem(fileMenu, "CloseConnection1", QT_TR_NOOP("&Close Connection"), Qt::Key_F9);
    fileMenu->addSeparator();
    // Bound here rather than left to a window manager, so that the key
    // closes the program the same way everywhere.
    exitItem = addItem(fileMenu, "Exit1", QT_TR_NOOP("&Exit"), QKeySequence(Qt::ALT | Qt::Key_F4));

    editMenu = bar->addMenu(tr("&Edit"));
    editMenu->setObjectName(QStringLiteral("Edit1"));
    viewMessageItem = addItem(editMenu, "ViewEmail1", QT_TR_NOOP("&View Email"), Qt::Key_F3);
    viewHeadersItem = addItem(editMenu, "ViewHeaders1", QT_TR_NOOP("View &Headers"),
                              QKeySequence(Qt::SHIFT | Qt::Key_F3));
    printHeadersItem = addItem(editMenu, "PrintHeaders1", QT_TR_NOOP("&Print Headers..."));
    editMenu->addSeparator();
    markItem = addItem(editMenu, "MarkUnmarkforDelete1", QT_TR_NOOP("&Mark/Unmark for Delete"),
                       Qt::Key_F4);
    markNotAddressedItem = addItem(editMenu, "MarkNoAddressedMessages1",
                                   QT_TR_NOOP("Mark &No Addressed Messages"), Qt::Key_F7);
    removeMarkedItem =
        addItem(editMenu, "RemoveEmail", QT_TR_NOOP("&Remove Marked Messages"), Qt::Key_F8);
    editMenu->addSeparator();
    selectGroupItem = addItem(editMenu, "SelectGroup1", QT_TR_NOOP("&Select Group"));
    unselectGroupItem = addItem(editMenu, "UnSelectGroup1", QT_TR_NOOP("&Unselect Group"));
    editMenu->addSeparator();
    applyFiltersItem = addItem(editMenu, "ApplyFilterstoCurrentMessages1",
                               QT_TR_NOOP("&Apply Filters to Current Messages"), Qt::Key_F5);
    editFiltersItem = addItem(editMenu, "EditFilters1", QT_TR_NOOP("&Edit Filters"),
                              QKeySequence(Qt::SHIFT | Qt::Key_F5));

    optionsMenu = bar->addMenu(tr("&Options"));
    optionsMenu->setObjectName(QStringLiteral("Options2"));
    preferencesItem = addItem(optionsMenu, "Options1", QT_TR_NOOP("&Preferences"),
                              QKeySequence(Qt::CTRL | Qt::Key_O));
    optionsMenu->addSeparator();
    largeIconsItem = addItem(optionsMenu, "LargeIcons1", QT_TR_NOOP("&Large Icons"));
    smallIconsItem = addItem(optionsMenu, "SmallIcons1", QT_TR_NOOP("&Small Icons"));
    listStyleItem = addItem(optionsMenu, "List1", QT_TR_NOOP("&List"));
    detailsItem = addItem(optionsMenu, "Details1", QT_TR_NOOP("&Details"));
    viewStyleGroup_ =
        optionalChoice(this, {largeIconsItem, smallIconsItem, listStyleItem, detailsItem});
    optionsMenu->addSeparator();
    sortMenu = optionsMenu->addMenu(tr("&Arrange Icons"));
    sortMenu->setObjectName(QStringLiteral("ArrangeIcons1"));
    sortByToItem = addItem(sortMenu, "ByTo1", QT_TR_NOOP("By &To:"));
    sortByFromItem = addItem(sortMenu, "ByFrom1", QT_TR_NOOP("By &From:"));
    sortBySizeItem = addItem(sortMenu, "BySize1", QT_TR_NOOP("By &Size"));
    sortByDateItem = addItem(sortMenu, "ByPosition1", QT_TR_NOOP("By &Position"));
    sortBySubjectItem = addItem(sortMenu, "BySubject1", QT_TR_NOOP("By S&ubject"));
    sortGroup_ = optionalChoice(
        this, {sortByToItem, sortByFromItem, sortBySizeItem, sortByDateItem, sortBySubjectItem});
    optionsMenu->addSeparator();
    showToolbarItem = addItem(optionsMenu, "ViewToolbar1", QT_TR_NOOP("View &Toolbar"));
    showToolbarItem->setCheckable(true);
    showStatusBarItem = addItem(optionsMenu, "ViewStatusbar1", QT_TR_NOOP("View &Status bar"));
    showStatusBarItem->setCheckable(true);

    helpMenu = bar->addMenu(tr("Help"));
    helpMenu->setObjectName(QStringLiteral("Help1"));
    helpIndexItem = addItem(helpMenu, "Index1", QT_TR_NOOP("&Index"), Qt::Key_F1);
    onlineHelpItem = addItem(helpMenu, "OnlineHelp1", QT_TR_NOOP("Online Help..."),
                             QKeySequence(Qt::ALT | Qt::Key_F1));
    helpMenu->addSeparator();
    programHomePageItem = addItem(helpMenu, "ProgramHomePage1", QT_TR_NOOP("&Program home page"));
    authorHomePageItem = addItem(helpMenu, "AuthorHomePage1", QT_TR_NOOP("&Author home Page"));
    helpMenu->addSeparator();
    aboutItem =
        addItem(helpMenu, "About1", QT_TR_NOOP("&About ..."), QKeySequence(Qt::CTRL | Qt::Key_A));
}

void MainWindow::buildPopupMenu() {
    listMenu = new QMenu(this);
    listMenu->setObjectName(QStringLiteral("PopupMenu"));
    popupOpenConnection =
        addPopupItem(listMenu, "Connect1", QT_TR_NOOP("&Open Connection"), Qt::Key_F2);
    popupCloseConnection =
        addPopupItem(listMenu, "CloseConnection2", QT_TR_NOOP("&Close Connection"), Qt::Key_F9);
    listMenu->addSeparator();
    popupViewMessage =
        addPopupItem(listMenu, "ViewMessage1", QT_TR_NOOP("&View Message"), Qt::Key_F3);
    popupViewHeaders = addPopupItem(listMenu, "POPViewHeaders", QT_TR_NOOP("View &Headers"),
                                    QKeySequence(Qt::SHIFT | Qt::Key_F3));
    listMenu->addSeparator();
    popupMark = addPopupItem(listMenu, "MarkUnmarkfordelete2",
                             QT_TR_NOOP("&Mark/Unmark for delete"), Qt::Key_F4);
    popupMarkNotAddressed = addPopupItem(listMenu, "MarkNoAddressedMessages2",
                                         QT_TR_NOOP("Mark &No Addressed Messages"), Qt::Key_F7);
    popupRemoveMarked = addPopupItem(listMenu, "Removemarkedmessages1",
                                     QT_TR_NOOP("&Remove marked messages"), Qt::Key_F8);
    listMenu->addSeparator();
    popupSelectGroup = addPopupItem(listMenu, "SelectGroup2", QT_TR_NOOP("&Select Group"));
    popupUnselectGroup = addPopupItem(listMenu, "UnselectGroup2", QT_TR_NOOP("&Unselect Group"));
    listMenu->addSeparator();
    popupApplyFilters =
        addPopupItem(listMenu, "ApplyFilters1", QT_TR_NOOP("&Apply Filters"), Qt::Key_F5);
    popupEditFilters = addPopupItem(listMenu, "EditFilters2", QT_TR_NOOP("&Edit Filters"),
                                    QKeySequence(Qt::SHIFT | Qt::Key_F5));
    messageView->setPopupMenu(listMenu);

    // The group commands mark and unmark by a text; their items say so.
    for (QAction* item : {selectGroupItem, popupSelectGroup})
        item->setText(tr("Mark &Group by Text..."));
    for (QAction* item : {unselectGroupItem, popupUnselectGroup})
        item->setText(tr("&Unmark Group by Text..."));
}

void MainWindow::bindCommand(std::initializer_list<QAction*> actions, QToolButton* button,
                             void (MainWindow::*command)()) {
    for (QAction* action : actions)
        connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    if (button != nullptr)
        connect(button, &QToolButton::clicked, this, [this, command] { runCommand(command); });
}

// The one place where items, buttons, keys and list events meet their commands.
void MainWindow::wireCommands() {
    bindCommand({openConnectionItem, popupOpenConnection}, connectButton,
                &MainWindow::OpenConnection);
    bindCommand({closeConnectionItem, popupCloseConnection}, closeButton,
                &MainWindow::CloseConnection);
    bindCommand({exitItem}, nullptr, &MainWindow::Exit);
    bindCommand({viewMessageItem, popupViewMessage}, viewButton, &MainWindow::ViewMessage);
    bindCommand({viewHeadersItem, popupViewHeaders}, nullptr, &MainWindow::ViewHeaders);
    bindCommand({printHeadersItem}, nullptr, &MainWindow::PrintHeaders);
    bindCommand({markItem, popupMark}, markButton, &MainWindow::MarkOrUnmark);
    bindCommand({markNotAddressedItem, popupMarkNotAddressed}, nullptr,
                &MainWindow::MarkNotAddressed);
    bindCommand({removeMarkedItem, popupRemoveMarked}, removeButton, &MainWindow::RemoveMarked);
    bindCommand({selectGroupItem, popupSelectGroup}, nullptr, &MainWindow::SelectGroup);
    bindCommand({unselectGroupItem, popupUnselectGroup}, nullptr, &MainWindow::UnselectGroup);
    bindCommand({applyFiltersItem, popupApplyFilters}, nullptr, &MainWindow::ApplyFilters);
    bindCommand({editFiltersItem, popupEditFilters}, nullptr, &MainWindow::EditFilters);
    bindCommand({preferencesItem}, preferencesButton, &MainWindow::Preferences);
    bindCommand({showToolbarItem}, nullptr, &MainWindow::ToggleToolbar);
    bindCommand({showStatusBarItem}, nullptr, &MainWindow::ToggleStatusBar);
    bindCommand({helpIndexItem}, nullptr, &MainWindow::HelpIndex);
    bindCommand({onlineHelpItem}, nullptr, &MainWindow::OnlineHelp);
    bindCommand({programHomePageItem}, nullptr, &MainWindow::ProgramHomePage);
    bindCommand({authorHomePageItem}, nullptr, &MainWindow::AuthorHomePage);
    bindCommand({aboutItem}, nullptr, &MainWindow::About);

    const std::pair<QAction*, ListViewStyle> styles[] = {{largeIconsItem, ListViewStyle::Icon},
                                                         {smallIconsItem, ListViewStyle::SmallIcon},
                                                         {listStyleItem, ListViewStyle::List},
                                                         {detailsItem, ListViewStyle::Report}};
    for (auto [item, style] : styles)
        connect(item, &QAction::triggered, this, [this, style] { SetViewStyle(style); });

    const std::pair<QAction*, SortKey> sorts[] = {{sortByToItem, SortKey::ByTo},
                                                  {sortByFromItem, SortKey::ByFrom},
                                                  {sortBySizeItem, SortKey::BySize},
                                                  {sortByDateItem, SortKey::ByDate},
                                                  {sortBySubjectItem, SortKey::BySubject}};
    for (auto [item, key] : sorts)
        connect(item, &QAction::triggered, this, [this, key] { Sort(key); });

    connect(accountSelector, &QComboBox::activated, this, [this] {
        refusedDuringAutomaticCheck();
        accountChosen();
    });

    messageView->onColumnClick = [this](int column) { listColumnClicked(column); };
    messageView->onDoubleClick = [this] { listDoubleClicked(); };
    messageView->onKeyPress = [this](QKeyEvent* event) { return listKeyPressed(event); };
    // No pop-up menu while an operation runs: its commands would be refused anyway.
    messageView->onContextMenu = [this](QPoint, bool& handled) { handled = busy(); };
}

// --- Window events ---

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // Once the window is up and the event loop runs, so that a dialog
        // opened by the first activation has its owner on screen.
        QTimer::singleShot(0, this, &MainWindow::windowActivated);
    }
}

void MainWindow::windowActivated() {
    // Loading the filters would free rules that a running check evaluates;
    // leaving the busy state comes back here.
    if (!firstActivation_ || busy())
        return;
    // Cleared first: the dialogs below activate the window again.
    firstActivation_ = false;
    if (settings().accounts.count() == 0)
        Preferences();
    fillAccountSelector();
    checker_->loadFilters();
    showFilterLabel();
    if (settings().showAbout != 0)
        About();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    return QMainWindow::eventFilter(watched, event);
}

// --- Columns ---

int MainWindow::fittingColumnWidth(int column) const {
    const QFontMetrics metrics(messageView->font());
    // A cell's text sits inside the style's focus frame margins on both sides, plus a pixel each
    // for the grid; the first column also holds the mark icon.
    const int padding =
        2 * (messageView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, messageView) +
             1) +
        6;
    const char* sample = column == 2 ? kSizeSample : column == 3 ? kDateSample : kAddressSample;
    int width = std::max(metrics.horizontalAdvance(QString::fromLatin1(sample)),
                         metrics.horizontalAdvance(messageView->columnCaption(column)) + 16);
    if (column == 0)
        width += MessageListView::kSmallIconSize + 4;
    return width + padding;
}

void MainWindow::applyColumnWidths() {
    applyingWidths_ = true;
    for (int column = 0; column < kSizedColumns; ++column) {
        const int chosen = userColumnWidths_[static_cast<std::size_t>(column)];
        messageView->setColumnWidth(column, chosen > 0 ? chosen : fittingColumnWidth(column));
    }
    applyingWidths_ = false;
}

int MainWindow::widthForColumns() const {
    int width = QFontMetrics(messageView->font()).averageCharWidth() * kMinSubjectChars;
    for (int column = 0; column < kSizedColumns; ++column)
        width += messageView->columnWidth(column);
    // The list's frame, the group box around it and the vertical scroll bar.
    return width + 2 * messageView->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 16 +
           messageView->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

QString MainWindow::viewStatePath() const {
    std::filesystem::path path(settingsPath());
    path.replace_filename(path.stem().string() + kViewStateSuffix);
    return QString::fromStdString(path.string());
}

void MainWindow::loadColumnWidths() {
    const QSettings state(viewStatePath(), QSettings::IniFormat);
    const QStringList widths = state.value(QStringLiteral("Columns/widths")).toStringList();
    for (int column = 0; column < kSizedColumns && column < widths.size(); ++column) {
        bool ok = false;
        const int width = widths[column].toInt(&ok);
        // A width no screen would show is a damaged file's, not the user's.
        userColumnWidths_[static_cast<std::size_t>(column)] =
            ok && width > 0 && width < 10000 ? width : 0;
    }
    // Kept apart from the others, which older versions read as a list of four.
    bool ok = false;
    const int accountWidth = state.value(QStringLiteral("Columns/account")).toInt(&ok);
    userAccountColumnWidth_ = ok && accountWidth > 0 && accountWidth < 10000 ? accountWidth : 0;
    applyColumnWidths();
}

void MainWindow::saveColumnWidths() const {
    const bool anySet = std::any_of(userColumnWidths_.begin(), userColumnWidths_.end(),
                                    [](int width) { return width > 0; });
    if (!anySet && userAccountColumnWidth_ <= 0)
        return;
    QSettings state(viewStatePath(), QSettings::IniFormat);
    if (anySet) {
        QStringList widths;
        for (int width : userColumnWidths_)
            widths << QString::number(width);
        state.setValue(QStringLiteral("Columns/widths"), widths);
    }
    if (userAccountColumnWidth_ > 0)
        state.setValue(QStringLiteral("Columns/account"), userAccountColumnWidth_);
    state.sync();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (hideInsteadOfClosing()) {
        event->ignore();
        return;
    }
    if (mayClose()) {
        event->accept();
        windowClosed();
    } else {
        event->ignore();
    }
}

bool MainWindow::mayClose() {
    if (waitingForKeyring() && closePending_) {
        // Asked twice while the keyring keeps the window waiting: leave it
        // be. What it has not taken stays in the settings file.
        closePending_ = false;
        checker_->passwords().dropStore();
    }
    if (busy()) {
        // The operation's stack lies below this call: the window must stay
        // until it has returned. Ask its cancel question; once the cancel
        // is accepted the window closes right after the operation.
        if (!closePending_) {
            operations::OperationHost* host = operations::runningHost();
            if (host != nullptr && host->goOn())
                host->cancel();
            if (host == nullptr || !host->goOn())
                closePending_ = true;
        }
        return false;
    }
    if (connected()) {
        if (quietClose_)
            discardList();
        else
            CloseConnection();
    }
    // The passwords go into the keyring before the window does; it closes
    // once the keyring has answered.
    closePending_ = true;
    if (keyringSaveBeforeClose())
        return false;
    closePending_ = false;
    quietClose_ = false;
    // Written here rather than only as the window goes, so that a failure can still be said.
    if (!checker_->saveSettingsNow())
        msgBox(kMbWarning, kProgramTitle,
               "Could not save the settings to %s.\nWhat was changed in this run is lost.",
               settingsPath().c_str());
    return true;
}

void MainWindow::closeAfterOperation() {
    if (!closePending_ || busy())
        return;
    closePending_ = false;
    quietClose_ = true;
    close();
    quietClose_ = false;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (listKeyPressed(event))
        event->accept();
    else
        QMainWindow::keyPressEvent(event);
}

// --- State ---

operations::OperationOptions MainWindow::operationOptions() {
    operations::OperationOptions options = operationOptions_;
    if (automaticCheck_) {
        options.quiet = true;
        options.host = backgroundProgress;
    } else {
        options.host = &progressHost_;
    }
    return options;
}

bool MainWindow::busy() const {
    return busyDepth_ > 0 || operations::operationRunning();
}

void MainWindow::enterBusy() {
    ++busyDepth_;
    // A background check leaves the controls as they are: they answer with a word instead.
    if (automaticCheck_)
        return;
    for (QMenu* menu : {fileMenu, editMenu, optionsMenu})
        menu->menuAction()->setEnabled(false);
    accountSelector->setEnabled(false);
    toolbarPanel->setEnabled(false);
}

void MainWindow::leaveBusy() {
    if (--busyDepth_ > 0)
        return;
    for (QMenu* menu : {fileMenu, editMenu, optionsMenu})
        menu->menuAction()->setEnabled(true);
    accountSelector->setEnabled(true);
    toolbarPanel->setEnabled(true);
    // Work that waited for the operation runs once the command that ran it
    // has finished.
    if (closePending_)
        QTimer::singleShot(0, this, &MainWindow::closeAfterOperation);
    if (firstActivation_ && shown_)
        QTimer::singleShot(0, this, &MainWindow::windowActivated);
}

void MainWindow::setConnectedCommands(bool connected) {
    for (QAction* item :
         {closeConnectionItem, popupCloseConnection, viewMessageItem, popupViewMessage,
          viewHeadersItem, popupViewHeaders, printHeadersItem, markItem, popupMark,
          markNotAddressedItem, popupMarkNotAddressed, removeMarkedItem, popupRemoveMarked,
          selectGroupItem, popupSelectGroup, unselectGroupItem, popupUnselectGroup,
          applyFiltersItem, popupApplyFilters})
        item->setEnabled(connected);
    for (QToolButton* button : {closeButton, viewButton, markButton, removeButton})
        button->setEnabled(connected);
    openConnectionItem->setEnabled(!connected);
    popupOpenConnection->setEnabled(!connected);
    connectButton->setEnabled(!connected);
}

void MainWindow::updateCaption() {
    QString where = tr(kNotConnectedCaption);
    if (checker_ && connected() && listsAllAccounts())
        where = tr(kAllAccountsCaption);
    else if (checker_ && connected())
        if (const Account* account = currentAccount())
            where = dialogs::displayText(account->host);
    setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromLatin1(kProgramTitle), where));
}

void MainWindow::updateGroupCaption() {
    if (!connected()) {
        messageGroup->setTitle(QString());
        return;
    }
    long bytes = static_cast<long>(settings().mailboxBytes);
    char total[64];
    if (bytes < 1024)
        std::snprintf(total, sizeof total, "%ld bytes", bytes);
    else
        std::snprintf(total, sizeof total, "%ld.%ld Kb", bytes / 1024,
                      ((bytes % 1024) * 10) / 1024);
    if (checker_->listOutdated())
        // The list's count is not the server's any more; only a new check can tell it.
        messageGroup->setTitle(tr("Messages: the mailbox changed since the check - check again"));
    else if (checker_->meantToList() > messageList().count())
        messageGroup->setTitle(tr("Messages: %1 of %2 (%3)")
                                   .arg(messageList().count())
                                   .arg(checker_->meantToList())
                                   .arg(QString::fromLatin1(total)));
    else
        messageGroup->setTitle(
            tr("Messages: %1 (%2)").arg(messageList().count()).arg(QString::fromLatin1(total)));
}

void MainWindow::showFilterLabel() {
    filterLabel->setText(tr("Friendly domains: %1\nBanned domains: %2\nRejection rules: %3")
                             .arg(onOff(filters().friendlyEnabled), onOff(filters().bannedEnabled),
                                  onOff(filters().rulesEnabled)));
}

void MainWindow::fillAccountSelector() {
    accountSelector->clear();
    const AccountList& accounts = settings().accounts;
    for (const Account* account : accounts)
        accountSelector->addItem(dialogs::displayText(account->address));
    if (accounts.count() > 1)
        accountSelector->addItem(tr(kAllAccountsCaption));
    if (allAccountsChosen()) {
        accountSelector->setCurrentIndex(accounts.count());
    } else if (accounts.count() > 0) {
        int selected = std::clamp<int>(settings().selectedAccount, 0, accounts.count() - 1);
        settings().selectedAccount = static_cast<std::int16_t>(selected);
        accountSelector->setCurrentIndex(selected);
    }
}

int MainWindow::selectorRow() const {
    return allAccountsChosen() ? settings().accounts.count() : settings().selectedAccount;
}

void MainWindow::refreshList() {
    int count = messageList().count();
    int focused = messageView->focusedRow();
    messageView->setRowCount(count);
    if (count > 0)
        messageView->redrawRows(count);
    else
        messageView->clearRows();
    if (focused != -1 && count > 0)
        messageView->goToRow(std::clamp(focused, 0, count - 1));
    updateAccountColumn();
    updateGroupCaption();
    showFilterLabel();
    showMarkReason();
}

void MainWindow::rowArrived() {
    if (!listGrowth_.isActive())
        listGrowth_.start();
}

void MainWindow::showArrivedRows() {
    // Always the whole list as it is now; rows only ever join at the end while a check runs.
    if (messageView->rowCount() < messageList().count())
        messageView->setRowCount(messageList().count());
    if (listsAllAccounts())
        updateAccountColumn();
}

void MainWindow::showMarkReason() {
    const MessageEntry* entry = checker_ ? messageList().at(messageView->focusedRow()) : nullptr;
    const QString reason = entry != nullptr ? MessageTableModel::markReasonText(*entry) : QString();
    statusText->setText(reason.isEmpty() ? tr("For Help Press F1") : reason);
}

void MainWindow::forgetSortOrder() {
    sortKey_ = -1;
    sortAscending_ = true;
    syncSortChecks();
}

void MainWindow::sortAgainKeepingView() {
    const MessageEntry* focused = messageList().at(messageView->focusedRow());
    std::vector<const MessageEntry*> selected;
    for (int i = 0; i < messageView->rowCount(); ++i)
        if (messageView->isRowSelected(i))
            selected.push_back(messageList().at(i));
    if (sortKey_ == kSortByAccount)
        sortByAccountNow();
    else
        sortMessages(messageList(), static_cast<SortKey>(sortKey_), sortAscending_);
    messageView->setAllRowsSelected(false);
    for (const MessageEntry* entry : selected)
        messageView->setRowSelected(indexOfEntry(messageList(), entry), true);
    if (focused != nullptr)
        messageView->setFocusedRow(indexOfEntry(messageList(), focused));
    messageView->redrawRows(messageList().count());
}

void MainWindow::showRunNotice() {
    if (runNotice_.isEmpty())
        return;
    statusText->setText(runNotice_);
    runNotice_.clear();
}

void MainWindow::discardList() {
    enterBusy();
    checker_->discardList();
    leaveBusy();
    // A new check lists the mailbox in the server's order.
    forgetSortOrder();
    refreshList();
    setConnectedCommands(false);
    updateCaption();
}

// --- Connection commands ---

void MainWindow::OpenConnection() {
    if (busy() || closePending_ || connected() ||
        (currentAccount() == nullptr && !allAccountsChosen()))
        return;
    // Every password is at hand before the first log-in; the keyring's answer comes back to the
    // check that asked, a background one included.
    if (!passwordReady(automaticCheck_ ? &MainWindow::runAutomaticCheck
                                       : &MainWindow::OpenConnection))
        return;
    // A new check lists the mailbox in the server's order.
    forgetSortOrder();
    enterBusy();
    const checker::RunResult result = checker_->check(operationOptions());
    listGrowth_.stop();
    leaveBusy();

    refreshList();
    showRunNotice();
    minutesSinceCheck_ = 0;
    // What the tray says of the last background check is stale once a check by hand got through.
    if (result.gotThrough && !automaticCheck_)
        automaticProblem_.clear();
    if (closePending_)
        return;
    // Only what is true: a check that failed says nothing of the mailbox's contents, one that
    // ended early says how far it got.
    if (!result.report.empty())
        tellCheckReport(result.report);
    if (!connected())
        return;
    setConnectedCommands(true);
    updateCaption();
    updateGroupCaption();
}

void MainWindow::CloseConnection() {
    closeConnectionOf(nullptr);
}

void MainWindow::closeConnectionOf(const Account* account) {
    if (busy())
        return;
    if (connected()) {
        const int marked = countMarked(messageList());
        // msgBox cannot translate a text it is given whole, so it is translated here.
        const QByteArray question =
            (marked == 1 ? tr("%n message is marked for deletion.\nRemove it from the server now?",
                              nullptr, marked)
                         : tr("%n messages are marked for deletion.\nRemove them from the server "
                              "now?",
                              nullptr, marked))
                .toUtf8();
        if (marked > 0 &&
            msgBox(kMbAskYesNoCancel, kProgramTitle, "%s", question.constData()) == kIdYes)
            removeMarkedStep(account);
    }
    if (connected())
        discardList();
}

void MainWindow::Exit() {
    quitting_ = true;
    // During an operation this is the close request, which asks its cancel question.
    if (!busy())
        CloseConnection();
    close();
}

void MainWindow::removeMarkedStep(const Account* account) {
    if (!connected() || messageList().count() == 0)
        return;
    enterBusy();
    const checker::RunResult result = checker_->removeMarked(operationOptions(), account);
    refreshList();
    leaveBusy();
    if (!result.report.empty() && !closePending_)
        msgBox(kMbInformation, kProgramTitle, "%s", result.report.c_str());
}

void MainWindow::accountChosen() {
    const int row = accountSelector->currentIndex();
    const int count = settings().accounts.count();
    std::int16_t chosen = 0;
    if (row >= 0 && row < count)
        chosen = static_cast<std::int16_t>(row);
    else if (row == count && count > 1)
        chosen = kAllAccountsSelected;
    else
        return;
    if (chosen == settings().selectedAccount)
        return;
    if (busy()) {
        accountSelector->setCurrentIndex(selectorRow());
        return;
    }
    if (connected())
        CloseConnection();
    if (closePending_)
        return;
    settings().selectedAccount = chosen;
    OpenConnection();
}

// --- List commands ---

void MainWindow::ViewMessage() {
    if (busy() || !connected())
        return;
    MessageEntry* entry = messageList().at(messageView->focusedRow());
    if (entry == nullptr || (!listsAllAccounts() && !passwordReady(&MainWindow::ViewMessage)))
        return;
    if (!entry->bodyLoaded || !entry->body) {
        enterBusy();
        const checker::RunResult result = checker_->fetch(*entry, operationOptions());
        leaveBusy();
        if (closePending_)
            return;
        // A message that is gone, or could not be read, is said so; nothing else is shown under
        // the listed headers.
        if (!result.report.empty())
            msgBox(kMbInformation, kProgramTitle, "%s", result.report.c_str());
        if (!entry->body)
            return;
    }
    const ReadableMessage message =
        readableMessage(entry->headerText, entry->body.value_or(std::string()),
                        {settings().bodyLines, entry->bodyCutAt});
    std::string scratch;
    const std::string_view subject = shownText(*entry, ShownField::Subject, scratch);
    QString title = tr("Message");
    if (!subject.empty())
        title += QStringLiteral(" - ") + dialogs::displayLine(subject);
    viewReadable(this, message.text, message.raw, title);
}

void MainWindow::ViewHeaders() {
    if (busy())
        return;
    if (const MessageEntry* entry = messageList().at(messageView->focusedRow()))
        viewReadable(this, decodeHeaderBlock(entry->headerText), replyText(entry->headerText),
                     tr("Message headers"));
}

void MainWindow::PrintHeaders() {
    if (busy() || !connected())
        return;
    // The box names the file's full path either way, so the user knows where
    // to look; only its wording tells whether the file is there.
    std::error_code error;
    std::filesystem::path fullPath = std::filesystem::absolute(headerListingPath_, error);
    const std::string shownPath = error ? headerListingPath_ : fullPath.string();
    if (writeHeaderListing(headerListingPath_, messageList()))
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox", "The headers of the listed messages are in %s."),
               shownPath.c_str());
    else
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox", "Could not write the header listing file %s."),
               shownPath.c_str());
}

void MainWindow::MarkOrUnmark() {
    if (busy())
        return;
    bool anySelected = false;
    const int count = std::min(messageView->rowCount(), messageList().count());
    for (int i = 0; i < count; ++i) {
        if (!messageView->isRowSelected(i))
            continue;
        anySelected = true;
        flipMark(*messageList().at(i));
        messageView->updateRow(i);
    }
    if (anySelected) {
        showMarkReason();
        return;
    }
    int focused = messageView->focusedRow();
    if (MessageEntry* entry = messageList().at(focused)) {
        flipMark(*entry);
        messageView->updateRow(focused);
        showMarkReason();
        return;
    }
    msgBox(kMbInformation, kProgramTitle, QT_TRANSLATE_NOOP("MsgBox", "No message is selected."));
}

void MainWindow::MarkNotAddressed() {
    if (busy())
        return;
    if (listsAllAccounts()) {
        // Each message is measured against its own account's address.
        int marked = 0;
        std::string addresses;
        for (const Account& listed : checker_->listedAccounts()) {
            MessageList own(10, 5); // borrows the entries; the whole list keeps owning them
            for (MessageEntry* entry : messageList())
                if (entry->accountTag == static_cast<std::uint16_t>(listed.accountTag))
                    own.append(entry);
            if (own.count() == 0)
                continue;
            marked += markNotAddressed(own, listed.address);
            addresses += (addresses.empty() ? "" : ", ") + listed.address;
        }
        refreshList();
        if (marked == 0 && !addresses.empty())
            msgBox(kMbInformation, kProgramTitle,
                   QT_TRANSLATE_NOOP("MsgBox", "Every message is addressed to its account: %s."),
                   addresses.c_str());
        return;
    }
    const Account* account = currentAccount();
    if (account == nullptr)
        return;
    int marked = markNotAddressed(messageList(), account->address);
    // Marks are cleared as well as set, so the rows are shown again either way.
    refreshList();
    if (marked == 0)
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox", "Every message is addressed to %s."),
               account->address.c_str());
}

void MainWindow::RemoveMarked() {
    if (busy() || !connected())
        return;
    const int marked = countMarked(messageList());
    if (marked == 0) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox", "No message is marked for deletion."));
        return;
    }
    // A mixed list says whose mailboxes lose them.
    std::map<std::uint16_t, const MessageEntry*> byAccount;
    for (const MessageEntry* entry : messageList())
        if (entry->mark == MarkState::MarkedForDelete)
            byAccount.emplace(entry->accountTag, entry);
    std::optional<Account> own;
    if (listsAllAccounts() && byAccount.size() == 1)
        own = checker_->listedAccountOf(*byAccount.begin()->second);
    const QString address = own ? QString::fromStdString(own->address) : QString();
    QString question;
    if (listsAllAccounts() && byAccount.size() > 1)
        // Only the marked messages of two accounts or more come here.
        question =
            tr("Remove the %n marked messages from the mailboxes of %1 accounts?", nullptr, marked)
                .arg(byAccount.size());
    else if (own)
        question =
            marked == 1
                ? tr("Remove the marked message from the mailbox of %1?").arg(address)
                : tr("Remove the %n marked messages from the mailbox of %1?", nullptr, marked)
                      .arg(address);
    else
        question = marked == 1
                       ? tr("Remove the marked message from the server?")
                       : tr("Remove the %n marked messages from the server?", nullptr, marked);
    if (msgBox(kMbAskYesNoCancel, kProgramTitle, "%s", question.toUtf8().constData()) == kIdYes)
        removeMarkedStep();
}

void MainWindow::SelectGroup() {
    groupCommand(true);
}

void MainWindow::UnselectGroup() {
    groupCommand(false);
}

void MainWindow::groupCommand(bool select) {
    if (busy() || !connected())
        return;
    int focused = messageView->focusedRow();
    std::string pattern = groupPattern_;
    bool confirmed =
        select ? askText(tr("Mark Group"),
                         tr("Mark messages whose sender or subject has (* as a wildcard):"),
                         kGroupHelpContext, pattern, kGroupPatternSize)
               : askText(tr("Unmark Group"),
                         QStringLiteral(
                             "Unmark messages whose sender or subject has (* as a wildcard):"),
                         kGroupHelpContext, pattern, kGroupPatternSize);
    if (confirmed) {
        groupPattern_ = pattern;
        if (markGroup(messageList(), groupPattern_,
                      select ? MarkState::MarkedForDelete : MarkState::Unmarked) > 0)
            refreshList();
    }
    if (focused != -1)
        messageView->goToRow(focused);
}

void MainWindow::ApplyFilters() {
    if (busy() || !connected())
        return;
    applyFilters(messageList(), filters());
    refreshList();
}

void MainWindow::EditFilters() {
    if (busy())
        return;
    if (!editFilters(filters(), tr("Filters"), kFiltersHelpContext, this))
        return;
    if (!checker_->saveFilters())
        msgBox(kMbWarning, kProgramTitle,
               QT_TRANSLATE_NOOP(
                   "MsgBox",
                   "Could not save the filters to %s.\nThey stay in force until the program ends."),
               filtersPath().c_str());
    showFilterLabel();
    ApplyFilters();
}

void MainWindow::Preferences() {
    if (busy())
        return;
    const bool allChosen = allAccountsChosen();
    int result = PreferencesDialog::Execute(settings(), this, passwordNote());
    if (result == kOptionsBodyLinesChanged)
        setBodyLoadedAll(messageList(), false);
    giveAccountsOwnTags(settings().accounts);
    // The dialog's account list moves the selection to the row it edited; "All accounts" stays
    // chosen while there are accounts to mix.
    if (allChosen && settings().accounts.count() > 1)
        settings().selectedAccount = kAllAccountsSelected;
    fillAccountSelector();
    // The list belongs to the account it was read from. When the dialog
    // removed that account, changed its server or made another one current,
    // commands on the list would reach the wrong mailbox: it is closed as an
    // account change closes it, and marked messages are removed, if the
    // user wants, from the mailbox they were listed from.
    if (connected() && listsAllAccounts()) {
        if (!checker_->listedAccountsKept())
            closeConnectionOf(nullptr);
    } else if (connected() && !checker_->isListedAccount(currentAccount())) {
        const Account listed = *checker_->listedAccount();
        closeConnectionOf(&listed);
    }
    // Last, since the keyring may keep the window waiting.
    if (result != kOptionsCancelled)
        saveSettingsFile([this](bool saved) {
            if (!saved)
                msgBox(kMbWarning, kProgramTitle,
                       QT_TRANSLATE_NOOP("MsgBox", "Could not save the settings to %s."),
                       settingsPath().c_str());
        });
}

void MainWindow::Sort(SortKey key) {
    if (!busy() && connected() && messageList().count() > 0) {
        int focused = messageView->focusedRow();
        const MessageEntry* focusedEntry = messageList().at(focused);
        if (static_cast<int>(key) == sortKey_)
            sortAscending_ = !sortAscending_;
        sortKey_ = static_cast<int>(key);
        sortMessages(messageList(), key, sortAscending_);
        refreshList();
        if (focusedEntry != nullptr) {
            int index = indexOfEntry(messageList(), focusedEntry);
            if (index >= 0)
                messageView->goToRow(index);
        }
    }
    syncSortChecks();
}

void MainWindow::syncSortChecks() {
    const std::pair<QAction*, SortKey> items[] = {{sortByToItem, SortKey::ByTo},
                                                  {sortByFromItem, SortKey::ByFrom},
                                                  {sortBySizeItem, SortKey::BySize},
                                                  {sortByDateItem, SortKey::ByDate},
                                                  {sortBySubjectItem, SortKey::BySubject}};
    for (auto [item, key] : items)
        item->setChecked(static_cast<int>(key) == sortKey_);
    const auto* column =
        std::find(std::begin(kColumnKeys), std::end(kColumnKeys), static_cast<SortKey>(sortKey_));
    int sortedColumn =
        column == std::end(kColumnKeys) ? -1 : static_cast<int>(column - std::begin(kColumnKeys));
    if (sortKey_ == kSortByAccount &&
        messageView->columnCount() > MessageTableModel::kAccountColumn)
        sortedColumn = MessageTableModel::kAccountColumn;
    messageView->setSortIndicator(sortedColumn, sortAscending_);
}

// --- View commands ---

void MainWindow::SetViewStyle(ListViewStyle style) {
    messageView->setViewStyle(style);
    largeIconsItem->setChecked(style == ListViewStyle::Icon);
    smallIconsItem->setChecked(style == ListViewStyle::SmallIcon);
    listStyleItem->setChecked(style == ListViewStyle::List);
    detailsItem->setChecked(style == ListViewStyle::Report);
}

void MainWindow::ToggleToolbar() {
    bool show = !toolbarPanel->isVisibleTo(this);
    showToolbarItem->setChecked(show);
    toolbarPanel->setFixedHeight(show ? toolbarHeight_ : 0);
    toolbarPanel->setVisible(show);
}

void MainWindow::ToggleStatusBar() {
    bool show = !statusPanel->isVisibleTo(this);
    showStatusBarItem->setChecked(show);
    statusPanel->setFixedHeight(show ? statusBarHeight_ : 0);
    statusPanel->setVisible(show);
}

// --- Help ---

void MainWindow::HelpIndex() {
    if (hooks_.helpIndex)
        hooks_.helpIndex(this);
}

void MainWindow::OnlineHelp() {
    if (hooks_.onlineHelp)
        hooks_.onlineHelp();
}

void MainWindow::ProgramHomePage() {
    if (hooks_.programHomePage)
        hooks_.programHomePage();
}

void MainWindow::AuthorHomePage() {
    if (hooks_.authorHomePage)
        hooks_.authorHomePage();
}

void MainWindow::About() {
    if (hooks_.about)
        hooks_.about(this);
}

// --- List events ---

void MainWindow::listDoubleClicked() {
    if (refusedDuringAutomaticCheck())
        return;
    MarkOrUnmark();
}

void MainWindow::listColumnClicked(int column) {
    if (column >= 0 && column < static_cast<int>(std::size(kColumnKeys)))
        Sort(kColumnKeys[column]);
    else if (column == MessageTableModel::kAccountColumn)
        SortByAccount();
}

bool MainWindow::listKeyPressed(QKeyEvent* event) {
    const bool keypad = (event->modifiers() & Qt::KeypadModifier) != 0;
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Insert) &&
        refusedDuringAutomaticCheck())
        return true;
    switch (event->key()) {
    case Qt::Key_Delete:
        if (!busy()) {
            MarkOrUnmark();
            RemoveMarked();
        }
        return true;
    case Qt::Key_Insert: {
        if (busy())
            return true;
        int focused = messageView->focusedRow();
        if (MessageEntry* entry = messageList().at(focused)) {
            flipMark(*entry);
            messageView->updateRow(focused);
            if (focused < messageList().count() - 1)
                messageView->goToRow(focused + 1);
            showMarkReason();
        }
        return true;
    }
    case Qt::Key_Home:
    case Qt::Key_End: {
        // The first and the last message, whatever column the cursor is in.
        if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        const int count = messageView->rowCount();
        if (count > 0)
            messageView->goToRow(event->key() == Qt::Key_Home ? 0 : count - 1);
        return true;
    }
    case Qt::Key_Plus:
        if (!keypad)
            return false;
        SelectGroup();
        return true;
    case Qt::Key_Minus:
        if (!keypad)
            return false;
        UnselectGroup();
        return true;
    default:
        return false;
    }
}

} // namespace toppeek::ui
