// The user guide and its window: the guide beside the executable is complete and its links lead
// somewhere, and F1 in every kind of window opens the same contents page.

#include "shell/Help.h"
#include "shell/MainWindowHooks.h"

#include "dialogs/MsgBox.h"
#include "messages/Filters.h"
#include "shell/WebLinks.h"
#include "support/ModalDialogDriver.h"
#include "ui/FilterEditor.h"
#include "ui/HelpContext.h"
#include "ui/MainWindow.h"
#include "ui/RuleEditor.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <memory>
#include <string>
#include <vector>

using namespace toppeek::ui;
using toppeek::messages::createFilters;
using toppeek::shell::closeHelp;
using toppeek::shell::currentHelp;
using toppeek::shell::helpContentsUrl;
using toppeek::shell::helpFolder;
using toppeek::shell::HelpWindow;
using toppeek::shell::installHelpShortcut;
using toppeek::shell::setHelpFolder;
using toppeek::shell::showHelpContents;
using toppeek::test::ModalDialogDriver;

namespace {

QString readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList guidePages() {
    return QDir(QString::fromStdString(helpFolder()))
        .entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

// Shows window and waits until it is the active window, so that its shortcuts fire.
bool showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Every opener call recorded, none carried out.
struct RecordedOpener {
    RecordedOpener() {
        previous = toppeek::shell::setUrlOpener([this](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
    }
    ~RecordedOpener() { toppeek::shell::setUrlOpener(std::move(previous)); }
    std::vector<QUrl> opened;
    toppeek::shell::UrlOpener previous;
};

} // namespace

class HelpTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() {
        closeHelp();
        setHelpFolder({});
    }

    void theGuideShipsBesideTheExecutable() {
        QVERIFY(QFileInfo::exists(helpContentsUrl().toLocalFile()));
        const QStringList pages = guidePages();
        for (const char* page : {"index.html", "getting-started.html", "main-window.html",
                                 "commands.html", "marking.html", "viewer.html", "filters.html",
                                 "preferences.html", "keys.html", "about.html"})
            QVERIFY2(pages.contains(QString::fromLatin1(page)), page);
    }

    void everyLinkOfTheGuideLeadsSomewhere() {
        const QString folder = QString::fromStdString(helpFolder());
        const QRegularExpression link(QStringLiteral("href=\"([^\"]*)\""));
        int checked = 0;
        for (const QString& page : guidePages()) {
            const QString html = readAll(folder + QLatin1Char('/') + page);
            for (const auto& match : link.globalMatch(html)) {
                const QUrl target = QUrl(page).resolved(QUrl(match.captured(1)));
                if (!target.scheme().isEmpty())
                    continue; // web addresses go to the browser
                const QString file = target.path().isEmpty() ? page : target.path();
                const QString targetHtml = readAll(folder + QLatin1Char('/') + file);
                QVERIFY2(!targetHtml.isEmpty(), qPrintable(page + QLatin1String(" -> ") + file));
                if (target.hasFragment()) {
                    const QString anchor = QStringLiteral("name=\"%1\"").arg(target.fragment());
                    QVERIFY2(targetHtml.contains(anchor),
                             qPrintable(page + QLatin1String(" -> ") + target.toString()));
                }
                ++checked;
            }
        }
        QVERIFY(checked > 100);
    }

    void theContentsListEveryPageAndOpenThem() {
        HelpWindow* help = showHelpContents();
        QVERIFY(help != nullptr);
        QTreeWidgetItem* top = help->contentsTree->topLevelItem(0);
        QVERIFY(top != nullptr);
        QCOMPARE(top->text(0), QStringLiteral("Contents"));

        QStringList listed;
        QTreeWidgetItem* filters = nullptr;
        QTreeWidgetItem* ruleKinds = nullptr;
        for (QTreeWidgetItemIterator it(help->contentsTree); *it != nullptr; ++it) {
            listed
                << (*it)->data(0, Qt::UserRole).toUrl().adjusted(QUrl::RemoveFragment).fileName();
            if ((*it)->text(0) == QStringLiteral("Filters"))
                filters = *it;
            if ((*it)->text(0) == QStringLiteral("The three kinds of rule"))
                ruleKinds = *it;
        }
        for (const QString& page : guidePages())
            QVERIFY2(listed.contains(page), qPrintable(page));
        // Sections sit under their page.
        QVERIFY(filters != nullptr && ruleKinds != nullptr);
        QCOMPARE(ruleKinds->parent(), filters);

        help->contentsTree->setCurrentItem(filters);
        Q_EMIT help->contentsTree->itemActivated(filters, 0);
        QCOMPARE(help->pageBrowser->source().fileName(), QStringLiteral("filters.html"));
        QVERIFY(help->pageBrowser->toPlainText().contains(QStringLiteral("Banned domains")));

        help->contentsButton->click();
        QCOMPARE(help->pageBrowser->source(), helpContentsUrl());
        QVERIFY(help->backButton->isEnabled());
        help->backButton->click();
        QCOMPARE(help->pageBrowser->source().fileName(), QStringLiteral("filters.html"));
    }

    void f1InAWindowOpensTheContents() {
        QDialog window;
        window.setObjectName(QStringLiteral("SomeDialog"));
        installHelpShortcut(&window);
        installHelpShortcut(&window); // a second install adds nothing
        QCOMPARE(window.findChildren<QShortcut*>().size(), 1);
        QVERIFY(showActive(window));

        QTest::keyClick(&window, Qt::Key_F1);
        QTRY_VERIFY(currentHelp() != nullptr && currentHelp()->isVisible());
        QCOMPARE(currentHelp()->pageBrowser->source(), helpContentsUrl());
        QCOMPARE(currentHelp()->contentsTree->currentItem(),
                 currentHelp()->contentsTree->topLevelItem(0));
    }

    void f1InTheMainWindowAndTheFilterEditorOpenTheSameContents() {
        // A window whose menu already binds F1, as the main window's Help > Index does.
        QMainWindow main;
        QAction* index =
            main.menuBar()->addMenu(QStringLiteral("Help"))->addAction(QStringLiteral("&Index"));
        index->setShortcut(QKeySequence(Qt::Key_F1));
        installHelpShortcut(&main);
        QVERIFY(main.findChildren<QShortcut*>().isEmpty()); // no second, ambiguous binding
        QVERIFY(showActive(main));
        QTest::keyClick(&main, Qt::Key_F1);
        QTRY_VERIFY(currentHelp() != nullptr);
        HelpWindow* help = currentHelp();
        const QUrl fromMain = help->pageBrowser->source();
        QCOMPARE(fromMain, helpContentsUrl());

        // Wander off, then F1 in the filter editor: the same window, back at the contents.
        help->pageBrowser->setSource(QUrl::fromLocalFile(QString::fromStdString(helpFolder()) +
                                                         QStringLiteral("/keys.html")));
        auto filters = createFilters();
        FilterEditor editor;
        editor.setUp(*filters, QStringLiteral("Filters"), 11);
        installHelpShortcut(&editor);
        QVERIFY(showActive(editor));
        QTest::keyClick(&editor, Qt::Key_F1);
        QTRY_COMPARE(help->pageBrowser->source(), fromMain);
        QCOMPARE(currentHelp(), help);
    }

    void everyWindowShownGetsTheHelpKey() {
        toppeek::shell::installHelpKeyInEveryWindow();
        toppeek::shell::installHelpKeyInEveryWindow(); // once is enough
        QCOMPARE(qApp->findChildren<QObject*>(QStringLiteral("toppeekHelpKeyInstaller")).size(), 1);
        // The rule editor knows nothing of the help; showing it is enough.
        RuleEditor editor;
        QVERIFY(showActive(editor));
        QTest::keyClick(&editor, Qt::Key_F1);
        QTRY_VERIFY(currentHelp() != nullptr);
        QCOMPARE(currentHelp()->pageBrowser->source(), helpContentsUrl());
    }

    void theMainWindowsIndexItemOpensTheContents() {
        QTemporaryDir dir;
        ShellHooks hooks = toppeek::shell::mainWindowHooks();
        // The start-up update check would reach outside the machine.
        hooks.startupUpdateCheck = nullptr;
        MainWindow window(dir.filePath(QStringLiteral("settings")).toStdString(),
                          dir.filePath(QStringLiteral("filters")).toStdString(), nullptr, hooks);
        QCOMPARE(window.helpIndexItem->shortcut(), QKeySequence(Qt::Key_F1));
        installHelpShortcut(&window);
        // F1 stays the Index item's key alone.
        QVERIFY(window.findChildren<QShortcut*>(QStringLiteral("HelpShortcut")).isEmpty());
        window.helpIndexItem->trigger();
        QVERIFY(currentHelp() != nullptr);
        QCOMPARE(currentHelp()->pageBrowser->source(), helpContentsUrl());
    }

    void f1InAModalDialogGivesTheGuideToThatDialog() {
        QDialog dialog;
        dialog.setObjectName(QStringLiteral("ModalDialog"));
        setHelpContext(&dialog, 1301);
        installHelpShortcut(&dialog);
        QPointer<HelpWindow> opened;
        ModalDialogDriver driver;
        driver.expect(QStringLiteral("ModalDialog"), [&opened](QDialog* shown) {
            QTRY_VERIFY(QApplication::activeWindow() == shown);
            QTest::keyClick(shown, Qt::Key_F1);
            QTRY_VERIFY(currentHelp() != nullptr);
            opened = currentHelp();
            shown->accept();
        });
        dialog.exec();
        QVERIFY(!driver.failed());
        QVERIFY(driver.finished());
        QVERIFY(opened != nullptr);
        // It belongs to the dialog, so the dialog's modality does not block it.
        QCOMPARE(opened->parentWidget(), static_cast<QWidget*>(&dialog));
        QCOMPARE(opened->pageBrowser->source(), helpContentsUrl());
    }

    void aMissingGuideIsExplainedInTheWindow() {
        setHelpFolder("/nonexistent/toppeek-help");
        HelpWindow* help = showHelpContents();
        const QString text = help->pageBrowser->toPlainText();
        QVERIFY(text.contains(QStringLiteral("missing")));
        QVERIFY(text.contains(QStringLiteral("/nonexistent/toppeek-help")));
        QCOMPARE(help->contentsTree->topLevelItemCount(), 0);
    }

    void webAddressesInThePagesGoToTheBrowser() {
        RecordedOpener opener;
        HelpWindow* help = showHelpContents();
        Q_EMIT help->pageBrowser->anchorClicked(
            QUrl(QStringLiteral("https://example.org/toppeek/")));
        QCOMPARE(opener.opened.size(), std::size_t{1});
        QCOMPARE(opener.opened[0], QUrl(QStringLiteral("https://example.org/toppeek/")));
        QCOMPARE(help->pageBrowser->source(), helpContentsUrl());

        Q_EMIT help->pageBrowser->anchorClicked(QUrl(QStringLiteral("keys.html")));
        QCOMPARE(help->pageBrowser->source().fileName(), QStringLiteral("keys.html"));
        QCOMPARE(opener.opened.size(), std::size_t{1});
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    HelpTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HelpTest.moc"
