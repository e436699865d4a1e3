#pragma once

// A read-only table over the store's rows, for the report-style lists of the
// browser: the row's strings are the columns, in order. Column 0 of the old
// list views (an empty caption column) is not needed: the hidden columns are
// set per list.

#include "DbClass.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QList>

class QTreeView;

struct TColumn {
    QString caption;
    int width = 80;
    Qt::Alignment align = Qt::AlignLeft;
};

class TRowListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TRowListModel(const QList<TColumn> &columns, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TRowList &Rows() const { return m_rows; }
    const TRow &Row(int i) const { return m_rows.at(i); }
    const QList<TColumn> &Columns() const { return m_columns; }
    void SetRows(TRowList rows);
    void Clear() { SetRows({}); }
    void RemoveRow(int i);
    void SetColumnCaption(int column, const QString &caption);

private:
    QList<TColumn> m_columns;
    TRowList m_rows;
};

// The record list of a period, held as the store returns it: a ten-year list
// has several hundred thousand rows and only the few on screen ever become
// text. Rows of the highlighted day or month get a light green background.
class TRecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TRecordListModel(const QList<TColumn> &columns, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TRecordList &Records() const { return m_recs; }
    const QList<TColumn> &Columns() const { return m_columns; }
    void SetRecords(TRecordList recs);
    void Clear() { SetRecords({}); }

    // A day "yyyy-mm-dd" or a month "yyyy-mm"; empty highlights nothing.
    void SetHighlightKey(const QString &key);

    static QColor HighlightColor() { return QColor(0xE0, 0xFF, 0xE0); }

private:
    QList<TColumn> m_columns;
    TRecordList m_recs;
    QString m_key;
};

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
