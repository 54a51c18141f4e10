// The program's name as every window and message box shows it.
#pragma once

namespace toppeek::dialogs {

inline constexpr const char* kProgramTitle = "TopPeek";

} // namespace toppeek::dialogs
