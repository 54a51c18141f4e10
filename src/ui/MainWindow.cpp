#include "ui/MainWindow.h"

#include "mail/Connection.h"
#include "messages/Filters.h"
#include "messages/MailText.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "dialogs/ProgressDialog.h"
#include "storage/FiltersFile.h"
#include "storage/Settings.h"
#include "ui/ByteText.h"
#include "ui/Efil.h"
#include "ui/MainIcons.h"
#include "ui/Options.h"
#include "ui/ViewMsg.h"

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
#include <cstring>
#include <filesystem>
#include <system_error>

using namespace toppeek::operations;

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

const char* const kNotConnectedCaption = "Not connected";
const char* const kUnknownDateText = "(no date)";

// Columns of the list, in order, and the sort key of each.
constexpr SortKey kColumnKeys[] = {SortKey::ByTo, SortKey::ByFrom, SortKey::BySize, SortKey::ByDate,
                                   SortKey::BySubject};

const char* onOff(std::uint8_t flag) {
    return flag != 0 ? "on" : "off";
}

void flipMark(MessageEntry& entry) {
    entry.mark =
        entry.mark == MarkState::Unmarked ? MarkState::MarkedForDelete : MarkState::Unmarked;
    entry.markReason = entry.mark == MarkState::Unmarked ? "Unmarked by hand" : "Marked by hand";
}

// What a row says about its mark: what set it, or what kept it off.
QString markReasonText(const MessageEntry& entry) {
    if (!entry.markReason.empty())
        return QString::fromStdString(entry.markReason);
    if (entry.mark != MarkState::Unmarked)
        return QStringLiteral("Marked for deletion");
    return {};
}

void copyCell(char* buffer, int size, std::string_view text) {
    if (size <= 0)
        return;
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(size - 1));
    if (length > 0)
        std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

QAction* addItem(QMenu* menu, const char* name, const char* caption,
                 const QKeySequence& shortcut = {}) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
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
    button->setText(QString::fromUtf8(caption));
    button->setToolTip(QString::fromUtf8(hint));
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

TFMain::TFMain(QWidget* parent, ShellHooks hooks)
    : TFMain(settingsFilePath(), filtersFilePath(), parent, std::move(hooks)) {}

TFMain::TFMain(std::string settingsPath, std::string filtersPath, QWidget* parent, ShellHooks hooks)
    : QMainWindow(parent), hooks_(std::move(hooks)), settingsPath_(std::move(settingsPath)),
      filtersPath_(std::move(filtersPath)), headerListingPath_(headerListingPath()) {
    FormCreate();
}

void TFMain::FormCreate() {
    setObjectName(QStringLiteral("FMain"));
    setProperty("helpContext", 1);
    setProperty(kHelpKeyInstalledProperty, true);
    updateCaption();

    settings_ = createDefaultSettings();
    loadSettings(settingsPath_, *settings_);
    // The filters are read at the first activation.
    filters_ = createFilters();

    createControls();
    createMenus();
    buildPopupMenu();
    wireCommands();

    toolbarHeight_ = kPanelHeight;
    statusBarHeight_ = kStatusBarHeight;
    ViewToolbar1->setChecked(true);
    ViewStatusbar1->setChecked(true);

    LVMsg->setViewStyle(TViewStyle::Report);
    LVMsg->setHideSelection(false);
    LVMsg->lvdSetFullRow();
    Details1->setChecked(true);

    showFilterLabel();
    messages_ = createMessageList();
    connected_ = false;
    listGrowth_.setSingleShot(true);
    listGrowth_.setInterval(kListGrowthIntervalMs);
    connect(&listGrowth_, &QTimer::timeout, this, &TFMain::showArrivedRows);
    setConnectedCommands(false);
    updateCaption();
    updateGroupCaption();

    setWindowIcon(programIcon());
    loadColumnWidths();
    resize(std::max(kDesignWidth, widthForColumns()), kDesignHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    if (hooks_.startupUpdateCheck)
        hooks_.startupUpdateCheck(settings_->lastUpdateCheckDay);
}

TFMain::~TFMain() {
    if (hooks_.stopStartupUpdateCheck)
        hooks_.stopStartupUpdateCheck();
    // The list may still be asked to paint while the widgets go; it must
    // not reach the state freed below.
    LVMsg->OnLVFastDisplay = nullptr;
    LVMsg->OnColumnClick = nullptr;
    LVMsg->OnDblClick = nullptr;
    LVMsg->OnKeyDown = nullptr;
    LVMsg->OnContextPopup = nullptr;
    LVMsg->OnToolTip = nullptr;
    LVMsg->OnLVDChange = nullptr;
    LVMsg->lvdClearAll();

    if (hooks_.closeHelp)
        hooks_.closeHelp();
    // Keyring answers still to come would find the window gone.
    keyringSync_.reset();
    passwords_.reset();
    saveSettings(settingsPath_, *settings_);
    saveColumnWidths();
    messages_.reset();
    destroyFilters(std::move(filters_));
    freeSettings(std::move(settings_));
}

void TFMain::createControls() {
    QFont designFont = font();
    designFont.setPixelSize(kFontPixelSize);
    setFont(designFont);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    BB = new QWidget(central);
    BB->setObjectName(QStringLiteral("BB"));
    BB->setFixedHeight(kPanelHeight);
    layout->addWidget(BB);

    ToolBar1 = new QWidget(BB);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setGeometry(0, 0, kToolbarWidth, kPanelHeight);
    int left = 0;
    BConnect = makeButton(ToolBar1, left, "BConnect", "Connect",
                          "Connect to server and get messages", ToolbarIcon::Connect);
    BClose = makeButton(ToolBar1, left, "BClose", "Close", "Close conection", ToolbarIcon::Close);
    BView = makeButton(ToolBar1, left, "BView", "View", "View Email message", ToolbarIcon::View);
    BMark =
        makeButton(ToolBar1, left, "BMark", "Mark", "Mark/Unmark for delete", ToolbarIcon::Mark);
    BRemove = makeButton(ToolBar1, left, "BRemove", "Remove", "Delete marked messages.",
                         ToolbarIcon::Remove);
    BOptions =
        makeButton(ToolBar1, left, "BOptions", "options", "Preferences", ToolbarIcon::Options);

    CBAcc = new QComboBox(BB);
    CBAcc->setObjectName(QStringLiteral("CBAcc"));
    CBAcc->setGeometry(320, 8, 185, CBAcc->sizeHint().height());
    CBAcc->setMaxVisibleItems(7);
    CBAcc->setEditable(false);

    LBFilter = new QLabel(BB);
    LBFilter->setObjectName(QStringLiteral("LBFilter"));
    LBFilter->setTextFormat(Qt::PlainText);
    LBFilter->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    LBFilter->setGeometry(524, 0, 170, kPanelHeight);

    GBMsg = new QGroupBox(central);
    GBMsg->setObjectName(QStringLiteral("GBMsg"));
    layout->addWidget(GBMsg, 1);
    auto* groupLayout = new QVBoxLayout(GBMsg);
    groupLayout->setContentsMargins(4, 4, 4, 4);

    LVMsg = new TListViewData(GBMsg);
    LVMsg->setObjectName(QStringLiteral("LVMsg"));
    groupLayout->addWidget(LVMsg);
    LVMsg->addColumn(QStringLiteral("To:"), 0);
    LVMsg->addColumn(QStringLiteral("From:"), 0);
    LVMsg->addColumn(QStringLiteral("Size"), 0);
    LVMsg->addColumn(QStringLiteral("Date"), 0);
    LVMsg->addColumn(QStringLiteral("Subject"), 0);
    LVMsg->setStretchLastColumn(true);
    applyColumnWidths();
    // Only widths the user sets by dragging are remembered; those the
    // program sets pass by while applyingWidths_ is on.
    connect(LVMsg->headerView(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                if (!applyingWidths_ && column >= 0 && column < kSizedColumns)
                    userColumnWidths_[static_cast<std::size_t>(column)] = width;
            });
    LVMsg->OnToolTip = [this](TListViewData*, int row) {
        const MessageEntry* entry = messages_ ? messages_->at(row) : nullptr;
        return entry != nullptr ? markReasonText(*entry) : QString();
    };
    LVMsg->OnLVDChange = [this](TListViewData*, const LVDChange* change) {
        if (change->changed == LvisFocused)
            showMarkReason();
    };
    LVMsg->setMultiSelect(true);
    LVMsg->setSmallImages(messageImages(TListViewData::kSmallIconSize));
    LVMsg->setLargeImages(messageImages(TListViewData::kLargeIconSize));

    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(kStatusBarHeight);
    StatusBar1->setSizeGripEnabled(false);
    StatusText = new QLabel(QStringLiteral("For Help Press F1"), StatusBar1);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    StatusBar1->addWidget(StatusText, 1);
    setStatusBar(StatusBar1);
}

void TFMain::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    File1 = bar->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    OpenConnection1 = addItem(File1, "OpenConnection1", "&Open Connection", Qt::Key_F2);
    CloseConnection1 = addItem(File1, "CloseConnection1", "&Close Connection", Qt::Key_F9);
    File1->addSeparator();
    // Bound here rather than left to a window manager, so that the key
    // closes the program the same way everywhere.
    Exit1 = addItem(File1, "Exit1", "&Exit", QKeySequence(Qt::ALT | Qt::Key_F4));

    Edit1 = bar->addMenu(QStringLiteral("&Edit"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    ViewEmail1 = addItem(Edit1, "ViewEmail1", "&View Email", Qt::Key_F3);
    ViewHeaders1 =
        addItem(Edit1, "ViewHeaders1", "View &Headers", QKeySequence(Qt::SHIFT | Qt::Key_F3));
    PrintHeaders1 = addItem(Edit1, "PrintHeaders1", "&Print Headers...");
    Edit1->addSeparator();
    MarkUnmarkforDelete1 =
        addItem(Edit1, "MarkUnmarkforDelete1", "&Mark/Unmark for Delete", Qt::Key_F4);
    MarkNoAddressedMessages1 =
        addItem(Edit1, "MarkNoAddressedMessages1", "Mark &No Addressed Messages", Qt::Key_F7);
    RemoveEmail = addItem(Edit1, "RemoveEmail", "&Remove Marked Messages", Qt::Key_F8);
    Edit1->addSeparator();
    SelectGroup1 = addItem(Edit1, "SelectGroup1", "&Select Group");
    UnSelectGroup1 = addItem(Edit1, "UnSelectGroup1", "&Unselect Group");
    Edit1->addSeparator();
    ApplyFilterstoCurrentMessages1 = addItem(Edit1, "ApplyFilterstoCurrentMessages1",
                                             "&Apply Filters to Current Messages", Qt::Key_F5);
    EditFilters1 =
        addItem(Edit1, "EditFilters1", "&Edit Filters", QKeySequence(Qt::SHIFT | Qt::Key_F5));

    Options2 = bar->addMenu(QStringLiteral("&Options"));
    Options2->setObjectName(QStringLiteral("Options2"));
    Options1 = addItem(Options2, "Options1", "&Preferences", QKeySequence(Qt::CTRL | Qt::Key_O));
    Options2->addSeparator();
    LargeIcons1 = addItem(Options2, "LargeIcons1", "&Large Icons");
    SmallIcons1 = addItem(Options2, "SmallIcons1", "&Small Icons");
    List1 = addItem(Options2, "List1", "&List");
    Details1 = addItem(Options2, "Details1", "&Details");
    viewStyleGroup_ = new QActionGroup(this);
    viewStyleGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction* item : {LargeIcons1, SmallIcons1, List1, Details1}) {
        item->setCheckable(true);
        viewStyleGroup_->addAction(item);
    }
    Options2->addSeparator();
    ArrangeIcons1 = Options2->addMenu(QStringLiteral("&Arrange Icons"));
    ArrangeIcons1->setObjectName(QStringLiteral("ArrangeIcons1"));
    ByTo1 = addItem(ArrangeIcons1, "ByTo1", "By &To:");
    ByFrom1 = addItem(ArrangeIcons1, "ByFrom1", "By &From:");
    BySize1 = addItem(ArrangeIcons1, "BySize1", "By &Size");
    ByPosition1 = addItem(ArrangeIcons1, "ByPosition1", "By &Position");
    BySubject1 = addItem(ArrangeIcons1, "BySubject1", "By S&ubject");
    sortGroup_ = new QActionGroup(this);
    sortGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction* item : {ByTo1, ByFrom1, BySize1, ByPosition1, BySubject1}) {
        item->setCheckable(true);
        sortGroup_->addAction(item);
    }
    Options2->addSeparator();
    ViewToolbar1 = addItem(Options2, "ViewToolbar1", "View &Toolbar");
    ViewToolbar1->setCheckable(true);
    ViewStatusbar1 = addItem(Options2, "ViewStatusbar1", "View &Status bar");
    ViewStatusbar1->setCheckable(true);

    Help1 = bar->addMenu(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Index1 = addItem(Help1, "Index1", "&Index", Qt::Key_F1);
    OnlineHelp1 =
        addItem(Help1, "OnlineHelp1", "Online Help...", QKeySequence(Qt::ALT | Qt::Key_F1));
    Help1->addSeparator();
    ProgramHomePage1 = addItem(Help1, "ProgramHomePage1", "&Program home page");
    AuthorHomePage1 = addItem(Help1, "AuthorHomePage1", "&Author home Page");
    Help1->addSeparator();
    About1 = addItem(Help1, "About1", "&About ...", QKeySequence(Qt::CTRL | Qt::Key_A));
}

void TFMain::buildPopupMenu() {
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    Connect1 = addPopupItem(PopupMenu, "Connect1", "&Open Connection", Qt::Key_F2);
    CloseConnection2 = addPopupItem(PopupMenu, "CloseConnection2", "&Close Connection", Qt::Key_F9);
    PopupMenu->addSeparator();
    ViewMessage1 = addPopupItem(PopupMenu, "ViewMessage1", "&View Message", Qt::Key_F3);
    POPViewHeaders = addPopupItem(PopupMenu, "POPViewHeaders", "View &Headers",
                                  QKeySequence(Qt::SHIFT | Qt::Key_F3));
    PopupMenu->addSeparator();
    MarkUnmarkfordelete2 =
        addPopupItem(PopupMenu, "MarkUnmarkfordelete2", "&Mark/Unmark for delete", Qt::Key_F4);
    MarkNoAddressedMessages2 = addPopupItem(PopupMenu, "MarkNoAddressedMessages2",
                                            "Mark &No Addressed Messages", Qt::Key_F7);
    Removemarkedmessages1 =
        addPopupItem(PopupMenu, "Removemarkedmessages1", "&Remove marked messages", Qt::Key_F8);
    PopupMenu->addSeparator();
    SelectGroup2 = addPopupItem(PopupMenu, "SelectGroup2", "&Select Group");
    UnselectGroup2 = addPopupItem(PopupMenu, "UnselectGroup2", "&Unselect Group");
    PopupMenu->addSeparator();
    ApplyFilters1 = addPopupItem(PopupMenu, "ApplyFilters1", "&Apply Filters", Qt::Key_F5);
    EditFilters2 = addPopupItem(PopupMenu, "EditFilters2", "&Edit Filters",
                                QKeySequence(Qt::SHIFT | Qt::Key_F5));
    LVMsg->setPopupMenu(PopupMenu);

    // The group commands mark and unmark by a text; their items say so.
    for (QAction* item : {SelectGroup1, SelectGroup2})
        item->setText(QStringLiteral("Mark &Group by Text..."));
    for (QAction* item : {UnSelectGroup1, UnselectGroup2})
        item->setText(QStringLiteral("&Unmark Group by Text..."));
}

void TFMain::bindCommand(std::initializer_list<QAction*> actions, QToolButton* button,
                         void (TFMain::*command)()) {
    for (QAction* action : actions)
        connect(action, &QAction::triggered, this, [this, command] { (this->*command)(); });
    if (button != nullptr)
        connect(button, &QToolButton::clicked, this, [this, command] { (this->*command)(); });
}

// The one place where items, buttons, keys and list events meet their commands.
void TFMain::wireCommands() {
    bindCommand({OpenConnection1, Connect1}, BConnect, &TFMain::OpenConnection);
    bindCommand({CloseConnection1, CloseConnection2}, BClose, &TFMain::CloseConnection);
    bindCommand({Exit1}, nullptr, &TFMain::Exit);
    bindCommand({ViewEmail1, ViewMessage1}, BView, &TFMain::ViewMessage);
    bindCommand({ViewHeaders1, POPViewHeaders}, nullptr, &TFMain::ViewHeaders);
    bindCommand({PrintHeaders1}, nullptr, &TFMain::PrintHeaders);
    bindCommand({MarkUnmarkforDelete1, MarkUnmarkfordelete2}, BMark, &TFMain::MarkOrUnmark);
    bindCommand({MarkNoAddressedMessages1, MarkNoAddressedMessages2}, nullptr,
                &TFMain::MarkNotAddressed);
    bindCommand({RemoveEmail, Removemarkedmessages1}, BRemove, &TFMain::RemoveMarked);
    bindCommand({SelectGroup1, SelectGroup2}, nullptr, &TFMain::SelectGroup);
    bindCommand({UnSelectGroup1, UnselectGroup2}, nullptr, &TFMain::UnselectGroup);
    bindCommand({ApplyFilterstoCurrentMessages1, ApplyFilters1}, nullptr, &TFMain::ApplyFilters);
    bindCommand({EditFilters1, EditFilters2}, nullptr, &TFMain::EditFilters);
    bindCommand({Options1}, BOptions, &TFMain::Preferences);
    bindCommand({ViewToolbar1}, nullptr, &TFMain::ToggleToolbar);
    bindCommand({ViewStatusbar1}, nullptr, &TFMain::ToggleStatusBar);
    bindCommand({Index1}, nullptr, &TFMain::HelpIndex);
    bindCommand({OnlineHelp1}, nullptr, &TFMain::OnlineHelp);
    bindCommand({ProgramHomePage1}, nullptr, &TFMain::ProgramHomePage);
    bindCommand({AuthorHomePage1}, nullptr, &TFMain::AuthorHomePage);
    bindCommand({About1}, nullptr, &TFMain::About);

    const std::pair<QAction*, TViewStyle> styles[] = {{LargeIcons1, TViewStyle::Icon},
                                                      {SmallIcons1, TViewStyle::SmallIcon},
                                                      {List1, TViewStyle::List},
                                                      {Details1, TViewStyle::Report}};
    for (auto [item, style] : styles)
        connect(item, &QAction::triggered, this, [this, style] { SetViewStyle(style); });

    const std::pair<QAction*, SortKey> sorts[] = {{ByTo1, SortKey::ByTo},
                                                  {ByFrom1, SortKey::ByFrom},
                                                  {BySize1, SortKey::BySize},
                                                  {ByPosition1, SortKey::ByDate},
                                                  {BySubject1, SortKey::BySubject}};
    for (auto [item, key] : sorts)
        connect(item, &QAction::triggered, this, [this, key] { Sort(key); });

    connect(CBAcc, &QComboBox::activated, this, [this] { CBAccChange(); });

    LVMsg->OnLVFastDisplay = [this](TListViewData* sender, int nmask, char* sztext, int maxtext,
                                    int xcol, int index, int* indeximage) {
        LVMsgLVFastDisplay(sender, nmask, sztext, maxtext, xcol, index, indeximage);
    };
    LVMsg->OnColumnClick = [this](TListViewData*, int column) { LVMsgColumnClick(column); };
    LVMsg->OnDblClick = [this](TListViewData*) { LVMsgDblClick(); };
    LVMsg->OnKeyDown = [this](TListViewData*, QKeyEvent* event) { return LVMsgKeyDown(event); };
    // No pop-up menu while an operation runs: its commands would be refused anyway.
    LVMsg->OnContextPopup = [this](TListViewData*, QPoint, bool& handled) { handled = busy(); };
}

// --- Window events ---

void TFMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // Once the window is up and the event loop runs, so that a dialog
        // opened by the first activation has its owner on screen.
        QTimer::singleShot(0, this, &TFMain::FormActivate);
    }
}

void TFMain::FormActivate() {
    // Loading the filters would free rules that a running check evaluates;
    // leaving the busy state comes back here.
    if (!firstActivation_ || busy())
        return;
    // Cleared first: the dialogs below activate the window again.
    firstActivation_ = false;
    if (settings_->accounts.count() == 0)
        Preferences();
    fillAccountSelector();
    loadFilters(*filters_, filtersPath_);
    showFilterLabel();
    if (settings_->showAbout != 0)
        About();
}

bool TFMain::eventFilter(QObject* watched, QEvent* event) {
    return QMainWindow::eventFilter(watched, event);
}

// --- Columns ---

int TFMain::fittingColumnWidth(int column) const {
    const QFontMetrics metrics(LVMsg->font());
    // A cell's text sits inside the style's focus frame margins on both sides, plus a pixel each
    // for the grid; the first column also holds the mark icon.
    const int padding =
        2 * (LVMsg->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, LVMsg) + 1) + 6;
    const char* sample = column == 2 ? kSizeSample : column == 3 ? kDateSample : kAddressSample;
    int width = std::max(metrics.horizontalAdvance(QString::fromLatin1(sample)),
                         metrics.horizontalAdvance(LVMsg->columnCaption(column)) + 16);
    if (column == 0)
        width += TListViewData::kSmallIconSize + 4;
    return width + padding;
}

void TFMain::applyColumnWidths() {
    applyingWidths_ = true;
    for (int column = 0; column < kSizedColumns; ++column) {
        const int chosen = userColumnWidths_[static_cast<std::size_t>(column)];
        LVMsg->setColumnWidth(column, chosen > 0 ? chosen : fittingColumnWidth(column));
    }
    applyingWidths_ = false;
}

int TFMain::widthForColumns() const {
    int width = QFontMetrics(LVMsg->font()).averageCharWidth() * kMinSubjectChars;
    for (int column = 0; column < kSizedColumns; ++column)
        width += LVMsg->columnWidth(column);
    // The list's frame, the group box around it and the vertical scroll bar.
    return width + 2 * LVMsg->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 16 +
           LVMsg->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

QString TFMain::viewStatePath() const {
    std::filesystem::path path(settingsPath_);
    path.replace_filename(path.stem().string() + kViewStateSuffix);
    return QString::fromStdString(path.string());
}

void TFMain::loadColumnWidths() {
    const QSettings state(viewStatePath(), QSettings::IniFormat);
    const QStringList widths = state.value(QStringLiteral("Columns/widths")).toStringList();
    for (int column = 0; column < kSizedColumns && column < widths.size(); ++column) {
        bool ok = false;
        const int width = widths[column].toInt(&ok);
        // A width no screen would show is a damaged file's, not the user's.
        userColumnWidths_[static_cast<std::size_t>(column)] =
            ok && width > 0 && width < 10000 ? width : 0;
    }
    applyColumnWidths();
}

void TFMain::saveColumnWidths() const {
    const bool anySet = std::any_of(userColumnWidths_.begin(), userColumnWidths_.end(),
                                    [](int width) { return width > 0; });
    if (!anySet)
        return;
    QSettings state(viewStatePath(), QSettings::IniFormat);
    QStringList widths;
    for (int width : userColumnWidths_)
        widths << QString::number(width);
    state.setValue(QStringLiteral("Columns/widths"), widths);
    state.sync();
}

void TFMain::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TFMain::FormCloseQuery() {
    if (waitingForKeyring() && closePending_) {
        // Asked twice while the keyring keeps the window waiting: leave it
        // be. What it has not taken stays in the settings file.
        keyringSync_.reset();
        passwords_.reset();
        keyringState_ = KeyringState::Unusable;
        closePending_ = false;
        while (waitingForKeyring())
            leaveKeyringWait();
    }
    if (busy()) {
        // The operation's stack lies below this call: the window must stay
        // until it has returned. Ask its cancel question; once the cancel
        // is accepted the window closes right after the operation.
        if (!closePending_) {
            ProgressDialog* dialog = currentProgressDialog();
            if (dialog != nullptr && dialog->running())
                dialog->cancelClicked();
            if (dialog == nullptr || !dialog->running())
                closePending_ = true;
        }
        return false;
    }
    if (connected_) {
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
    return true;
}

void TFMain::closeAfterOperation() {
    if (!closePending_ || busy())
        return;
    closePending_ = false;
    quietClose_ = true;
    close();
    quietClose_ = false;
}

void TFMain::keyPressEvent(QKeyEvent* event) {
    if (LVMsgKeyDown(event))
        event->accept();
    else
        QMainWindow::keyPressEvent(event);
}

// --- State ---

bool TFMain::busy() const {
    return busyDepth_ > 0 || progressBusy();
}

const Account* TFMain::currentAccount() const {
    return settings_->accounts.at(settings_->selectedAccount);
}

void TFMain::enterBusy() {
    ++busyDepth_;
    for (QMenu* menu : {File1, Edit1, Options2})
        menu->menuAction()->setEnabled(false);
    CBAcc->setEnabled(false);
    BB->setEnabled(false);
}

void TFMain::leaveBusy() {
    if (--busyDepth_ > 0)
        return;
    for (QMenu* menu : {File1, Edit1, Options2})
        menu->menuAction()->setEnabled(true);
    CBAcc->setEnabled(true);
    BB->setEnabled(true);
    // Work that waited for the operation runs once the command that ran it
    // has finished.
    if (closePending_)
        QTimer::singleShot(0, this, &TFMain::closeAfterOperation);
    if (firstActivation_ && shown_)
        QTimer::singleShot(0, this, &TFMain::FormActivate);
}

void TFMain::setConnectedCommands(bool connected) {
    for (QAction* item :
         {CloseConnection1, CloseConnection2, ViewEmail1, ViewMessage1, ViewHeaders1,
          POPViewHeaders, PrintHeaders1, MarkUnmarkforDelete1, MarkUnmarkfordelete2,
          MarkNoAddressedMessages1, MarkNoAddressedMessages2, RemoveEmail, Removemarkedmessages1,
          SelectGroup1, SelectGroup2, UnSelectGroup1, UnselectGroup2,
          ApplyFilterstoCurrentMessages1, ApplyFilters1})
        item->setEnabled(connected);
    for (QToolButton* button : {BClose, BView, BMark, BRemove})
        button->setEnabled(connected);
    OpenConnection1->setEnabled(!connected);
    Connect1->setEnabled(!connected);
    BConnect->setEnabled(!connected);
}

void TFMain::updateCaption() {
    QString where = QString::fromLatin1(kNotConnectedCaption);
    if (connected_ && settings_)
        if (const Account* account = currentAccount())
            where = textFromBytes(account->host);
    setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromLatin1(kProgramTitle), where));
}

void TFMain::updateGroupCaption() {
    if (!connected_) {
        GBMsg->setTitle(QString());
        return;
    }
    long bytes = static_cast<long>(settings_->mailboxBytes);
    char total[64];
    if (bytes < 1024)
        std::snprintf(total, sizeof total, "%ld bytes", bytes);
    else
        std::snprintf(total, sizeof total, "%ld.%ld Kb", bytes / 1024,
                      ((bytes % 1024) * 10) / 1024);
    if (meantToList_ > messages_->count())
        GBMsg->setTitle(QStringLiteral("Messages: %1 of %2 (%3)")
                            .arg(messages_->count())
                            .arg(meantToList_)
                            .arg(QString::fromLatin1(total)));
    else
        GBMsg->setTitle(QStringLiteral("Messages: %1 (%2)")
                            .arg(messages_->count())
                            .arg(QString::fromLatin1(total)));
}

void TFMain::showFilterLabel() {
    char text[128];
    std::snprintf(text, sizeof text,
                  "Friendly domains: %s\nBanned domains: %s\nRejection rules: %s",
                  onOff(filters_->friendlyEnabled), onOff(filters_->bannedEnabled),
                  onOff(filters_->rulesEnabled));
    LBFilter->setText(QString::fromLatin1(text));
}

void TFMain::fillAccountSelector() {
    CBAcc->clear();
    const AccountList& accounts = settings_->accounts;
    for (const Account* account : accounts)
        CBAcc->addItem(textFromBytes(account->address));
    if (accounts.count() > 0) {
        int selected = std::clamp<int>(settings_->selectedAccount, 0, accounts.count() - 1);
        settings_->selectedAccount = static_cast<std::int16_t>(selected);
        CBAcc->setCurrentIndex(selected);
    }
}

void TFMain::refreshList() {
    int count = messages_->count();
    int focused = LVMsg->lvdIndexFocused();
    LVMsg->lvdSetCount(count);
    if (count > 0)
        LVMsg->lvdRedraw(count);
    else
        LVMsg->lvdClearAll();
    if (focused != -1 && count > 0)
        LVMsg->lvdGoto(std::clamp(focused, 0, count - 1));
    updateGroupCaption();
    showFilterLabel();
    showMarkReason();
}

void TFMain::showArrivedRows() {
    // Always the whole list as it is now; rows only ever join at the end while a check runs.
    if (LVMsg->lvdGetCount() < messages_->count())
        LVMsg->lvdSetCount(messages_->count());
}

void TFMain::showMarkReason() {
    const MessageEntry* entry = messages_ ? messages_->at(LVMsg->lvdIndexFocused()) : nullptr;
    const QString reason = entry != nullptr ? markReasonText(*entry) : QString();
    StatusText->setText(reason.isEmpty() ? QStringLiteral("For Help Press F1") : reason);
}

void TFMain::discardList() {
    enterBusy();
    messages_->clear();
    connected_ = false;
    listedAccount_.reset();
    meantToList_ = -1;
    leaveBusy();
    refreshList();
    setConnectedCommands(false);
    updateCaption();
}

// --- Connection commands ---

void TFMain::OpenConnection() {
    if (busy() || closePending_)
        return;
    const Account* current = currentAccount();
    if (current == nullptr || connected_ || !passwordReady(&TFMain::OpenConnection))
        return;
    // A copy: the operation must not depend on the account list while the
    // window answers events.
    const Account account = *current;
    messages_->clear();
    refreshList();

    enterBusy();
    const OperationOutcome outcome = checkMailbox(
        account, *settings_, *filters_, *messages_,
        [this](int) {
            if (!listGrowth_.isActive())
                listGrowth_.start();
        },
        operationOptions_);
    listGrowth_.stop();
    leaveBusy();

    refreshList();
    if (closePending_)
        return;
    // Only what is true: a check that failed says nothing of the mailbox's contents, one that
    // ended early says how far it got.
    if (std::string report = checkReport(outcome, account.address); !report.empty())
        msgBox(kMbInformation, kProgramTitle, "%s", report.c_str());
    if (messages_->count() == 0)
        return;
    setConnectedCommands(true);
    connected_ = true;
    listedAccount_ = account;
    meantToList_ = outcome.listed < outcome.toList ? outcome.toList : -1;
    updateCaption();
    updateGroupCaption();
}

void TFMain::CloseConnection() {
    closeConnectionOf(nullptr);
}

void TFMain::closeConnectionOf(const Account* account) {
    if (busy())
        return;
    if (connected_) {
        int marked = countMarked(*messages_);
        if (marked > 0 &&
            msgBox(kMbAskYesNoCancel, kProgramTitle,
                   "%d messages are marked for deletion.\nRemove them from the server now?",
                   marked) == kIdYes)
            removeMarkedStep(account);
    }
    if (connected_)
        discardList();
}

void TFMain::Exit() {
    // During an operation this is the close request, which asks its cancel question.
    if (!busy())
        CloseConnection();
    close();
}

void TFMain::removeMarkedStep(const Account* account) {
    const Account* current = account != nullptr ? account : currentAccount();
    if (current == nullptr || !connected_ || messages_->count() == 0)
        return;
    Account target = *current;
    // The list was read with this password; the keyring need not be asked again.
    if (!target.passwordKnown && isListedAccount(&target))
        target.password = listedAccount_->password;
    const int listedBefore = messages_->count();
    enterBusy();
    const OperationOutcome outcome = removeMarkedMessages(
        target, *settings_, *messages_, [this](int index) { LVMsg->lvdRemove(index); },
        operationOptions_);
    // The messages a partial list leaves out are still left out.
    if (meantToList_ >= 0)
        meantToList_ -= listedBefore - messages_->count();
    refreshList();
    leaveBusy();
    if (std::string report = removalReport(outcome); !report.empty() && !closePending_)
        msgBox(kMbInformation, kProgramTitle, "%s", report.c_str());
}

void TFMain::CBAccChange() {
    int row = CBAcc->currentIndex();
    if (row < 0 || row >= settings_->accounts.count() || row == settings_->selectedAccount)
        return;
    if (busy()) {
        CBAcc->setCurrentIndex(settings_->selectedAccount);
        return;
    }
    if (connected_)
        CloseConnection();
    if (closePending_)
        return;
    settings_->selectedAccount = static_cast<std::int16_t>(row);
    OpenConnection();
}

// --- List commands ---

void TFMain::ViewMessage() {
    if (busy())
        return;
    const Account* current = currentAccount();
    int focused = LVMsg->lvdIndexFocused();
    MessageEntry* entry = messages_->at(focused);
    if (current == nullptr || !connected_ || entry == nullptr ||
        !passwordReady(&TFMain::ViewMessage))
        return;
    const Account account = *current;
    // A text fetched with another number of lines is fetched again.
    if (!entry->bodyLoaded && entry->body)
        entry->body.reset();
    if (!entry->body) {
        enterBusy();
        const OperationOutcome outcome =
            fetchMessageText(account, *settings_, *entry, operationOptions_);
        leaveBusy();
        if (closePending_)
            return;
        // A message that is gone, or could not be read, is said so; nothing else is shown under
        // the listed headers.
        if (std::string report = fetchReport(outcome); !report.empty())
            msgBox(kMbInformation, kProgramTitle, "%s", report.c_str());
        if (!entry->body)
            return;
    }
    const ReadableMessage message =
        readableMessage(entry->headerText, entry->body.value_or(std::string()));
    std::string scratch;
    const std::string_view subject = shownText(*entry, ShownField::Subject, scratch);
    QString title = QStringLiteral("Message");
    if (!subject.empty())
        title += QStringLiteral(" - ") + QString::fromUtf8(subject.data(), subject.size());
    viewReadable(this, message.text, message.raw, title);
}

void TFMain::ViewHeaders() {
    if (busy())
        return;
    if (const MessageEntry* entry = messages_->at(LVMsg->lvdIndexFocused()))
        viewReadable(this, decodeHeaderBlock(entry->headerText), replyText(entry->headerText),
                     QStringLiteral("Message headers"));
}

void TFMain::PrintHeaders() {
    if (busy() || !connected_)
        return;
    // The box names the file's full path either way, so the user knows where
    // to look; only its wording tells whether the file is there.
    std::error_code error;
    std::filesystem::path fullPath = std::filesystem::absolute(headerListingPath_, error);
    const std::string shownPath = error ? headerListingPath_ : fullPath.string();
    if (writeHeaderListing(headerListingPath_, *messages_))
        msgBox(kMbInformation, kProgramTitle, "The headers of the listed messages are in %s.",
               shownPath.c_str());
    else
        msgBox(kMbInformation, kProgramTitle, "Could not write the header listing file %s.",
               shownPath.c_str());
}

void TFMain::MarkOrUnmark() {
    if (busy())
        return;
    bool anySelected = false;
    const int count = std::min(LVMsg->lvdGetCount(), messages_->count());
    for (int i = 0; i < count; ++i) {
        if (LVMsg->lvdItemSelected(i) == 0)
            continue;
        anySelected = true;
        flipMark(*messages_->at(i));
        LVMsg->lvdUpdate(i);
    }
    if (anySelected) {
        showMarkReason();
        return;
    }
    int focused = LVMsg->lvdIndexFocused();
    if (MessageEntry* entry = messages_->at(focused)) {
        flipMark(*entry);
        LVMsg->lvdUpdate(focused);
        showMarkReason();
        return;
    }
    msgBox(kMbInformation, kProgramTitle, "No message is selected.");
}

void TFMain::MarkNotAddressed() {
    if (busy())
        return;
    const Account* account = currentAccount();
    if (account == nullptr)
        return;
    int marked = markNotAddressed(*messages_, account->address);
    // Marks are cleared as well as set, so the rows are shown again either way.
    refreshList();
    if (marked == 0)
        msgBox(kMbInformation, kProgramTitle, "Every message is addressed to %s.",
               account->address.c_str());
}

void TFMain::RemoveMarked() {
    if (busy() || !connected_)
        return;
    int marked = countMarked(*messages_);
    if (marked == 0) {
        msgBox(kMbInformation, kProgramTitle, "No message is marked for deletion.");
        return;
    }
    if (msgBox(kMbAskYesNoCancel, kProgramTitle, "Remove the %d marked messages from the server?",
               marked) == kIdYes)
        removeMarkedStep();
}

void TFMain::SelectGroup() {
    groupCommand(true);
}

void TFMain::UnselectGroup() {
    groupCommand(false);
}

void TFMain::groupCommand(bool select) {
    if (busy() || !connected_)
        return;
    int focused = LVMsg->lvdIndexFocused();
    std::string pattern = groupPattern_;
    bool confirmed =
        select ? askText(
                     QStringLiteral("Mark Group"),
                     QStringLiteral("Mark messages whose sender or subject has (* as a wildcard):"),
                     kGroupHelpContext, pattern, kGroupPatternSize)
               : askText(QStringLiteral("Unmark Group"),
                         QStringLiteral(
                             "Unmark messages whose sender or subject has (* as a wildcard):"),
                         kGroupHelpContext, pattern, kGroupPatternSize);
    if (confirmed) {
        groupPattern_ = pattern;
        if (markGroup(*messages_, groupPattern_,
                      select ? MarkState::MarkedForDelete : MarkState::Unmarked) > 0)
            refreshList();
    }
    if (focused != -1)
        LVMsg->lvdGoto(focused);
}

void TFMain::ApplyFilters() {
    if (busy() || !connected_)
        return;
    applyFilters(*messages_, *filters_);
    refreshList();
}

void TFMain::EditFilters() {
    if (busy())
        return;
    if (!editFilters(*filters_, QStringLiteral("Filters"), kFiltersHelpContext, this))
        return;
    if (!saveFilters(*filters_, filtersPath_))
        msgBox(kMbWarning, kProgramTitle,
               "Could not save the filters to %s.\nThey stay in force until the program ends.",
               filtersPath_.c_str());
    showFilterLabel();
    ApplyFilters();
}

void TFMain::Preferences() {
    if (busy())
        return;
    int result = TFOptions::Execute(*settings_, this, passwordNote());
    if (result == kOptionsBodyLinesChanged)
        setBodyLoadedAll(*messages_, false);
    fillAccountSelector();
    // The list belongs to the account it was read from. When the dialog
    // removed that account, changed its server or made another one current,
    // commands on the list would reach the wrong mailbox: it is closed as an
    // account change closes it, and marked messages are removed, if the
    // user wants, from the mailbox they were listed from.
    if (connected_ && !isListedAccount(currentAccount())) {
        const Account listed = *listedAccount_;
        closeConnectionOf(&listed);
    }
    // Last, since the keyring may keep the window waiting.
    if (result != kOptionsCancelled)
        saveSettingsFile([this](bool saved) {
            if (!saved)
                msgBox(kMbWarning, kProgramTitle, "Could not save the settings to %s.",
                       settingsPath_.c_str());
        });
}

bool TFMain::isListedAccount(const Account* account) const {
    return account != nullptr && listedAccount_ && account->address == listedAccount_->address &&
           account->host == listedAccount_->host && account->userName == listedAccount_->userName;
}

void TFMain::Sort(SortKey key) {
    if (!busy() && connected_ && messages_->count() > 0) {
        int focused = LVMsg->lvdIndexFocused();
        const MessageEntry* focusedEntry = messages_->at(focused);
        if (static_cast<int>(key) == sortKey_)
            sortAscending_ = !sortAscending_;
        sortKey_ = static_cast<int>(key);
        sortMessages(*messages_, key, sortAscending_);
        refreshList();
        if (focusedEntry != nullptr) {
            int index = indexOfEntry(*messages_, focusedEntry);
            if (index >= 0)
                LVMsg->lvdGoto(index);
        }
    }
    syncSortChecks();
}

void TFMain::syncSortChecks() {
    const std::pair<QAction*, SortKey> items[] = {{ByTo1, SortKey::ByTo},
                                                  {ByFrom1, SortKey::ByFrom},
                                                  {BySize1, SortKey::BySize},
                                                  {ByPosition1, SortKey::ByDate},
                                                  {BySubject1, SortKey::BySubject}};
    for (auto [item, key] : items)
        item->setChecked(static_cast<int>(key) == sortKey_);
    const auto* column =
        std::find(std::begin(kColumnKeys), std::end(kColumnKeys), static_cast<SortKey>(sortKey_));
    LVMsg->setSortIndicator(
        column == std::end(kColumnKeys) ? -1 : static_cast<int>(column - std::begin(kColumnKeys)),
        sortAscending_);
}

// --- View commands ---

void TFMain::SetViewStyle(TViewStyle style) {
    LVMsg->setViewStyle(style);
    LargeIcons1->setChecked(style == TViewStyle::Icon);
    SmallIcons1->setChecked(style == TViewStyle::SmallIcon);
    List1->setChecked(style == TViewStyle::List);
    Details1->setChecked(style == TViewStyle::Report);
}

void TFMain::ToggleToolbar() {
    bool show = !BB->isVisibleTo(this);
    ViewToolbar1->setChecked(show);
    BB->setFixedHeight(show ? toolbarHeight_ : 0);
    BB->setVisible(show);
}

void TFMain::ToggleStatusBar() {
    bool show = !StatusBar1->isVisibleTo(this);
    ViewStatusbar1->setChecked(show);
    StatusBar1->setFixedHeight(show ? statusBarHeight_ : 0);
    StatusBar1->setVisible(show);
}

// --- Help ---

void TFMain::HelpIndex() {
    if (hooks_.helpIndex)
        hooks_.helpIndex(this);
}

void TFMain::OnlineHelp() {
    if (hooks_.onlineHelp)
        hooks_.onlineHelp();
}

void TFMain::ProgramHomePage() {
    if (hooks_.programHomePage)
        hooks_.programHomePage();
}

void TFMain::AuthorHomePage() {
    if (hooks_.authorHomePage)
        hooks_.authorHomePage();
}

void TFMain::About() {
    if (hooks_.about)
        hooks_.about(this);
}

// --- List events ---

void TFMain::LVMsgDblClick() {
    MarkOrUnmark();
}

void TFMain::LVMsgColumnClick(int column) {
    if (column >= 0 && column < static_cast<int>(std::size(kColumnKeys)))
        Sort(kColumnKeys[column]);
}

bool TFMain::LVMsgKeyDown(QKeyEvent* event) {
    const bool keypad = (event->modifiers() & Qt::KeypadModifier) != 0;
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
        int focused = LVMsg->lvdIndexFocused();
        if (MessageEntry* entry = messages_->at(focused)) {
            flipMark(*entry);
            LVMsg->lvdUpdate(focused);
            if (focused < messages_->count() - 1)
                LVMsg->lvdGoto(focused + 1);
            showMarkReason();
        }
        return true;
    }
    case Qt::Key_Home:
    case Qt::Key_End: {
        // The first and the last message, whatever column the cursor is in.
        if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        const int count = LVMsg->lvdGetCount();
        if (count > 0)
            LVMsg->lvdGoto(event->key() == Qt::Key_Home ? 0 : count - 1);
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

std::string TFMain::sizeText(long size) {
    char text[64];
    if (size < 1024)
        std::snprintf(text, sizeof text, "%ld b", size);
    else
        std::snprintf(text, sizeof text, "%ld.%ld Kb", size / 1024, ((size % 1024) * 10) / 1024);
    return text;
}

std::string TFMain::dateText(const MailDate& date) {
    if (date.month < 1 || date.month > 12)
        return kUnknownDateText;
    char text[80];
    std::snprintf(text, sizeof text, "%d %s %d - %d:%d:%d", date.day, MonthNames[date.month - 1],
                  date.year, date.hour, date.minute, date.second);
    return text;
}

void TFMain::LVMsgLVFastDisplay(TListViewData* /*Sender*/, int nmask, char* sztext, int maxtext,
                                int xcol, int index, int* indeximage) {
    const MessageEntry* entry = messages_ ? messages_->at(index) : nullptr;
    if (entry == nullptr)
        return;
    if ((nmask & LvifText) != 0) {
        std::string scratch;
        switch (xcol) {
        case 0:
            copyCell(sztext, maxtext, shownText(*entry, ShownField::To, scratch));
            break;
        case 1:
            copyCell(sztext, maxtext, shownText(*entry, ShownField::From, scratch));
            break;
        case 2:
            copyCell(sztext, maxtext, sizeText(entry->size));
            break;
        case 3:
            copyCell(sztext, maxtext, dateText(entry->date));
            break;
        case 4:
            copyCell(sztext, maxtext, shownText(*entry, ShownField::Subject, scratch));
            break;
        default:
            break;
        }
    }
    if (xcol == 0 && (nmask & LvifImage) != 0)
        *indeximage = entry->mark != MarkState::Unmarked ? 1 : 0;
}
