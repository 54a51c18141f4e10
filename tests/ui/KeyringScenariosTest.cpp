// Passwords in a real Secret Service: gnome-keyring on a private session bus
// (tests/support/with-keyring.sh starts it), the main window and a real
// Dovecot. One scenario runs the whole life of a password, from an older
// settings file through logins to the removal of its account; the other
// runs where no keyring answers (no daemon on the bus, or no bus at all).
#include "storage/KeyringPasswords.h"

#include "MainWindowHarness.h"
#include "shell/SecretServiceStore.h"
#include "support/DovecotServer.h"
#include "support/OAuthTestServer.h"
#include "ui/PreferencesDialog.h"

#include <QElapsedTimer>
#include <QInputDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <iterator>

using toppeek::ui::MainWindow;
using toppeek::ui::PreferencesDialog;
using namespace toppeek::storage;
using namespace std::chrono_literals;
using toppeek::shell::SecretServiceStore;
using toppeek::test::DovecotServer;
using toppeek::test::onDialog;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What another program of the user sees in the keyring for item: its
// password, or nothing.
std::optional<std::string> keyringHolds(const KeyringItem& item) {
    QProcess tool;
    tool.start("secret-tool", {"lookup", "user", QString::fromStdString(item.key), "server",
                               QString::fromStdString(item.label)});
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
        return std::nullopt;
    return tool.readAllStandardOutput().toStdString();
}

void removeFromKeyring(const KeyringItem& item) {
    QProcess::execute("secret-tool", {"clear", "user", QString::fromStdString(item.key), "server",
                                      QString::fromStdString(item.label)});
}

} // namespace

class KeyringScenariosTest : public QObject, toppeek::test::WindowTestFiles {
    Q_OBJECT

    std::unique_ptr<MainWindow> openWindow() {
        auto window = std::make_unique<MainWindow>(settingsPath_, filtersPath_);
        window->setPasswordStore(std::make_unique<SecretServiceStore>());
        window->show();
        if (!QTest::qWaitFor([&] { return window->firstActivationDone(); }, 5000))
            return nullptr;
        return window;
    }

    // Closes the window the way the user does and waits until it is gone.
    static bool closeWindow(std::unique_ptr<MainWindow>& window) {
        window->close();
        const bool closed = QTest::qWaitFor([&] { return !window->isVisible(); }, 20000);
        window.reset();
        return closed;
    }

    // The file an older version writes for the same account when its
    // password is the marker text.
    std::string fileWithMarker(const Account& account) {
        auto settings = createDefaultSettings();
        auto copy = cloneAccount(account);
        copy->password = keyringPasswordMarker();
        copy->keyringItem.reset();
        copy->passwordKnown = true;
        settings->accounts.append(copy.release());
        const std::string path = settingsPath_ + ".expected";
        saveSettings(path, *settings);
        return readAll(path);
    }

private slots:
    void init() { setUpFiles(); }
    void cleanup() { tearDownFiles(); }

    void passwordLivesInTheKeyringFromOldFileToRemoval() {
        DovecotServer server;
        server.addUser("alice", "secret");
        server.addMessage("alice", "From: bob@example.org\nSubject: one\n\nText\n");
        server.addMessage("alice", "From: bob@example.org\nSubject: two\n\nText\n");
        QVERIFY2(server.start(), server.failure().c_str());

        // An older version's file, with the password scrambled in it.
        auto window = toppeek::test::startMainWindow(
            settingsPath_, filtersPath_, {server.hostAndPort()}, 0, [&](Settings& settings) {
                settings.accounts.at(0)->userName = server.loginName("alice");
            });
        QVERIFY(window);
        window->setPasswordStore(std::make_unique<SecretServiceStore>());
        QTRY_VERIFY(window->passwordNote().contains("kept in the desktop's keyring, not"));
        const Account account = *window->settings().accounts.at(0);
        const KeyringItem item = keyringItemFor(account);

        // Leaving saves: the password moves to the keyring, the file keeps
        // the marker and nothing of the password.
        QVERIFY(closeWindow(window));
        QCOMPARE(keyringHolds(item), std::optional<std::string>("secret"));
        const std::string file = readAll(settingsPath_);
        QVERIFY(file.find("secret") == std::string::npos);
        QVERIFY(file == fileWithMarker(account));

        // The next run logs in with the password from the keyring; the
        // window waits for it rather than freezing.
        window = openWindow();
        QVERIFY(window);
        QVERIFY(!window->settings().accounts.at(0)->passwordKnown);
        window->OpenConnection();
        QVERIFY(window->waitingForKeyring() || window->connected());
        QTRY_VERIFY_WITH_TIMEOUT(window->connected(), 20000);
        QCOMPARE(window->messageView->rowCount(), 2);
        QVERIFY(!window->waitingForKeyring());
        QVERIFY(closeWindow(window));

        // The user deleted the item: the login asks for the password, and the
        // next save puts it back.
        removeFromKeyring(item);
        QVERIFY(!keyringHolds(item));
        window = openWindow();
        QVERIFY(window);
        QString prompt;
        auto answer = onDialog<QInputDialog>([&](QInputDialog* dialog) {
            prompt = dialog->labelText();
            dialog->setTextValue("secret");
            dialog->accept();
        });
        window->OpenConnection();
        QTRY_VERIFY_WITH_TIMEOUT(window->connected(), 20000);
        QVERIFY(prompt.contains("holds no password for alice0@example.com"));
        QVERIFY(boxes_->shown().empty());
        QVERIFY(closeWindow(window));
        QCOMPARE(keyringHolds(item), std::optional<std::string>("secret"));

        // Renaming moves the item (the password was never read this run);
        // removing the account in the preferences takes its item out.
        window = openWindow();
        QVERIFY(window);
        {
            Settings& settings = window->settings();
            Account& before = *settings.accounts.at(0);
            auto edited = cloneAccount(before);
            edited->address = "alice.renamed@example.com";
            noteAccountEdited(settings, before, *edited);
            settings.accounts.replaceAt(0, edited.release());
        }
        const KeyringItem renamed = keyringItemFor(*window->settings().accounts.at(0));
        QVERIFY(closeWindow(window));
        QVERIFY(!keyringHolds(item));
        QCOMPARE(keyringHolds(renamed), std::optional<std::string>("secret"));

        window = openWindow();
        QVERIFY(window);
        QString note;
        auto removeAccount = onDialog<PreferencesDialog>([&](PreferencesDialog* dialog) {
            note = dialog->passwordNoteLabel->text();
            dialog->deleteAccountButton->click();
            dialog->okButton->click();
        });
        window->preferencesItem->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window->waitingForKeyring(), 20000);
        QVERIFY(note.contains("desktop's keyring"));
        QVERIFY(!keyringHolds(renamed));
        QVERIFY(closeWindow(window));
    }

    // An OAuth2 account's refresh token goes where a password goes: into the keyring, and not
    // into the settings file, which keeps the account's sign-in line and the marker.
    void refreshTokenLivesInTheKeyringNotTheFile() {
        toppeek::test::OAuthTestServer authority("alice", "toppeek-test-client");
        QVERIFY2(authority.start(), authority.failure().c_str());
        const std::string refreshToken = authority.issueRefreshToken();
        QVERIFY(!refreshToken.empty());
        DovecotServer server;
        server.offerMechanisms("plain xoauth2 oauthbearer");
        server.acceptOAuth2(authority.introspectionUrlForDovecot());
        server.addUser("alice", "unused-Password-1");
        server.addMessage("alice", "From: bob@example.org\nSubject: one\n\nText\n");
        QVERIFY2(server.start(), server.failure().c_str());

        auto window = toppeek::test::startMainWindow(
            settingsPath_, filtersPath_, {server.hostAndPort()}, 0, [&](Settings& settings) {
                Account& account = *settings.accounts.at(0);
                account.userName = "alice";
                account.password = refreshToken;
                account.signIn = SignInMethod::OAuth2;
                account.oauth = {"other",
                                 "toppeek-test-client",
                                 "",
                                 authority.authorizationUrl(),
                                 authority.tokenUrl(),
                                 "pop3"};
            });
        QVERIFY(window);
        window->setPasswordStore(std::make_unique<SecretServiceStore>());
        // The check renews the access token first, then signs in with it.
        window->OpenConnection();
        QTRY_VERIFY_WITH_TIMEOUT(window->connected(), 20000);
        QCOMPARE(window->messageView->rowCount(), 1);
        QCOMPARE(authority.count("refresh"), 1);
        const KeyringItem item = keyringItemFor(*window->settings().accounts.at(0));
        QVERIFY(closeWindow(window));

        QCOMPARE(keyringHolds(item), std::optional<std::string>(refreshToken));
        const std::string file = readAll(settingsPath_);
        QVERIFY(file.find(refreshToken) == std::string::npos);
        QVERIFY(file.find("=oauth2 other toppeek-test-client") != std::string::npos);

        // The next run reads the account back as an OAuth2 one, its token from the keyring.
        window = openWindow();
        QVERIFY(window);
        QCOMPARE(window->settings().accounts.at(0)->signIn, SignInMethod::OAuth2);
        window->OpenConnection();
        QTRY_VERIFY_WITH_TIMEOUT(window->connected(), 20000);
        QVERIFY(closeWindow(window));
    }

    void withoutKeyringPasswordsStayInTheFile() {
        auto window = toppeek::test::startMainWindow(settingsPath_, filtersPath_, {"127.0.0.1:1"});
        QVERIFY(window);
        window->setPasswordStore(std::make_unique<SecretServiceStore>());
        QTRY_VERIFY_WITH_TIMEOUT(window->passwordNote().startsWith("No keyring"), 20000);
        QString note;
        auto cancel = onDialog<PreferencesDialog>([&](PreferencesDialog* dialog) {
            note = dialog->passwordNoteLabel->text();
            dialog->okButton->click();
        });
        window->preferencesItem->trigger();
        QTRY_VERIFY(!note.isEmpty());
        QCOMPARE(note, window->passwordNote());
        QVERIFY(boxes_->shown().empty());
        QVERIFY(closeWindow(window));
        auto saved = createDefaultSettings();
        QVERIFY(loadSettings(settingsPath_, *saved));
        QCOMPARE(saved->accounts.at(0)->password, std::string("secret"));
        QVERIFY(saved->accounts.at(0)->passwordKnown);
    }

    // A keyring daemon that holds its name and never answers: the window waits for it once, a
    // few seconds for the whole run (each request waited 25 s before), then keeps the passwords
    // in the file and says so; later requests answer at once.
    void aKeyringThatNeverAnswersIsWaitedForOnce() {
        QProcess silent;
        silent.start(QStringLiteral(TOPPEEK_SILENT_SECRET_SERVICE), {});
        QVERIFY(silent.waitForReadyRead(10000));
        QCOMPARE(silent.readLine().trimmed(), QByteArray("ready"));
        QElapsedTimer clock;
        clock.start();
        auto window = toppeek::test::startMainWindow(
            settingsPath_, filtersPath_, {"127.0.0.1:1", "127.0.0.1:1"}, 0, [](Settings& settings) {
                settings.accounts.at(0)->password = keyringPasswordMarker();
            });
        QVERIFY(window);
        window->setPasswordStore(std::make_unique<SecretServiceStore>());
        QTRY_VERIFY_WITH_TIMEOUT(window->passwordNote().startsWith("No keyring"), 12000);
        QVERIFY(window->passwordNote().contains("anyone who has the file"));

        // The password the file does not hold is asked for without another wait.
        QElapsedTimer asked;
        bool prompted = false;
        auto prompt = onDialog<QInputDialog>([&](QInputDialog* dialog) {
            prompted = asked.elapsed() < 2000;
            dialog->reject();
        });
        asked.start();
        window->OpenConnection();
        QTRY_VERIFY_WITH_TIMEOUT(prompted, 5000);
        QTRY_VERIFY(!window->waitingForKeyring());

        QString note;
        auto ok = onDialog<PreferencesDialog>([&](PreferencesDialog* dialog) {
            note = dialog->passwordNoteLabel->text();
            dialog->okButton->click();
        });
        window->preferencesItem->trigger();
        QTRY_VERIFY(!note.isEmpty());
        QVERIFY(!window->waitingForKeyring());
        QVERIFY(closeWindow(window));
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        auto saved = createDefaultSettings();
        QVERIFY(loadSettings(settingsPath_, *saved));
        QCOMPARE(saved->accounts.at(1)->password, std::string("secret"));
        silent.kill();
        silent.waitForFinished();
    }
};

QTEST_MAIN(KeyringScenariosTest)
#include "KeyringScenariosTest.moc"
