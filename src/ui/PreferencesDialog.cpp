// The account list names a variable `slots`, which Qt's keyword macro would
// rewrite: the storage header comes before every Qt header.
#include "storage/AccountOptions.h"
#include "storage/AccountTags.h"
#include "storage/KeyringPasswords.h"
#include "storage/ReservedOptions.h"
#include "storage/Settings.h"

#include "ui/PreferencesDialog.h"

#include "core/ListCursor.h"
#include "core/Numbers.h"
#include "core/Text.h"
#include "dialogs/DisplayText.h"
#include "ui/AccountEditor.h"
#include "ui/DialogSupport.h"
#include "ui/HelpContext.h"
#include "ui/UpDownArrows.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <memory>
#include <tuple>

using namespace toppeek::storage;

namespace toppeek::ui {

using core::adjustIndex;

namespace {

// One arrow click's step on a stored value, kept inside what the field holds.
template <class T> T stepped(T value, UpDownButton button) {
    const long long moved = static_cast<long long>(value) + (button == UpDownButton::Up ? 1 : -1);
    return static_cast<T>(
        std::clamp<long long>(moved, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

QString accountRowText(const Account& account) {
    return dialogs::displayText(account.address);
}

} // namespace

std::int16_t countFromText(std::string_view text) {
    return static_cast<std::int16_t>(
        std::clamp<long>(toppeek::core::saturatedNumber(text), 0, kOptionsMaxCount));
}
PreferencesDialog::PreferencesDialog(Settings& settings, QWidget* parent,
                                     const QString& passwordNote)
    : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("FOptions"));
    setWindowTitle(tr("Preferences"));
    setHelpContext(this, kOptionsHelpContext);

    pages = named(new QTabWidget(this), "PageControl1");
    pages->setMinimumSize(317, 205);

    // Accounts
    accountsPage = named(new QWidget(pages), "TabSheet1");
    accountList = named(new QTreeWidget(accountsPage), "LVAcc");
    accountList->setColumnCount(1);
    accountList->setAccessibleName(tr("POP3 Accounts"));
    accountList->setHeaderLabels({tr("POP3 Accounts")});
    accountList->setColumnWidth(0, 189);
    accountList->header()->setSectionsClickable(false);
    accountList->header()->setStretchLastSection(true);
    accountList->setRootIsDecorated(false);
    accountList->setItemsExpandable(false);
    accountList->setUniformRowHeights(true);
    accountList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    accountList->setSelectionMode(QAbstractItemView::SingleSelection);
    accountList->setMinimumSize(193, 161);
    // The selected account stays marked while a button has the focus.
    QPalette palette = accountList->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    accountList->setPalette(palette);
    accountList->viewport()->installEventFilter(this);

    addAccountButton = named(new QPushButton(tr("&Add"), accountsPage), "BAdd");
    editAccountButton = named(new QPushButton(tr("&Edit"), accountsPage), "BEdit");
    deleteAccountButton = named(new QPushButton(tr("&Delete"), accountsPage), "BDelete");
    auto* accountButtons = new QVBoxLayout;
    accountButtons->setSpacing(15);
    for (QPushButton* button : {addAccountButton, editAccountButton, deleteAccountButton}) {
        button->setMinimumSize(65, 25);
        button->setAutoDefault(false);
        accountButtons->addWidget(button);
    }
    accountButtons->addStretch();
    passwordNoteLabel = named(new QLabel(passwordNote, accountsPage), "LBPasswords");
    passwordNoteLabel->setWordWrap(true);
    passwordNoteLabel->setVisible(!passwordNote.isEmpty());
    auto* accountsRow = new QHBoxLayout;
    accountsRow->setSpacing(19);
    accountsRow->addWidget(accountList, 1);
    accountsRow->addLayout(accountButtons);
    auto* accountsLayout = new QVBoxLayout(accountsPage);
    accountsLayout->setContentsMargins(12, 8, 12, 8);
    accountsLayout->addLayout(accountsRow, 1);
    accountsLayout->addWidget(passwordNoteLabel);
    pages->addTab(accountsPage, tr("Accounts"));

    // General
    generalPage = named(new QWidget(pages), "TabSheet2");
    showAboutBox = named(new QCheckBox(tr("Show About box at startup"), generalPage), "CBAbout");
    bodyLinesLabel = named(new QLabel(tr("Lines of message to display:"), generalPage), "Label1");
    bodyLinesEdit = named(new QLineEdit(generalPage), "EdLines");
    bodyLinesArrows = named(new UpDownArrows(generalPage), "UpDownLines");
    bodyLinesArrows->setRange(0, 100);
    bodyLinesArrows->setIncrement(1);
    maxMessagesLabel = named(new QLabel(tr("Max Messages to retrieve:"), generalPage), "Label2");
    maxMessagesEdit = named(new QLineEdit(generalPage), "EdMaxMsg");
    maxMessagesArrows = named(new UpDownArrows(generalPage), "UpDownMaxMsg");
    maxMessagesArrows->setRange(0, 1000);
    maxMessagesArrows->setIncrement(5);
    useApopBox = named(
        new QCheckBox(tr("Use APOP (secure) Authentication when possible"), generalPage), "CBApop");
    checkEveryLabel = named(new QLabel(tr("Check every"), generalPage), "checkEveryLabel");
    checkEveryBox = named(new QSpinBox(generalPage), "checkEveryBox");
    checkEveryBox->setRange(0, kMaxCheckIntervalMinutes);
    checkEveryBox->setSuffix(tr(" minutes"));
    // "1 minute", "5 minutes": the suffix follows the number.
    connect(checkEveryBox, &QSpinBox::valueChanged, checkEveryBox,
            [box = checkEveryBox](int value) {
                box->setSuffix(value == 1 ? tr(" minute") : tr(" minutes"));
            });
    checkEveryBox->setSpecialValueText(tr("never"));
    checkEveryBox->setToolTip(tr("Checks the mailbox in the background; 0 never"));
    checkEveryLabel->setBuddy(checkEveryBox);

    auto* general = new QGridLayout(generalPage);
    general->setContentsMargins(16, 16, 16, 16);
    general->setVerticalSpacing(18);
    general->addWidget(showAboutBox, 0, 0, 1, 2);
    const std::tuple<QLabel*, QLineEdit*, UpDownArrows*> counts[] = {
        {bodyLinesLabel, bodyLinesEdit, bodyLinesArrows},
        {maxMessagesLabel, maxMessagesEdit, maxMessagesArrows}};
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
    general->addWidget(checkEveryLabel, row, 0);
    general->addWidget(checkEveryBox, row, 1, Qt::AlignLeft);
    ++row;
    general->addWidget(useApopBox, row, 0, 1, 2);
    ++row;
    apopFallbackBox =
        named(new QCheckBox(tr("Without APOP, send the password in plain text all the same"),
                            generalPage),
              "CBApopPlainFallback");
    apopFallbackBox->setToolTip(
        tr("Only over a connection without security, when the server offers no APOP. Off, such a "
           "log-in is refused: someone on the way may have taken APOP out to read the password."));
    general->addWidget(apopFallbackBox, row, 0, 1, 2, Qt::AlignLeft);
    general->setRowStretch(row + 1, 1);
    general->setColumnStretch(1, 1);
    pages->addTab(generalPage, tr("General"));
    connect(useApopBox, &QCheckBox::toggled, apopFallbackBox, &QWidget::setEnabled);
    // The interval box is made after the APOP box but stands above it.
    setTabOrder(maxMessagesEdit, checkEveryBox);
    setTabOrder(checkEveryBox, useApopBox);

    // Certificates the user chose to trust
    certificatesPage = named(new QWidget(pages), "TabSheetCertificates");
    certificateList = named(new QTreeWidget(certificatesPage), "LVCertificates");
    certificateList->setAccessibleName(tr("Trusted certificates"));
    certificateList->setColumnCount(3);
    certificateList->setHeaderLabels({tr("Account"), tr("Server"), tr("SHA-256 fingerprint")});
    certificateList->setRootIsDecorated(false);
    certificateList->setItemsExpandable(false);
    certificateList->setSelectionMode(QAbstractItemView::SingleSelection);
    certificateList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    removeCertificateButton =
        named(new QPushButton(tr("&Remove"), certificatesPage), "BRemoveCertificate");
    removeCertificateButton->setAutoDefault(false);
    auto* certificatesNote = new QLabel(
        tr("Certificates that failed the check and that you chose to trust for one server. A "
           "server that presents another certificate is refused again."),
        certificatesPage);
    certificatesNote->setWordWrap(true);
    auto* certificatesLayout = new QVBoxLayout(certificatesPage);
    certificatesLayout->setContentsMargins(12, 8, 12, 8);
    certificatesLayout->addWidget(certificatesNote);
    certificatesLayout->addWidget(certificateList, 1);
    certificatesLayout->addWidget(removeCertificateButton, 0, Qt::AlignRight);
    pages->addTab(certificatesPage, tr("Certificates"));
    connect(removeCertificateButton, &QPushButton::clicked, this,
            &PreferencesDialog::removeCertificateClicked);
    pages->setCurrentWidget(accountsPage);

    const OkCancelRow buttons = okCancelRow(this, tr("&OK"), QSize(89, 25));
    okButton = buttons.ok;
    cancelButton = buttons.cancel;
    QDialogButtonBox* buttonRow = buttons.row;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 7, 10);
    layout->setSpacing(11);
    layout->addWidget(pages);
    layout->addWidget(buttonRow);
    fixToLayoutSize(this, 332, 259);

    connect(addAccountButton, &QPushButton::clicked, this, &PreferencesDialog::addAccountClicked);
    connect(editAccountButton, &QPushButton::clicked, this, &PreferencesDialog::editAccountClicked);
    connect(deleteAccountButton, &QPushButton::clicked, this,
            &PreferencesDialog::deleteAccountClicked);
    connect(bodyLinesArrows, &UpDownArrows::Click, this, &PreferencesDialog::bodyLinesStepped);
    connect(maxMessagesArrows, &UpDownArrows::Click, this, &PreferencesDialog::maxMessagesStepped);

    fillAccountList();
    fillCertificateList();
}

void PreferencesDialog::fillCertificateList() {
    certificateList->clear();
    for (const Account* account : settings_.accounts) {
        const std::optional<mail::TrustedCertificate> trusted =
            trustedCertificate(settings_, *account);
        if (!trusted)
            continue;
        auto* item = new QTreeWidgetItem(certificateList);
        item->setText(0, accountRowText(*account));
        const bool ipv6 = trusted->host.find(':') != std::string::npos;
        item->setText(1, dialogs::displayText((ipv6 ? "[" + trusted->host + "]" : trusted->host) +
                                              ":" + std::to_string(trusted->port)));
        item->setText(2, QString::fromStdString(fingerprintText(trusted->sha256)));
        item->setToolTip(2, QString::fromStdString(fingerprintText(trusted->sha256, 16)));
        item->setData(0, Qt::UserRole, static_cast<int>(account->accountTag));
    }
    certificateList->resizeColumnToContents(0);
    removeCertificateButton->setEnabled(certificateList->topLevelItemCount() > 0);
}

void PreferencesDialog::removeCertificateClicked() {
    QTreeWidgetItem* item = certificateList->currentItem();
    if (item == nullptr)
        item = certificateList->topLevelItem(0);
    if (item == nullptr)
        return;
    const int tag = item->data(0, Qt::UserRole).toInt();
    for (const Account* account : settings_.accounts)
        if (account->accountTag == tag)
            forgetTrustedCertificate(settings_, *account);
    fillCertificateList();
}

int PreferencesDialog::Execute(Settings& settings, QWidget* parent, const QString& passwordNote) {
    // The dialog lives on the heap: a parent that goes away while it is open
    // takes the dialog with it, and the guard then sees it gone.
    QPointer<PreferencesDialog> dialog = new PreferencesDialog(settings, parent, passwordNote);
    const int result = dialog->Execute();
    delete dialog.data();
    return result;
}

int PreferencesDialog::Execute() {
    showGeneral();
    const QPointer<PreferencesDialog> alive(this);
    const bool accepted = exec() == QDialog::Accepted;
    if (alive.isNull())
        return kOptionsCancelled; // destroyed with its parent while open
    return finish(accepted);
}

void PreferencesDialog::fillAccountList() {
    accountList->setSelectionBehavior(QAbstractItemView::SelectRows);
    accountList->clear();
    for (const Account* account : settings_.accounts) {
        auto* item = new QTreeWidgetItem(accountList);
        item->setText(0, accountRowText(*account));
    }
}

void PreferencesDialog::showGeneral() {
    openedBodyLines_ = settings_.bodyLines;
    openedMaxMessages_ = settings_.maxMessages;
    bodyLinesArrows->setPosition(settings_.bodyLines);
    maxMessagesArrows->setPosition(settings_.maxMessages);
    bodyLinesEdit->setText(QString::number(settings_.bodyLines));
    maxMessagesEdit->setText(QString::number(settings_.maxMessages));
    showAboutBox->setChecked(settings_.showAbout != 0);
    useApopBox->setChecked(settings_.useApop != 0);
    apopFallbackBox->setChecked(apopPlainFallback(settings_));
    apopFallbackBox->setEnabled(useApopBox->isChecked());
    checkEveryBox->setValue(checkIntervalMinutes(settings_));
}

int PreferencesDialog::finish(bool accepted) {
    if (!accepted) {
        // The arrows wrote into the record while the dialog was open.
        settings_.bodyLines = openedBodyLines_;
        settings_.maxMessages = openedMaxMessages_;
        return kOptionsCancelled;
    }
    settings_.bodyLines = countFromText(bodyLinesEdit->text().toStdString());
    settings_.showAbout = showAboutBox->isChecked() ? 1 : 0;
    settings_.useApop = useApopBox->isChecked() ? 1 : 0;
    setApopPlainFallback(settings_, apopFallbackBox->isChecked());
    settings_.maxMessages = countFromText(maxMessagesEdit->text().toStdString());
    setCheckIntervalMinutes(settings_, checkEveryBox->value());
    return settings_.bodyLines != openedBodyLines_ ? kOptionsBodyLinesChanged : kOptionsSaved;
}

void PreferencesDialog::takeCurrentRow() {
    const QList<QTreeWidgetItem*> selected = accountList->selectedItems();
    const int row = selected.isEmpty() ? 0 : accountList->indexOfTopLevelItem(selected.first());
    settings_.selectedAccount = static_cast<std::int16_t>(std::max(row, 0));
}

void PreferencesDialog::selectRow(int row) {
    QTreeWidgetItem* item = accountList->topLevelItem(row);
    if (item == nullptr)
        return;
    accountList->setCurrentItem(item);
    accountList->scrollToItem(item);
    accountList->setFocus();
}

bool PreferencesDialog::editAccount(Account& account, const QString& caption, bool& remember) {
    QPointer<AccountEditor> editor = new AccountEditor(this);
    editor->setRememberPassword(remember);
    editor->setSettings(&settings_);
    const bool accepted = editor->Execute(account, caption, kOptionsHelpContext);
    if (accepted)
        remember = editor->rememberPassword();
    delete editor.data();
    return accepted;
}

void PreferencesDialog::addAccountClicked() {
    takeCurrentRow();
    const std::unique_ptr<Account> blank = newAccount();
    bool remember = true;
    if (!editAccount(*blank, AccountEditor::addCaption(), remember))
        return;
    std::unique_ptr<Account> clone = cloneAccount(*blank);
    AccountList& accounts = settings_.accounts;
    // A tag of its own, so that its messages are never taken for another account's.
    if (const std::optional<std::int16_t> tag = freeAccountTag(accounts))
        clone->accountTag = *tag;
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
    // The tag may have been an account's that was deleted, options and all.
    forgetAccountOptions(settings_, added);
    setRemembersPassword(settings_, added, remember);
    auto* item = new QTreeWidgetItem;
    item->setText(0, accountRowText(added));
    accountList->insertTopLevelItem(index, item);
    selectRow(index);
}

void PreferencesDialog::editAccountClicked() {
    takeCurrentRow();
    AccountList& accounts = settings_.accounts;
    const int index = settings_.selectedAccount;
    const Account* current = accounts.at(index);
    if (current == nullptr)
        return;
    const std::unique_ptr<Account> copy = newAccount();
    copyAccount(*copy, *current);
    bool remember = remembersPassword(settings_, *current);
    if (!editAccount(*copy, AccountEditor::editCaption(), remember))
        return;
    setRemembersPassword(settings_, *current, remember);
    std::unique_ptr<Account> clone = cloneAccount(*copy);
    noteAccountEdited(settings_, *current, *clone);
    if (!accounts.replaceAt(index, clone.get()))
        return;
    const Account& edited = *clone.release();
    if (QTreeWidgetItem* item = accountList->topLevelItem(index))
        item->setText(0, accountRowText(edited));
    selectRow(index);
}

void PreferencesDialog::deleteAccountClicked() {
    takeCurrentRow();
    AccountList& accounts = settings_.accounts;
    int index = settings_.selectedAccount;
    Account* account = accounts.at(index);
    if (account == nullptr)
        return;
    accounts.removeAt(index);
    noteAccountRemoved(settings_, *account);
    forgetAccountOptions(settings_, *account);
    freeAccount(account);
    delete accountList->takeTopLevelItem(index);
    fillCertificateList();
    accountList->clearSelection();
    adjustIndex(index, accounts.count(), 2, 0);
    settings_.selectedAccount = static_cast<std::int16_t>(index);
    if (accounts.count() > 0)
        selectRow(index);
}

void PreferencesDialog::accountDoubleClicked() {
    editAccountClicked();
}

void PreferencesDialog::bodyLinesStepped(UpDownButton button) {
    settings_.bodyLines = stepped(settings_.bodyLines, button);
    bodyLinesEdit->setText(QString::number(settings_.bodyLines));
}

void PreferencesDialog::maxMessagesStepped(UpDownButton button) {
    settings_.maxMessages = stepped(settings_.maxMessages, button);
    maxMessagesEdit->setText(QString::number(settings_.maxMessages));
}

bool PreferencesDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == accountList->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // The row under the pointer is the one meant, whatever the first
        // click of the pair did to the selection.
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (QTreeWidgetItem* item = accountList->itemAt(at))
            accountList->setCurrentItem(item);
        accountDoubleClicked();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void PreferencesDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(this);
}

} // namespace toppeek::ui
