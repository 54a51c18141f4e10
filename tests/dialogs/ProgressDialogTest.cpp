// The progress dialog alone: its design, and its Cancel, Esc and close box without a question.
// How it serves a running operation is tested with its host (tests/ui/ProgressDialogHostTest.cpp).

#include "dialogs/ProgressDialog.h"
#include "support/ScriptedMessageBoxes.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

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
    void TearDown() override { EXPECT_EQ(progressDialogsAlive(), 0); }

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

TEST_F(ProgressDialogTest, WithoutConfirmationCancelStopsAtOnce) {
    {
        ProgressDialog dialog;
        dialog.show();
        dialog.cancelButton->click();
        EXPECT_FALSE(dialog.running());
    }
    // The close box clears the flag too, but the dialog stays.
    {
        ProgressDialog dialog;
        dialog.show();
        EXPECT_FALSE(dialog.close());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.running());
    }
    EXPECT_TRUE(boxes.shown().empty());
}

} // namespace
