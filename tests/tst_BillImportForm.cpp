#include "BillBatchesForm.h"
#include "BillClassesForm.h"
#include "BillImportForm.h"
#include "BillMappingForm.h"
#include "DialogScript.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTreeView>
#include <QtTest>

// The three bill windows on the sample bills, driven through their widgets.
using TestSupport::Child;

using TStatusCounts = QMap<QString, int>;

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(TALLIMO_TEST_FIXTURES "/bills/") + name;
}

TCategoryContext context()
{
    TCategoryContext c;
    c.appClasses = BillRules::DefaultAppClasses();
    c.expenseCategories = {QStringLiteral("餐饮"), QStringLiteral("交通"), QStringLiteral("日用"),
                           QStringLiteral("缴费"), QStringLiteral("其他")};
    c.incomeCategories = {QStringLiteral("工资"), QStringLiteral("红包"), QStringLiteral("其他")};
    return c;
}

// A bill as the account menu will hand it to the preview: read (an app's
// layout, or any other table through the guessed mapping), duplicates
// marked within the file, categories proposed.
TBillFile bill(const QString &name)
{
    const TBillTable table = BillReader::ReadTableFile(fixture(name));
    TBillFile file = BillReader::DetectLayout(table) == BillLayout::Unknown
                         ? BillReader::ReadMapped(table, BillReader::GuessMapping(table))
                         : BillReader::ReadApp(table);
    BillRules::MarkDuplicates(file, TImportedKeys());
    BillRules::ProposeCategories(file.lines, context());
    return file;
}

struct TPreviewWindow {
    explicit TPreviewWindow(const QString &name)
        : file(bill(name)),
          form(nullptr, file, name, context().expenseCategories, context().incomeCategories)
    {
        form.show();
        view = Child<QTreeView>(&form, "lvwLines");
    }
    QAbstractItemModel *model() const { return view->model(); }
    QString text(int row, int column) const
    {
        return model()->index(row, column).data().toString();
    }
    bool ticked(int row) const
    {
        return model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }
    // Space on the row's tick, as a person ticks it from the keyboard.
    void toggle(int row)
    {
        view->setCurrentIndex(model()->index(row, TBillLineModel::ColTick));
        QTest::keyClick(view, Qt::Key_Space);
    }
    int firstRow(const QString &status) const
    {
        for (int r = 0; r < model()->rowCount(); ++r) {
            if (text(r, TBillLineModel::ColStatus) == status)
                return r;
        }
        return -1;
    }
    QString foot(const char *name) const { return Child<QLabel>(&form, name)->text(); }

    TBillFile file;
    TfrmBillImport form;
    QTreeView *view = nullptr;
};

QString sumText(const char *type, int count, const char *amount)
{
    return QStringLiteral("%1 %2 笔，共 %3 元")
        .arg(QString::fromUtf8(type))
        .arg(count)
        .arg(QString::fromLatin1(amount));
}

} // namespace

class TestBillImportForm : public QObject {
    Q_OBJECT

private slots:
    // The preview window
    void sampleLines_data();
    void sampleLines();
    void tickSkippedIn_data();
    void tickSkippedIn();
    void categoryOffersRule_data();
    void categoryOffersRule();
    void importNeedsATick_data();
    void importNeedsATick();
    void chosenLinesAfterImport();
    void showOneGroup();
    void neutralLineType();
    void spaceTicksFromAnyCell();
    void cancelAsksAfterChanges_data();
    void cancelAsksAfterChanges();
    void previewLogic_data();
    void previewLogic();
    void reproposeKeepsHandChoices_data();
    void reproposeKeepsHandChoices();
    void previewAsksForClasses();
    // The app-class table
    void classesListed_data();
    void classesListed();
    void classEdits_data();
    void classEdits();
    // The column mapping
    void mappingOk_data();
    void mappingOk();
    void mappingHeaderRow();
    // Import records
    void batchUndo_data();
    void batchUndo();
};

void TestBillImportForm::sampleLines_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("toImport");
    // Skipped lines by status text, as the status column shows them.
    QTest::addColumn<TStatusCounts>("skipped");
    QTest::addColumn<QString>("expense");
    QTest::addColumn<QString>("income");

    const QString neutral = BillReader::SkipReasonText(SkipReason::Neutral);
    const QString closed = BillReader::SkipReasonText(SkipReason::Closed);
    const QString refunded = BillReader::SkipReasonText(SkipReason::Refunded);
    const QString other = BillReader::SkipReasonText(SkipReason::OtherStatus);
    const QString zero = BillReader::SkipReasonText(SkipReason::ZeroAmount);
    const QString duplicate = BillReader::SkipReasonText(SkipReason::Duplicate);
    QTest::addRow("alipay current")
        << "alipay-current.csv" << 6 << TStatusCounts{{neutral, 1}, {closed, 1}, {refunded, 1},
                                                      {other, 1},   {zero, 1},   {duplicate, 1}}
        << sumText("支出", 4, "262.50") << sumText("收入", 2, "5200.00");
    QTest::addRow("alipay older layout")
        << "alipay-old.csv" << 4 << TStatusCounts{{neutral, 1}, {closed, 1}, {refunded, 1}}
        << sumText("支出", 3, "168.50") << sumText("收入", 1, "300.00");
    QTest::addRow("wechat csv") << "wechat.csv" << 6
                                << TStatusCounts{{neutral, 2}, {refunded, 2}, {duplicate, 1}}
                                << sumText("支出", 4, "593.50") << sumText("收入", 2, "300.00");
    QTest::addRow("wechat workbook")
        << "wechat.xlsx" << 6 << TStatusCounts{{neutral, 2}, {refunded, 2}, {duplicate, 1}}
        << sumText("支出", 4, "593.50") << sumText("收入", 2, "300.00");
    QTest::addRow("bank statement through the guessed mapping")
        << "bank-gbk.csv" << 3 << TStatusCounts{{zero, 1}} << sumText("支出", 2, "155.50")
        << sumText("收入", 1, "6000.00");
}

void TestBillImportForm::sampleLines()
{
    QFETCH(QString, file);
    QFETCH(int, toImport);
    QFETCH(TStatusCounts, skipped);
    QFETCH(QString, expense);
    QFETCH(QString, income);

    TPreviewWindow w(file);
    int total = toImport;
    for (int n : skipped)
        total += n;
    QCOMPARE(w.model()->rowCount(), total);

    TStatusCounts seen;
    int importRows = 0;
    bool skippedSeen = false;
    for (int r = 0; r < total; ++r) {
        const QString status = w.text(r, TBillLineModel::ColStatus);
        if (status == QStringLiteral("导入")) {
            QVERIFY2(!skippedSeen, "a line to import after the skipped ones");
            QVERIFY(w.ticked(r));
            ++importRows;
        } else {
            skippedSeen = true;
            QVERIFY(!w.ticked(r));
            // Each reason's lines stand together.
            QVERIFY2(!seen.contains(status) || w.text(r - 1, TBillLineModel::ColStatus) == status,
                     qPrintable(status));
            ++seen[status];
        }
        QVERIFY(QDate::fromString(w.text(r, TBillLineModel::ColDate), Qt::ISODate).isValid());
        QVERIFY(!w.text(r, TBillLineModel::ColCategory).isEmpty());
        QVERIFY(w.text(r, TBillLineModel::ColAmount).contains(QLatin1Char('.')));
    }
    QCOMPARE(importRows, toImport);
    QCOMPARE(seen, skipped);
    QCOMPARE(w.foot("lblExpense"), expense);
    QCOMPARE(w.foot("lblIncome"), income);
    QVERIFY(w.foot("lblSkipped").contains(QString::number(total - toImport)));
    QVERIFY(Child<QPushButton>(&w.form, "btnImport")->isEnabled());
}

void TestBillImportForm::tickSkippedIn_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<SkipReason>("reason");
    QTest::addColumn<int>("type");
    QTest::addColumn<qint64>("cents");

    QTest::addRow("alipay closed line")
        << "alipay-current.csv" << SkipReason::Closed << 0 << qint64(2600);
    QTest::addRow("alipay duplicate")
        << "alipay-current.csv" << SkipReason::Duplicate << 0 << qint64(3550);
    QTest::addRow("alipay neutral line counts as expense")
        << "alipay-current.csv" << SkipReason::Neutral << 0 << qint64(10000);
    QTest::addRow("wechat refunded in whole")
        << "wechat.csv" << SkipReason::Refunded << 0 << qint64(9900);
}

void TestBillImportForm::tickSkippedIn()
{
    QFETCH(QString, file);
    QFETCH(SkipReason, reason);
    QFETCH(int, type);
    QFETCH(qint64, cents);

    TPreviewWindow w(file);
    const TBillSummary before = w.form.Summary();
    const int row = w.firstRow(BillReader::SkipReasonText(reason));
    QVERIFY(row >= 0);
    w.toggle(row);
    QVERIFY(w.ticked(row));
    const TBillSummary after = w.form.Summary();
    QCOMPARE(after.count[type], before.count[type] + 1);
    QCOMPARE(after.cents[type], before.cents[type] + cents);
    QCOMPARE(after.cents[1 - type], before.cents[1 - type]);
    QCOMPARE(after.skipped.value(reason), before.skipped.value(reason) - 1);
    const char *label = type == 0 ? "lblExpense" : "lblIncome";
    QVERIFY2(w.foot(label).contains(THi::FormatCents(after.cents[type])),
             qPrintable(w.foot(label)));

    // And out again: back to where it was, to the cent.
    w.toggle(row);
    QCOMPARE(w.form.Summary().cents, before.cents);
    QCOMPARE(w.form.Summary().count, before.count);
}

void TestBillImportForm::categoryOffersRule_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("counterparty");
    QTest::addColumn<QString>("category");
    QTest::addColumn<bool>("remember");
    // Other lines that take the category when the rule is remembered.
    QTest::addColumn<int>("followers");

    QTest::addRow("remembered, the duplicate follows") << "wechat.csv"
                                                       << "美团外卖"
                                                       << "外卖" << true << 1;
    QTest::addRow("declined") << "wechat.csv"
                              << "美团外卖"
                              << "外卖" << false << 0;
    QTest::addRow("a new category, alipay") << "alipay-current.csv"
                                            << "滴滴出行"
                                            << "出行" << true << 0;
    QTest::addRow("the same counterparty's neutral line follows") << "alipay-current.csv"
                                                                  << "好邻居超市"
                                                                  << "家居" << true << 1;
}

void TestBillImportForm::categoryOffersRule()
{
    QFETCH(QString, file);
    QFETCH(QString, counterparty);
    QFETCH(QString, category);
    QFETCH(bool, remember);
    QFETCH(int, followers);

    TPreviewWindow w(file);
    int row = -1;
    for (int r = 0; r < w.model()->rowCount() && row < 0; ++r) {
        if (w.text(r, TBillLineModel::ColNotes).startsWith(counterparty))
            row = r;
    }
    QVERIFY(row >= 0);
    auto *btnRemember = Child<QPushButton>(&w.form, "btnRemember");
    QVERIFY(!btnRemember->isEnabled());

    // The category through the cell's own editor, as typed.
    const QModelIndex cell = w.model()->index(row, TBillLineModel::ColCategory);
    w.view->setCurrentIndex(cell);
    w.view->edit(cell);
    auto *box = Child<QComboBox>(w.view, "cboCategory");
    QVERIFY(box->isEditable());
    QVERIFY(box->findText(QStringLiteral("餐饮")) >= 0); // the account's expense categories
    box->lineEdit()->selectAll();
    TestSupport::TypeText(box, category);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    // The delegate commits after the key, through the event loop.
    QTRY_COMPARE(w.text(row, TBillLineModel::ColCategory), category);

    QVERIFY(btnRemember->isEnabled());
    const QString offer = Child<QLabel>(&w.form, "lblRule")->text();
    QVERIFY2(offer.contains(counterparty) && offer.contains(category), qPrintable(offer));
    if (remember)
        QTest::mouseClick(btnRemember, Qt::LeftButton);
    else
        QTest::mouseClick(Child<QPushButton>(&w.form, "btnNoRule"), Qt::LeftButton);
    QVERIFY(!btnRemember->isEnabled());

    const QList<TCategoryRule> rules = w.form.Rules();
    QCOMPARE(rules.size(), remember ? 1 : 0);
    if (remember) {
        QCOMPARE(rules[0].word, counterparty);
        QCOMPARE(rules[0].category, category);
    }
    int others = 0;
    for (int r = 0; r < w.model()->rowCount(); ++r) {
        if (r != row && w.text(r, TBillLineModel::ColNotes).startsWith(counterparty) &&
            w.text(r, TBillLineModel::ColCategory) == category)
            ++others;
    }
    QCOMPARE(others, followers);
}

void TestBillImportForm::importNeedsATick_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("skippedOnly");

    QTest::addRow("every line ticked out by hand") << "wechat.csv" << false;
    QTest::addRow("a bill whose lines were all imported before") << "alipay-old.csv" << true;
}

void TestBillImportForm::importNeedsATick()
{
    QFETCH(QString, file);
    QFETCH(bool, skippedOnly);

    TBillFile f = bill(file);
    if (skippedOnly) {
        TImportedKeys all;
        for (const TBillLine &line : f.lines) {
            all.externalIds.insert(BillRules::ExternalKey(f.source, line.externalId));
            all.contents.insert(BillRules::ContentKey(line));
        }
        BillRules::MarkDuplicates(f, all);
    }
    TfrmBillImport form(nullptr, f, file, {}, {});
    form.show();
    auto *btnImport = Child<QPushButton>(&form, "btnImport");
    auto *view = Child<QTreeView>(&form, "lvwLines");
    for (int r = 0; r < view->model()->rowCount(); ++r) {
        if (view->model()->index(r, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked) {
            QVERIFY(btnImport->isEnabled());
            view->setCurrentIndex(view->model()->index(r, 0));
            QTest::keyClick(view, Qt::Key_Space);
        }
    }
    QVERIFY(!btnImport->isEnabled());
    QCOMPARE(Child<QLabel>(&form, "lblExpense")->text(), sumText("支出", 0, "0.00"));
    QTest::mouseClick(btnImport, Qt::LeftButton);
    QVERIFY(form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QVERIFY(form.ChosenLines().isEmpty());

    // One line back in, and 导入 is there again.
    view->setCurrentIndex(view->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(btnImport->isEnabled());
}

void TestBillImportForm::chosenLinesAfterImport()
{
    TPreviewWindow w(QStringLiteral("alipay-current.csv"));
    const int closed = w.firstRow(BillReader::SkipReasonText(SkipReason::Closed));
    w.toggle(closed);
    const int dropped = 0; // the first line to import, ticked out
    const QString droppedNotes = w.text(dropped, TBillLineModel::ColNotes);
    w.toggle(dropped);
    QVERIFY(w.model()->setData(w.model()->index(1, TBillLineModel::ColCategory),
                               QStringLiteral("出行"), Qt::EditRole));
    const QString changedNotes = w.text(1, TBillLineModel::ColNotes);

    QTest::mouseClick(Child<QPushButton>(&w.form, "btnImport"), Qt::LeftButton);
    QCOMPARE(w.form.result(), int(QDialog::Accepted));
    const QList<TBillLine> chosen = w.form.ChosenLines();
    QCOMPARE(chosen.size(), 6);
    int lastLine = 0;
    bool sawClosed = false, sawChanged = false;
    qint64 cents[2] = {0, 0};
    for (const TBillLine &line : chosen) {
        QVERIFY(line.toImport());
        QVERIFY2(line.lineNumber > lastLine, "not in the file's order");
        lastLine = line.lineNumber;
        QVERIFY(line.notes != droppedNotes);
        sawClosed |= line.status.contains(QStringLiteral("交易关闭"));
        if (line.notes == changedNotes) {
            sawChanged = true;
            QCOMPARE(line.category, QStringLiteral("出行"));
        }
        cents[int(line.type)] += line.cents;
    }
    QVERIFY(sawClosed);
    QVERIFY(sawChanged);
    QCOMPARE(w.form.Summary().cents[0], cents[0]);
    QCOMPARE(w.form.Summary().cents[1], cents[1]);
    QCOMPARE(w.form.Summary().skipped.value(SkipReason::None), 1); // the one ticked out
}

void TestBillImportForm::showOneGroup()
{
    TPreviewWindow w(QStringLiteral("wechat.csv"));
    auto *show = Child<QComboBox>(&w.form, "cboShow");
    const int refunded = show->findData(int(SkipReason::Refunded));
    QVERIFY(refunded > 0);
    QCOMPARE(show->findData(int(SkipReason::Closed)), -1); // no such lines, no such choice
    show->setCurrentIndex(refunded);
    QCOMPARE(w.model()->rowCount(), 2);
    // Ticking one in from the filtered list reaches the foot.
    const qint64 before = w.form.Summary().cents[0];
    w.toggle(0);
    QVERIFY(w.form.Summary().cents[0] > before);
    show->setCurrentIndex(0);
    QCOMPARE(w.model()->rowCount(), 11);
}

void TestBillImportForm::neutralLineType()
{
    // 余额宝's transfer is neither; ticked in, the person says it is income.
    TPreviewWindow w(QStringLiteral("alipay-current.csv"));
    const TBillSummary before = w.form.Summary();
    const int row = w.firstRow(BillReader::SkipReasonText(SkipReason::Neutral));
    QCOMPARE(w.text(row, TBillLineModel::ColType), QStringLiteral("—"));
    w.toggle(row);
    QCOMPARE(w.text(row, TBillLineModel::ColType), QStringLiteral("支出"));
    const QModelIndex cell = w.model()->index(row, TBillLineModel::ColType);
    w.view->setCurrentIndex(cell);
    w.view->edit(cell);
    auto *box = Child<QComboBox>(w.view, "cboType");
    box->setCurrentIndex(1);
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_COMPARE(w.text(row, TBillLineModel::ColType), QStringLiteral("收入"));
    const TBillSummary after = w.form.Summary();
    QCOMPARE(after.count, (std::array<int, 2>{before.count[0], before.count[1] + 1}));
    QCOMPARE(after.cents, (std::array<qint64, 2>{before.cents[0], before.cents[1] + 10000}));
    QVERIFY(w.foot("lblIncome").contains(THi::FormatCents(after.cents[1])));

    // A line the bill calls an expense stays one.
    const QModelIndex fixed = w.model()->index(0, TBillLineModel::ColType);
    QVERIFY(!(w.model()->flags(fixed) & Qt::ItemIsEditable));
    QVERIFY(!w.model()->setData(fixed, int(BillType::Income), Qt::EditRole));
    QCOMPARE(w.form.Summary().cents, after.cents);
}

void TestBillImportForm::spaceTicksFromAnyCell()
{
    TPreviewWindow w(QStringLiteral("wechat.csv"));
    for (int column : {int(TBillLineModel::ColCategory), int(TBillLineModel::ColNotes)}) {
        w.view->setCurrentIndex(w.model()->index(1, column));
        QTest::keyClick(w.view, Qt::Key_Space);
        QVERIFY(!w.ticked(1));
        QTest::keyClick(w.view, Qt::Key_Space);
        QVERIFY(w.ticked(1));
    }
}

void TestBillImportForm::cancelAsksAfterChanges_data()
{
    QTest::addColumn<QString>("change"); // tick, category, or nothing
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("closed");

    QTest::addRow("nothing changed: no question") << "" << false << 0 << true;
    QTest::addRow("a tick, kept") << "tick" << false << 1 << false;
    QTest::addRow("a tick, thrown away") << "tick" << true << 1 << true;
    QTest::addRow("a category, kept") << "category" << false << 1 << false;
}

void TestBillImportForm::cancelAsksAfterChanges()
{
    QFETCH(QString, change);
    QFETCH(bool, answer);
    QFETCH(int, questions);
    QFETCH(bool, closed);

    TPreviewWindow w(QStringLiteral("alipay-old.csv"));
    if (change == u"tick")
        w.toggle(0);
    else if (change == u"category")
        w.model()->setData(w.model()->index(0, TBillLineModel::ColCategory), QStringLiteral("书籍"),
                           Qt::EditRole);
    DialogScript script;
    answer ? script.yes() : script.no();
    for (int way = 0; way < 2 && w.form.isVisible(); ++way) {
        // 取消, then Escape.
        if (way == 0)
            QTest::mouseClick(Child<QPushButton>(&w.form, "btnCancel"), Qt::LeftButton);
        else
            QTest::keyClick(&w.form, Qt::Key_Escape);
        QCOMPARE(script.of(TDialogCall::Question).size(), questions * (way + 1));
        QCOMPARE(!w.form.isVisible(), closed);
        if (questions)
            QVERIFY(script.of(TDialogCall::Question).last().defaultNo);
        script.no();
    }
}

void TestBillImportForm::previewLogic_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("category");
    QTest::addColumn<int>("changed");
    QTest::addColumn<int>("rules");

    QTest::addRow("a word in the goods") << "外卖"
                                         << "外卖" << 2 << 1;
    QTest::addRow("case does not matter") << "KFC"
                                          << "快餐" << 1 << 1;
    QTest::addRow("an empty word makes no rule") << " "
                                                 << "快餐" << 0 << 0;
    QTest::addRow("an empty category makes no rule") << "KFC"
                                                     << "" << 0 << 0;
}

void TestBillImportForm::previewLogic()
{
    QFETCH(QString, word);
    QFETCH(QString, category);
    QFETCH(int, changed);
    QFETCH(int, rules);

    auto line = [](const char *party, const char *goods, BillType type, SkipReason skip) {
        TBillLine l;
        l.counterparty = QString::fromUtf8(party);
        l.goods = QString::fromUtf8(goods);
        l.type = type;
        l.skip = skip;
        l.cents = 100;
        l.category = QStringLiteral("其他");
        return l;
    };
    TBillPreview p({line("美团", "外卖订单", BillType::Expense, SkipReason::None),
                    line("kfc 小店", "午餐", BillType::Expense, SkipReason::None),
                    line("美团", "外卖退款", BillType::Income, SkipReason::None),
                    line("饿了么", "外卖", BillType::Expense, SkipReason::Closed),
                    line("好邻居", "外卖袋", BillType::Expense, SkipReason::None)});
    // The line chosen by hand keeps its category whatever rule comes later.
    QVERIFY(p.SetCategory(4, QStringLiteral("日用")));
    QVERIFY(!p.SetCategory(4, QStringLiteral("日用")));
    QVERIFY(!p.SetCategory(4, QStringLiteral("  ")));
    QVERIFY(p.IsEdited(4));
    QCOMPARE(p.AddRule(word, category, BillType::Expense).size(), changed);
    QCOMPARE(p.Rules().size(), rules);
    QCOMPARE(p.Line(4).category, QStringLiteral("日用"));
    // The income line of the same counterparty is never an expense rule's.
    for (int r = 0; r < p.Count(); ++r) {
        if (p.Line(r).type == BillType::Income)
            QCOMPARE(p.Line(r).category, QStringLiteral("其他"));
    }
    // A second rule for the same word replaces the first.
    if (rules > 0) {
        p.AddRule(word.toLower(), QStringLiteral("新类别"), BillType::Expense);
        QCOMPARE(p.Rules().size(), 1);
        QCOMPARE(p.Rules()[0].category, QStringLiteral("新类别"));
    }
}

void TestBillImportForm::reproposeKeepsHandChoices_data()
{
    QTest::addColumn<QString>("mapped"); // 交通出行 becomes
    QTest::addColumn<QString>("hand");   // the taxi line's category chosen by hand
    QTest::addColumn<QString>("rule");   // a rule for 滴滴 made in the window
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("changed");

    QTest::addRow("a class changed") << "缴费"
                                     << ""
                                     << ""
                                     << "缴费" << 1;
    QTest::addRow("a hand-chosen category stays") << "缴费"
                                                  << "日用"
                                                  << ""
                                                  << "日用" << 0;
    QTest::addRow("a rule of this window stays") << "缴费"
                                                 << ""
                                                 << "打车"
                                                 << "打车" << 0;
    QTest::addRow("a category the account lacks") << "出游"
                                                  << ""
                                                  << ""
                                                  << "其他" << 1;
    QTest::addRow("the table unchanged") << "交通"
                                         << ""
                                         << ""
                                         << "交通" << 0;
}

void TestBillImportForm::reproposeKeepsHandChoices()
{
    QFETCH(QString, mapped);
    QFETCH(QString, hand);
    QFETCH(QString, rule);
    QFETCH(QString, expected);
    QFETCH(int, changed);

    auto line = [](const char *party, const char *appClass) {
        TBillLine l;
        l.counterparty = QString::fromUtf8(party);
        l.appCategory = QString::fromUtf8(appClass);
        l.type = BillType::Expense;
        l.cents = 100;
        return l;
    };
    QList<TBillLine> lines{line("滴滴出行", "交通出行"), line("美团外卖", "餐饮美食")};
    BillRules::ProposeCategories(lines, context());
    TBillPreview p(lines);
    QCOMPARE(p.Line(0).category, QStringLiteral("交通"));
    if (!hand.isEmpty())
        QVERIFY(p.SetCategory(0, hand));
    if (!rule.isEmpty())
        QCOMPARE(p.AddRule(QStringLiteral("滴滴"), rule, BillType::Expense).size(), 1);

    TCategoryContext c = context();
    c.appClasses.insert(QStringLiteral("交通出行"), mapped);
    QCOMPARE(p.Repropose(c).size(), changed);
    QCOMPARE(p.Line(0).category, expected);
    QCOMPARE(p.Line(1).category, QStringLiteral("餐饮"));
}

void TestBillImportForm::previewAsksForClasses()
{
    TPreviewWindow w(QStringLiteral("alipay-current.csv"));
    auto *btnClasses = Child<QPushButton>(&w.form, "btnClasses");
    // No editor given: nothing to offer.
    QVERIFY(btnClasses->isHidden());

    int asked = 0;
    std::optional<TCategoryContext> answer; // the editor cancelled
    w.form.SetClassEditor([&] {
        ++asked;
        return answer;
    });
    QVERIFY(!btnClasses->isHidden());
    int taxi = -1;
    for (int r = 0; r < w.model()->rowCount() && taxi < 0; ++r) {
        if (w.text(r, TBillLineModel::ColNotes).startsWith(QStringLiteral("滴滴出行")))
            taxi = r;
    }
    QVERIFY(taxi >= 0);
    QCOMPARE(w.text(taxi, TBillLineModel::ColCategory), QStringLiteral("交通"));
    QTest::mouseClick(btnClasses, Qt::LeftButton);
    QCOMPARE(asked, 1);
    QCOMPARE(w.text(taxi, TBillLineModel::ColCategory), QStringLiteral("交通"));

    answer = context();
    answer->appClasses.insert(QStringLiteral("交通出行"), QStringLiteral("缴费"));
    QTest::mouseClick(btnClasses, Qt::LeftButton);
    QCOMPARE(asked, 2);
    QCOMPARE(w.text(taxi, TBillLineModel::ColCategory), QStringLiteral("缴费"));
    QCOMPARE(w.form.ChosenLines().size(), w.form.Summary().count[0] + w.form.Summary().count[1]);
}

namespace {

// The tables as the account menu gives them: the account has moved 交通出行
// and added a class of its own for Alipay; WeChat is as built in.
QMap<QString, QHash<QString, QString>> classTables()
{
    QHash<QString, QString> alipay = BillRules::DefaultAppClasses();
    alipay.insert(QStringLiteral("交通出行"), QStringLiteral("出行"));
    alipay.insert(QStringLiteral("自家分类"), QStringLiteral("杂项"));
    return {{QStringLiteral("alipay"), alipay},
            {QStringLiteral("wechat"), BillRules::DefaultAppClasses()}};
}

int classRow(QAbstractItemModel *model, const QString &appClass)
{
    for (int r = 0; r < model->rowCount(); ++r) {
        if (model->index(r, TfrmBillClasses::ColClass).data().toString() == appClass)
            return r;
    }
    return -1;
}

} // namespace

void TestBillImportForm::classesListed_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("appClass");
    QTest::addColumn<QString>("category");
    QTest::addColumn<bool>("own");

    QTest::addRow("a built-in class") << "alipay"
                                      << "餐饮美食"
                                      << "餐饮" << false;
    QTest::addRow("a moved class") << "alipay"
                                   << "交通出行"
                                   << "出行" << true;
    QTest::addRow("the account's own class") << "alipay"
                                             << "自家分类"
                                             << "杂项" << true;
    QTest::addRow("the other app as built in") << "wechat"
                                               << "交通出行"
                                               << "交通" << false;
}

void TestBillImportForm::classesListed()
{
    QFETCH(QString, source);
    QFETCH(QString, appClass);
    QFETCH(QString, category);
    QFETCH(bool, own);

    TfrmBillClasses form(nullptr, classTables(), BillRules::DefaultAppClasses(),
                         context().expenseCategories, context().incomeCategories, source);
    form.show();
    QCOMPARE(form.Source(), source);
    auto *view = Child<QTreeView>(&form, "lvwClasses");
    QAbstractItemModel *model = view->model();
    // Every built-in class is there, whatever the account has.
    const QHash<QString, QString> builtIn = BillRules::DefaultAppClasses();
    for (auto it = builtIn.cbegin(); it != builtIn.cend(); ++it)
        QVERIFY2(classRow(model, it.key()) >= 0, qPrintable(it.key()));
    QCOMPARE(model->rowCount(), int(builtIn.size()) + (source == u"alipay" ? 1 : 0));

    const int row = classRow(model, appClass);
    QVERIFY(row >= 0);
    const QModelIndex cell = model->index(row, TfrmBillClasses::ColCategory);
    QCOMPARE(cell.data(TfrmBillClasses::CategoryRole).toString(), category);
    QCOMPARE(cell.data(TfrmBillClasses::OwnRole).toBool(), own);
    // The built-in ones say so.
    QCOMPARE(cell.data().toString().contains(TfrmBillClasses::DefaultText()), !own);
    view->setCurrentIndex(cell);
    QCOMPARE(Child<QPushButton>(&form, "btnDefault")->isEnabled(), own);
    QVERIFY(form.Changes().isEmpty());
}

void TestBillImportForm::classEdits_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("appClass");
    QTest::addColumn<bool>("byButton"); // 恢复默认 rather than typing
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("changed"); // "" : no change; "-": back to the built-in

    QTest::addRow("a class moved") << "alipay"
                                   << "餐饮美食" << false << "外食"
                                   << "外食";
    QTest::addRow("恢复默认") << "alipay"
                              << "交通出行" << true << ""
                              << "-";
    QTest::addRow("a cleared cell") << "alipay"
                                    << "交通出行" << false << ""
                                    << "-";
    QTest::addRow("the built-in name typed") << "alipay"
                                             << "交通出行" << false << "交通"
                                             << "-";
    QTest::addRow("the account's own class dropped") << "alipay"
                                                     << "自家分类" << true << ""
                                                     << "-";
    QTest::addRow("the same name again") << "alipay"
                                         << "餐饮美食" << false << "餐饮"
                                         << "";
    QTest::addRow("WeChat") << "wechat"
                            << "转账" << false << "借还款"
                            << "借还款";
}

void TestBillImportForm::classEdits()
{
    QFETCH(QString, source);
    QFETCH(QString, appClass);
    QFETCH(bool, byButton);
    QFETCH(QString, typed);
    QFETCH(QString, changed);

    // Opened on the other source and switched, as a person would.
    TfrmBillClasses form(nullptr, classTables(), BillRules::DefaultAppClasses(),
                         context().expenseCategories, context().incomeCategories,
                         source == u"alipay" ? QStringLiteral("wechat") : QStringLiteral("alipay"));
    form.show();
    auto *cboSource = Child<QComboBox>(&form, "cboSource");
    cboSource->setCurrentIndex(cboSource->findData(source));
    QCOMPARE(form.Source(), source);
    auto *view = Child<QTreeView>(&form, "lvwClasses");
    const int row = classRow(view->model(), appClass);
    QVERIFY(row >= 0);
    const QModelIndex cell = view->model()->index(row, TfrmBillClasses::ColCategory);
    view->setCurrentIndex(cell);
    if (byButton) {
        QTest::mouseClick(Child<QPushButton>(&form, "btnDefault"), Qt::LeftButton);
    } else {
        view->edit(cell);
        auto *box = Child<QComboBox>(view, "cboCategory");
        QVERIFY(box->findText(QStringLiteral("工资")) >= 0); // income categories offered too
        box->lineEdit()->selectAll();
        QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
        TestSupport::TypeText(box, typed);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QTRY_VERIFY(!view->findChild<QComboBox *>(QStringLiteral("cboCategory")));
    }

    const QList<TAppClassChange> changes = form.Changes();
    if (changed.isEmpty()) {
        QVERIFY(changes.isEmpty());
        return;
    }
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes[0].source, source);
    QCOMPARE(changes[0].appClass, appClass);
    QCOMPARE(changes[0].category, changed == u"-" ? QString() : changed);
    // Switching away and back keeps the edit.
    cboSource->setCurrentIndex(1 - cboSource->currentIndex());
    cboSource->setCurrentIndex(1 - cboSource->currentIndex());
    QCOMPARE(form.Changes().size(), 1);
    const int again = classRow(view->model(), appClass);
    if (changed == u"-" && !BillRules::DefaultAppClasses().contains(appClass)) {
        QCOMPARE(again, -1); // an own class gone back to nothing leaves the list
        return;
    }
    const QModelIndex shown = view->model()->index(again, TfrmBillClasses::ColCategory);
    QCOMPARE(shown.data(TfrmBillClasses::OwnRole).toBool(), changed != u"-");
    QCOMPARE(shown.data(TfrmBillClasses::CategoryRole).toString(),
             changed == u"-" ? BillRules::DefaultAppClasses().value(appClass) : changed);
}

void TestBillImportForm::mappingOk_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("control"); // a combo set to （无）, or the amount kind switched
    QTest::addColumn<bool>("ok");

    QTest::addRow("the guess as it stands") << "bank-gbk.csv"
                                            << "" << true;
    QTest::addRow("no date") << "bank-gbk.csv"
                             << "cboDate" << false;
    QTest::addRow("no income column, the expense one is enough") << "bank-gbk.csv"
                                                                 << "cboIncome" << true;
    QTest::addRow("switched to one amount column, none chosen") << "bank-gbk.csv"
                                                                << "optSigned" << false;
    QTest::addRow("no external id") << "bank-gbk.csv"
                                    << "cboExternalId" << true;
    QTest::addRow("signed amounts, as guessed") << "bank-semicolon.csv"
                                                << "" << true;
    QTest::addRow("signed amounts, none") << "bank-semicolon.csv"
                                          << "cboAmount" << false;
    QTest::addRow("tabs and a type column") << "bank-utf16.csv"
                                            << "" << true;
}

void TestBillImportForm::mappingOk()
{
    QFETCH(QString, file);
    QFETCH(QString, control);
    QFETCH(bool, ok);

    const TBillTable table = BillReader::ReadTableFile(fixture(file));
    const TColumnMapping guess = BillReader::GuessMapping(table);
    TfrmBillMapping form(nullptr, table, file);
    form.show();
    QCOMPARE(form.Mapping(), guess);
    QVERIFY(Child<QLabel>(&form, "lblEncoding")
                ->text()
                .contains(TfrmBillMapping::EncodingName(table.encoding)));
    if (control.startsWith(QLatin1String("opt")))
        QTest::mouseClick(Child<QRadioButton>(&form, control), Qt::LeftButton);
    else if (!control.isEmpty())
        Child<QComboBox>(&form, control)->setCurrentIndex(0);

    auto *btnOk = Child<QPushButton>(&form, "btnOk");
    const TColumnMapping m = form.Mapping();
    QCOMPARE(btnOk->isEnabled(), ok);
    QCOMPARE(m.isValid(), ok);
    QTest::mouseClick(btnOk, Qt::LeftButton);
    QCOMPARE(form.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
    if (ok) {
        QCOMPARE(form.Mapping(), m);
        // What the caller reads with it is what the window said it reads.
        const TBillFile read = BillReader::ReadMapped(table, form.Mapping());
        QVERIFY(Child<QLabel>(&form, "lblResult")
                    ->text()
                    .contains(QStringLiteral("读出 %1 行").arg(read.lines.size())));
    }
}

void TestBillImportForm::mappingHeaderRow()
{
    // The header a row lower: the columns keep their choice, their names
    // follow the new row, and the first data row no longer reads as a date.
    const TBillTable table = BillReader::ReadTableFile(fixture(QStringLiteral("bank-gbk.csv")));
    TfrmBillMapping form(nullptr, table, QStringLiteral("bank-gbk.csv"));
    form.show();
    const TColumnMapping guess = form.Mapping();
    auto *row = Child<QSpinBox>(&form, "spnHeaderRow");
    QCOMPARE(row->value(), guess.headerRow + 1);
    row->setValue(row->value() + 1);
    TColumnMapping expected = guess;
    expected.headerRow += 1;
    QCOMPARE(form.Mapping(), expected);
    QVERIFY(!Child<QComboBox>(&form, "cboDate")->currentText().contains(QStringLiteral("日期")));
    row->setValue(row->value() - 1);
    QCOMPARE(form.Mapping(), guess);
    QVERIFY(Child<QPushButton>(&form, "btnOk")->isEnabled());
}

void TestBillImportForm::batchUndo_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<qint64>("undone"); // 0: nothing
    QTest::addColumn<bool>("alsoEdited");
    QTest::addColumn<int>("questions");

    QTest::addRow("confirmed") << 0 << QList<bool>{true} << qint64(12) << false << 1;
    QTest::addRow("declined") << 0 << QList<bool>{false} << qint64(0) << false << 1;
    QTest::addRow("edited records go too")
        << 1 << QList<bool>{true, true} << qint64(7) << true << 2;
    QTest::addRow("edited records stay")
        << 1 << QList<bool>{true, false} << qint64(7) << false << 2;
    QTest::addRow("nothing left to undo") << 2 << QList<bool>{} << qint64(0) << false << 0;
}

void TestBillImportForm::batchUndo()
{
    QFETCH(int, row);
    QFETCH(QList<bool>, answers);
    QFETCH(qint64, undone);
    QFETCH(bool, alsoEdited);
    QFETCH(int, questions);

    const QDateTime t(QDate(2026, 12, 1), QTime(9, 30));
    TBillBatchRow a{12,
                    t,
                    QStringLiteral("支付宝交易明细(20261101-20261130).csv"),
                    QStringLiteral("alipay"),
                    6,
                    26250,
                    520000,
                    6,
                    0};
    TBillBatchRow b{7,
                    t.addDays(-30),
                    QStringLiteral("微信支付账单.xlsx"),
                    QStringLiteral("wechat"),
                    6,
                    59350,
                    30000,
                    5,
                    2};
    TBillBatchRow c{3,
                    t.addDays(-60),
                    QStringLiteral("bank.csv"),
                    QStringLiteral("csv:ab"),
                    3,
                    15550,
                    600000,
                    0,
                    0};
    DialogScript script;
    for (bool yes : answers)
        yes ? script.yes() : script.no();
    TfrmBillBatches form(nullptr, {a, b, c});
    form.show();
    QSignalSpy spy(&form, &TfrmBillBatches::undoRequested);
    auto *view = Child<QTreeView>(&form, "lvwBatches");
    QCOMPARE(view->model()->rowCount(), 3);
    view->setCurrentIndex(view->model()->index(row, 0));
    auto *btnUndo = Child<QPushButton>(&form, "btnUndo");
    QCOMPARE(btnUndo->isEnabled(), row != 2);
    QTest::mouseClick(btnUndo, Qt::LeftButton);

    QCOMPARE(script.of(TDialogCall::Question).size(), questions);
    for (const TDialogCall &call : script.of(TDialogCall::Question))
        QVERIFY(call.defaultNo);
    QCOMPARE(form.UndoBatch(), undone);
    QCOMPARE(form.AlsoEdited(), alsoEdited);
    QCOMPARE(form.result(), undone ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(spy.size(), undone ? 1 : 0);
    if (undone) {
        QCOMPARE(spy[0][0].toLongLong(), undone);
        QCOMPARE(spy[0][1].toBool(), alsoEdited);
    }
}

QTEST_MAIN(TestBillImportForm)
#include "tst_BillImportForm.moc"
