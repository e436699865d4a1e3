#include "EntryPanel.h"

#include "BudgetBars.h"
#include "CateRename.h"
#include "DateEdit.h"
#include "Dialogs.h"
#include "EditCateForm.h"
#include "FormKit.h"
#include "HiClass.h"
#include "Placement.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTreeWidget>

namespace {

enum Column { ColNone, ColDate, ColType, ColCate, ColAmount, ColNotes, ColumnCount };
// A pending line's amount in cents, kept beside its text.
constexpr int CentsRole = Qt::UserRole + 1;
// A proposed line's claim on its due date: the recurring_made row and the token.
constexpr int MadeRole = Qt::UserRole + 2;
constexpr int TokenRole = Qt::UserRole + 3;

TProposalClaim lineClaim(const QTreeWidgetItem *item)
{
    return TProposalClaim{item->data(ColDate, MadeRole).toLongLong(),
                          item->data(ColDate, TokenRole).toLongLong()};
}

// Proposed lines stand out from typed ones until they are saved.
QColor proposedBackground()
{
    return QColor(0xFF, 0xF4, 0xC8);
}

qint64 nowSecs()
{
    return QDateTime::currentSecsSinceEpoch();
}

qint64 lineCents(const QTreeWidgetItem *item)
{
    return item->data(ColAmount, CentsRole).toLongLong();
}

// The desktop calculators tried in this order; the first one installed is started.
const char *const Calculators[] = {"gnome-calculator", "kcalc",     "galculator",
                                   "qalculate-gtk",    "mate-calc", "xcalc"};

QString FindCalculator()
{
    for (const char *name : Calculators) {
        QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

const TEntryPanelNames ExpenseNames = {
    "pnlExpense",
    {"lblOutStep1", "lblOutStep2", "lblOutStep3", "lblOutStep4", "lblOutStep5", "lblOutStep6"},
    "dtpOutDate",
    "cboOutCate",
    "edtOutAmount",
    "edtOutNotes",
    "btnOutAdd",
    "btnOutHelp",
    "btnOutEditCates",
    "btnOutCalc",
    "btnOutDelete",
    "btnOutEdit",
    "btnOutSave",
    "lvwOutRecs",
    "lblOutTotal",
};

const TEntryPanelNames IncomeNames = {
    "pnlIncome",      {"lblStep1", "lblStep2", "lblStep3", "lblStep4", "lblStep5", "lblStep6"},
    "dtpInDate",      "cboInCate",
    "edtInAmount",    "edtInNotes",
    "btnInAdd",       "btnInHelp",
    "btnInEditCates", "btnInCalc",
    "btnInDelete",    "btnInEdit",
    "btnInSave",      "lvwInRecs",
    "lblInTotal",
};

} // namespace

TEntryPanelKind TEntryPanelKind::Expense()
{
    TEntryPanelKind k;
    k.names = ExpenseNames;
    k.typeWord = TypeExpense();
    k.listKey = KindOut();
    k.helpResource = QStringLiteral("RES_HELP1");
    k.steps = QStringList{
        QStringLiteral("第1步，选择日期，例如：2099-12-31。"),
        QStringLiteral("第2步，填写项目，例如：医疗药品费。"),
        QStringLiteral("第3步，填写金额，例如：1000009.95。"),
        QStringLiteral("第4步，填写备注，例如：家庭常用药。"),
        QStringLiteral("第5步，确认无误，请点添加按钮即可。"),
        QStringLiteral("第6步，添加完所有支出请点保存按钮。"),
    };
    return k;
}

TEntryPanelKind TEntryPanelKind::Income()
{
    TEntryPanelKind k;
    k.names = IncomeNames;
    k.typeWord = TypeIncome();
    k.listKey = KindIn();
    k.helpResource = QStringLiteral("RES_HELP2");
    k.steps = QStringList{
        QStringLiteral("第1步，选择日期，例如：2099-01-31。"),
        QStringLiteral("第2步，填写项目，例如：亲属赠与金。"),
        QStringLiteral("第3步，填写金额，例如：8000008.88。"),
        QStringLiteral("第4步，填写备注，例如：宝宝压岁钱。"),
        QStringLiteral("第5步，确认无误，请点添加按钮即可。"),
        QStringLiteral("第6步，添加完所有收入请点保存按钮。"),
    };
    return k;
}

TEntryPanel::TEntryPanel(const TEntryPanelKind &kind, QWidget *parent)
    : QWidget(parent), m_kind(kind)
{
    const TEntryPanelNames &n = kind.names;
    setObjectName(QLatin1String(n.panel));
    resize(ClientSize);
    for (int i = 0; i < kind.steps.size(); ++i) {
        // Taller and wider than the 12-px slot so a CJK face's descent and the
        // longest line are not cut off; the next label is 20 px further down.
        auto *step = Make<QLabel>(this, n.steps[i], QRect(18, 10 + 20 * i, 228, 16));
        step->setText(kind.steps.at(i));
        step->setFont(ProgramFont());
        step->setStyleSheet(QStringLiteral("color: black;"));
    }

    const QString captions[] = {QStringLiteral("日期："), QStringLiteral("项目："),
                                QStringLiteral("金额："), QStringLiteral("备注：")};
    const int fieldY[] = {10, 40, 70, 101};
    for (int i = 0; i < 4; ++i) {
        auto *caption = new QLabel(captions[i], this);
        caption->setGeometry(250, fieldY[i], 43, 21);
        caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    dtpDate = Make<TDateEdit>(this, n.date, QRect(293, fieldY[0], 311, 21));

    cboCate = Make<QComboBox>(this, n.cate, QRect(293, fieldY[1], 311, 21));
    cboCate->setEditable(true);
    cboCate->setCompleter(nullptr);
    cboCate->setInsertPolicy(QComboBox::NoInsert);
    cboCate->setMaxVisibleItems(32);

    edtAmount = Make<QLineEdit>(this, n.amount, QRect(293, fieldY[2], 311, 21));
    edtNotes = Make<QLineEdit>(this, n.notes, QRect(293, fieldY[3], 311, 21));

    const auto button = [&](const char *name, const QString &text, int x, int y) {
        QPushButton *b = MakeButton(this, name, text, x, y);
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::ClickFocus);
        return b;
    };
    btnAdd = button(n.add, QStringLiteral("添加(&A)"), 610, 100);
    btnAdd->setFocusPolicy(Qt::StrongFocus);
    btnHelp = button(n.help, QStringLiteral("帮助"), 610, 9);
    btnEditCates = button(n.editCates, QStringLiteral("编辑"), 610, 39);
    btnCalc = button(n.calc, QStringLiteral("计算器"), 610, 69);
    btnDelete = button(n.del, QStringLiteral("删除(&D)"), 450, 410);
    btnEdit = button(n.edit, QStringLiteral("编辑(&E)"), 530, 410);
    btnSave = button(n.save, QStringLiteral("保存(&S)"), 610, 410);

    lvwRecs = Make<QTreeWidget>(this, n.recs, QRect(12, 135, 672, 268));
    lvwRecs->setColumnCount(ColumnCount);
    lvwRecs->setHeaderLabels({QString(), QStringLiteral("日期"), QStringLiteral("类别"),
                              QStringLiteral("项目"), QStringLiteral("金额"),
                              QStringLiteral("备注")});
    lvwRecs->headerItem()->setTextAlignment(ColAmount, Qt::AlignRight | Qt::AlignVCenter);
    lvwRecs->setColumnHidden(ColNone, true);
    lvwRecs->setColumnWidth(ColDate, 80);
    lvwRecs->setColumnWidth(ColType, 80);
    lvwRecs->setColumnWidth(ColCate, 180);
    lvwRecs->setColumnWidth(ColAmount, 80);
    lvwRecs->setColumnWidth(ColNotes, 220);
    lvwRecs->header()->setSectionsClickable(false);
    lvwRecs->header()->setSectionsMovable(false);
    lvwRecs->setRootIsDecorated(false);
    lvwRecs->setItemsExpandable(false);
    lvwRecs->setUniformRowHeights(true);
    lvwRecs->setSortingEnabled(false);
    lvwRecs->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwRecs->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwRecs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwRecs->setFocusPolicy(Qt::ClickFocus);

    lblTotal = Make<QLabel>(this, n.total, QRect(12, 413, 420, 19));
    SetBold(lblTotal);
    lblTotal->setStyleSheet(QStringLiteral("color: %1;").arg(Maroon().name()));
    if (kind.typeWord == TypeExpense()) {
        // Beside the total, after a save: the budgets that save pushed past
        // 80 % or 100 % (placed by PlaceBudgetLine, as the total's width varies).
        lblBudget = Make<QLabel>(this, "lblOutBudget", QRect(150, 413, 290, 19));
        lblBudget->hide();
    }

    // Tab walks the four fields and Add; everything else is reached by mouse.
    setTabOrder(dtpDate, cboCate);
    setTabOrder(cboCate, edtAmount);
    setTabOrder(edtAmount, edtNotes);
    setTabOrder(edtNotes, btnAdd);

    connect(dtpDate, &TDateEdit::wholeChanged, this, &TEntryPanel::CateChange);
    connect(cboCate, &QComboBox::editTextChanged, this, &TEntryPanel::CateChange);
    connect(edtAmount, &QLineEdit::textChanged, this, &TEntryPanel::CateChange);
    connect(btnAdd, &QPushButton::clicked, this, &TEntryPanel::btnAddClick);
    connect(btnDelete, &QPushButton::clicked, this, &TEntryPanel::btnDeleteClick);
    connect(btnEdit, &QPushButton::clicked, this, &TEntryPanel::btnEditClick);
    connect(btnSave, &QPushButton::clicked, this, &TEntryPanel::btnSaveClick);
    connect(btnHelp, &QPushButton::clicked, this, &TEntryPanel::btnHelpClick);
    connect(btnCalc, &QPushButton::clicked, this, &TEntryPanel::btnCalcClick);
    connect(btnEditCates, &QPushButton::clicked, this, &TEntryPanel::btnEditCatesClick);
    connect(lvwRecs, &QTreeWidget::itemSelectionChanged, this, &TEntryPanel::lvwRecsSelectItem);

    for (QLineEdit *e : {cboCate->lineEdit(), edtAmount, edtNotes})
        SayWhenCut(e);

    for (QObject *o :
         std::initializer_list<QObject *>{dtpDate, cboCate, edtAmount, edtNotes, lvwRecs})
        o->installEventFilter(this);

    UpdatePendingTotal();
    CateChange();
    UpdateButtons();
}

TEntryPanel::~TEntryPanel() = default;

void TEntryPanel::SetStore(TDbMan *db, const QString &user)
{
    m_db = db;
    m_user = user;
}

TDbMan &TEntryPanel::Db() const
{
    if (!m_db)
        throw TError(QStringLiteral("没有打开数据文件。"));
    return *m_db;
}

void TEntryPanel::SetDate(const QDate &date)
{
    dtpDate->setDate(date);
    CateChange();
}

void TEntryPanel::LoadCateList(const QString &listText)
{
    // Replacing the items must not touch what the user has typed.
    const QString typed = cboCate->currentText();
    const QSignalBlocker block(cboCate);
    cboCate->clear();
    cboCate->addItems(THi::SplitLines(listText));
    cboCate->setCurrentIndex(-1);
    cboCate->setEditText(typed);
}

qint64 TEntryPanel::PendingCents() const
{
    // Each line keeps the cents it shows; the store adds the same cents.
    qint64 sum = 0;
    for (int i = 0; i < lvwRecs->topLevelItemCount(); ++i)
        sum += lineCents(lvwRecs->topLevelItem(i));
    return sum;
}

void TEntryPanel::UpdatePendingTotal()
{
    lblTotal->setText(QStringLiteral("合计：") + THi::FormatCents(PendingCents()));
    PlaceBudgetLine();
}

void TEntryPanel::PlaceBudgetLine()
{
    if (!lblBudget)
        return;
    const int left =
        lblTotal->x() + QFontMetrics(lblTotal->font()).horizontalAdvance(lblTotal->text()) + 16;
    // Up to the 删除 button.
    const int right = btnDelete->x() - 6;
    const QString line = lblBudget->toolTip();
    if (line.isEmpty() || right - left < 40) {
        lblBudget->hide();
        return;
    }
    lblBudget->setGeometry(left, lblTotal->y(), right - left, lblTotal->height());
    lblBudget->setText(
        lblBudget->fontMetrics().elidedText(line, Qt::ElideRight, lblBudget->width()));
    lblBudget->show();
}

void TEntryPanel::ShowBudgetLine(const TBatchRows &saved)
{
    if (!lblBudget)
        return;
    QString line;
    TBudgetLevel worst = TBudgetLevel::Green;
    try {
        const QList<TBudgetSaveCrossing> crossings = Db().BudgetCrossings(m_user, saved);
        line = BudgetCrossingText(crossings);
        for (const TBudgetSaveCrossing &c : crossings)
            worst = std::max(worst, c.Crossing.After.Level);
    } catch (const std::exception &) {
        // The records are saved; a line that cannot be worked out now is left out.
    }
    lblBudget->setToolTip(line); // the whole line, when the label cuts it
    SetTextColor(lblBudget, BudgetColor(worst));
    PlaceBudgetLine();
}

void TEntryPanel::CateChange()
{
    // A date that is still being typed, or was refused, is no date to file under.
    btnAdd->setEnabled(dtpDate->IsWhole() && !THi::Trim(cboCate->currentText()).isEmpty() &&
                       THi::IsAmount(edtAmount->text()));
}

void TEntryPanel::UpdateButtons()
{
    const bool hasRows = lvwRecs->topLevelItemCount() > 0;
    const bool hasSelection = SelectedRow() != nullptr;
    btnSave->setEnabled(hasRows);
    btnEdit->setEnabled(hasSelection);
    btnDelete->setEnabled(hasSelection);
}

void TEntryPanel::ListChanged()
{
    UpdateButtons();
    emit listChanged();
}

QTreeWidgetItem *TEntryPanel::SelectedRow() const
{
    const QList<QTreeWidgetItem *> selected = lvwRecs->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

TBatchRows TEntryPanel::PendingRows() const
{
    TBatchRows rows;
    rows.reserve(lvwRecs->topLevelItemCount());
    for (int i = 0; i < lvwRecs->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = lvwRecs->topLevelItem(i);
        rows.append(TBatchRow{item->text(ColDate), item->text(ColType), item->text(ColCate),
                              lineCents(item), item->text(ColNotes)});
    }
    return rows;
}

QTreeWidgetItem *TEntryPanel::NewLine(const QString &date, const QString &cate, qint64 cents,
                                      const QString &notes, const TProposalClaim &claim)
{
    auto *item = new QTreeWidgetItem;
    item->setText(ColDate, date);
    item->setText(ColType, m_kind.typeWord);
    item->setText(ColCate, cate);
    item->setText(ColAmount, THi::FormatCents(cents));
    item->setData(ColAmount, CentsRole, cents);
    item->setTextAlignment(ColAmount, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(ColNotes, notes);
    if (claim.Made != 0) {
        item->setData(ColDate, MadeRole, claim.Made);
        item->setData(ColDate, TokenRole, claim.Token);
        for (int col = ColDate; col < ColumnCount; ++col) {
            item->setBackground(col, proposedBackground());
            item->setToolTip(col,
                             QStringLiteral("定期收支的提议：保存后才记入账本，删除则不再提议。"));
        }
    }
    lvwRecs->addTopLevelItem(item);
    return item;
}

void TEntryPanel::AddProposals(const QList<TProposal> &proposals)
{
    bool added = false;
    for (const TProposal &p : proposals) {
        if (p.Type != m_kind.typeWord || p.Claim.Made == 0)
            continue;
        NewLine(p.Date, p.Cate, p.Cents, p.Notes, p.Claim);
        added = true;
    }
    if (!added)
        return;
    UpdatePendingTotal();
    ListChanged();
}

QList<TProposalClaim> TEntryPanel::PendingClaims() const
{
    QList<TProposalClaim> claims;
    for (int i = 0; i < lvwRecs->topLevelItemCount(); ++i)
        claims.append(lineClaim(lvwRecs->topLevelItem(i)));
    return claims;
}

int TEntryPanel::ProposalCount() const
{
    int n = 0;
    for (int i = 0; i < lvwRecs->topLevelItemCount(); ++i)
        n += lineClaim(lvwRecs->topLevelItem(i)).Made != 0 ? 1 : 0;
    return n;
}

QList<TProposalClaim> TEntryPanel::HeldClaims() const
{
    QList<TProposalClaim> held;
    for (const TProposalClaim &c : PendingClaims()) {
        if (c.Made != 0)
            held.append(c);
    }
    if (m_lineInFields && m_fieldsClaim.Made != 0)
        held.append(m_fieldsClaim);
    return held;
}

void TEntryPanel::KeepProposals(qint64 now)
{
    if (!m_db)
        return;
    QList<QTreeWidgetItem *> lines;
    QList<TProposalClaim> claims;
    for (int i = 0; i < lvwRecs->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lvwRecs->topLevelItem(i);
        if (lineClaim(item).Made != 0) {
            lines.append(item);
            claims.append(lineClaim(item));
        }
    }
    const bool inFields = m_lineInFields && m_fieldsClaim.Made != 0;
    if (inFields)
        claims.append(m_fieldsClaim);
    if (claims.isEmpty())
        return;
    // Quietly: a failed confirmation is tried again at the next one.
    QList<int> lost;
    try {
        lost = m_db->KeepProposals(claims, now);
    } catch (const TError &) {
        return;
    }
    for (int i = 0; i < lines.size(); ++i)
        lines[i]->setData(ColDate, TokenRole, claims.at(i).Token);
    if (inFields)
        m_fieldsClaim = lost.contains(claims.size() - 1) ? TProposalClaim() : claims.last();
    // Another program proposes these now: shown here as well, they could be saved twice.
    bool removed = false;
    for (int i : std::as_const(lost)) {
        if (i < lines.size()) {
            delete lines.at(i);
            removed = true;
        }
    }
    if (removed) {
        lvwRecs->selectionModel()->clear();
        UpdatePendingTotal();
        ListChanged();
    }
}

void TEntryPanel::ReleaseProposals() noexcept
{
    try {
        if (m_db)
            m_db->ReleaseProposals(HeldClaims());
    } catch (...) {
        // Not written: the claims go stale and the next program takes them over.
    }
}

bool TEntryPanel::HasPending() const
{
    if (lvwRecs->topLevelItemCount() > 0)
        return true;
    // Emptied by hand, the taken line was given up on purpose.
    return m_lineInFields &&
           !(THi::Trim(cboCate->currentText()).isEmpty() &&
             THi::Trim(edtAmount->text()).isEmpty() && THi::Trim(edtNotes->text()).isEmpty());
}

void TEntryPanel::btnAddClick()
{
    // Alt+A leaves the focus in a date being typed: take it first.
    if (!dtpDate->Commit()) {
        CateChange();
        dtpDate->setFocus();
        dtpDate->selectAll(); // typing replaces the refused text
        return;
    }
    if (!btnAdd->isEnabled()) {
        cboCate->setFocus();
        return;
    }
    const QString cate = THi::Trim(cboCate->currentText());
    double amount = 0;
    THi::IsAmount(edtAmount->text(), &amount);
    const qint64 cents = THi::AmountCents(amount);

    TDialogs::Guard(this, [&] {
        TBusy busy(btnAdd);
        // A proposal taken back with Edit stays the proposal it was.
        NewLine(THi::DateToYmd(dtpDate->date()), cate, cents, THi::Trim(edtNotes->text()),
                m_lineInFields ? m_fieldsClaim : TProposalClaim());
        UpdatePendingTotal();
        m_lineInFields = false;
        m_fieldsClaim = TProposalClaim();
        RememberCate(cate);
    });

    // Also after a failed category write: the line is in the list by then, and
    // leaving it in the fields as well would invite adding it twice.
    cboCate->setEditText(QString());
    edtAmount->clear();
    edtNotes->clear();
    cboCate->setFocus();
    ListChanged();
}

void TEntryPanel::RememberCate(const QString &cate)
{
    const QString wanted = THi::LowerAscii(THi::Trim(cate));
    for (int i = 0; i < cboCate->count(); ++i) {
        if (THi::LowerAscii(THi::Trim(cboCate->itemText(i))) == wanted)
            return;
    }

    // Merged into the stored list, not written from this pick list: another
    // running copy may have added names since it was loaded. The pick list
    // then shows the stored list. When the store fails the name stays out of
    // the pick list as well, so the next line with it tries again.
    LoadCateList(Db().MergeCate(m_user, m_kind.listKey, cate));
}

void TEntryPanel::lvwRecsSelectItem()
{
    ListChanged();
}

void TEntryPanel::btnDeleteClick()
{
    QTreeWidgetItem *row = SelectedRow();
    if (!row)
        return;
    if (!TDialogs::Ask(this, QStringLiteral("您真的想要删除它吗？")))
        return;
    // A deleted proposal is not proposed again; when that cannot be written
    // the line stays, so nothing is lost unasked.
    const TProposalClaim claim = lineClaim(row);
    if (claim.Made != 0 && !TDialogs::Guard(this, [&] { Db().DismissProposal(claim, nowSecs()); }))
        return;
    RemoveRow(row);
}

void TEntryPanel::btnEditClick()
{
    QTreeWidgetItem *row = SelectedRow();
    if (!row)
        return;
    if (!TDialogs::Ask(this, QStringLiteral("您真的想要编辑它吗？")))
        return;
    const bool taken = TDialogs::Guard(this, [&] {
        dtpDate->setDate(THi::YmdToDate(row->text(ColDate)));
        cboCate->setEditText(row->text(ColCate));
        edtAmount->setText(row->text(ColAmount));
        edtNotes->setText(row->text(ColNotes));
    });
    if (!taken) // a line that could not be taken back stays in the list
        return;
    if (m_lineInFields && m_fieldsClaim.Made != 0) {
        // Another proposal was in the fields and is given up for this one: it comes again.
        const TProposalClaim earlier = m_fieldsClaim;
        TDialogs::Guard(this, [&] { Db().ReleaseProposals({earlier}); });
    }
    m_lineInFields = true;
    m_fieldsClaim = lineClaim(row);
    RemoveRow(row);
}

void TEntryPanel::RemoveRow(QTreeWidgetItem *row)
{
    delete row;
    // The view would select the neighbour; a second Delete press must not
    // offer a line the user never picked.
    lvwRecs->selectionModel()->clear();
    UpdatePendingTotal();
    ListChanged();
}

void TEntryPanel::btnSaveClick()
{
    if (!btnSave->isEnabled())
        return;
    if (!TDialogs::Ask(this, QStringLiteral("您真的想要保存吗？")))
        return;
    const TBatchRows rows = PendingRows();
    // The busy state ends inside the guard, so the error box already shows
    // the normal cursor and the button is usable again after a failure.
    const bool saved = TDialogs::Guard(this, [&] {
        try {
            TBusy busy(btnSave);
            Db().AddProposedRecords(m_user, rows, PendingClaims(), nowSecs());
        } catch (const TError &e) {
            // The write is all or nothing (another program holding the file
            // included): say that every line is still here.
            throw TError(e.text() +
                         QStringLiteral("\r\n\r\n没有保存任何一条记录，它们都还在列表中。"));
        }
    });
    if (!saved)
        return; // nothing was written; every line stays for another try
    lvwRecs->clear();
    ShowBudgetLine(rows);
    UpdatePendingTotal();
    ListChanged();
    ShowSavedMessage();
}

void TEntryPanel::ShowSavedMessage()
{
    TDialogs::Info(this, QString::fromLatin1(Placement::ProductName),
                   QStringLiteral("成功！") + QStringLiteral("\r\n\r\n") +
                       QStringLiteral("想查看收支记录明细，请点击“收支目录”。"));
}

void TEntryPanel::btnHelpClick()
{
    TDialogs::Guard(this, [&] {
        TDialogs::Info(this, QStringLiteral("帮助"),
                       THi::FromBytes(THi::ResourceText(m_kind.helpResource)));
    });
}

void TEntryPanel::btnCalcClick()
{
    const QString calculator = FindCalculator();
    if (calculator.isEmpty()) {
        QStringList names;
        for (const char *name : Calculators)
            names.append(QString::fromLatin1(name));
        TDialogs::Error(this, QStringLiteral("没有找到计算器程序。请安装以下程序之一：") +
                                  names.join(QStringLiteral("、")) + QStringLiteral("。"));
        return;
    }
    THi::RunProgram(calculator, QString(), 5, QString()); // whether it came up is not checked
}

void TEntryPanel::btnEditCatesClick()
{
    if (!btnEditCates->isEnabled())
        return;
    bool saved = false;
    TDialogs::Guard(this, [&] {
        TBusy busy(btnEditCates);
        TfrmEditCate editor(window());
        QString opened = Db().GetCateList(m_user, m_kind.listKey);
        editor.CateText = opened;
        const QString type = m_kind.listKey == KindOut() ? TypeExpense() : TypeIncome();
        editor.SetRenameStore(&Db(), m_user, type);
        // A rename made from the editor rewrites the stored list too: that is
        // this editor's own change, not another copy's, so the save compares
        // with the list as the rename left it.
        const QMetaObject::Connection follow =
            connect(&TCateRename::Notifier(), &TCateRename::renamed, this,
                    [&](const QString &user, const QString &renamedType) {
                        if (user == m_user && renamedType == type)
                            opened = Db().GetCateList(m_user, m_kind.listKey);
                    });
        const auto unfollow = qScopeGuard([&] { disconnect(follow); });
        int result = QDialog::Rejected;
        {
            // The button stays disabled while the editor is open, but the
            // editor is for typing: no hourglass over it.
            QApplication::setOverrideCursor(Qt::ArrowCursor);
            const auto back = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
            result = editor.exec();
        }
        if (result != QDialog::Accepted)
            return;
        // Off the screen before the store is written.
        editor.hide();
        QCoreApplication::processEvents();
        // Another running copy may have stored a category meanwhile (a new
        // name typed in its entry): the editor's list would drop it unasked.
        if (!Db().SetCateListIf(m_user, m_kind.listKey, opened, editor.CateText)) {
            bool replace = false;
            {
                QApplication::setOverrideCursor(Qt::ArrowCursor);
                const auto back = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
                replace = TDialogs::Ask(
                    this,
                    QStringLiteral("另一个程序已修改了这个类别列表（在您打开编辑窗口之后）。\n"
                                   "要用您刚才编辑的列表替换它吗？选“否”则保留另一个程序保存的"
                                   "列表，您这次的修改不会保存。"),
                    false);
            }
            if (replace)
                Db().SetCateList(m_user, m_kind.listKey, editor.CateText);
            saved = replace;
        } else {
            saved = true;
        }
        // The pick list shows what the store holds now, not the editor's text.
        LoadCateList(Db().GetCateList(m_user, m_kind.listKey));
    });
    if (saved)
        TDialogs::Info(this, QString::fromLatin1(Placement::ProductName), QStringLiteral("成功！"));
}

bool TEntryPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (watched == dtpDate) {
                cboCate->setFocus();
                return true;
            }
            if (watched == cboCate) {
                edtAmount->setFocus();
                return true;
            }
            if (watched == edtAmount) {
                edtNotes->setFocus();
                return true;
            }
            if (watched == edtNotes) {
                btnAddClick();
                return true;
            }
        }
    } else if (event->type() == QEvent::KeyRelease && watched == lvwRecs) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && !key->isAutoRepeat() && SelectedRow()) {
            btnDeleteClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
