#include "shell/Help.h"
#include "ui/MainWindow.h"

#include "core/DataFiles.h"
#include "dialogs/ProgramInfo.h"
#include "shell/WebLinks.h"
#include "ui/DialogSupport.h"
#include "ui/HelpContext.h"
#include "ui/MainIcons.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextList>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

using namespace toppeek::ui;

namespace toppeek::shell {

using core::programFilePath;

namespace {

constexpr const char* kShortcutInstalledProperty = kHelpKeyInstalledProperty;
constexpr const char* kInstallerName = "toppeekHelpKeyInstaller";
constexpr int kTargetRole = Qt::UserRole;

std::string gHelpFolder;
QPointer<HelpWindow> gHelp;

QString folderPath() {
    return QString::fromStdString(helpFolder());
}

// The page a URL shows, without its fragment, so that sections of one page compare equal.
QUrl pageOf(const QUrl& url) {
    return url.adjusted(QUrl::RemoveFragment);
}

bool isWebAddress(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("mailto");
}

QString missingGuideText() {
    return QCoreApplication::translate(
               "toppeek::shell::HelpWindow",
               "<h1>The user guide is missing</h1>"
               "<p>%1 looks for its guide in the folder</p><p><tt>%2</tt></p>"
               "<p>but finds no <tt>%3</tt> there. Install the program together "
               "with its help folder, or read the guide online from the Help "
               "menu's <i>Online Help...</i></p>")
        .arg(QString::fromLatin1(dialogs::kProgramTitle), folderPath().toHtmlEscaped(),
             QString::fromLatin1(kHelpContentsPage));
}

struct ContentsEntry {
    QString title;
    QString target;
    int level = 0;
};

// The links of the contents page in order, with the nesting depth of the list each sits in.
std::vector<ContentsEntry> contentsEntries(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    std::vector<ContentsEntry> entries;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int level = block.textList() != nullptr ? block.textList()->format().indent() : 0;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (!format.isAnchor() || format.anchorHref().isEmpty())
                continue;
            // A link written with inner markup comes in several fragments.
            if (!entries.empty() && entries.back().target == format.anchorHref() &&
                entries.back().level == level)
                entries.back().title += fragment.text();
            else
                entries.push_back({fragment.text(), format.anchorHref(), level});
        }
    }
    return entries;
}

// Gives every window the help key as it is shown the first time.
class HelpKeyInstaller : public QObject {
public:
    explicit HelpKeyInstaller(QObject* parent) : QObject(parent) {
        setObjectName(QString::fromLatin1(kInstallerName));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            const Qt::WindowType type = widget->windowType();
            if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog))
                installHelpShortcut(widget);
        }
        return false;
    }
};

} // namespace

std::string helpFolder() {
    if (!gHelpFolder.empty())
        return gHelpFolder;
    // Beside the executable in a build tree or a portable copy; an installed program finds it
    // in share/toppeek/help next to its bin folder. The guide that is in neither place is
    // reported missing under the first name.
    const std::string beside = programFilePath(kHelpFolderName);
    const QString contents = QLatin1Char('/') + QString::fromLatin1(kHelpContentsPage);
    if (beside.empty() || QFileInfo::exists(QString::fromStdString(beside) + contents))
        return beside;
    const QString installed = QDir::cleanPath(QString::fromStdString(beside) +
                                              QStringLiteral("/../../share/toppeek/help"));
    return QFileInfo::exists(installed + contents) ? installed.toStdString() : beside;
}

void setHelpFolder(std::string folder) {
    gHelpFolder = std::move(folder);
}

QUrl helpContentsUrl() {
    return QUrl::fromLocalFile(folderPath() + QLatin1Char('/') +
                               QString::fromLatin1(kHelpContentsPage));
}

// ---------------------------------------------------------------- HelpWindow

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("TFHelp"));
    setWindowTitle(tr("%1 Help").arg(dialogs::kProgramTitle));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    // Reading the guide never keeps the program running after its main window closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(860, 580);

    contentsButton = named(new QPushButton(tr("&Contents"), this), "BContents");
    backButton = named(new QPushButton(tr("&Back"), this), "BBack");
    backButton->setEnabled(false);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    contentsTree = named(new QTreeWidget(splitter), "TVContents");
    contentsTree->setHeaderHidden(true);
    contentsTree->setColumnCount(1);
    pageBrowser = named(new QTextBrowser(splitter), "HBPage");
    contentsTree->setAccessibleName(tr("Contents"));
    pageBrowser->setAccessibleName(tr("Page"));
    // Links are followed here, so that web addresses go to the browser and pages stay inside.
    pageBrowser->setOpenLinks(false);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({270, 590});

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contentsButton);
    buttons->addWidget(backButton);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);

    connect(contentsButton, &QPushButton::clicked, this, &HelpWindow::showContents);
    connect(backButton, &QPushButton::clicked, pageBrowser, &QTextBrowser::backward);
    connect(pageBrowser, &QTextBrowser::backwardAvailable, backButton, &QPushButton::setEnabled);
    connect(pageBrowser, &QTextBrowser::anchorClicked, this, &HelpWindow::pageLinkClicked);
    connect(pageBrowser, &QTextBrowser::sourceChanged, this, &HelpWindow::pageChanged);
    connect(contentsTree, &QTreeWidget::itemActivated, this, &HelpWindow::contentsItemActivated);
    connect(contentsTree, &QTreeWidget::itemClicked, this, &HelpWindow::contentsItemActivated);

    fillContents();
}

void HelpWindow::fillContents() {
    contentsTree->clear();
    QFile file(helpContentsUrl().toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString html = QString::fromUtf8(file.readAll());
    const QUrl base = helpContentsUrl();

    auto* top = new QTreeWidgetItem(contentsTree, {tr("Contents")});
    top->setData(0, kTargetRole, base);
    // The innermost open item of every depth so far.
    std::vector<QTreeWidgetItem*> open{top};
    for (const ContentsEntry& entry : contentsEntries(html)) {
        const auto depth = static_cast<std::size_t>(std::max(entry.level, 1));
        if (open.size() > depth)
            open.resize(depth);
        auto* item = new QTreeWidgetItem(open.back(), {entry.title.simplified()});
        item->setData(0, kTargetRole, base.resolved(QUrl(entry.target)));
        open.push_back(item);
    }
    contentsTree->expandAll();
}

void HelpWindow::showContents() {
    showPage(helpContentsUrl());
}

void HelpWindow::showPage(const QUrl& url) {
    if (!QFileInfo::exists(pageOf(url).toLocalFile())) {
        pageBrowser->setHtml(missingGuideText());
        return;
    }
    pageBrowser->setSource(url);
}

void HelpWindow::pageLinkClicked(const QUrl& url) {
    const QUrl target = pageBrowser->source().resolved(url);
    if (isWebAddress(target))
        openWebLink(target.toString().toUtf8().constData());
    else
        showPage(target);
}

void HelpWindow::contentsItemActivated(QTreeWidgetItem* item) {
    if (item == nullptr)
        return;
    const QUrl target = item->data(0, kTargetRole).toUrl();
    if (target.isValid() && target != pageBrowser->source())
        showPage(target);
}

void HelpWindow::pageChanged(const QUrl& url) {
    // The contents follow the page: the entry of the page shown, or of its first section.
    QTreeWidgetItem* best = nullptr;
    for (QTreeWidgetItemIterator it(contentsTree); *it != nullptr; ++it) {
        const QUrl target = (*it)->data(0, kTargetRole).toUrl();
        if (target == url) {
            best = *it;
            break;
        }
        if (best == nullptr && pageOf(target) == pageOf(url))
            best = *it;
    }
    if (best != nullptr)
        contentsTree->setCurrentItem(best);
}

// ---------------------------------------------------------------- opening

HelpWindow* showHelpContents(QWidget* from, int context) {
    static_cast<void>(context); // one book: every context opens its contents
    static_cast<void>(from);
    // A modal dialog blocks every window but its own: the guide opened from one must be its.
    QWidget* owner = QApplication::activeModalWidget();
    if (gHelp != nullptr && gHelp->parentWidget() != owner)
        closeHelp();
    if (gHelp == nullptr)
        gHelp = new HelpWindow(owner);
    gHelp->showContents();
    gHelp->show();
    gHelp->raise();
    gHelp->activateWindow();
    return gHelp.data();
}

HelpWindow* currentHelp() {
    return gHelp.data();
}

void closeHelp() {
    if (gHelp != nullptr)
        delete gHelp.data();
    gHelp = nullptr;
}

void installHelpShortcut(QWidget* window) {
    if (window == nullptr || window->property(kShortcutInstalledProperty).toBool())
        return;
    window->setProperty(kShortcutInstalledProperty, true);
    const QKeySequence f1(Qt::Key_F1);
    auto open = [window] { showHelpContents(window, helpContext(window)); };
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->shortcuts().contains(f1)) {
            QObject::connect(action, &QAction::triggered, window, open);
            return;
        }
    }
    auto* shortcut = new QShortcut(f1, window);
    shortcut->setObjectName(QStringLiteral("HelpShortcut"));
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, open);
}

void installHelpKeyInEveryWindow() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr ||
        application->findChild<QObject*>(QString::fromLatin1(kInstallerName),
                                         Qt::FindDirectChildrenOnly) != nullptr)
        return;
    application->installEventFilter(new HelpKeyInstaller(application));
}

} // namespace toppeek::shell
