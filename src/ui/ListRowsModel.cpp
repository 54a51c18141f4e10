#include "ui/ListRowsModel.h"

#include "dialogs/DisplayText.h"

#include <QFont>

#include <algorithm>

namespace toppeek::ui {

namespace {

// Keeps a count of cell readings in progress, also when a reading throws.
class ReadingScope {
public:
    explicit ReadingScope(int& depth) : depth_(depth) { ++depth_; }
    ~ReadingScope() { --depth_; }
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;

private:
    int& depth_;
};

} // namespace

QString ListRowsModel::cellText(int /*row*/, int /*column*/) const {
    return {};
}

int ListRowsModel::cellImage(int /*row*/) const {
    return -1;
}

QString ListRowsModel::rowToolTip(int /*row*/) const {
    return {};
}

QString ListRowsModel::cellFromBytes(std::string_view bytes) {
    bytes = bytes.substr(0, kCellBytes);
    // A text that fills the cell may have lost the end of a UTF-8 sequence.
    return dialogs::displayLine(bytes, bytes.size() == kCellBytes);
}

int ListRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int ListRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(1, definedColumns());
}

QVariant ListRowsModel::data(const QModelIndex& index, int role) const {
    if (!isCell(index)) {
        return {};
    }
    ReadingScope scope(reading_);
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::DecorationRole: {
        if (index.column() != 0) {
            return {};
        }
        const int image = cellImage(index.row());
        if (image < 0 || image >= images_.size() || images_[image].isNull()) {
            return {};
        }
        return images_[image];
    }
    case Qt::ToolTipRole: {
        const QString tip = rowToolTip(index.row());
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case Qt::AccessibleDescriptionRole: {
        if (index.column() != 0)
            return {};
        const QString description = rowDescription(index.row());
        return description.isEmpty() ? QVariant() : QVariant(description);
    }
    case Qt::FontRole: {
        if (!rowInBold(index.row()))
            return {};
        // Only the weight is set: the view's own font gives the rest.
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    default:
        return {};
    }
}

QVariant ListRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return caption(section);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

Qt::ItemFlags ListRowsModel::flags(const QModelIndex& index) const {
    if (!isCell(index)) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

int ListRowsModel::addColumn(const QString& caption) {
    const int column = definedColumns();
    if (column == 0) {
        // Column 0 was already there, without a caption.
        captions_.push_back(caption);
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    } else {
        beginInsertColumns(QModelIndex(), column, column);
        captions_.push_back(caption);
        endInsertColumns();
    }
    return column;
}

void ListRowsModel::clearColumns() {
    const int n = definedColumns();
    if (n > 1) {
        beginRemoveColumns(QModelIndex(), 1, n - 1);
        captions_.resize(1);
        endRemoveColumns();
    }
    captions_.clear();
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void ListRowsModel::removeLastColumn() {
    const int last = definedColumns() - 1;
    if (last <= 0)
        return;
    beginRemoveColumns(QModelIndex(), last, last);
    captions_.removeLast();
    endRemoveColumns();
}

QString ListRowsModel::caption(int column) const {
    return column >= 0 && column < definedColumns() ? captions_[column] : QString();
}

void ListRowsModel::setCaption(int column, const QString& caption) {
    if (column >= 0 && column < definedColumns()) {
        captions_[column] = caption;
        emit headerDataChanged(Qt::Horizontal, column, column);
    }
}

void ListRowsModel::insertRowsAt(int first, int n) {
    beginInsertRows(QModelIndex(), first, first + n - 1);
    rows_ += n;
    endInsertRows();
}

void ListRowsModel::removeRowsAt(int first, int n) {
    beginRemoveRows(QModelIndex(), first, first + n - 1);
    rows_ -= n;
    endRemoveRows();
}

void ListRowsModel::resetTo(int n) {
    beginResetModel();
    rows_ = n;
    endResetModel();
}

void ListRowsModel::rowsChanged(int first, int last) {
    emit dataChanged(index(first, 0), index(last, columnCount() - 1),
                     {Qt::DisplayRole, Qt::DecorationRole});
}

void ListRowsModel::imagesChanged() {
    if (rows_ > 0) {
        emit dataChanged(index(0, 0), index(rows_ - 1, 0), {Qt::DecorationRole});
    }
}

bool ListRowsModel::isCell(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && index.row() < rows_ &&
           index.column() < columnCount();
}

} // namespace toppeek::ui
