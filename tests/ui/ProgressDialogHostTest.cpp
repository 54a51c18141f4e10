// The progress dialog as the host of a running operation, and the two cancel flags: the work of a
// run is a test function that pokes the host and the dialog the way the operations and the user
// do.

#include "ui/ProgressDialogHost.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgressDialog.h"
#include "operations/OperationHost.h"
#include "support/ScriptedMessageBoxes.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace toppeek::dialogs;
using namespace toppeek::operations;

namespace {

using toppeek::test::ScriptedMessageBoxes;
using toppeek::ui::ProgressDialogHost;

int progressDialogsAlive() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<ProgressDialog*>(widget) != nullptr)
            ++count;
    return count;
}

// Runs work under a host of its own, as an operation runs. True when the work ran and no cancel
// was accepted meanwhile; false when a cancel was accepted or another run was in progress, in
// which case nothing is shown and work is not called.
bool runWithProgress(const std::function<void()>& work) {
    ProgressDialogHost host;
    {
        RunningHost running(host);
        if (!running.started())
            return false;
        if (work)
            work();
    }
    return host.goOn();
}

ProgressDialog* currentDialog() {
    return ProgressDialogHost::current();
}

OperationHost& host() {
    return *runningHost();
}

// The running operation's own flag; false when none runs.
bool progressRunning() {
    return operationRunning() && runningHost()->goOn();
}

class ProgressDialogHostTest : public testing::Test {
protected:
    void SetUp() override { setCancelFlag(false); }
    void TearDown() override {
        EXPECT_FALSE(operationRunning());
        EXPECT_EQ(currentDialog(), nullptr);
        EXPECT_EQ(progressDialogsAlive(), 0);
    }

    ScriptedMessageBoxes boxes;
};

TEST_F(ProgressDialogHostTest, TheDialogIsShownOnlyWhileTheWorkRuns) {
    bool ran = false;
    ProgressDialog* seen = nullptr;
    bool result = runWithProgress([&] {
        ran = true;
        seen = currentDialog();
        ASSERT_NE(seen, nullptr);
        EXPECT_TRUE(seen->isVisible());
        EXPECT_TRUE(operationRunning());
        EXPECT_TRUE(progressRunning());
        EXPECT_EQ(progressDialogsAlive(), 1);
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(result);
    EXPECT_FALSE(progressRunning());
    // Without a work step the dialog still comes and goes.
    EXPECT_TRUE(runWithProgress({}));
}

TEST_F(ProgressDialogHostTest, ASecondRunIsRefusedWithoutShowingAnything) {
    bool innerRan = false;
    bool innerResult = true;
    EXPECT_TRUE(runWithProgress([&] {
        innerResult = runWithProgress([&] { innerRan = true; });
        EXPECT_EQ(progressDialogsAlive(), 1);
        // The refused run leaves the running one as it was.
        EXPECT_TRUE(operationRunning());
        EXPECT_TRUE(progressRunning());
    }));
    EXPECT_FALSE(innerResult);
    EXPECT_FALSE(innerRan);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(ProgressDialogHostTest, CaptionLinesAndBar) {
    runWithProgress([&] {
        ProgressDialog& dialog = *currentDialog();
        host().setCaption("Checking mail.example.com");
        host().setProgressLine("Message 3 of 10");
        host().setStatusLine("STAT\r\n");
        EXPECT_EQ(dialog.windowTitle(), "Checking mail.example.com");
        EXPECT_EQ(dialog.progressLabel->text(), "Message 3 of 10");
        EXPECT_EQ(dialog.statusLabel->text(), "STAT\r\n");
        EXPECT_TRUE(dialog.spareLabel->text().isEmpty());

        host().setProgressBar(3, 10);
        EXPECT_EQ(dialog.progressBar->minimum(), 0);
        EXPECT_EQ(dialog.progressBar->maximum(), 10);
        EXPECT_EQ(dialog.progressBar->value(), 3);
        // The maximum is set before the position, so a position beyond the old maximum of 10 is
        // kept.
        host().setProgressBar(150, 250);
        EXPECT_EQ(dialog.progressBar->maximum(), 250);
        EXPECT_EQ(dialog.progressBar->value(), 150);
    });
    // Without a dialog they do nothing (and do not crash).
    ProgressDialogHost idle;
    idle.setCaption("x");
    idle.setProgressLine("x");
    idle.setStatusLine("x");
    idle.setProgressBar(1, 2);
    idle.cancel();
    EXPECT_TRUE(idle.goOn());
}

// Records the text a label had each time it was painted.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QLabel* label) : label_(label) { label->installEventFilter(this); }
    QStringList painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::Paint)
            painted.append(label_->text());
        return false;
    }

private:
    QLabel* label_;
};

TEST_F(ProgressDialogHostTest, RapidChangesArePaintedTogetherAndTheLastOneIsShown) {
    runWithProgress([&] {
        ProgressDialog& dialog = *currentDialog();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        PaintRecorder recorder(dialog.progressLabel);
        for (int i = 1; i <= 500; ++i) {
            host().setProgressLine("Message " + std::to_string(i) + " of 500");
            host().pump();
        }
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return !recorder.painted.isEmpty() &&
                       recorder.painted.last() == "Message 500 of 500";
            },
            5000));
        // Far fewer paints than changes (one per paint interval at most).
        EXPECT_LT(recorder.painted.size(), 100);
    });
}

TEST_F(ProgressDialogHostTest, TextsAreCutTo255Bytes) {
    runWithProgress([&] {
        ProgressDialog& dialog = *currentDialog();
        const std::string longName(300, 'h');
        host().setCaption(longName);
        host().setProgressLine(longName);
        host().setStatusLine("Looking up " + longName);
        EXPECT_EQ(dialog.windowTitle(), QString(255, 'h'));
        EXPECT_EQ(dialog.progressLabel->text(), QString(255, 'h'));
        EXPECT_EQ(dialog.statusLabel->text().size(), 255);

        // UTF-8 cut inside a character: the broken end is dropped, the rest stays UTF-8.
        std::string accents;
        for (int i = 0; i < 200; ++i)
            accents += "\xC3\xA9"; // é
        host().setProgressLine(accents);
        EXPECT_EQ(dialog.progressLabel->text(), QString(127, QChar(0xE9)));
        // Bytes that are not UTF-8 show as Latin-1.
        host().setProgressLine("caf\xE9");
        EXPECT_EQ(dialog.progressLabel->text(), QString::fromUtf8("caf\xC3\xA9"));
    });
}

TEST_F(ProgressDialogHostTest, CancelAnsweredNoChangesNothing) {
    boxes.answer(kIdNo);
    EXPECT_TRUE(runWithProgress([&] {
        currentDialog()->cancelButton->click();
        EXPECT_TRUE(progressRunning());
        EXPECT_FALSE(cancelRequested());
    }));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].flags, 0x24u);
    EXPECT_EQ(boxes.shown()[0].title, "TopPeek");
    EXPECT_FALSE(boxes.shown()[0].text.empty());
}

TEST_F(ProgressDialogHostTest, CancelAnsweredYesSetsBothFlagsAndTheRunReportsIt) {
    boxes.answer(kIdYes);
    EXPECT_FALSE(runWithProgress([&] {
        ProgressDialog& dialog = *currentDialog();
        dialog.cancelButton->click();
        EXPECT_FALSE(progressRunning());
        EXPECT_TRUE(cancelRequested());
        // The dialog stays up until the work is over; a second click, or a cancel asked for
        // elsewhere (the window closing), asks nothing more.
        EXPECT_TRUE(dialog.isVisible());
        dialog.cancelButton->click();
        host().cancel();
    }));
    EXPECT_EQ(boxes.flags(), std::vector<unsigned>{0x24});
    // The cancel flag stays set until the next operation clears it.
    EXPECT_TRUE(cancelRequested());
}

TEST_F(ProgressDialogHostTest, EscPressesCancel) {
    boxes.answer(kIdYes);
    EXPECT_FALSE(runWithProgress([&] {
        ProgressDialog& dialog = *currentDialog();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible());
    }));
    EXPECT_EQ(boxes.flags(), std::vector<unsigned>{0x24});
}

TEST_F(ProgressDialogHostTest, ClicksDuringTheQuestionAskNoSecondQuestion) {
    boxes.whileShown([](const ScriptedMessageBoxes::Request&) {
        ProgressDialog* dialog = currentDialog();
        dialog->cancelButton->click();
        dialog->close();
        host().cancel();
    });
    boxes.answer(kIdNo);
    EXPECT_TRUE(runWithProgress([&] {
        ProgressDialog& dialog = *currentDialog();
        dialog.cancelButton->click();
        EXPECT_TRUE(dialog.isVisible());
    }));
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST_F(ProgressDialogHostTest, CloseBoxAnsweredYesHidesTheDialogWhileTheRunWaits) {
    boxes.answer(kIdYes);
    bool hidden = false;
    EXPECT_FALSE(runWithProgress([&] {
        ProgressDialog* dialog = currentDialog();
        QTimer::singleShot(0, dialog, [dialog] { dialog->close(); });
        hidden = QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 5000);
        // Hidden, not gone: the host frees it only when the work returns.
        EXPECT_EQ(currentDialog(), dialog);
        EXPECT_TRUE(operationRunning());
        EXPECT_FALSE(progressRunning());
        EXPECT_TRUE(cancelRequested());
    }));
    EXPECT_TRUE(hidden);
    EXPECT_EQ(boxes.flags(), std::vector<unsigned>{0x24});
}

TEST_F(ProgressDialogHostTest, CloseBoxAnsweredNoKeepsTheDialog) {
    boxes.answer(kIdNo);
    EXPECT_TRUE(runWithProgress([&] {
        ProgressDialog& dialog = *currentDialog();
        EXPECT_FALSE(dialog.close());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(progressRunning());
    }));
    EXPECT_FALSE(cancelRequested());
}

// What an operation tells or asks comes up in the program's message box: a warning with the
// warning's icon, a question about a risk with Yes and No and the warning's icon.
TEST_F(ProgressDialogHostTest, WhatTheOperationTellsAndAsksIsShownInMessageBoxes) {
    boxes.answer(kIdOk).answer(kIdOk).answer(kIdYes);
    bool trusted = false;
    bool again = true;
    EXPECT_TRUE(runWithProgress([&] {
        host().tell("Could not connect to the mail server mail.example.com.");
        host().tell("The settings have no room left.", true);
        trusted = host().ask({"Trust this certificate?", true});
        again = host().ask({"Try again?"});
    }));
    EXPECT_TRUE(trusted);
    // Dismissed: No.
    EXPECT_FALSE(again);
    EXPECT_EQ(boxes.flags(), (std::vector<unsigned>{0x40, 0x30, 0x34, 0x24}));
    ASSERT_EQ(boxes.shown().size(), 4u);
    EXPECT_EQ(boxes.shown()[0].text, "Could not connect to the mail server mail.example.com.");
    EXPECT_EQ(boxes.shown()[2].text, "Trust this certificate?");
    EXPECT_EQ(boxes.shown()[3].title, "TopPeek");
}

} // namespace
