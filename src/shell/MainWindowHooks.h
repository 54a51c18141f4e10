// The help, web links, About box and update check, handed to the main window, which sits in the
// layer below and cannot call them itself.
#pragma once

#include "ui/MainWindow.h"

namespace toppeek::shell {

// Every hook filled in. The start-up update check reaches the program's version address when a
// check is due, in the background; the window's shutdown stops it.
toppeek::ui::ShellHooks mainWindowHooks();

} // namespace toppeek::shell
