#include "BillBatchesForm.h"

#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"

#include <QBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

// ---- TBillBatchModel -----------------------------------------------------

TBillBatchModel::TBillBatchModel(QList<TBillBatchRow> rows, QObject *parent)
    : QAbstractTableModel(parent), m_rows(std::move(rows))
{
}

int TBillBatchModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TBillBatchModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColEnd;
}

QString TBillBatchModel::SourceName(const QString &source)
{
    if (source == u"alipay")
        return QStringLiteral("支付宝");
    if (source == u"wechat")
        return QStringLiteral("微信支付");
    return QStringLiteral("其他账单");
}

QVariant TBillBatchModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const TBillBatchRow &b = m_rows.at(index.row());
    if (role == Qt::TextAlignmentRole && index.column() >= ColCount)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == ColFile)
        return b.fileName;
    if (role == Qt::ForegroundRole && b.remaining == 0)
        return QColor(Qt::gray); // nothing left to undo
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case ColTime:
        return b.time.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    case ColFile:
        return b.fileName;
    case ColSource:
        return SourceName(b.source);
    case ColCount:
        return b.count;
    case ColExpense:
        return THi::FormatCents(b.expenseCents);
    case ColIncome:
        return THi::FormatCents(b.incomeCents);
    case ColLeft:
        return b.edited > 0 ? QStringLiteral("%1（改过 %2）").arg(b.remaining).arg(b.edited)
                            : QString::number(b.remaining);
    default:
        return {};
    }
}

QVariant TBillBatchModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole && section >= ColCount)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    static const char16_t *const captions[] = {u"导入时间", u"文件", u"来源", u"笔数",
                                               u"支出",     u"收入", u"尚在"};
    return section >= 0 && section < ColEnd ? QString::fromUtf16(captions[section]) : QString();
}

// ---- TfrmBillBatches -----------------------------------------------------

TfrmBillBatches::TfrmBillBatches(QWidget *owner, QList<TBillBatchRow> rows)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmBillBatches"));
    setWindowTitle(QStringLiteral("导入记录"));
    resize(780, 380);

    m_model = new TBillBatchModel(std::move(rows), this);
    lvwBatches = Make<QTreeView>(this, "lvwBatches");
    lvwBatches->setModel(m_model);
    lvwBatches->setRootIsDecorated(false);
    lvwBatches->setItemsExpandable(false);
    lvwBatches->setUniformRowHeights(true);
    lvwBatches->setAllColumnsShowFocus(true);
    lvwBatches->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwBatches->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwBatches->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int widths[] = {120, 250, 70, 50, 84, 84, 90};
    for (int c = 0; c < TBillBatchModel::ColEnd; ++c)
        lvwBatches->setColumnWidth(c, widths[c]);

    lblHint = Make<QLabel>(this, "lblHint");
    lblHint->setText(m_model->rowCount() == 0
                         ? QStringLiteral("这个账户还没有导入过账单。")
                         : QStringLiteral("撤销一次导入，会删除它导入的全部记录。"));
    btnUndo = Make<QPushButton>(this, "btnUndo");
    btnUndo->setText(QStringLiteral("撤销这次导入(&U)"));
    btnClose = Make<QPushButton>(this, "btnClose");
    btnClose->setText(QStringLiteral("关闭(&C)"));
    for (QPushButton *b : {btnUndo, btnClose}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(ButtonSize.width());
    }

    auto *foot = new QHBoxLayout;
    foot->addWidget(lblHint, 1);
    foot->addWidget(btnUndo);
    foot->addWidget(btnClose);
    auto *all = new QVBoxLayout(this);
    all->addWidget(lvwBatches, 1);
    all->addLayout(foot);

    connect(lvwBatches->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TfrmBillBatches::UpdateButtons);
    connect(btnUndo, &QPushButton::clicked, this, &TfrmBillBatches::btnUndoClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvwBatches, &QTreeView::doubleClicked, this, &TfrmBillBatches::btnUndoClick);
    FlatButtons(this);
    if (m_model->rowCount() > 0)
        lvwBatches->setCurrentIndex(m_model->index(0, 0));
    UpdateButtons();
}

TfrmBillBatches::~TfrmBillBatches() = default;

void TfrmBillBatches::UpdateButtons()
{
    const QModelIndex current = lvwBatches->currentIndex();
    btnUndo->setEnabled(current.isValid() && m_model->Row(current.row()).remaining > 0);
}

void TfrmBillBatches::btnUndoClick()
{
    UpdateButtons();
    if (!btnUndo->isEnabled())
        return;
    const TBillBatchRow &b = m_model->Row(lvwBatches->currentIndex().row());
    const QString what = QStringLiteral("%1 %2（%3）")
                             .arg(b.time.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                  ElidedName(b.fileName), TBillBatchModel::SourceName(b.source));
    if (!TDialogs::Ask(this,
                       QStringLiteral("撤销这次导入：%1？\n它导入的 %2 条记录将被删除。")
                           .arg(what)
                           .arg(b.remaining),
                       false))
        return;
    bool alsoEdited = false;
    if (b.edited > 0) {
        // Edited records hold the person's own work: keeping them is the safe answer.
        alsoEdited =
            TDialogs::Ask(this,
                          QStringLiteral("其中 %1 条记录在导入后改过。也删除这些改过的记录吗？\n"
                                         "选“否”则保留它们，只删除其余的记录。")
                              .arg(b.edited),
                          false);
    }
    m_undo = b.id;
    m_alsoEdited = alsoEdited;
    emit undoRequested(m_undo, m_alsoEdited);
    accept();
}
