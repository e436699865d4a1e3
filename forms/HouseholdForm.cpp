#include "HouseholdForm.h"

#include "DateEdit.h"
#include "Dialogs.h"
#include "FormKit.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

// ---------------------------------------------------------------------------
// The tables

THouseholdModel::THouseholdModel(TPart part, QObject *parent)
    : QAbstractTableModel(parent), m_part(part)
{
}

void THouseholdModel::SetHousehold(std::shared_ptr<const THousehold> household)
{
    beginResetModel();
    m_household = std::move(household);
    m_member = -1;
    m_rows.clear();
    endResetModel();
}

void THouseholdModel::ShowMember(int member)
{
    if (!m_household || member >= int(m_household->Members.size()))
        member = -1;
    beginResetModel();
    m_member = member;
    m_rows.clear();
    if (member >= 0) {
        for (int i = 0; i < m_household->RecordCount(); ++i) {
            if (m_household->MemberOf(i) == member)
                m_rows.push_back(i);
        }
    }
    endResetModel();
}

int THouseholdModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_household)
        return 0;
    switch (m_part) {
    case Members:
        return int(m_household->Members.size()) + 1; // and the household's line
    case Cates:
        return int(m_household->CateLines.size());
    case Records:
        return m_member < 0 ? m_household->RecordCount() : int(m_rows.size());
    }
    return 0;
}

int THouseholdModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    switch (m_part) {
    case Members:
        return MemberCols;
    case Cates:
        return m_household ? m_household->CateColumnCount() : 3;
    case Records:
        return HouseRecCols;
    }
    return 0;
}

bool THouseholdModel::IsTotal(int row) const
{
    switch (m_part) {
    case Members:
        return row == int(m_household->Members.size());
    case Cates:
        return m_household->CateLines.at(row).Kind == THouseCateLine::Total;
    case Records:
        break;
    }
    return false;
}

bool THouseholdModel::IsAmount(int col) const
{
    switch (m_part) {
    case Members:
        return col != MemberName;
    case Cates:
        return col >= 2;
    case Records:
        return col == HouseRecIn || col == HouseRecOut;
    }
    return false;
}

QString THouseholdModel::Text(int row, int col) const
{
    const THousehold &h = *m_household;
    switch (m_part) {
    case Members: {
        if (row < int(h.Members.size()))
            return h.Members.at(row).Text(col);
        THouseMember all;
        all.Name = QStringLiteral("家庭合计");
        all.OutCents = h.OutCents;
        all.InCents = h.InCents;
        for (const THouseMember &m : h.Members)
            all.Count += m.Count;
        return all.Text(col);
    }
    case Cates:
        return h.CateLines.at(row).Text(col);
    case Records:
        return h.RecordText(m_member < 0 ? row : m_rows[size_t(row)], THouseRecCol(col));
    }
    return QString();
}

qint64 THouseholdModel::Balance(int row, int col) const
{
    if (m_part != Members || col != MemberBalance)
        return 0;
    const THousehold &h = *m_household;
    return row < int(h.Members.size()) ? h.Members.at(row).Balance() : h.InCents - h.OutCents;
}

QVariant THouseholdModel::data(const QModelIndex &index, int role) const
{
    if (!m_household || !index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        const QString text = Text(index.row(), index.column());
        return IsAmount(index.column()) ? text : THi::VisibleText(text);
    }
    case Qt::TextAlignmentRole:
        return IsAmount(index.column()) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                        : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::FontRole:
        if (IsTotal(index.row())) {
            QFont f = ProgramFont();
            f.setBold(true);
            return f;
        }
        return {};
    case Qt::ForegroundRole:
        if (Balance(index.row(), index.column()) < 0)
            return Maroon();
        return {};
    default:
        return {};
    }
}

QVariant THouseholdModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (m_part) {
    case Members: {
        static const QStringList names{QStringLiteral("成员"), QStringLiteral("支出"),
                                       QStringLiteral("收入"), QStringLiteral("结余"),
                                       QStringLiteral("笔数")};
        return names.value(section);
    }
    case Cates:
        if (!m_household)
            return QStringList{QStringLiteral("类型"), QStringLiteral("项目"),
                               QStringLiteral("合计")}
                .value(section);
        return THi::VisibleText(m_household->CateColumns().value(section));
    case Records:
        return THousehold::RecordColumns().value(section);
    }
    return {};
}

// ---------------------------------------------------------------------------
// The window

namespace {

QTableView *table(QWidget *parent, const char *name, THouseholdModel *model)
{
    auto *view = Make<QTableView>(parent, name);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

} // namespace

TfrmHousehold::TfrmHousehold(QWidget *owner, TDbMan &db, const QString &user, const QDate &start,
                             const QDate &end)
    : QDialog(owner), m_db(db), m_user(user), m_household(std::make_shared<THousehold>())
{
    setObjectName(QStringLiteral("TfrmHousehold"));
    setWindowTitle(QStringLiteral("家庭汇总"));
    resize(900, 640);

    auto *top = new QHBoxLayout;
    top->addWidget(MakeLabel(this, "lblHouseDates", QStringLiteral("日期："), 0, 0));
    dtpHouseDate1 = Make<TDateEdit>(this, "dtpHouseDate1");
    dtpHouseDate2 = Make<TDateEdit>(this, "dtpHouseDate2");
    dtpHouseDate1->setDate(start);
    dtpHouseDate2->setDate(end);
    top->addWidget(dtpHouseDate1);
    top->addWidget(MakeLabel(this, "lblHouseTo", QStringLiteral("-"), 0, 0));
    top->addWidget(dtpHouseDate2);
    btnHouseSearch = Make<QPushButton>(this, "btnHouseSearch");
    btnHouseSearch->setText(QStringLiteral("查看(&S)"));
    btnHouseSearch->setDefault(true);
    top->addWidget(btnHouseSearch);
    top->addStretch(1);
    btnHouseClose = Make<QPushButton>(this, "btnHouseClose");
    btnHouseClose->setText(QStringLiteral("关闭"));
    btnHouseClose->setAutoDefault(false);
    top->addWidget(btnHouseClose);
    for (QPushButton *b : {btnHouseSearch, btnHouseClose})
        b->setFixedSize(ButtonSize);

    lblHouseNote = MakeLabel(
        this, "lblHouseNote",
        QStringLiteral("这里只有您自己和允许家人查看记录的账户（在账户菜单的“家庭共享…”里打开）。"),
        0, 0);
    lblHouseNote->setWordWrap(true);
    lblHouseTotal = MakeLabel(this, "lblHouseTotal", QString(), 0, 0);
    SetBold(lblHouseTotal);

    mdlHouseMembers = new THouseholdModel(THouseholdModel::Members, this);
    mdlHouseCates = new THouseholdModel(THouseholdModel::Cates, this);
    mdlHouseRecs = new THouseholdModel(THouseholdModel::Records, this);
    lvwHouseMembers = table(this, "lvwHouseMembers", mdlHouseMembers);
    lvwHouseCates = table(this, "lvwHouseCates", mdlHouseCates);
    lvwHouseRecs = table(this, "lvwHouseRecs", mdlHouseRecs);
    // The figures stay beside their names; what is left over stays blank.
    for (QTableView *v : {lvwHouseMembers, lvwHouseCates}) {
        v->horizontalHeader()->setStretchLastSection(false);
        v->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    }
    // The record list may be long: fixed widths, so nothing measures every row.
    const int widths[HouseRecCols] = {90, 80, 140, 80, 80, 200};
    for (int c = 0; c < HouseRecCols; ++c)
        lvwHouseRecs->setColumnWidth(c, widths[c]);

    auto *upper = Make<QSplitter>(this, "splHouseUpper");
    upper->setOrientation(Qt::Horizontal);
    upper->addWidget(lvwHouseMembers);
    upper->addWidget(lvwHouseCates);
    upper->setStretchFactor(0, 2);
    upper->setStretchFactor(1, 3);
    auto *split = Make<QSplitter>(this, "splHouse");
    split->setOrientation(Qt::Vertical);
    split->addWidget(upper);
    split->addWidget(lvwHouseRecs);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lblHouseNote);
    layout->addWidget(lblHouseTotal);
    layout->addWidget(split, 1);

    connect(btnHouseSearch, &QPushButton::clicked, this, &TfrmHousehold::btnHouseSearchClick);
    connect(btnHouseClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvwHouseMembers->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TfrmHousehold::lvwHouseMembersSelect);
    lvwHouseMembers->setToolTip(
        QStringLiteral("选中一位成员，下面只列出这位成员的记录；选中家庭合计，列出全部记录"));
    for (TDateEdit *d : {dtpHouseDate1, dtpHouseDate2}) {
        connect(d, &QDateEdit::dateChanged, this, &TfrmHousehold::UpdateButtons);
        connect(d, &TDateEdit::wholeChanged, this, &TfrmHousehold::UpdateButtons);
    }

    UpdateButtons();
    btnHouseSearchClick();
}

TfrmHousehold::~TfrmHousehold() = default;

void TfrmHousehold::lvwHouseMembersSelect()
{
    const QModelIndex current = lvwHouseMembers->selectionModel()->currentIndex();
    mdlHouseRecs->ShowMember(current.isValid() ? current.row() : -1);
}

void TfrmHousehold::UpdateButtons()
{
    btnHouseSearch->setEnabled(dtpHouseDate1->IsWhole() && dtpHouseDate2->IsWhole() &&
                               dtpHouseDate1->date() <= dtpHouseDate2->date());
}

bool TfrmHousehold::btnHouseSearchClick()
{
    // Enter leaves the focus in a date being typed: take both first.
    const bool whole1 = dtpHouseDate1->Commit();
    const bool whole2 = dtpHouseDate2->Commit();
    UpdateButtons();
    if (!whole1 || !whole2 || !btnHouseSearch->isEnabled())
        return false;
    const QDate start = dtpHouseDate1->date(), end = dtpHouseDate2->date();
    std::shared_ptr<THousehold> household;
    const bool read = TDialogs::Guard(this, [&] {
        TBusy busy(btnHouseSearch);
        household = std::make_shared<THousehold>(
            m_db.Household(m_user, THi::DateToYmd(start), THi::DateToYmd(end)));
    });
    if (!read)
        return false;
    m_household = std::move(household);
    mdlHouseMembers->SetHousehold(m_household);
    mdlHouseCates->SetHousehold(m_household);
    mdlHouseRecs->SetHousehold(m_household);
    const THousehold &h = *m_household;
    setWindowTitle(QStringLiteral("家庭汇总 - %1 至 %2").arg(h.Start, h.End));
    lblHouseTotal->setText(QStringLiteral("家庭合计    支出：%1    收入：%2    结余：%3    "
                                          "成员：%4    记录：%5 笔")
                               .arg(THi::FormatCents(h.OutCents), THi::FormatCents(h.InCents),
                                    THi::FormatCents(h.InCents - h.OutCents))
                               .arg(h.Members.size())
                               .arg(h.RecordCount()));
    return true;
}
