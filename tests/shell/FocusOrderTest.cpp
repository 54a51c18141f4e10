// Moving through a window with the keyboard: Tab goes through the controls of the main window and
// of each main dialog in the order they are laid out, top to bottom and left to right, reaches
// every control a user can act on, and comes back to where it started.

#include "ui/AccountEditor.h"
#include "ui/FilterEditor.h"
#include "ui/MainWindowHarness.h"
#include "ui/MessageViewer.h"
#include "ui/PreferencesDialog.h"
#include "ui/RuleEditor.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace toppeek::test;

namespace {

// Where a control is, for the failure message.
QString describe(const QWidget* widget) {
    return QStringLiteral("%1 '%2'").arg(QString::fromLatin1(widget->metaObject()->className()),
                                         widget->objectName());
}

QString describe(const QList<QWidget*>& widgets) {
    QStringList names;
    for (const QWidget* widget : widgets)
        names << describe(widget);
    return names.join(QStringLiteral(", "));
}

// The control that stands for widget when it has the focus: the spin box or editable combo box
// whose text field it is.
QWidget* control(QWidget* widget) {
    QWidget* up = widget->parentWidget();
    if (up != nullptr &&
        (qobject_cast<QAbstractSpinBox*>(up) != nullptr || qobject_cast<QComboBox*>(up) != nullptr))
        return up;
    return widget;
}

// Of a group of radio buttons Tab reaches the chosen one; the arrow keys move within the group.
bool reachedByTab(QWidget* widget) {
    auto* radio = qobject_cast<QRadioButton*>(widget);
    if (radio == nullptr || radio->isChecked() || !radio->autoExclusive())
        return true;
    for (QRadioButton* sibling :
         radio->parentWidget()->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly))
        if (sibling->isChecked() && sibling->autoExclusive())
            return false;
    return true;
}

// The controls of window that Tab should reach: shown, enabled, taking the focus by Tab. A
// widget that hands its focus on (a tab widget to its tab bar, a button box to its default
// button) is reached through the one it hands it to.
QList<QWidget*> tabStops(QWidget* window) {
    QList<QWidget*> stops;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible() || !widget->isEnabled() || widget->window() != window ||
            (widget->focusPolicy() & Qt::TabFocus) == 0 || widget->focusProxy() != nullptr ||
            control(widget) != widget || !reachedByTab(widget))
            continue;
        stops << widget;
    }
    return stops;
}

QRect placeOf(QWidget* widget) {
    return {widget->mapTo(widget->window(), QPoint(0, 0)), widget->size()};
}

// The order of the layout: rows from the top, each row left to right. A control starts a new row
// when its top lies below the first control of the row; beside a tall control (a list) the
// controls to its right belong to its row.
QList<QWidget*> layoutOrder(QList<QWidget*> stops) {
    std::stable_sort(stops.begin(), stops.end(),
                     [](QWidget* a, QWidget* b) { return placeOf(a).top() < placeOf(b).top(); });
    QList<QWidget*> ordered;
    for (qsizetype start = 0; start < stops.size();) {
        const QRect first = placeOf(stops[start]);
        qsizetype end = start + 1;
        while (end < stops.size() && placeOf(stops[end]).top() <= first.bottom() - 2)
            ++end;
        QList<QWidget*> row = stops.mid(start, end - start);
        std::stable_sort(row.begin(), row.end(), [](QWidget* a, QWidget* b) {
            const QRect pa = placeOf(a);
            const QRect pb = placeOf(b);
            return pa.left() != pb.left() ? pa.left() < pb.left() : pa.top() < pb.top();
        });
        ordered << row;
        start = end;
    }
    return ordered;
}

// The controls Tab visits from the first control of the layout until it is back there.
QList<QWidget*> tabVisits(QWidget* first) {
    first->setFocus(Qt::TabFocusReason);
    QList<QWidget*> visits;
    for (int presses = 0; presses < 100; ++presses) {
        QWidget* focused = QApplication::focusWidget();
        if (focused == nullptr)
            break;
        focused = control(focused);
        if (!visits.isEmpty() && focused == visits.front())
            break;
        visits << focused;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return visits;
}

// Empty when Tab goes through window in the order of its layout, else what differs.
QString tabOrderProblem(QWidget* window, const QString& state) {
    const QList<QWidget*> expected = layoutOrder(tabStops(window));
    if (expected.isEmpty())
        return state + QStringLiteral(": nothing takes the focus");
    const QList<QWidget*> visited = tabVisits(expected.front());
    if (visited == expected)
        return {};
    return QStringLiteral("%1 '%2':\n  layout: %3\n  Tab:    %4")
        .arg(state, window->objectName(), describe(expected), describe(visited));
}

// Shows window, active, for the keyboard to reach it.
bool showActive(QWidget* window) {
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

} // namespace

class FocusOrderTest : public QObject, WindowTestFiles {
    Q_OBJECT

private slots:
    void init() { setUpFiles(); }
    void cleanup() { tearDownFiles(); }

    void tabFollowsTheLayoutOfEveryDialog() {
        std::unique_ptr<toppeek::storage::Settings> settings =
            toppeek::storage::createDefaultSettings();
        std::unique_ptr<toppeek::storage::Account> account = toppeek::storage::newAccount();
        account->address = "alice@example.com";
        account->host = "pop3s://mail.example.com";
        settings->accounts.append(account.release());

        QStringList problems;
        auto check = [&problems](QWidget* window, const QString& state) {
            if (!showActive(window)) {
                problems << state + QStringLiteral(": the window did not become active");
                return;
            }
            if (const QString problem = tabOrderProblem(window, state); !problem.isEmpty())
                problems << problem;
        };
        auto checkPages = [&check](QWidget* window, QTabWidget* pages, const QString& name) {
            for (int page = 0; page < pages->count(); ++page) {
                pages->setCurrentIndex(page);
                check(window, name + QStringLiteral(", page ") + pages->tabText(page));
            }
            window->hide();
        };

        toppeek::ui::PreferencesDialog preferences(*settings);
        checkPages(&preferences, preferences.pages, QStringLiteral("Preferences"));
        toppeek::ui::FilterEditor filterEditor;
        checkPages(&filterEditor, filterEditor.pages, QStringLiteral("Filter editor"));
        toppeek::ui::RuleEditor ruleEditor;
        check(&ruleEditor, QStringLiteral("Rule editor"));
        ruleEditor.hide();
        toppeek::ui::MessageViewer viewer;
        check(&viewer, QStringLiteral("Viewer"));
        viewer.hide();
        // Each on a line of its own: a failure message of Qt Test is cut short.
        for (const QString& problem : problems)
            qWarning().noquote() << problem;
        QVERIFY(problems.isEmpty());

        toppeek::ui::AccountEditor accountEditor;
        QVERIFY(showActive(&accountEditor));
        const QString editorProblem = tabOrderProblem(&accountEditor, QStringLiteral("Editor"));
        QVERIFY2(editorProblem.isEmpty(), qPrintable(editorProblem));
    }

    void tabFollowsTheLayoutOfTheMainWindow() {
        auto window = startMainWindow(settingsPath_, filtersPath_, {"127.0.0.1:9", "127.0.0.2:9"});
        QVERIFY(window);
        QVERIFY(showActive(window.get()));
        const QString problem = tabOrderProblem(window.get(), QStringLiteral("Main window"));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_MAIN(FocusOrderTest)
#include "FocusOrderTest.moc"
