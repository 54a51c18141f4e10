// The account list names a variable `slots`: storage before any Qt header.
#include "mail/Pop3.h"
#include "storage/AccountOptions.h"
#include "storage/Settings.h"

#include "support/ScriptedMessageBoxes.h"
#include "ui/AccountEditor.h"
#include "ui/HelpContext.h"
#include "ui/PreferencesDialog.h"
#include "ui/UpDownArrows.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace toppeek::ui;
using namespace toppeek::storage;

namespace {

// While it lives, runs action once on the next modal dialog of type T as
// soon as that is open. That dialog, still open a while later, is rejected,
// so that a test that goes wrong fails instead of hanging.
template <class T> class WhenModal {
public:
    explicit WhenModal(std::function<void(T&)> action) : action_(std::move(action)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(10);
    }

private:
    void poll() {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        if (!acted_) {
            acted_ = true;
            handled_ = dialog;
            clock_.start();
            action_(*dialog);
        } else if (dialog == handled_ && clock_.elapsed() > 5000) {
            dialog->reject();
        }
    }

    std::function<void(T&)> action_;
    QTimer timer_;
    QElapsedTimer clock_;
    QPointer<T> handled_;
    bool acted_ = false;
};

// Fills the editor and presses OK.
std::function<void(AccountEditor&)> enter(const QString& address, const QString& host = {}) {
    return [=](AccountEditor& editor) {
        editor.addressEdit->setText(address);
        editor.hostEdit->setText(host);
        editor.okButton->click();
    };
}

void addAccount(Settings& settings, const std::string& address) {
    std::unique_ptr<Account> account = newAccount();
    account->address = address;
    account->host = "pop." + address.substr(address.find('@') + 1);
    settings.accounts.append(account.release());
}

std::unique_ptr<Settings> settingsWith(std::initializer_list<std::string> addresses) {
    auto settings = createDefaultSettings();
    for (const std::string& address : addresses)
        addAccount(*settings, address);
    return settings;
}

std::vector<std::string> addresses(const Settings& settings) {
    std::vector<std::string> all;
    for (const Account* account : settings.accounts)
        all.push_back(account->address);
    return all;
}

QStringList rows(const PreferencesDialog& dialog) {
    QStringList all;
    for (int i = 0; i < dialog.accountList->topLevelItemCount(); ++i)
        all << dialog.accountList->topLevelItem(i)->text(0);
    return all;
}

int selectedRow(const PreferencesDialog& dialog) {
    const QList<QTreeWidgetItem*> selected = dialog.accountList->selectedItems();
    return selected.isEmpty() ? -1 : dialog.accountList->indexOfTopLevelItem(selected.first());
}

} // namespace

class PreferencesDialogTest : public QObject {
    Q_OBJECT

private slots:
    void countsAreClampedNotWrapped_data();
    void countsAreClampedNotWrapped();
    void storedTextsAreCut();
    void noSelectionMeansTheFirstAccount();
    void addingToAnEmptyList();
    void deletingMovesTheSelection();
    void cancelKeepsAccountsChangedMeanwhile();
    void editorRefusesToClose_data();
    void editorRefusesToClose();
    void editorClosesAtTheLimits();
    void editorCancelChangesNothing();
    void dialogsCarryTheirHelpTopicAndAnswerTheKeys();
    void longAddressJudgedByItsStart();
    void arrowsStepTheStoredValue();
    void executeResults();
    void hostControlsShowTheHostText_data();
    void hostControlsShowTheHostText();
    void securityMovesOnlyADefaultPort();
    void savingComposesTheHostText_data();
    void savingComposesTheHostText();
    void typedSchemeMovesIntoTheControls();
    void editorRefusesABadHost_data();
    void editorRefusesABadHost();
    void unusableHostTextIsNeverRewritten();
    void aNewAccountIsSecuredAndPlainTextIsSaidAloud();
    void securityChoicesAreKeptWithTheirAccount();
};

void PreferencesDialogTest::countsAreClampedNotWrapped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("space, sign, trailing text") << " \t+12x" << 12;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("largest") << "32767" << 32767;
    QTest::newRow("beyond 16 bits") << "40000" << 32767;
    QTest::newRow("beyond 64 bits") << "123456789012345678901234567890" << 32767;
}

void PreferencesDialogTest::countsAreClampedNotWrapped() {
    QFETCH(QString, text);
    QFETCH(int, count);
    QCOMPARE(countFromText(text.toStdString()), count);
}

void PreferencesDialogTest::storedTextsAreCut() {
    QCOMPARE(accountTextFromEdit(QString(300, QLatin1Char('p')), ""), std::string(199, 'p'));
    // A typed two-byte character straddling the limit is left out whole.
    const QString straddling = QString(198, QLatin1Char('a')) + QStringLiteral("ü");
    QCOMPARE(accountTextFromEdit(straddling, ""), std::string(198, 'a'));
    // Bytes shown as Latin-1 survive a visit to the editor unchanged.
    const std::string latin1 = "M\xfcller";
    QCOMPARE(accountTextFromEdit(QStringLiteral("Müller"), latin1), latin1);
    QCOMPARE(accountTextFromEdit(QStringLiteral("Müllerin"), latin1), "M\xc3\xbcllerin");
}

// With no row selected the buttons work on the first account, and a new
// account goes in behind it.
void PreferencesDialogTest::noSelectionMeansTheFirstAccount() {
    auto settings = settingsWith({"ann@example.com", "bob@example.org"});
    settings->selectedAccount = 1;
    PreferencesDialog dialog(*settings);
    dialog.show();
    QCOMPARE(selectedRow(dialog), -1);

    QString shownForEdit;
    const WhenModal<AccountEditor> edit([&](AccountEditor& editor) {
        shownForEdit = editor.addressEdit->text();
        enter(QStringLiteral("anne@example.com"), QStringLiteral("mail.example.com:995"))(editor);
    });
    dialog.editAccountClicked();
    QCOMPARE(shownForEdit, QStringLiteral("ann@example.com"));
    QCOMPARE(addresses(*settings),
             (std::vector<std::string>{"anne@example.com", "bob@example.org"}));
    QCOMPARE(settings->accounts.at(0)->host, "mail.example.com:995");
    QCOMPARE(selectedRow(dialog), 0);

    dialog.accountList->clearSelection();
    const WhenModal<AccountEditor> add(enter(QStringLiteral("cy@example.net")));
    dialog.addAccountClicked();
    QCOMPARE(addresses(*settings),
             (std::vector<std::string>{"anne@example.com", "cy@example.net", "bob@example.org"}));
    QCOMPARE(settings->selectedAccount, 1);
    QCOMPARE(rows(dialog), (QStringList{"anne@example.com", "cy@example.net", "bob@example.org"}));
    QCOMPARE(selectedRow(dialog), 1);

    dialog.accountList->clearSelection();
    dialog.deleteAccountClicked();
    QCOMPARE(addresses(*settings), (std::vector<std::string>{"cy@example.net", "bob@example.org"}));

    // A double click edits the row clicked.
    QString shownForDoubleClick;
    const WhenModal<AccountEditor> doubleClick([&](AccountEditor& editor) {
        shownForDoubleClick = editor.addressEdit->text();
        editor.cancelButton->click();
    });
    const QRect second = dialog.accountList->visualItemRect(dialog.accountList->topLevelItem(1));
    QTest::mouseDClick(dialog.accountList->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(shownForDoubleClick, QStringLiteral("bob@example.org"));
}

void PreferencesDialogTest::addingToAnEmptyList() {
    auto settings = settingsWith({});
    PreferencesDialog dialog(*settings);
    dialog.show();
    dialog.editAccountClicked(); // nothing to edit: no editor opens
    const WhenModal<AccountEditor> add(enter(QStringLiteral("first@example.com")));
    dialog.addAccountClicked();
    QCOMPARE(addresses(*settings), std::vector<std::string>{"first@example.com"});
    QCOMPARE(settings->selectedAccount, 0);
    QCOMPARE(rows(dialog), QStringList{"first@example.com"});
    QCOMPARE(selectedRow(dialog), 0);
}

void PreferencesDialogTest::deletingMovesTheSelection() {
    auto settings = settingsWith({"a@x.org", "b@x.org", "c@x.org"});
    PreferencesDialog dialog(*settings);
    dialog.show();
    dialog.accountList->setCurrentItem(dialog.accountList->topLevelItem(2));
    dialog.deleteAccountClicked();
    QCOMPARE(addresses(*settings), (std::vector<std::string>{"a@x.org", "b@x.org"}));
    QCOMPARE(settings->selectedAccount, 1);
    QCOMPARE(selectedRow(dialog), 1);

    dialog.deleteAccountClicked();
    dialog.deleteAccountClicked();
    QCOMPARE(settings->accounts.count(), 0);
    QCOMPARE(settings->selectedAccount, 0);
    QCOMPARE(dialog.accountList->topLevelItemCount(), 0);
    QCOMPARE(selectedRow(dialog), -1);
    dialog.deleteAccountClicked(); // on an empty list: nothing
}

void PreferencesDialogTest::cancelKeepsAccountsChangedMeanwhile() {
    auto settings = settingsWith({"a@x.org", "b@x.org"});
    const WhenModal<PreferencesDialog> drive([](PreferencesDialog& dialog) {
        dialog.deleteAccountClicked();
        dialog.cancelButton->click();
    });
    QCOMPARE(PreferencesDialog::Execute(*settings, nullptr), kOptionsCancelled);
    QCOMPARE(addresses(*settings), std::vector<std::string>{"b@x.org"});
}

void PreferencesDialogTest::editorRefusesToClose_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    const QString valid = QStringLiteral("user@example.com");
    QTest::newRow("empty address") << QString() << QString() << QString();
    QTest::newRow("domain without a dot") << "user@localhost" << QString() << QString();
    QTest::newRow("space in address") << "a b@example.com" << QString() << QString();
    QTest::newRow("line feed in user name") << valid << "us\ner" << QString();
    QTest::newRow("user name too long") << valid << QString(113, QLatin1Char('u')) << QString();
    QTest::newRow("carriage return in password") << valid << QString() << "pa\rss";
}

void PreferencesDialogTest::editorRefusesToClose() {
    QFETCH(QString, address);
    QFETCH(QString, user);
    QFETCH(QString, password);
    toppeek::test::ScriptedMessageBoxes boxes;
    AccountEditor editor;
    editor.show();
    editor.addressEdit->setText(address);
    editor.userNameEdit->setText(user);
    editor.passwordEdit->setText(password);
    editor.okButton->click();
    QVERIFY(editor.isVisible());
    QCOMPARE(boxes.shown().size(), 1u);
    QCOMPARE(boxes.shown()[0].flags, 0x40u);
    QCOMPARE(boxes.shown()[0].title, "TopPeek");
}

// Empty host, credentials at the command line's limit.
void PreferencesDialogTest::editorClosesAtTheLimits() {
    QVERIFY(!toppeek::mail::isSendableCredential(std::string("us\0er", 5)));
    toppeek::test::ScriptedMessageBoxes boxes;
    AccountEditor editor;
    editor.show();
    editor.addressEdit->setText(QStringLiteral("user@example.com"));
    editor.userNameEdit->setText(QString(112, QLatin1Char('u')));
    editor.passwordEdit->setText(QString(112, QLatin1Char('p')));
    editor.okButton->click();
    QVERIFY(!editor.isVisible());
    QCOMPARE(editor.result(), int(QDialog::Accepted));
    QVERIFY(boxes.shown().empty());
}

// Cancel asks nothing, even with an address that OK would refuse.
void PreferencesDialogTest::editorCancelChangesNothing() {
    toppeek::test::ScriptedMessageBoxes boxes;
    std::unique_ptr<Account> account = newAccount();
    account->address = "keep@example.com";
    account->password = "old";
    AccountEditor editor;
    QString maskedPassword;
    const WhenModal<AccountEditor> drive([&](AccountEditor& shown) {
        maskedPassword = shown.passwordEdit->displayText();
        shown.addressEdit->setText(QStringLiteral("other@localhost"));
        shown.passwordEdit->setText(QStringLiteral("new"));
        shown.cancelButton->click();
    });
    QVERIFY(!editor.Execute(*account, QStringLiteral("Caption"), 1301));
    QCOMPARE(maskedPassword, QStringLiteral("***"));
    QVERIFY(boxes.shown().empty());
    QCOMPARE(account->address, "keep@example.com");
    QCOMPARE(account->password, "old");
    QCOMPARE(editor.windowTitle(), QStringLiteral("Caption"));
}

// The help key finds each dialog's topic, and Enter and Esc reach OK and Cancel through the
// dialogs' button rows.
void PreferencesDialogTest::dialogsCarryTheirHelpTopicAndAnswerTheKeys() {
    toppeek::test::ScriptedMessageBoxes boxes;
    std::unique_ptr<Settings> settings = settingsWith({});
    PreferencesDialog preferences(*settings);
    QCOMPARE(helpContext(&preferences), kOptionsHelpContext);

    std::unique_ptr<Account> account = newAccount();
    AccountEditor editor;
    QCOMPARE(helpContext(&editor), kOptionsHelpContext);
    int shownContext = 0;
    {
        const WhenModal<AccountEditor> drive([&](AccountEditor& shown) {
            shownContext = helpContext(&shown);
            shown.addressEdit->setText(QStringLiteral("user@example.com"));
            shown.addressEdit->setFocus();
            QTest::keyClick(shown.addressEdit, Qt::Key_Return);
        });
        QVERIFY(editor.Execute(*account, AccountEditor::addCaption(), 77));
    }
    QCOMPARE(shownContext, 77);
    QCOMPARE(editor.helpContext(), 77);
    QCOMPARE(account->address, "user@example.com");

    const WhenModal<AccountEditor> escape([](AccountEditor& shown) {
        shown.addressEdit->setText(QStringLiteral("other@example.com"));
        QTest::keyClick(&shown, Qt::Key_Escape);
    });
    QVERIFY(!editor.Execute(*account, AccountEditor::editCaption(), 77));
    QCOMPARE(account->address, "user@example.com");
    QVERIFY(boxes.shown().empty());
}

// 300 characters: the first 254 form a valid address, but neither all of
// them (spaces at the end) nor the first 199 (a label ending in '-') would.
void PreferencesDialogTest::longAddressJudgedByItsStart() {
    toppeek::test::ScriptedMessageBoxes boxes;
    const std::string start = "user@example." + std::string(185, 'c') + "-" + std::string(55, 'd');
    QCOMPARE(start.size(), 254u);
    const std::string typed = start + std::string(46, ' ');
    std::unique_ptr<Account> account = newAccount();
    AccountEditor editor;
    const WhenModal<AccountEditor> drive([&](AccountEditor& shown) {
        shown.addressEdit->setText(QString::fromStdString(typed));
        shown.okButton->click();
    });
    QVERIFY(editor.Execute(*account, AccountEditor::addCaption(), 1301));
    QVERIFY(boxes.shown().empty());
    QCOMPARE(account->address, start.substr(0, 199));
}

void PreferencesDialogTest::arrowsStepTheStoredValue() {
    auto settings = settingsWith({});
    settings->maxMessages = 100;
    settings->bodyLines = 100;
    const WhenModal<PreferencesDialog> drive([&](PreferencesDialog& dialog) {
        QSignalSpy reported(dialog.maxMessagesArrows, &UpDownArrows::Click);
        for (int i = 0; i < 21; ++i)
            dialog.maxMessagesArrows->click(UpDownButton::Down);
        QCOMPARE(dialog.maxMessagesArrows->position(), 0);
        QCOMPARE(settings->maxMessages, 80);
        QCOMPARE(dialog.maxMessagesEdit->text(), QStringLiteral("80"));
        QCOMPARE(reported.count(), 20);
        for (int i = 0; i < 200; ++i)
            dialog.maxMessagesArrows->click(UpDownButton::Up);
        QCOMPARE(dialog.maxMessagesArrows->position(), 1000);
        QCOMPARE(settings->maxMessages, 280);

        QVERIFY(!dialog.bodyLinesArrows->click(UpDownButton::Up)); // already at its top
        QCOMPARE(settings->bodyLines, 100);
        // A typed number gives way to the stored value at the next click,
        // here through the real arrow button.
        dialog.bodyLinesEdit->setText(QStringLiteral("7"));
        QTest::mouseClick(dialog.bodyLinesArrows->downButton(), Qt::LeftButton);
        QCOMPARE(settings->bodyLines, 99);
        QCOMPARE(dialog.bodyLinesEdit->text(), QStringLiteral("99"));
        dialog.cancelButton->click();
    });
    QCOMPARE(PreferencesDialog::Execute(*settings, nullptr), kOptionsCancelled);
    // Cancel puts back what the arrows changed.
    QCOMPARE(settings->maxMessages, 100);
    QCOMPARE(settings->bodyLines, 100);
}

void PreferencesDialogTest::executeResults() {
    auto settings = settingsWith({"a@x.org"});
    settings->bodyLines = 0;
    settings->useApop = 1;
    QString shownLines;
    bool shownApop = false;
    {
        const WhenModal<PreferencesDialog> drive([&](PreferencesDialog& dialog) {
            shownLines = dialog.bodyLinesEdit->text();
            shownApop = dialog.useApopBox->isChecked();
            dialog.bodyLinesEdit->setText(QStringLiteral("20"));
            dialog.okButton->click();
        });
        QCOMPARE(PreferencesDialog::Execute(*settings, nullptr), kOptionsBodyLinesChanged);
    }
    QCOMPARE(shownLines, QStringLiteral("0"));
    QVERIFY(shownApop);
    QCOMPARE(settings->bodyLines, 20);
    {
        const WhenModal<PreferencesDialog> drive([](PreferencesDialog& dialog) {
            dialog.showAboutBox->setChecked(true);
            dialog.useApopBox->setChecked(false);
            dialog.maxMessagesEdit->setText(QStringLiteral("abc"));
            dialog.okButton->click();
        });
        QCOMPARE(PreferencesDialog::Execute(*settings, nullptr), kOptionsSaved);
    }
    QCOMPARE(settings->showAbout, 1);
    QCOMPARE(settings->useApop, 0);
    QCOMPARE(settings->maxMessages, 0);
    {
        // An arrow click, then OK: the box decides, and the result compares
        // with the value the dialog opened with.
        const WhenModal<PreferencesDialog> drive([](PreferencesDialog& dialog) {
            dialog.bodyLinesArrows->click(UpDownButton::Down);
            dialog.bodyLinesEdit->setText(QStringLiteral("40000"));
            dialog.okButton->click();
        });
        QCOMPARE(PreferencesDialog::Execute(*settings, nullptr), kOptionsBodyLinesChanged);
    }
    QCOMPARE(settings->bodyLines, 32767);
}

namespace {

// The host controls as the editor showed them.
struct HostControls {
    QString name;
    QString security;
    QString port;
};

HostControls hostControls(const AccountEditor& editor) {
    return {editor.hostEdit->text(), editor.securityBox->currentText(), editor.portEdit->text()};
}

// The control that Tab moves to from widget.
QWidget* nextTabStop(QWidget* widget) {
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && (next->focusPolicy() & Qt::TabFocus) == 0)
        next = next->nextInFocusChain();
    return next;
}

QString orNull(const char* text) {
    return text == nullptr ? QString() : QString::fromUtf8(text);
}

std::unique_ptr<Account> accountWithHost(const std::string& host) {
    std::unique_ptr<Account> account = newAccount();
    account->address = "user@example.com";
    account->host = host;
    return account;
}

} // namespace

// Each form of host text fills the three controls, and OK with them left
// alone keeps the text byte for byte, even where putting the parts together
// again would write it differently (or could not write it at all).
void PreferencesDialogTest::hostControlsShowTheHostText_data() {
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("port");
    const struct {
        const char* tag;
        const char* host;
        const char* name;
        const char* security;
        const char* port;
    } rows[] = {
        {"plain", "mail.example.org", "mail.example.org", "None", "110"},
        {"plain, own port", "mail.example.org:2110", "mail.example.org", "None", "2110"},
        {"plain, default port written", "mail.example.org:0110", "mail.example.org", "None", "110"},
        {"no host", "", "", "SSL/TLS", "995"},
        {"Latin-1 name", "m\xe4il.example.org:2110", "mäil.example.org", "None", "2110"},
        {"TLS", "pop3s://mail.example.org", "mail.example.org", "SSL/TLS", "995"},
        {"TLS, capitals, own port", "POP3S://Mail.Example.org:1995", "Mail.Example.org", "SSL/TLS",
         "1995"},
        {"STARTTLS", "pop3+stls://10.0.0.1", "10.0.0.1", "STARTTLS", "110"},
        {"STARTTLS, own port", "pop3+stls://10.0.0.1:1110", "10.0.0.1", "STARTTLS", "1110"},
        {"unknown scheme", "imaps://mail.example.org", "imaps://mail.example.org", "None", "110"},
        {"port not a number", "mail.example.org:pop", "mail.example.org:pop", "None", "110"},
        {"IPv6 literal", "::1", "::1", "None", "110"},
        {"IPv6 in brackets, STARTTLS", "pop3+stls://[::1]", "::1", "STARTTLS", "110"},
        {"IPv6 in brackets, own port", "[2001:db8::1]:1110", "2001:db8::1", "None", "1110"},
    };
    for (const auto& row : rows)
        QTest::newRow(row.tag) << QByteArray(row.host) << QString::fromUtf8(row.name)
                               << QString::fromUtf8(row.security) << QString::fromUtf8(row.port);
}

void PreferencesDialogTest::hostControlsShowTheHostText() {
    QFETCH(QByteArray, host);
    QFETCH(QString, name);
    QFETCH(QString, security);
    QFETCH(QString, port);
    const std::string bytes = host.toStdString();
    toppeek::test::ScriptedMessageBoxes boxes;
    std::unique_ptr<Account> account = accountWithHost(bytes);
    account->userName = "old";
    AccountEditor editor;
    HostControls shown;
    const WhenModal<AccountEditor> drive([&](AccountEditor& open) {
        shown = hostControls(open);
        open.userNameEdit->setText(QStringLiteral("new")); // another field may change
        open.okButton->click();
    });
    QVERIFY(editor.Execute(*account, AccountEditor::editCaption(), 1301));
    QCOMPARE(shown.name, name);
    QCOMPARE(shown.security, security);
    QCOMPARE(shown.port, port);
    QVERIFY(boxes.shown().empty());
    QCOMPARE(account->host, bytes);
    QCOMPARE(account->userName, "new");
}

void PreferencesDialogTest::securityMovesOnlyADefaultPort() {
    std::unique_ptr<Account> account = accountWithHost("mail.example.org");
    AccountEditor editor;
    QStringList ports;
    const WhenModal<AccountEditor> drive([&](AccountEditor& open) {
        QCOMPARE(open.securityBox->count(), 3);
        QCOMPARE(open.securityBox->itemText(0), QStringLiteral("None"));
        QCOMPARE(open.securityBox->itemText(1), QStringLiteral("SSL/TLS"));
        QCOMPARE(open.securityBox->itemText(2), QStringLiteral("STARTTLS"));
        // The security row sits between the host and the user name.
        QCOMPARE(nextTabStop(open.hostEdit), open.securityBox);
        QCOMPARE(nextTabStop(open.securityBox), open.portEdit);
        QCOMPARE(nextTabStop(open.portEdit), open.userNameEdit);

        auto choose = [&](int index) {
            open.securityBox->setCurrentIndex(index);
            ports << open.portEdit->text();
        };
        choose(1);                                      // 110 was None's default
        choose(2);                                      // 995 was SSL/TLS's default
        open.portEdit->setText(QStringLiteral("2110")); // the user's own port
        choose(1);
        choose(0);
        open.portEdit->clear(); // an empty box takes the default
        choose(1);
        open.okButton->click();
    });
    QVERIFY(editor.Execute(*account, AccountEditor::editCaption(), 1301));
    QCOMPARE(ports, (QStringList{"995", "110", "2110", "2110", "995"}));
    QCOMPARE(account->host, "pop3s://mail.example.org");
}

// What OK writes after the host, the security or the port was changed.
void PreferencesDialogTest::savingComposesTheHostText_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("security");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("stored");
    const char* plain = "mail.example.org";
    const char* tls = "pop3s://mail.example.org";
    const struct {
        const char* tag;
        const char* host;
        const char* typed;
        int security;
        const char* port;
        const char* stored;
    } rows[] = {
        {"to SSL/TLS", plain, nullptr, 1, nullptr, "pop3s://mail.example.org"},
        {"to STARTTLS", plain, nullptr, 2, nullptr, "pop3+stls://mail.example.org"},
        {"STARTTLS, own port", plain, nullptr, 2, "1110", "pop3+stls://mail.example.org:1110"},
        {"own port", plain, nullptr, -1, "2110", "mail.example.org:2110"},
        {"default port again", "mail.example.org:2110", nullptr, -1, "110", "mail.example.org"},
        {"TLS back to None", tls, nullptr, 0, nullptr, "mail.example.org"},
        {"TLS on the plain port", tls, nullptr, -1, "110", "pop3s://mail.example.org:110"},
        {"new name keeps the security", tls, "pop.example.net", -1, nullptr,
         "pop3s://pop.example.net"},
        {"typed scheme and port", plain, "pop3s://pop.example.net:1995", -1, nullptr,
         "pop3s://pop.example.net:1995"},
        {"typed scheme, capitals", plain, " POP3+STLS://pop.example.net", -1, nullptr,
         "pop3+stls://pop.example.net"},
        {"typed port with SSL/TLS chosen", plain, "pop.example.net:995", 1, nullptr,
         "pop3s://pop.example.net"},
        {"typed back to what it was", "mail.example.org:0110", "mail.example.org:110", -1, nullptr,
         "mail.example.org:0110"},
        {"IPv6 literal typed bare", plain, "::1", -1, nullptr, "[::1]"},
        {"IPv6 literal typed with a port", plain, "[::1]:1110", -1, nullptr, "[::1]:1110"},
        {"IPv6 literal typed with a scheme", plain, "pop3s://[2001:db8::1]", -1, nullptr,
         "pop3s://[2001:db8::1]"},
        {"IPv6 account, own port", "pop3+stls://[::1]", nullptr, -1, "1110",
         "pop3+stls://[::1]:1110"},
    };
    // A null text leaves its control alone, and so does security -1.
    for (const auto& row : rows)
        QTest::newRow(row.tag) << QString::fromUtf8(row.host) << orNull(row.typed) << row.security
                               << orNull(row.port) << QString::fromUtf8(row.stored);
}

void PreferencesDialogTest::savingComposesTheHostText() {
    QFETCH(QString, host);
    QFETCH(QString, typed);
    QFETCH(int, security);
    QFETCH(QString, port);
    QFETCH(QString, stored);
    toppeek::test::ScriptedMessageBoxes boxes;
    std::unique_ptr<Account> account = accountWithHost(host.toStdString());
    AccountEditor editor;
    const WhenModal<AccountEditor> drive([&](AccountEditor& open) {
        if (!typed.isNull())
            open.hostEdit->setText(typed);
        if (security >= 0)
            open.securityBox->setCurrentIndex(security);
        if (!port.isNull())
            open.portEdit->setText(port);
        open.okButton->click();
    });
    QVERIFY(editor.Execute(*account, AccountEditor::editCaption(), 1301));
    QVERIFY(boxes.shown().empty());
    QCOMPARE(QString::fromStdString(account->host), stored);
}

// Leaving the host field moves what was typed into the controls at once.
void PreferencesDialogTest::typedSchemeMovesIntoTheControls() {
    AccountEditor editor;
    editor.show();
    // A blank account starts on SSL/TLS; None's default port is the one to move.
    editor.securityBox->setCurrentIndex(0);
    QCOMPARE(editor.portEdit->text(), QStringLiteral("110"));
    editor.hostEdit->setText(QStringLiteral("pop3s://pop.example.net"));
    emit editor.hostEdit->editingFinished();
    QCOMPARE(editor.hostEdit->text(), QStringLiteral("pop.example.net"));
    QCOMPARE(editor.securityBox->currentText(), QStringLiteral("SSL/TLS"));
    QCOMPARE(editor.portEdit->text(), QStringLiteral("995"));

    editor.hostEdit->setText(QStringLiteral("pop3+stls://pop.example.net:1110"));
    emit editor.hostEdit->editingFinished();
    QCOMPARE(editor.hostEdit->text(), QStringLiteral("pop.example.net"));
    QCOMPARE(editor.securityBox->currentText(), QStringLiteral("STARTTLS"));
    QCOMPARE(editor.portEdit->text(), QStringLiteral("1110"));

    // Text that is no host address stays for OK to refuse.
    editor.hostEdit->setText(QStringLiteral("imap://pop.example.net"));
    emit editor.hostEdit->editingFinished();
    QCOMPARE(editor.hostEdit->text(), QStringLiteral("imap://pop.example.net"));
    QCOMPARE(editor.securityBox->currentText(), QStringLiteral("STARTTLS"));
}

void PreferencesDialogTest::editorRefusesABadHost_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("security");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("focus");
    const std::string tooLong(192, 'h'); // 200 characters with its scheme
    const struct {
        const char* tag;
        const char* host;
        int security;
        const char* port;
        const char* focus;
    } rows[] = {
        {"port 0", "pop.example.net", 0, "0", "EdPort"},
        {"port beyond 65535", "pop.example.net", 1, "70000", "EdPort"},
        {"no port", "pop.example.net", 2, "", "EdPort"},
        {"SSL/TLS without a name", "  ", 1, "995", "EdHost"},
        {"unknown scheme", "imaps://pop.example.net", 0, "110", "EdHost"},
        {"typed port not a number", "pop.example.net:pop", 0, "110", "EdHost"},
        {"colons but no IPv6 literal", "mail:example:org", 0, "110", "EdHost"},
        {"brackets around a name", "[pop.example.net]:110", 0, "110", "EdHost"},
        {"too long to keep", tooLong.c_str(), 1, "995", "EdHost"},
    };
    for (const auto& row : rows)
        QTest::newRow(row.tag) << QString::fromUtf8(row.host) << row.security
                               << QString::fromUtf8(row.port) << QString::fromUtf8(row.focus);
}

void PreferencesDialogTest::editorRefusesABadHost() {
    QFETCH(QString, host);
    QFETCH(int, security);
    QFETCH(QString, port);
    QFETCH(QString, focus);
    toppeek::test::ScriptedMessageBoxes boxes;
    AccountEditor editor;
    editor.show();
    QApplication::setActiveWindow(&editor);
    editor.addressEdit->setText(QStringLiteral("user@example.com"));
    editor.hostEdit->setText(host);
    editor.securityBox->setCurrentIndex(security);
    editor.portEdit->setText(port);
    editor.okButton->click();
    QVERIFY(editor.isVisible());
    QCOMPARE(boxes.shown().size(), 1u);
    QCOMPARE(boxes.shown()[0].flags, 0x40u);
    QCOMPARE(boxes.shown()[0].title, "TopPeek");
    QTRY_COMPARE(
        QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(), focus);
}

// A host text the controls cannot represent is never put together anew
// behind the user's back: changing the port asks for a usable host first.
void PreferencesDialogTest::unusableHostTextIsNeverRewritten() {
    toppeek::test::ScriptedMessageBoxes boxes;
    std::unique_ptr<Account> account = accountWithHost("imaps://mail.example.org");
    AccountEditor editor;
    bool refused = false;
    const WhenModal<AccountEditor> drive([&](AccountEditor& open) {
        open.portEdit->setText(QStringLiteral("2110"));
        open.okButton->click();
        refused = open.isVisible() && boxes.shown().size() == 1;
        open.cancelButton->click();
    });
    QVERIFY(!editor.Execute(*account, AccountEditor::editCaption(), 1301));
    QVERIFY(refused);
    QCOMPARE(account->host, "imaps://mail.example.org");
}

// A blank account starts on SSL/TLS; choosing None says what it means before OK.
void PreferencesDialogTest::aNewAccountIsSecuredAndPlainTextIsSaidAloud() {
    toppeek::test::ScriptedMessageBoxes boxes;
    for (const bool plain : {false, true}) {
        std::unique_ptr<Account> account = newAccount();
        AccountEditor editor;
        bool warnedAtFirst = true;
        bool warnedOnNone = false;
        const WhenModal<AccountEditor> drive([&](AccountEditor& open) {
            warnedAtFirst = open.plainTextWarning->isVisibleTo(&open);
            QCOMPARE(open.securityBox->currentText(), QStringLiteral("SSL/TLS"));
            QCOMPARE(open.portEdit->text(), QStringLiteral("995"));
            open.addressEdit->setText(QStringLiteral("new@example.org"));
            open.hostEdit->setText(QStringLiteral("mail.example.org"));
            if (plain) {
                open.securityBox->setCurrentIndex(0);
                warnedOnNone = open.plainTextWarning->isVisibleTo(&open);
            }
            open.okButton->click();
        });
        QVERIFY(editor.Execute(*account, AccountEditor::addCaption(), 1301));
        QVERIFY(!warnedAtFirst);
        QCOMPARE(warnedOnNone, plain);
        QCOMPARE(account->host, plain ? "mail.example.org" : "pop3s://mail.example.org");
    }
    QVERIFY(boxes.shown().empty());
}

// The choices kept beside an account in the settings' reserved text: whether its password is
// written down without a keyring, and the certificate trusted for its server, which the
// Certificates page lists and removes; a deleted account takes its choices along.
void PreferencesDialogTest::securityChoicesAreKeptWithTheirAccount() {
    auto settings = settingsWith({"ann@example.com"});
    const toppeek::mail::TrustedCertificate trusted{"pop.example.com", 995, std::string(64, 'c')};
    QVERIFY(setTrustedCertificate(*settings, *settings->accounts.at(0), trusted));
    PreferencesDialog dialog(*settings);
    dialog.show();
    QCOMPARE(dialog.certificateList->topLevelItemCount(), 1);
    QTreeWidgetItem* row = dialog.certificateList->topLevelItem(0);
    QCOMPARE(row->text(0), QStringLiteral("ann@example.com"));
    QCOMPARE(row->text(1), QStringLiteral("pop.example.com:995"));
    QVERIFY(row->text(2).startsWith(QStringLiteral("CC:CC:")));

    // Added without its password written down; the editor shows the choice again.
    dialog.accountList->clearSelection();
    const WhenModal<AccountEditor> add([](AccountEditor& open) {
        QVERIFY(open.rememberPasswordBox->isChecked());
        open.rememberPasswordBox->setChecked(false);
        enter(QStringLiteral("bob@example.net"), QStringLiteral("pop.example.net"))(open);
    });
    dialog.addAccountClicked();
    QCOMPARE(settings->accounts.count(), 2);
    const Account& bob = *settings->accounts.at(1);
    QVERIFY(bob.accountTag != settings->accounts.at(0)->accountTag);
    QVERIFY(!remembersPassword(*settings, bob));
    QVERIFY(remembersPassword(*settings, *settings->accounts.at(0)));
    bool shownUnchecked = false;
    const WhenModal<AccountEditor> edit([&](AccountEditor& open) {
        shownUnchecked = !open.rememberPasswordBox->isChecked();
        open.okButton->click();
    });
    dialog.editAccountClicked();
    QVERIFY(shownUnchecked);

    dialog.certificateList->setCurrentItem(dialog.certificateList->topLevelItem(0));
    dialog.removeCertificateButton->click();
    QCOMPARE(dialog.certificateList->topLevelItemCount(), 0);
    QVERIFY(!trustedCertificate(*settings, *settings->accounts.at(0)));

    dialog.accountList->setCurrentItem(dialog.accountList->topLevelItem(1));
    const std::int16_t bobTag = settings->accounts.at(1)->accountTag;
    dialog.deleteAccountClicked();
    Account reused;
    reused.accountTag = bobTag;
    QVERIFY(remembersPassword(*settings, reused));
}

QTEST_MAIN(PreferencesDialogTest)
#include "PreferencesDialogTest.moc"
