// The program's message box: the real box for every flag combination in use (a timer presses
// the button, so nothing waits on a person), and the responder that tests put in its place.

#include "dialogs/MsgBox.h"
#include "dialogs/DisplayText.h"
#include "support/ScriptedMessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

using namespace toppeek::dialogs;

namespace {

using toppeek::test::ScriptedMessageBoxes;

struct SeenBox {
    bool found = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
};

// Shows a real box and, once it is up, presses button (or Esc when button is NoButton).
int showAndPress(unsigned flags, QMessageBox::StandardButton button, SeenBox& seen,
                 const char* text = "Are you sure?") {
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        poll.stop();
        seen = {true,        box->icon(),      box->standardButtons(), box->windowTitle(),
                box->text(), box->textFormat()};
        if (button == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else if (QAbstractButton* pressed = box->button(button))
            pressed->click();
        else
            box->done(QMessageBox::Cancel);
    });
    poll.start();
    return msgBox(flags, "TopPeek", "%s", text);
}

struct FlagCase {
    unsigned flags;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    int escAnswer;
};

void PrintTo(const FlagCase& c, std::ostream* out) {
    *out << "flags 0x" << std::hex << c.flags;
}

class RealMessageBox : public testing::TestWithParam<FlagCase> {};

TEST_P(RealMessageBox, ButtonsIconAndEveryAnswer) {
    const FlagCase& c = GetParam();
    const std::pair<QMessageBox::StandardButton, int> all[] = {{QMessageBox::Ok, kIdOk},
                                                               {QMessageBox::Cancel, kIdCancel},
                                                               {QMessageBox::Yes, kIdYes},
                                                               {QMessageBox::No, kIdNo}};
    for (auto [button, id] : all) {
        if (!c.buttons.testFlag(button))
            continue;
        SeenBox seen;
        EXPECT_EQ(showAndPress(c.flags, button, seen), id);
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.buttons, c.buttons);
        EXPECT_EQ(seen.title, "TopPeek");
        EXPECT_EQ(seen.text, "Are you sure?");
    }
    SeenBox seen;
    EXPECT_EQ(showAndPress(c.flags, QMessageBox::NoButton, seen), c.escAnswer);
    EXPECT_EQ(dismissAnswer(c.flags), c.escAnswer);
}

INSTANTIATE_TEST_SUITE_P(
    FlagsInUse, RealMessageBox,
    testing::Values(
        FlagCase{0x40, QMessageBox::Information, QMessageBox::Ok, kIdOk},
        FlagCase{0x30, QMessageBox::Warning, QMessageBox::Ok, kIdOk},
        FlagCase{0x23, QMessageBox::Question,
                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, kIdCancel},
        FlagCase{0x24, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, kIdNo},
        FlagCase{0x21, QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel, kIdCancel}),
    [](const testing::TestParamInfo<FlagCase>& info) {
        char name[16];
        std::snprintf(name, sizeof name, "Flags%02X", info.param.flags);
        return std::string(name);
    });

TEST(MessageBox, TextIsPlainAndShownAsItsBytesDecode) {
    SeenBox seen;
    showAndPress(0x40, QMessageBox::Ok, seen, "<b>mail.example.com</b> caf\xE9");
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.text, QString::fromUtf8("<b>mail.example.com</b> caf\xC3\xA9"));
}

// A text cut right behind a Latin-1 byte shows that byte as the list would, not a shorter text.
TEST(MessageBox, CutTextDecodesAsTheListDoes) {
    SeenBox seen;
    const std::string text = std::string(3995, 'x') + "caf\xE9 and more";
    showAndPress(0x40, QMessageBox::Ok, seen, text.c_str());
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.text.endsWith(QString::fromUtf8("xcaf\xC3\xA9")))
        << seen.text.right(8).toStdString();
    EXPECT_EQ(seen.text, displayText(text.substr(0, 3999), true));
}

TEST(MessageBox, ResponderSeesTheFormattedBoxCutTo3999Bytes) {
    ScriptedMessageBoxes boxes;
    boxes.answer(kIdYes);
    EXPECT_EQ(msgBox(0x24, "TopPeek", "Remove %d messages from %s?", 3, "alice"), kIdYes);
    const std::string longText(5000, 'x');
    // Answers used up: the box is dismissed as Esc would.
    EXPECT_EQ(msgBox(0x23, "TopPeek", "%s", longText.c_str()), kIdCancel);
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].flags, 0x24u);
    EXPECT_EQ(boxes.shown()[0].title, "TopPeek");
    EXPECT_EQ(boxes.shown()[0].text, "Remove 3 messages from alice?");
    EXPECT_EQ(boxes.shown()[1].text, std::string(3999, 'x'));
}

TEST(MessageBox, RespondersNestAndRestore) {
    {
        ScriptedMessageBoxes outer;
        {
            ScriptedMessageBoxes inner;
            inner.answer(kIdNo);
            EXPECT_EQ(msgBox(0x24, "TopPeek", "inner"), kIdNo);
            EXPECT_EQ(inner.shown().size(), 1u);
        }
        outer.answer(kIdYes);
        EXPECT_EQ(msgBox(0x24, "TopPeek", "outer"), kIdYes);
        EXPECT_EQ(outer.shown().size(), 1u);
    }
    // The real box is back.
    SeenBox seen;
    EXPECT_EQ(showAndPress(0x40, QMessageBox::Ok, seen), kIdOk);
    EXPECT_TRUE(seen.found);
}

} // namespace
