#include "ui/MessageListView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStackedLayout>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>

namespace toppeek::ui {

namespace {

// Paints a selected row's other cells as unselected until full-row selection
// is switched on, as the report style of a list without it looks. The table
// has already laid the row's highlight under each cell; it is painted over.
class RowDelegate final : public QStyledItemDelegate {
public:
    RowDelegate(const bool& fullRow, QObject* parent)
        : QStyledItemDelegate(parent), fullRow_(fullRow) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (fullRow_ || index.column() == 0 || !option.state.testFlag(QStyle::State_Selected)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_Selected;
        painter->fillRect(option.rect, option.palette.base());
        QStyledItemDelegate::paint(painter, plain, index);
    }

private:
    const bool& fullRow_;
};

} // namespace

// Both views hand keys and double clicks to the control's events first, and
// neither has type-ahead search: it would read the text of every row, the
// very cost this control exists to avoid.
class MessageReportView final : public QTableView {
public:
    explicit MessageReportView(MessageListView& list) : QTableView(&list), list_(list) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (list_.hookKey(event)) {
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QTableView::mouseDoubleClickEvent(event);
        list_.hookDoubleClick();
    }

    void keyboardSearch(const QString&) override {}

public:
    // Rows added at the end while a mailbox is read need only their own place painted: the
    // rows above them did not change, and painting the whole list for every batch costs more,
    // on a real screen, than reading the messages. Any other change of the rows or columns
    // lays out and paints everything as before.
    void doItemsLayout() override {
        const int first = appendedFrom_;
        const int columns = model() != nullptr ? model()->columnCount() : 0;
        const bool onlyAppended = first >= 0 && !restructured_ && columns == laidOutColumns_;
        appendedFrom_ = -1;
        restructured_ = false;
        laidOutColumns_ = columns;
        if (!onlyAppended) {
            QTableView::doItemsLayout();
            return;
        }
        updateGeometries();
        const int top = std::max(0, rowViewportPosition(first));
        const int height = viewport()->height();
        if (top < height) {
            viewport()->update(QRect(0, top, viewport()->width(), height - top));
        }
    }

    void reset() override {
        restructured_ = true;
        QTableView::reset();
    }

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override {
        if (model() != nullptr && end == model()->rowCount(parent) - 1) {
            appendedFrom_ = appendedFrom_ < 0 ? start : std::min(appendedFrom_, start);
        } else {
            restructured_ = true;
        }
        QTableView::rowsInserted(parent, start, end);
    }

    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override {
        restructured_ = true;
        QTableView::rowsAboutToBeRemoved(parent, start, end);
    }

    // The cursor is a row, not a cell: Left and Right scroll the columns.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
        if (action == MoveLeft || action == MoveRight) {
            horizontalScrollBar()->triggerAction(action == MoveLeft
                                                     ? QAbstractSlider::SliderSingleStepSub
                                                     : QAbstractSlider::SliderSingleStepAdd);
            return currentIndex();
        }
        return QTableView::moveCursor(action, modifiers);
    }

private:
    MessageListView& list_;
    // What changed since the last layout: the first row appended at the end (-1: none), whether
    // anything else changed the rows, and the columns the last layout had.
    int appendedFrom_ = -1;
    bool restructured_ = false;
    int laidOutColumns_ = -1;
};

class MessageIconView final : public QListView {
public:
    explicit MessageIconView(MessageListView& list) : QListView(&list), list_(list) {}

    // Large icons sit above their text, centred, as in an icon view; list
    // mode keeps the layout arithmetic uniform (icon mode would keep a
    // position record for every row).
    void setLargeIcons(bool large) { large_ = large; }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (list_.hookKey(event)) {
            event->accept();
            return;
        }
        QListView::keyPressEvent(event);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QListView::mouseDoubleClickEvent(event);
        list_.hookDoubleClick();
    }

    void keyboardSearch(const QString&) override {}

    void initViewItemOption(QStyleOptionViewItem* option) const override {
        QListView::initViewItemOption(option);
        if (large_) {
            option->decorationPosition = QStyleOptionViewItem::Top;
            option->decorationAlignment = Qt::AlignCenter;
            option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
        }
    }

private:
    MessageListView& list_;
    bool large_ = false;
};

MessageListView::MessageListView(std::unique_ptr<ListRowsModel> model, QWidget* parent)
    : QWidget(parent) {
    model_ = model != nullptr ? model.release() : new ListRowsModel;
    model_->setParent(this);
    selection_ = new QItemSelectionModel(model_, this);
    report_ = new MessageReportView(*this);
    icons_ = new MessageIconView(*this);

    const QList<QAbstractItemView*> views{report_, icons_};
    for (QAbstractItemView* view : views) {
        view->setModel(model_);
        QItemSelectionModel* own = view->selectionModel();
        view->setSelectionModel(selection_);
        delete own;
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setTextElideMode(Qt::ElideRight);
        view->setTabKeyNavigation(false);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& pos) { showContextMenu(view, pos); });
    }

    setListName(tr("Messages"), tr("The first cell of each row says whether the message is "
                                   "marked for deletion, and why."));

    const int rowHeight = std::max(fontMetrics().height(), kSmallIconSize) + 4;
    report_->setItemDelegate(new RowDelegate(fullRow_, report_));
    report_->setShowGrid(false);
    report_->setWordWrap(false);
    report_->setCornerButtonEnabled(false);
    report_->setSortingEnabled(false);
    report_->setIconSize(QSize(kSmallIconSize, kSmallIconSize));
    report_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* rows = report_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(rowHeight);
    rows->setDefaultSectionSize(rowHeight);
    QHeaderView* header = report_->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    // Sizing a column to its contents (a double click on a header divider)
    // measures the rows on screen only, not a sample of the whole list.
    header->setResizeContentsPrecision(0);
    rows->setResizeContentsPrecision(0);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
        if (onColumnClick && section < columnCount()) {
            onColumnClick(section);
        }
    });

    // Uniform item sizes: one sample row sizes every item, so laying the
    // rows out never reads the others.
    icons_->setViewMode(QListView::ListMode);
    icons_->setMovement(QListView::Static);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setLayoutMode(QListView::SinglePass);
    icons_->setUniformItemSizes(true);
    icons_->setSelectionRectVisible(true);

    connect(selection_, &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                reportSelection(deselected, false);
                reportSelection(selected, true);
            });
    connect(selection_, &QItemSelectionModel::currentChanged, this, &MessageListView::reportFocus);

    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(report_);
    stack_->addWidget(icons_);
    applySelectionPalette();
    applyStyle();
}

MessageListView::~MessageListView() {
    // The views go before the model and the selection model they use.
    delete report_;
    delete icons_;
}

// --- Rows ---

void MessageListView::setFullRowSelect() {
    fullRow_ = true;
    report_->viewport()->update();
}

bool MessageListView::setRowCount(int n) {
    if (model_->readingCell()) {
        return false;
    }
    n = std::max(0, n);
    const int count = rowCount();
    if (n > count) {
        model_->insertRowsAt(count, n - count);
    } else if (n < count) {
        if (focusedRow() >= n) {
            setFocusRow(-1);
        }
        model_->removeRowsAt(n, count - n);
    }
    return true;
}

bool MessageListView::clearRows() {
    if (model_->readingCell()) {
        return false;
    }
    model_->resetTo(0);
    repaintNow();
    return true;
}

bool MessageListView::redrawRows(int n) {
    n = std::min(n, rowCount());
    if (n > 0) {
        model_->rowsChanged(0, n - 1);
    }
    repaintNow();
    return n > 0;
}

bool MessageListView::isRowSelected(int i) const {
    if (i < 0 || i >= rowCount()) {
        return false;
    }
    return selection_->isSelected(rowIndex(i));
}

bool MessageListView::setRowSelected(int i, bool on) {
    const int count = rowCount();
    if (i == -1) {
        if (count > 0) {
            selectRows(0, count - 1, on);
        }
        return true;
    }
    if (i < 0 || i >= count) {
        return false;
    }
    selectRows(i, i, on);
    return true;
}

int MessageListView::focusedRow() const {
    const QModelIndex current = selection_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool MessageListView::setFocusedRow(int i) {
    if (i < 0 || i >= rowCount()) {
        return false;
    }
    setFocusRow(i);
    return true;
}

int MessageListView::rowCount() const {
    return model_->rowCount();
}

void MessageListView::setAllRowsSelected(bool on) {
    const int count = rowCount();
    if (count > 0) {
        selectRows(0, count - 1, on);
    }
}

void MessageListView::invertSelection() {
    const int count = rowCount();
    if (count > 0) {
        const QItemSelection all(rowIndex(0), model_->index(count - 1, model_->columnCount() - 1));
        selection_->select(all, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
    }
}

bool MessageListView::updateRow(int i) {
    if (i < 0 || i >= rowCount()) {
        return false;
    }
    model_->rowsChanged(i, i);
    return true;
}

bool MessageListView::removeRow(int i) {
    if (model_->readingCell() || i < 0 || i >= rowCount()) {
        return false;
    }
    // The row leaves unfocused and unselected, which the owner hears of;
    // the focus then passes to the row that takes its place without a word,
    // as a list that holds its items shifts them.
    const bool hadFocus = focusedRow() == i;
    if (hadFocus) {
        setFocusRow(-1);
    }
    if (isRowSelected(i)) {
        selectRows(i, i, false);
    }
    model_->removeRowsAt(i, 1);
    const int count = rowCount();
    if (hadFocus && count > 0) {
        quietFocus_ = true;
        setFocusRow(std::min(i, count - 1));
        quietFocus_ = false;
    }
    return true;
}

bool MessageListView::goToRow(int i) {
    if (i < 0 || i >= rowCount()) {
        return false;
    }
    const int focused = focusedRow();
    if (focused != -1) {
        selectRows(focused, focused, false);
    }
    setFocusRow(i);
    selectRows(i, i, true);
    // Only the rows scroll into view; the report's columns stay where the
    // user put them.
    QAbstractItemView* view = activeView();
    const int across = view->horizontalScrollBar()->value();
    view->scrollTo(rowIndex(i), QAbstractItemView::EnsureVisible);
    if (view == report_) {
        view->horizontalScrollBar()->setValue(across);
    }
    return true;
}

int MessageListView::insertRow(int i) {
    if (model_->readingCell() || i < 0) {
        return -1;
    }
    i = std::min(i, rowCount());
    model_->insertRowsAt(i, 1);
    return i;
}

bool MessageListView::resetRows(int n) {
    if (model_->readingCell()) {
        return false;
    }
    model_->resetTo(std::max(0, n));
    repaintNow();
    return true;
}

// --- Columns ---

int MessageListView::addColumn(const QString& caption, int width) {
    const int column = model_->addColumn(caption);
    setColumnWidth(column, width);
    return column;
}

void MessageListView::clearColumns() {
    model_->clearColumns();
}

void MessageListView::removeLastColumn() {
    model_->removeLastColumn();
}

void MessageListView::placeColumnBefore(int column, int other) {
    if (column < 0 || other < 0 || column >= columnCount() || other >= columnCount())
        return;
    QHeaderView* header = report_->horizontalHeader();
    const int from = header->visualIndex(column);
    const int before = header->visualIndex(other);
    header->moveSection(from, from < before ? before - 1 : before);
}

int MessageListView::columnCount() const {
    return model_->definedColumns();
}

QString MessageListView::columnCaption(int column) const {
    return model_->caption(column);
}

void MessageListView::setListName(const QString& name, const QString& description) {
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        view->setAccessibleName(name);
        view->setAccessibleDescription(description);
    }
}

void MessageListView::setColumnCaption(int column, const QString& caption) {
    model_->setCaption(column, caption);
}

int MessageListView::columnWidth(int column) const {
    if (column < 0 || column >= columnCount()) {
        return 0;
    }
    return report_->columnWidth(column);
}

void MessageListView::setColumnWidth(int column, int width) {
    if (column >= 0 && column < columnCount()) {
        report_->setColumnWidth(column, std::max(0, width));
    }
}

void MessageListView::setStretchLastColumn(bool on) {
    report_->horizontalHeader()->setStretchLastSection(on);
}

void MessageListView::setSortIndicator(int column, bool ascending) {
    QHeaderView* header = report_->horizontalHeader();
    header->setSortIndicatorShown(column >= 0);
    header->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

// --- Appearance ---

void MessageListView::setViewStyle(ListViewStyle style) {
    if (style != style_) {
        style_ = style;
        applyStyle();
    }
}

void MessageListView::setSmallImages(QList<QIcon> icons) {
    smallImages_ = std::move(icons);
    applyImages();
    model_->imagesChanged();
}

void MessageListView::setLargeImages(QList<QIcon> icons) {
    largeImages_ = std::move(icons);
    applyImages();
    model_->imagesChanged();
}

void MessageListView::setMultiSelect(bool on) {
    const auto mode =
        on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    report_->setSelectionMode(mode);
    icons_->setSelectionMode(mode);
}

bool MessageListView::multiSelect() const {
    return report_->selectionMode() == QAbstractItemView::ExtendedSelection;
}

void MessageListView::setHideSelection(bool hide) {
    hideSelection_ = hide;
    applySelectionPalette();
}

void MessageListView::setPopupMenu(QMenu* menu) {
    popupMenu_ = menu;
}

QMenu* MessageListView::popupMenu() const {
    return popupMenu_;
}

QAbstractItemView* MessageListView::activeView() const {
    return style_ == ListViewStyle::Report ? static_cast<QAbstractItemView*>(report_)
                                           : static_cast<QAbstractItemView*>(icons_);
}

QHeaderView* MessageListView::headerView() const {
    return report_->horizontalHeader();
}

// --- Internals ---

QModelIndex MessageListView::rowIndex(int row) const {
    return model_->index(row, 0);
}

void MessageListView::selectRows(int first, int last, bool on) {
    const QItemSelection rows(rowIndex(first), model_->index(last, model_->columnCount() - 1));
    selection_->select(rows, (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                 QItemSelectionModel::Rows);
}

void MessageListView::setFocusRow(int row) {
    // Moving the focus does not scroll; only goToRow brings a row into view.
    QAbstractItemView* view = activeView();
    const bool autoScroll = view->hasAutoScroll();
    view->setAutoScroll(false);
    if (row < 0) {
        selection_->clearCurrentIndex();
    } else {
        selection_->setCurrentIndex(rowIndex(row), QItemSelectionModel::NoUpdate);
    }
    view->setAutoScroll(autoScroll);
}

void MessageListView::repaintNow() {
    activeView()->viewport()->repaint();
}

void MessageListView::applyImages() {
    model_->setImages(style_ == ListViewStyle::Icon ? largeImages_ : smallImages_);
}

void MessageListView::applyStyle() {
    applyImages();
    QAbstractItemView* before = qobject_cast<QAbstractItemView*>(stack_->currentWidget());
    const bool hadFocus = before != nullptr && before->hasFocus();
    if (style_ != ListViewStyle::Report) {
        const bool large = style_ == ListViewStyle::Icon;
        const QFontMetrics metrics = fontMetrics();
        const int iconSize = large ? kLargeIconSize : kSmallIconSize;
        icons_->setLargeIcons(large);
        icons_->setFlow(style_ == ListViewStyle::List ? QListView::TopToBottom
                                                      : QListView::LeftToRight);
        icons_->setWrapping(true);
        icons_->setWordWrap(large);
        icons_->setIconSize(QSize(iconSize, iconSize));
        // A fixed grid keeps every row's place a matter of arithmetic.
        if (large) {
            icons_->setGridSize(QSize(std::max(metrics.averageCharWidth() * 12, 76),
                                      iconSize + 2 * metrics.height() + 10));
        } else {
            icons_->setGridSize(
                QSize(metrics.averageCharWidth() * 24, std::max(metrics.height(), iconSize) + 4));
        }
    }
    QAbstractItemView* view = activeView();
    stack_->setCurrentWidget(view);
    setFocusProxy(view);
    // The list styles show column 0 only: keep the focus there.
    const int focused = focusedRow();
    if (focused >= 0) {
        selection_->setCurrentIndex(rowIndex(focused), QItemSelectionModel::NoUpdate);
        view->scrollTo(rowIndex(focused));
    }
    if (hadFocus) {
        view->setFocus();
    }
    view->viewport()->update();
}

void MessageListView::applySelectionPalette() {
    const QList<QAbstractItemView*> views{report_, icons_};
    for (QAbstractItemView* view : views) {
        QPalette palette = view->palette();
        if (hideSelection_) {
            palette.setColor(QPalette::Inactive, QPalette::Highlight,
                             palette.color(QPalette::Inactive, QPalette::Base));
            palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                             palette.color(QPalette::Inactive, QPalette::Text));
        } else {
            palette.setColor(QPalette::Inactive, QPalette::Highlight,
                             palette.color(QPalette::Active, QPalette::Highlight));
            palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                             palette.color(QPalette::Active, QPalette::HighlightedText));
        }
        view->setPalette(palette);
    }
}

void MessageListView::reportSelection(const QItemSelection& ranges, bool selected) {
    if (!onRowStateChange) {
        return;
    }
    // A row's selection is that of its first cell; ranges over the other
    // columns alone say nothing new about rows.
    for (const QItemSelectionRange& range : ranges) {
        if (!range.isValid() || range.left() != 0) {
            continue;
        }
        onRowStateChange({range.top(), range.bottom(), RowStateChange::State::Selected, selected});
    }
}

void MessageListView::reportFocus(const QModelIndex& current, const QModelIndex& previous) {
    if (!onRowStateChange || quietFocus_) {
        return;
    }
    const int now = current.isValid() ? current.row() : -1;
    const int before = previous.isValid() ? previous.row() : -1;
    if (now == before) {
        return;
    }
    if (before >= 0) {
        onRowStateChange({before, before, RowStateChange::State::Focused, false});
    }
    if (now >= 0) {
        onRowStateChange({now, now, RowStateChange::State::Focused, true});
    }
}

void MessageListView::showContextMenu(QAbstractItemView* view, const QPoint& viewportPos) {
    bool handled = false;
    if (onContextMenu) {
        onContextMenu(view->viewport()->mapTo(this, viewportPos), handled);
    }
    if (!handled && popupMenu_ != nullptr) {
        popupMenu_->popup(view->viewport()->mapToGlobal(viewportPos));
    }
}

bool MessageListView::hookKey(QKeyEvent* event) {
    return onKeyPress && onKeyPress(event);
}

void MessageListView::hookDoubleClick() {
    if (onDoubleClick) {
        onDoubleClick();
    }
}

} // namespace toppeek::ui
