#include "ui/Lvdata.h"

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
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

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

// A list with the main window's columns whose owner answers "r<row> c<col>"
// and logs every request it is asked.
std::unique_ptr<TListViewData> makeList(std::vector<Request>& log) {
    auto list = std::make_unique<TListViewData>();
    list->addColumn("To:", 150);
    list->addColumn("From:", 150);
    list->addColumn("Size", 50);
    list->addColumn("Date", 90);
    list->addColumn("Subject", 500);
    list->OnLVFastDisplay = [&log](TListViewData*, int nmask, char* sztext, int maxtext, int xcol,
                                   int index, int* indeximage) {
        log.push_back({index, xcol, nmask});
        if ((nmask & LvifText) != 0) {
            std::snprintf(sztext, static_cast<std::size_t>(maxtext), "r%d c%d", index, xcol);
        }
        if ((nmask & LvifImage) != 0) {
            *indeximage = index % 2;
        }
    };
    list->resize(400, 300);
    return list;
}

QModelIndex cell(TListViewData& list, int row, int column) {
    return list.activeView()->model()->index(row, column);
}

std::vector<int> selectedRows(const TListViewData& list) {
    std::vector<int> rows;
    for (int i = 0; i < list.lvdGetCount(); ++i) {
        if (list.lvdItemSelected(i) != 0) {
            rows.push_back(i);
        }
    }
    return rows;
}

// Rows the view on show covers, first and last, partly shown ones included.
std::pair<int, int> visibleRows(TListViewData& list) {
    QAbstractItemView* view = list.activeView();
    const QRect area = view->viewport()->rect();
    int first = list.lvdGetCount();
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

class LvdataTest : public QObject {
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

    void displayEventsAreOptional();
    void shortEventSeesWhatTheFirstWrote();
    void imagesComeFromTheStylesList();
    void textsAreBoundedAndDecoded();
    void displayHandlerCannotChangeTheRowCount();
    void updateAndRedrawAskAgain();

    void changeEventReportsSelectionAndFocus();
    void columnClickReachesTheEvent();
    void mouseSelectsWholeRows();
    void singleSelectKeepsOneRow();
    void fullRowPaintsTheWholeRow();
    void keyDoubleClickAndContextMenuReachTheOwner();
    void columnsAreTheOwners();
};

// 100,000 rows cost what the screen shows: a paint asks for the cells on
// screen and no others, wherever the list is scrolled to.
void LvdataTest::paintingAsksOnlyForVisibleCells() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    QVERIFY(list->lvdSetCount(100000));
    QCOMPARE(list->lvdGetCount(), 100000);
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
    QVERIFY(std::any_of(log.begin(), log.end(), [](const Request& r) {
        return r.column == 0 && (r.mask & LvifImage) != 0;
    }));

    log.clear();
    QVERIFY(list->lvdGoto(99999));
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
    QVERIFY(list->lvdRedraw(100000));
    QVERIFY(!log.empty());
    QVERIFY(log.size() <= static_cast<std::size_t>(endLast - endFirst + 1) * 5 * 2);
    for (const Request& r : log) {
        QVERIFY(r.row >= endFirst);
    }
}

// Rows added at the end, as a check adds them, paint only where they appear: the rows already on
// screen are not asked for again, and rows below the screen paint nothing of the list. Any other
// change of the rows paints the whole screen again.
void LvdataTest::appendedRowsRepaintOnlyTheirPlace() {
    std::vector<Request> log;
    auto list = makeList(log);
    QVERIFY(list->lvdSetCount(3));
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

    QVERIFY(list->lvdSetCount(6));
    QTRY_VERIFY(paints.paints > 0);
    QTest::qWait(20);
    auto* table = qobject_cast<QTableView*>(list->activeView());
    QVERIFY(table != nullptr);
    QVERIFY(paints.painted.boundingRect().top() >= table->rowViewportPosition(3));
    QVERIFY(!log.empty());
    for (const Request& r : log)
        QVERIFY2(r.row >= 3 && r.row < 6, qPrintable(QString::number(r.row)));

    // A full screen: rows added below it paint nothing of the list.
    QVERIFY(list->lvdSetCount(40));
    settle();
    QVERIFY(list->lvdSetCount(80));
    QTest::qWait(50);
    QCOMPARE(paints.paints, 0);
    QVERIFY(log.empty());
    QCOMPARE(list->lvdGetCount(), 80);
    QVERIFY(table->verticalScrollBar()->maximum() > table->verticalScrollBar()->pageStep() * 3 / 2);

    // A removal moves rows on screen: all of them are asked for again.
    settle();
    QVERIFY(list->lvdRemove(0));
    QTRY_VERIFY(paints.paints > 0);
    QTest::qWait(20);
    QVERIFY(std::any_of(log.begin(), log.end(), [](const Request& r) { return r.row == 0; }));
    QVERIFY(paints.painted.boundingRect().top() <= table->rowViewportPosition(0));
    viewport->removeEventFilter(&paints);
}

// Type-ahead search would read every row's text; the list has none.
void LvdataTest::typingInTheListReadsNoRows() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(100000);
    QTRY_VERIFY(!log.empty());
    log.clear();
    QTest::keyClicks(list->activeView(), "zq");
    QCoreApplication::sendPostedEvents();
    list->activeView()->viewport()->repaint();
    for (const Request& r : log) {
        QVERIFY2(r.row < 40, qPrintable(QString::number(r.row)));
    }
}

void LvdataTest::everyViewStyleAsksOnlyForVisibleCells() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setSmallImages({solidIcon(Qt::blue, 16), solidIcon(Qt::red, 16)});
    list->setLargeImages({solidIcon(Qt::blue, 32), solidIcon(Qt::red, 32)});
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(100000);
    for (TViewStyle style : {TViewStyle::Icon, TViewStyle::SmallIcon, TViewStyle::List}) {
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
    list->setViewStyle(TViewStyle::Report);
    QVERIFY(qobject_cast<QTableView*>(list->activeView()) != nullptr);
}

void LvdataTest::viewStyleSwitchesKeepRowsAndState() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(500);
    list->lvdSetSelected(3, 1);
    QVERIFY(list->lvdGoto(400));
    for (TViewStyle style :
         {TViewStyle::List, TViewStyle::Icon, TViewStyle::SmallIcon, TViewStyle::Report}) {
        list->setViewStyle(style);
        QCOMPARE(list->viewStyle(), style);
        QCOMPARE(list->lvdGetCount(), 500);
        QCOMPARE(selectedRows(*list), (Rows{3, 400}));
        QCOMPARE(list->lvdIndexFocused(), 400);
        QCOMPARE(list->activeView()->currentIndex().column(), 0);
        // The focused row stays in view across the switch.
        QAbstractItemView* view = list->activeView();
        QTRY_VERIFY(view->viewport()->rect().intersects(view->visualRect(cell(*list, 400, 0))));
    }
}

void LvdataTest::emptyListEdgeCases() {
    std::vector<Request> log;
    auto list = makeList(log);
    QCOMPARE(list->lvdGetCount(), 0);
    QCOMPARE(list->lvdIndexFocused(), -1);
    list->lvdSelectAll(1);
    list->lvdInvertSelect();
    QCOMPARE(list->lvdGetCount(), 0);
    QVERIFY(list->lvdAddCount(0));
    QCOMPARE(list->lvdGetCount(), 0);
    QCOMPARE(list->lvdItemSelected(0), 0u);
    QVERIFY(!list->lvdSetSelected(0, 1));
    QVERIFY(!list->lvdSetIndexFocused(0));
    QVERIFY(!list->lvdUpdate(0));
    QVERIFY(!list->lvdRemove(0));
    QVERIFY(!list->lvdRedraw(5));
    // A list with rows but no focused row.
    list->lvdSetCount(5);
    QCOMPARE(list->lvdIndexFocused(), -1);
    QCOMPARE(list->lvdSetCount(-3), true);
    QCOMPARE(list->lvdGetCount(), 0);
}

void LvdataTest::setSelectedTouchesOnlyTheSelection() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->lvdSetCount(10);
    QVERIFY(list->lvdSetIndexFocused(4));
    QVERIFY(list->lvdSetSelected(4, 1));
    QVERIFY(list->lvdSetSelected(6, 1));
    QCOMPARE(list->lvdItemSelected(4), LvisSelected);
    QCOMPARE(selectedRows(*list), (Rows{4, 6}));
    QCOMPARE(list->lvdIndexFocused(), 4);
    QVERIFY(list->lvdSetSelected(4, 0));
    QCOMPARE(selectedRows(*list), (Rows{6}));
    QCOMPARE(list->lvdIndexFocused(), 4);
    // Moving the focus leaves the selection alone.
    QVERIFY(list->lvdSetIndexFocused(8));
    QCOMPARE(selectedRows(*list), (Rows{6}));
    QVERIFY(!list->lvdSetSelected(10, 1));
    QVERIFY(!list->lvdSetIndexFocused(-1));
    QCOMPARE(list->lvdIndexFocused(), 8);
    // -1 stands for every row.
    QVERIFY(list->lvdSetSelected(-1, 1));
    QCOMPARE(selectedRows(*list).size(), 10u);
    QVERIFY(list->lvdSetSelected(-1, 0));
    QVERIFY(selectedRows(*list).empty());
}

void LvdataTest::setIndexFocusedDoesNotScroll() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(1000);
    QScrollBar* bar = list->activeView()->verticalScrollBar();
    QCOMPARE(bar->value(), 0);
    QVERIFY(list->lvdSetIndexFocused(900));
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), 0);
    QCOMPARE(list->lvdIndexFocused(), 900);
}

void LvdataTest::gotoMovesTheCursor() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(1000);
    list->lvdSetSelected(2, 1);
    list->lvdSetSelected(5, 1);
    list->lvdSetIndexFocused(2);
    // Scrolled sideways: lvdGoto brings the row into view, not column 0.
    QScrollBar* across = list->activeView()->horizontalScrollBar();
    QVERIFY(across->maximum() > 0);
    across->setValue(across->maximum());

    QVERIFY(list->lvdGoto(700));
    QCOMPARE(list->lvdIndexFocused(), 700);
    // Only the previously focused row lost its selection.
    QCOMPARE(selectedRows(*list), (Rows{5, 700}));
    QAbstractItemView* view = list->activeView();
    const QRect row = view->visualRect(cell(*list, 700, 0));
    QVERIFY(row.top() >= 0 && row.bottom() < view->viewport()->height());
    QCOMPARE(across->value(), across->maximum());

    // Going to the focused row again keeps it selected.
    QVERIFY(list->lvdGoto(700));
    QCOMPARE(selectedRows(*list), (Rows{5, 700}));
}

void LvdataTest::gotoWithoutFocusOnlySelectsAndShows() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(1000);
    list->lvdSetSelected(1, 1);
    QVERIFY(list->lvdGoto(999));
    QCOMPARE(selectedRows(*list), (Rows{1, 999}));
    QCOMPARE(list->lvdIndexFocused(), 999);
    QAbstractItemView* view = list->activeView();
    QVERIFY(view->viewport()->rect().contains(view->visualRect(cell(*list, 999, 0))));
}

void LvdataTest::gotoRefusesRowsThatDoNotExist() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->lvdSetCount(10);
    list->lvdSetSelected(3, 1);
    list->lvdSetIndexFocused(3);
    QVERIFY(!list->lvdGoto(-1));
    QVERIFY(!list->lvdGoto(10));
    QCOMPARE(selectedRows(*list), (Rows{3}));
    QCOMPARE(list->lvdIndexFocused(), 3);
}

void LvdataTest::addShiftsStateDown() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->lvdSetCount(6);
    for (int row : {1, 2, 3}) {
        list->lvdSetSelected(row, 1);
    }
    list->lvdSetIndexFocused(3);
    // Inside a selected run: the new row is unselected, the run splits.
    QCOMPARE(list->lvdAdd(2, 0), 2);
    QCOMPARE(list->lvdGetCount(), 7);
    QCOMPARE(selectedRows(*list), (Rows{1, 3, 4}));
    QCOMPARE(list->lvdIndexFocused(), 4);
    // At the focused row: the focus moves down with its row.
    QCOMPARE(list->lvdAdd(4, 0), 4);
    QCOMPARE(list->lvdIndexFocused(), 5);
    QCOMPARE(selectedRows(*list), (Rows{1, 3, 5}));
    // Past the end: appended.
    QCOMPARE(list->lvdAdd(100, 7), 8);
    QCOMPARE(list->lvdGetCount(), 9);
    QCOMPARE(list->lvdItemSelected(8), 0u);
    QCOMPARE(list->lvdAdd(-1, 0), -1);
    QCOMPARE(list->lvdGetCount(), 9);
    // Growing the list one row at a time as a check does.
    auto grown = makeList(log);
    for (int i = 0; i < 50; ++i) {
        QCOMPARE(grown->lvdAdd(grown->lvdGetCount(), 0), i);
        QVERIFY(grown->lvdUpdate(i));
    }
    QCOMPARE(grown->lvdGetCount(), 50);
}

void LvdataTest::removeShiftsStateUp() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->lvdSetCount(10);
    for (int row : {1, 3, 4, 5, 6, 8}) {
        list->lvdSetSelected(row, 1);
    }
    list->lvdSetIndexFocused(8);
    // An unselected row: the rows behind move up with their state.
    QVERIFY(list->lvdRemove(2));
    QCOMPARE(list->lvdGetCount(), 9);
    QCOMPARE(selectedRows(*list), (Rows{1, 2, 3, 4, 5, 7}));
    QCOMPARE(list->lvdIndexFocused(), 7);
    // A row inside a selected run: the run closes up.
    QVERIFY(list->lvdRemove(3));
    QCOMPARE(selectedRows(*list), (Rows{1, 2, 3, 4, 6}));
    QCOMPARE(list->lvdIndexFocused(), 6);
    QVERIFY(!list->lvdRemove(8));
    QVERIFY(!list->lvdRemove(-1));
    QCOMPARE(list->lvdGetCount(), 8);
}

void LvdataTest::removeFocusedRowPassesTheFocusOn() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->lvdSetCount(5);
    list->lvdSetSelected(2, 1);
    list->lvdSetSelected(3, 1);
    list->lvdSetIndexFocused(2);
    QVERIFY(list->lvdRemove(2));
    // The row that took its place has the focus and keeps its own selection.
    QCOMPARE(list->lvdIndexFocused(), 2);
    QCOMPARE(selectedRows(*list), (Rows{2}));
    QVERIFY(list->lvdRemove(2));
    QCOMPARE(list->lvdIndexFocused(), 2);
    QVERIFY(selectedRows(*list).empty());
    // The last row: the new last row takes the focus.
    QCOMPARE(list->lvdGetCount(), 3);
    QVERIFY(list->lvdRemove(2));
    QCOMPARE(list->lvdIndexFocused(), 1);
    QVERIFY(list->lvdRemove(0));
    QVERIFY(list->lvdRemove(0));
    QCOMPARE(list->lvdGetCount(), 0);
    QCOMPARE(list->lvdIndexFocused(), -1);
}

void LvdataTest::setCountKeepsTheRowsThatStay() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->lvdSetCount(10);
    list->lvdSetSelected(2, 1);
    list->lvdSetSelected(8, 1);
    list->lvdSetIndexFocused(2);
    QVERIFY(list->lvdSetCount(20));
    QCOMPARE(selectedRows(*list), (Rows{2, 8}));
    QCOMPARE(list->lvdIndexFocused(), 2);
    list->lvdSetIndexFocused(8);
    QVERIFY(list->lvdSetCount(5));
    QCOMPARE(list->lvdGetCount(), 5);
    QCOMPARE(selectedRows(*list), (Rows{2}));
    QCOMPARE(list->lvdIndexFocused(), -1);
    QVERIFY(list->lvdSetCount(10));
    QCOMPARE(selectedRows(*list), (Rows{2}));
}

void LvdataTest::clearAndAddCountDropState() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(10);
    list->lvdGoto(4);
    QVERIFY(list->lvdClearAll());
    QCOMPARE(list->lvdGetCount(), 0);
    QCOMPARE(list->lvdIndexFocused(), -1);
    list->lvdSetCount(3);
    list->lvdGoto(1);
    QVERIFY(list->lvdAddCount(7));
    QCOMPARE(list->lvdGetCount(), 7);
    QVERIFY(selectedRows(*list).empty());
    QCOMPARE(list->lvdIndexFocused(), -1);
    QVERIFY(list->lvdAddCount(0));
    QCOMPARE(list->lvdGetCount(), 0);
}

void LvdataTest::selectAllAndInvert() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->lvdSetCount(6);
    list->lvdSetSelected(1, 1);
    list->lvdSetSelected(4, 1);
    list->lvdInvertSelect();
    QCOMPARE(selectedRows(*list), (Rows{0, 2, 3, 5}));
    list->lvdInvertSelect();
    QCOMPARE(selectedRows(*list), (Rows{1, 4}));
    list->lvdSelectAll(1);
    QCOMPARE(selectedRows(*list), (Rows{0, 1, 2, 3, 4, 5}));
    list->lvdInvertSelect();
    QVERIFY(selectedRows(*list).empty());
    list->lvdSelectAll(1);
    list->lvdSelectAll(0);
    QVERIFY(selectedRows(*list).empty());
    // A large list inverts as ranges, row state intact.
    list->lvdSetCount(100000);
    list->lvdSetSelected(50000, 1);
    list->lvdInvertSelect();
    QCOMPARE(list->lvdItemSelected(50000), 0u);
    QCOMPARE(list->lvdItemSelected(49999), LvisSelected);
    QCOMPARE(list->lvdItemSelected(99999), LvisSelected);
}

void LvdataTest::displayEventsAreOptional() {
    TListViewData list;
    list.addColumn("To:", 100);
    list.lvdSetCount(3);
    const QModelIndex index = list.activeView()->model()->index(1, 0);
    QVERIFY(index.isValid());
    QCOMPARE(index.data(Qt::DisplayRole).toString(), QString());
    QVERIFY(!index.data(Qt::DecorationRole).isValid());
    // Only the second event: it alone fills the cell.
    list.OnLVFastDisplayShort = [](TListViewData*, LVDItem* plv) {
        QCOMPARE(plv->text[0], '\0');
        QCOMPARE(plv->image, -1);
        std::snprintf(plv->text, static_cast<std::size_t>(plv->textMax), "short %d", plv->item);
    };
    QCOMPARE(index.data(Qt::DisplayRole).toString(), QStringLiteral("short 1"));
}

void LvdataTest::shortEventSeesWhatTheFirstWrote() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->setSmallImages(
        {solidIcon(Qt::blue, 16), solidIcon(Qt::red, 16), solidIcon(Qt::green, 16)});
    list->lvdSetCount(5);
    list->lvdSetSelected(3, 1);
    list->lvdSetIndexFocused(3);
    std::vector<LVDItem> seen;
    static const char own[] = "from the owner's own text";
    list->OnLVFastDisplayShort = [&seen](TListViewData*, LVDItem* plv) {
        seen.push_back(*plv);
        if ((plv->mask & LvifText) != 0) {
            QCOMPARE(std::string(plv->text),
                     "r" + std::to_string(plv->item) + " c" + std::to_string(plv->subItem));
        } else {
            QCOMPARE(plv->text[0], '\0');
            QCOMPARE(plv->image, plv->item % 2);
        }
        if (plv->item == 3) {
            plv->text = const_cast<char*>(own);
            plv->image = 2;
        }
    };
    const QModelIndex third = cell(*list, 3, 0);
    QCOMPARE(third.data(Qt::DisplayRole).toString(), QString::fromLatin1(own));
    QCOMPARE(seen.back().state, LvisSelected | LvisFocused);
    QCOMPARE(seen.back().mask, LvifText);
    QCOMPARE(seen.back().textMax, TListViewData::kTextMax);
    QCOMPARE(seen.back().param, 0L);
    const QIcon icon = qvariant_cast<QIcon>(third.data(Qt::DecorationRole));
    QCOMPARE(icon.pixmap(16).toImage().pixelColor(4, 4), QColor(Qt::green));
    QCOMPARE(seen.back().mask, LvifImage);
    QCOMPARE(cell(*list, 1, 2).data(Qt::DisplayRole).toString(), QStringLiteral("r1 c2"));
    QCOMPARE(seen.back().state, 0u);
    // Only the first column has an image; the others are not asked for one.
    const std::size_t before = log.size();
    QVERIFY(!cell(*list, 1, 2).data(Qt::DecorationRole).isValid());
    QCOMPARE(log.size(), before);
}

void LvdataTest::imagesComeFromTheStylesList() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->lvdSetCount(4);
    auto colorOf = [&](int row) {
        const QIcon icon = qvariant_cast<QIcon>(cell(*list, row, 0).data(Qt::DecorationRole));
        return icon.isNull() ? QColor() : icon.pixmap(8).toImage().pixelColor(2, 2);
    };
    QVERIFY(!colorOf(1).isValid());
    list->setSmallImages({solidIcon(Qt::blue, 16), solidIcon(Qt::red, 16)});
    list->setLargeImages({solidIcon(Qt::yellow, 32), solidIcon(Qt::green, 32)});
    QCOMPARE(colorOf(0), QColor(Qt::blue));
    QCOMPARE(colorOf(1), QColor(Qt::red));
    list->setViewStyle(TViewStyle::Icon);
    QCOMPARE(colorOf(1), QColor(Qt::green));
    list->setViewStyle(TViewStyle::List);
    QCOMPARE(colorOf(1), QColor(Qt::red));
    // An index outside the list shows no image.
    list->setSmallImages({solidIcon(Qt::blue, 16)});
    QVERIFY(!colorOf(1).isValid());
}

void LvdataTest::textsAreBoundedAndDecoded() {
    TListViewData list;
    list.addColumn("Subject", 300);
    list.lvdSetCount(5);
    std::string longUtf8;
    for (int i = 0; i < 800; ++i) {
        longUtf8 += "\xc3\xa9"; // é
    }
    list.OnLVFastDisplay = [&longUtf8](TListViewData*, int, char* sztext, int maxtext, int,
                                       int index, int*) {
        switch (index) {
        case 0:
            std::snprintf(sztext, static_cast<std::size_t>(maxtext), "%s",
                          "Gr\xc3\xbc\xc3\x9f"
                          "e");
            break;
        case 1:
            std::snprintf(sztext, static_cast<std::size_t>(maxtext), "%s",
                          "Gr\xfc\xdf"
                          "e");
            break;
        case 2:
            // A handler that fills the whole buffer and forgets the terminator.
            std::memset(sztext, 'a', static_cast<std::size_t>(maxtext));
            break;
        case 3:
            // A bounded copy that cuts the last "é" in half.
            std::snprintf(sztext, static_cast<std::size_t>(maxtext), "x%s", longUtf8.c_str());
            break;
        default:
            break;
        }
    };
    auto text = [&](int row) { return cell(list, row, 0).data(Qt::DisplayRole).toString(); };
    QCOMPARE(text(0), QStringLiteral("Grüße"));
    QCOMPARE(text(1), QStringLiteral("Grüße"));
    QCOMPARE(text(2), QString(TListViewData::kTextMax - 1, QLatin1Char('a')));
    const QString cut = text(3);
    QCOMPARE(cut, QStringLiteral("x") + QString((TListViewData::kTextMax - 2) / 2, QChar(0xe9)));
}

// A display handler runs inside painting: a row count change there would
// pull the rows out from under the paint.
void LvdataTest::displayHandlerCannotChangeTheRowCount() {
    TListViewData list;
    list.addColumn("To:", 100);
    list.lvdSetCount(10);
    std::vector<bool> results;
    list.OnLVFastDisplay = [&results](TListViewData* sender, int, char*, int, int, int, int*) {
        results.push_back(sender->lvdSetCount(1));
        results.push_back(sender->lvdAdd(0, 0) != -1);
        results.push_back(sender->lvdRemove(0));
        results.push_back(sender->lvdClearAll());
        results.push_back(sender->lvdAddCount(2));
    };
    list.resize(300, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.activeView()->viewport()->repaint();
    QVERIFY(!results.empty());
    QVERIFY(std::none_of(results.begin(), results.end(), [](bool ok) { return ok; }));
    QCOMPARE(list.lvdGetCount(), 10);
    // Once painting is over the operations work again.
    list.OnLVFastDisplay = nullptr;
    QVERIFY(list.lvdRemove(0));
    QCOMPARE(list.lvdGetCount(), 9);
}

void LvdataTest::updateAndRedrawAskAgain() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(50);
    QTRY_VERIFY(!log.empty());
    auto asked = [&](int row) {
        return std::any_of(log.begin(), log.end(),
                           [row](const Request& r) { return r.row == row; });
    };
    log.clear();
    QVERIFY(list->lvdUpdate(3));
    QTRY_VERIFY(asked(3));
    log.clear();
    QVERIFY(list->lvdRedraw(5));
    // lvdRedraw repaints before it returns.
    QVERIFY(asked(0) && asked(4));
    QVERIFY(!list->lvdUpdate(50));
}

void LvdataTest::changeEventReportsSelectionAndFocus() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->lvdSetCount(10);
    std::vector<LVDChange> changes;
    list->OnLVDChange = [&changes](TListViewData*, const LVDChange* pnmv) {
        changes.push_back(*pnmv);
    };
    auto is = [](const LVDChange& c, int first, int last, unsigned bit, unsigned before,
                 unsigned after) {
        return c.item == first && c.lastItem == last && c.changed == bit && c.oldState == before &&
               c.newState == after;
    };
    list->lvdSetSelected(4, 1);
    QCOMPARE(changes.size(), 1u);
    QVERIFY(is(changes[0], 4, 4, LvisSelected, 0, LvisSelected));
    changes.clear();
    list->lvdSetIndexFocused(2);
    list->lvdSetIndexFocused(7);
    QCOMPARE(changes.size(), 3u);
    QVERIFY(is(changes[0], 2, 2, LvisFocused, 0, LvisFocused));
    QVERIFY(is(changes[1], 2, 2, LvisFocused, LvisFocused, 0));
    QVERIFY(is(changes[2], 7, 7, LvisFocused, 0, LvisFocused));
    changes.clear();
    list->lvdSetSelected(4, 0);
    list->lvdSelectAll(1);
    QCOMPARE(changes.size(), 2u);
    QVERIFY(is(changes[0], 4, 4, LvisSelected, LvisSelected, 0));
    QVERIFY(is(changes[1], 0, 9, LvisSelected, 0, LvisSelected));
    // Removing the focused, selected row: the owner hears that row 7 lost
    // both; the focus passing to the next row is the list's own shift.
    changes.clear();
    QVERIFY(list->lvdRemove(7));
    QCOMPARE(changes.size(), 2u);
    QVERIFY(is(changes[0], 7, 7, LvisFocused, LvisFocused, 0));
    QVERIFY(is(changes[1], 7, 7, LvisSelected, LvisSelected, 0));
    QCOMPARE(list->lvdIndexFocused(), 7);
    // Inserting a row shifts state without a change of any row's own state.
    changes.clear();
    list->lvdAdd(0, 0);
    QVERIFY(changes.empty());
}

void LvdataTest::columnClickReachesTheEvent() {
    std::vector<Request> log;
    auto list = makeList(log);
    std::vector<int> clicked;
    list->OnColumnClick = [&clicked](TListViewData* sender, int column) {
        QVERIFY(sender != nullptr);
        clicked.push_back(column);
    };
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(20);
    list->lvdSetSelected(5, 1);
    list->lvdSetIndexFocused(5);
    QHeaderView* header = list->headerView();
    QVERIFY(header->isVisible());
    for (int column : {2, 0, 3}) {
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    QCOMPARE(clicked, (std::vector<int>{2, 0, 3}));
    // A header click sorts in the owner; it does not select a column.
    QCOMPARE(selectedRows(*list), (Rows{5}));
    QCOMPARE(list->lvdIndexFocused(), 5);
}

void LvdataTest::mouseSelectsWholeRows() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(20);
    QAbstractItemView* view = list->activeView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(cell(*list, 3, 2)).center());
    QCOMPARE(selectedRows(*list), (Rows{3}));
    QCOMPARE(list->lvdIndexFocused(), 3);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      view->visualRect(cell(*list, 6, 1)).center());
    QCOMPARE(selectedRows(*list), (Rows{3, 4, 5, 6}));
    QCOMPARE(list->lvdIndexFocused(), 6);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualRect(cell(*list, 8, 0)).center());
    QCOMPARE(selectedRows(*list), (Rows{3, 4, 5, 6, 8}));
    QCOMPARE(list->lvdIndexFocused(), 8);
    // Keys move the cursor by rows; Right only scrolls the columns.
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(list->lvdIndexFocused(), 9);
    QCOMPARE(selectedRows(*list), (Rows{9}));
    QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(list->lvdIndexFocused(), 9);
    QVERIFY(view->horizontalScrollBar()->value() > 0);
}

void LvdataTest::singleSelectKeepsOneRow() {
    std::vector<Request> log;
    auto list = makeList(log);
    QVERIFY(list->multiSelect());
    list->setMultiSelect(false);
    QVERIFY(!list->multiSelect());
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(20);
    QAbstractItemView* view = list->activeView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(cell(*list, 1, 0)).center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualRect(cell(*list, 4, 0)).center());
    QCOMPARE(selectedRows(*list), (Rows{4}));
}

void LvdataTest::fullRowPaintsTheWholeRow() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(10);
    list->lvdSetSelected(1, 1);
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
    list->lvdSetFullRow();
    QCOMPARE(colorAt(probe), highlight);
    // The selection stays visible while another window has the focus.
    QCOMPARE(view->palette().color(QPalette::Inactive, QPalette::Highlight), highlight);
    list->setHideSelection(true);
    QVERIFY(view->palette().color(QPalette::Inactive, QPalette::Highlight) != highlight);
}

void LvdataTest::keyDoubleClickAndContextMenuReachTheOwner() {
    std::vector<Request> log;
    auto list = makeList(log);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    list->lvdSetCount(20);
    list->lvdGoto(2);
    QAbstractItemView* view = list->activeView();

    std::vector<int> keys;
    list->OnKeyDown = [&keys](TListViewData*, QKeyEvent* event) {
        keys.push_back(event->key());
        return event->key() == Qt::Key_Insert || event->key() == Qt::Key_Up;
    };
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(list->lvdIndexFocused(), 2); // consumed by the owner
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(list->lvdIndexFocused(), 3); // passed on to the list
    QTest::keyClick(view, Qt::Key_Insert);
    QTest::keyClick(view, Qt::Key_Plus, Qt::KeypadModifier);
    QCOMPARE(keys, (std::vector<int>{Qt::Key_Up, Qt::Key_Down, Qt::Key_Insert, Qt::Key_Plus}));

    int doubleClicks = 0;
    list->OnDblClick = [&doubleClicks](TListViewData*) { ++doubleClicks; };
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       view->visualRect(cell(*list, 5, 1)).center());
    QCOMPARE(doubleClicks, 1);

    QMenu menu;
    menu.addAction("View");
    list->setPopupMenu(&menu);
    QCOMPARE(list->popupMenu(), &menu);
    std::vector<QPoint> asked;
    bool handle = true;
    list->OnContextPopup = [&](TListViewData*, QPoint pos, bool& handled) {
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
void LvdataTest::columnsAreTheOwners() {
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

QTEST_MAIN(LvdataTest)
#include "Lvdata_test.moc"
