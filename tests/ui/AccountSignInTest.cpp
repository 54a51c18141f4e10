// The account editor's sign-in part as the user meets it: choosing OAuth2, the provider found
// from the address, what OK stores and Cancel does not, and a sign-in the settings file has no
// room for.

#include "storage/ReservedOptions.h"
#include "storage/Settings.h"
#include "storage/SignInOptions.h"

#include "support/ModalDialogDriver.h"
#include "support/ScriptedMessageBoxes.h"
#include "ui/AccountEditor.h"
#include "ui/AccountSignInSection.h"
#include "ui/PreferencesDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <string>

using namespace toppeek::ui;
using namespace toppeek::storage;
using toppeek::test::ModalDialogDriver;
using toppeek::test::ScriptedMessageBoxes;

namespace {

const QString kEditor = QStringLiteral("FAEdit");

bool shown(const QWidget* widget, const QWidget* window) {
    return widget->isVisibleTo(window);
}

std::unique_ptr<Account> outlookAccount(int number) {
    auto account = newAccount();
    account->address = "user" + std::to_string(number) + "@outlook.com";
    account->host = "pop3s://outlook.office365.com";
    account->userName = account->address;
    account->signIn = SignInMethod::OAuth2;
    account->oauth = {"microsoft", "00000000-1111-2222-3333-444444444444", "", "", "", ""};
    return account;
}

} // namespace

class AccountSignInTest : public QObject {
    Q_OBJECT

private slots:
    void oauth2IsChosenFilledFromTheAddressAndStoredOnlyOnOk();
    void aSignInTheSettingsFileCannotKeepIsRefusedOnOk();
};

void AccountSignInTest::oauth2IsChosenFilledFromTheAddressAndStoredOnlyOnOk() {
    ScriptedMessageBoxes boxes;
    auto account = newAccount();
    AccountEditor editor;
    AccountSignInSection& section = *editor.signInSection;
    ModalDialogDriver driver;
    driver.expect(kEditor, [&](QDialog*) {
        // A password account shows nothing of OAuth2.
        QVERIFY(!section.usesOAuth2());
        QVERIFY(!shown(section.clientIdEdit, &editor));
        QVERIFY(editor.passwordEdit->isEnabled());

        editor.addressEdit->setText(QStringLiteral("Reader@Hotmail.co.uk"));
        editor.passwordEdit->setText(QStringLiteral("typed before"));
        section.signInBox->setCurrentIndex(1);
        QVERIFY(section.usesOAuth2());
        QVERIFY(shown(section.providerBox, &editor));
        QVERIFY(shown(section.clientIdEdit, &editor));
        QVERIFY(shown(section.signInButton, &editor));
        QVERIFY(!shown(section.issuerEdit, &editor)); // a preset needs no endpoints
        QCOMPARE(section.providerBox->currentText(), QStringLiteral("Microsoft"));
        QCOMPARE(editor.hostEdit->text(), QStringLiteral("outlook.office365.com"));
        QCOMPARE(editor.securityBox->currentText(), QStringLiteral("SSL/TLS"));
        QCOMPARE(editor.portEdit->text(), QStringLiteral("995"));
        QVERIFY(!editor.passwordEdit->isEnabled());
        QVERIFY(editor.passwordEdit->text().isEmpty());

        // Another provider is given by its endpoints, and those are asked for.
        section.providerBox->setCurrentIndex(2);
        QVERIFY(shown(section.issuerEdit, &editor));
        QVERIFY(shown(section.authorizationEdit, &editor));
        section.clientIdEdit->setText(QStringLiteral("client"));
        editor.okButton->click();
        QCOMPARE(boxes.shown().size(), std::size_t(1));
        QVERIFY(boxes.shown().back().text.find("authorization and token URLs") !=
                std::string::npos);
        section.providerBox->setCurrentIndex(1);
        QVERIFY(!shown(section.issuerEdit, &editor));

        // Without a client ID OK asks for one and the editor stays open.
        section.clientIdEdit->clear();
        editor.okButton->click();
        QCOMPARE(boxes.shown().size(), std::size_t(2));
        QVERIFY(boxes.shown().back().text.find("client ID") != std::string::npos);
        QVERIFY(editor.isVisible());
        section.clientIdEdit->setText(QStringLiteral(" 00000000-aaaa-bbbb-cccc-dddddddddddd "));
        editor.okButton->click();
    });
    QVERIFY(editor.Execute(*account, AccountEditor::addCaption(), kOptionsHelpContext));
    QVERIFY(!driver.failed());
    QCOMPARE(boxes.shown().size(), std::size_t(2));
    QCOMPARE(account->signIn, SignInMethod::OAuth2);
    QCOMPARE(account->oauth.provider, "microsoft");
    QCOMPARE(account->oauth.clientId, "00000000-aaaa-bbbb-cccc-dddddddddddd");
    QVERIFY(account->oauth.authorizationUrl.empty()); // the preset's, not stored
    QVERIFY(account->host.find("outlook.office365.com") != std::string::npos);
    QVERIFY(account->password.empty());
    QVERIFY(signInLine(*account).has_value());

    // Cancel keeps the account as it was, whatever was chosen meanwhile.
    const Account before = *account;
    driver.expect(kEditor, [&](QDialog*) {
        QVERIFY(section.usesOAuth2());
        QCOMPARE(section.clientIdEdit->text(),
                 QStringLiteral("00000000-aaaa-bbbb-cccc-dddddddddddd"));
        QCOMPARE(section.stateLabel->text(), QStringLiteral("Not signed in yet."));
        section.providerBox->setCurrentIndex(0);
        section.clientIdEdit->setText(QStringLiteral("changed"));
        section.signInBox->setCurrentIndex(0);
        editor.cancelButton->click();
    });
    QVERIFY(!editor.Execute(*account, AccountEditor::editCaption(), kOptionsHelpContext));
    QCOMPARE(account->signIn, SignInMethod::OAuth2);
    QCOMPARE(account->oauth.provider, before.oauth.provider);
    QCOMPARE(account->oauth.clientId, before.oauth.clientId);
    QCOMPARE(account->host, before.host);

    // Back to a password: the password row returns and OK stores the password account.
    driver.expect(kEditor, [&](QDialog*) {
        section.signInBox->setCurrentIndex(0);
        QVERIFY(!shown(section.clientIdEdit, &editor));
        QVERIFY(editor.passwordEdit->isEnabled());
        editor.passwordEdit->setText(QStringLiteral("app password"));
        editor.okButton->click();
    });
    QVERIFY(editor.Execute(*account, AccountEditor::editCaption(), kOptionsHelpContext));
    QVERIFY(!driver.failed());
    QCOMPARE(account->signIn, SignInMethod::Password);
    QCOMPARE(account->password, "app password");
    QVERIFY(!signInLine(*account));
    QCOMPARE(boxes.shown().size(), std::size_t(2));
}

// The file keeps sign-ins in a fixed space shared with other options. Once that is full, the
// editor that Preferences opens says so on OK instead of taking a sign-in the next save would
// drop, and the other options stay as they were.
void AccountSignInTest::aSignInTheSettingsFileCannotKeepIsRefusedOnOk() {
    ScriptedMessageBoxes boxes;
    auto settings = createDefaultSettings();
    QVERIFY(setCheckIntervalMinutes(*settings, 15));
    const std::string options = settings->reservedText1;
    for (int i = 0;; ++i) {
        auto account = outlookAccount(i);
        if (signInRoomFor(*settings, nullptr, *account) != SignInRoom::Fits)
            break;
        settings->accounts.append(account.release());
    }
    const int count = settings->accounts.count();
    PreferencesDialog preferences(*settings);

    ModalDialogDriver driver;
    driver.expect(kEditor, [&](QDialog* dialog) {
        auto& editor = *static_cast<AccountEditor*>(dialog);
        editor.addressEdit->setText(QStringLiteral("late@outlook.com"));
        editor.signInSection->signInBox->setCurrentIndex(1);
        editor.signInSection->clientIdEdit->setText(
            QStringLiteral("00000000-1111-2222-3333-444444444444"));
        editor.okButton->click();
        QCOMPARE(boxes.shown().size(), std::size_t(1));
        QVERIFY(boxes.shown().back().text.find("cannot keep the OAuth2 sign-in") !=
                std::string::npos);
        QVERIFY(editor.isVisible());
        editor.cancelButton->click();
    });
    preferences.addAccountClicked();
    QCOMPARE(settings->accounts.count(), count);

    // An edit that needs no more room is taken.
    preferences.accountList->setCurrentItem(preferences.accountList->topLevelItem(0));
    driver.expect(kEditor, [&](QDialog* dialog) {
        auto& editor = *static_cast<AccountEditor*>(dialog);
        editor.signInSection->clientIdEdit->setText(
            QStringLiteral("99999999-1111-2222-3333-444444444444"));
        editor.okButton->click();
    });
    preferences.editAccountClicked();
    QVERIFY(!driver.failed());
    QCOMPARE(boxes.shown().size(), std::size_t(1));
    QCOMPARE(settings->accounts.at(0)->oauth.clientId, "99999999-1111-2222-3333-444444444444");
    int dropped = -1;
    const auto texts = reservedTextsForFile(*settings, &dropped);
    QCOMPARE(dropped, 0);
    QCOMPARE(settings->reservedText1, options);
    QVERIFY(texts[0].starts_with(options));
}

QTEST_MAIN(AccountSignInTest)
#include "AccountSignInTest.moc"
