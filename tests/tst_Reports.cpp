#include "Reports.h"
#include "RowTexts.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QtTest>

// The report layout without any window: page geometry at two resolutions,
// paging, header on every page, the right-edge and centring rules measured
// with the printed font, and painting at the layout and at a printer's scale.
class TestReports : public QObject {
    Q_OBJECT

private slots:
    void units_data();
    void units();
    void paging_data();
    void paging();
    void headerOnEveryPage_data();
    void headerOnEveryPage();
    void cateColumns_data();
    void cateColumns();
    void longNotesEndAtBand();
    void longCatesEndAtColumn_data();
    void longCatesEndAtColumn();
    void controlCharsVisible();
    void paintProgress_data();
    void paintProgress();
    void pagesMadeOnDemand();
    void paintKeepsLayout_data();
    void paintKeepsLayout();
};

namespace {

// 李四's April: in 5800.00, out 1565.50, with these ranking rows (as
// texts: type, category, count, sum, share) and records.
TSearchResultPtr result(const TRowList &ranks = {}, const TRecordList &recs = {},
                        const QString &user = QStringLiteral("李四"))
{
    auto r =
        std::make_shared<TSearchResult>(user, QDate(2011, 4, 1), QDate(2011, 4, 30), TPeriod());
    r->InCents = 580000;
    r->OutCents = 156550;
    for (const TRow &row : ranks)
        (row.at(RankType) == QStringLiteral("收入") ? r->InCateRows : r->OutCateRows)
            << RankRow(row);
    r->RecRows = recs;
    return r;
}

TRowList rankRows(int incomes, int expenses)
{
    TRowList rows;
    for (int i = 0; i < incomes; ++i)
        rows.append({QStringLiteral("收入"), QStringLiteral("工资%1").arg(i), QStringLiteral("2"),
                     QStringLiteral("%1.00").arg(1000 + i), QStringLiteral("50.00%")});
    for (int i = 0; i < expenses; ++i)
        rows.append({QStringLiteral("支出"), QStringLiteral("餐饮%1").arg(i), QStringLiteral("7"),
                     QStringLiteral("%1.50").arg(20 + i), QStringLiteral("12.25%")});
    return rows;
}

// Items whose text is exactly text.
QList<TReportText> find(const TReportPage &page, const QString &text)
{
    QList<TReportText> r;
    for (const TReportText &t : page.Texts)
        if (t.Text == text)
            r.append(t);
    return r;
}

std::unique_ptr<TColumnReport> cateReport(int dpi, int rows)
{
    return MakeCateReport(TReportUnits(dpi, dpi), result(rankRows(rows / 2, rows - rows / 2)));
}

} // namespace

void TestReports::units_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QSize>("page");
    QTest::addColumn<QSize>("band");
    QTest::addColumn<int>("firstTop");
    QTest::addColumn<int>("lastTop"); // row 52 of a page
    QTest::addColumn<int>("mid");     // 578, a half rounded to even
    QTest::addRow("96 dpi") << 96 << QSize(794, 1123) << QSize(718, 1047) << 86 << 1004 << 578;
    QTest::addRow("120 dpi") << 120 << QSize(992, 1403) << QSize(898, 1309) << 108 << 1255 << 722;
    QTest::addRow("144 dpi") << 144 << QSize(1191, 1684) << QSize(1077, 1570) << 129 << 1506 << 867;
}

void TestReports::units()
{
    QFETCH(int, dpi);
    QFETCH(QSize, page);
    QFETCH(QSize, band);
    QFETCH(int, firstTop);
    QFETCH(int, lastTop);
    QFETCH(int, mid);
    const auto report = cateReport(dpi, 60);
    const TReportUnits &u = report->Units();
    QCOMPARE(report->PageSize(), page);
    QCOMPARE(QSize(u.BandWidth(), u.BandHeight()), band);
    QCOMPARE(report->RowTop(0), firstTop);
    QCOMPARE(report->RowTop(51), lastTop);
    QCOMPARE(report->RowTop(52), firstTop);
    QCOMPARE(u.ScaleX(578), mid);

    // The first row's type word stands at its top, inside the 10 mm margins.
    const TReportPage p = report->Page(0);
    const QList<TReportText> first = find(p, QStringLiteral("收入"));
    QVERIFY(first.size() >= 2); // heading and the first row
    QCOMPARE(first[1].Top, u.BandTop() + firstTop);
    QCOMPARE(first[1].Left, u.BandLeft());
    QCOMPARE(p.Rects.size(), size_t(1));
    QCOMPARE(p.Rects.front(),
             QRect(u.BandLeft(), u.BandTop() + u.ScaleY(58), band.width(), qMax(1, u.ScaleY(1))));
}

void TestReports::paging_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("lastPageRows");
    QTest::addRow("one row") << 1 << 1 << 1;
    QTest::addRow("52 rows fill one page") << 52 << 1 << 52;
    QTest::addRow("53 rows need two") << 53 << 2 << 1;
    QTest::addRow("104 rows") << 104 << 2 << 52;
    QTest::addRow("105 rows") << 105 << 3 << 1;
}

void TestReports::paging()
{
    QFETCH(int, rows);
    QFETCH(int, pages);
    QFETCH(int, lastPageRows);
    const auto report = cateReport(96, rows);
    QCOMPARE(report->PageCount(), pages);
    const TReportPage last = report->Page(pages - 1);
    // Each row has its share text once; the heading "0 - 100%" is not one.
    int shares = 0;
    for (const TReportText &t : last.Texts)
        shares += t.Text.endsWith(QLatin1String("%")) && t.Text != QLatin1String("0 - 100%");
    QCOMPARE(shares, lastPageRows);
    QCOMPARE(find(last, QStringLiteral("第 %1 页").arg(pages)).size(), 1);
    QVERIFY(report->Page(pages).Texts.empty());
}

void TestReports::headerOnEveryPage_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addRow("96 dpi") << 96;
    QTest::addRow("120 dpi") << 120;
}

void TestReports::headerOnEveryPage()
{
    QFETCH(int, dpi);
    const auto report = cateReport(dpi, 53);
    const TReportUnits &u = report->Units();
    const int left = u.BandLeft(), top = u.BandTop(), right = left + u.BandWidth();
    const TReportPage one = report->Page(0), two = report->Page(1);

    // The same header on both pages, item for item, but for the page number.
    auto header = [](const TReportPage &p) {
        QStringList items;
        for (const TReportText &t : p.Texts)
            if (!t.Text.startsWith(QStringLiteral("第 ")))
                items << QStringLiteral("%1@%2,%3").arg(t.Text).arg(t.Left).arg(t.Top);
        return items.mid(0, 14);
    };
    QCOMPARE(header(two), header(one));
    QCOMPARE(two.Rects, one.Rects);

    const QList<TReportText> title = find(two, QStringLiteral("李四"));
    QCOMPARE(title.size(), 1);
    QCOMPARE(title[0].Top, top);
    QCOMPARE(title[0].Left, left + (u.ScaleX(578) - report->TextWidth(TColumnReport::Title,
                                                                      QStringLiteral("李四"))) /
                                       2);
    const QString period = QStringLiteral("(2011-04-01 至 2011-04-30)");
    QCOMPARE(find(two, period).value(0).Top, top + u.ScaleY(36));
    QCOMPARE(find(two, period).value(0).Left,
             left + (u.ScaleX(578) - report->TextWidth(TColumnReport::Normal, period)) / 2);

    // Captions from 578, the totals ending at the band's right edge.
    const struct {
        const char *caption, *value;
        int top;
    } totals[] = {
        {"收入合计：", "5800.00", 0}, {"支出合计：", "1565.50", 18}, {"结余合计：", "4234.50", 36}};
    for (const auto &t : totals) {
        const QString caption = QString::fromUtf8(t.caption);
        const QString value = QString::fromUtf8(t.value);
        QCOMPARE(find(two, caption).value(0).Left, left + u.ScaleX(578));
        QCOMPARE(find(two, caption).value(0).Top, top + u.ScaleY(t.top));
        const TReportText v = find(two, value).value(0);
        QCOMPARE(v.Left + report->TextWidth(TColumnReport::Normal, value), right);
        QCOMPARE(v.Top, top + u.ScaleY(t.top));
    }

    // Headings at 68; the one row of page two at the first row's place.
    QCOMPARE(find(two, QStringLiteral("类别")).value(0).Top, top + u.ScaleY(68));
    const TReportText head = find(two, QStringLiteral("0 - 100%")).value(0);
    QCOMPARE(head.Left + report->TextWidth(TColumnReport::Normal, head.Text), right);
    QCOMPARE(find(two, QStringLiteral("12.25%")).size(), 1);
    QCOMPARE(find(two, QStringLiteral("12.25%")).value(0).Top, top + report->RowTop(0));

    // The page number centred at the foot of the band.
    const QString number = QStringLiteral("第 2 页");
    const TReportText n = find(two, number).value(0);
    QCOMPARE(n.Top, top + u.BandHeight() - report->TextHeight(TColumnReport::Normal));
    QCOMPARE(n.Left, left + (u.BandWidth() - report->TextWidth(TColumnReport::Normal, number)) / 2);
    QVERIFY(find(one, number).isEmpty());
}

void TestReports::cateColumns_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("right"); // where the sum ends, in 1/96 inch
    QTest::addRow("income sum under 收入") << QStringLiteral("收入") << 510;
    QTest::addRow("expense sum under 支出") << QStringLiteral("支出") << 602;
    QTest::addRow("other type counts as expense") << QStringLiteral("收入 ") << 602;
}

void TestReports::cateColumns()
{
    QFETCH(QString, type);
    QFETCH(int, right);
    const TRowList rows = {{type, QStringLiteral("奖金"), QStringLiteral("3"),
                            QStringLiteral("123.45"), QStringLiteral("100.00%")}};
    const auto report = MakeCateReport(TReportUnits(), result(rows));
    const TReportPage p = report->Page(0);
    const TReportUnits &u = report->Units();
    const QList<TReportText> sums = find(p, QStringLiteral("123.45"));
    QCOMPARE(sums.size(), 1);
    QCOMPARE(sums[0].Left + report->TextWidth(TColumnReport::Normal, QStringLiteral("123.45")),
             u.BandLeft() + right);
    QCOMPARE(find(p, QStringLiteral("3")).value(0).Left +
                 report->TextWidth(TColumnReport::Normal, QStringLiteral("3")),
             u.BandLeft() + 418);
    QCOMPARE(find(p, QStringLiteral("奖金")).value(0).Left, u.BandLeft() + 78);
}

void TestReports::longNotesEndAtBand()
{
    TRecordList recs;
    const int day = recs.AddDate(QStringLiteral("2011-04-01"));
    const int cate = recs.AddCate(QStringLiteral("餐饮"));
    const QByteArray notes = THi::Base64Encode(QString(200, QChar(0x5348))).toLatin1();
    recs.Append(1, 1250, day, cate, TRecordList::Expense, notes.constData(), int(notes.size()));
    const auto report = MakeTransReport(TReportUnits(), result({}, recs));
    const TReportUnits &u = report->Units();
    const TReportPage p = report->Page(0);
    QCOMPARE(find(p, QStringLiteral("12.50")).value(0).Left +
                 report->TextWidth(TColumnReport::Normal, QStringLiteral("12.50")),
             u.BandLeft() + 486);
    bool seen = false;
    for (const TReportText &t : p.Texts) {
        if (!t.Text.startsWith(QChar(0x5348)))
            continue;
        seen = true;
        QCOMPARE(t.Left, u.BandLeft() + 494);
        QVERIFY(t.Text.endsWith(QChar(0x2026)));
        QVERIFY(t.Left + report->TextWidth(TColumnReport::Normal, t.Text) <=
                u.BandLeft() + u.BandWidth());
    }
    QVERIFY(seen);
}

void TestReports::longCatesEndAtColumn_data()
{
    QTest::addColumn<bool>("cates");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QString>("cate");
    for (int dpi : {96, 120, 144}) {
        QTest::addRow("ranking, %d dpi", dpi) << true << dpi << QString(40, QChar(0x9910));
        QTest::addRow("records, %d dpi", dpi) << false << dpi << QString(40, QChar(0x9910));
        QTest::addRow("records, latin, %d dpi", dpi)
            << false << dpi << QString(90, QLatin1Char('W'));
    }
}

// A long category is cut with "…" before the widest number of the next
// column begins: twelve digits of count, or the largest amount.
void TestReports::longCatesEndAtColumn()
{
    QFETCH(bool, cates);
    QFETCH(int, dpi);
    QFETCH(QString, cate);
    const TReportUnits units(dpi, dpi);
    const QString widest = cates ? QStringLiteral("999999999999") : QStringLiteral("9999999999.99");
    std::unique_ptr<TColumnReport> report;
    if (cates) {
        report =
            MakeCateReport(units, result({{QStringLiteral("收入"), cate, widest,
                                           QStringLiteral("123.45"), QStringLiteral("100.00%")}}));
    } else {
        TRecordList recs;
        const int day = recs.AddDate(QStringLiteral("2011-04-01"));
        const int c = recs.AddCate(cate);
        recs.Append(1, 999999999999, day, c, TRecordList::Income, "", 0);
        report = MakeTransReport(units, result({}, recs));
    }
    const TReportPage p = report->Page(0);
    const QList<TReportText> numbers = find(p, widest);
    QCOMPARE(numbers.size(), 1);
    bool seen = false;
    for (const TReportText &t : p.Texts) {
        if (t.Text.at(0) != cate.at(0))
            continue;
        seen = true;
        QCOMPARE(t.Left, units.BandLeft() + units.ScaleX(78));
        QVERIFY(t.Text.endsWith(QChar(0x2026)));
        QVERIFY2(t.Left + report->TextWidth(TColumnReport::Normal, t.Text) < numbers[0].Left,
                 qPrintable(QStringLiteral("%1 + %2 >= %3")
                                .arg(t.Left)
                                .arg(report->TextWidth(TColumnReport::Normal, t.Text))
                                .arg(numbers[0].Left)));
    }
    QVERIFY(seen);
    // A short one stays whole.
    const auto shortReport = MakeCateReport(
        units, result({{QStringLiteral("收入"), QStringLiteral("Rent"), QStringLiteral("1"),
                        QStringLiteral("1.00"), QStringLiteral("1.00%")}}));
    QCOMPARE(find(shortReport->Page(0), QStringLiteral("Rent")).size(), 1);
}

void TestReports::controlCharsVisible()
{
    const QString nul(QChar(0));
    const auto report = MakeCateReport(
        TReportUnits(),
        result({{QStringLiteral("收入"), QStringLiteral("a\x01") + nul + QStringLiteral("b"),
                 QStringLiteral("1"), QStringLiteral("1.00"), QStringLiteral("100.00%")}},
               {}, QStringLiteral("Li") + nul + QStringLiteral("x")));
    const TReportPage p = report->Page(0);
    QCOMPARE(find(p, QStringLiteral("Li\u2400x")).size(), 1);
    QCOMPARE(find(p, QStringLiteral("a\u2401\u2400b")).size(), 1);
    for (const TReportText &t : p.Texts)
        for (QChar c : t.Text)
            QVERIFY2(c.unicode() >= 0x20, qPrintable(t.Text));
}

void TestReports::paintProgress_data()
{
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("stopAt"); // the report that answers stop; 0: never
    QTest::addRow("three pages") << 1 << 0;
    QTest::addRow("two copies") << 2 << 0;
    QTest::addRow("stopped after the second sheet") << 1 << 2;
}

void TestReports::paintProgress()
{
    QFETCH(int, copies);
    QFETCH(int, stopAt);
    const auto report = cateReport(96, 3 * TColumnReport::RowsPerPage);
    QCOMPARE(report->PageCount(), 3);
    QBuffer pdf;
    QVERIFY(pdf.open(QIODevice::WriteOnly));
    QPdfWriter writer(&pdf);
    QList<qint64> seen;
    const TProgress progress = [&](qint64 done, qint64 total) {
        if (total != 3 * copies)
            return false;
        seen.append(done);
        return seen.size() != stopAt;
    };
    bool cancelled = false;
    try {
        QVERIFY(PaintPages(writer, *report, 0, 2, copies, progress));
    } catch (const ECancelled &) {
        cancelled = true;
    }
    QCOMPARE(cancelled, stopAt != 0);
    QList<qint64> all;
    for (int i = 1; i <= 3 * copies; ++i)
        all.append(i);
    QCOMPARE(seen, stopAt == 0 ? all : all.mid(0, stopAt));
}

void TestReports::pagesMadeOnDemand()
{
    int asked = 0;
    TColumnReport report(TReportUnits(), result(), {{QStringLiteral("项目"), 0}}, 100000,
                         [&asked](int i) {
                             ++asked;
                             return QStringList{QString::number(i)};
                         });
    QCOMPARE(report.PageCount(), 1924);
    QCOMPARE(asked, 0);
    const TReportPage p = report.Page(1923);
    QCOMPARE(asked, 100000 - 1923 * 52);
    QCOMPARE(find(p, QStringLiteral("99999")).size(), 1);
    QCOMPARE(find(p, QStringLiteral("第 1924 页")).size(), 1);
}

void TestReports::paintKeepsLayout_data()
{
    QTest::addColumn<int>("dpi");  // of the device painted on
    QTest::addColumn<double>("k"); // device pixels per report pixel
    QTest::addRow("screen") << 96 << 1.0;
    QTest::addRow("printer at three times") << 288 << 3.0;
}

void TestReports::paintKeepsLayout()
{
    QFETCH(int, dpi);
    QFETCH(double, k);
    const auto report = cateReport(96, 1);
    const TReportUnits &u = report->Units();
    const QSize size = report->PageSize() * k;
    QImage image(size, QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    {
        QPainter p(&image);
        PaintPage(p, *report, report->Page(0), QRectF(QPointF(0, 0), QSizeF(size)));
    }
    // The rule is black across the band.
    const int ruleY = qRound((u.BandTop() + u.ScaleY(58)) * k);
    QCOMPARE(QColor(image.pixel(qRound((u.BandLeft() + 5) * k), ruleY)), QColor(Qt::black));
    // The income total's ink ends at the band's right edge, not beyond, and
    // reaches to within two report pixels of it.
    const int right = u.BandLeft() + u.BandWidth();
    const int top = qRound(u.BandTop() * k), bottom = qRound((u.BandTop() + 14) * k);
    int inkRight = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = qRound((right - 60) * k); x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                inkRight = qMax(inkRight, x);
    QVERIFY2(inkRight >= 0, "no ink for the income total");
    QVERIFY2(inkRight < qRound((right + 1) * k), qPrintable(QString::number(inkRight)));
    QVERIFY2(inkRight > qRound((right - 3) * k), qPrintable(QString::number(inkRight)));
}

// Fonts need a GUI application, but no widget is made.
int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestReports test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_Reports.moc"
