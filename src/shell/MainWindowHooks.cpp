#include "shell/MainWindowHooks.h"

#include "shell/DesktopNotifier.h"
#include "shell/Help.h"
#include "shell/Notices.h"
#include "shell/WebLinks.h"

namespace toppeek::shell {

using ui::ShellHooks;
namespace {

// One notifier per window, made with its first notice, so that a later notice replaces the one
// still up and the click reaches the window.
void showNewMailNotice(QWidget* window, const std::vector<toppeek::storage::NewMailCount>& counts,
                       std::function<void()> onClicked) {
    const std::optional<NoticeText> notice = newMailNotice(counts);
    if (!notice)
        return;
    auto* notifier = window->findChild<DesktopNotifier*>(QStringLiteral("newMailNotifier"),
                                                         Qt::FindDirectChildrenOnly);
    if (notifier == nullptr) {
        notifier = new DesktopNotifier(std::move(onClicked), window);
        notifier->setObjectName(QStringLiteral("newMailNotifier"));
    }
    notifier->show(*notice);
}

} // namespace

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
    hooks.newMailNotice = showNewMailNotice;
    return hooks;
}

} // namespace toppeek::shell
