#include "BillCsv.h"
#include "BillReader.h"
#include "BillRules.h"
#include "XlsxSheet.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>

#include <functional>

Q_DECLARE_METATYPE(BillEncoding)
Q_DECLARE_METATYPE(BillLayout)
Q_DECLARE_METATYPE(EBillError::Kind)
Q_DECLARE_METATYPE(TBillLine)
Q_DECLARE_METATYPE(TColumnMapping)

namespace {

QString fixture(const char *name)
{
    return QStringLiteral(TALLIMO_TEST_FIXTURES "/bills/") + QString::fromLatin1(name);
}

QByteArray load(const char *name)
{
    QFile f(fixture(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("fixture %s missing", name);
    return f.readAll();
}

QByteArray gb18030(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

QString fromGb18030(const QByteArray &bytes)
{
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

QStringList cells(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list.append(QString::fromUtf8(text));
    return list;
}

// A workbook (or any zip) made of the given parts, through libzip.
QByteArray makeZip(const QList<QPair<QString, QByteArray>> &parts)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *memory = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(memory);
    zip_t *archive = zip_open_from_source(memory, ZIP_TRUNCATE, &error);
    for (const auto &part : parts) {
        zip_source_t *source = zip_source_buffer(archive, part.second.constData(),
                                                 zip_uint64_t(part.second.size()), 0);
        zip_file_add(archive, part.first.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
    }
    zip_close(archive);
    QByteArray bytes;
    if (zip_source_open(memory) == 0) {
        zip_source_seek(memory, 0, SEEK_END);
        bytes.resize(qsizetype(zip_source_tell(memory)));
        zip_source_seek(memory, 0, SEEK_SET);
        zip_source_read(memory, bytes.data(), zip_uint64_t(bytes.size()));
        zip_source_close(memory);
    }
    zip_source_free(memory);
    zip_error_fini(&error);
    return bytes;
}

QByteArray sheetXml(const QByteArray &rows)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<sheetData>" +
           rows + "</sheetData></worksheet>";
}

QByteArray workbook(const QByteArray &rows, const QByteArray &shared = QByteArray())
{
    QList<QPair<QString, QByteArray>> parts = {
        {QStringLiteral("xl/worksheets/sheet1.xml"), sheetXml(rows)}};
    if (!shared.isNull())
        parts.append({QStringLiteral("xl/sharedStrings.xml"),
                      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
                          shared + "</sst>"});
    return makeZip(parts);
}

// The kind of error a read ends with; -1 when it reads.
int failure(const std::function<void()> &read, QString *text = nullptr)
{
    try {
        read();
    } catch (const EBillError &e) {
        if (text)
            *text = e.text();
        return e.kind();
    }
    return -1;
}

TBillFile readAny(const QByteArray &bytes)
{
    const TBillTable table = BillReader::ReadTable(bytes);
    if (BillReader::DetectLayout(table) != BillLayout::Unknown)
        return BillReader::ReadApp(table);
    return BillReader::ReadMapped(table, BillReader::GuessMapping(table));
}

} // namespace

class TestBills : public QObject {
    Q_OBJECT

private slots:
    void sampleBills_data();
    void sampleBills();
    void alipayLines();
    void alipayOldLines();
    void weChatLines();
    void mappedLines();
    void secondImportImportsNothing_data();
    void secondImportImportsNothing();
    void decode_data();
    void decode();
    void delimiter_data();
    void delimiter();
    void split_data();
    void split();
    void workbookCells_data();
    void workbookCells();
    void damaged_data();
    void damaged();
    void fileBounds();
    void workbookBomb();
    void parseCents_data();
    void parseCents();
    void parseDate_data();
    void parseDate();
    void headerKey();
    void mappingRules_data();
    void mappingRules();
    void proposeCategory_data();
    void proposeCategory();
    void duplicates_data();
    void duplicates();
};

void TestBills::sampleBills_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<BillLayout>("layout");
    QTest::addColumn<BillEncoding>("encoding");
    QTest::addColumn<int>("expenses");
    QTest::addColumn<qint64>("expenseCents");
    QTest::addColumn<int>("incomes");
    QTest::addColumn<qint64>("incomeCents");
    // Skipped lines by reason: neutral, closed, refunded, not succeeded, zero, duplicate.
    QTest::addColumn<QList<int>>("skipped");

    QTest::addRow("alipay current, GBK")
        << "alipay-current.csv" << BillLayout::AlipayCurrent << BillEncoding::Gb18030 << 4
        << qint64(26250) << 2 << qint64(520000) << QList<int>{1, 1, 1, 1, 1, 1};
    QTest::addRow("alipay re-saved by a spreadsheet")
        << "alipay-resaved.csv" << BillLayout::AlipayCurrent << BillEncoding::Gb18030 << 2
        << qint64(1150) << 1 << qint64(120000) << QList<int>{0, 1, 0, 0, 0, 0};
    QTest::addRow("alipay older layout")
        << "alipay-old.csv" << BillLayout::AlipayOld << BillEncoding::Gb18030 << 3 << qint64(16850)
        << 1 << qint64(30000) << QList<int>{1, 1, 1, 0, 0, 0};
    QTest::addRow("wechat csv with BOM")
        << "wechat.csv" << BillLayout::WeChat << BillEncoding::Utf8Bom << 4 << qint64(59350) << 2
        << qint64(30000) << QList<int>{2, 0, 2, 0, 0, 1};
    QTest::addRow("wechat workbook, shared strings, merged title")
        << "wechat.xlsx" << BillLayout::WeChat << BillEncoding::Xlsx << 4 << qint64(59350) << 2
        << qint64(30000) << QList<int>{2, 0, 2, 0, 0, 1};
    QTest::addRow("wechat workbook, inline strings")
        << "wechat-inline.xlsx" << BillLayout::WeChat << BillEncoding::Xlsx << 4 << qint64(59350)
        << 2 << qint64(30000) << QList<int>{2, 0, 2, 0, 0, 1};
    QTest::addRow("bank statement, GBK, income and expense columns, footer")
        << "bank-gbk.csv" << BillLayout::Mapped << BillEncoding::Gb18030 << 2 << qint64(15550) << 1
        << qint64(600000) << QList<int>{0, 0, 0, 0, 1, 0};
    QTest::addRow("semicolons, quotes, ragged lines, signed amounts")
        << "bank-semicolon.csv" << BillLayout::Mapped << BillEncoding::Utf8 << 3 << qint64(4250)
        << 2 << qint64(251230) << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::addRow("UTF-16 with tabs and a type column")
        << "bank-utf16.csv" << BillLayout::Mapped << BillEncoding::Utf16Le << 2 << qint64(7000) << 1
        << qint64(10000) << QList<int>{0, 0, 0, 0, 0, 0};
}

void TestBills::sampleBills()
{
    QFETCH(QString, file);
    QFETCH(BillLayout, layout);
    QFETCH(BillEncoding, encoding);
    QFETCH(int, expenses);
    QFETCH(qint64, expenseCents);
    QFETCH(int, incomes);
    QFETCH(qint64, incomeCents);
    QFETCH(QList<int>, skipped);

    TBillFile bill = readAny(load(file.toLatin1().constData()));
    QCOMPARE(bill.layout, layout);
    QCOMPARE(bill.encoding, encoding);
    QCOMPARE(BillRules::MarkDuplicates(bill, TImportedKeys()), skipped.at(5));
    const TBillSummary s = BillReader::Summarize(bill.lines);
    QCOMPARE(s.count[0], expenses);
    QCOMPARE(s.cents[0], expenseCents);
    QCOMPARE(s.count[1], incomes);
    QCOMPARE(s.cents[1], incomeCents);
    const QList<SkipReason> reasons = {SkipReason::Neutral,    SkipReason::Closed,
                                       SkipReason::Refunded,   SkipReason::OtherStatus,
                                       SkipReason::ZeroAmount, SkipReason::Duplicate};
    for (int i = 0; i < reasons.size(); ++i)
        QCOMPARE(s.skipped.value(reasons[i]), skipped.at(i));
    for (const TBillLine &line : bill.lines) {
        QVERIFY(line.date.isValid());
        QVERIFY(line.cents >= 0);
        QVERIFY(line.lineNumber > 0);
    }
}

void TestBills::alipayLines()
{
    const TBillFile bill = BillReader::ReadBill(load("alipay-current.csv"));
    QCOMPARE(bill.source, QStringLiteral("alipay"));
    QCOMPARE(bill.lines.size(), 12);
    const TBillLine &first = bill.lines.first();
    QCOMPARE(first.lineNumber, 24);
    QCOMPARE(first.date, QDate(2026, 11, 28));
    QCOMPARE(first.type, BillType::Expense);
    QCOMPARE(first.cents, 3550);
    QCOMPARE(first.appCategory, QStringLiteral("餐饮美食"));
    QCOMPARE(first.notes, QStringLiteral("美团外卖 · 外卖订单"));
    QCOMPARE(first.status, QStringLiteral("交易成功"));
    QCOMPARE(first.externalId, QStringLiteral("2026112822001100011234567890"));
    // Odd padding around every field of a closed line.
    const TBillLine &closed = bill.lines.at(2);
    QCOMPARE(closed.appCategory, QStringLiteral("餐饮美食"));
    QCOMPARE(closed.notes, QStringLiteral("山野面馆 · 午餐"));
    QCOMPARE(closed.cents, 2600);
    QCOMPARE(closed.skip, SkipReason::Closed);
    QCOMPARE(bill.lines.at(7).type, BillType::Income);

    const TBillFile resaved = BillReader::ReadBill(load("alipay-resaved.csv"));
    QCOMPARE(resaved.lines.first().date, QDate(2026, 11, 3));
    QCOMPARE(resaved.lines.at(2).cents, 120000);
}

void TestBills::alipayOldLines()
{
    const TBillFile bill = BillReader::ReadBill(load("alipay-old.csv"));
    QCOMPARE(bill.lines.size(), 7);
    // Amount minus the refund.
    QCOMPARE(bill.lines.at(1).cents, 10000);
    QCOMPARE(bill.lines.at(1).notes, QStringLiteral("半山书店 · 旧书三本"));
    QCOMPARE(bill.lines.at(1).appCategory, QStringLiteral("支付宝担保交易"));
    QCOMPARE(bill.lines.at(1).externalId, QStringLiteral("2026102822001400011111111102"));
    QCOMPARE(bill.lines.at(2).skip, SkipReason::Refunded);
    // Unpaid: the creation time; paid after midnight: the payment time.
    QCOMPARE(bill.lines.at(3).date, QDate(2026, 10, 20));
    QCOMPARE(bill.lines.at(3).skip, SkipReason::Closed);
    QCOMPARE(bill.lines.at(4).skip, SkipReason::Neutral);
    QCOMPARE(bill.lines.at(6).date, QDate(2026, 10, 2));
}

void TestBills::weChatLines()
{
    for (const char *name : {"wechat.csv", "wechat.xlsx", "wechat-inline.xlsx"}) {
        const TBillFile bill = BillReader::ReadBill(load(name));
        QCOMPARE(bill.source, QStringLiteral("wechat"));
        QCOMPARE(bill.lines.size(), 11);
        QCOMPARE(bill.lines.at(0).externalId, QStringLiteral("4200000001202611291234567890"));
        // ￥64.39 with ￥14.39 refunded.
        QCOMPARE(bill.lines.at(1).cents, 5000);
        QCOMPARE(bill.lines.at(1).skip, SkipReason::None);
        QCOMPARE(bill.lines.at(1).status, QStringLiteral("已退款(￥14.39)"));
        // WeChat's "/" is no goods.
        QCOMPARE(bill.lines.at(3).notes, QStringLiteral("王小雨"));
        QCOMPARE(bill.lines.at(3).type, BillType::Income);
        QCOMPARE(bill.lines.at(3).appCategory, QStringLiteral("微信红包"));
        QCOMPARE(bill.lines.at(5).skip, SkipReason::Neutral);
        // A date cell and a number cell in the workbook.
        QCOMPARE(bill.lines.at(8).date, QDate(2026, 11, 12));
        QCOMPARE(bill.lines.at(8).cents, 800);
        QCOMPARE(bill.lines.at(10).skip, SkipReason::Refunded);
    }
}

void TestBills::mappedLines()
{
    const TBillTable table = BillReader::ReadTable(load("bank-gbk.csv"));
    QCOMPARE(BillReader::DetectLayout(table), BillLayout::Unknown);
    QCOMPARE(failure([&] { BillReader::ReadApp(table); }), int(EBillError::NotAppBill));
    const TColumnMapping m = BillReader::GuessMapping(table);
    QCOMPARE(m.headerRow, 2);
    QCOMPARE(m.date, 0);
    QCOMPARE(m.income, 2);
    QCOMPARE(m.expense, 3);
    QCOMPARE(m.amount, -1);
    QCOMPARE(m.externalId, 7);
    QCOMPARE(m.notes, (QList<int>{6, 5}));
    const TBillFile bill = BillReader::ReadMapped(table, m);
    QCOMPARE(bill.source, QStringLiteral("csv:") + BillReader::HeaderKey(table.rows.at(2)));
    QCOMPARE(bill.lines.size(), 4);
    QCOMPARE(bill.lines.at(0).notes, QStringLiteral("好邻居超市 · 消费"));
    QCOMPARE(bill.lines.at(0).counterparty, QStringLiteral("好邻居超市"));
    QCOMPARE(bill.lines.at(0).externalId, QStringLiteral("B0001"));
    QCOMPARE(bill.lines.at(1).date, QDate(2026, 11, 3));
    QCOMPARE(bill.lines.at(1).cents, 600000);

    const TBillTable semi = BillReader::ReadTable(load("bank-semicolon.csv"));
    QCOMPARE(semi.delimiter, QChar(u';'));
    const TBillFile other = BillReader::ReadMapped(semi, BillReader::GuessMapping(semi));
    QCOMPARE(other.lines.at(0).notes, QStringLiteral("Coffee; large"));
    QCOMPARE(other.lines.at(1).notes, QStringLiteral("Book \"Rivers\""));
    QCOMPARE(other.lines.at(2).date, QDate(2026, 11, 4));
    QCOMPARE(other.lines.at(4).externalId, QString());

    // "/" is an empty cell here as in WeChat's bills.
    const TBillTable slash = BillReader::ReadTable("d,a,n\n2026-1-1,1,/\n");
    TColumnMapping withNotes;
    withNotes.date = 0;
    withNotes.amount = 1;
    withNotes.notes = {2};
    QCOMPARE(BillReader::ReadMapped(slash, withNotes).lines.at(0).notes, QString());
}

void TestBills::secondImportImportsNothing_data()
{
    QTest::addColumn<QString>("file");
    QTest::addRow("alipay, by order number") << "alipay-current.csv";
    QTest::addRow("wechat workbook, by order number") << "wechat.xlsx";
    QTest::addRow("statement without ids, by content") << "bank-utf16.csv";
}

void TestBills::secondImportImportsNothing()
{
    QFETCH(QString, file);
    const QByteArray bytes = load(file.toLatin1().constData());
    TBillFile first = readAny(bytes);
    BillRules::MarkDuplicates(first, TImportedKeys());
    TImportedKeys imported;
    int importedLines = 0;
    for (const TBillLine &line : first.lines) {
        if (!line.toImport())
            continue;
        ++importedLines;
        if (line.externalId.isEmpty())
            imported.contents.insert(BillRules::ContentKey(line));
        else
            imported.externalIds.insert(BillRules::ExternalKey(first.source, line.externalId));
    }
    QVERIFY(importedLines > 0);
    TBillFile second = readAny(bytes);
    BillRules::MarkDuplicates(second, imported);
    const TBillSummary s = BillReader::Summarize(second.lines);
    QCOMPARE(s.count[0] + s.count[1], 0);
    QVERIFY(s.skipped.value(SkipReason::Duplicate) >= importedLines);
}

void TestBills::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<BillEncoding>("encoding");
    const QString text = QStringLiteral("日期,金额\r\n2026-12-01,35.50 元\r\n");
    auto enc = [&text](QStringConverter::Encoding e, bool bom) {
        QStringEncoder encoder(e, bom ? QStringConverter::Flag::WriteBom
                                      : QStringConverter::Flag::Default);
        return QByteArray(encoder.encode(text));
    };
    QTest::addRow("UTF-8") << enc(QStringConverter::Utf8, false) << BillEncoding::Utf8;
    QTest::addRow("UTF-8 with BOM") << enc(QStringConverter::Utf8, true) << BillEncoding::Utf8Bom;
    QTest::addRow("GB18030") << gb18030(text) << BillEncoding::Gb18030;
    QTest::addRow("UTF-16 LE with BOM")
        << enc(QStringConverter::Utf16LE, true) << BillEncoding::Utf16Le;
    QTest::addRow("UTF-16 BE with BOM")
        << enc(QStringConverter::Utf16BE, true) << BillEncoding::Utf16Be;
    QTest::addRow("UTF-16 LE without BOM")
        << enc(QStringConverter::Utf16LE, false) << BillEncoding::Utf16Le;
    QTest::addRow("UTF-16 BE without BOM")
        << enc(QStringConverter::Utf16BE, false) << BillEncoding::Utf16Be;
}

void TestBills::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(BillEncoding, encoding);
    BillEncoding found = BillEncoding::Xlsx;
    QCOMPARE(BillCsv::DecodeText(bytes, &found),
             QStringLiteral("日期,金额\r\n2026-12-01,35.50 元\r\n"));
    QCOMPARE(found, encoding);
}

void TestBills::delimiter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("delimiter");
    QTest::addRow("comma") << "a,b,c\n1,2,3\n" << QChar(u',');
    QTest::addRow("semicolon, commas in amounts") << "a;b;c\n1,5;2;3\n4;5,5;6\n" << QChar(u';');
    QTest::addRow("tab") << "a\tb\tc\n1\t2\t3\n" << QChar(u'\t');
    QTest::addRow("comma with tabs after ids") << "a,b,c,\n1\t,2\t,3,\n4\t,5\t,6,\n" << QChar(u',');
    QTest::addRow("delimiters inside quotes don't count") << "\"a;b;c\",d\n\"1;2;3\",4\n"
                                                          << QChar(u',');
    QTest::addRow("preamble without delimiters") << "title\nnote\na;b\n1;2\n3;4\n" << QChar(u';');
    QTest::addRow("nothing to tell") << "abc\n" << QChar(u',');
}

void TestBills::delimiter()
{
    QFETCH(QString, text);
    QFETCH(QChar, delimiter);
    QCOMPARE(BillCsv::DetectDelimiter(text), delimiter);
}

void TestBills::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<int>>("lines");
    QTest::addRow("CR LF, trailing comma")
        << "a,b,\r\n1,2,\r\n"
        << QList<QStringList>{cells({"a", "b", ""}), cells({"1", "2", ""})} << QList<int>{1, 2};
    QTest::addRow("lone CR") << "a,b\r1,2\r"
                             << QList<QStringList>{cells({"a", "b"}), cells({"1", "2"})}
                             << QList<int>{1, 2};
    QTest::addRow("no line end at the end")
        << "a,b" << QList<QStringList>{cells({"a", "b"})} << QList<int>{1};
    QTest::addRow("comma at the very end")
        << "a," << QList<QStringList>{cells({"a", ""})} << QList<int>{1};
    QTest::addRow("padding and tabs trimmed")
        << "  a  ,\tb\t, c\t\n"
        << QList<QStringList>{cells({"a", "b", "c"})} << QList<int>{1};
    QTest::addRow("quoted keeps its spaces")
        << " \" a \" ,b\n"
        << QList<QStringList>{cells({" a ", "b"})} << QList<int>{1};
    QTest::addRow("doubled quotes")
        << "\"say \"\"hi\"\"\",x\n"
        << QList<QStringList>{cells({"say \"hi\"", "x"})} << QList<int>{1};
    QTest::addRow("line break inside quotes")
        << "\"two\nlines\",x\nnext,y\n"
        << QList<QStringList>{cells({"two\nlines", "x"}), cells({"next", "y"})} << QList<int>{1, 3};
    QTest::addRow("text after the closing quote")
        << "\"12\"34 ,x\n"
        << QList<QStringList>{cells({"1234", "x"})} << QList<int>{1};
    QTest::addRow("quote inside an unquoted cell")
        << "5\"2,x\n"
        << QList<QStringList>{cells({"5\"2", "x"})} << QList<int>{1};
    QTest::addRow("empty lines left out, numbers kept")
        << "a\n\n\r\nb\n"
        << QList<QStringList>{cells({"a"}), cells({"b"})} << QList<int>{1, 4};
    QTest::addRow("ragged") << "a,b,c\n1\n1,2,3,4\n"
                            << QList<QStringList>{cells({"a", "b", "c"}), cells({"1"}),
                                                  cells({"1", "2", "3", "4"})}
                            << QList<int>{1, 2, 3};
}

void TestBills::split()
{
    QFETCH(QString, text);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<int>, lines);
    const TBillTable table = BillCsv::Split(text, u',');
    QCOMPARE(table.rows, rows);
    QCOMPARE(table.lineNumbers, lines);
}

void TestBills::workbookCells_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<int>>("lines");
    QTest::addRow("gaps between cells and rows")
        << workbook("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a</t></is></c>"
                    "<c r=\"C1\"><v>12.5</v></c></row>"
                    "<row r=\"5\"><c r=\"B5\" t=\"str\"><v>f</v></c></row>")
        << QList<QStringList>{cells({"a", "", "12.5"}), cells({"", "f"})} << QList<int>{1, 5};
    QTest::addRow("rich text and phonetic readings")
        << workbook("<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"B2\" t=\"s\"><v>1</v></c>"
                    "</row>",
                    "<si><r><t>美团</t></r><r><t>外卖</t></r><rPh><t>メイ</t></rPh></si>"
                    "<si><t xml:space=\"preserve\"> x </t></si>")
        << QList<QStringList>{cells({"美团外卖", " x "})} << QList<int>{2};
    QTest::addRow("rows and cells without references")
        << workbook("<row><c><v>1</v></c><c><v>2</v></c></row><row><c t=\"b\"><v>1</v></c></row>")
        << QList<QStringList>{cells({"1", "2"}), cells({"1"})} << QList<int>{1, 2};
    QTest::addRow("merged cells, empty cells left out")
        << workbook("<mergeCells count=\"1\"><mergeCell ref=\"A1:C1\"/></mergeCells>"
                    "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>标题</t></is></c>"
                    "<c r=\"B1\" s=\"1\"/><c r=\"C1\" s=\"1\"/></row>"
                    "<row r=\"2\"><c r=\"B2\" s=\"1\"/></row>")
        << QList<QStringList>{cells({"标题"})} << QList<int>{1};
    const QByteArray rels =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId7\" Type=\"x\" Target=\"worksheets/data.xml\"/></Relationships>";
    const QByteArray book =
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<sheets><sheet name=\"账单\" sheetId=\"1\" r:id=\"rId7\"/></sheets></workbook>";
    QTest::addRow("first sheet found through the relationships")
        << makeZip({{QStringLiteral("xl/workbook.xml"), book},
                    {QStringLiteral("xl/_rels/workbook.xml.rels"), rels},
                    {QStringLiteral("xl/worksheets/sheet1.xml"),
                     sheetXml("<row r=\"1\"><c><v>2</v></c></row>")},
                    {QStringLiteral("xl/worksheets/data.xml"),
                     sheetXml("<row r=\"1\"><c><v>1</v></c></row>")}})
        << QList<QStringList>{cells({"1"})} << QList<int>{1};
}

void TestBills::workbookCells()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<int>, lines);
    const TBillTable table = BillReader::ReadTable(bytes);
    QCOMPARE(table.encoding, BillEncoding::Xlsx);
    QCOMPARE(table.rows, rows);
    QCOMPARE(table.lineNumbers, lines);
}

void TestBills::damaged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<EBillError::Kind>("kind");

    const QByteArray alipay = load("alipay-current.csv");
    const QString alipayText = fromGb18030(alipay);
    const QByteArray xlsx = load("wechat.xlsx");
    const QString weChatText = QString::fromUtf8(load("wechat.csv"));
    auto replaced = [](QString text, const QString &from, const QString &to) {
        return text.replace(from, to);
    };

    QTest::addRow("empty") << QByteArray() << EBillError::Unreadable;
    QTest::addRow("only blanks") << QByteArray(" \r\n\t\n") << EBillError::Unreadable;
    qsizetype inCharacter = alipay.indexOf(gb18030(QStringLiteral("好邻居超市"))) + 1;
    QTest::addRow("cut in the middle of a character")
        << alipay.left(inCharacter) << EBillError::CutShort;
    QTest::addRow("cut in the middle of a line")
        << gb18030(alipayText.left(alipayText.indexOf(QStringLiteral("花呗,交易成功")) + 2))
        << EBillError::CutShort;
    QTest::addRow("cut in the middle of a UTF-8 character")
        << weChatText.toUtf8().left(weChatText.toUtf8().indexOf("笔记本") + 1)
        << EBillError::CutShort;
    QTest::addRow("quote never closed") << QByteArray("a,b\n\"1,2\n3,4\n") << EBillError::CutShort;
    QTest::addRow("neither UTF-8 nor GB18030")
        << QByteArray("a,b\n\x80\xff,\xff\x80\n") << EBillError::Unreadable;
    QTest::addRow("Latin-1") << QByteArray("Caf\xe9,12.00\n") << EBillError::Unreadable;
    QTest::addRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                            << EBillError::Unreadable;
    QTest::addRow("old Excel file")
        << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0", 10) << EBillError::Unreadable;
    QTest::addRow("PDF") << QByteArray("%PDF-1.7\n") << EBillError::Unreadable;
    QTest::addRow("workbook cut in half") << xlsx.left(xlsx.size() / 2) << EBillError::Unreadable;
    QByteArray scrambled = xlsx;
    for (qsizetype i = scrambled.size() / 3; i < scrambled.size() / 3 + 64; ++i)
        scrambled[i] = char(scrambled[i] ^ 0x5A);
    QTest::addRow("workbook with damaged bytes") << scrambled << EBillError::Unreadable;
    QTest::addRow("zip without a sheet")
        << makeZip({{QStringLiteral("readme.txt"), "hello"}}) << EBillError::Unreadable;
    QTest::addRow("sheet that is not XML")
        << makeZip({{QStringLiteral("xl/worksheets/sheet1.xml"), "<worksheet><sheetData><row>"}})
        << EBillError::Unreadable;
    QTest::addRow("missing shared string")
        << workbook("<row><c t=\"s\"><v>3</v></c></row>", "<si><t>a</t></si>")
        << EBillError::Unreadable;
    QTest::addRow("column beyond the last")
        << workbook("<row><c r=\"XFE1\"><v>1</v></c></row>") << EBillError::Unreadable;
    QTest::addRow("another app's export") << load("bank-semicolon.csv") << EBillError::NotAppBill;
    QTest::addRow("a workbook of something else")
        << workbook("<row><c t=\"inlineStr\"><is><t>姓名</t></is></c></row>")
        << EBillError::NotAppBill;
    QTest::addRow("impossible date")
        << gb18030(replaced(alipayText, QStringLiteral("2026-11-27 08:15:40"),
                            QStringLiteral("2026-13-27 08:15:40")))
        << EBillError::BadLine;
    QTest::addRow("amount with letters")
        << replaced(weChatText, QStringLiteral("¥500.00"), QStringLiteral("¥5OO.00")).toUtf8()
        << EBillError::BadLine;
    QTest::addRow("partial refund without an amount")
        << replaced(weChatText, QStringLiteral("已退款(￥14.39)"), QStringLiteral("已退款"))
               .toUtf8()
        << EBillError::BadLine;
    QTest::addRow("more empty lines than the cell bound")
        << QByteArray("title\n") + QByteArray(BillCsv::MaxCells + 10, '\n')
        << EBillError::NotAppBill;
    QTest::addRow("a row of ten thousand empty cells per line")
        << QByteArray(20000, ',') << EBillError::TooLarge;
}

void TestBills::damaged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(EBillError::Kind, kind);
    QString text;
    QCOMPARE(failure([&] { BillReader::ReadBill(bytes); }, &text), int(kind));
    QVERIFY(!text.isEmpty());
    // Every sentence is the person's own language.
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))),
             qPrintable(text));
}

void TestBills::fileBounds()
{
    QTemporaryDir dir;
    const QString huge = dir.filePath(QStringLiteral("huge.csv"));
    {
        QFile f(huge);
        QVERIFY(f.open(QIODevice::WriteOnly));
        // Sparse: the reader must refuse it by its size, not by reading it.
        QVERIFY(f.resize(BillCsv::MaxFileBytes + 1));
    }
    QString text;
    QCOMPARE(failure([&] { BillReader::ReadBillFile(huge); }, &text), int(EBillError::TooLarge));
    QVERIFY(text.contains(QStringLiteral("200 MB")));
    QCOMPARE(failure([&] { BillReader::ReadBillFile(dir.path()); }), int(EBillError::Unreadable));
    QCOMPARE(failure([&] { BillReader::ReadBillFile(dir.filePath(QStringLiteral("none.csv"))); }),
             int(EBillError::Unreadable));
    QCOMPARE(BillReader::ReadBillFile(fixture("alipay-old.csv")).lines.size(), 7);
}

void TestBills::workbookBomb()
{
    // A sheet part that unpacks beyond the bound, from a small file.
    QByteArray xml = sheetXml("<row><c><v>1</v></c></row>");
    xml.append(QByteArray(XlsxSheet::MaxPartBytes, ' '));
    const QByteArray bomb = makeZip({{QStringLiteral("xl/worksheets/sheet1.xml"), xml}});
    xml.clear();
    QVERIFY(bomb.size() < 2 * 1024 * 1024);
    QCOMPARE(failure([&] { BillReader::ReadTable(bomb); }), int(EBillError::TooLarge));
}

void TestBills::parseCents_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("cents");
    QTest::addRow("plain") << "35.50" << true << qint64(3550);
    QTest::addRow("one decimal") << "7.5" << true << qint64(750);
    QTest::addRow("whole") << "12" << true << qint64(1200);
    QTest::addRow("yuan sign") << "¥35.50" << true << qint64(3550);
    QTest::addRow("full-width yuan sign") << "￥64.39" << true << qint64(6439);
    QTest::addRow("thousands and 元") << "1,234.56 元" << true << qint64(123456);
    QTest::addRow("minus") << "-4.50" << true << qint64(-450);
    QTest::addRow("plus") << "+12.30" << true << qint64(1230);
    QTest::addRow("brackets") << "(8.00)" << true << qint64(-800);
    QTest::addRow("leading dot") << ".5" << true << qint64(50);
    QTest::addRow("a cent") << "0.01" << true << qint64(1);
    QTest::addRow("no double rounding") << "0.29" << true << qint64(29);
    QTest::addRow("large, exact") << "9999999999999.99" << true << qint64(999999999999999);
    QTest::addRow("spreadsheet noise above") << "14.390000000000001" << true << qint64(1439);
    QTest::addRow("spreadsheet noise below") << "14.389999999999999" << true << qint64(1439);
    QTest::addRow("trailing zeros") << "3.5000" << true << qint64(350);
    QTest::addRow("below a cent") << "0.005" << false << qint64(0);
    QTest::addRow("too large") << "99999999999999" << false << qint64(0);
    QTest::addRow("letters") << "5O.00" << false << qint64(0);
    QTest::addRow("empty") << "" << false << qint64(0);
    QTest::addRow("only a sign") << "-" << false << qint64(0);
    QTest::addRow("two dots") << "1.2.3" << false << qint64(0);
    QTest::addRow("exponent") << "1E+3" << false << qint64(0);
}

void TestBills::parseCents()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(qint64, cents);
    qint64 value = 0;
    QCOMPARE(BillReader::ParseCents(text, &value), ok);
    if (ok)
        QCOMPARE(value, cents);
}

void TestBills::parseDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::addRow("transaction time") << "2026-11-28 19:02:11" << QDate(2026, 11, 28);
    QTest::addRow("re-saved") << "2026/1/5 9:05" << QDate(2026, 1, 5);
    QTest::addRow("dots") << "2026.12.01" << QDate(2026, 12, 1);
    QTest::addRow("digits only") << "20261201" << QDate(2026, 12, 1);
    QTest::addRow("Chinese") << "2026年12月1日" << QDate(2026, 12, 1);
    QTest::addRow("ISO with T") << "2026-12-01T10:00:00" << QDate(2026, 12, 1);
    QTest::addRow("serial day") << "46357" << QDate(2026, 12, 1);
    QTest::addRow("serial day with time") << "46357.75" << QDate(2026, 12, 1);
    QTest::addRow("serial day with a spreadsheet's long fraction")
        << "46357.319444444445" << QDate(2026, 12, 1);
    QTest::addRow("serial day with a fraction too long") << "46357.319444444445123456" << QDate();
    QTest::addRow("impossible day") << "2026-02-30" << QDate();
    QTest::addRow("two-digit year") << "26-12-01" << QDate();
    QTest::addRow("a year alone") << "2026" << QDate();
    QTest::addRow("words") << "合计" << QDate();
    QTest::addRow("empty") << "" << QDate();
}

void TestBills::parseDate()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QCOMPARE(BillReader::ParseDate(text), date);
}

void TestBills::headerKey()
{
    const QStringList header = {QStringLiteral("交易日期"), QStringLiteral("金额（元）"),
                                QStringLiteral("摘要")};
    const QString key = BillReader::HeaderKey(header);
    QCOMPARE(key.size(), 40);
    // Padding, bracket width and trailing empty cells (a trailing delimiter) do not matter.
    QCOMPARE(BillReader::HeaderKey({QStringLiteral(" 交易日期 "), QStringLiteral("金额(元)"),
                                    QStringLiteral("摘要"), QString()}),
             key);
    QVERIFY(BillReader::HeaderKey({QStringLiteral("交易日期"), QStringLiteral("摘要"),
                                   QStringLiteral("金额（元）")}) != key);
    // The same statement in two encodings and delimiters.
    const TBillTable a = BillReader::ReadTable(gb18030(QStringLiteral("日期,金额\n1,2\n")));
    const TBillTable b = BillReader::ReadTable(QStringLiteral("日期;金额;\n1;2\n").toUtf8());
    QCOMPARE(BillReader::HeaderKey(a.rows.first()), BillReader::HeaderKey(b.rows.first()));

    // Next month's statement, with a longer preamble, finds the remembered header.
    const TBillTable bank = BillReader::ReadTable(load("bank-gbk.csv"));
    const QString bankKey = BillReader::HeaderKey(bank.rows.at(2));
    QCOMPARE(BillReader::FindHeader(bank, bankKey), 2);
    const TBillTable longer = BillReader::ReadTable(
        gb18030(QStringLiteral("本月明细,,\n打印时间：2026-12-31,,\n")) + load("bank-gbk.csv"));
    QCOMPARE(BillReader::FindHeader(longer, bankKey), 4);
    QCOMPARE(BillReader::FindHeader(longer, key), -1);
}

void TestBills::mappingRules_data()
{
    QTest::addColumn<QString>("csv");
    QTest::addColumn<TColumnMapping>("mapping");
    QTest::addColumn<int>("error");                 // -1: reads
    QTest::addColumn<QList<qint64>>("signedCents"); // income positive, expense negative

    TColumnMapping signedAmount;
    signedAmount.date = 0;
    signedAmount.amount = 1;
    TColumnMapping withType = signedAmount;
    withType.type = 2;
    TColumnMapping twoColumns;
    twoColumns.date = 0;
    twoColumns.income = 1;
    twoColumns.expense = 2;

    QTest::addRow("sign decides") << "d,a\n2026-1-1,-3\n2026-1-2,4\n"
                                  << signedAmount << -1 << QList<qint64>{-300, 400};
    QTest::addRow("type column decides over the sign")
        << "d,a,t\n2026-1-1,3,支出\n2026-1-2,4,贷\n2026-1-3,-5,?\n"
        << withType << -1 << QList<qint64>{-300, 400, -500};
    QTest::addRow("expense column with or without minus")
        << "d,in,out\n2026-1-1,,3\n2026-1-2,,-3\n2026-1-3,7,\n"
        << twoColumns << -1 << QList<qint64>{-300, -300, 700};
    QTest::addRow("footer rows ignored") << "d,a\n2026-1-1,1\n合计,1\n共1笔,\n"
                                         << signedAmount << -1 << QList<qint64>{100};
    QTest::addRow("bad row between good ones")
        << "d,a\n2026-1-1,1\n2026-1-x,2\n2026-1-3,3\n"
        << signedAmount << int(EBillError::BadLine) << QList<qint64>{};
    QTest::addRow("bad amount between good ones")
        << "d,a\n2026-1-1,1\n2026-1-2,abc\n2026-1-3,3\n"
        << signedAmount << int(EBillError::BadLine) << QList<qint64>{};
    TColumnMapping dateOnly;
    dateOnly.date = 0;
    QTest::addRow("no amount column") << "d,a\n2026-1-1,1\n"
                                      << dateOnly << int(EBillError::BadMapping) << QList<qint64>{};
    TColumnMapping beyond = signedAmount;
    beyond.headerRow = 9;
    QTest::addRow("header row beyond the table")
        << "d,a\n"
        << beyond << int(EBillError::BadMapping) << QList<qint64>{};
}

void TestBills::mappingRules()
{
    QFETCH(QString, csv);
    QFETCH(TColumnMapping, mapping);
    QFETCH(int, error);
    QFETCH(QList<qint64>, signedCents);
    const TBillTable table = BillReader::ReadTable(csv.toUtf8());
    TBillFile file;
    QCOMPARE(failure([&] { file = BillReader::ReadMapped(table, mapping); }), error);
    QList<qint64> got;
    for (const TBillLine &line : file.lines)
        got.append(line.type == BillType::Income ? line.cents : -line.cents);
    QCOMPARE(got, signedCents);
}

void TestBills::proposeCategory_data()
{
    QTest::addColumn<TBillLine>("line");
    QTest::addColumn<bool>("withRules");
    QTest::addColumn<bool>("withLast");
    QTest::addColumn<QStringList>("expenseCategories");
    QTest::addColumn<QString>("category");

    TBillLine meal;
    meal.counterparty = QStringLiteral("美团外卖");
    meal.goods = QStringLiteral("外卖订单");
    meal.appCategory = QStringLiteral("餐饮美食");
    TBillLine karaoke = meal;
    karaoke.counterparty = QStringLiteral("无名小店");
    karaoke.goods = QStringLiteral("KTV 包厢");
    TBillLine pet = karaoke;
    pet.goods = QStringLiteral("杂物");
    pet.appCategory = QStringLiteral("宠物");
    TBillLine ownName = pet;
    ownName.appCategory = QStringLiteral("日用品");
    TBillLine income = pet;
    income.type = BillType::Income;
    income.appCategory = QStringLiteral("收入");
    const QStringList account = {QStringLiteral("餐饮"), QStringLiteral("日用品")};

    QTest::addRow("the longest rule word wins") << meal << true << true << account << "外卖";
    QTest::addRow("rules match goods, case aside") << karaoke << true << true << account << "娱乐";
    QTest::addRow("then the last for the counterparty")
        << pet << true << true << account << "宠物用品";
    QTest::addRow("then the app class through the table")
        << meal << false << true << account << "餐饮";
    QTest::addRow("table's category missing from the account")
        << pet << false << false << account << "其他";
    QTest::addRow("a new account starts from the table")
        << pet << false << false << QStringList() << "宠物";
    QTest::addRow("app class named like a category")
        << ownName << false << false << account << "日用品";
    QTest::addRow("income goes by the income list")
        << income << false << false << account << "其他";
}

void TestBills::proposeCategory()
{
    QFETCH(TBillLine, line);
    QFETCH(bool, withRules);
    QFETCH(bool, withLast);
    QFETCH(QStringList, expenseCategories);
    QFETCH(QString, category);
    TCategoryContext context;
    if (withRules)
        context.rules = {{QStringLiteral("美团"), QStringLiteral("餐饮")},
                         {QStringLiteral("美团外卖"), QStringLiteral("外卖")},
                         {QStringLiteral("ktv"), QStringLiteral("娱乐")},
                         {QString(), QStringLiteral("空词不算")}};
    if (withLast)
        context.lastByCounterparty = {{QStringLiteral("无名小店"), QStringLiteral("宠物用品")}};
    context.appClasses = BillRules::DefaultAppClasses();
    context.expenseCategories = expenseCategories;
    context.incomeCategories = {QStringLiteral("工资")};
    QCOMPARE(BillRules::ProposeCategory(line, context), category);
    QList<TBillLine> lines = {line};
    BillRules::ProposeCategories(lines, context);
    QCOMPARE(lines.first().category, category);
}

void TestBills::duplicates_data()
{
    QTest::addColumn<QList<TBillLine>>("lines");
    QTest::addColumn<QList<bool>>("duplicate");

    TBillLine withId;
    withId.date = QDate(2026, 12, 1);
    withId.cents = 3550;
    withId.notes = QStringLiteral("美团外卖 · 外卖订单");
    withId.externalId = QStringLiteral("A1");
    TBillLine newId = withId;
    newId.externalId = QStringLiteral("A2");
    TBillLine closedOld = withId;
    closedOld.skip = SkipReason::Closed;
    TBillLine noId = withId;
    noId.externalId.clear();
    TBillLine noIdOtherAmount = noId;
    noIdOtherAmount.cents = 3551;
    TBillLine noIdIncome = noId;
    noIdIncome.type = BillType::Income;

    QTest::addRow("id imported before") << QList<TBillLine>{withId} << QList<bool>{true};
    QTest::addRow("new id, same content") << QList<TBillLine>{newId} << QList<bool>{false};
    QTest::addRow("id twice in the file")
        << QList<TBillLine>{newId, newId} << QList<bool>{false, true};
    QTest::addRow("imported before outranks another reason")
        << QList<TBillLine>{closedOld} << QList<bool>{true};
    QTest::addRow("no id, same content") << QList<TBillLine>{noId} << QList<bool>{true};
    QTest::addRow("no id, another amount")
        << QList<TBillLine>{noIdOtherAmount} << QList<bool>{false};
    QTest::addRow("no id, another type") << QList<TBillLine>{noIdIncome} << QList<bool>{false};
    QTest::addRow("no id, alike twice in the file, new")
        << QList<TBillLine>{noIdOtherAmount, noIdOtherAmount} << QList<bool>{false, false};
}

void TestBills::duplicates()
{
    QFETCH(QList<TBillLine>, lines);
    QFETCH(QList<bool>, duplicate);
    TImportedKeys imported;
    imported.externalIds.insert(
        BillRules::ExternalKey(QStringLiteral("alipay"), QStringLiteral("A1")));
    // The same id from another source is another order.
    imported.externalIds.insert(
        BillRules::ExternalKey(QStringLiteral("wechat"), QStringLiteral("A2")));
    imported.contents.insert(BillRules::ContentKey(QDate(2026, 12, 1), 3550, BillType::Expense,
                                                   QStringLiteral("美团外卖 · 外卖订单")));
    TBillFile file;
    file.source = QStringLiteral("alipay");
    file.lines = lines;
    BillRules::MarkDuplicates(file, imported);
    QList<bool> got;
    for (const TBillLine &line : file.lines)
        got.append(line.skip == SkipReason::Duplicate);
    QCOMPARE(got, duplicate);
}

QTEST_GUILESS_MAIN(TestBills)
#include "tst_Bills.moc"
