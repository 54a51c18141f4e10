// The two small windows that appear by themselves: the notice shown while the program starts
// (StartupNotice) and the About box (AboutBox).
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include <cstdint>

class QLabel;
class QPushButton;

namespace toppeek::shell {

// --- Start-up notice ---

// A small always-on-top window with one line of text. It takes no input: it is painted once
// when shown and stays as it is while the start-up work runs on the same thread.
class StartupNotice : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 316;
    static constexpr int kClientHeight = 70;

    StartupNotice();

    QLabel* textLabel = nullptr;
};

// The notice text shown while the program starts.
QString startupNoticeText();

// Shows the notice with title as its caption and text in textLabel, and has it painted before
// returning. A notice that is already up is replaced.
void showNotice(const QString& title, const QString& text);
// Removes the notice, if one is up.
void removeNotice();
// The notice that is up, or null.
StartupNotice* currentNotice();

// Shows the notice for as long as it lives.
class NoticeScope {
public:
    NoticeScope(const QString& title, const QString& text) { showNotice(title, text); }
    ~NoticeScope() { removeNotice(); }
    NoticeScope(const NoticeScope&) = delete;
    NoticeScope& operator=(const NoticeScope&) = delete;
};

// The start-up hook of the main window: starts the program's update check when it is due and
// returns at once. The transfer runs in the background, with no notice in front of the window;
// the day is recorded and the question asked when the answer arrives (see
// BackgroundUpdateCheck), so lastUpdateCheckDay must stay until endStartupUpdateCheck.
void runStartupUpdateCheck(std::uint32_t& lastUpdateCheckDay);
// The shutdown hook: stops a check still waiting for its answer, within a moment.
void endStartupUpdateCheck();

// --- About box ---

class AboutBox : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 277;
    static constexpr int kClientHeight = 248;
    static constexpr int kHelpContext = 2;

    // Without an owner, like every About box of the program; owner only places it.
    explicit AboutBox(QWidget* owner = nullptr);

    QLabel* iconLabel = nullptr;
    QLabel* aboutLabel = nullptr;
    QPushButton* okButton = nullptr;
};

// The text of the About box: the program, its version and what it is for.
QString aboutText();

// Runs the About box modally; OK or Esc closes it.
void showAbout(QWidget* owner = nullptr);

} // namespace toppeek::shell
