#include "HiClass.h"
#include "TestSupport.h"
#include "YearExport.h"
#include "YearTable.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

// The year at a glance against the store's period query, on a data file and
// (as tst_YearTable_pg) on PostgreSQL; then its CSV, workbook, page and
// printed report.
class TestYearTable : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void figuresMatchThePeriodQuery();
    void cells_data();
    void cells();
    void rowOrder();
    void lastYearsMonths();
    void emptyYear();
    void csvExactly();
    void csvFileIsDefusedWithByteOrderMark();
    void workbookHasNumbersAndFormulas();
    void pageEscapesTexts();
    void reportHasEveryLine();
    void reportAmountsDoNotTouch();

private:
    TYearTable table(int year = 2026) { return MakeYearTable(*m_db, Li, year); }

    const QString Li = QStringLiteral("小李");
    std::unique_ptr<TestSupport::DataFile> m_data;
    std::unique_ptr<TDbMan> m_db;
};

namespace {

const QString Out = TypeExpense();
const QString In = TypeIncome();
const QString Rent = QStringLiteral("房租,\"老房\"");

// The line named name (a category or a total line's name).
const TYearLine *lineNamed(const QList<TYearLine> &lines, const QString &name)
{
    for (const TYearLine &l : lines) {
        if (l.Name == name)
            return &l;
    }
    return nullptr;
}

// One CSV line: type, the name as written, the twelve months (empty unless
// given) and the year.
QString csvLine(const QString &type, const QString &name, const QMap<int, QString> &months,
                const QString &year)
{
    QStringList f{type, name};
    for (int m = 1; m <= 12; ++m)
        f << months.value(m);
    f << year;
    return f.join(QLatin1Char(',')) + QLatin1Char('\n');
}

// Every cell of the first sheet: "C2" -> "n|12.5|" or "n|42.8|SUM(C2:N2)" or "s|text|".
QMap<QString, QString> sheet(const QString &xlsx)
{
    const auto unzip = [&xlsx](const QString &member) {
        QProcess p;
        p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), xlsx, member});
        p.waitForFinished(30000);
        return p.readAllStandardOutput();
    };
    QStringList shared;
    {
        QXmlStreamReader x(unzip(QStringLiteral("xl/sharedStrings.xml")));
        while (!x.atEnd())
            if (x.readNext() == QXmlStreamReader::StartElement && x.name() == u"si")
                shared.append(x.readElementText(QXmlStreamReader::IncludeChildElements));
    }
    QMap<QString, QString> cells;
    QXmlStreamReader x(unzip(QStringLiteral("xl/worksheets/sheet1.xml")));
    while (!x.atEnd()) {
        if (x.readNext() != QXmlStreamReader::StartElement || x.name() != u"c")
            continue;
        const QString ref = x.attributes().value(QStringLiteral("r")).toString();
        const QString type = x.attributes().value(QStringLiteral("t")).toString();
        QString value, formula;
        while (!(x.readNext() == QXmlStreamReader::EndElement && x.name() == u"c") && !x.atEnd()) {
            if (x.tokenType() != QXmlStreamReader::StartElement)
                continue;
            if (x.name() == u"v" || x.name() == u"t")
                value = x.readElementText();
            else if (x.name() == u"f")
                formula = x.readElementText();
        }
        if (type == u"s")
            value = shared.value(value.toInt());
        const bool text = type == u"s" || type == u"inlineStr" || type == u"str";
        cells.insert(
            ref, QStringList{text ? QStringLiteral("s") : QStringLiteral("n"), value, formula}.join(
                     QLatin1Char('|')));
    }
    return cells;
}

} // namespace

void TestYearTable::init()
{
    QString error;
    const QString pgUrl = TestSupport::PgTestUrl(&error);
    if (!error.isEmpty())
        QFAIL(qPrintable(error));
    m_data = pgUrl.isEmpty() ? std::make_unique<TestSupport::DataFile>()
                             : std::make_unique<TestSupport::DataFile>(pgUrl);
    m_db = std::make_unique<TDbMan>(m_data->path());
    m_db->AddUser(Li, QStringLiteral("1234"));
    m_db->AddUser(QStringLiteral("小王"), QStringLiteral("1234"));
    const struct {
        const char *date;
        QString type, cate;
        qint64 cents;
    } records[] = {
        {"2025-03-01", In, QStringLiteral("工资"), 300000},
        {"2025-12-15", Out, QStringLiteral("餐饮"), 10000},
        {"2026-01-01", Out, QStringLiteral("餐饮"), 1250},
        {"2026-01-20", Out, QStringLiteral("餐饮"), 10},
        {"2026-01-21", Out, QStringLiteral("餐饮"), 20},
        {"2026-01-25", In, QStringLiteral("工资"), 500000},
        {"2026-02-10", Out, QStringLiteral("交通"), 500},
        {"2026-03-05", Out, QStringLiteral("书籍"), 1234},
        {"2026-03-31", Out, QStringLiteral("餐饮"), 3000},
        {"2026-05-01", In, QStringLiteral("奖金"), 80000},
        {"2026-12-31", Out, Rent, 150000},
        {"2027-01-01", Out, QStringLiteral("餐饮"), 9900},
    };
    for (const auto &r : records)
        m_db->AddRecord(Li, QLatin1String(r.date), r.type, r.cate, r.cents, QString());
    m_db->AddRecord(QStringLiteral("小王"), QStringLiteral("2026-01-05"), Out,
                    QStringLiteral("餐饮"), 7700, QString());
}

void TestYearTable::cleanup()
{
    m_db.reset();
    m_data.reset();
}

void TestYearTable::figuresMatchThePeriodQuery()
{
    const TYearTable t = table();
    // Every category's month, and every month's totals, as the period query
    // of that month has them.
    for (int m = 0; m < 12; ++m) {
        const TPeriod p =
            m_db->QueryPeriod(Li, THi::DateToYmd(t.First(m)), THi::DateToYmd(t.Last(m)));
        QCOMPARE(t.OutTotals.Cents[size_t(m)], p.OutCents);
        QCOMPARE(t.InTotals.Cents[size_t(m)], p.InCents);
        for (const auto *rows : {&t.OutRows, &t.InRows}) {
            for (const TYearRow &row : *rows) {
                const TRankRows &ranks = row.Type == In ? p.InCateRows : p.OutCateRows;
                qint64 cents = 0, count = 0;
                for (const TRankRow &rank : ranks) {
                    if (rank.Cate == row.Cate) {
                        cents = rank.Cents;
                        count = rank.Count;
                    }
                }
                QCOMPARE(row.Cents[size_t(m)], cents);
                QCOMPARE(row.Count[size_t(m)], count);
            }
        }
    }
    // And the year's: its ranking and totals.
    const TPeriod year =
        m_db->QueryPeriod(Li, QStringLiteral("2026-01-01"), QStringLiteral("2026-12-31"));
    QCOMPARE(t.OutTotals.TotalCents, year.OutCents);
    QCOMPARE(t.InTotals.TotalCents, year.InCents);
    QCOMPARE(t.OutRows.size(), year.OutCateRows.size());
    QCOMPARE(t.InRows.size(), year.InCateRows.size());
    // The lines are kept while the pointers into them are read.
    const QList<TYearLine> lines = t.Lines();
    for (const TRankRow &rank : year.OutCateRows + year.InCateRows) {
        const TYearLine *line = lineNamed(lines, rank.Cate);
        QVERIFY2(line, qPrintable(rank.Cate));
        QCOMPARE(line->Cents[12].value_or(-1), rank.Cents);
    }
}

void TestYearTable::cells_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");

    QTest::addRow("cents added exactly (12.50 + 0.10 + 0.20)")
        << QStringLiteral("餐饮") << int(YearJan) << QStringLiteral("12.80");
    QTest::addRow("first day of the year counts")
        << QStringLiteral("支出合计") << int(YearJan) << QStringLiteral("12.80");
    QTest::addRow("last day of a month counts")
        << QStringLiteral("餐饮") << YearJan + 2 << QStringLiteral("30.00");
    QTest::addRow("last day of the year counts")
        << Rent << int(YearDec) << QStringLiteral("1500.00");
    QTest::addRow("category in one month only: that month")
        << QStringLiteral("书籍") << YearJan + 2 << QStringLiteral("12.34");
    QTest::addRow("category in one month only: another month is empty")
        << QStringLiteral("书籍") << YearJan + 3 << QString();
    QTest::addRow("category in one month only: its year")
        << QStringLiteral("书籍") << int(YearTotal) << QStringLiteral("12.34");
    QTest::addRow("empty month: expense total")
        << QStringLiteral("支出合计") << YearJan + 5 << QString();
    QTest::addRow("empty month: income total")
        << QStringLiteral("收入合计") << YearJan + 5 << QString();
    QTest::addRow("empty month: balance") << QStringLiteral("结余") << YearJan + 5 << QString();
    QTest::addRow("a month of expenses only: income total empty")
        << QStringLiteral("收入合计") << YearJan + 1 << QString();
    QTest::addRow("a month of expenses only: negative balance")
        << QStringLiteral("结余") << YearJan + 1 << QStringLiteral("-5.00");
    QTest::addRow("a month of income only: balance")
        << QStringLiteral("结余") << YearJan + 4 << QStringLiteral("800.00");
    QTest::addRow("other account and next year left out")
        << QStringLiteral("餐饮") << int(YearTotal) << QStringLiteral("42.80");
    QTest::addRow("expense total of the year")
        << QStringLiteral("支出合计") << int(YearTotal) << QStringLiteral("1560.14");
    QTest::addRow("balance of the year")
        << QStringLiteral("结余") << int(YearTotal) << QStringLiteral("4239.86");
    QTest::addRow("type column of a category") << QStringLiteral("工资") << int(YearType) << In;
    QTest::addRow("type column of a total line")
        << QStringLiteral("收入合计") << int(YearType) << QString();
}

void TestYearTable::cells()
{
    QFETCH(QString, line);
    QFETCH(int, column);
    QFETCH(QString, text);
    const QList<TYearLine> lines = table().Lines();
    const TYearLine *l = lineNamed(lines, line);
    QVERIFY(l);
    QCOMPARE(l->Text(column), text);
}

void TestYearTable::rowOrder()
{
    QStringList names;
    for (const TYearLine &l : table().Lines())
        names << l.Type + QLatin1Char('/') + l.Name;
    QCOMPARE(names, (QStringList{Out + QLatin1Char('/') + Rent, QStringLiteral("支出/餐饮"),
                                 QStringLiteral("支出/书籍"), QStringLiteral("支出/交通"),
                                 QStringLiteral("收入/工资"), QStringLiteral("收入/奖金"),
                                 QStringLiteral("/支出合计"), QStringLiteral("/收入合计"),
                                 QStringLiteral("/结余")}));
}

void TestYearTable::lastYearsMonths()
{
    const TYearTable t = table();
    std::array<qint64, 12> out{}, in{};
    out[11] = 10000;
    in[2] = 300000;
    QCOMPARE(t.LastOutCents, out);
    QCOMPARE(t.LastInCents, in);
    // The year before has none of its own year before.
    QCOMPARE(table(2025).LastOutCents, (std::array<qint64, 12>{}));
}

void TestYearTable::emptyYear()
{
    const TYearTable t = table(2020);
    QVERIFY(t.IsEmpty());
    const QList<TYearLine> lines = t.Lines();
    QCOMPARE(lines.size(), 3);
    for (const TYearLine &l : lines) {
        for (int c = YearJan; c <= YearTotal; ++c)
            QCOMPARE(l.Text(c), QString());
    }
}

void TestYearTable::csvExactly()
{
    const QString none;
    const QString expected =
        TYearTable::ColumnNames().join(QLatin1Char(',')) + QLatin1Char('\n') +
        csvLine(Out, QStringLiteral("\"房租,\"\"老房\"\"\""), {{12, QStringLiteral("1500.00")}},
                QStringLiteral("1500.00")) +
        csvLine(Out, QStringLiteral("餐饮"),
                {{1, QStringLiteral("12.80")}, {3, QStringLiteral("30.00")}},
                QStringLiteral("42.80")) +
        csvLine(Out, QStringLiteral("书籍"), {{3, QStringLiteral("12.34")}},
                QStringLiteral("12.34")) +
        csvLine(Out, QStringLiteral("交通"), {{2, QStringLiteral("5.00")}},
                QStringLiteral("5.00")) +
        csvLine(In, QStringLiteral("工资"), {{1, QStringLiteral("5000.00")}},
                QStringLiteral("5000.00")) +
        csvLine(In, QStringLiteral("奖金"), {{5, QStringLiteral("800.00")}},
                QStringLiteral("800.00")) +
        csvLine(none, QStringLiteral("支出合计"),
                {{1, QStringLiteral("12.80")},
                 {2, QStringLiteral("5.00")},
                 {3, QStringLiteral("42.34")},
                 {12, QStringLiteral("1500.00")}},
                QStringLiteral("1560.14")) +
        csvLine(none, QStringLiteral("收入合计"),
                {{1, QStringLiteral("5000.00")}, {5, QStringLiteral("800.00")}},
                QStringLiteral("5800.00")) +
        csvLine(none, QStringLiteral("结余"),
                {{1, QStringLiteral("4987.20")},
                 {2, QStringLiteral("-5.00")},
                 {3, QStringLiteral("-42.34")},
                 {5, QStringLiteral("800.00")},
                 {12, QStringLiteral("-1500.00")}},
                QStringLiteral("4239.86"));
    QCOMPARE(YearExport::Csv(table()), expected);
    QVERIFY(expected.startsWith(
        QStringLiteral("类型,项目,1月,2月,3月,4月,5月,6月,7月,8月,9月,10月,11月,12月,全年\n")));
}

void TestYearTable::csvFileIsDefusedWithByteOrderMark()
{
    m_db->AddRecord(Li, QStringLiteral("2026-07-01"), Out, QStringLiteral("=1+1"), 100, QString());
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    YearExport::WriteCsv(buf, table());
    const QByteArray bytes = buf.data();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    QVERIFY(text.contains(QStringLiteral("\r\n支出,'=1+1,")));
    QVERIFY(!text.contains(QStringLiteral(",=1+1")));
    // Apart from the line ends and the defused name, the command line's rows.
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QStringLiteral("'=1+1"), QStringLiteral("=1+1"));
    QCOMPARE(plain, YearExport::Csv(table()));
}

void TestYearTable::workbookHasNumbersAndFormulas()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("2026.xlsx"));
    YearExport::SaveXlsx(file, table());
    const QMap<QString, QString> cells = sheet(file);
    QVERIFY2(!cells.isEmpty(), "unzip could not read the workbook");

    // Rows: 1 header, 2-5 expense categories, 6-7 incomes, 8 支出合计, 9 收入合计, 10 结余.
    QCOMPARE(cells.value(QStringLiteral("A1")), QStringLiteral("s|类型|"));
    QCOMPARE(cells.value(QStringLiteral("O1")), QStringLiteral("s|全年|"));
    QCOMPARE(cells.value(QStringLiteral("B2")), QStringLiteral("s|") + Rent + QLatin1Char('|'));
    QCOMPARE(cells.value(QStringLiteral("C3")), QStringLiteral("n|12.8|"));
    QCOMPARE(cells.value(QStringLiteral("E3")), QStringLiteral("n|30|"));
    QVERIFY2(!cells.contains(QStringLiteral("D3")), "a month without records stays empty");
    QCOMPARE(cells.value(QStringLiteral("O3")), QStringLiteral("n|42.8|SUM(C3:N3)"));
    QCOMPARE(cells.value(QStringLiteral("B8")), QStringLiteral("s|支出合计|"));
    QCOMPARE(cells.value(QStringLiteral("C8")), QStringLiteral("n|12.8|SUM(C2:C5)"));
    QCOMPARE(cells.value(QStringLiteral("O8")), QStringLiteral("n|1560.14|SUM(O2:O5)"));
    QCOMPARE(cells.value(QStringLiteral("C9")), QStringLiteral("n|5000|SUM(C6:C7)"));
    QVERIFY(!cells.contains(QStringLiteral("D9")));
    QCOMPARE(cells.value(QStringLiteral("D10")), QStringLiteral("n|-5|D9-D8"));
    QCOMPARE(cells.value(QStringLiteral("O10")), QStringLiteral("n|4239.86|O9-O8"));
    QVERIFY(!cells.contains(QStringLiteral("H10")));
}

void TestYearTable::pageEscapesTexts()
{
    m_db->AddRecord(Li, QStringLiteral("2026-07-01"), Out, QStringLiteral("<b>&"), 100, QString());
    const QString page = YearExport::Html(table());
    QVERIFY(page.contains(QStringLiteral("&lt;b&gt;&amp;")));
    QVERIFY(!page.contains(QStringLiteral("<b>&")));
    QVERIFY(page.contains(QStringLiteral("<td class=\"n\">4238.86</td>")));
    QVERIFY(page.contains(QStringLiteral("<th>全年</th>")));
}

void TestYearTable::reportHasEveryLine()
{
    const auto report = YearExport::MakeReport(TReportUnits(), table());
    QCOMPARE(report->RowCount(), 9);
    QCOMPARE(report->PageCount(), 1);
    QStringList texts;
    for (const TReportText &t : report->Page(0).Texts)
        texts << t.Text;
    for (const char *t : {"12月", "全年", "结余", "4239.86", "1560.14", "-1500.00"})
        QVERIFY2(texts.contains(QString::fromUtf8(t)), t);
}

void TestYearTable::reportAmountsDoNotTouch()
{
    // Eight digits in every month and nine in the year, on a row of its own.
    for (int m = 1; m <= 12; ++m)
        m_db->AddRecord(Li, QStringLiteral("2026-%1-15").arg(m, 2, 10, QLatin1Char('0')), In,
                        QStringLiteral("一个很长很长的收入项目名称"), 9999999 - m, QString());
    const auto report = YearExport::MakeReport(TReportUnits(), table());
    const TReportPage page = report->Page(0);
    QMap<int, QList<const TReportText *>> rows; // by top
    for (const TReportText &t : page.Texts)
        rows[t.Top].append(&t);
    int checked = 0;
    for (auto texts : std::as_const(rows)) {
        std::sort(texts.begin(), texts.end(),
                  [](const TReportText *a, const TReportText *b) { return a->Left < b->Left; });
        for (int i = 1; i < texts.size(); ++i) {
            const TReportText &a = *texts.at(i - 1), &b = *texts.at(i);
            if (a.Font != 0 || b.Font != 0)
                continue;
            ++checked;
            QVERIFY2(a.Left + report->TextWidth(0, a.Text) < b.Left,
                     qPrintable(a.Text + QStringLiteral(" | ") + b.Text));
        }
    }
    QVERIFY(checked > 60);
}

// The printed report measures its texts, which needs a Gui application.
int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestYearTable test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_YearTable.moc"
