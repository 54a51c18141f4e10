#include "ui/MessageListView.h"

#include "messages/MessageList.h"
#include "ui/MessageTableModel.h"

#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QPaintEvent>
#include <QPixmap>
#include <QRegion>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace toppeek::ui;
using namespace toppeek::messages;

namespace {

// What a cell reading asked for.
enum Asked : int { kText = 1, kImage = 2 };

struct Request {
    int row;
    int column;
    int mask;
};

QIcon solidIcon(Qt::GlobalColor color, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// Rows that read "r<row> c<col>", image row % 2, and log every reading.
class LoggingRows final : public ListRowsModel {
public:
    explicit LoggingRows(std::vector<Request>& log) : log_(log) {}

    QString cellText(int row, int column) const override {
        log_.push_back({row, column, kText});
        return QStringLiteral("r%1 c%2").arg(row).arg(column);
    }

    int cellImage(int row) const override {
        log_.push_back({row, 0, kImage});
        return row % 2;
    }

private:
    std::vector<Request>& log_;
};

// Rows whose text and image a test sets per row.
class ScriptedRows final : public ListRowsModel {
public:
    std::function<QString(int row, int column)> text;
    std::function<int(int row)> image;

    QString cellText(int row, int column) const override {
        return text ? text(row, column) : QString();
    }
    int cellImage(int row) const override { return image ? image(row) : -1; }
};

// A list with the main window's columns whose rows log every reading.
std::unique_ptr<MessageListView> makeList(std::vector<Request>& log) {
    auto list = std::make_unique<MessageListView>(std::make_unique<LoggingRows>(log));
    list->addColumn("To:", 150);
    list->addColumn("From:", 150);
    list->addColumn("Size", 50);
    list->addColumn("Date", 90);
    list->addColumn("Subject", 500);
    list->resize(400, 300);
    return list;
}

std::unique_ptr<MessageListView> makeScriptedList(ScriptedRows*& rows) {
    auto model = std::make_unique<ScriptedRows>();
    rows = model.get();
    return std::make_unique<MessageListView>(std::move(model));
}

QModelIndex cell(MessageListView& list, int row, int column) {
    return list.activeView()->model()->index(row, column);
}

std::vector<int> selectedRows(const MessageListView& list) {
    std::vector<int> rows;
    for (int i = 0; i < list.rowCount(); ++i) {
        if (list.isRowSelected(i)) {
            rows.push_back(i);
        }
    }
    return rows;
}

// Rows the view on show covers, first and last, partly shown ones included.
std::pair<int, int> visibleRows(MessageListView& list) {
    QAbstractItemView* view = list.activeView();
    const QRect area = view->viewport()->rect();
    int first = list.rowCount();
    int last = -1;
    for (int y = 0; y < area.height(); y += 2) {
        for (int x = 0; x < area.width(); x += 8) {
            const QModelIndex index = view->indexAt(QPoint(x, y));
            if (index.isValid()) {
                first = std::min(first, index.row());
                last = std::max(last, index.row());
            }
        }
    }
    return {first, last};
}

using Rows = std::vector<int>;

} // namespace

class MessageListViewTest : public QObject {
    Q_OBJECT

private slots:
    void paintingAsksOnlyForVisibleCells();
    void typingInTheListReadsNoRows();
    void everyViewStyleAsksOnlyForVisibleCells();
    void viewStyleSwitchesKeepRowsAndState();
    void appendedRowsRepaintOnlyTheirPlace();

    void emptyListEdgeCases();
    void setSelectedTouchesOnlyTheSelection();
    void setIndexFocusedDoesNotScroll();
    void gotoMovesTheCursor();
    void gotoWithoutFocusOnlySelectsAndShows();
    void gotoRefusesRowsThatDoNotExist();
    void addShiftsStateDown();
    void removeShiftsStateUp();
    void removeFocusedRowPassesTheFocusOn();
    void setCountKeepsTheRowsThatStay();
    void clearAndAddCountDropState();
    void selectAllAndInvert();

    void plainRowsReadEmpty();
    void onlyTheFirstColumnHasAnImage();
    void imagesComeFromTheStylesList();
    void textsAreBoundedAndDecoded();
    void readingACellCannotChangeTheRowCount();
    void updateAndRedrawAskAgain();

    void changeEventReportsSelectionAndFocus();
    void columnClickReachesTheEvent();
    void mouseSelectsWholeRows();
    void singleSelectKeepsOneRow();
    void fullRowPaintsTheWholeRow();
    void keyDoubleClickAndContextMenuReachTheOwner();
    void columnsAreTheOwners();

    void messageRowsReadTheirEntries();
    void messageRowsPassTheModelTester();
};

// 100,000 rows cost what the screen shows: a paint asks for the cells on
// screen and no others, wherever the list is scrolled to.
void MessageListViewTest::paintingAsksOnlyForVisibleCells() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    QVERIFY(list->setRowCount(100000));
    QCOMPARE(list->rowCount(), 100000);
    QTRY_VERIFY(!log.empty());

    log.clear();
    list->activeView()->viewport()->repaint();
    const auto [first, last] = visibleRows(*list);
    QCOMPARE(first, 0);
    QVERIFY(last > 5 && last < 30);
    const auto visibleCount = static_cast<std::size_t>(last - first + 1);
    QVERIFY(!log.empty());
    // Four of the five columns fit in 400 pixels; the image comes with the
    // first column's text.
    QVERIFY2(log.size() <= visibleCount * 5, qPrintable(QString::number(log.size())));
    for (const Request& r : log) {
        QVERIFY(r.row >= first && r.row <= last);
        QVERIFY(r.column < 4);
    }
    QVERIFY(std::any_of(log.begin(), log.end(),
                        [](const Request& r) { return r.column == 0 && (r.mask & kImage) != 0; }));

    log.clear();
    QVERIFY(list->goToRow(99999));
    list->activeView()->viewport()->repaint();
    const auto [endFirst, endLast] = visibleRows(*list);
    QCOMPARE(endLast, 99999);
    QVERIFY(!log.empty());
    QVERIFY(log.size() <= static_cast<std::size_t>(endLast - endFirst + 1) * 5 * 2);
    for (const Request& r : log) {
        QVERIFY2(r.row >= endFirst && r.row <= endLast, qPrintable(QString::number(r.row)));
    }

    // Sizing a column to its contents measures the rows on screen.
    log.clear();
    auto* table = qobject_cast<QTableView*>(list->activeView());
    QVERIFY(table != nullptr);
    table->resizeColumnToContents(1);
    QVERIFY(!log.empty());
    for (const Request& r : log) {
        QVERIFY2(r.row >= endFirst && r.row <= endLast, qPrintable(QString::number(r.row)));
    }

    // Repainting every row of the list still asks only for the screen.
    log.clear();
    QVERIFY(list->redrawRows(100000));
    QVERIFY(!log.empty());
    QVERIFY(log.size() <= static_cast<std::size_t>(endLast - endFirst + 1) * 5 * 2);
    for (const Request& r : log) {
        QVERIFY(r.row >= endFirst);
    }
}

// Rows added at the end, as a check adds them, paint only where they appear: the rows already on
// screen are not asked for again, and rows below the screen paint nothing of the list. Any other
// change of the rows paints the whole screen again.
void MessageListViewTest::appendedRowsRepaintOnlyTheirPlace() {
    std::vector<Request> log;
    auto list = makeList(log);
    QVERIFY(list->setRowCount(3));
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    QTRY_VERIFY(!log.empty());
    QWidget* viewport = list->activeView()->viewport();
    struct PaintLog : QObject {
        QRegion painted;
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                painted += static_cast<QPaintEvent*>(event)->region();
                ++paints;
            }
            return false;
        }
    } paints;
    viewport->installEventFilter(&paints);
    auto settle = [&] {
        QTest::qWait(50);
        log.clear();
        paints.painted = QRegion();
        paints.paints = 0;
    };
    settle();

    QVERIFY(list->setRowCount(6));
    QTRY_VERIFY(paints.paints > 0);
    QTest::qWait(20);
    auto* table = qobject_cast<QTableView*>(list->activeView());
    QVERIFY(table != nullptr);
    QVERIFY(paints.painted.boundingRect().top() >= table->rowViewportPosition(3));
    QVERIFY(!log.empty());
    for (const Request& r : log)
        QVERIFY2(r.row >= 3 && r.row < 6, qPrintable(QString::number(r.row)));

    // A full screen: rows added below it paint nothing of the list.
    QVERIFY(list->setRowCount(40));
    settle();
    QVERIFY(list->setRowCount(80));
    QTest::qWait(50);
    QCOMPARE(paints.paints, 0);
    QVERIFY(log.empty());
    QCOMPARE(list->rowCount(), 80);
    QVERIFY(table->verticalScrollBar()->maximum() > table->verticalScrollBar()->pageStep() * 3 / 2);

    // A removal moves rows on screen: all of them are asked for again.
    settle();
    QVERIFY(list->removeRow(0));
    QTRY_VERIFY(paints.paints > 0);
    QTest::qWait(20);
    QVERIFY(std::any_of(log.begin(), log.end(), [](const Request& r) { return r.row == 0; }));
    QVERIFY(paints.painted.boundingRect().top() <= table->rowViewportPosition(0));
    viewport->removeEventFilter(&paints);
}

// Type-ahead search would read every row's text; the list has none.
void MessageListViewTest::typingInTheListReadsNoRows() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(100000);
    QTRY_VERIFY(!log.empty());
    log.clear();
    QTest::keyClicks(list->activeView(), "zq");
    QCoreApplication::sendPostedEvents();
    list->activeView()->viewport()->repaint();
    for (const Request& r : log) {
        QVERIFY2(r.row < 40, qPrintable(QString::number(r.row)));
    }
}

void MessageListViewTest::everyViewStyleAsksOnlyForVisibleCells() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setSmallImages({solidIcon(Qt::blue, 16), solidIcon(Qt::red, 16)});
    list->setLargeImages({solidIcon(Qt::blue, 32), solidIcon(Qt::red, 32)});
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(100000);
    for (ListViewStyle style :
         {ListViewStyle::Icon, ListViewStyle::SmallIcon, ListViewStyle::List}) {
        list->setViewStyle(style);
        QVERIFY(qobject_cast<QListView*>(list->activeView()) != nullptr);
        QTRY_VERIFY(list->activeView()->indexAt(QPoint(5, 5)).isValid());
        log.clear();
        list->activeView()->viewport()->repaint();
        QVERIFY(!log.empty());
        const auto [first, last] = visibleRows(*list);
        QCOMPARE(first, 0);
        QVERIFY(last > 0);
        for (const Request& r : log) {
            QCOMPARE(r.column, 0);
            QVERIFY2(r.row <= last, qPrintable(QString::number(r.row)));
        }
        QVERIFY(log.size() <= static_cast<std::size_t>(last + 1) * 2);
    }
    list->setViewStyle(ListViewStyle::Report);
    QVERIFY(qobject_cast<QTableView*>(list->activeView()) != nullptr);
}

void MessageListViewTest::viewStyleSwitchesKeepRowsAndState() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(500);
    list->setRowSelected(3, true);
    QVERIFY(list->goToRow(400));
    for (ListViewStyle style : {ListViewStyle::List, ListViewStyle::Icon, ListViewStyle::SmallIcon,
                                ListViewStyle::Report}) {
        list->setViewStyle(style);
        QCOMPARE(list->viewStyle(), style);
        QCOMPARE(list->rowCount(), 500);
        QCOMPARE(selectedRows(*list), (Rows{3, 400}));
        QCOMPARE(list->focusedRow(), 400);
        QCOMPARE(list->activeView()->currentIndex().column(), 0);
        // The focused row stays in view across the switch.
        QAbstractItemView* view = list->activeView();
        QTRY_VERIFY(view->viewport()->rect().intersects(view->visualRect(cell(*list, 400, 0))));
    }
}

void MessageListViewTest::emptyListEdgeCases() {
    std::vector<Request> log;
    auto list = makeList(log);
    QCOMPARE(list->rowCount(), 0);
    QCOMPARE(list->focusedRow(), -1);
    list->setAllRowsSelected(true);
    list->invertSelection();
    QCOMPARE(list->rowCount(), 0);
    QVERIFY(list->resetRows(0));
    QCOMPARE(list->rowCount(), 0);
    QVERIFY(!list->isRowSelected(0));
    QVERIFY(!list->setRowSelected(0, true));
    QVERIFY(!list->setFocusedRow(0));
    QVERIFY(!list->updateRow(0));
    QVERIFY(!list->removeRow(0));
    QVERIFY(!list->redrawRows(5));
    // A list with rows but no focused row.
    list->setRowCount(5);
    QCOMPARE(list->focusedRow(), -1);
    QCOMPARE(list->setRowCount(-3), true);
    QCOMPARE(list->rowCount(), 0);
}

void MessageListViewTest::setSelectedTouchesOnlyTheSelection() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setRowCount(10);
    QVERIFY(list->setFocusedRow(4));
    QVERIFY(list->setRowSelected(4, true));
    QVERIFY(list->setRowSelected(6, true));
    QVERIFY(list->isRowSelected(4));
    QCOMPARE(selectedRows(*list), (Rows{4, 6}));
    QCOMPARE(list->focusedRow(), 4);
    QVERIFY(list->setRowSelected(4, false));
    QCOMPARE(selectedRows(*list), (Rows{6}));
    QCOMPARE(list->focusedRow(), 4);
    // Moving the focus leaves the selection alone.
    QVERIFY(list->setFocusedRow(8));
    QCOMPARE(selectedRows(*list), (Rows{6}));
    QVERIFY(!list->setRowSelected(10, true));
    QVERIFY(!list->setFocusedRow(-1));
    QCOMPARE(list->focusedRow(), 8);
    // -1 stands for every row.
    QVERIFY(list->setRowSelected(-1, true));
    QCOMPARE(selectedRows(*list).size(), 10u);
    QVERIFY(list->setRowSelected(-1, false));
    QVERIFY(selectedRows(*list).empty());
}

void MessageListViewTest::setIndexFocusedDoesNotScroll() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(1000);
    QScrollBar* bar = list->activeView()->verticalScrollBar();
    QCOMPARE(bar->value(), 0);
    QVERIFY(list->setFocusedRow(900));
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), 0);
    QCOMPARE(list->focusedRow(), 900);
}

void MessageListViewTest::gotoMovesTheCursor() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(1000);
    list->setRowSelected(2, true);
    list->setRowSelected(5, true);
    list->setFocusedRow(2);
    // Scrolled sideways: goToRow brings the row into view, not column 0.
    QScrollBar* across = list->activeView()->horizontalScrollBar();
    QVERIFY(across->maximum() > 0);
    across->setValue(across->maximum());

    QVERIFY(list->goToRow(700));
    QCOMPARE(list->focusedRow(), 700);
    // Only the previously focused row lost its selection.
    QCOMPARE(selectedRows(*list), (Rows{5, 700}));
    QAbstractItemView* view = list->activeView();
    const QRect row = view->visualRect(cell(*list, 700, 0));
    QVERIFY(row.top() >= 0 && row.bottom() < view->viewport()->height());
    QCOMPARE(across->value(), across->maximum());

    // Going to the focused row again keeps it selected.
    QVERIFY(list->goToRow(700));
    QCOMPARE(selectedRows(*list), (Rows{5, 700}));
}

void MessageListViewTest::gotoWithoutFocusOnlySelectsAndShows() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(1000);
    list->setRowSelected(1, true);
    QVERIFY(list->goToRow(999));
    QCOMPARE(selectedRows(*list), (Rows{1, 999}));
    QCOMPARE(list->focusedRow(), 999);
    QAbstractItemView* view = list->activeView();
    QVERIFY(view->viewport()->rect().contains(view->visualRect(cell(*list, 999, 0))));
}

void MessageListViewTest::gotoRefusesRowsThatDoNotExist() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setRowCount(10);
    list->setRowSelected(3, true);
    list->setFocusedRow(3);
    QVERIFY(!list->goToRow(-1));
    QVERIFY(!list->goToRow(10));
    QCOMPARE(selectedRows(*list), (Rows{3}));
    QCOMPARE(list->focusedRow(), 3);
}

void MessageListViewTest::addShiftsStateDown() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setRowCount(6);
    for (int row : {1, 2, 3}) {
        list->setRowSelected(row, true);
    }
    list->setFocusedRow(3);
    // Inside a selected run: the new row is unselected, the run splits.
    QCOMPARE(list->insertRow(2), 2);
    QCOMPARE(list->rowCount(), 7);
    QCOMPARE(selectedRows(*list), (Rows{1, 3, 4}));
    QCOMPARE(list->focusedRow(), 4);
    // At the focused row: the focus moves down with its row.
    QCOMPARE(list->insertRow(4), 4);
    QCOMPARE(list->focusedRow(), 5);
    QCOMPARE(selectedRows(*list), (Rows{1, 3, 5}));
    // Past the end: appended.
    QCOMPARE(list->insertRow(100), 8);
    QCOMPARE(list->rowCount(), 9);
    QVERIFY(!list->isRowSelected(8));
    QCOMPARE(list->insertRow(-1), -1);
    QCOMPARE(list->rowCount(), 9);
    // Growing the list one row at a time as a check does.
    auto grown = makeList(log);
    for (int i = 0; i < 50; ++i) {
        QCOMPARE(grown->insertRow(grown->rowCount()), i);
        QVERIFY(grown->updateRow(i));
    }
    QCOMPARE(grown->rowCount(), 50);
}

void MessageListViewTest::removeShiftsStateUp() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setRowCount(10);
    for (int row : {1, 3, 4, 5, 6, 8}) {
        list->setRowSelected(row, true);
    }
    list->setFocusedRow(8);
    // An unselected row: the rows behind move up with their state.
    QVERIFY(list->removeRow(2));
    QCOMPARE(list->rowCount(), 9);
    QCOMPARE(selectedRows(*list), (Rows{1, 2, 3, 4, 5, 7}));
    QCOMPARE(list->focusedRow(), 7);
    // A row inside a selected run: the run closes up.
    QVERIFY(list->removeRow(3));
    QCOMPARE(selectedRows(*list), (Rows{1, 2, 3, 4, 6}));
    QCOMPARE(list->focusedRow(), 6);
    QVERIFY(!list->removeRow(8));
    QVERIFY(!list->removeRow(-1));
    QCOMPARE(list->rowCount(), 8);
}

void MessageListViewTest::removeFocusedRowPassesTheFocusOn() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setRowCount(5);
    list->setRowSelected(2, true);
    list->setRowSelected(3, true);
    list->setFocusedRow(2);
    QVERIFY(list->removeRow(2));
    // The row that took its place has the focus and keeps its own selection.
    QCOMPARE(list->focusedRow(), 2);
    QCOMPARE(selectedRows(*list), (Rows{2}));
    QVERIFY(list->removeRow(2));
    QCOMPARE(list->focusedRow(), 2);
    QVERIFY(selectedRows(*list).empty());
    // The last row: the new last row takes the focus.
    QCOMPARE(list->rowCount(), 3);
    QVERIFY(list->removeRow(2));
    QCOMPARE(list->focusedRow(), 1);
    QVERIFY(list->removeRow(0));
    QVERIFY(list->removeRow(0));
    QCOMPARE(list->rowCount(), 0);
    QCOMPARE(list->focusedRow(), -1);
}

void MessageListViewTest::setCountKeepsTheRowsThatStay() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setRowCount(10);
    list->setRowSelected(2, true);
    list->setRowSelected(8, true);
    list->setFocusedRow(2);
    QVERIFY(list->setRowCount(20));
    QCOMPARE(selectedRows(*list), (Rows{2, 8}));
    QCOMPARE(list->focusedRow(), 2);
    list->setFocusedRow(8);
    QVERIFY(list->setRowCount(5));
    QCOMPARE(list->rowCount(), 5);
    QCOMPARE(selectedRows(*list), (Rows{2}));
    QCOMPARE(list->focusedRow(), -1);
    QVERIFY(list->setRowCount(10));
    QCOMPARE(selectedRows(*list), (Rows{2}));
}

void MessageListViewTest::clearAndAddCountDropState() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(10);
    list->goToRow(4);
    QVERIFY(list->clearRows());
    QCOMPARE(list->rowCount(), 0);
    QCOMPARE(list->focusedRow(), -1);
    list->setRowCount(3);
    list->goToRow(1);
    QVERIFY(list->resetRows(7));
    QCOMPARE(list->rowCount(), 7);
    QVERIFY(selectedRows(*list).empty());
    QCOMPARE(list->focusedRow(), -1);
    QVERIFY(list->resetRows(0));
    QCOMPARE(list->rowCount(), 0);
}

void MessageListViewTest::selectAllAndInvert() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setRowCount(6);
    list->setRowSelected(1, true);
    list->setRowSelected(4, true);
    list->invertSelection();
    QCOMPARE(selectedRows(*list), (Rows{0, 2, 3, 5}));
    list->invertSelection();
    QCOMPARE(selectedRows(*list), (Rows{1, 4}));
    list->setAllRowsSelected(true);
    QCOMPARE(selectedRows(*list), (Rows{0, 1, 2, 3, 4, 5}));
    list->invertSelection();
    QVERIFY(selectedRows(*list).empty());
    list->setAllRowsSelected(true);
    list->setAllRowsSelected(false);
    QVERIFY(selectedRows(*list).empty());
    // A large list inverts as ranges, row state intact.
    list->setRowCount(100000);
    list->setRowSelected(50000, true);
    list->invertSelection();
    QVERIFY(!list->isRowSelected(50000));
    QVERIFY(list->isRowSelected(49999));
    QVERIFY(list->isRowSelected(99999));
}

void MessageListViewTest::plainRowsReadEmpty() {
    MessageListView list(nullptr);
    list.addColumn("To:", 100);
    list.setSmallImages({solidIcon(Qt::blue, 16)});
    list.setRowCount(3);
    const QModelIndex index = list.activeView()->model()->index(1, 0);
    QVERIFY(index.isValid());
    QCOMPARE(index.data(Qt::DisplayRole).toString(), QString());
    QVERIFY(!index.data(Qt::DecorationRole).isValid());
    QVERIFY(!index.data(Qt::ToolTipRole).isValid());
}

void MessageListViewTest::onlyTheFirstColumnHasAnImage() {
    ScriptedRows* rows = nullptr;
    auto list = makeScriptedList(rows);
    list->addColumn("To:", 100);
    list->addColumn("From:", 100);
    list->addColumn("Size", 100);
    std::vector<int> imagesAsked;
    rows->text = [](int row, int column) { return QStringLiteral("r%1 c%2").arg(row).arg(column); };
    rows->image = [&imagesAsked](int row) {
        imagesAsked.push_back(row);
        return row == 3 ? 2 : 0;
    };
    list->setSmallImages(
        {solidIcon(Qt::blue, 16), solidIcon(Qt::red, 16), solidIcon(Qt::green, 16)});
    list->setRowCount(5);
    const QIcon icon = qvariant_cast<QIcon>(cell(*list, 3, 0).data(Qt::DecorationRole));
    QCOMPARE(icon.pixmap(16).toImage().pixelColor(4, 4), QColor(Qt::green));
    QCOMPARE(imagesAsked, (std::vector<int>{3}));
    QCOMPARE(cell(*list, 1, 2).data(Qt::DisplayRole).toString(), QStringLiteral("r1 c2"));
    QVERIFY(!cell(*list, 1, 2).data(Qt::DecorationRole).isValid());
    QCOMPARE(imagesAsked.size(), 1u);
}

void MessageListViewTest::imagesComeFromTheStylesList() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setRowCount(4);
    auto colorOf = [&](int row) {
        const QIcon icon = qvariant_cast<QIcon>(cell(*list, row, 0).data(Qt::DecorationRole));
        return icon.isNull() ? QColor() : icon.pixmap(8).toImage().pixelColor(2, 2);
    };
    QVERIFY(!colorOf(1).isValid());
    list->setSmallImages({solidIcon(Qt::blue, 16), solidIcon(Qt::red, 16)});
    list->setLargeImages({solidIcon(Qt::yellow, 32), solidIcon(Qt::green, 32)});
    QCOMPARE(colorOf(0), QColor(Qt::blue));
    QCOMPARE(colorOf(1), QColor(Qt::red));
    list->setViewStyle(ListViewStyle::Icon);
    QCOMPARE(colorOf(1), QColor(Qt::green));
    list->setViewStyle(ListViewStyle::List);
    QCOMPARE(colorOf(1), QColor(Qt::red));
    // An index outside the list shows no image.
    list->setSmallImages({solidIcon(Qt::blue, 16)});
    QVERIFY(!colorOf(1).isValid());
}

void MessageListViewTest::textsAreBoundedAndDecoded() {
    ScriptedRows* rows = nullptr;
    auto list = makeScriptedList(rows);
    list->addColumn("Subject", 300);
    list->setRowCount(6);
    std::string longUtf8 = "x";
    for (int i = 0; i < 800; ++i) {
        longUtf8 += "\xc3\xa9"; // é
    }
    const std::string texts[] = {"Gr\xc3\xbc\xc3\x9f"
                                 "e",
                                 "Gr\xfc\xdf"
                                 "e",
                                 std::string(2000, 'a'), longUtf8, std::string("ab\0cd", 5)};
    rows->text = [&texts](int row, int) {
        return row < 5 ? ListRowsModel::cellFromBytes(texts[row]) : QString();
    };
    auto text = [&](int row) { return cell(*list, row, 0).data(Qt::DisplayRole).toString(); };
    const auto kept = static_cast<qsizetype>(ListRowsModel::kCellBytes);
    QCOMPARE(text(0), QStringLiteral("Grüße"));
    QCOMPARE(text(1), QStringLiteral("Grüße"));
    QCOMPARE(text(2), QString(kept, QLatin1Char('a')));
    // Cut inside an "é": the half at the end goes, the text stays UTF-8.
    QCOMPARE(text(3), QStringLiteral("x") + QString((kept - 1) / 2, QChar(0xe9)));
    // A NUL is shown, as everywhere, and hides nothing after it.
    QCOMPARE(text(4), QStringLiteral("ab\u2400cd"));
}

// A cell is read inside painting: a row count change there would pull the
// rows out from under the paint.
void MessageListViewTest::readingACellCannotChangeTheRowCount() {
    ScriptedRows* rows = nullptr;
    auto list = makeScriptedList(rows);
    list->addColumn("To:", 100);
    list->setRowCount(10);
    std::vector<bool> results;
    MessageListView* view = list.get();
    rows->text = [&results, view](int, int) {
        results.push_back(view->setRowCount(1));
        results.push_back(view->insertRow(0) != -1);
        results.push_back(view->removeRow(0));
        results.push_back(view->clearRows());
        results.push_back(view->resetRows(2));
        return QString();
    };
    list->resize(300, 200);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->activeView()->viewport()->repaint();
    QVERIFY(!results.empty());
    QVERIFY(std::none_of(results.begin(), results.end(), [](bool ok) { return ok; }));
    QCOMPARE(list->rowCount(), 10);
    // Once painting is over the operations work again.
    rows->text = nullptr;
    QVERIFY(list->removeRow(0));
    QCOMPARE(list->rowCount(), 9);
}

void MessageListViewTest::updateAndRedrawAskAgain() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(50);
    QTRY_VERIFY(!log.empty());
    auto asked = [&](int row) {
        return std::any_of(log.begin(), log.end(),
                           [row](const Request& r) { return r.row == row; });
    };
    log.clear();
    QVERIFY(list->updateRow(3));
    QTRY_VERIFY(asked(3));
    log.clear();
    QVERIFY(list->redrawRows(5));
    // redrawRows repaints before it returns.
    QVERIFY(asked(0) && asked(4));
    QVERIFY(!list->updateRow(50));
}

void MessageListViewTest::changeEventReportsSelectionAndFocus() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setRowCount(10);
    std::vector<RowStateChange> changes;
    list->onRowStateChange = [&changes](const RowStateChange& change) {
        changes.push_back(change);
    };
    using State = RowStateChange::State;
    auto is = [](const RowStateChange& c, int first, int last, State state, bool now) {
        return c.firstRow == first && c.lastRow == last && c.state == state && c.now == now;
    };
    list->setRowSelected(4, true);
    QCOMPARE(changes.size(), 1u);
    QVERIFY(is(changes[0], 4, 4, State::Selected, true));
    changes.clear();
    list->setFocusedRow(2);
    list->setFocusedRow(7);
    QCOMPARE(changes.size(), 3u);
    QVERIFY(is(changes[0], 2, 2, State::Focused, true));
    QVERIFY(is(changes[1], 2, 2, State::Focused, false));
    QVERIFY(is(changes[2], 7, 7, State::Focused, true));
    changes.clear();
    list->setRowSelected(4, false);
    list->setAllRowsSelected(true);
    QCOMPARE(changes.size(), 2u);
    QVERIFY(is(changes[0], 4, 4, State::Selected, false));
    QVERIFY(is(changes[1], 0, 9, State::Selected, true));
    // Removing the focused, selected row: the owner hears that row 7 lost
    // both; the focus passing to the next row is the list's own shift.
    changes.clear();
    QVERIFY(list->removeRow(7));
    QCOMPARE(changes.size(), 2u);
    QVERIFY(is(changes[0], 7, 7, State::Focused, false));
    QVERIFY(is(changes[1], 7, 7, State::Selected, false));
    QCOMPARE(list->focusedRow(), 7);
    // Inserting a row shifts state without a change of any row's own state.
    changes.clear();
    list->insertRow(0);
    QVERIFY(changes.empty());
}

void MessageListViewTest::columnClickReachesTheEvent() {
    std::vector<Request> log;
    auto list = makeList(log);
    std::vector<int> clicked;
    list->onColumnClick = [&clicked](int column) { clicked.push_back(column); };
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(20);
    list->setRowSelected(5, true);
    list->setFocusedRow(5);
    QHeaderView* header = list->headerView();
    QVERIFY(header->isVisible());
    for (int column : {2, 0, 3}) {
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    QCOMPARE(clicked, (std::vector<int>{2, 0, 3}));
    // A header click sorts in the owner; it does not select a column.
    QCOMPARE(selectedRows(*list), (Rows{5}));
    QCOMPARE(list->focusedRow(), 5);
}

void MessageListViewTest::mouseSelectsWholeRows() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(20);
    QAbstractItemView* view = list->activeView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(cell(*list, 3, 2)).center());
    QCOMPARE(selectedRows(*list), (Rows{3}));
    QCOMPARE(list->focusedRow(), 3);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      view->visualRect(cell(*list, 6, 1)).center());
    QCOMPARE(selectedRows(*list), (Rows{3, 4, 5, 6}));
    QCOMPARE(list->focusedRow(), 6);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualRect(cell(*list, 8, 0)).center());
    QCOMPARE(selectedRows(*list), (Rows{3, 4, 5, 6, 8}));
    QCOMPARE(list->focusedRow(), 8);
    // Keys move the cursor by rows; Right only scrolls the columns.
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(list->focusedRow(), 9);
    QCOMPARE(selectedRows(*list), (Rows{9}));
    QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(list->focusedRow(), 9);
    QVERIFY(view->horizontalScrollBar()->value() > 0);
}

void MessageListViewTest::singleSelectKeepsOneRow() {
    std::vector<Request> log;
    auto list = makeList(log);
    QVERIFY(list->multiSelect());
    list->setMultiSelect(false);
    QVERIFY(!list->multiSelect());
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(20);
    QAbstractItemView* view = list->activeView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(cell(*list, 1, 0)).center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualRect(cell(*list, 4, 0)).center());
    QCOMPARE(selectedRows(*list), (Rows{4}));
}

void MessageListViewTest::fullRowPaintsTheWholeRow() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(10);
    list->setRowSelected(1, true);
    QAbstractItemView* view = list->activeView();
    const QColor highlight = view->palette().color(QPalette::Highlight);
    // A point in the Size cell right of its short text.
    const QRect size = view->visualRect(cell(*list, 1, 2));
    const QPoint probe(size.right() - 3, size.center().y());
    auto colorAt = [&](QPoint p) {
        return view->viewport()->grab().toImage().pixelColor(p * view->devicePixelRatioF());
    };
    QCOMPARE(colorAt(view->visualRect(cell(*list, 1, 0)).topRight() + QPoint(-3, 2)), highlight);
    QVERIFY(colorAt(probe) != highlight);
    list->setFullRowSelect();
    QCOMPARE(colorAt(probe), highlight);
    // The selection stays visible while another window has the focus.
    QCOMPARE(view->palette().color(QPalette::Inactive, QPalette::Highlight), highlight);
    list->setHideSelection(true);
    QVERIFY(view->palette().color(QPalette::Inactive, QPalette::Highlight) != highlight);
}

void MessageListViewTest::keyDoubleClickAndContextMenuReachTheOwner() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->setRowCount(20);
    list->goToRow(2);
    QAbstractItemView* view = list->activeView();

    std::vector<int> keys;
    list->onKeyPress = [&keys](QKeyEvent* event) {
        keys.push_back(event->key());
        return event->key() == Qt::Key_Insert || event->key() == Qt::Key_Up;
    };
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(list->focusedRow(), 2); // consumed by the owner
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(list->focusedRow(), 3); // passed on to the list
    QTest::keyClick(view, Qt::Key_Insert);
    QTest::keyClick(view, Qt::Key_Plus, Qt::KeypadModifier);
    QCOMPARE(keys, (std::vector<int>{Qt::Key_Up, Qt::Key_Down, Qt::Key_Insert, Qt::Key_Plus}));

    int doubleClicks = 0;
    list->onDoubleClick = [&doubleClicks] { ++doubleClicks; };
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       view->visualRect(cell(*list, 5, 1)).center());
    QCOMPARE(doubleClicks, 1);

    QMenu menu;
    menu.addAction("View");
    list->setPopupMenu(&menu);
    QCOMPARE(list->popupMenu(), &menu);
    std::vector<QPoint> asked;
    bool handle = true;
    list->onContextMenu = [&](QPoint pos, bool& handled) {
        asked.push_back(pos);
        handled = handle;
    };
    const QPoint at = view->visualRect(cell(*list, 4, 0)).center();
    QContextMenuEvent first(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &first);
    QCOMPARE(asked.size(), 1u);
    QCOMPARE(asked[0], view->viewport()->mapTo(list.get(), at));
    QVERIFY(!menu.isVisible());
    handle = false;
    QContextMenuEvent second(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &second);
    QCOMPARE(asked.size(), 2u);
    QTRY_VERIFY(menu.isVisible());
    menu.close();
}

// The first column is the one the icon styles show even before the owner
// defines any; defining, clearing and redefining must not lose or double it.
void MessageListViewTest::columnsAreTheOwners() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setColumnWidth(4, 260 - 440); // a narrow window's Subject column
    QCOMPARE(list->columnWidth(4), 0);
    list->clearColumns();
    QCOMPARE(list->columnCount(), 0);
    QCOMPARE(list->activeView()->model()->columnCount(), 1);
    QCOMPARE(list->addColumn("Only", 80), 0);
    QCOMPARE(list->addColumn("Second", 60), 1);
    QCOMPARE(list->activeView()->model()->columnCount(), 2);
    QCOMPARE(list->columnWidth(0), 80);
    list->setColumnCaption(1, QStringLiteral("Größe"));
    QCOMPARE(list->headerView()->model()->headerData(1, Qt::Horizontal).toString(),
             QStringLiteral("Größe"));
}

namespace {

std::unique_ptr<MessageList> messagesWithSubjects(const std::vector<std::string>& subjects) {
    auto messages = createMessageList();
    for (const std::string& subject : subjects) {
        auto entry =
            createMessageEntry("To: alice@example.com\r\nSubject: " + subject + "\r\n\r\n");
        entry->size = 2048;
        messages->append(entry.release());
    }
    return messages;
}

} // namespace

// The message rows show each entry as a person reads it, mark and reason
// included, and show a changed entry as it is now.
void MessageListViewTest::messageRowsReadTheirEntries() {
    auto messages = messagesWithSubjects({"=?ISO-8859-1?Q?Gr=FC=DFe?=",
                                          "Gr\xfc\xdf"
                                          "e",
                                          std::string(3000, 's')});
    auto model = std::make_unique<MessageTableModel>();
    model->setMessages(messages.get());
    MessageListView list(std::move(model));
    list.setSmallImages({solidIcon(Qt::blue, 16), solidIcon(Qt::red, 16)});
    list.setLargeImages({solidIcon(Qt::yellow, 32), solidIcon(Qt::green, 32)});
    list.setRowCount(4); // the last row's entry is not there
    auto read = [&](int row, int column, int role = Qt::DisplayRole) {
        return cell(list, row, column).data(role);
    };
    auto colorOf = [&](int row) {
        const QIcon icon = qvariant_cast<QIcon>(read(row, 0, Qt::DecorationRole));
        return icon.isNull() ? QColor() : icon.pixmap(8).toImage().pixelColor(2, 2);
    };
    QCOMPARE(list.columnCount(), 5);
    QCOMPARE(list.columnCaption(4), QStringLiteral("Subject"));
    QCOMPARE(read(0, 4).toString(), QStringLiteral("Grüße"));
    QCOMPARE(read(1, 4).toString(), QStringLiteral("Grüße"));
    QCOMPARE(read(2, 4).toString().size(), static_cast<qsizetype>(ListRowsModel::kCellBytes));
    QCOMPARE(read(0, 0).toString(), QStringLiteral("alice@example.com"));
    QCOMPARE(read(0, 1).toString(), QString());
    QCOMPARE(read(0, 2).toString(), QStringLiteral("2.0 Kb"));
    QCOMPARE(read(3, 4).toString(), QString());
    QVERIFY(!read(3, 0, Qt::DecorationRole).isValid());

    QCOMPARE(colorOf(0), QColor(Qt::blue));
    QVERIFY(!read(0, 0, Qt::ToolTipRole).isValid());
    MessageEntry& first = *messages->at(0);
    first.mark = MarkState::MarkedForDelete;
    QVERIFY(list.updateRow(0));
    QCOMPARE(colorOf(0), QColor(Qt::red));
    QCOMPARE(read(0, 3, Qt::ToolTipRole).toString(), QStringLiteral("Marked for deletion"));
    first.markReason = "Subject rule: lottery";
    QCOMPARE(read(0, 0, Qt::ToolTipRole).toString(), QStringLiteral("Subject rule: lottery"));
    list.setViewStyle(ListViewStyle::Icon);
    QCOMPARE(colorOf(0), QColor(Qt::green));

    // Taken away, the entries show nowhere.
    static_cast<MessageTableModel*>(list.model())->setMessages(nullptr);
    QCOMPARE(read(0, 4).toString(), QString());
    QVERIFY(!read(0, 0, Qt::ToolTipRole).isValid());
}

// Every row and column change the control makes keeps the model consistent
// for the views, the selection and anything else that watches it.
void MessageListViewTest::messageRowsPassTheModelTester() {
    auto messages = messagesWithSubjects({"one", "two", "three", "four", "five", "six"});
    auto model = std::make_unique<MessageTableModel>();
    MessageTableModel* rows = model.get();
    rows->setMessages(messages.get());
    MessageListView list(std::move(model));
    QAbstractItemModelTester tester(rows, QAbstractItemModelTester::FailureReportingMode::QtTest);
    list.setSmallImages({solidIcon(Qt::blue, 16), solidIcon(Qt::red, 16)});
    list.setLargeImages({solidIcon(Qt::yellow, 32), solidIcon(Qt::green, 32)});
    list.resize(400, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    QVERIFY(list.setRowCount(4));
    QCOMPARE(list.insertRow(2), 2);
    QVERIFY(list.setRowSelected(1, true));
    QVERIFY(list.goToRow(3));
    QVERIFY(list.removeRow(3));
    QVERIFY(list.updateRow(1));
    QVERIFY(list.redrawRows(4));
    list.invertSelection();
    for (ListViewStyle style : {ListViewStyle::Icon, ListViewStyle::SmallIcon, ListViewStyle::List,
                                ListViewStyle::Report}) {
        list.setViewStyle(style);
        list.activeView()->viewport()->repaint();
    }
    list.setColumnCaption(4, QStringLiteral("Betreff"));
    list.clearColumns();
    QCOMPARE(list.addColumn(QStringLiteral("To:"), 80), 0);
    QCOMPARE(list.addColumn(QStringLiteral("From:"), 80), 1);
    QVERIFY(list.resetRows(6));
    QVERIFY(list.setRowCount(2));
    QVERIFY(list.clearRows());
    rows->setMessages(nullptr);
    QVERIFY(list.setRowCount(3));
    list.activeView()->viewport()->repaint();
    QCOMPARE(list.rowCount(), 3);
}

QTEST_MAIN(MessageListViewTest)
#include "MessageListViewTest.moc"
