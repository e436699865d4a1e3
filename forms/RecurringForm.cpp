#include "RecurringForm.h"

#include "DateEdit.h"
#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The day field's last item: the month's last day, whatever its length.
constexpr int LastDay = 31;

template <class T> T *Named(QWidget *parent, const char *name)
{
    auto *w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

TfrmRecurring::TfrmRecurring(QWidget *owner, TDbMan &db, const QString &user,
                             const QStringList &outCates, const QStringList &inCates,
                             const QDate &today)
    : QDialog(owner), m_db(db), m_user(user), m_outCates(outCates), m_inCates(inCates),
      m_today(today)
{
    setObjectName(QStringLiteral("TfrmRecurring"));
    setWindowTitle(QStringLiteral("定期收支"));
    setFont(ProgramFont());

    lvwEntries = Named<QTreeWidget>(this, "lvwEntries");
    lvwEntries->setColumnCount(ColCount);
    lvwEntries->setHeaderLabels({QStringLiteral("类别"), QStringLiteral("项目"),
                                 QStringLiteral("金额"), QStringLiteral("规则"),
                                 QStringLiteral("下次"), QStringLiteral("备注")});
    lvwEntries->headerItem()->setTextAlignment(ColAmount, Qt::AlignRight | Qt::AlignVCenter);
    lvwEntries->setRootIsDecorated(false);
    lvwEntries->setUniformRowHeights(true);
    lvwEntries->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwEntries->setColumnWidth(ColType, 44);
    lvwEntries->setColumnWidth(ColCate, 100);
    lvwEntries->setColumnWidth(ColAmount, 80);
    lvwEntries->setColumnWidth(ColRule, 300);
    lvwEntries->setColumnWidth(ColNext, 84);
    lvwEntries->header()->setSectionsMovable(false);

    cboType = Named<QComboBox>(this, "cboType");
    cboType->addItems({TypeExpense(), TypeIncome()});
    cboCate = Named<QComboBox>(this, "cboCate");
    cboCate->setEditable(true);
    cboCate->setInsertPolicy(QComboBox::NoInsert);
    cboCate->setMaxVisibleItems(24);
    edtAmount = Named<QLineEdit>(this, "edtAmount");
    edtNotes = Named<QLineEdit>(this, "edtNotes");
    dtpStart = Named<TDateEdit>(this, "dtpStart");
    dtpStart->setDate(today);
    chkEnd = Named<QCheckBox>(this, "chkEnd");
    chkEnd->setText(QStringLiteral("结束于"));
    dtpEnd = Named<TDateEdit>(this, "dtpEnd");
    dtpEnd->setDate(today.addYears(1));
    dtpEnd->setEnabled(false);
    spnEvery = Named<QSpinBox>(this, "spnEvery");
    spnEvery->setRange(1, TRecurrence::MaxEvery);
    spnEvery->setPrefix(QStringLiteral("每 "));
    cboUnit = Named<QComboBox>(this, "cboUnit");
    cboUnit->addItems(
        {QStringLiteral("天"), QStringLiteral("周"), QStringLiteral("个月"), QStringLiteral("年")});
    cboUnit->setCurrentIndex(TRecurrence::Months);
    cboDay = Named<QComboBox>(this, "cboDay");
    for (int d = 1; d < LastDay; ++d)
        cboDay->addItem(QStringLiteral("%1 日").arg(d), d);
    cboDay->addItem(QStringLiteral("最后一天"), LastDay);
    cboDay->setCurrentIndex(today.day() - 1);
    lblRule = Named<QLabel>(this, "lblRule");
    lblRule->setWordWrap(true);

    btnAdd = Named<QPushButton>(this, "btnAdd");
    btnAdd->setText(QStringLiteral("添加(&A)"));
    btnReplace = Named<QPushButton>(this, "btnReplace");
    btnReplace->setText(QStringLiteral("修改(&M)"));
    btnDelete = Named<QPushButton>(this, "btnDelete");
    btnDelete->setText(QStringLiteral("删除(&D)"));
    btnClose = Named<QPushButton>(this, "btnClose");
    btnClose->setText(QStringLiteral("关闭"));
    for (QPushButton *b : {btnAdd, btnReplace, btnDelete, btnClose})
        b->setAutoDefault(false);

    auto *fields = new QFormLayout;
    auto *typeRow = new QHBoxLayout;
    typeRow->addWidget(cboType);
    typeRow->addWidget(new QLabel(QStringLiteral("项目："), this));
    typeRow->addWidget(cboCate, 1);
    typeRow->addWidget(new QLabel(QStringLiteral("金额："), this));
    typeRow->addWidget(edtAmount);
    fields->addRow(QStringLiteral("类别："), typeRow);
    fields->addRow(QStringLiteral("备注："), edtNotes);
    auto *ruleRow = new QHBoxLayout;
    ruleRow->addWidget(spnEvery);
    ruleRow->addWidget(cboUnit);
    ruleRow->addWidget(new QLabel(QStringLiteral("在"), this));
    ruleRow->addWidget(cboDay);
    ruleRow->addStretch(1);
    fields->addRow(QStringLiteral("重复："), ruleRow);
    auto *dateRow = new QHBoxLayout;
    dateRow->addWidget(dtpStart);
    dateRow->addSpacing(12);
    dateRow->addWidget(chkEnd);
    dateRow->addWidget(dtpEnd);
    dateRow->addStretch(1);
    fields->addRow(QStringLiteral("开始："), dateRow);
    fields->addRow(QString(), lblRule);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnReplace);
    buttons->addWidget(btnDelete);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);

    auto *main = new QVBoxLayout(this);
    main->addWidget(lvwEntries, 1);
    main->addLayout(fields);
    main->addLayout(buttons);
    resize(780, 480);

    connect(cboType, &QComboBox::currentIndexChanged, this, &TfrmRecurring::TypeChanged);
    connect(cboCate, &QComboBox::editTextChanged, this, &TfrmRecurring::FieldsChanged);
    connect(edtAmount, &QLineEdit::textChanged, this, &TfrmRecurring::FieldsChanged);
    connect(dtpStart, &QDateEdit::dateChanged, this, &TfrmRecurring::FieldsChanged);
    connect(dtpStart, &TDateEdit::wholeChanged, this, &TfrmRecurring::FieldsChanged);
    connect(dtpEnd, &QDateEdit::dateChanged, this, &TfrmRecurring::FieldsChanged);
    connect(dtpEnd, &TDateEdit::wholeChanged, this, &TfrmRecurring::FieldsChanged);
    connect(chkEnd, &QCheckBox::toggled, this, [this](bool on) {
        dtpEnd->setEnabled(on);
        FieldsChanged();
    });
    connect(spnEvery, &QSpinBox::valueChanged, this, &TfrmRecurring::FieldsChanged);
    connect(cboUnit, &QComboBox::currentIndexChanged, this, &TfrmRecurring::FieldsChanged);
    connect(cboDay, &QComboBox::currentIndexChanged, this, &TfrmRecurring::FieldsChanged);
    connect(lvwEntries, &QTreeWidget::itemSelectionChanged, this, &TfrmRecurring::EntryPicked);
    connect(btnAdd, &QPushButton::clicked, this, &TfrmRecurring::btnAddClick);
    connect(btnReplace, &QPushButton::clicked, this, &TfrmRecurring::btnReplaceClick);
    connect(btnDelete, &QPushButton::clicked, this, &TfrmRecurring::btnDeleteClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    TypeChanged();
    Reload();
}

TfrmRecurring::~TfrmRecurring() = default;

void TfrmRecurring::Reload(qint64 select)
{
    TDialogs::Guard(this, [&] { m_entries = m_db.RecurringEntries(m_user); });
    const QSignalBlocker block(lvwEntries);
    lvwEntries->clear();
    for (const TRecurringEntry &e : std::as_const(m_entries)) {
        auto *item = new QTreeWidgetItem(lvwEntries);
        item->setText(ColType, e.Type);
        item->setText(ColCate, e.Cate);
        item->setText(ColAmount, THi::FormatCents(e.Cents));
        item->setTextAlignment(ColAmount, Qt::AlignRight | Qt::AlignVCenter);
        QString rule = e.Rule.isValid() ? e.Rule.describe() : QStringLiteral("（规则无法读取）");
        if (e.Rule.end().isValid())
            rule += QStringLiteral("，至 %1").arg(THi::DateToYmd(e.Rule.end()));
        item->setText(ColRule, rule);
        item->setToolTip(ColRule, rule);
        const QDate next = e.NextDue(m_today);
        item->setText(ColNext, next.isValid() ? THi::DateToYmd(next) : QStringLiteral("已结束"));
        item->setText(ColNotes, e.Notes);
        if (e.Id == select)
            item->setSelected(true);
    }
    UpdateButtons();
}

int TfrmRecurring::PickedRow() const
{
    const QList<QTreeWidgetItem *> picked = lvwEntries->selectedItems();
    return picked.isEmpty() ? -1 : lvwEntries->indexOfTopLevelItem(picked.first());
}

void TfrmRecurring::TypeChanged()
{
    const QString typed = cboCate->currentText();
    const QSignalBlocker block(cboCate);
    cboCate->clear();
    cboCate->addItems(cboType->currentIndex() == 0 ? m_outCates : m_inCates);
    cboCate->setCurrentIndex(-1);
    cboCate->setEditText(typed);
    FieldsChanged();
}

TRecurringEntry TfrmRecurring::FieldsEntry(QString *problem) const
{
    TRecurringEntry e;
    e.Type = cboType->currentIndex() == 0 ? TypeExpense() : TypeIncome();
    e.Cate = THi::CateName(cboCate->currentText());
    e.Notes = THi::Trim(edtNotes->text());
    double amount = 0;
    if (THi::IsAmount(edtAmount->text(), &amount))
        e.Cents = THi::AmountCents(amount);
    const auto unit = TRecurrence::Unit(cboUnit->currentIndex());
    const QDate end = chkEnd->isChecked() ? dtpEnd->date() : QDate();
    e.Rule =
        TRecurrence(unit, spnEvery->value(), dtpStart->date(), end, cboDay->currentData().toInt());
    QString why;
    if (e.Cate.isEmpty())
        why = QStringLiteral("请填写项目。");
    else if (e.Cents <= 0)
        why = QStringLiteral("请填写金额，例如：1500 或 89.90。");
    else if (!dtpStart->IsWhole() || (chkEnd->isChecked() && !dtpEnd->IsWhole()))
        why = QStringLiteral("请填写完整的日期，例如：2026-01-05。");
    else if (end.isValid() && end < dtpStart->date())
        why = QStringLiteral("结束日期早于开始日期。");
    else if (!e.Rule.isValid())
        why = QStringLiteral("规则无效。");
    if (problem)
        *problem = why;
    return e;
}

void TfrmRecurring::FieldsChanged()
{
    const auto unit = TRecurrence::Unit(cboUnit->currentIndex());
    cboDay->setEnabled(unit == TRecurrence::Months || unit == TRecurrence::Years);
    UpdateButtons();
}

void TfrmRecurring::UpdateButtons()
{
    QString problem;
    const TRecurringEntry e = FieldsEntry(&problem);
    const bool ok = problem.isEmpty();
    btnAdd->setEnabled(ok);
    btnReplace->setEnabled(ok && PickedRow() >= 0);
    btnDelete->setEnabled(PickedRow() >= 0);
    if (!ok) {
        lblRule->setText(problem);
        // Red only for what was typed wrong, not for fields still empty.
        const bool typedWrong = !THi::Trim(edtAmount->text()).isEmpty() || !e.Cate.isEmpty();
        SetTextColor(lblRule,
                     typedWrong ? QColor(0xC0, 0x00, 0x00) : palette().color(QPalette::WindowText));
        return;
    }
    QString text = e.Rule.describe();
    if (e.Rule.end().isValid())
        text += QStringLiteral("，至 %1").arg(THi::DateToYmd(e.Rule.end()));
    const QDate next = e.Rule.next(std::max(m_today, e.Rule.start()).addDays(-1));
    text += next.isValid() ? QStringLiteral("；下次：%1").arg(THi::DateToYmd(next))
                           : QStringLiteral("；已结束");
    lblRule->setText(text);
    SetTextColor(lblRule, palette().color(QPalette::WindowText));
}

void TfrmRecurring::ShowEntry(const TRecurringEntry &e)
{
    cboType->setCurrentIndex(e.Type == TypeIncome() ? 1 : 0);
    cboCate->setEditText(e.Cate);
    edtAmount->setText(THi::FormatCents(e.Cents));
    edtNotes->setText(e.Notes);
    if (!e.Rule.isValid())
        return;
    spnEvery->setValue(e.Rule.every());
    cboUnit->setCurrentIndex(e.Rule.unit());
    if (e.Rule.day() >= 1)
        cboDay->setCurrentIndex(e.Rule.day() - 1);
    dtpStart->setDate(e.Rule.start());
    chkEnd->setChecked(e.Rule.end().isValid());
    if (e.Rule.end().isValid())
        dtpEnd->setDate(e.Rule.end());
}

void TfrmRecurring::RememberCate(const TRecurringEntry &e)
{
    // A category typed here joins the account's pick list, as one typed in an entry panel does.
    const bool out = e.Type == TypeExpense();
    const QString list = m_db.MergeCate(m_user, out ? KindOut() : KindIn(), e.Cate);
    (out ? m_outCates : m_inCates) = THi::SplitLines(list);
    if ((cboType->currentIndex() == 0) != out)
        return;
    const QSignalBlocker block(cboCate);
    const QString typed = cboCate->currentText();
    cboCate->clear();
    cboCate->addItems(out ? m_outCates : m_inCates);
    cboCate->setCurrentIndex(-1);
    cboCate->setEditText(typed);
}

void TfrmRecurring::EntryPicked()
{
    const int row = PickedRow();
    if (row >= 0 && row < m_entries.size())
        ShowEntry(m_entries.at(row));
    UpdateButtons();
}

void TfrmRecurring::btnAddClick()
{
    QString problem;
    const TRecurringEntry e = FieldsEntry(&problem);
    if (!problem.isEmpty())
        return;
    qint64 id = 0;
    if (TDialogs::Guard(this, [&] {
            id = m_db.AddRecurring(m_user, e, QDateTime::currentSecsSinceEpoch());
            RememberCate(e);
        }))
        Reload(id);
}

void TfrmRecurring::btnReplaceClick()
{
    const int row = PickedRow();
    QString problem;
    TRecurringEntry e = FieldsEntry(&problem);
    if (row < 0 || !problem.isEmpty())
        return;
    e.Id = m_entries.at(row).Id;
    TDialogs::Guard(this, [&] {
        m_db.ReplaceRecurring(m_user, e, QDateTime::currentSecsSinceEpoch());
        RememberCate(e);
    });
    Reload(e.Id); // also after a failure: it shows what the ledger holds
}

void TfrmRecurring::btnDeleteClick()
{
    const int row = PickedRow();
    if (row < 0)
        return;
    if (!TDialogs::Ask(this, QStringLiteral("您真的想要删除它吗？")))
        return;
    const qint64 id = m_entries.at(row).Id;
    TDialogs::Guard(this, [&] { m_db.DeleteRecurring(m_user, id); });
    Reload();
}
