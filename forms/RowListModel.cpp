#include "RowListModel.h"

#include <QHeaderView>
#include <QTreeView>

TRowListModel::TRowListModel(const QList<TColumn> &columns, QObject *parent)
    : QAbstractTableModel(parent), m_columns(columns)
{
}

int TRowListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TRowListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TRowListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role == Qt::DisplayRole) {
        const TRow &row = m_rows.at(index.row());
        return index.column() < row.size() ? row.at(index.column()) : QString();
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns.at(index.column()).align | Qt::AlignVCenter);
    return {};
}

QVariant TRowListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns.at(section).caption;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns.at(section).align | Qt::AlignVCenter);
    return {};
}

void TRowListModel::SetRows(TRowList rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void TRowListModel::RemoveRow(int i)
{
    if (i < 0 || i >= m_rows.size())
        return;
    beginRemoveRows({}, i, i);
    m_rows.removeAt(i);
    endRemoveRows();
}

QTreeView *MakeRowListView(QWidget *parent, const char *name, TRowListModel *model)
{
    auto *v = new QTreeView(parent);
    v->setObjectName(QLatin1String(name));
    v->setModel(model);
    v->setRootIsDecorated(false);
    v->setItemsExpandable(false);
    v->setUniformRowHeights(true); // keeps ten years of rows instant
    v->setAllColumnsShowFocus(true);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setSelectionMode(QAbstractItemView::SingleSelection);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setSortingEnabled(false);
    v->setFocusPolicy(Qt::ClickFocus);
    v->header()->setSectionsMovable(false);
    v->header()->setStretchLastSection(false);
    const QList<TColumn> &cols = model->Columns();
    for (int i = 0; i < cols.size(); ++i) {
        if (cols.at(i).width == 0)
            v->setColumnHidden(i, true);
        else
            v->setColumnWidth(i, cols.at(i).width);
    }
    return v;
}
