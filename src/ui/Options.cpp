// The account list names a variable `slots`, which Qt's keyword macro would
// rewrite: the storage header comes before every Qt header.
#include "storage/KeyringPasswords.h"
#include "storage/Settings.h"

#include "ui/Options.h"

#include "core/ListCursor.h"
#include "mail/Pop3.h"
#include "messages/Address.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "ui/ByteText.h"
#include "ui/UpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>

using toppeek::mail::Security;
using toppeek::operations::kMbInformation;
using toppeek::operations::kProgramTitle;
using toppeek::operations::msgBox;

namespace {

// Longest address text the check looks at; longer input is judged by its start.
constexpr std::size_t kCheckedAddressLength = 254;

template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* dialogButton(QWidget* parent, const char* name, const QString& caption,
                          QStyle::StandardPixmap image) {
    auto* button = named(new QPushButton(caption, parent), name);
    button->setIcon(parent->style()->standardIcon(image, nullptr, button));
    button->setMinimumSize(89, 25);
    return button;
}

// A dialog of fixed size with no resize grip.
void makeFixedDialog(QDialog* dialog, int width, int height) {
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setSizeGripEnabled(false);
    dialog->setMinimumSize(width, height);
    dialog->layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void centreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One arrow click's step on a stored value, kept inside what the field holds.
template <class T> T stepped(T value, UpDownButton button) {
    const long long moved = static_cast<long long>(value) + (button == UpDownButton::Up ? 1 : -1);
    return static_cast<T>(
        std::clamp<long long>(moved, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

QString accountRowText(const Account& account) {
    return textFromBytes(account.address);
}

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
    return QString::number(toppeek::mail::defaultServerPort(security));
}

} // namespace

std::int16_t countFromText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isAsciiSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Saturate early: the digits that follow cannot bring it back down.
        value = std::min<long long>(value * 10 + (text[i] - '0'), kOptionsMaxCount + 1LL);
    }
    if (negative)
        return 0;
    return static_cast<std::int16_t>(std::min<long long>(value, kOptionsMaxCount));
}

bool isSendableCredential(std::string_view text) {
    return text.size() <= toppeek::mail::kCredentialLimit &&
           text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string accountTextFromEdit(const QString& shown, const std::string& original) {
    constexpr std::size_t limit = Account::maxTextLength;
    if (shown == textFromBytes(original))
        return original.substr(0, limit);
    std::string bytes = shown.toUtf8().toStdString();
    if (bytes.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        bytes.resize(cut);
    }
    return bytes;
}

// ---------------------------------------------------------------------------
// TFAEdit

TFAEdit::TFAEdit(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FAEdit"));
    setWindowTitle(QStringLiteral("Account Information"));

    Label1 = named(new QLabel(QStringLiteral("Email Address:"), this), "Label1");
    EdDesc = named(new QLineEdit(this), "EdDesc");
    Label2 = named(new QLabel(QStringLiteral("Host Address:"), this), "Label2");
    EdHost = named(new QLineEdit(this), "EdHost");
    Label5 = named(new QLabel(QStringLiteral("Security:"), this), "Label5");
    CBSecurity = named(new QComboBox(this), "CBSecurity");
    CBSecurity->addItems(
        {QStringLiteral("None"), QStringLiteral("SSL/TLS"), QStringLiteral("STARTTLS")});
    Label6 = named(new QLabel(QStringLiteral("Port:"), this), "Label6");
    EdPort = named(new QLineEdit(this), "EdPort");
    // Digits only as the user types; OK still checks the range, since the
    // box can hold 0, a number beyond 65535 or nothing.
    EdPort->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), EdPort));
    EdPort->setFixedWidth(
        std::max(40, EdPort->fontMetrics().horizontalAdvance(QStringLiteral("655350")) + 8));
    Label3 = named(new QLabel(QStringLiteral("UserName:"), this), "Label3");
    EdUser = named(new QLineEdit(this), "EdUser");
    Label4 = named(new QLabel(QStringLiteral("Password:"), this), "Label4");
    EdPass = named(new QLineEdit(this), "EdPass");
    EdPass->setEchoMode(QLineEdit::Password);
    EdPass->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // '*'
    BOk = dialogButton(this, "BOk", QStringLiteral("&OK"), QStyle::SP_DialogOkButton);
    BCancel =
        dialogButton(this, "BCancel", QStringLiteral("&Cancel"), QStyle::SP_DialogCancelButton);
    BOk->setDefault(true);

    const std::pair<QLabel*, QLineEdit*> rows[] = {
        {Label1, EdDesc}, {Label2, EdHost}, {Label3, EdUser}, {Label4, EdPass}};
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
        if (edit == EdHost) {
            // Security and port belong to the host: one row just below it.
            Label5->setBuddy(CBSecurity);
            Label6->setBuddy(EdPort);
            auto* connection = new QHBoxLayout;
            connection->setSpacing(6);
            connection->addWidget(CBSecurity, 1);
            connection->addSpacing(6);
            connection->addWidget(Label6);
            connection->addWidget(EdPort);
            fields->addWidget(Label5, row, 0, Qt::AlignRight | Qt::AlignVCenter);
            fields->addLayout(connection, row, 1);
            ++row;
        }
    }
    setTabOrder(EdDesc, EdHost);
    setTabOrder(EdHost, CBSecurity);
    setTabOrder(CBSecurity, EdPort);
    setTabOrder(EdPort, EdUser);
    setTabOrder(EdUser, EdPass);
    setTabOrder(EdPass, BOk);
    setTabOrder(BOk, BCancel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BOk);
    buttons->addSpacing(12);
    buttons->addWidget(BCancel);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 10);
    layout->addLayout(fields);
    layout->addSpacing(20);
    layout->addLayout(buttons);
    makeFixedDialog(this, 273, 183);

    connect(BOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(CBSecurity, &QComboBox::currentIndexChanged, this, &TFAEdit::CBSecurityChange);
    connect(EdHost, &QLineEdit::editingFinished, this, &TFAEdit::EdHostExit);
    setProperty("helpContext", helpContext_);

    // A blank account: plain, on the usual port.
    EdPort->setText(defaultPortText(Security::None));
    shownPort_ = EdPort->text();
}

TFAEdit::~TFAEdit() {
    // The host field loses the focus while the dialog's base is torn down,
    // when this part of it is gone already.
    disconnect(EdHost, nullptr, this, nullptr);
    disconnect(CBSecurity, nullptr, this, nullptr);
}

QString TFAEdit::addCaption() {
    return QStringLiteral("Add Account");
}

QString TFAEdit::editCaption() {
    return QStringLiteral("Edit Account");
}

bool TFAEdit::Execute(Account& account, const QString& caption, int helpContext) {
    showAccount(account);
    helpContext_ = helpContext;
    setProperty("helpContext", helpContext_);
    setWindowTitle(caption);
    const QPointer<TFAEdit> alive(this);
    if (exec() != QDialog::Accepted || alive.isNull())
        return false;
    storeAccount(account);
    return true;
}

void TFAEdit::showAccount(const Account& account) {
    address_ = account.address;
    host_ = account.host;
    userName_ = account.userName;
    password_ = account.password;
    EdDesc->setText(textFromBytes(address_));
    EdUser->setText(textFromBytes(userName_));
    EdPass->setText(textFromBytes(password_));
    // A password still in the keyring is not read for the editor: left
    // empty, it stays there.
    EdPass->setPlaceholderText(account.passwordKnown ? QString()
                                                     : QStringLiteral("(kept in the keyring)"));

    // A host text that would not come back the same from its parts is shown
    // whole, as a plain name on the usual port.
    Security security = Security::None;
    int port = toppeek::mail::defaultServerPort(security);
    shownHostName_ = host_;
    if (const auto address = toppeek::mail::parseServerAddress(host_);
        address && toppeek::mail::formatServerAddress(address->security, address->target.name,
                                                      toppeek::mail::serverPort(*address))) {
        security = address->security;
        port = toppeek::mail::serverPort(*address);
        shownHostName_ = address->target.name;
    }
    shownSecurity_ = indexOfSecurity(security);
    portSecurity_ = shownSecurity_;
    {
        const QSignalBlocker quiet(CBSecurity);
        CBSecurity->setCurrentIndex(shownSecurity_);
    }
    EdHost->setText(textFromBytes(shownHostName_));
    EdPort->setText(QString::number(port));
    shownPort_ = EdPort->text();
    hostText_ = host_;
}

void TFAEdit::storeAccount(Account& account) const {
    account.address = accountTextFromEdit(EdDesc->text(), address_);
    account.host = hostText_;
    account.userName = accountTextFromEdit(EdUser->text(), userName_);
    account.password = accountTextFromEdit(EdPass->text(), password_);
}

bool TFAEdit::FormCloseQuery() {
    // The address is judged by what the account would keep, at its full
    // checked length: the stored text is cut shorter still.
    QString shownAddress = EdDesc->text();
    std::string address =
        shownAddress == textFromBytes(address_) ? address_ : shownAddress.toUtf8().toStdString();
    address.resize(std::min(address.size(), kCheckedAddressLength));
    if (address.empty()) {
        msgBox(kMbInformation, kProgramTitle,
               "Please enter the e-mail address of the account. It also names the account in "
               "the list.");
        EdDesc->setFocus();
        return false;
    }
    if (!isValidAccountAddress(address)) {
        msgBox(kMbInformation, kProgramTitle,
               "This is not a valid e-mail address. Please enter a complete address, such as "
               "name@example.com.");
        EdDesc->setFocus();
        EdDesc->selectAll();
        return false;
    }
    if (!composeHost())
        return false;
    // A server never sees a name or password that cannot form one command
    // line, so an account holding one could never log in.
    const std::pair<QLineEdit*, const char*> credentials[] = {{EdUser, "user name"},
                                                              {EdPass, "password"}};
    for (const auto& [edit, what] : credentials) {
        const std::string& original = edit == EdUser ? userName_ : password_;
        if (!isSendableCredential(accountTextFromEdit(edit->text(), original))) {
            msgBox(kMbInformation, kProgramTitle,
                   "The %s cannot be sent to a POP3 server: it must not contain a line break "
                   "and must not be longer than %d characters.",
                   what, static_cast<int>(toppeek::mail::kCredentialLimit));
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    return true;
}

Security TFAEdit::chosenSecurity() const {
    return securityAt(CBSecurity->currentIndex());
}

bool TFAEdit::hostControlsChanged() const {
    return EdHost->text() != textFromBytes(shownHostName_) ||
           CBSecurity->currentIndex() != shownSecurity_ || EdPort->text() != shownPort_;
}

std::string TFAEdit::hostNameBytes() const {
    const QString shown = EdHost->text();
    if (shown == textFromBytes(shownHostName_))
        return shownHostName_;
    return shown.trimmed().toUtf8().toStdString();
}

void TFAEdit::CBSecurityChange() {
    const Security previous = securityAt(portSecurity_);
    portSecurity_ = CBSecurity->currentIndex();
    const QString portText = EdPort->text().trimmed();
    const std::optional<int> port = toppeek::mail::parsePort(portText.toStdString());
    if (portText.isEmpty() || port == toppeek::mail::defaultServerPort(previous))
        EdPort->setText(defaultPortText(chosenSecurity()));
}

void TFAEdit::EdHostExit() {
    // Text that is no host address waits for OK, which says so; a box here
    // would fight the user over the focus.
    takeHostApart();
}

bool TFAEdit::takeHostApart() {
    if (EdHost->text() == textFromBytes(shownHostName_))
        return true; // as the account had it, whatever it holds
    const QString typed = EdHost->text().trimmed();
    if (!typed.contains(QLatin1Char(':')))
        return true;
    const auto address = toppeek::mail::parseServerAddress(typed.toUtf8().toStdString());
    // A name may hold colons only as an IPv6 literal, which the host box shows without its
    // brackets (they go back in when the host text is composed).
    if (!address || (address->target.name.find(':') != std::string::npos &&
                     !toppeek::mail::parseIpv6Literal(address->target.name)))
        return false;
    // A scheme chooses the security, moving a default port along; a port
    // given stays whatever the scheme.
    if (address->security != Security::None)
        CBSecurity->setCurrentIndex(indexOfSecurity(address->security));
    if (address->target.port != 0)
        EdPort->setText(QString::number(address->target.port));
    EdHost->setText(QString::fromStdString(address->target.name));
    return true;
}

bool TFAEdit::composeHost() {
    auto refuse = [](QLineEdit* edit, const char* text) {
        msgBox(kMbInformation, kProgramTitle, "%s", text);
        edit->setFocus();
        edit->selectAll();
        return false;
    };
    constexpr const char* kNotAHost =
        "This host address cannot be used. Please enter the server's name alone, such as "
        "pop.example.com, and choose the security and the port in their own boxes.";
    if (hostControlsChanged() && !takeHostApart())
        return refuse(EdHost, kNotAHost);
    constexpr std::size_t limit = Account::maxTextLength;
    if (!hostControlsChanged()) {
        // Untouched, or typed back to what it was: the account keeps its text.
        hostText_ = host_.substr(0, limit);
        return true;
    }
    const std::optional<int> port =
        toppeek::mail::parsePort(EdPort->text().trimmed().toStdString());
    if (!port) {
        msgBox(kMbInformation, kProgramTitle,
               "The port must be a number from 1 to 65535. Each security choice fills in its "
               "usual port: %d for None and STARTTLS, %d for SSL/TLS.",
               toppeek::mail::defaultServerPort(Security::None),
               toppeek::mail::defaultServerPort(Security::Tls));
        EdPort->setFocus();
        EdPort->selectAll();
        return false;
    }
    const Security security = chosenSecurity();
    const std::string name = hostNameBytes();
    if (security != Security::None && name.empty())
        return refuse(EdHost, "Please enter the host address of the server. A secure "
                              "connection checks the server's certificate against this name.");
    const std::optional<std::string> text =
        toppeek::mail::formatServerAddress(security, name, *port);
    if (!text)
        return refuse(EdHost, kNotAHost);
    if (text->size() > limit) {
        msgBox(kMbInformation, kProgramTitle,
               "The host address is too long: an account keeps at most %d characters of it, "
               "security and port included.",
               static_cast<int>(Account::maxTextLength));
        EdHost->setFocus();
        return false;
    }
    hostText_ = *text;
    return true;
}

void TFAEdit::done(int result) {
    if (result == QDialog::Accepted && !FormCloseQuery())
        return;
    QDialog::done(result);
}

void TFAEdit::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
}

// ---------------------------------------------------------------------------
// TFOptions

TFOptions::TFOptions(Settings& settings, QWidget* parent, const QString& passwordNote)
    : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("FOptions"));
    setWindowTitle(QStringLiteral("Preferences"));
    setProperty("helpContext", kOptionsHelpContext);

    PageControl1 = named(new QTabWidget(this), "PageControl1");
    PageControl1->setMinimumSize(317, 205);

    // Accounts
    TabSheet1 = named(new QWidget(PageControl1), "TabSheet1");
    LVAcc = named(new QTreeWidget(TabSheet1), "LVAcc");
    LVAcc->setColumnCount(1);
    LVAcc->setHeaderLabels({QStringLiteral("POP3 Accounts")});
    LVAcc->setColumnWidth(0, 189);
    LVAcc->header()->setSectionsClickable(false);
    LVAcc->header()->setStretchLastSection(true);
    LVAcc->setRootIsDecorated(false);
    LVAcc->setItemsExpandable(false);
    LVAcc->setUniformRowHeights(true);
    LVAcc->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LVAcc->setSelectionMode(QAbstractItemView::SingleSelection);
    LVAcc->setMinimumSize(193, 161);
    // The selected account stays marked while a button has the focus.
    QPalette palette = LVAcc->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    LVAcc->setPalette(palette);
    LVAcc->viewport()->installEventFilter(this);

    BAdd = named(new QPushButton(QStringLiteral("&Add"), TabSheet1), "BAdd");
    BEdit = named(new QPushButton(QStringLiteral("&Edit"), TabSheet1), "BEdit");
    BDelete = named(new QPushButton(QStringLiteral("&Delete"), TabSheet1), "BDelete");
    auto* accountButtons = new QVBoxLayout;
    accountButtons->setSpacing(15);
    for (QPushButton* button : {BAdd, BEdit, BDelete}) {
        button->setMinimumSize(65, 25);
        button->setAutoDefault(false);
        accountButtons->addWidget(button);
    }
    accountButtons->addStretch();
    LBPasswords = named(new QLabel(passwordNote, TabSheet1), "LBPasswords");
    LBPasswords->setWordWrap(true);
    LBPasswords->setVisible(!passwordNote.isEmpty());
    auto* accountsRow = new QHBoxLayout;
    accountsRow->setSpacing(19);
    accountsRow->addWidget(LVAcc, 1);
    accountsRow->addLayout(accountButtons);
    auto* accountsLayout = new QVBoxLayout(TabSheet1);
    accountsLayout->setContentsMargins(12, 8, 12, 8);
    accountsLayout->addLayout(accountsRow, 1);
    accountsLayout->addWidget(LBPasswords);
    PageControl1->addTab(TabSheet1, QStringLiteral("Accounts"));

    // General
    TabSheet2 = named(new QWidget(PageControl1), "TabSheet2");
    CBAbout =
        named(new QCheckBox(QStringLiteral("Show About box at startup"), TabSheet2), "CBAbout");
    Label1 = named(new QLabel(QStringLiteral("Lines of message to display:"), TabSheet2), "Label1");
    EdLines = named(new QLineEdit(TabSheet2), "EdLines");
    UpDownLines = named(new TUpDown(TabSheet2), "UpDownLines");
    UpDownLines->setRange(0, 100);
    UpDownLines->setIncrement(1);
    Label2 = named(new QLabel(QStringLiteral("Max Messages to retrieve:"), TabSheet2), "Label2");
    EdMaxMsg = named(new QLineEdit(TabSheet2), "EdMaxMsg");
    UpDownMaxMsg = named(new TUpDown(TabSheet2), "UpDownMaxMsg");
    UpDownMaxMsg->setRange(0, 1000);
    UpDownMaxMsg->setIncrement(5);
    CBApop = named(
        new QCheckBox(QStringLiteral("Use APOP (secure) Authentication when possible"), TabSheet2),
        "CBApop");

    auto* general = new QGridLayout(TabSheet2);
    general->setContentsMargins(16, 16, 16, 16);
    general->setVerticalSpacing(18);
    general->addWidget(CBAbout, 0, 0, 1, 2);
    const std::tuple<QLabel*, QLineEdit*, TUpDown*> counts[] = {{Label1, EdLines, UpDownLines},
                                                                {Label2, EdMaxMsg, UpDownMaxMsg}};
    int row = 1;
    for (const auto& [label, edit, arrows] : counts) {
        label->setBuddy(edit);
        // Room for the largest count the dialog stores.
        edit->setFixedWidth(
            std::max(33, edit->fontMetrics().horizontalAdvance(QStringLiteral("327670")) + 8));
        arrows->setFixedSize(17, edit->sizeHint().height());
        auto* box = new QHBoxLayout;
        box->setSpacing(0);
        box->addWidget(edit);
        box->addWidget(arrows);
        box->addStretch();
        general->addWidget(label, row, 0);
        general->addLayout(box, row, 1);
        ++row;
    }
    general->addWidget(CBApop, row, 0, 1, 2);
    general->setRowStretch(row + 1, 1);
    general->setColumnStretch(1, 1);
    PageControl1->addTab(TabSheet2, QStringLiteral("General"));
    PageControl1->setCurrentWidget(TabSheet1);

    BOk = dialogButton(this, "BOk", QStringLiteral("&OK"), QStyle::SP_DialogOkButton);
    BCancel =
        dialogButton(this, "BCancel", QStringLiteral("&Cancel"), QStyle::SP_DialogCancelButton);
    BOk->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BOk);
    buttons->addSpacing(13);
    buttons->addWidget(BCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 7, 10);
    layout->setSpacing(11);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);
    makeFixedDialog(this, 332, 259);

    connect(BOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(BAdd, &QPushButton::clicked, this, &TFOptions::BAddClick);
    connect(BEdit, &QPushButton::clicked, this, &TFOptions::BEditClick);
    connect(BDelete, &QPushButton::clicked, this, &TFOptions::BDeleteClick);
    connect(UpDownLines, &TUpDown::Click, this, &TFOptions::UpDownLinesClick);
    connect(UpDownMaxMsg, &TUpDown::Click, this, &TFOptions::UpDownMaxMsgClick);

    FormCreate();
}

int TFOptions::Execute(Settings& settings, QWidget* parent, const QString& passwordNote) {
    // The dialog lives on the heap: a parent that goes away while it is open
    // takes the dialog with it, and the guard then sees it gone.
    QPointer<TFOptions> dialog = new TFOptions(settings, parent, passwordNote);
    const int result = dialog->Execute();
    delete dialog.data();
    return result;
}

int TFOptions::Execute() {
    showGeneral();
    const QPointer<TFOptions> alive(this);
    const bool accepted = exec() == QDialog::Accepted;
    if (alive.isNull())
        return kOptionsCancelled; // destroyed with its parent while open
    return finish(accepted);
}

void TFOptions::FormCreate() {
    LVAcc->setSelectionBehavior(QAbstractItemView::SelectRows);
    LVAcc->clear();
    for (const Account* account : settings_.accounts) {
        auto* item = new QTreeWidgetItem(LVAcc);
        item->setText(0, accountRowText(*account));
    }
}

void TFOptions::showGeneral() {
    openedBodyLines_ = settings_.bodyLines;
    openedMaxMessages_ = settings_.maxMessages;
    UpDownLines->setPosition(settings_.bodyLines);
    UpDownMaxMsg->setPosition(settings_.maxMessages);
    EdLines->setText(QString::number(settings_.bodyLines));
    EdMaxMsg->setText(QString::number(settings_.maxMessages));
    CBAbout->setChecked(settings_.showAbout != 0);
    CBApop->setChecked(settings_.useApop != 0);
}

int TFOptions::finish(bool accepted) {
    if (!accepted) {
        // The arrows wrote into the record while the dialog was open.
        settings_.bodyLines = openedBodyLines_;
        settings_.maxMessages = openedMaxMessages_;
        return kOptionsCancelled;
    }
    settings_.bodyLines = countFromText(EdLines->text().toStdString());
    settings_.showAbout = CBAbout->isChecked() ? 1 : 0;
    settings_.useApop = CBApop->isChecked() ? 1 : 0;
    settings_.maxMessages = countFromText(EdMaxMsg->text().toStdString());
    return settings_.bodyLines != openedBodyLines_ ? kOptionsBodyLinesChanged : kOptionsSaved;
}

void TFOptions::takeCurrentRow() {
    const QList<QTreeWidgetItem*> selected = LVAcc->selectedItems();
    const int row = selected.isEmpty() ? 0 : LVAcc->indexOfTopLevelItem(selected.first());
    settings_.selectedAccount = static_cast<std::int16_t>(std::max(row, 0));
}

void TFOptions::selectRow(int row) {
    QTreeWidgetItem* item = LVAcc->topLevelItem(row);
    if (item == nullptr)
        return;
    LVAcc->setCurrentItem(item);
    LVAcc->scrollToItem(item);
    LVAcc->setFocus();
}

bool TFOptions::editAccount(Account& account, const QString& caption) {
    QPointer<TFAEdit> editor = new TFAEdit(this);
    const bool accepted = editor->Execute(account, caption, kOptionsHelpContext);
    delete editor.data();
    return accepted;
}

void TFOptions::BAddClick() {
    takeCurrentRow();
    const std::unique_ptr<Account> blank = newAccount();
    if (!editAccount(*blank, TFAEdit::addCaption()))
        return;
    std::unique_ptr<Account> clone = cloneAccount(*blank);
    AccountList& accounts = settings_.accounts;
    int index = 0;
    if (accounts.count() == 0) {
        index = accounts.insertAt(0, clone.get());
    } else {
        index = accounts.insertAt(settings_.selectedAccount + 1, clone.get());
        if (index >= 0)
            settings_.selectedAccount = static_cast<std::int16_t>(index);
    }
    if (index < 0)
        return; // the list is full; the clone is released here
    const Account& added = *clone.release();
    auto* item = new QTreeWidgetItem;
    item->setText(0, accountRowText(added));
    LVAcc->insertTopLevelItem(index, item);
    selectRow(index);
}

void TFOptions::BEditClick() {
    takeCurrentRow();
    AccountList& accounts = settings_.accounts;
    const int index = settings_.selectedAccount;
    const Account* current = accounts.at(index);
    if (current == nullptr)
        return;
    const std::unique_ptr<Account> copy = newAccount();
    copyAccount(*copy, *current);
    if (!editAccount(*copy, TFAEdit::editCaption()))
        return;
    std::unique_ptr<Account> clone = cloneAccount(*copy);
    noteAccountEdited(settings_, *current, *clone);
    if (!accounts.replaceAt(index, clone.get()))
        return;
    const Account& edited = *clone.release();
    if (QTreeWidgetItem* item = LVAcc->topLevelItem(index))
        item->setText(0, accountRowText(edited));
    selectRow(index);
}

void TFOptions::BDeleteClick() {
    takeCurrentRow();
    AccountList& accounts = settings_.accounts;
    int index = settings_.selectedAccount;
    Account* account = accounts.at(index);
    if (account == nullptr)
        return;
    accounts.removeAt(index);
    noteAccountRemoved(settings_, *account);
    freeAccount(account);
    delete LVAcc->takeTopLevelItem(index);
    LVAcc->clearSelection();
    adjustIndex(index, accounts.count(), 2, 0);
    settings_.selectedAccount = static_cast<std::int16_t>(index);
    if (accounts.count() > 0)
        selectRow(index);
}

void TFOptions::LVAccDblClick() {
    BEditClick();
}

void TFOptions::UpDownLinesClick(UpDownButton button) {
    settings_.bodyLines = stepped(settings_.bodyLines, button);
    EdLines->setText(QString::number(settings_.bodyLines));
}

void TFOptions::UpDownMaxMsgClick(UpDownButton button) {
    settings_.maxMessages = stepped(settings_.maxMessages, button);
    EdMaxMsg->setText(QString::number(settings_.maxMessages));
}

bool TFOptions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LVAcc->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // The row under the pointer is the one meant, whatever the first
        // click of the pair did to the selection.
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (QTreeWidgetItem* item = LVAcc->itemAt(at))
            LVAcc->setCurrentItem(item);
        LVAccDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
}
