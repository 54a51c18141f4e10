#include "ui/Lvdata.h"

#include "ui/ByteText.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QModelRoleDataSpan>
#include <QPainter>
#include <QScrollBar>
#include <QStackedLayout>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>
#include <cstring>

// The model holds the row count and the column captions, nothing per row.
// Every cell is answered by asking the control's owner.
class LvdModel final : public QAbstractTableModel {
public:
    explicit LvdModel(TListViewData& owner) : QAbstractTableModel(&owner), owner_(owner) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : rows_;
    }

    // Column 0 exists even before the owner defines columns: the icon and
    // list styles show it, and a table model without columns has no rows.
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : std::max(1, static_cast<int>(captions_.size()));
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!isCell(index)) {
            return {};
        }
        if (role == Qt::DisplayRole) {
            return owner_.askOwner(index.row(), index.column(), LvifText).text;
        }
        if (role == Qt::DecorationRole && index.column() == 0) {
            return iconVariant(owner_.askOwner(index.row(), 0, LvifImage).image);
        }
        if (role == Qt::ToolTipRole && owner_.OnToolTip) {
            const QString tip = owner_.OnToolTip(&owner_, index.row());
            return tip.isEmpty() ? QVariant() : QVariant(tip);
        }
        return {};
    }

    // A painted cell wants its text and its image at once: one request to
    // the owner answers both.
    void multiData(const QModelIndex& index, QModelRoleDataSpan roles) const override {
        unsigned mask = 0;
        if (isCell(index)) {
            for (const QModelRoleData& role : roles) {
                if (role.role() == Qt::DisplayRole) {
                    mask |= LvifText;
                } else if (role.role() == Qt::DecorationRole && index.column() == 0) {
                    mask |= LvifImage;
                }
            }
        }
        TListViewData::Answer answer;
        if (mask != 0) {
            answer = owner_.askOwner(index.row(), index.column(), mask);
        }
        for (QModelRoleData& role : roles) {
            if (role.role() == Qt::DisplayRole && (mask & LvifText) != 0) {
                role.setData(answer.text);
            } else if (role.role() == Qt::DecorationRole && (mask & LvifImage) != 0) {
                role.setData(iconVariant(answer.image));
            } else {
                role.clearData();
            }
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
            return {};
        }
        if (role == Qt::DisplayRole) {
            return section < static_cast<int>(captions_.size()) ? captions_[section] : QString();
        }
        if (role == Qt::TextAlignmentRole) {
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        }
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!isCell(index)) {
            return Qt::NoItemFlags;
        }
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    }

    void insertRowsAt(int first, int n) {
        beginInsertRows(QModelIndex(), first, first + n - 1);
        rows_ += n;
        endInsertRows();
    }

    void removeRowsAt(int first, int n) {
        beginRemoveRows(QModelIndex(), first, first + n - 1);
        rows_ -= n;
        endRemoveRows();
    }

    // A reset also clears the shared selection model: no selection, no focus.
    void resetTo(int n) {
        beginResetModel();
        rows_ = n;
        endResetModel();
    }

    void rowsChanged(int first, int last) {
        emit dataChanged(index(first, 0), index(last, columnCount() - 1),
                         {Qt::DisplayRole, Qt::DecorationRole});
    }

    // The owner's image lists changed: the icons on show are stale.
    void imagesChanged() {
        if (rows_ > 0) {
            emit dataChanged(index(0, 0), index(rows_ - 1, 0), {Qt::DecorationRole});
        }
    }

    int addColumn(const QString& caption) {
        const int column = static_cast<int>(captions_.size());
        if (column == 0) {
            captions_.push_back(caption);
            emit headerDataChanged(Qt::Horizontal, 0, 0);
        } else {
            beginInsertColumns(QModelIndex(), column, column);
            captions_.push_back(caption);
            endInsertColumns();
        }
        return column;
    }

    void clearColumns() {
        const int n = static_cast<int>(captions_.size());
        if (n > 1) {
            beginRemoveColumns(QModelIndex(), 1, n - 1);
            captions_.resize(1);
            endRemoveColumns();
        }
        captions_.clear();
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    }

    int definedColumns() const { return static_cast<int>(captions_.size()); }

    QString caption(int column) const {
        return column >= 0 && column < definedColumns() ? captions_[column] : QString();
    }

    void setCaption(int column, const QString& caption) {
        if (column >= 0 && column < definedColumns()) {
            captions_[column] = caption;
            emit headerDataChanged(Qt::Horizontal, column, column);
        }
    }

private:
    bool isCell(const QModelIndex& index) const {
        return index.isValid() && index.row() < rows_ && index.column() < columnCount();
    }

    QVariant iconVariant(int image) const {
        QIcon icon = owner_.iconFor(image);
        return icon.isNull() ? QVariant() : QVariant(icon);
    }

    TListViewData& owner_;
    int rows_ = 0;
    QList<QString> captions_;
};

namespace {

// Paints a selected row's other cells as unselected until full-row selection
// is switched on, as the report style of a list without it looks. The table
// has already laid the row's highlight under each cell; it is painted over.
class LvdDelegate final : public QStyledItemDelegate {
public:
    LvdDelegate(const bool& fullRow, QObject* parent)
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

// Both views hand keys and double clicks to the owner's hooks first, and
// neither has type-ahead search: it would read the text of every row through
// the owner, the very cost this control exists to avoid.
class LvdReportView final : public QTableView {
public:
    explicit LvdReportView(TListViewData& owner) : QTableView(&owner), owner_(owner) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (owner_.hookKey(event)) {
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QTableView::mouseDoubleClickEvent(event);
        owner_.hookDblClick();
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
    TListViewData& owner_;
    // What changed since the last layout: the first row appended at the end (-1: none), whether
    // anything else changed the rows, and the columns the last layout had.
    int appendedFrom_ = -1;
    bool restructured_ = false;
    int laidOutColumns_ = -1;
};

class LvdIconView final : public QListView {
public:
    explicit LvdIconView(TListViewData& owner) : QListView(&owner), owner_(owner) {}

    // Large icons sit above their text, centred, as in an icon view; list
    // mode keeps the layout arithmetic uniform (icon mode would keep a
    // position record for every row).
    void setLargeIcons(bool large) { large_ = large; }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (owner_.hookKey(event)) {
            event->accept();
            return;
        }
        QListView::keyPressEvent(event);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QListView::mouseDoubleClickEvent(event);
        owner_.hookDblClick();
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
    TListViewData& owner_;
    bool large_ = false;
};

namespace {

// Keeps a count of display requests in progress, also when a handler throws.
class DisplayScope {
public:
    explicit DisplayScope(int& depth) : depth_(depth) { ++depth_; }
    ~DisplayScope() { --depth_; }
    DisplayScope(const DisplayScope&) = delete;
    DisplayScope& operator=(const DisplayScope&) = delete;

private:
    int& depth_;
};

} // namespace

TListViewData::TListViewData(QWidget* parent) : QWidget(parent) {
    model_ = new LvdModel(*this);
    selection_ = new QItemSelectionModel(model_, this);
    report_ = new LvdReportView(*this);
    icons_ = new LvdIconView(*this);

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

    const int rowHeight = std::max(fontMetrics().height(), kSmallIconSize) + 4;
    report_->setItemDelegate(new LvdDelegate(fullRow_, report_));
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
        if (OnColumnClick && section < columnCount()) {
            OnColumnClick(this, section);
        }
    });

    // Uniform item sizes: one sample row sizes every item, so laying the
    // rows out never asks the owner for the others.
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
    connect(selection_, &QItemSelectionModel::currentChanged, this, &TListViewData::reportFocus);

    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(report_);
    stack_->addWidget(icons_);
    applySelectionPalette();
    applyStyle();
}

TListViewData::~TListViewData() {
    // The views go before the model and the selection model they use.
    delete report_;
    delete icons_;
}

// --- Rows ---

void TListViewData::lvdSetFullRow() {
    fullRow_ = true;
    report_->viewport()->update();
}

bool TListViewData::lvdSetCount(int n) {
    if (inDisplay_ > 0) {
        return false;
    }
    n = std::max(0, n);
    const int count = lvdGetCount();
    if (n > count) {
        model_->insertRowsAt(count, n - count);
    } else if (n < count) {
        if (lvdIndexFocused() >= n) {
            setFocusRow(-1);
        }
        model_->removeRowsAt(n, count - n);
    }
    return true;
}

bool TListViewData::lvdClearAll() {
    if (inDisplay_ > 0) {
        return false;
    }
    model_->resetTo(0);
    repaintNow();
    return true;
}

bool TListViewData::lvdRedraw(int n) {
    n = std::min(n, lvdGetCount());
    if (n > 0) {
        model_->rowsChanged(0, n - 1);
    }
    repaintNow();
    return n > 0;
}

unsigned TListViewData::lvdItemSelected(int i) const {
    if (i < 0 || i >= lvdGetCount()) {
        return 0;
    }
    return selection_->isSelected(rowIndex(i)) ? LvisSelected : 0;
}

bool TListViewData::lvdSetSelected(int i, int on) {
    const int count = lvdGetCount();
    if (i == -1) {
        if (count > 0) {
            selectRows(0, count - 1, on != 0);
        }
        return true;
    }
    if (i < 0 || i >= count) {
        return false;
    }
    selectRows(i, i, on != 0);
    return true;
}

int TListViewData::lvdIndexFocused() const {
    const QModelIndex current = selection_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool TListViewData::lvdSetIndexFocused(int i) {
    if (i < 0 || i >= lvdGetCount()) {
        return false;
    }
    setFocusRow(i);
    return true;
}

int TListViewData::lvdGetCount() const {
    return model_->rowCount();
}

void TListViewData::lvdSelectAll(char on) {
    const int count = lvdGetCount();
    if (count > 0) {
        selectRows(0, count - 1, on != 0);
    }
}

void TListViewData::lvdInvertSelect() {
    const int count = lvdGetCount();
    if (count > 0) {
        const QItemSelection all(rowIndex(0), model_->index(count - 1, model_->columnCount() - 1));
        selection_->select(all, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
    }
}

bool TListViewData::lvdUpdate(int i) {
    if (i < 0 || i >= lvdGetCount()) {
        return false;
    }
    model_->rowsChanged(i, i);
    return true;
}

bool TListViewData::lvdRemove(int i) {
    if (inDisplay_ > 0 || i < 0 || i >= lvdGetCount()) {
        return false;
    }
    // The row leaves unfocused and unselected, which the owner hears of;
    // the focus then passes to the row that takes its place without a word,
    // as a list that holds its items shifts them.
    const bool hadFocus = lvdIndexFocused() == i;
    if (hadFocus) {
        setFocusRow(-1);
    }
    if (lvdItemSelected(i) != 0) {
        selectRows(i, i, false);
    }
    model_->removeRowsAt(i, 1);
    const int count = lvdGetCount();
    if (hadFocus && count > 0) {
        quietFocus_ = true;
        setFocusRow(std::min(i, count - 1));
        quietFocus_ = false;
    }
    return true;
}

bool TListViewData::lvdGoto(int i) {
    if (i < 0 || i >= lvdGetCount()) {
        return false;
    }
    const int focused = lvdIndexFocused();
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

int TListViewData::lvdAdd(int i, long /*param*/) {
    if (inDisplay_ > 0 || i < 0) {
        return -1;
    }
    i = std::min(i, lvdGetCount());
    model_->insertRowsAt(i, 1);
    return i;
}

bool TListViewData::lvdAddCount(int n) {
    if (inDisplay_ > 0) {
        return false;
    }
    model_->resetTo(std::max(0, n));
    repaintNow();
    return true;
}

// --- Columns ---

int TListViewData::addColumn(const QString& caption, int width) {
    const int column = model_->addColumn(caption);
    setColumnWidth(column, width);
    return column;
}

void TListViewData::clearColumns() {
    model_->clearColumns();
}

int TListViewData::columnCount() const {
    return model_->definedColumns();
}

QString TListViewData::columnCaption(int column) const {
    return model_->caption(column);
}

void TListViewData::setColumnCaption(int column, const QString& caption) {
    model_->setCaption(column, caption);
}

int TListViewData::columnWidth(int column) const {
    if (column < 0 || column >= columnCount()) {
        return 0;
    }
    return report_->columnWidth(column);
}

void TListViewData::setColumnWidth(int column, int width) {
    if (column >= 0 && column < columnCount()) {
        report_->setColumnWidth(column, std::max(0, width));
    }
}

void TListViewData::setStretchLastColumn(bool on) {
    report_->horizontalHeader()->setStretchLastSection(on);
}

void TListViewData::setSortIndicator(int column, bool ascending) {
    QHeaderView* header = report_->horizontalHeader();
    header->setSortIndicatorShown(column >= 0);
    header->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

// --- Appearance ---

void TListViewData::setViewStyle(TViewStyle style) {
    if (style != style_) {
        style_ = style;
        applyStyle();
    }
}

void TListViewData::setSmallImages(QList<QIcon> icons) {
    smallImages_ = std::move(icons);
    model_->imagesChanged();
}

void TListViewData::setLargeImages(QList<QIcon> icons) {
    largeImages_ = std::move(icons);
    model_->imagesChanged();
}

void TListViewData::setMultiSelect(bool on) {
    const auto mode =
        on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    report_->setSelectionMode(mode);
    icons_->setSelectionMode(mode);
}

bool TListViewData::multiSelect() const {
    return report_->selectionMode() == QAbstractItemView::ExtendedSelection;
}

void TListViewData::setHideSelection(bool hide) {
    hideSelection_ = hide;
    applySelectionPalette();
}

void TListViewData::setPopupMenu(QMenu* menu) {
    popupMenu_ = menu;
}

QMenu* TListViewData::popupMenu() const {
    return popupMenu_;
}

QAbstractItemView* TListViewData::activeView() const {
    return style_ == TViewStyle::Report ? static_cast<QAbstractItemView*>(report_)
                                        : static_cast<QAbstractItemView*>(icons_);
}

QHeaderView* TListViewData::headerView() const {
    return report_->horizontalHeader();
}

// --- Internals ---

TListViewData::Answer TListViewData::askOwner(int row, int column, unsigned mask) const {
    Answer answer;
    if (!OnLVFastDisplay && !OnLVFastDisplayShort) {
        return answer;
    }
    char buffer[kTextMax];
    buffer[0] = '\0';
    LVDItem request;
    request.mask = mask;
    request.item = row;
    request.subItem = column;
    request.text = buffer;
    request.textMax = kTextMax;
    if (OnLVFastDisplayShort) {
        request.state = rowState(row);
    }
    {
        DisplayScope scope(inDisplay_);
        // The events take the control as a plain Sender, as every event does.
        auto* self = const_cast<TListViewData*>(this);
        if (OnLVFastDisplay) {
            OnLVFastDisplay(self, static_cast<int>(mask), request.text, kTextMax, column, row,
                            &request.image);
        }
        if (OnLVFastDisplayShort) {
            OnLVFastDisplayShort(self, &request);
        }
    }
    if ((mask & LvifText) != 0) {
        // A handler may have filled the buffer without a terminator, or
        // pointed the request at a longer text of its own: read at most what
        // the buffer could hold.
        const char* text = request.text != nullptr ? request.text : "";
        const std::size_t length = strnlen(text, kTextMax - 1);
        answer.text = textFromBytes(std::string_view(text, length), length == kTextMax - 1);
    }
    if ((mask & LvifImage) != 0) {
        answer.image = request.image;
    }
    return answer;
}

QIcon TListViewData::iconFor(int image) const {
    const QList<QIcon>& images = style_ == TViewStyle::Icon ? largeImages_ : smallImages_;
    return image >= 0 && image < images.size() ? images[image] : QIcon();
}

unsigned TListViewData::rowState(int row) const {
    return lvdItemSelected(row) | (lvdIndexFocused() == row ? LvisFocused : 0);
}

QModelIndex TListViewData::rowIndex(int row) const {
    return model_->index(row, 0);
}

void TListViewData::selectRows(int first, int last, bool on) {
    const QItemSelection rows(rowIndex(first), model_->index(last, model_->columnCount() - 1));
    selection_->select(rows, (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                 QItemSelectionModel::Rows);
}

void TListViewData::setFocusRow(int row) {
    // Moving the focus does not scroll; only lvdGoto brings a row into view.
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

void TListViewData::repaintNow() {
    activeView()->viewport()->repaint();
}

void TListViewData::applyStyle() {
    QAbstractItemView* before = qobject_cast<QAbstractItemView*>(stack_->currentWidget());
    const bool hadFocus = before != nullptr && before->hasFocus();
    if (style_ != TViewStyle::Report) {
        const bool large = style_ == TViewStyle::Icon;
        const QFontMetrics metrics = fontMetrics();
        const int iconSize = large ? kLargeIconSize : kSmallIconSize;
        icons_->setLargeIcons(large);
        icons_->setFlow(style_ == TViewStyle::List ? QListView::TopToBottom
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
    const int focused = lvdIndexFocused();
    if (focused >= 0) {
        selection_->setCurrentIndex(rowIndex(focused), QItemSelectionModel::NoUpdate);
        view->scrollTo(rowIndex(focused));
    }
    if (hadFocus) {
        view->setFocus();
    }
    view->viewport()->update();
}

void TListViewData::applySelectionPalette() {
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

void TListViewData::reportSelection(const QItemSelection& ranges, bool selected) {
    if (!OnLVDChange) {
        return;
    }
    // A row's selection is that of its first cell; ranges over the other
    // columns alone say nothing new about rows.
    for (const QItemSelectionRange& range : ranges) {
        if (!range.isValid() || range.left() != 0) {
            continue;
        }
        LVDChange change;
        change.item = range.top();
        change.lastItem = range.bottom();
        change.changed = LvisSelected;
        change.oldState = selected ? 0 : LvisSelected;
        change.newState = selected ? LvisSelected : 0;
        OnLVDChange(this, &change);
    }
}

void TListViewData::reportFocus(const QModelIndex& current, const QModelIndex& previous) {
    if (!OnLVDChange || quietFocus_) {
        return;
    }
    const int now = current.isValid() ? current.row() : -1;
    const int before = previous.isValid() ? previous.row() : -1;
    if (now == before) {
        return;
    }
    if (before >= 0) {
        LVDChange lost;
        lost.item = lost.lastItem = before;
        lost.changed = LvisFocused;
        lost.oldState = LvisFocused;
        OnLVDChange(this, &lost);
    }
    if (now >= 0) {
        LVDChange gained;
        gained.item = gained.lastItem = now;
        gained.changed = LvisFocused;
        gained.newState = LvisFocused;
        OnLVDChange(this, &gained);
    }
}

void TListViewData::showContextMenu(QAbstractItemView* view, const QPoint& viewportPos) {
    bool handled = false;
    if (OnContextPopup) {
        OnContextPopup(this, view->viewport()->mapTo(this, viewportPos), handled);
    }
    if (!handled && popupMenu_ != nullptr) {
        popupMenu_->popup(view->viewport()->mapToGlobal(viewportPos));
    }
}

bool TListViewData::hookKey(QKeyEvent* event) {
    return OnKeyDown && OnKeyDown(this, event);
}

void TListViewData::hookDblClick() {
    if (OnDblClick) {
        OnDblClick(this);
    }
}
