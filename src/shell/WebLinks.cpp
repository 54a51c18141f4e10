#include "shell/WebLinks.h"

#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"

#include <QDesktopServices>
#include <QString>

#include <utility>

namespace toppeek::shell {

namespace {

UrlOpener gOpener;

} // namespace

UrlOpener setUrlOpener(UrlOpener opener) {
    return std::exchange(gOpener, std::move(opener));
}

bool openUrl(const char* url) {
    if (url == nullptr || *url == '\0')
        return false;
    // Strict parsing: a text with blanks or stray characters is refused rather than mended into
    // some other address.
    const QUrl address(QString::fromUtf8(url), QUrl::StrictMode);
    if (!address.isValid() || address.scheme().isEmpty())
        return false;
    // A copy, so that an opener may replace itself while it runs.
    if (UrlOpener opener = gOpener)
        return opener(address);
    return QDesktopServices::openUrl(address);
}

bool openWebLink(const char* url) {
    if (openUrl(url))
        return true;
    dialogs::msgBox(
        dialogs::kMbInformation, dialogs::kProgramTitle,
        QT_TRANSLATE_NOOP("MsgBox",
                          "No web browser could be started to show\n\n%s\n\nCopy the address into "
                          "your browser to read the page."),
        url != nullptr ? url : "");
    return false;
}

bool openOnlineHelp() {
    return openWebLink(kOnlineHelpUrl);
}

bool openProgramHomePage() {
    return openWebLink(kProgramHomePageUrl);
}

bool openAuthorHomePage() {
    return openWebLink(kAuthorHomePageUrl);
}

} // namespace toppeek::shell
