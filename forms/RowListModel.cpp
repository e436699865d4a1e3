#include "RowListModel.h"

#include "HiClass.h"

#include <QAbstractProxyModel>
#include <QHeaderView>
#include <QTreeView>

namespace {
QVariant columnHeader(const QList<TColumn> &columns, int section, Qt::Orientation orientation,
                      int role)
{
    if (orientation != Qt::Horizontal || section >= columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return columns.at(section).caption;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columns.at(section).align | Qt::AlignVCenter);
    return {};
}
} // namespace

TRowListModel::TRowListModel(const QList<TColumn> &columns, QObject *parent)
    : QAbstractTableModel(parent), m_columns(columns)
{
}

int TRowListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TRowListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return CellText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns.at(index.column()).align | Qt::AlignVCenter);
    return {};
}

QVariant TRowListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return columnHeader(m_columns, section, orientation, role);
}

void TRowListModel::SetColumnCaption(int column, const QString &caption)
{
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].caption = caption;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

TRecordListModel::TRecordListModel(const QList<TColumn> &columns, QObject *parent)
    : QAbstractTableModel(parent), m_columns(columns),
      m_result(std::make_shared<const TSearchResult>())
{
}

int TRecordListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Records().size();
}

int TRecordListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TRecordListModel::data(const QModelIndex &index, int role) const
{
    const TRecordList &recs = Records();
    if (!index.isValid() || index.row() >= recs.size() || index.column() >= RecCols)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return recs.Text(index.row(), TRecCol(index.column()));
    case IdRole:
        return recs.Id(index.row());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_columns.at(index.column()).align | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        if (!m_key.isEmpty() && MatchesHighlightKey(m_key, recs.Date(index.row())))
            return HighlightColor();
        return {};
    default:
        return {};
    }
}

QVariant TRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return columnHeader(m_columns, section, orientation, role);
}

void TRecordListModel::SetResult(TSearchResultPtr result)
{
    beginResetModel();
    m_result = result ? std::move(result) : std::make_shared<const TSearchResult>();
    endResetModel();
}

QModelIndex TRecordListModel::IndexOfId(qint64 id) const
{
    const int row = Records().IndexOfId(id);
    return row < 0 ? QModelIndex() : index(row, RecDate);
}

void TRecordListModel::SetHighlightKey(const QString &key)
{
    if (key == m_key)
        return;
    m_key = key;
    if (!Records().isEmpty())
        emit dataChanged(index(0, 0), index(Records().size() - 1, int(m_columns.size()) - 1),
                         {Qt::BackgroundRole});
}

bool MatchesHighlightKey(const QString &key, const QString &date)
{
    const QString d = THi::Trim(date);
    if (key.size() == 7) // a month: its days start with it and a hyphen
        return d.size() > 7 && d.startsWith(key) && d.at(7) == QLatin1Char('-');
    return d == key;
}

int FirstRecordOf(const TRecordList &recs, const QString &key)
{
    if (key.isEmpty())
        return -1;
    // Dates are "yyyy-mm-dd" in ascending order, and a month key sorts just
    // before its first day, so the first candidate is a lower bound.
    int lo = 0, hi = recs.size();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (THi::Trim(recs.Date(mid)) < key)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < recs.size() && MatchesHighlightKey(key, recs.Date(lo)) ? lo : -1;
}

int SourceRow(const QModelIndex &index)
{
    QModelIndex i = index;
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(i.model()))
        i = proxy->mapToSource(i);
    return i.isValid() ? i.row() : -1;
}

QModelIndex ViewIndex(const QAbstractItemView *view, const QModelIndex &sourceIndex)
{
    // The chain of proxies from the view down to the source, mapped back up.
    QList<const QAbstractProxyModel *> chain;
    for (auto *proxy = qobject_cast<const QAbstractProxyModel *>(view->model()); proxy;
         proxy = qobject_cast<const QAbstractProxyModel *>(proxy->sourceModel()))
        chain.prepend(proxy);
    QModelIndex i = sourceIndex;
    for (const QAbstractProxyModel *proxy : chain)
        i = proxy->mapFromSource(i);
    return i;
}

QTreeView *MakeRowListView(QWidget *parent, const char *name, QAbstractItemModel *model,
                           const QList<TColumn> &cols)
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
    for (int i = 0; i < cols.size(); ++i) {
        if (cols.at(i).width == 0)
            v->setColumnHidden(i, true);
        else
            v->setColumnWidth(i, cols.at(i).width);
    }
    return v;
}
