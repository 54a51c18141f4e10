// The start-up update check runs behind the main window: a version address that never answers
// neither holds the window back nor its closing, and an answer that arrives later asks its
// question over the window and has its day saved with the settings.

#include "core/Calendar.h"
#include "shell/UpdateCheck.h"
#include "storage/Settings.h"
#include "support/HttpTestServer.h"
#include "support/ScriptedMessageBoxes.h"
#include "ui/MainWindow.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

using toppeek::ui::MainWindow;
using toppeek::ui::ShellHooks;
using namespace toppeek::storage;
using toppeek::core::todayNumber;
using toppeek::shell::BackgroundUpdateCheck;
using toppeek::test::HttpTestServer;
using toppeek::test::ScriptedMessageBoxes;

class StartupCheckTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string settingsPath_;
    std::string filtersPath_;
    std::unique_ptr<BackgroundUpdateCheck> check_;
    ScriptedMessageBoxes boxes_; // no box may wait for a user

    // A window on a settings file with one account (so that its first activation opens no
    // preferences), never checked for updates, whose start-up check asks url.
    std::unique_ptr<MainWindow> startWindow(const std::string& url) {
        std::unique_ptr<Settings> settings = createDefaultSettings();
        std::unique_ptr<Account> account = newAccount();
        account->address = "alice@example.com";
        account->host = "127.0.0.1:9";
        settings->accounts.append(account.release());
        settings->lastUpdateCheckDay = 0;
        if (!saveSettings(settingsPath_, *settings))
            return nullptr;
        ShellHooks hooks;
        hooks.startupUpdateCheck = [this, url](std::uint32_t& day) {
            toppeek::shell::UpdateCheckRequest request = toppeek::shell::programUpdateRequest();
            request.versionUrl = url;
            request.ownVersion = "1.0";
            check_ = std::make_unique<BackgroundUpdateCheck>(request, day);
        };
        hooks.stopStartupUpdateCheck = [this] { check_.reset(); };
        return std::make_unique<MainWindow>(settingsPath_, filtersPath_, nullptr, hooks);
    }

    std::uint32_t savedDay() {
        std::unique_ptr<Settings> saved = createDefaultSettings();
        return loadSettings(settingsPath_, *saved) ? saved->lastUpdateCheckDay : 12345u;
    }

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        settingsPath_ = dir_.filePath("settings.dat").toStdString();
        filtersPath_ = dir_.filePath("filters.dat").toStdString();
    }

    void aSilentAddressHoldsBackNeitherTheWindowNorItsClosing() {
        HttpTestServer silent(std::nullopt);
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<MainWindow> window = startWindow(silent.url());
        QVERIFY(window);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY(window->firstActivationDone());
        // The transfer waits up to 10 s for an answer; the window did not.
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE(silent.requests().size(), std::size_t{1});
        QVERIFY(check_ && check_->pending());

        // The window answers its commands meanwhile.
        window->showStatusBarItem->trigger();
        QVERIFY(!window->showStatusBarItem->isChecked());
        QTest::qWait(100);
        QVERIFY(check_->pending());

        clock.restart();
        window.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!check_);
        // A check that got no answer is not recorded: the next start tries again.
        QCOMPARE(savedDay(), 0u);
        QVERIFY(boxes_.shown().empty());
    }

    void aLateAnswerAsksOverTheWindowAndItsDayIsSaved() {
        HttpTestServer server(HttpTestServer::reply(200, "OK", "99.0"));
        bool windowUp = false;
        std::unique_ptr<MainWindow> window = startWindow(server.url());
        QVERIFY(window);
        boxes_.whileShown(
            [&](const toppeek::dialogs::MessageBoxRequest&) { windowUp = window->isVisible(); });
        window->show();
        QTRY_COMPARE(boxes_.shown().size(), std::size_t{1});
        QVERIFY(windowUp);
        QVERIFY(!check_->pending());
        window.reset();
        boxes_.whileShown({});
        QCOMPARE(savedDay(), static_cast<std::uint32_t>(todayNumber()));
    }
};

QTEST_MAIN(StartupCheckTest)
#include "StartupCheckTest.moc"
