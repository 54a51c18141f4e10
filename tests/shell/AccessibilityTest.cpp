// What a screen reader finds: every window's and dialog's accessibility tree, walked through
// QAccessible, has a name for each control a user can act on, and the message list reads out its
// cells, each message's mark and why it is marked.

#include "dialogs/ProgressDialog.h"
#include "shell/Help.h"
#include "shell/Notices.h"
#include "support/ScriptedPop3Server.h"
#include "ui/AccountEditor.h"
#include "ui/FilterEditor.h"
#include "ui/MainWindowHarness.h"
#include "ui/MessageListView.h"
#include "ui/MessageViewer.h"
#include "ui/PreferencesDialog.h"
#include "ui/RuleEditor.h"
#include "ui/TextPrompt.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QSet>
#include <QTest>

#include <memory>

using namespace toppeek::test;

namespace {

bool actedOn(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::PageTab:
    case QAccessible::PageTabList:
    case QAccessible::Table:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::MenuItem:
        return true;
    default:
        return false;
    }
}

// Where a control is, for the failure message: its object's class and name.
QString describe(QAccessibleInterface* node) {
    QObject* object = node->object();
    QString where = QStringLiteral("role 0x%1").arg(static_cast<int>(node->role()), 0, 16);
    for (; object != nullptr; object = object->parent())
        if (!object->objectName().isEmpty() || object->isWidgetType()) {
            where += QStringLiteral(" in %1 '%2'")
                         .arg(QString::fromLatin1(object->metaObject()->className()),
                              object->objectName());
            break;
        }
    return where;
}

void walk(QAccessibleInterface* node, QStringList& nameless, int depth = 0) {
    if (node == nullptr || depth > 40)
        return;
    const QAccessible::Role role = node->role();
    if (actedOn(role) && node->text(QAccessible::Name).trimmed().isEmpty())
        nameless << describe(node);
    // A list's cells are named by what they show, and their reading is tried on its own below;
    // a combo box's popup list reads the combo box's items.
    if (role == QAccessible::Table || role == QAccessible::List || role == QAccessible::Tree ||
        role == QAccessible::ComboBox)
        return;
    for (int i = 0; i < node->childCount(); ++i)
        walk(node->child(i), nameless, depth + 1);
}

// The controls of window and of everything it holds that a user can act on and a screen
// reader could not name; the window itself needs a name too.
QStringList namelessControls(QWidget* window) {
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
    if (root == nullptr)
        return {QStringLiteral("no accessibility interface for %1").arg(window->objectName())};
    QStringList nameless;
    if (root->text(QAccessible::Name).trimmed().isEmpty())
        nameless << QStringLiteral("the window itself");
    walk(root, nameless);
    return nameless;
}

// The nameless controls of window, each line naming the window.
QStringList namelessIn(QWidget* window) {
    QStringList lines;
    for (const QString& control : namelessControls(window))
        lines << QStringLiteral("%1: %2").arg(window->objectName(), control);
    return lines;
}

} // namespace

class AccessibilityTest : public QObject, WindowTestFiles {
    Q_OBJECT

private slots:
    void init() { setUpFiles(); }
    void cleanup() { tearDownFiles(); }

    void everyControlOfTheMainWindowHasAName() {
        QAccessible::setActive(true);
        auto window = startMainWindow(settingsPath_, filtersPath_, {"127.0.0.1:9", "127.0.0.2:9"});
        QVERIFY(window);
        const QStringList nameless = namelessIn(window.get());
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QLatin1Char('\n'))));
    }

    void everyControlOfEveryDialogHasAName() {
        QAccessible::setActive(true);
        std::unique_ptr<toppeek::storage::Settings> settings =
            toppeek::storage::createDefaultSettings();
        std::unique_ptr<toppeek::storage::Account> account = toppeek::storage::newAccount();
        account->address = "alice@example.com";
        account->host = "pop3s://mail.example.com";
        settings->accounts.append(account.release());

        toppeek::ui::PreferencesDialog preferences(*settings);
        toppeek::ui::AccountEditor accountEditor;
        toppeek::ui::FilterEditor filterEditor;
        toppeek::ui::RuleEditor ruleEditor;
        toppeek::ui::MessageViewer viewer;
        toppeek::dialogs::ProgressDialog progress;
        toppeek::shell::HelpWindow help;
        QStringList nameless;
        for (QWidget* dialog :
             std::initializer_list<QWidget*>{&preferences, &accountEditor, &filterEditor,
                                             &ruleEditor, &viewer, &progress, &help})
            nameless << namelessIn(dialog);
        // These two have their texts only as they are shown.
        auto prompted = onDialog<toppeek::ui::TextPrompt>([&](toppeek::ui::TextPrompt* prompt) {
            nameless << namelessIn(prompt);
            prompt->reject();
        });
        std::string text;
        toppeek::ui::askText(QStringLiteral("Mark"), QStringLiteral("Subject includes"), 0, text,
                             100);
        QVERIFY(prompted->fired());
        auto about = onDialog<toppeek::shell::AboutBox>([&](toppeek::shell::AboutBox* box) {
            nameless << namelessIn(box);
            box->reject();
        });
        toppeek::shell::showAbout();
        QVERIFY(about->fired());
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QLatin1Char('\n'))));
    }

    // A screen reader reads each cell, and the first cell of a row says whether the message is
    // marked and why.
    void theListReadsOutItsCellsAndMarks() {
        QAccessible::setActive(true);
        auto window = startMainWindow(settingsPath_, filtersPath_, {"placeholder"});
        QVERIFY(window);
        ScriptedPop3Server server;
        scriptCheck(server, kThree);
        QVERIFY(connectTo(*window, server));
        window->messageView->goToRow(2);
        window->MarkOrUnmark();

        QAbstractItemView* view = window->messageView->activeView();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
        QVERIFY(list != nullptr && list->tableInterface() != nullptr);
        QVERIFY(!list->text(QAccessible::Name).isEmpty());
        QAccessibleTableInterface* table = list->tableInterface();
        QCOMPARE(table->rowCount(), 3);
        QAbstractItemModel* model = view->model();
        int marked = 0;
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < model->columnCount(); ++column) {
                QAccessibleInterface* cell = table->cellAt(row, column);
                QVERIFY(cell != nullptr);
                QCOMPARE(cell->text(QAccessible::Name),
                         model->index(row, column).data().toString());
            }
            const QString mark = table->cellAt(row, 0)->text(QAccessible::Description);
            QVERIFY2(!mark.isEmpty(), "the first cell does not say whether it is marked");
            if (mark.contains(QStringLiteral("Marked for deletion")))
                ++marked;
        }
        QCOMPARE(marked, 1);
    }
};

QTEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
