// ListRowsModel: the table model behind a MessageListView.
//
// The control decides how many rows there are: while an operation runs, the
// data behind the rows changes first and the control catches up one row or
// one batch at a time, so the count cannot simply be read off the data. A
// subclass says what a cell reads, straight from the data the row stands
// for; it is asked only when a view paints or measures that cell, so a list
// of any size costs only the cells on screen.
//
// Row and column numbers are 0-based. Everything runs on the GUI thread.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QString>

#include <string_view>

namespace toppeek::ui {

class ListRowsModel : public QAbstractTableModel {
public:
    explicit ListRowsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // What a cell reads; empty unless a subclass says otherwise. Asked only
    // for rows the control has, which the data behind them may no longer
    // hold: such a row reads empty.
    virtual QString cellText(int row, int column) const;
    // The image of the row's first cell as an index into the images of the
    // style on show; -1 shows none.
    virtual int cellImage(int row) const;
    // The row's tooltip; an empty text shows none.
    virtual QString rowToolTip(int row) const;
    // What a screen reader says of the row beside its first cell's text: what its image and
    // tooltip show. The tooltip unless a subclass says otherwise.
    virtual QString rowDescription(int row) const { return rowToolTip(row); }
    // Whether the row's cells are shown in bold.
    virtual bool rowInBold(int /*row*/) const { return false; }

    // Every cell of the program's lists shows 8-bit text through here: at
    // most kCellBytes bytes, decoded as all of the program's stored texts
    // are, on one line and safe to show (dialogs::displayLine). A header may be as long as a server cares to send,
    // and eliding a huge text on every paint would cost more than every
    // other cell on screen.
    static constexpr std::size_t kCellBytes = 1023;
    static QString cellFromBytes(std::string_view bytes);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // Column 0 exists even before any column is defined: the icon and list
    // styles show it, and a table model without columns has no rows.
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // --- Columns ---
    int addColumn(const QString& caption);
    void clearColumns();
    // Column 0 stays, as clearColumns leaves it.
    void removeLastColumn();
    int definedColumns() const { return static_cast<int>(captions_.size()); }
    QString caption(int column) const;
    void setCaption(int column, const QString& caption);

    // --- Rows, changed by the control only ---
    void insertRowsAt(int first, int n);
    void removeRowsAt(int first, int n);
    // A reset also clears a selection model over this model.
    void resetTo(int n);
    // Rows first..last read again when next painted.
    void rowsChanged(int first, int last);

    // The icons image indexes pick from. Setting them does not repaint:
    // imagesChanged does, where the icons on show went stale.
    void setImages(QList<QIcon> images) { images_ = std::move(images); }
    void imagesChanged();

    // True while a cell is being read. A subclass's reading could reach the
    // control; the row count must not change under the paint that asked.
    bool readingCell() const { return reading_ > 0; }

private:
    bool isCell(const QModelIndex& index) const;

    int rows_ = 0;
    QList<QString> captions_;
    QList<QIcon> images_;
    mutable int reading_ = 0;
};

} // namespace toppeek::ui
