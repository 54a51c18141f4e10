// The user guide: HTML pages in the help folder beside the executable, shown in the program's
// own help window (HelpWindow), the contents on the left and the page on the right.
//
// Every window carries a help context (the "helpContext" property), but the guide is one book:
// every context, like the Help menu's "&Index", opens it at its table of contents.
#pragma once

#include <QUrl>
#include <QWidget>

#include <string>

class QPushButton;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace toppeek::shell {

inline constexpr const char* kHelpFolderName = "help";
inline constexpr const char* kHelpContentsPage = "index.html";

// The folder the guide is read from: the help folder beside the executable unless another was
// set.
std::string helpFolder();
// Reads the guide from folder instead; the empty text goes back to the one beside the
// executable.
void setHelpFolder(std::string folder);
// The table of contents page.
QUrl helpContentsUrl();

class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the table of contents page.
    void showContents();

    QPushButton* contentsButton = nullptr; // back to the table of contents
    QPushButton* backButton = nullptr;     // the page shown before
    QTreeWidget* contentsTree = nullptr;
    QTextBrowser* pageBrowser = nullptr;

private:
    // Builds the contents tree from the links of the contents page, nested as its lists are.
    void fillContents();
    void showPage(const QUrl& url);
    void pageLinkClicked(const QUrl& url);
    void contentsItemActivated(QTreeWidgetItem* item);
    void pageChanged(const QUrl& url);
};

// Opens the help window at the table of contents (the one help window, raised when it is up)
// and returns it. from is the window that asked: while a modal dialog runs, the help window
// belongs to that dialog, or the dialog would block its input. context is the asking window's
// help context; every context leads to the contents.
HelpWindow* showHelpContents(QWidget* from = nullptr, int context = 0);
// The help window that is up, or null.
HelpWindow* currentHelp();
// Closes the help window, if one is up; the main window calls it when it shuts down.
void closeHelp();

// Makes F1 in window open the help contents. When the window already has an action bound to F1
// (the main window's "&Index"), that action opens the help, so that the key stays unambiguous;
// otherwise the window gets an F1 shortcut of its own. Installing twice does nothing more.
void installHelpShortcut(QWidget* window);

// Installs the F1 key in every main window and dialog of the program as it is first shown, also
// in the dialogs of the layers below that cannot know about the help. Call once after the
// application was created; later calls do nothing.
void installHelpKeyInEveryWindow();

} // namespace toppeek::shell
