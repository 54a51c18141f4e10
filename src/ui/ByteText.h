// The windows' name for the program's one conversion of 8-bit texts for display
// (dialogs/DisplayText.h, whose rule is utf8FromBytes's in messages/MailText.h).
#pragma once

#include "dialogs/DisplayText.h"
#include "messages/MailText.h"

#include <string_view>

namespace toppeek::ui {

inline QString textFromBytes(std::string_view bytes, bool mayBeCut = false) {
    return dialogs::displayText(bytes, mayBeCut);
}

inline QString textFromBytes(const char* text) {
    return dialogs::displayText(text);
}

} // namespace toppeek::ui
