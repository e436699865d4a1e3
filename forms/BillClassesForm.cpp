#include "BillClassesForm.h"

#include "FormKit.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace {

constexpr int CategoryRole = TfrmBillClasses::CategoryRole;

const QStringList &sources()
{
    static const QStringList list{QStringLiteral("alipay"), QStringLiteral("wechat")};
    return list;
}

// The category cell: the account's categories, or any name typed in; an
// empty one goes back to the built-in.
class TClassDelegate : public QStyledItemDelegate {
public:
    TClassDelegate(const QStringList *categories, QObject *parent)
        : QStyledItemDelegate(parent), m_categories(categories)
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &) const override
    {
        auto *box = Make<QComboBox>(parent, "cboCategory");
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->addItems(*m_categories);
        return box;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        static_cast<QComboBox *>(editor)->setCurrentText(index.data(CategoryRole).toString());
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QComboBox *>(editor)->currentText().trimmed(),
                       CategoryRole);
    }

private:
    const QStringList *m_categories;
};

} // namespace

TfrmBillClasses::TfrmBillClasses(QWidget *owner,
                                 const QMap<QString, QHash<QString, QString>> &tables,
                                 const QHash<QString, QString> &builtIn,
                                 const QStringList &expenseCategories,
                                 const QStringList &incomeCategories, const QString &source)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      m_builtIn(builtIn)
{
    setObjectName(QStringLiteral("frmBillClasses"));
    setWindowTitle(QStringLiteral("分类对照"));
    resize(440, 420);

    for (const QString &s : sources()) {
        // A source not given starts from the built-in table.
        m_given[s] = tables.contains(s) ? tables.value(s) : builtIn;
    }
    m_tables = m_given;
    m_categories = expenseCategories;
    for (const QString &c : incomeCategories) {
        if (!m_categories.contains(c))
            m_categories << c;
    }

    lblSource = Make<QLabel>(this, "lblSource");
    lblSource->setText(QStringLiteral("账单来源(&S)："));
    cboSource = Make<QComboBox>(this, "cboSource");
    cboSource->addItem(QStringLiteral("支付宝"), sources().at(0));
    cboSource->addItem(QStringLiteral("微信支付"), sources().at(1));
    cboSource->setCurrentIndex(std::max(0, int(sources().indexOf(source))));
    lblSource->setBuddy(cboSource);

    m_model = new QStandardItemModel(0, ColCount, this);
    m_model->setHorizontalHeaderLabels({QStringLiteral("账单分类"), QStringLiteral("记账项目")});
    lvwClasses = Make<QTreeView>(this, "lvwClasses");
    lvwClasses->setModel(m_model);
    lvwClasses->setRootIsDecorated(false);
    lvwClasses->setItemsExpandable(false);
    lvwClasses->setUniformRowHeights(true);
    lvwClasses->setAllColumnsShowFocus(true);
    lvwClasses->setAlternatingRowColors(true);
    lvwClasses->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwClasses->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwClasses->setEditTriggers(QAbstractItemView::DoubleClicked |
                                QAbstractItemView::SelectedClicked |
                                QAbstractItemView::EditKeyPressed);
    lvwClasses->setItemDelegateForColumn(ColCategory, new TClassDelegate(&m_categories, this));
    lvwClasses->setColumnWidth(ColClass, 180);
    lvwClasses->header()->setStretchLastSection(true);

    lblHint = Make<QLabel>(this, "lblHint");
    lblHint->setWordWrap(true);
    lblHint->setText(QStringLiteral("双击记账项目可以改；灰色的是默认对照，清空即恢复默认。"));
    btnDefault = Make<QPushButton>(this, "btnDefault");
    btnDefault->setText(QStringLiteral("恢复默认(&D)"));
    btnOk = Make<QPushButton>(this, "btnOk");
    btnOk->setText(QStringLiteral("确定"));
    btnCancel = Make<QPushButton>(this, "btnCancel");
    btnCancel->setText(QStringLiteral("取消"));
    for (QPushButton *b : {btnDefault, btnOk, btnCancel}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(ButtonSize.width());
    }

    auto *top = new QHBoxLayout;
    top->addWidget(lblSource);
    top->addWidget(cboSource);
    top->addStretch(1);
    top->addWidget(btnDefault);
    auto *foot = new QHBoxLayout;
    foot->addWidget(lblHint, 1);
    foot->addWidget(btnOk);
    foot->addWidget(btnCancel);
    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(lvwClasses, 1);
    all->addLayout(foot);

    Fill();
    connect(cboSource, &QComboBox::currentIndexChanged, this, &TfrmBillClasses::cboSourceChange);
    connect(lvwClasses->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TfrmBillClasses::UpdateButtons);
    connect(m_model, &QStandardItemModel::itemChanged, this, [this](QStandardItem *item) {
        if (!m_filling && item->column() == ColCategory)
            CategoryEdited(item->row());
    });
    connect(btnDefault, &QPushButton::clicked, this, &TfrmBillClasses::btnDefaultClick);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FlatButtons(this);
    lvwClasses->setFocus();
}

TfrmBillClasses::~TfrmBillClasses() = default;

QString TfrmBillClasses::DefaultText()
{
    return QStringLiteral("默认");
}

QString TfrmBillClasses::Source() const
{
    return cboSource->currentData().toString();
}

QString TfrmBillClasses::Effective(const QString &appClass) const
{
    return m_tables.value(Source()).value(appClass);
}

void TfrmBillClasses::Fill()
{
    m_filling = true;
    m_model->removeRows(0, m_model->rowCount());
    QStringList classes = m_builtIn.keys();
    for (auto it = m_tables.value(Source()).cbegin(); it != m_tables.value(Source()).cend(); ++it) {
        if (!classes.contains(it.key()))
            classes << it.key();
    }
    classes.sort();
    for (const QString &c : classes) {
        auto *name = new QStandardItem(c);
        name->setEditable(false);
        m_model->appendRow({name, new QStandardItem});
        ShowRow(m_model->rowCount() - 1);
    }
    m_filling = false;
    if (m_model->rowCount() > 0)
        lvwClasses->setCurrentIndex(m_model->index(0, 0));
    UpdateButtons();
}

void TfrmBillClasses::ShowRow(int row)
{
    const bool filling = m_filling;
    m_filling = true;
    const QString appClass = m_model->item(row, ColClass)->text();
    const QString category = Effective(appClass);
    const QString builtIn = m_builtIn.value(appClass);
    const bool own = category != builtIn;
    QStandardItem *cell = m_model->item(row, ColCategory);
    cell->setData(category, CategoryRole);
    cell->setData(own, OwnRole);
    // The built-in ones read as such; the account's own stand out.
    cell->setText(own ? category
                      : (builtIn.isEmpty()
                             ? DefaultText()
                             : QStringLiteral("%1（%2）").arg(builtIn, DefaultText())));
    cell->setForeground(own ? QBrush() : QBrush(Qt::gray));
    QFont font = cell->font();
    font.setBold(own);
    cell->setFont(font);
    m_filling = filling;
}

void TfrmBillClasses::CategoryEdited(int row)
{
    const QString appClass = m_model->item(row, ColClass)->text();
    const QString category = m_model->item(row, ColCategory)->data(CategoryRole).toString();
    QHash<QString, QString> &table = m_tables[Source()];
    if (category.isEmpty()) {
        if (m_builtIn.contains(appClass))
            table[appClass] = m_builtIn.value(appClass);
        else
            table.remove(appClass);
    } else {
        table[appClass] = category;
    }
    ShowRow(row);
    UpdateButtons();
}

void TfrmBillClasses::cboSourceChange()
{
    Fill();
}

void TfrmBillClasses::UpdateButtons()
{
    const QModelIndex current = lvwClasses->currentIndex();
    btnDefault->setEnabled(current.isValid() &&
                           m_model->item(current.row(), ColCategory)->data(OwnRole).toBool());
}

void TfrmBillClasses::btnDefaultClick()
{
    const QModelIndex current = lvwClasses->currentIndex();
    if (!current.isValid())
        return;
    m_model->item(current.row(), ColCategory)->setData(QString(), CategoryRole);
}

QList<TAppClassChange> TfrmBillClasses::Changes() const
{
    QList<TAppClassChange> changes;
    for (const QString &s : sources()) {
        const QHash<QString, QString> &before = m_given.value(s);
        const QHash<QString, QString> &after = m_tables.value(s);
        QStringList classes = before.keys();
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            if (!before.contains(it.key()))
                classes << it.key();
        }
        classes.sort();
        for (const QString &c : classes) {
            const QString now = after.value(c);
            if (now == before.value(c))
                continue;
            // The built-in category itself is stored as no entry at all.
            changes.append({s, c, now == m_builtIn.value(c) ? QString() : now});
        }
    }
    return changes;
}
