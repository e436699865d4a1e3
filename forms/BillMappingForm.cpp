#include "BillMappingForm.h"

#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>

// ---- TBillTableModel -----------------------------------------------------

TBillTableModel::TBillTableModel(const TBillTable *table, QObject *parent)
    : QAbstractTableModel(parent), m_table(table)
{
    for (int r = 0; r < std::min(int(table->rows.size()), MaxRows); ++r)
        m_columns = std::max(m_columns, int(table->rows.at(r).size()));
}

int TBillTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::min(int(m_table->rows.size()), MaxRows);
}

int TBillTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant TBillTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_table->cell(index.row(), index.column());
    if (role == Qt::FontRole && index.row() == m_mapping.headerRow) {
        QFont f;
        f.setBold(true);
        return f;
    }
    if (role == Qt::ForegroundRole && index.row() < m_mapping.headerRow)
        return QColor(Qt::gray); // the preamble
    return {};
}

QVariant TBillTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return m_table->lineNumbers.value(section, section + 1);
    QString name;
    const TColumnMapping &m = m_mapping;
    if (section == m.date)
        name = QStringLiteral("日期");
    else if (section == m.amount)
        name = QStringLiteral("金额");
    else if (section == m.income)
        name = QStringLiteral("收入");
    else if (section == m.expense)
        name = QStringLiteral("支出");
    else if (section == m.type)
        name = QStringLiteral("类型");
    else if (section == m.category)
        name = QStringLiteral("类别");
    else if (section == m.externalId)
        name = QStringLiteral("交易号");
    else if (m.notes.contains(section))
        name = QStringLiteral("备注");
    const QString number = QString::number(section + 1);
    return name.isEmpty() ? number : QStringLiteral("%1 %2").arg(number, name);
}

void TBillTableModel::SetMapping(const TColumnMapping &mapping)
{
    const bool headerMoved = mapping.headerRow != m_mapping.headerRow;
    m_mapping = mapping;
    if (m_columns > 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
    if (headerMoved && rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, std::max(0, m_columns - 1)));
}

// ---- TfrmBillMapping -----------------------------------------------------

QString TfrmBillMapping::EncodingName(BillEncoding encoding)
{
    switch (encoding) {
    case BillEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case BillEncoding::Utf8Bom:
        return QStringLiteral("UTF-8（带 BOM）");
    case BillEncoding::Gb18030:
        return QStringLiteral("GB18030（GBK）");
    case BillEncoding::Utf16Le:
        return QStringLiteral("UTF-16 LE");
    case BillEncoding::Utf16Be:
        return QStringLiteral("UTF-16 BE");
    case BillEncoding::Xlsx:
        return QStringLiteral("Excel 工作簿");
    }
    return QString();
}

QString TfrmBillMapping::DelimiterName(QChar delimiter)
{
    if (delimiter.isNull())
        return QStringLiteral("无（工作簿）");
    if (delimiter == u',')
        return QStringLiteral("逗号");
    if (delimiter == u';')
        return QStringLiteral("分号");
    if (delimiter == u'\t')
        return QStringLiteral("制表符");
    return QString(delimiter);
}

TfrmBillMapping::TfrmBillMapping(QWidget *owner, const TBillTable &table, const QString &fileName)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      m_table(table)
{
    setObjectName(QStringLiteral("frmBillMapping"));
    setWindowTitle(QStringLiteral("账单的列"));
    resize(820, 560);

    for (int r = 0; r < std::min(int(m_table.rows.size()), TBillTableModel::MaxRows); ++r)
        m_columns = std::max(m_columns, int(m_table.rows.at(r).size()));

    lblFile = Make<QLabel>(this, "lblFile");
    lblFile->setTextFormat(Qt::PlainText);
    lblFile->setText(QStringLiteral("“%1”不是支付宝或微信支付的账单。请指明哪一列是日期、金额等：")
                         .arg(ElidedName(fileName)));
    lblFile->setWordWrap(true);
    lblEncoding = Make<QLabel>(this, "lblEncoding");
    lblEncoding->setText(QStringLiteral("编码：%1").arg(EncodingName(m_table.encoding)));
    lblDelimiter = Make<QLabel>(this, "lblDelimiter");
    lblDelimiter->setText(QStringLiteral("分隔符：%1").arg(DelimiterName(m_table.delimiter)));
    spnHeaderRow = Make<QSpinBox>(this, "spnHeaderRow");
    spnHeaderRow->setRange(
        1, std::max(1, std::min(int(m_table.rows.size()), TBillTableModel::MaxHeaderRows)));

    m_model = new TBillTableModel(&m_table, this);
    tblPreview = Make<QTableView>(this, "tblPreview");
    tblPreview->setModel(m_model);
    tblPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblPreview->setSelectionMode(QAbstractItemView::NoSelection);
    tblPreview->verticalHeader()->setDefaultSectionSize(tblPreview->fontMetrics().height() + 6);
    tblPreview->setWordWrap(false);

    cboDate = Make<QComboBox>(this, "cboDate");
    optSigned = Make<QRadioButton>(this, "optSigned");
    optSigned->setText(QStringLiteral("一列金额(&M)"));
    optSeparate = Make<QRadioButton>(this, "optSeparate");
    optSeparate->setText(QStringLiteral("收入、支出分两列(&2)"));
    auto *amountKind = new QButtonGroup(this);
    amountKind->addButton(optSigned);
    amountKind->addButton(optSeparate);
    cboAmount = Make<QComboBox>(this, "cboAmount");
    cboIncome = Make<QComboBox>(this, "cboIncome");
    cboExpense = Make<QComboBox>(this, "cboExpense");
    cboType = Make<QComboBox>(this, "cboType");
    cboCategory = Make<QComboBox>(this, "cboCategory");
    cboExternalId = Make<QComboBox>(this, "cboExternalId");
    lstNotes = Make<QListWidget>(this, "lstNotes");
    lstNotes->setToolTip(QStringLiteral("可勾选多列，依次以“ · ”连起来；第一列当作交易对方"));
    lblResult = Make<QLabel>(this, "lblResult");
    lblResult->setTextFormat(Qt::PlainText);
    lblResult->setWordWrap(true);
    btnOk = Make<QPushButton>(this, "btnOk");
    btnOk->setText(QStringLiteral("确定(&O)"));
    btnCancel = Make<QPushButton>(this, "btnCancel");
    btnCancel->setText(QStringLiteral("取消(&C)"));
    for (QPushButton *b : {btnOk, btnCancel}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(ButtonSize.width());
    }

    auto *info = new QHBoxLayout;
    info->addWidget(lblEncoding);
    info->addSpacing(24);
    info->addWidget(lblDelimiter);
    info->addSpacing(24);
    auto *lblHeaderRow = Make<QLabel>(this, "lblHeaderRow");
    lblHeaderRow->setText(QStringLiteral("标题行(&H)："));
    lblHeaderRow->setBuddy(spnHeaderRow);
    info->addWidget(lblHeaderRow);
    info->addWidget(spnHeaderRow);
    info->addStretch(1);

    auto label = [this](const char *name, const QString &text, QWidget *buddy) {
        auto *l = Make<QLabel>(this, name);
        l->setText(text);
        l->setBuddy(buddy);
        return l;
    };
    auto *left = new QFormLayout;
    left->addRow(label("lblDate", QStringLiteral("日期(&D)："), cboDate), cboDate);
    left->addRow(optSigned, cboAmount);
    left->addRow(optSeparate);
    left->addRow(label("lblIncome", QStringLiteral("　收入(&R)："), cboIncome), cboIncome);
    left->addRow(label("lblExpense", QStringLiteral("　支出(&E)："), cboExpense), cboExpense);
    auto *middle = new QFormLayout;
    middle->addRow(label("lblType", QStringLiteral("收支类型(&T)："), cboType), cboType);
    middle->addRow(label("lblCategory", QStringLiteral("类别(&G)："), cboCategory), cboCategory);
    middle->addRow(label("lblExternalId", QStringLiteral("交易号(&X)："), cboExternalId),
                   cboExternalId);
    auto *notes = new QVBoxLayout;
    notes->addWidget(label("lblNotes", QStringLiteral("备注(&N)："), lstNotes));
    notes->addWidget(lstNotes, 1);
    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 3);
    columns->addSpacing(12);
    columns->addLayout(middle, 3);
    columns->addSpacing(12);
    columns->addLayout(notes, 2);

    auto *foot = new QHBoxLayout;
    foot->addWidget(lblResult, 1);
    foot->addWidget(btnOk);
    foot->addWidget(btnCancel);
    auto *all = new QVBoxLayout(this);
    all->addWidget(lblFile);
    all->addLayout(info);
    all->addWidget(tblPreview, 1);
    all->addLayout(columns);
    all->addLayout(foot);
    // As tall as the choices beside it; the preview keeps the rest.
    lstNotes->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);

    FillColumns();
    SetMapping(BillReader::GuessMapping(m_table));
    // Wide enough for what the first rows hold, never so wide that one long
    // preamble line pushes the other columns away.
    tblPreview->resizeColumnsToContents();
    for (int c = 0; c < m_columns; ++c) {
        const int w = tblPreview->columnWidth(c);
        tblPreview->setColumnWidth(c, std::clamp(w, 60, 160));
    }

    for (QComboBox *box :
         {cboDate, cboAmount, cboIncome, cboExpense, cboType, cboCategory, cboExternalId})
        connect(box, &QComboBox::currentIndexChanged, this, &TfrmBillMapping::MappingChange);
    connect(optSigned, &QRadioButton::toggled, this, &TfrmBillMapping::MappingChange);
    connect(lstNotes, &QListWidget::itemChanged, this, &TfrmBillMapping::NotesChange);
    connect(spnHeaderRow, &QSpinBox::valueChanged, this, &TfrmBillMapping::HeaderRowChange);
    connect(btnOk, &QPushButton::clicked, this, [this] {
        if (btnOk->isEnabled())
            accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FlatButtons(this);
}

TfrmBillMapping::~TfrmBillMapping() = default;

void TfrmBillMapping::FillColumns()
{
    // Each column by its number and its name in the header row.
    const int header = spnHeaderRow->value() - 1;
    const bool filling = m_filling;
    m_filling = true;
    for (QComboBox *box :
         {cboDate, cboAmount, cboIncome, cboExpense, cboType, cboCategory, cboExternalId}) {
        const int chosen = box->count() > 0 ? box->currentData().toInt() : -1;
        box->clear();
        box->addItem(QStringLiteral("（无）"), -1);
        for (int c = 0; c < m_columns; ++c) {
            const QString name = m_table.cell(header, c).simplified();
            box->addItem(name.isEmpty() ? QStringLiteral("第 %1 列").arg(c + 1)
                                        : QStringLiteral("%1. %2").arg(c + 1).arg(name),
                         c);
        }
        SelectColumn(box, chosen);
    }
    lstNotes->clear();
    for (int c = 0; c < m_columns; ++c) {
        const QString name = m_table.cell(header, c).simplified();
        auto *item =
            new QListWidgetItem(name.isEmpty() ? QStringLiteral("第 %1 列").arg(c + 1)
                                               : QStringLiteral("%1. %2").arg(c + 1).arg(name),
                                lstNotes);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(m_notes.contains(c) ? Qt::Checked : Qt::Unchecked);
    }
    m_filling = filling;
}

void TfrmBillMapping::SelectColumn(QComboBox *box, int column)
{
    const int i = box->findData(column);
    box->setCurrentIndex(i < 0 ? 0 : i);
}

void TfrmBillMapping::SetMapping(const TColumnMapping &mapping)
{
    m_filling = true;
    spnHeaderRow->setValue(mapping.headerRow + 1);
    FillColumns();
    SelectColumn(cboDate, mapping.date);
    SelectColumn(cboAmount, mapping.amount);
    SelectColumn(cboIncome, mapping.income);
    SelectColumn(cboExpense, mapping.expense);
    SelectColumn(cboType, mapping.type);
    SelectColumn(cboCategory, mapping.category);
    SelectColumn(cboExternalId, mapping.externalId);
    const bool separate = mapping.amount < 0 && (mapping.income >= 0 || mapping.expense >= 0);
    optSeparate->setChecked(separate);
    optSigned->setChecked(!separate);
    m_notes = mapping.notes;
    for (int i = 0; i < lstNotes->count(); ++i)
        lstNotes->item(i)->setCheckState(m_notes.contains(i) ? Qt::Checked : Qt::Unchecked);
    if (!m_notes.isEmpty() && m_notes.first() < lstNotes->count())
        lstNotes->scrollToItem(lstNotes->item(m_notes.first()));
    m_filling = false;
    MappingChange();
}

TColumnMapping TfrmBillMapping::Mapping() const
{
    TColumnMapping m;
    m.headerRow = spnHeaderRow->value() - 1;
    m.date = cboDate->currentData().toInt();
    if (optSeparate->isChecked()) {
        m.income = cboIncome->currentData().toInt();
        m.expense = cboExpense->currentData().toInt();
    } else {
        m.amount = cboAmount->currentData().toInt();
    }
    m.type = cboType->currentData().toInt();
    m.category = cboCategory->currentData().toInt();
    m.externalId = cboExternalId->currentData().toInt();
    m.notes = m_notes;
    return m;
}

void TfrmBillMapping::NotesChange(QListWidgetItem *item)
{
    if (m_filling)
        return;
    const int column = lstNotes->row(item);
    m_notes.removeAll(column);
    if (item->checkState() == Qt::Checked)
        m_notes.append(column);
    MappingChange();
}

void TfrmBillMapping::HeaderRowChange()
{
    if (m_filling)
        return;
    FillColumns();
    MappingChange();
}

void TfrmBillMapping::MappingChange()
{
    if (m_filling)
        return;
    const bool separate = optSeparate->isChecked();
    cboAmount->setEnabled(!separate);
    cboIncome->setEnabled(separate);
    cboExpense->setEnabled(separate);
    const TColumnMapping m = Mapping();
    m_model->SetMapping(m);
    bool reads = false;
    if (!m.isValid()) {
        lblResult->setText(separate ? QStringLiteral("请选择日期列，以及收入列或支出列。")
                                    : QStringLiteral("请选择日期列和金额列。"));
    } else {
        // What the mapping reads, so that a wrong column shows before 确定.
        try {
            const TBillFile file = BillReader::ReadMapped(m_table, m);
            const TBillSummary s = BillReader::Summarize(file.lines);
            lblResult->setText(
                QStringLiteral("按此可读出 %1 行：支出 %2 笔，共 %3 元；收入 %4 笔，共 %5 元。")
                    .arg(file.lines.size())
                    .arg(s.count[0])
                    .arg(THi::FormatCents(s.cents[0]))
                    .arg(s.count[1])
                    .arg(THi::FormatCents(s.cents[1])));
            reads = true;
        } catch (const std::exception &e) {
            lblResult->setText(TDialogs::ExceptionText(e));
        }
    }
    SetTextColor(lblResult, reads ? palette().color(QPalette::WindowText) : Maroon());
    btnOk->setEnabled(reads);
}
