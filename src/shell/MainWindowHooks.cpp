#include "shell/MainWindowHooks.h"

#include "shell/Help.h"
#include "shell/Notices.h"
#include "shell/WebLinks.h"

namespace toppeek::shell {

using ui::ShellHooks;

ShellHooks mainWindowHooks() {
    ShellHooks hooks;
    hooks.helpIndex = [](QWidget* from) { showHelpContents(from, 1); };
    hooks.onlineHelp = [] { openOnlineHelp(); };
    hooks.programHomePage = [] { openProgramHomePage(); };
    hooks.authorHomePage = [] { openAuthorHomePage(); };
    hooks.about = [](QWidget* owner) { showAbout(owner); };
    hooks.startupUpdateCheck = [](std::uint32_t& lastUpdateCheckDay) {
        runStartupUpdateCheck(lastUpdateCheckDay);
    };
    hooks.stopStartupUpdateCheck = [] { endStartupUpdateCheck(); };
    hooks.closeHelp = [] { closeHelp(); };
    return hooks;
}

} // namespace toppeek::shell
