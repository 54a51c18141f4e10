// Shared set-up of the main window tests: scripted mailboxes, a window
// started on a settings file of its own, and timers that act inside the
// event loops the window's commands run.
#pragma once

#include "operations/MailboxOperations.h"
#include "storage/Settings.h"
#include "support/ScriptedMailbox.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/ScriptedPop3Server.h"
#include "ui/MainWindow.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace toppeek::test {

// Three messages, two for the account and one for another address, in no order of any column.
inline const std::vector<Mail> kThree = {{"zed@example.org", "alice@example.com", "beta", 3000},
                                         {"amy@example.org", "alice@example.com", "gamma", 100},
                                         {"kim@spam.test", "bulk@example.net", "alpha", 2000}};

// The UIDL reply of a mailbox of count messages, message n with the unique-id "uid-n".
inline std::string uidListing(int count) {
    std::string reply = "+OK\r\n";
    for (int n = 1; n <= count; ++n)
        reply += std::to_string(n) + " uid-" + std::to_string(n) + "\r\n";
    return reply + ".\r\n";
}

inline ScriptedPop3Server& listed(ScriptedPop3Server& server, int n, const Mail& mail) {
    const std::string number = std::to_string(n);
    return server
        .expect("LIST " + number, "+OK " + number + " " + std::to_string(mail.size) + "\r\n")
        .expect("TOP " + number + " 0", "+OK\r\n" + headerOf(mail) + "\r\n.\r\n");
}

// A whole check of a mailbox holding mails.
inline void scriptCheck(ScriptedPop3Server& server, const std::vector<Mail>& mails) {
    loggedIn(server).expect("STAT", "+OK " + std::to_string(mails.size()) + " 9999\r\n");
    if (!mails.empty())
        server.expect("UIDL", uidListing(static_cast<int>(mails.size())));
    for (std::size_t i = 0; i < mails.size(); ++i)
        listed(server, static_cast<int>(i + 1), mails[i]);
    server.expect("QUIT", "+OK bye\r\n");
}

// Runs action from a timer, inside whatever loop processes events next,
// once condition holds.
class WhenTrue {
public:
    WhenTrue(std::function<bool()> condition, std::function<void()> action)
        : condition_(std::move(condition)), action_(std::move(action)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!condition_())
                return;
            timer_.stop();
            fired_ = true;
            action_();
        });
        timer_.start(2);
    }
    bool fired() const { return fired_; }

private:
    std::function<bool()> condition_;
    std::function<void()> action_;
    QTimer timer_;
    bool fired_ = false;
};

// Handles the next modal dialog of type Dialog with act, once it is up.
template <typename Dialog> std::unique_ptr<WhenTrue> onDialog(std::function<void(Dialog*)> act) {
    return std::make_unique<WhenTrue>(
        [] { return qobject_cast<Dialog*>(QApplication::activeModalWidget()) != nullptr; },
        [act = std::move(act)] { act(qobject_cast<Dialog*>(QApplication::activeModalWidget())); });
}

// A check clock the test ticks by hand.
class HandClock : public toppeek::ui::CheckClock {
public:
    void start(std::function<void()> tick) override { tick_ = std::move(tick); }
    void tick() { tick_(); }

private:
    std::function<void()> tick_;
};

// Each minute of the window's clock is one call of tick().
inline HandClock& handClock(toppeek::ui::MainWindow& window) {
    auto clock = std::make_unique<HandClock>();
    HandClock& kept = *clock;
    window.setCheckClock(std::move(clock));
    return kept;
}

// The marks of the listed messages in list order: x marked for deletion, - not.
inline QString marksOf(toppeek::ui::MainWindow& window) {
    QString text;
    for (const toppeek::messages::MessageEntry* entry : window.messageList())
        text += entry->mark == toppeek::messages::MarkState::Unmarked ? '-' : 'x';
    return text;
}

inline QStringList columnTexts(toppeek::ui::MainWindow& window, int column) {
    QStringList texts;
    QAbstractItemModel* model = window.messageView->activeView()->model();
    for (int row = 0; row < window.messageView->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

inline void clickColumn(toppeek::ui::MainWindow& window, int column) {
    QHeaderView* header = window.messageView->headerView();
    QPoint at(header->sectionViewportPosition(column) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// A settings file with one account per host (user alice, password secret),
// changed by adjust if given, and a window started on it, past its first
// activation. Null when that could not be done.
inline std::unique_ptr<toppeek::ui::MainWindow>
startMainWindow(const std::string& settingsPath, const std::string& filtersPath,
                const std::vector<std::string>& hosts, std::int16_t selected = 0,
                const std::function<void(toppeek::storage::Settings&)>& adjust = {},
                toppeek::ui::ShellHooks hooks = {}) {
    std::unique_ptr<toppeek::storage::Settings> settings =
        toppeek::storage::createDefaultSettings();
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        std::unique_ptr<toppeek::storage::Account> account = toppeek::storage::newAccount();
        account->address = "alice" + std::to_string(i) + "@example.com";
        account->host = hosts[i];
        account->userName = "alice";
        account->password = "secret";
        settings->accounts.append(account.release());
    }
    settings->selectedAccount = selected;
    if (adjust)
        adjust(*settings);
    if (!toppeek::storage::saveSettings(settingsPath, *settings))
        return nullptr;
    auto window = std::make_unique<toppeek::ui::MainWindow>(settingsPath, filtersPath, nullptr,
                                                            std::move(hooks));
    // Short waits: a scripted server that falls silent ends the operation soon.
    window->setOperationOptions(toppeek::operations::OperationOptions{2});
    window->show();
    if (!QTest::qWaitFor([&] { return window->firstActivationDone(); }, 5000))
        return nullptr;
    return window;
}

// Points the current account at server and opens the connection; true when
// the conversation went as scripted and the window is connected.
inline bool connectTo(toppeek::ui::MainWindow& window, ScriptedPop3Server& server) {
    using namespace std::chrono_literals;
    server.start();
    window.settings().accounts.at(window.settings().selectedAccount)->host = server.hostAndPort();
    window.OpenConnection();
    return server.waitUntilDone(5s) && server.problems().empty() && window.connected();
}

// What every main window test starts from: its own settings and filters files and scripted
// message boxes. A test class derives from it and calls these from its init() and cleanup().
class WindowTestFiles {
protected:
    void setUpFiles() {
        dir_ = std::make_unique<QTemporaryDir>();
        settingsPath_ = dir_->filePath("settings.dat").toStdString();
        filtersPath_ = dir_->filePath("filters.dat").toStdString();
        boxes_ = std::make_unique<ScriptedMessageBoxes>();
    }

    void tearDownFiles() {
        boxes_.reset();
        dir_.reset();
    }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedMessageBoxes> boxes_;
    std::string settingsPath_;
    std::string filtersPath_;
};

} // namespace toppeek::test
