#pragma once

// A read-only table over the store's rows, for the report-style lists of the
// browser: the row's strings are the columns, in order. Column 0 of the old
// list views (an empty caption column) is not needed: the hidden columns are
// set per list.

#include "DbClass.h"

#include <QAbstractTableModel>
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

private:
    QList<TColumn> m_columns;
    TRowList m_rows;
};

// A report-style list: whole rows, one selected at a time, read-only, no
// sorting by header, not in the tab chain. Columns with width 0 are hidden.
QTreeView *MakeRowListView(QWidget *parent, const char *name, TRowListModel *model);
