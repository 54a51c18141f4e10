// The account list names a variable `slots`: storage before any Qt header.
#include "storage/Settings.h"

#include "support/ScriptedMessageBoxes.h"
#include "ui/Options.h"
#include "ui/UpDown.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

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
std::function<void(TFAEdit&)> enter(const QString& address, const QString& host = {}) {
    return [=](TFAEdit& editor) {
        editor.EdDesc->setText(address);
        editor.EdHost->setText(host);
        editor.BOk->click();
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

QStringList rows(const TFOptions& dialog) {
    QStringList all;
    for (int i = 0; i < dialog.LVAcc->topLevelItemCount(); ++i)
        all << dialog.LVAcc->topLevelItem(i)->text(0);
    return all;
}

int selectedRow(const TFOptions& dialog) {
    const QList<QTreeWidgetItem*> selected = dialog.LVAcc->selectedItems();
    return selected.isEmpty() ? -1 : dialog.LVAcc->indexOfTopLevelItem(selected.first());
}

} // namespace

class OptionsTest : public QObject {
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
    void longAddressJudgedByItsStart();
    void arrowsStepTheStoredValue();
    void executeResults();
};

void OptionsTest::countsAreClampedNotWrapped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("space, sign, trailing text") << " \t+12x" << 12;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("largest") << "32767" << 32767;
    QTest::newRow("beyond 16 bits") << "40000" << 32767;
    QTest::newRow("beyond 64 bits") << "123456789012345678901234567890" << 32767;
}

void OptionsTest::countsAreClampedNotWrapped() {
    QFETCH(QString, text);
    QFETCH(int, count);
    QCOMPARE(countFromText(text.toStdString()), count);
}

void OptionsTest::storedTextsAreCut() {
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
void OptionsTest::noSelectionMeansTheFirstAccount() {
    auto settings = settingsWith({"ann@example.com", "bob@example.org"});
    settings->selectedAccount = 1;
    TFOptions dialog(*settings);
    dialog.show();
    QCOMPARE(selectedRow(dialog), -1);

    QString shownForEdit;
    const WhenModal<TFAEdit> edit([&](TFAEdit& editor) {
        shownForEdit = editor.EdDesc->text();
        enter(QStringLiteral("anne@example.com"), QStringLiteral("mail.example.com:995"))(editor);
    });
    dialog.BEditClick();
    QCOMPARE(shownForEdit, QStringLiteral("ann@example.com"));
    QCOMPARE(addresses(*settings),
             (std::vector<std::string>{"anne@example.com", "bob@example.org"}));
    QCOMPARE(settings->accounts.at(0)->host, "mail.example.com:995");
    QCOMPARE(selectedRow(dialog), 0);

    dialog.LVAcc->clearSelection();
    const WhenModal<TFAEdit> add(enter(QStringLiteral("cy@example.net")));
    dialog.BAddClick();
    QCOMPARE(addresses(*settings),
             (std::vector<std::string>{"anne@example.com", "cy@example.net", "bob@example.org"}));
    QCOMPARE(settings->selectedAccount, 1);
    QCOMPARE(rows(dialog), (QStringList{"anne@example.com", "cy@example.net", "bob@example.org"}));
    QCOMPARE(selectedRow(dialog), 1);

    dialog.LVAcc->clearSelection();
    dialog.BDeleteClick();
    QCOMPARE(addresses(*settings), (std::vector<std::string>{"cy@example.net", "bob@example.org"}));

    // A double click edits the row clicked.
    QString shownForDoubleClick;
    const WhenModal<TFAEdit> doubleClick([&](TFAEdit& editor) {
        shownForDoubleClick = editor.EdDesc->text();
        editor.BCancel->click();
    });
    const QRect second = dialog.LVAcc->visualItemRect(dialog.LVAcc->topLevelItem(1));
    QTest::mouseDClick(dialog.LVAcc->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(shownForDoubleClick, QStringLiteral("bob@example.org"));
}

void OptionsTest::addingToAnEmptyList() {
    auto settings = settingsWith({});
    TFOptions dialog(*settings);
    dialog.show();
    dialog.BEditClick(); // nothing to edit: no editor opens
    const WhenModal<TFAEdit> add(enter(QStringLiteral("first@example.com")));
    dialog.BAddClick();
    QCOMPARE(addresses(*settings), std::vector<std::string>{"first@example.com"});
    QCOMPARE(settings->selectedAccount, 0);
    QCOMPARE(rows(dialog), QStringList{"first@example.com"});
    QCOMPARE(selectedRow(dialog), 0);
}

void OptionsTest::deletingMovesTheSelection() {
    auto settings = settingsWith({"a@x.org", "b@x.org", "c@x.org"});
    TFOptions dialog(*settings);
    dialog.show();
    dialog.LVAcc->setCurrentItem(dialog.LVAcc->topLevelItem(2));
    dialog.BDeleteClick();
    QCOMPARE(addresses(*settings), (std::vector<std::string>{"a@x.org", "b@x.org"}));
    QCOMPARE(settings->selectedAccount, 1);
    QCOMPARE(selectedRow(dialog), 1);

    dialog.BDeleteClick();
    dialog.BDeleteClick();
    QCOMPARE(settings->accounts.count(), 0);
    QCOMPARE(settings->selectedAccount, 0);
    QCOMPARE(dialog.LVAcc->topLevelItemCount(), 0);
    QCOMPARE(selectedRow(dialog), -1);
    dialog.BDeleteClick(); // on an empty list: nothing
}

void OptionsTest::cancelKeepsAccountsChangedMeanwhile() {
    auto settings = settingsWith({"a@x.org", "b@x.org"});
    const WhenModal<TFOptions> drive([](TFOptions& dialog) {
        dialog.BDeleteClick();
        dialog.BCancel->click();
    });
    QCOMPARE(TFOptions::Execute(*settings, nullptr), kOptionsCancelled);
    QCOMPARE(addresses(*settings), std::vector<std::string>{"b@x.org"});
}

void OptionsTest::editorRefusesToClose_data() {
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

void OptionsTest::editorRefusesToClose() {
    QFETCH(QString, address);
    QFETCH(QString, user);
    QFETCH(QString, password);
    toppeek::test::ScriptedMessageBoxes boxes;
    TFAEdit editor;
    editor.show();
    editor.EdDesc->setText(address);
    editor.EdUser->setText(user);
    editor.EdPass->setText(password);
    editor.BOk->click();
    QVERIFY(editor.isVisible());
    QCOMPARE(boxes.shown().size(), 1u);
    QCOMPARE(boxes.shown()[0].flags, 0x40u);
    QCOMPARE(boxes.shown()[0].title, "TopPeek");
}

// Empty host, credentials at the command line's limit.
void OptionsTest::editorClosesAtTheLimits() {
    QVERIFY(!isSendableCredential(std::string("us\0er", 5)));
    toppeek::test::ScriptedMessageBoxes boxes;
    TFAEdit editor;
    editor.show();
    editor.EdDesc->setText(QStringLiteral("user@example.com"));
    editor.EdUser->setText(QString(112, QLatin1Char('u')));
    editor.EdPass->setText(QString(112, QLatin1Char('p')));
    editor.BOk->click();
    QVERIFY(!editor.isVisible());
    QCOMPARE(editor.result(), int(QDialog::Accepted));
    QVERIFY(boxes.shown().empty());
}

// Cancel asks nothing, even with an address that OK would refuse.
void OptionsTest::editorCancelChangesNothing() {
    toppeek::test::ScriptedMessageBoxes boxes;
    std::unique_ptr<Account> account = newAccount();
    account->address = "keep@example.com";
    account->password = "old";
    TFAEdit editor;
    QString maskedPassword;
    const WhenModal<TFAEdit> drive([&](TFAEdit& shown) {
        maskedPassword = shown.EdPass->displayText();
        shown.EdDesc->setText(QStringLiteral("other@localhost"));
        shown.EdPass->setText(QStringLiteral("new"));
        shown.BCancel->click();
    });
    QVERIFY(!editor.Execute(*account, QStringLiteral("Caption"), 1301));
    QCOMPARE(maskedPassword, QStringLiteral("***"));
    QVERIFY(boxes.shown().empty());
    QCOMPARE(account->address, "keep@example.com");
    QCOMPARE(account->password, "old");
    QCOMPARE(editor.windowTitle(), QStringLiteral("Caption"));
}

// 300 characters: the first 254 form a valid address, but neither all of
// them (spaces at the end) nor the first 199 (a label ending in '-') would.
void OptionsTest::longAddressJudgedByItsStart() {
    toppeek::test::ScriptedMessageBoxes boxes;
    const std::string start = "user@example." + std::string(185, 'c') + "-" + std::string(55, 'd');
    QCOMPARE(start.size(), 254u);
    const std::string typed = start + std::string(46, ' ');
    std::unique_ptr<Account> account = newAccount();
    TFAEdit editor;
    const WhenModal<TFAEdit> drive([&](TFAEdit& shown) {
        shown.EdDesc->setText(QString::fromStdString(typed));
        shown.BOk->click();
    });
    QVERIFY(editor.Execute(*account, TFAEdit::addCaption(), 1301));
    QVERIFY(boxes.shown().empty());
    QCOMPARE(account->address, start.substr(0, 199));
}

void OptionsTest::arrowsStepTheStoredValue() {
    auto settings = settingsWith({});
    settings->maxMessages = 100;
    settings->bodyLines = 100;
    const WhenModal<TFOptions> drive([&](TFOptions& dialog) {
        QSignalSpy reported(dialog.UpDownMaxMsg, &TUpDown::Click);
        for (int i = 0; i < 21; ++i)
            dialog.UpDownMaxMsg->click(UpDownButton::Down);
        QCOMPARE(dialog.UpDownMaxMsg->position(), 0);
        QCOMPARE(settings->maxMessages, 80);
        QCOMPARE(dialog.EdMaxMsg->text(), QStringLiteral("80"));
        QCOMPARE(reported.count(), 20);
        for (int i = 0; i < 200; ++i)
            dialog.UpDownMaxMsg->click(UpDownButton::Up);
        QCOMPARE(dialog.UpDownMaxMsg->position(), 1000);
        QCOMPARE(settings->maxMessages, 280);

        QVERIFY(!dialog.UpDownLines->click(UpDownButton::Up)); // already at its top
        QCOMPARE(settings->bodyLines, 100);
        // A typed number gives way to the stored value at the next click,
        // here through the real arrow button.
        dialog.EdLines->setText(QStringLiteral("7"));
        QTest::mouseClick(dialog.UpDownLines->downButton(), Qt::LeftButton);
        QCOMPARE(settings->bodyLines, 99);
        QCOMPARE(dialog.EdLines->text(), QStringLiteral("99"));
        dialog.BCancel->click();
    });
    QCOMPARE(TFOptions::Execute(*settings, nullptr), kOptionsCancelled);
    // Cancel puts back what the arrows changed.
    QCOMPARE(settings->maxMessages, 100);
    QCOMPARE(settings->bodyLines, 100);
}

void OptionsTest::executeResults() {
    auto settings = settingsWith({"a@x.org"});
    settings->bodyLines = 0;
    settings->useApop = 1;
    QString shownLines;
    bool shownApop = false;
    {
        const WhenModal<TFOptions> drive([&](TFOptions& dialog) {
            shownLines = dialog.EdLines->text();
            shownApop = dialog.CBApop->isChecked();
            dialog.EdLines->setText(QStringLiteral("20"));
            dialog.BOk->click();
        });
        QCOMPARE(TFOptions::Execute(*settings, nullptr), kOptionsBodyLinesChanged);
    }
    QCOMPARE(shownLines, QStringLiteral("0"));
    QVERIFY(shownApop);
    QCOMPARE(settings->bodyLines, 20);
    {
        const WhenModal<TFOptions> drive([](TFOptions& dialog) {
            dialog.CBAbout->setChecked(true);
            dialog.CBApop->setChecked(false);
            dialog.EdMaxMsg->setText(QStringLiteral("abc"));
            dialog.BOk->click();
        });
        QCOMPARE(TFOptions::Execute(*settings, nullptr), kOptionsSaved);
    }
    QCOMPARE(settings->showAbout, 1);
    QCOMPARE(settings->useApop, 0);
    QCOMPARE(settings->maxMessages, 0);
    {
        // An arrow click, then OK: the box decides, and the result compares
        // with the value the dialog opened with.
        const WhenModal<TFOptions> drive([](TFOptions& dialog) {
            dialog.UpDownLines->click(UpDownButton::Down);
            dialog.EdLines->setText(QStringLiteral("40000"));
            dialog.BOk->click();
        });
        QCOMPARE(TFOptions::Execute(*settings, nullptr), kOptionsBodyLinesChanged);
    }
    QCOMPARE(settings->bodyLines, 32767);
}

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
