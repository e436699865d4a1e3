#include "BudgetForm.h"

#include "BudgetBars.h"
#include "BudgetExport.h"
#include "Dialogs.h"
#include "FormKit.h"
#include "Settings.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// The use column: the row's bar when the month has a budget for it.
class TBarDelegate : public QStyledItemDelegate {
public:
    TBarDelegate(QObject *parent, const TBudgetModel *model)
        : QStyledItemDelegate(parent), m_model(model)
    {
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const TBudgetRow &row = m_model->Row(index.row());
        if (!row.Figures)
            return;
        painter->save();
        painter->setFont(option.font);
        PaintBudgetBar(*painter, option.rect.adjusted(3, 3, -3, -3), *row.Figures);
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return QSize(option.fontMetrics.horizontalAdvance(
                         QStringLiteral("100%  00000.00 / 00000.00  剩余 00000.00")) +
                         16,
                     option.fontMetrics.height() + 8);
    }

private:
    const TBudgetModel *m_model;
};

QString centsText(const std::optional<qint64> &cents)
{
    return cents ? THi::FormatCents(*cents) : QString();
}

} // namespace

// ---------------------------------------------------------------------------
// The model

TBudgetModel::TBudgetModel(QObject *parent, TWrite write)
    : QAbstractTableModel(parent), m_write(std::move(write))
{
}

void TBudgetModel::SetRows(const QList<TBudgetRow> &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

int TBudgetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TBudgetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : BudCols;
}

QVariant TBudgetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const TBudgetRow &row = m_rows.at(index.row());
    const int col = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (col) {
        case BudName:
            return THi::VisibleText(row.Name());
        case BudDefault:
            return centsText(row.Default);
        case BudOverride:
            if (row.Override && *row.Override == 0)
                return QStringLiteral("本月不设");
            return centsText(row.Override);
        case BudBudget:
            return row.Figures ? THi::FormatCents(row.Figures->Budget) : QString();
        case BudSpent:
            return THi::FormatCents(row.Spent);
        case BudLeft:
            return row.Figures ? THi::FormatCents(row.Figures->Left) : QString();
        default:
            return {};
        }
    case Qt::EditRole:
        if (col == BudDefault)
            return centsText(row.Default);
        if (col == BudOverride)
            return centsText(row.Override);
        return {};
    case Qt::TextAlignmentRole:
        return col == BudName ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                              : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::FontRole:
        if (row.Category.isEmpty()) {
            QFont f = ProgramFont();
            f.setBold(true);
            return f;
        }
        return {};
    case Qt::ForegroundRole:
        if (col == BudLeft && row.Figures && row.Figures->Left < 0)
            return BudgetColor(TBudgetLevel::Red);
        if (col == BudOverride && row.Override)
            return QColor(0x1F, 0x3A, 0x93); // the month differs from the default
        return {};
    case Qt::ToolTipRole:
        if (col == BudDefault)
            return QStringLiteral("每个月都用的预算；双击修改，清空表示不设");
        if (col == BudOverride)
            return QStringLiteral("只用于这个月的预算；双击修改，清空则按每月预算，"
                                  "填 0 表示本月不设预算");
        if (col == BudBar && row.Figures)
            return QStringLiteral("%1（%2）")
                .arg(BudgetBarText(*row.Figures), TBudgetPlan::LevelText(row.Figures->Level));
        return {};
    default:
        return {};
    }
}

bool TBudgetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() ||
        (index.column() != BudDefault && index.column() != BudOverride) || !m_write)
        return false;
    // The window stores the value and shows the month again, rows included.
    return m_write(index.row(), index.column(), value.toString());
}

Qt::ItemFlags TBudgetModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == BudDefault || index.column() == BudOverride)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant TBudgetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList names{QStringLiteral("项目"),     QStringLiteral("每月预算"),
                                   QStringLiteral("本月另定"), QStringLiteral("本月预算"),
                                   QStringLiteral("已支出"),   QStringLiteral("剩余"),
                                   QStringLiteral("使用情况")};
    return names.value(section);
}

// ---------------------------------------------------------------------------
// The window

TfrmBudget::TfrmBudget(QWidget *owner, TDbMan &db, const QString &user, const QDate &month)
    : QDialog(owner), m_db(db), m_user(user)
{
    setObjectName(QStringLiteral("frmBudget"));
    setWindowTitle(QStringLiteral("预算"));
    resize(900, 560);

    auto *top = new QHBoxLayout;
    top->addWidget(MakeLabel(this, "lblBudgetMonth", QStringLiteral("月份："), 0, 0));
    btnBudgetPrev = Make<QPushButton>(this, "btnBudgetPrev");
    btnBudgetPrev->setText(QStringLiteral("上月"));
    dtpBudgetMonth = Make<QDateEdit>(this, "dtpBudgetMonth");
    dtpBudgetMonth->setDisplayFormat(QStringLiteral("yyyy年MM月"));
    dtpBudgetMonth->setDateRange(QDate(1900, 1, 1), QDate(9999, 12, 1));
    btnBudgetNext = Make<QPushButton>(this, "btnBudgetNext");
    btnBudgetNext->setText(QStringLiteral("下月"));
    top->addWidget(btnBudgetPrev);
    top->addWidget(dtpBudgetMonth);
    top->addWidget(btnBudgetNext);
    top->addStretch(1);
    btnBudgetExport = Make<QPushButton>(this, "btnBudgetExport");
    btnBudgetExport->setText(QStringLiteral("导出"));
    btnBudgetClose = Make<QPushButton>(this, "btnBudgetClose");
    btnBudgetClose->setText(QStringLiteral("关闭"));
    for (QPushButton *b : {btnBudgetPrev, btnBudgetNext, btnBudgetExport, btnBudgetClose}) {
        b->setFixedSize(ButtonSize);
        b->setAutoDefault(false);
    }
    top->addWidget(btnBudgetExport);
    top->addWidget(btnBudgetClose);

    mnuBudgetExport = new QMenu(this);
    mnuBudgetExport->setObjectName(QStringLiteral("mnuBudgetExport"));
    const auto entry = [this](const char *name, const QString &text) {
        QAction *a = mnuBudgetExport->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    connect(entry("mnuBudgetExport_ToXls", QStringLiteral("导出为Excel文件(*.xlsx)")),
            &QAction::triggered, this, &TfrmBudget::mnuBudgetExport_ToXlsClick);
    connect(entry("mnuBudgetExport_ToCsv", QStringLiteral("导出为CSV文件(*.csv)")),
            &QAction::triggered, this, &TfrmBudget::mnuBudgetExport_ToCsvClick);
    btnBudgetExport->setMenu(mnuBudgetExport);

    // Stored once the editor has closed: the month is read again then, and
    // a message box must not open inside the editor's commit.
    mdlBudget = new TBudgetModel(this, [this](int row, int column, const QString &text) {
        QMetaObject::invokeMethod(
            this, [this, row, column, text] { SetBudgetText(row, column, text); },
            Qt::QueuedConnection);
        return true;
    });
    lvwBudget = Make<QTableView>(this, "lvwBudget");
    lvwBudget->setModel(mdlBudget);
    lvwBudget->setItemDelegateForColumn(BudBar, new TBarDelegate(lvwBudget, mdlBudget));
    lvwBudget->setSelectionBehavior(QAbstractItemView::SelectItems);
    lvwBudget->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwBudget->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
    lvwBudget->verticalHeader()->hide();
    lvwBudget->verticalHeader()->setDefaultSectionSize(lvwBudget->fontMetrics().height() + 10);
    lvwBudget->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvwBudget->horizontalHeader()->setSectionResizeMode(BudBar, QHeaderView::Stretch);

    lblBudgetTotal = Make<QLabel>(this, "lblBudgetTotal");
    SetBold(lblBudgetTotal);
    lblBudgetHint = Make<QLabel>(this, "lblBudgetHint");
    lblBudgetHint->setText(QStringLiteral(
        "双击“每月预算”或“本月另定”填写金额。“本月另定”只用于这个月：清空则按每月预算，"
        "填 0 表示本月不设预算。"));
    lblBudgetHint->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lvwBudget, 1);
    layout->addWidget(lblBudgetTotal);
    layout->addWidget(lblBudgetHint);

    connect(btnBudgetPrev, &QPushButton::clicked, this,
            [this] { ShowMonth(m_month.Month.addMonths(-1)); });
    connect(btnBudgetNext, &QPushButton::clicked, this,
            [this] { ShowMonth(m_month.Month.addMonths(1)); });
    connect(dtpBudgetMonth, &QDateEdit::dateChanged, this, [this](const QDate &d) {
        if (d.isValid() && (d.year() != m_month.Month.year() || d.month() != m_month.Month.month()))
            ShowMonth(d);
    });
    connect(btnBudgetClose, &QPushButton::clicked, this, &QDialog::reject);

    ShowMonth(month);
}

TfrmBudget::~TfrmBudget() = default;

bool TfrmBudget::ShowMonth(const QDate &month)
{
    TBudgetMonth read;
    QString pickList;
    const bool ok = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        read = m_db.BudgetMonth(m_user, month);
        pickList = m_db.GetCateList(m_user, KindOut());
    });
    if (!ok) {
        if (m_month.Month.isValid()) {
            const QSignalBlocker block(dtpBudgetMonth);
            dtpBudgetMonth->setDate(m_month.Month);
        }
        return false;
    }
    m_month = std::move(read);
    mdlBudget->SetRows(BudgetRows(m_month, THi::SplitLines(pickList)));
    {
        const QSignalBlocker block(dtpBudgetMonth);
        dtpBudgetMonth->setDate(m_month.Month);
    }
    setWindowTitle(QStringLiteral("预算 - %1 %2年%3月")
                       .arg(m_user)
                       .arg(m_month.Month.year())
                       .arg(m_month.Month.month()));

    int over = 0, near = 0;
    const QList<TBudgetFigures> figures = m_month.Figures();
    for (const TBudgetFigures &f : figures) {
        over += f.Level == TBudgetLevel::Red ? 1 : 0;
        near += f.Level == TBudgetLevel::Amber ? 1 : 0;
    }
    QString summary = QStringLiteral("本月已支出 %1")
                          .arg(THi::FormatCents(m_month.Spent.value(TBudgetPlan::AllExpenses)));
    if (figures.isEmpty())
        summary += QStringLiteral("；这个月还没有预算。");
    else
        summary += QStringLiteral("；%1 项有预算，其中 %2 项超出预算，%3 项已用八成以上。")
                       .arg(figures.size())
                       .arg(over)
                       .arg(near);
    lblBudgetTotal->setText(summary);
    btnBudgetExport->setEnabled(!figures.isEmpty());
    return true;
}

bool TfrmBudget::SetBudgetText(int row, int column, const QString &text)
{
    if (row < 0 || row >= mdlBudget->rowCount() || (column != BudDefault && column != BudOverride))
        return false;
    const TBudgetRow picked = mdlBudget->Row(row);
    const QString typed = THi::Trim(text);
    // Empty: no default, or the month follows the default again; 0: no budget.
    std::optional<qint64> cents;
    double value = 0;
    if (typed.isEmpty()) {
        cents = std::nullopt;
    } else if (THi::IsNumber(typed, &value) && value == 0) {
        cents = 0;
    } else if (THi::IsAmount(typed, &value)) {
        cents = THi::AmountCents(value);
    } else {
        TDialogs::Error(this, QStringLiteral("“%1”不是预算金额。请填写金额，例如 1500 或 "
                                             "1500.00；清空表示不设预算。")
                                  .arg(typed));
        return false;
    }
    if (column == BudDefault && cents == picked.Default)
        return true;
    if (column == BudOverride && cents == picked.Override)
        return true;
    const bool stored = TDialogs::Guard(this, [&] {
        if (column == BudDefault)
            m_db.SetDefaultBudget(m_user, picked.Category, cents.value_or(0));
        else
            m_db.SetMonthBudget(m_user, picked.Category, m_month.Month, cents);
    });
    // Shown again either way: another copy may have changed the budgets too.
    const QModelIndex current = lvwBudget->currentIndex();
    ShowMonth(m_month.Month);
    // The row of the category, wherever its new budget puts it.
    for (int r = 0; r < mdlBudget->rowCount(); ++r) {
        if (mdlBudget->Row(r).Category == picked.Category) {
            lvwBudget->setCurrentIndex(
                mdlBudget->index(r, current.isValid() ? current.column() : column));
            break;
        }
    }
    return stored;
}

void TfrmBudget::mnuBudgetExport_ToXlsClick()
{
    Export(TFormat::Xlsx);
}

void TfrmBudget::mnuBudgetExport_ToCsvClick()
{
    Export(TFormat::Csv);
}

void TfrmBudget::Export(TFormat format)
{
    if (!btnBudgetExport->isEnabled())
        return;
    const QString ext = format == TFormat::Xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
    const QString target = TDialogs::SaveFileWithExtension(
        this, QStringLiteral("*%1 (*%1)").arg(ext), Settings::ExportDialogFolder(), ext);
    if (target.isEmpty())
        return;
    const bool done = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        if (format == TFormat::Xlsx)
            BudgetExport::SaveXlsx(target, m_month);
        else
            BudgetExport::SaveCsv(target, m_month);
    });
    if (!done)
        return;
    Settings::RememberExportFile(target);
    TDialogs::Info(this, QStringLiteral("Tallimo"), QStringLiteral("成功！\r\n\r\n") + target);
}
