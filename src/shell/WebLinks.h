// Web addresses opened in the user's browser: the three links of the Help menu and the home page
// the update check offers. The desktop's URL opener (xdg-open on most desktops) chooses the
// browser.
#pragma once

#include <QUrl>

#include <functional>

namespace toppeek::shell {

// The project's web pages, under the address the build names (the CMake option
// TOPPEEK_WEB_ADDRESS); example.org placeholders until the project has pages of its own.
#ifndef TOPPEEK_WEB_ADDRESS
#define TOPPEEK_WEB_ADDRESS "https://example.org/toppeek/"
#endif
#ifndef TOPPEEK_AUTHOR_ADDRESS
#define TOPPEEK_AUTHOR_ADDRESS "https://example.org/"
#endif
inline constexpr const char* kOnlineHelpUrl = TOPPEEK_WEB_ADDRESS "help/";
inline constexpr const char* kProgramHomePageUrl = TOPPEEK_WEB_ADDRESS;
inline constexpr const char* kAuthorHomePageUrl = TOPPEEK_AUTHOR_ADDRESS;

// Opens a URL; true when the desktop took it.
using UrlOpener = std::function<bool(const QUrl&)>;

// Replaces the desktop's opener with opener (an empty one restores the desktop's) and returns
// the opener that was installed before. Tests use it so that no browser is ever started.
UrlOpener setUrlOpener(UrlOpener opener);

// Opens url in the default browser. False when the text is not a usable address or nothing
// could open it.
bool openUrl(const char* url);

// Opens url and, when that fails, says so in an information box that names the address, so
// that the user can copy it into a browser by hand. Returns what openUrl returned.
bool openWebLink(const char* url);

// The commands "Online Help...", "&Program home page" and "&Author home Page".
bool openOnlineHelp();
bool openProgramHomePage();
bool openAuthorHomePage();

} // namespace toppeek::shell
