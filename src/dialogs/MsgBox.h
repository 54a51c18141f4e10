// The one way the program shows a message box. Callers describe the box with the classic flag
// values (buttons in the low nibble, icon in the next) and get back the classic identifier of the
// button that was pressed, so every caller reads the same way whatever toolkit draws the box.
//
// Tests replace the box with a responder: it receives the box that would have been shown and
// returns the button, so that no test ever waits on a modal window.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

namespace toppeek::dialogs {

// Buttons.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbOkCancel = 0x01;
inline constexpr unsigned kMbYesNoCancel = 0x03;
inline constexpr unsigned kMbYesNo = 0x04;
// Icons.
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;

// The combinations the program uses.
inline constexpr unsigned kMbInformation = kMbOk | kMbIconInformation;          // 0x40
inline constexpr unsigned kMbWarning = kMbOk | kMbIconWarning;                  // 0x30
inline constexpr unsigned kMbAskYesNoCancel = kMbYesNoCancel | kMbIconQuestion; // 0x23
inline constexpr unsigned kMbAskYesNo = kMbYesNo | kMbIconQuestion;             // 0x24
inline constexpr unsigned kMbAskOkCancel = kMbOkCancel | kMbIconQuestion;       // 0x21

// Pressed buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Size of the buffer the text is formatted into, terminator included; longer texts are cut.
inline constexpr int kMsgBoxTextSize = 4000;

// One box as it would be shown.
struct MessageBoxRequest {
    unsigned flags = 0;
    std::string title;
    std::string text; // formatted and cut to kMsgBoxTextSize - 1 bytes
    bool cut = false; // whether the formatted text was longer
};

using MessageBoxResponder = std::function<int(const MessageBoxRequest&)>;

// Replaces the real box with responder (an empty one restores the real box) and returns the
// responder that was installed before.
MessageBoxResponder setMessageBoxResponder(MessageBoxResponder responder);

// The answer a box gets when it is dismissed without a choice (Esc, close box): Cancel when it
// has a Cancel button, No for Yes/No, otherwise OK.
int dismissAnswer(unsigned flags);

// The translations' context of the boxes' titles and formats: callers mark their texts with
// QT_TRANSLATE_NOOP("MsgBox", "text"), so that lupdate finds them.
inline constexpr const char* kMsgBoxContext = "MsgBox";

// Shows the box and returns the identifier of the pressed button. The title and the format are
// shown translated when the translations have them. Without a running
// QApplication the text goes to the standard error stream and the box counts as dismissed.
int msgBox(unsigned flags, const char* title, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int msgBoxV(unsigned flags, const char* title, const char* format, va_list args);

} // namespace toppeek::dialogs
