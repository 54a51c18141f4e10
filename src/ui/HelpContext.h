// Every window carries the help topic it opens on the help key as a property, where the
// program's help handler finds it whatever kind of window asks, and whichever layer made it.
#pragma once

class QWidget;

namespace toppeek::ui {

// The help topic the preferences and the account editor they open show on the help key.
inline constexpr int kOptionsHelpContext = 1301;

void setHelpContext(QWidget* window, int context);
// 0 for a window that was given none.
int helpContext(const QWidget* window);

} // namespace toppeek::ui
