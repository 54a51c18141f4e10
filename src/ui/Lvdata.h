// TListViewData: the owner-data list control that shows the message list.
//
// The control knows how many rows there are and keeps each row's selected
// and focused state (as runs of rows, so selecting a whole list costs one
// run), shifting it when rows are inserted or removed; it never holds a
// cell's content. Whenever a cell is painted its text and image are asked
// from the owner through OnLVFastDisplay, straight into a buffer on the
// stack, so showing a mailbox of any size costs only the cells on screen,
// and a changed entry is shown again by repainting its row.
//
// It is built on Qt's model/view: one table model that answers every
// request by asking the owner, shared with two views that also share one
// selection model. A QTableView shows the report style (columns with a
// clickable header); a QListView in list mode shows the large-icon,
// small-icon and list styles. Switching styles only flips which view is on
// show, so rows, selection, focus and scroll target survive a switch.
//
// Row and column numbers are 0-based. Everything runs on the GUI thread.
#pragma once

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QAbstractItemView;
class QHeaderView;
class QItemSelection;
class QItemSelectionModel;
class QKeyEvent;
class QMenu;
class QModelIndex;
class QStackedLayout;

class LvdModel;
class LvdReportView;
class LvdIconView;

// Bits of a row's state, as the owner sees them in LVDItem::state and in
// LVDChange.
inline constexpr unsigned LvisFocused = 1;
inline constexpr unsigned LvisSelected = 2;

// Bits of a display request's mask: what the list wants for the cell.
inline constexpr unsigned LvifText = 1;
inline constexpr unsigned LvifImage = 2;

// One cell's display request as OnLVFastDisplayShort sees it: the fields of
// the request that the control acts on, readable and writable.
struct LVDItem {
    unsigned mask = 0;    // LvifText and/or LvifImage
    int item = 0;         // row
    int subItem = 0;      // column
    unsigned state = 0;   // the row's LvisSelected / LvisFocused bits, for reading
    char* text = nullptr; // buffer of textMax bytes to fill with a zero-terminated text;
                          // a handler may instead point it at a text of its own that
                          // lives until the handler returns
    int textMax = 0;      // size of the buffer in bytes, terminator included
    int image = -1;       // index into the style's image list; -1 shows no image
    long param = 0;       // always 0: rows of an owner-data list carry no value
};

// One change of row state, given to OnLVDChange. A change can cover a run
// of rows (select all, a shift-click range); item..lastItem names the run.
// oldState and newState carry only the bits named in changed.
struct LVDChange {
    int item = 0;         // first row of the run
    int lastItem = 0;     // last row of the run, item itself for one row
    unsigned changed = 0; // LvisSelected or LvisFocused
    unsigned oldState = 0;
    unsigned newState = 0;
};

// The four ways of laying out the same rows.
enum class TViewStyle { Icon, SmallIcon, List, Report };

class TListViewData : public QWidget {
    Q_OBJECT

public:
    // Size of the text buffer of every display request, terminator included.
    // Longer texts are cut; a UTF-8 sequence cut in half at the end is dropped.
    static constexpr int kTextMax = 1024;
    static constexpr int kSmallIconSize = 16;
    static constexpr int kLargeIconSize = 32;

    using FastDisplayEvent = std::function<void(TListViewData* Sender, int nmask, char* sztext,
                                                int maxtext, int xcol, int index, int* indeximage)>;
    using FastDisplayShortEvent = std::function<void(TListViewData* Sender, LVDItem* plv)>;
    using ChangeEvent = std::function<void(TListViewData* Sender, const LVDChange* pnmv)>;
    using ColumnClickEvent = std::function<void(TListViewData* Sender, int column)>;
    using NotifyEvent = std::function<void(TListViewData* Sender)>;
    // Returns true when the key is consumed; the list then does nothing with it.
    using KeyDownEvent = std::function<bool(TListViewData* Sender, QKeyEvent* event)>;
    // The tooltip of a row, asked for only when one is about to show; an
    // empty text shows none.
    using ToolTipEvent = std::function<QString(TListViewData* Sender, int row)>;
    // pos is in the control's coordinates; setting handled keeps the pop-up
    // menu from showing.
    using ContextPopupEvent = std::function<void(TListViewData* Sender, QPoint pos, bool& handled)>;

    // Every event is optional: an unassigned one is skipped. The display
    // events run inside painting: they must not block, and the operations
    // that change the row count refuse to run while one is in progress.
    //
    // A cell request: nmask has LvifText when the text is wanted (into
    // sztext, maxtext bytes with the terminator) and LvifImage when the image
    // index is wanted (into *indeximage, which starts at -1, no image). Only
    // column 0 has an image. The buffer starts empty; a handler that leaves
    // it alone leaves the cell empty.
    FastDisplayEvent OnLVFastDisplay;
    // Runs after OnLVFastDisplay for the same request and sees what it wrote.
    FastDisplayShortEvent OnLVFastDisplayShort;
    // A row's selected or focused state changed.
    ChangeEvent OnLVDChange;
    // A click on a column header in the report style.
    ColumnClickEvent OnColumnClick;
    // A double click anywhere in the list.
    NotifyEvent OnDblClick;
    // A key pressed while the list has the keyboard focus, before the list's
    // own handling. The list has no type-ahead search: it would read the text
    // of every row through the owner.
    KeyDownEvent OnKeyDown;
    // The context menu was asked for (right click or the menu key).
    ContextPopupEvent OnContextPopup;
    // A row's tooltip.
    ToolTipEvent OnToolTip;

    explicit TListViewData(QWidget* parent = nullptr);
    ~TListViewData() override;

    TListViewData(const TListViewData&) = delete;
    TListViewData& operator=(const TListViewData&) = delete;

    // --- Row operations ---

    // Adds full-row selection painting in the report style (without it only
    // the first cell of a selected row shows as selected).
    void lvdSetFullRow();
    // Sets the row count in one step. New rows are unselected; rows cut off
    // take their selection with them, and a focus beyond the new end is
    // cleared. Only the cells on screen are asked for again.
    bool lvdSetCount(int n);
    // Removes every row, selection and focus included, and repaints at once.
    bool lvdClearAll();
    // Has rows 0..n-1 asked for again and repaints at once.
    bool lvdRedraw(int n);
    // LvisSelected when row i is selected, else 0 (also for a row that does
    // not exist).
    unsigned lvdItemSelected(int i) const;
    // Selects or deselects row i, touching nothing else; i == -1 means every
    // row. False for a row that does not exist.
    bool lvdSetSelected(int i, int on);
    // The focused row, -1 when none.
    int lvdIndexFocused() const;
    // Gives row i the focus without changing the selection or scrolling.
    bool lvdSetIndexFocused(int i);
    int lvdGetCount() const;
    // Selects (on != 0) or deselects every row.
    void lvdSelectAll(char on);
    // Selects every unselected row and deselects every selected one.
    void lvdInvertSelect();
    // Has row i asked for again when it is next painted.
    bool lvdUpdate(int i);
    // Removes row i; the rows behind it move up with their state. A focused
    // row i passes the focus to the row that takes its place (the new last
    // row when it was the last).
    bool lvdRemove(int i);
    // Moves the cursor to row i: the previously focused row is deselected,
    // row i gets the focus and the selection and is scrolled into view.
    // Other selected rows stay selected. A row that does not exist changes
    // nothing and gives false.
    bool lvdGoto(int i);
    // Inserts a row at i (at the end when i is past it) and returns its
    // index, -1 when refused. The row starts unselected; the rows from i on
    // move down with their state. param is not kept.
    int lvdAdd(int i, long param);
    // Replaces the rows by n new unselected ones and repaints at once.
    bool lvdAddCount(int n);

    // --- Columns (shown in the report style) ---

    int addColumn(const QString& caption, int width);
    void clearColumns();
    int columnCount() const;
    QString columnCaption(int column) const;
    void setColumnCaption(int column, const QString& caption);
    // The width as shown, which the user may have changed by dragging.
    int columnWidth(int column) const;
    // Negative widths count as 0.
    void setColumnWidth(int column, int width);
    // When on, the last column takes whatever width the others leave.
    void setStretchLastColumn(bool on);
    // Shows the sort arrow on column (ascending or descending); -1 shows none.
    void setSortIndicator(int column, bool ascending);

    // --- Appearance ---

    TViewStyle viewStyle() const { return style_; }
    void setViewStyle(TViewStyle style);
    // Image indexes from the owner pick icons from these lists: the large
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
    // Shown on a context-menu request unless OnContextPopup handles it. Not
    // owned.
    void setPopupMenu(QMenu* menu);
    QMenu* popupMenu() const;

    // The view on show and the report style's header, for the owner's layout
    // and for tests that drive the mouse.
    QAbstractItemView* activeView() const;
    QHeaderView* headerView() const;

private:
    friend class LvdModel;
    friend class LvdReportView;
    friend class LvdIconView;

    struct Answer {
        QString text;
        int image = -1;
    };

    // The request of one cell to the owner; mask as in OnLVFastDisplay.
    Answer askOwner(int row, int column, unsigned mask) const;
    QIcon iconFor(int image) const;
    unsigned rowState(int row) const;

    QModelIndex rowIndex(int row) const;
    void selectRows(int first, int last, bool on);
    void setFocusRow(int row);
    void repaintNow();
    void applyStyle();
    void applySelectionPalette();

    void reportSelection(const QItemSelection& ranges, bool selected);
    void reportFocus(const QModelIndex& current, const QModelIndex& previous);
    void showContextMenu(QAbstractItemView* view, const QPoint& viewportPos);
    bool hookKey(QKeyEvent* event);
    void hookDblClick();

    LvdModel* model_ = nullptr;
    QItemSelectionModel* selection_ = nullptr;
    LvdReportView* report_ = nullptr;
    LvdIconView* icons_ = nullptr;
    QStackedLayout* stack_ = nullptr;
    QPointer<QMenu> popupMenu_;

    QList<QIcon> smallImages_;
    QList<QIcon> largeImages_;
    TViewStyle style_ = TViewStyle::Report;
    bool fullRow_ = false;
    bool hideSelection_ = false;
    // Depth of display requests in progress (a handler could trigger a
    // nested paint); while non-zero the row count stays as it is.
    mutable int inDisplay_ = 0;
    // Set while the control shifts the focus itself after a removal, which
    // the owner is not told about.
    bool quietFocus_ = false;
};
