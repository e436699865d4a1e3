#include "BillImportForm.h"

#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace {

// The rows of one group (a skip reason), or all of them.
class TGroupFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void SetGroup(int group)
    {
        m_group = group;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        if (m_group < 0)
            return true;
        return sourceModel()->index(row, 0, parent).data(TBillLineModel::SkipRole).toInt() ==
               m_group;
    }

private:
    int m_group = -1;
};

// A line above the first row of each group (the lines to import, then one
// group per skip reason), so that the groups read apart without header rows.
class TGroupDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.row() > 0 && index.data(TBillLineModel::GroupStartRole).toBool()) {
            painter->save();
            painter->setPen(option.palette.color(QPalette::Dark));
            painter->drawLine(option.rect.topLeft(), option.rect.topRight());
            painter->restore();
        }
    }
};

// The category cell: the account's categories of the line's type, or any
// new name typed in.
class TCategoryDelegate : public TGroupDelegate {
public:
    TCategoryDelegate(const QStringList *expense, const QStringList *income, QObject *parent)
        : TGroupDelegate(parent), m_expense(expense), m_income(income)
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override
    {
        auto *box = Make<QComboBox>(parent, "cboCategory");
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        const bool income = index.data(TBillLineModel::TypeRole).toInt() == int(BillType::Income);
        box->addItems(income ? *m_income : *m_expense);
        return box;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *box = static_cast<QComboBox *>(editor);
        box->setCurrentText(index.data(Qt::EditRole).toString());
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QComboBox *>(editor)->currentText(), Qt::EditRole);
    }

private:
    const QStringList *m_expense;
    const QStringList *m_income;
};

// The type of a line the bill left neutral: 支出 or 收入.
class TTypeDelegate : public TGroupDelegate {
public:
    using TGroupDelegate::TGroupDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &) const override
    {
        auto *box = Make<QComboBox>(parent, "cboType");
        box->addItems(
            {BillReader::TypeWord(BillType::Expense), BillReader::TypeWord(BillType::Income)});
        return box;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        static_cast<QComboBox *>(editor)->setCurrentIndex(
            index.data(TBillLineModel::TypeRole).toInt());
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QComboBox *>(editor)->currentIndex(), Qt::EditRole);
    }
};

QString SumText(const QString &type, int count, qint64 cents)
{
    return QStringLiteral("%1 %2 笔，共 %3 元").arg(type).arg(count).arg(THi::FormatCents(cents));
}

} // namespace

// ---- TBillLineModel ------------------------------------------------------

TBillLineModel::TBillLineModel(TBillPreview *preview, QObject *parent)
    : QAbstractTableModel(parent), m_preview(preview)
{
}

int TBillLineModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_preview->Count();
}

int TBillLineModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColCount;
}

QString TBillLineModel::StatusText(const TBillLine &line)
{
    return line.toImport() ? QStringLiteral("导入") : BillReader::SkipReasonText(line.skip);
}

QVariant TBillLineModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_preview->Count())
        return {};
    const int row = index.row();
    const TBillLine &line = m_preview->Line(row);
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case ColDate:
            return line.date.toString(QStringLiteral("yyyy-MM-dd"));
        case ColType:
            return line.skip == SkipReason::Neutral && !m_preview->IsTicked(row)
                       ? QStringLiteral("—")
                       : BillReader::TypeWord(line.type);
        case ColCategory:
            return line.category;
        case ColAmount:
            return THi::FormatCents(line.cents);
        case ColNotes:
            return line.notes;
        case ColStatus:
            return StatusText(line);
        default:
            return {};
        }
    case Qt::EditRole:
        if (index.column() == ColCategory)
            return line.category;
        if (index.column() == ColType)
            return int(line.type);
        return {};
    case Qt::CheckStateRole:
        if (index.column() == ColTick)
            return m_preview->IsTicked(row) ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == ColAmount)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::ForegroundRole:
        // What stays out reads grey; a skipped line ticked in reads as any other.
        if (!m_preview->IsTicked(row))
            return QColor(Qt::gray);
        if (index.column() == ColStatus && !line.toImport())
            return Maroon();
        return {};
    case Qt::ToolTipRole:
        if (index.column() == ColNotes)
            return line.notes;
        if (index.column() == ColStatus)
            return QStringLiteral("第 %1 行：%2").arg(line.lineNumber).arg(line.status);
        if (index.column() == ColType && m_preview->CanSetType(row))
            return QStringLiteral("账单未分收支；勾选导入时可改为支出或收入");
        return {};
    case TypeRole:
        return int(line.type);
    case SkipRole:
        return int(line.skip);
    case GroupStartRole:
        return m_preview->StartsGroup(row);
    default:
        return {};
    }
}

bool TBillLineModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid())
        return false;
    const int row = index.row();
    if (index.column() == ColTick && role == Qt::CheckStateRole) {
        if (!m_preview->SetTicked(row, value.toInt() == Qt::Checked))
            return false;
        emit dataChanged(this->index(row, 0), this->index(row, ColCount - 1));
        emit ticksChanged();
        return true;
    }
    if (index.column() == ColType && role == Qt::EditRole) {
        const int type = value.toInt();
        if (type < 0 || type > 1 || !m_preview->SetType(row, BillType(type)))
            return false;
        emit dataChanged(this->index(row, 0), this->index(row, ColCount - 1));
        emit ticksChanged();
        return true;
    }
    if (index.column() == ColCategory && role == Qt::EditRole) {
        if (!m_preview->SetCategory(row, value.toString()))
            return false;
        emit dataChanged(index, index);
        emit categoryChosen(row);
        return true;
    }
    return false;
}

Qt::ItemFlags TBillLineModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == ColTick)
        f |= Qt::ItemIsUserCheckable;
    else if (index.column() == ColCategory ||
             (index.column() == ColType && m_preview->CanSetType(index.row())))
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant TBillLineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole && section == ColAmount)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    static const char16_t *const captions[] = {u"导入", u"日期", u"类型", u"类别",
                                               u"金额", u"备注", u"状态"};
    return section >= 0 && section < ColCount ? QString::fromUtf16(captions[section]) : QString();
}

void TBillLineModel::RowsChanged(const QList<int> &rows)
{
    for (int row : rows)
        emit dataChanged(index(row, ColCategory), index(row, ColCategory));
}

// ---- TfrmBillImport ------------------------------------------------------

TfrmBillImport::TfrmBillImport(QWidget *owner, const TBillFile &file, const QString &fileName,
                               const QStringList &expenseCategories,
                               const QStringList &incomeCategories)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      m_preview(file.lines), m_expense(expenseCategories), m_income(incomeCategories)
{
    setObjectName(QStringLiteral("frmBillImport"));
    setWindowTitle(QStringLiteral("导入账单"));
    resize(860, 560);

    lblFile = Make<QLabel>(this, "lblFile");
    lblFile->setTextFormat(Qt::PlainText);
    lblFile->setText(QStringLiteral("%1　（%2，共 %3 行）")
                         .arg(ElidedName(fileName), BillReader::LayoutName(file.layout))
                         .arg(file.lines.size()));
    auto *lblShow = Make<QLabel>(this, "lblShow");
    lblShow->setText(QStringLiteral("显示(&V)："));
    cboShow = Make<QComboBox>(this, "cboShow");
    lblShow->setBuddy(cboShow);

    m_model = new TBillLineModel(&m_preview, this);
    auto *filter = new TGroupFilter(this);
    filter->setSourceModel(m_model);
    m_filter = filter;

    lvwLines = Make<QTreeView>(this, "lvwLines");
    lvwLines->setModel(m_filter);
    lvwLines->setRootIsDecorated(false);
    lvwLines->setItemsExpandable(false);
    lvwLines->setUniformRowHeights(true); // 50,000 lines lay out at once
    lvwLines->setAllColumnsShowFocus(true);
    lvwLines->setAlternatingRowColors(true);
    lvwLines->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwLines->setEditTriggers(QAbstractItemView::DoubleClicked |
                              QAbstractItemView::SelectedClicked |
                              QAbstractItemView::EditKeyPressed);
    lvwLines->setItemDelegate(new TGroupDelegate(lvwLines));
    lvwLines->setItemDelegateForColumn(TBillLineModel::ColType, new TTypeDelegate(lvwLines));
    lvwLines->setItemDelegateForColumn(TBillLineModel::ColCategory,
                                       new TCategoryDelegate(&m_expense, &m_income, lvwLines));
    const int widths[] = {44, 86, 44, 110, 88, 330, 90};
    for (int c = 0; c < TBillLineModel::ColCount; ++c)
        lvwLines->setColumnWidth(c, widths[c]);
    lvwLines->header()->setStretchLastSection(true);

    lblRule = Make<QLabel>(this, "lblRule");
    lblRule->setTextFormat(Qt::PlainText);
    btnRemember = Make<QPushButton>(this, "btnRemember");
    btnRemember->setText(QStringLiteral("记住(&R)"));
    btnNoRule = Make<QPushButton>(this, "btnNoRule");
    btnNoRule->setText(QStringLiteral("不用(&N)"));

    lblExpense = Make<QLabel>(this, "lblExpense");
    lblIncome = Make<QLabel>(this, "lblIncome");
    lblSkipped = Make<QLabel>(this, "lblSkipped");
    // The reasons may be many: the label wraps rather than widen the window.
    lblSkipped->setWordWrap(true);
    SetBold(lblExpense);
    SetBold(lblIncome);
    btnClasses = Make<QPushButton>(this, "btnClasses");
    btnClasses->setText(QStringLiteral("分类对照(&M)…"));
    btnClasses->setVisible(false); // until the caller gives an editor
    btnImport = Make<QPushButton>(this, "btnImport");
    btnImport->setText(QStringLiteral("导入(&I)"));
    btnCancel = Make<QPushButton>(this, "btnCancel");
    btnCancel->setText(QStringLiteral("取消(&C)"));
    for (QPushButton *b : {btnRemember, btnNoRule, btnClasses, btnImport, btnCancel}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(ButtonSize.width());
    }

    auto *top = new QHBoxLayout;
    top->addWidget(lblFile, 1);
    top->addWidget(lblShow);
    top->addWidget(cboShow);
    auto *rule = new QHBoxLayout;
    rule->addWidget(lblRule, 1);
    rule->addWidget(btnRemember);
    rule->addWidget(btnNoRule);
    auto *foot = new QHBoxLayout;
    foot->addWidget(lblExpense);
    foot->addSpacing(24);
    foot->addWidget(lblIncome);
    foot->addSpacing(24);
    foot->addWidget(lblSkipped, 1);
    foot->addWidget(btnClasses);
    foot->addWidget(btnImport);
    foot->addWidget(btnCancel);
    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(lvwLines, 1);
    all->addLayout(rule);
    all->addLayout(foot);

    FillShow();
    btnNoRuleClick(); // no rule on offer yet
    UpdateFoot();

    connect(m_model, &TBillLineModel::ticksChanged, this, &TfrmBillImport::UpdateFoot);
    connect(m_model, &TBillLineModel::categoryChosen, this, &TfrmBillImport::OfferRule);
    connect(btnRemember, &QPushButton::clicked, this, &TfrmBillImport::btnRememberClick);
    connect(btnNoRule, &QPushButton::clicked, this, &TfrmBillImport::btnNoRuleClick);
    connect(cboShow, &QComboBox::currentIndexChanged, this, &TfrmBillImport::cboShowChange);
    connect(btnImport, &QPushButton::clicked, this, [this] {
        if (btnImport->isEnabled())
            accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnClasses, &QPushButton::clicked, this, &TfrmBillImport::btnClassesClick);
    FlatButtons(this);
    // Space ticks the current line whichever cell the cursor is in.
    lvwLines->installEventFilter(this);
    lvwLines->setFocus();
}

bool TfrmBillImport::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lvwLines && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space &&
        static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier) {
        // An open editor gets its keys itself; only the list's own come here.
        const QModelIndex current = lvwLines->currentIndex();
        if (current.isValid()) {
            const QModelIndex tick = current.siblingAtColumn(TBillLineModel::ColTick);
            const bool ticked = tick.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            m_filter->setData(tick, ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmBillImport::reject()
{
    // Ticks and categories chosen by hand are work; they go only when meant to.
    if (m_preview.IsChanged() &&
        !TDialogs::Ask(this, QStringLiteral("放弃对这份账单所做的选择，不导入？"), false))
        return;
    QDialog::reject();
}

TfrmBillImport::~TfrmBillImport()
{
    // The list (and an editor open in it) reads the lines to the end; the
    // lines go before the window's children would.
    delete lvwLines;
}

void TfrmBillImport::FillShow()
{
    QMap<SkipReason, int> counts;
    for (int row = 0; row < m_preview.Count(); ++row)
        ++counts[m_preview.Line(row).skip];
    cboShow->addItem(QStringLiteral("全部 (%1)").arg(m_preview.Count()), -1);
    for (SkipReason reason : TBillPreview::GroupOrder()) {
        if (counts.value(reason) == 0)
            continue;
        const QString name = reason == SkipReason::None ? QStringLiteral("待导入")
                                                        : BillReader::SkipReasonText(reason);
        cboShow->addItem(QStringLiteral("%1 (%2)").arg(name).arg(counts.value(reason)),
                         int(reason));
    }
}

void TfrmBillImport::cboShowChange()
{
    static_cast<TGroupFilter *>(m_filter)->SetGroup(cboShow->currentData().toInt());
}

void TfrmBillImport::UpdateFoot()
{
    const TBillSummary &s = m_preview.Summary();
    lblExpense->setText(SumText(QStringLiteral("支出"), s.count[int(BillType::Expense)],
                                s.cents[int(BillType::Expense)]));
    lblIncome->setText(SumText(QStringLiteral("收入"), s.count[int(BillType::Income)],
                               s.cents[int(BillType::Income)]));
    int skipped = 0;
    QStringList reasons;
    for (auto it = s.skipped.cbegin(); it != s.skipped.cend(); ++it) {
        skipped += it.value();
        const QString name = it.key() == SkipReason::None ? QStringLiteral("未勾选")
                                                          : BillReader::SkipReasonText(it.key());
        reasons << QStringLiteral("%1 %2").arg(name).arg(it.value());
    }
    lblSkipped->setText(skipped == 0 ? QStringLiteral("不导入 0 行")
                                     : QStringLiteral("不导入 %1 行（%2）")
                                           .arg(skipped)
                                           .arg(reasons.join(QStringLiteral("，"))));
    btnImport->setEnabled(m_preview.TickedCount() > 0);
}

void TfrmBillImport::OfferRule(int row)
{
    const QString word = m_preview.RuleWord(row);
    if (word.isEmpty())
        return;
    m_ruleWord = word;
    m_ruleCategory = m_preview.Line(row).category;
    m_ruleType = m_preview.Line(row).type;
    lblRule->setText(QStringLiteral("以后「%1」的%2都归入「%3」？")
                         .arg(ElidedName(word), BillReader::TypeWord(m_ruleType), m_ruleCategory));
    lblRule->setEnabled(true);
    btnRemember->setEnabled(true);
    btnNoRule->setEnabled(true);
}

void TfrmBillImport::btnRememberClick()
{
    if (m_ruleWord.isEmpty())
        return;
    const QList<int> rows = m_preview.AddRule(m_ruleWord, m_ruleCategory, m_ruleType);
    m_model->RowsChanged(rows);
    const QString done =
        rows.isEmpty()
            ? QStringLiteral("已记住：「%1」→「%2」。").arg(ElidedName(m_ruleWord), m_ruleCategory)
            : QStringLiteral("已记住：「%1」→「%2」，另有 %3 行随之改了类别。")
                  .arg(ElidedName(m_ruleWord), m_ruleCategory)
                  .arg(rows.size());
    m_ruleWord.clear();
    lblRule->setText(done);
    btnRemember->setEnabled(false);
    btnNoRule->setEnabled(false);
}

void TfrmBillImport::btnNoRuleClick()
{
    m_ruleWord.clear();
    lblRule->setText(QStringLiteral("改了类别后，可在这里记住为规则。"));
    lblRule->setEnabled(false);
    btnRemember->setEnabled(false);
    btnNoRule->setEnabled(false);
}

void TfrmBillImport::SetClassEditor(ClassEditor editor)
{
    m_classEditor = std::move(editor);
    btnClasses->setVisible(bool(m_classEditor));
}

void TfrmBillImport::btnClassesClick()
{
    if (!m_classEditor)
        return;
    const std::optional<TCategoryContext> context = m_classEditor();
    if (!context)
        return;
    m_model->RowsChanged(m_preview.Repropose(*context));
}
