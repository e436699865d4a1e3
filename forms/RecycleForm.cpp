#include "RecycleForm.h"

#include "DbClass.h"
#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"

#include <QBoxLayout>
#include <QDateTime>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>

// ---- TRecycleModel --------------------------------------------------------

void TRecycleModel::SetEntries(QList<TRecycleEntry> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

int TRecycleModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int TRecycleModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColEnd;
}

QString TRecycleModel::WhatText(const QString &what)
{
    return what == RecycleEdit() ? QStringLiteral("修改") : QStringLiteral("删除");
}

QVariant TRecycleModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const TRecycleEntry &e = m_entries.at(index.row());
    if (role == Qt::TextAlignmentRole && index.column() == ColAmount)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == ColNotes)
        return e.Record.Notes;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case ColDate:
        return e.Record.Date;
    case ColType:
        return e.Record.Type;
    case ColCate:
        return e.Record.Cate;
    case ColAmount:
        return THi::FormatCents(e.Record.Cents);
    case ColNotes:
        return e.Record.Notes;
    case ColWhat:
        return WhatText(e.What);
    case ColTime:
        return QDateTime::fromSecsSinceEpoch(e.Time).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    default:
        return {};
    }
}

QVariant TRecycleModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole && section == ColAmount)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    static const char16_t *const captions[] = {u"日期", u"类型", u"类别",    u"金额",
                                               u"备注", u"操作", u"操作时间"};
    return section >= 0 && section < ColEnd ? QString::fromUtf16(captions[section]) : QString();
}

// ---- TfrmRecycle ----------------------------------------------------------

TfrmRecycle::TfrmRecycle(QWidget *owner, QList<TRecycleEntry> entries, TRestore restore)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      m_restore(std::move(restore))
{
    setObjectName(QStringLiteral("frmRecycle"));
    setWindowTitle(QStringLiteral("回收站"));
    resize(720, 380);

    m_model = new TRecycleModel(this);
    lvwRecycle = Make<QTreeView>(this, "lvwRecycle");
    lvwRecycle->setModel(m_model);
    lvwRecycle->setRootIsDecorated(false);
    lvwRecycle->setItemsExpandable(false);
    lvwRecycle->setUniformRowHeights(true);
    lvwRecycle->setAllColumnsShowFocus(true);
    lvwRecycle->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwRecycle->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwRecycle->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int widths[] = {84, 44, 90, 80, 200, 44, 120};
    for (int c = 0; c < TRecycleModel::ColEnd; ++c)
        lvwRecycle->setColumnWidth(c, widths[c]);

    lblHint = Make<QLabel>(this, "lblHint");
    lblHint->setWordWrap(true);
    btnRestore = Make<QPushButton>(this, "btnRestore");
    btnRestore->setText(QStringLiteral("恢复(&R)"));
    btnClose = Make<QPushButton>(this, "btnClose");
    btnClose->setText(QStringLiteral("关闭(&C)"));
    for (QPushButton *b : {btnRestore, btnClose}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(ButtonSize.width());
    }

    auto *foot = new QHBoxLayout;
    foot->addWidget(lblHint, 1);
    foot->addWidget(btnRestore);
    foot->addWidget(btnClose);
    auto *all = new QVBoxLayout(this);
    all->addWidget(lvwRecycle, 1);
    all->addLayout(foot);

    connect(btnRestore, &QPushButton::clicked, this, &TfrmRecycle::btnRestoreClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvwRecycle, &QTreeView::doubleClicked, this, &TfrmRecycle::btnRestoreClick);
    FlatButtons(this);
    ShowEntries(std::move(entries));
    lblHint->setText(m_model->rowCount() == 0
                         ? QStringLiteral("回收站是空的。")
                         : QStringLiteral("删除或修改前的记录保留 90 天。选中后点“恢复”。"));
}

TfrmRecycle::~TfrmRecycle() = default;

void TfrmRecycle::ShowEntries(QList<TRecycleEntry> entries)
{
    m_model->SetEntries(std::move(entries));
    // The model was reset: its selection model is the same object.
    connect(lvwRecycle->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmRecycle::UpdateButtons, Qt::UniqueConnection);
    if (m_model->rowCount() > 0)
        lvwRecycle->setCurrentIndex(m_model->index(0, 0));
    UpdateButtons();
}

void TfrmRecycle::UpdateButtons()
{
    btnRestore->setEnabled(lvwRecycle->selectionModel()->hasSelection());
}

void TfrmRecycle::btnRestoreClick()
{
    UpdateButtons();
    if (!btnRestore->isEnabled())
        return;
    QList<int> rows;
    for (const QModelIndex &i : lvwRecycle->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    QList<qint64> ids;
    for (int row : std::as_const(rows))
        ids << m_model->Entry(row).Id;
    QList<TRecycleEntry> now;
    QString outcome;
    if (!TDialogs::Guard(this, [&] { outcome = m_restore(ids, now); }))
        return;
    m_restored = true;
    ShowEntries(std::move(now));
    lblHint->setText(outcome);
}
