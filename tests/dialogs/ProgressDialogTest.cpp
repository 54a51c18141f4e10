// The progress dialog, its runner and the two cancel flags, driven directly: the work step of a
// run is a test function that pokes the dialog the way the operations and the user do.

#include "dialogs/ProgressDialog.h"
#include "support/ScriptedMessageBoxes.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

using namespace toppeek::dialogs;

namespace {

using toppeek::test::ScriptedMessageBoxes;

int progressDialogsAlive() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<ProgressDialog*>(widget) != nullptr)
            ++count;
    return count;
}

class ProgressDialogTest : public testing::Test {
protected:
    void SetUp() override { setCancelFlag(false); }
    void TearDown() override {
        EXPECT_FALSE(progressBusy());
        EXPECT_EQ(currentProgressDialog(), nullptr);
        EXPECT_EQ(progressDialogsAlive(), 0);
    }

    ScriptedMessageBoxes boxes;
};

TEST_F(ProgressDialogTest, DesignOfTheDialog) {
    ProgressDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Processing");
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(dialog.isModal());
    EXPECT_TRUE(dialog.running());
    EXPECT_EQ(dialog.cancelButton->text(), "&Cancel");
    EXPECT_EQ(dialog.progressBar->maximum(), 100);
    for (QLabel* label : {dialog.progressLabel, dialog.statusLabel, dialog.spareLabel}) {
        EXPECT_TRUE(label->text().isEmpty());
        // Host names and server replies end up here; they must never be read as markup.
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }
}

TEST_F(ProgressDialogTest, RunnerShowsTheDialogOnlyWhileTheWorkRuns) {
    bool ran = false;
    ProgressDialog* seen = nullptr;
    bool result = runWithProgress(
        [&] {
            ran = true;
            seen = currentProgressDialog();
            ASSERT_NE(seen, nullptr);
            EXPECT_TRUE(seen->isVisible());
            EXPECT_TRUE(progressBusy());
            EXPECT_TRUE(progressRunning());
            EXPECT_EQ(progressDialogsAlive(), 1);
        },
        {});
    EXPECT_TRUE(ran);
    EXPECT_TRUE(result);
    EXPECT_FALSE(progressRunning());
    // Without a work step the dialog still comes and goes.
    EXPECT_TRUE(runWithProgress({}, {}));
}

TEST_F(ProgressDialogTest, ASecondRunIsRefusedWithoutShowingAnything) {
    bool innerRan = false;
    bool innerResult = true;
    EXPECT_TRUE(runWithProgress(
        [&] {
            innerResult = runWithProgress([&] { innerRan = true; }, {});
            EXPECT_EQ(progressDialogsAlive(), 1);
            // The refused run leaves the running one as it was.
            EXPECT_TRUE(progressBusy());
            EXPECT_TRUE(progressRunning());
        },
        {}));
    EXPECT_FALSE(innerResult);
    EXPECT_FALSE(innerRan);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(ProgressDialogTest, CaptionLinesAndBar) {
    runWithProgress(
        [&] {
            ProgressDialog& dialog = *currentProgressDialog();
            setProgressCaption("Checking %s", "mail.example.com");
            setProgressLine("Message %d of %d", 3, 10);
            setStatusLine("%s", "STAT\r\n");
            EXPECT_EQ(dialog.windowTitle(), "Checking mail.example.com");
            EXPECT_EQ(dialog.progressLabel->text(), "Message 3 of 10");
            EXPECT_EQ(dialog.statusLabel->text(), "STAT\r\n");
            EXPECT_TRUE(dialog.spareLabel->text().isEmpty());

            setProgressBar(3, 10);
            EXPECT_EQ(dialog.progressBar->minimum(), 0);
            EXPECT_EQ(dialog.progressBar->maximum(), 10);
            EXPECT_EQ(dialog.progressBar->value(), 3);
            // The maximum is set before the position, so a position beyond the old maximum of
            // 10 is kept.
            setProgressBar(150, 250);
            EXPECT_EQ(dialog.progressBar->maximum(), 250);
            EXPECT_EQ(dialog.progressBar->value(), 150);
        },
        {});
    // Without a dialog they do nothing (and do not crash).
    setProgressCaption("x");
    setProgressLine("x");
    setStatusLine("x");
    setProgressBar(1, 2);
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

TEST_F(ProgressDialogTest, RapidChangesArePaintedTogetherAndTheLastOneIsShown) {
    runWithProgress(
        [&] {
            ProgressDialog& dialog = *currentProgressDialog();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            PaintRecorder recorder(dialog.progressLabel);
            for (int i = 1; i <= 500; ++i) {
                setProgressLine("Message %d of 500", i);
                processPendingEvents();
            }
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    return !recorder.painted.isEmpty() &&
                           recorder.painted.last() == "Message 500 of 500";
                },
                5000));
            // Far fewer paints than changes (one per paint interval at most).
            EXPECT_LT(recorder.painted.size(), 100);
        },
        {});
}

TEST_F(ProgressDialogTest, TextsAreCutTo255Bytes) {
    runWithProgress(
        [&] {
            ProgressDialog& dialog = *currentProgressDialog();
            const std::string longName(300, 'h');
            setProgressCaption("%s", longName.c_str());
            setProgressLine("%s", longName.c_str());
            setStatusLine("Looking up %s", longName.c_str());
            EXPECT_EQ(dialog.windowTitle(), QString(255, 'h'));
            EXPECT_EQ(dialog.progressLabel->text(), QString(255, 'h'));
            EXPECT_EQ(dialog.statusLabel->text().size(), 255);

            // UTF-8 cut inside a character: the broken end is dropped, the rest stays UTF-8.
            std::string accents;
            for (int i = 0; i < 200; ++i)
                accents += "\xC3\xA9"; // é
            setProgressLine("%s", accents.c_str());
            EXPECT_EQ(dialog.progressLabel->text(), QString(127, QChar(0xE9)));
            // Bytes that are not UTF-8 show as Latin-1.
            setProgressLine("%s", "caf\xE9");
            EXPECT_EQ(dialog.progressLabel->text(), QString::fromUtf8("caf\xC3\xA9"));
        },
        {});
}

TEST_F(ProgressDialogTest, CancelAnsweredNoChangesNothing) {
    boxes.answer(kIdNo);
    EXPECT_TRUE(runWithProgress(
        [&] {
            currentProgressDialog()->cancelButton->click();
            EXPECT_TRUE(progressRunning());
            EXPECT_FALSE(cancelRequested());
        },
        confirmCancel));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].flags, 0x24u);
    EXPECT_EQ(boxes.shown()[0].title, "TopPeek");
    EXPECT_FALSE(boxes.shown()[0].text.empty());
}

TEST_F(ProgressDialogTest, CancelAnsweredYesSetsBothFlagsAndTheRunReportsIt) {
    boxes.answer(kIdYes);
    EXPECT_FALSE(runWithProgress(
        [&] {
            ProgressDialog& dialog = *currentProgressDialog();
            dialog.cancelButton->click();
            EXPECT_FALSE(progressRunning());
            EXPECT_TRUE(cancelRequested());
            // The dialog stays up until the work is over; a second click asks nothing more.
            EXPECT_TRUE(dialog.isVisible());
            dialog.cancelButton->click();
        },
        confirmCancel));
    EXPECT_EQ(boxes.flags(), std::vector<unsigned>{0x24});
    // The cancel flag stays set until the next operation clears it.
    EXPECT_TRUE(cancelRequested());
}

TEST_F(ProgressDialogTest, EscPressesCancel) {
    int asked = 0;
    EXPECT_FALSE(runWithProgress(
        [&] {
            ProgressDialog& dialog = *currentProgressDialog();
            QTest::keyClick(&dialog, Qt::Key_Escape);
            EXPECT_TRUE(dialog.isVisible());
        },
        [&] { return ++asked == 1; }));
    EXPECT_EQ(asked, 1);
}

TEST_F(ProgressDialogTest, ClicksDuringTheQuestionAskNoSecondQuestion) {
    boxes.whileShown([](const ScriptedMessageBoxes::Request&) {
        ProgressDialog* dialog = currentProgressDialog();
        dialog->cancelButton->click();
        dialog->close();
    });
    boxes.answer(kIdNo);
    EXPECT_TRUE(runWithProgress(
        [&] {
            ProgressDialog& dialog = *currentProgressDialog();
            dialog.cancelButton->click();
            EXPECT_TRUE(dialog.isVisible());
        },
        confirmCancel));
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST_F(ProgressDialogTest, WithoutConfirmationCancelStopsAtOnce) {
    EXPECT_FALSE(runWithProgress(
        [&] {
            ProgressDialog& dialog = *currentProgressDialog();
            dialog.cancelButton->click();
            EXPECT_FALSE(progressRunning());
        },
        {}));
    // The close box clears the flag too, but the dialog stays.
    EXPECT_FALSE(runWithProgress(
        [&] {
            ProgressDialog& dialog = *currentProgressDialog();
            EXPECT_FALSE(dialog.close());
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_FALSE(progressRunning());
        },
        {}));
    EXPECT_TRUE(boxes.shown().empty());
    // Neither touches the process-wide flag; only confirmCancel does.
    EXPECT_FALSE(cancelRequested());
}

TEST_F(ProgressDialogTest, CloseBoxAnsweredYesHidesTheDialogWhileTheRunnerWaits) {
    boxes.answer(kIdYes);
    bool hidden = false;
    EXPECT_FALSE(runWithProgress(
        [&] {
            ProgressDialog* dialog = currentProgressDialog();
            QTimer::singleShot(0, dialog, [dialog] { dialog->close(); });
            hidden = QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 5000);
            // Hidden, not gone: the runner frees it only when the work returns.
            EXPECT_EQ(currentProgressDialog(), dialog);
            EXPECT_TRUE(progressBusy());
            EXPECT_FALSE(progressRunning());
            EXPECT_TRUE(cancelRequested());
        },
        confirmCancel));
    EXPECT_TRUE(hidden);
    EXPECT_EQ(boxes.flags(), std::vector<unsigned>{0x24});
}

TEST_F(ProgressDialogTest, CloseBoxAnsweredNoKeepsTheDialog) {
    boxes.answer(kIdNo);
    EXPECT_TRUE(runWithProgress(
        [&] {
            ProgressDialog& dialog = *currentProgressDialog();
            EXPECT_FALSE(dialog.close());
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(progressRunning());
        },
        confirmCancel));
    EXPECT_FALSE(cancelRequested());
}

TEST_F(ProgressDialogTest, ConnectionStatusOnTheStatusLine) {
    using toppeek::mail::ConnectionControl;
    using toppeek::mail::ConnectStatus;
    runWithProgress(
        [&] {
            QLabel& status = *currentProgressDialog()->statusLabel;
            ConnectionControl control;
            control.statusText = "mail.example.com";
            control.status = ConnectStatus::Resolving;
            showConnectStatus(control);
            EXPECT_TRUE(status.text().contains("mail.example.com"));

            control.status = ConnectStatus::Connecting;
            showConnectStatus(control);
            QString connecting = status.text();
            EXPECT_FALSE(connecting.isEmpty());
            EXPECT_FALSE(connecting.contains("mail.example.com"));

            control.statusText = "192.0.2.7";
            control.port = 110;
            control.status = ConnectStatus::Connected;
            showConnectStatus(control);
            EXPECT_TRUE(status.text().contains("192.0.2.7"));
            EXPECT_TRUE(status.text().contains("110"));

            control.statusText = "PASS xxxx";
            control.status = ConnectStatus::CommandSent;
            showConnectStatus(control);
            EXPECT_EQ(status.text(), "PASS xxxx");

            control.statusText = "Securing connection\u2026 TLSv1.3, TLS_AES_256_GCM_SHA384";
            control.status = ConnectStatus::Securing;
            showConnectStatus(control);
            EXPECT_EQ(status.text(), QString::fromUtf8(control.statusText.c_str()));
            control.statusText = "PASS xxxx";
            control.status = ConnectStatus::CommandSent;
            showConnectStatus(control);

            // A status the display does not know leaves the line alone.
            control.statusText = "something else";
            control.status = static_cast<ConnectStatus>(5);
            showConnectStatus(control);
            EXPECT_EQ(status.text(), "PASS xxxx");
        },
        {});
}

} // namespace
