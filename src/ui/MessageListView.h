// MessageListView: the list control that shows the message list (and the
// filter editor's rules).
//
// The control knows how many rows there are and keeps each row's selected
// and focused state (as runs of rows, so selecting a whole list costs one
// run), shifting it when rows are inserted or removed; it never holds a
// cell's content. Its ListRowsModel reads each cell from the data the row
// stands for when the cell is painted, so showing a mailbox of any size
// costs only the cells on screen, and a changed entry is shown again by
// repainting its row.
//
// One table model is shared by two views that also share one selection
// model. A QTableView shows the report style (columns with a clickable
// header); a QListView in list mode shows the large-icon, small-icon and
// list styles. Switching styles only flips which view is on show, so rows,
// selection, focus and scroll target survive a switch.
//
// Row and column numbers are 0-based. Everything runs on the GUI thread.
#pragma once

#include "ui/ListRowsModel.h"

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QAbstractItemView;
class QHeaderView;
class QItemSelection;
class QItemSelectionModel;
class QKeyEvent;
class QMenu;
class QModelIndex;
class QStackedLayout;

namespace toppeek::ui {

class MessageReportView;
class MessageIconView;

// One change of row state, given to onRowStateChange. A change can cover a
// run of rows (select all, a shift-click range).
struct RowStateChange {
    enum class State { Focused, Selected };
    int firstRow = 0;
    int lastRow = 0; // firstRow itself for one row
    State state = State::Selected;
    bool now = false; // whether the rows have the state after the change
};

// The four ways of laying out the same rows.
enum class ListViewStyle { Icon, SmallIcon, List, Report };

class MessageListView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSmallIconSize = 16;
    static constexpr int kLargeIconSize = 32;

    // Every event is optional: an unassigned one is skipped.
    //
    // A row's selected or focused state changed.
    std::function<void(const RowStateChange& change)> onRowStateChange;
    // A click on a column header in the report style.
    std::function<void(int column)> onColumnClick;
    // A double click anywhere in the list.
    std::function<void()> onDoubleClick;
    // A key pressed while the list has the keyboard focus, before the list's
    // own handling; true when the key is consumed, and the list then does
    // nothing with it. The list has no type-ahead search: it would read the
    // text of every row.
    std::function<bool(QKeyEvent* event)> onKeyPress;
    // The context menu was asked for (right click or the menu key); pos is in
    // the control's coordinates. Setting handled keeps the pop-up menu from
    // showing.
    std::function<void(QPoint pos, bool& handled)> onContextMenu;

    // The control owns its model (without one, every cell reads empty); the
    // model's columns are the control's.
    explicit MessageListView(std::unique_ptr<ListRowsModel> model, QWidget* parent = nullptr);
    ~MessageListView() override;

    MessageListView(const MessageListView&) = delete;
    MessageListView& operator=(const MessageListView&) = delete;

    ListRowsModel* model() const { return model_; }

    // --- Rows ---
    //
    // The operations that change the row count refuse (false, or -1 from
    // insertRow) while the model reads a cell: they would pull the rows out
    // from under the paint that asked.

    // Adds full-row selection painting in the report style (without it only
    // the first cell of a selected row shows as selected).
    void setFullRowSelect();
    // Sets the row count in one step. New rows are unselected; rows cut off
    // take their selection with them, and a focus beyond the new end is
    // cleared. Only the cells on screen are read again.
    bool setRowCount(int n);
    int rowCount() const;
    // Removes every row, selection and focus included, and repaints at once.
    bool clearRows();
    // Replaces the rows by n new unselected ones and repaints at once.
    bool resetRows(int n);
    // Inserts a row at i (at the end when i is past it) and returns its
    // index, -1 when refused. The row starts unselected; the rows from i on
    // move down with their state.
    int insertRow(int i);
    // Removes row i; the rows behind it move up with their state. A focused
    // row i passes the focus to the row that takes its place (the new last
    // row when it was the last).
    bool removeRow(int i);
    // Has row i read again when it is next painted.
    bool updateRow(int i);
    // Has rows 0..n-1 read again and repaints at once.
    bool redrawRows(int n);

    // False also for a row that does not exist.
    bool isRowSelected(int i) const;
    // Selects or deselects row i, touching nothing else; i == -1 means every
    // row. False for a row that does not exist.
    bool setRowSelected(int i, bool on);
    // Selects or deselects every row.
    void setAllRowsSelected(bool on);
    // Selects every unselected row and deselects every selected one.
    void invertSelection();
    // The focused row, -1 when none.
    int focusedRow() const;
    // Gives row i the focus without changing the selection or scrolling.
    bool setFocusedRow(int i);
    // Moves the cursor to row i: the previously focused row is deselected,
    // row i gets the focus and the selection and is scrolled into view.
    // Other selected rows stay selected. A row that does not exist changes
    // nothing and gives false.
    bool goToRow(int i);

    // --- Columns (shown in the report style) ---

    int addColumn(const QString& caption, int width);
    void clearColumns();
    // Takes the last column away; column 0 always stays.
    void removeLastColumn();
    // Shows column just left of other, whatever their numbers; the numbers stay.
    void placeColumnBefore(int column, int other);
    int columnCount() const;
    QString columnCaption(int column) const;
    void setColumnCaption(int column, const QString& caption);
    // What a screen reader calls the list, whichever style shows it.
    void setListName(const QString& name, const QString& description = QString());
    // The width as shown, which the user may have changed by dragging.
    int columnWidth(int column) const;
    // Negative widths count as 0.
    void setColumnWidth(int column, int width);
    // When on, the last column takes whatever width the others leave.
    void setStretchLastColumn(bool on);
    // Shows the sort arrow on column (ascending or descending); -1 shows none.
    void setSortIndicator(int column, bool ascending);

    // --- Appearance ---

    ListViewStyle viewStyle() const { return style_; }
    void setViewStyle(ListViewStyle style);
    // Image indexes from the model pick icons from these lists: the large
    // list in the large-icon style, the small one in the other styles.
    // Indexes outside a list show no image.
    void setSmallImages(QList<QIcon> icons);
    void setLargeImages(QList<QIcon> icons);
    // Extended (ctrl/shift) multiple selection when on, one row when off.
    void setMultiSelect(bool on);
    bool multiSelect() const;
    // When off (the default) the selection stays visible while the list does
    // not have the keyboard focus.
    void setHideSelection(bool hide);
    // Shown on a context-menu request unless onContextMenu handles it. Not
    // owned.
    void setPopupMenu(QMenu* menu);
    QMenu* popupMenu() const;

    // The view on show and the report style's header, for the owner's layout
    // and for tests that drive the mouse.
    QAbstractItemView* activeView() const;
    QHeaderView* headerView() const;

private:
    friend class MessageReportView;
    friend class MessageIconView;

    QModelIndex rowIndex(int row) const;
    void selectRows(int first, int last, bool on);
    void setFocusRow(int row);
    void repaintNow();
    void applyStyle();
    void applyImages();
    void applySelectionPalette();

    void reportSelection(const QItemSelection& ranges, bool selected);
    void reportFocus(const QModelIndex& current, const QModelIndex& previous);
    void showContextMenu(QAbstractItemView* view, const QPoint& viewportPos);
    bool hookKey(QKeyEvent* event);
    void hookDoubleClick();

    ListRowsModel* model_ = nullptr;
    QItemSelectionModel* selection_ = nullptr;
    MessageReportView* report_ = nullptr;
    MessageIconView* icons_ = nullptr;
    QStackedLayout* stack_ = nullptr;
    QPointer<QMenu> popupMenu_;

    QList<QIcon> smallImages_;
    QList<QIcon> largeImages_;
    ListViewStyle style_ = ListViewStyle::Report;
    bool fullRow_ = false;
    bool hideSelection_ = false;
    // Set while the control shifts the focus itself after a removal, which
    // the owner is not told about.
    bool quietFocus_ = false;
};

} // namespace toppeek::ui
