#pragma once

// Read-only tables over the store's rows, for the report-style lists of the
// browser: column c of a row shows the row's Text(c), so amounts are
// formatted only for the rows on screen. Column 0 of the old list views (an
// empty caption column) is not needed: the hidden columns are set per list.
//
// Code that acts on a list's selection reads the row or record behind the
// view's index (SourceRow, TRecordListModel::IdRole), never the view's row
// number, so a sorting or filtering proxy may sit between model and view.

#include "DbClass.h"
#include "SearchResult.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QList>

class QAbstractItemView;
class QTreeView;

struct TColumn {
    QString caption;
    int width = 80;
    Qt::Alignment align = Qt::AlignLeft;
};

// The columns, captions and alignment shared by the typed row models below.
class TRowListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TRowListModel(const QList<TColumn> &columns, QObject *parent = nullptr);

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const QList<TColumn> &Columns() const { return m_columns; }
    void SetColumnCaption(int column, const QString &caption);

protected:
    virtual QString CellText(int row, int column) const = 0;

private:
    QList<TColumn> m_columns;
};

// The rows of one kind (TSumRow, TRankRow, TDetailRow). The list is shared
// with the search result it came from, not copied.
template <class TRowT> class TRowsModel : public TRowListModel {
public:
    using TRowListModel::TRowListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    const QList<TRowT> &Rows() const { return m_rows; }
    const TRowT &Row(int i) const { return m_rows.at(i); }
    void SetRows(QList<TRowT> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    void Clear() { SetRows({}); }

protected:
    QString CellText(int row, int column) const override
    {
        return row < m_rows.size() ? m_rows.at(row).Text(column) : QString();
    }

private:
    QList<TRowT> m_rows;
};

using TSumRowModel = TRowsModel<TSumRow>;
using TRankRowModel = TRowsModel<TRankRow>;
using TDetailRowModel = TRowsModel<TDetailRow>;

// The record list of a search result, read where the result keeps it: a
// ten-year list has several hundred thousand rows and only the few on screen
// ever become text. Rows of the highlighted day or month get a light green
// background. IdRole gives a row's record id through any proxy.
class TRecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum { IdRole = Qt::UserRole + 1 };

    TRecordListModel(const QList<TColumn> &columns, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TRecordList &Records() const { return m_result->RecRows; }
    const QList<TColumn> &Columns() const { return m_columns; }
    void SetResult(TSearchResultPtr result);
    void Clear() { SetResult(nullptr); }
    // The model's index of the record with this id (column RecDate), or an invalid one.
    QModelIndex IndexOfId(qint64 id) const;

    // A day "yyyy-mm-dd" or a month "yyyy-mm"; empty highlights nothing.
    void SetHighlightKey(const QString &key);

    static QColor HighlightColor() { return QColor(0xE0, 0xFF, 0xE0); }

private:
    QList<TColumn> m_columns;
    TSearchResultPtr m_result;
    QString m_key;
};

// The row of the model beneath view's proxies (if any) behind index, or -1.
int SourceRow(const QModelIndex &index);
// The index of view that shows the source model's index, through its proxies;
// invalid when a proxy leaves that row out.
QModelIndex ViewIndex(const QAbstractItemView *view, const QModelIndex &sourceIndex);

// Whether a record's date belongs to a day key or a month key.
bool MatchesHighlightKey(const QString &key, const QString &date);
// The first record of the day or month key in a list ordered by date, or -1.
int FirstRecordOf(const TRecordList &recs, const QString &key);

// A report-style list: whole rows, one selected at a time, read-only, no
// sorting by header, not in the tab chain, one fixed row height. Columns with
// width 0 are hidden.
QTreeView *MakeRowListView(QWidget *parent, const char *name, QAbstractItemModel *model,
                           const QList<TColumn> &columns);
inline QTreeView *MakeRowListView(QWidget *parent, const char *name, TRowListModel *model)
{
    return MakeRowListView(parent, name, model, model->Columns());
}
