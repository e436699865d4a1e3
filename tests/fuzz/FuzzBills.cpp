// libFuzzer targets for the bills' readers; FUZZ_CSV, FUZZ_ALIPAY_CURRENT,
// FUZZ_ALIPAY_OLD, FUZZ_WECHAT or FUZZ_XLSX chooses which (scripts/fuzz.sh
// builds and runs them). A reader may refuse any input with EBillError; any
// other exception, a crash, a sanitizer report, a hang or a line that breaks
// the readers' promises is a finding.

#include "BillReader.h"
#include "BillRules.h"
#include "XlsxSheet.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// A broken promise names itself before the fuzzer keeps the input.
#define check(promise)                                                                             \
    do {                                                                                           \
        if (!(promise)) {                                                                          \
            std::fprintf(stderr, "broken promise, line %d: %s\n", __LINE__, #promise);             \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

void checkTable(const TBillTable &table)
{
    check(table.rows.size() == table.lineNumbers.size());
    int last = 0;
    for (qsizetype i = 0; i < table.rows.size(); ++i) {
        check(!table.rows.at(i).isEmpty());
        check(table.lineNumbers.at(i) > last);
        last = table.lineNumbers.at(i);
    }
}

// What the preview and the import do with a bill's lines.
void useLines(TBillFile &file)
{
    for (const TBillLine &line : file.lines) {
        check(line.date.isValid());
        check(line.cents >= 0);
        check(line.lineNumber > 0);
        // WeChat's "/" is never a counterparty or goods; the notes are made of both.
        check(line.counterparty != u"/" && line.goods != u"/");
        check(line.notes == line.counterparty || line.notes == line.goods ||
              line.notes == line.counterparty + QStringLiteral(" · ") + line.goods);
    }
    TCategoryContext context;
    context.rules = {{QStringLiteral("外卖"), QStringLiteral("餐饮")}};
    context.appClasses = BillRules::DefaultAppClasses();
    BillRules::ProposeCategories(file.lines, context);
    BillRules::MarkDuplicates(file, TImportedKeys());
    const TBillSummary summary = BillReader::Summarize(file.lines);
    int counted = summary.count[0] + summary.count[1];
    for (int n : summary.skipped)
        counted += n;
    check(counted == file.lines.size());
}

void readTable(const TBillTable &table)
{
    checkTable(table);
    TBillFile file;
    if (BillReader::DetectLayout(table) != BillLayout::Unknown)
        file = BillReader::ReadApp(table);
    else
        file = BillReader::ReadMapped(table, BillReader::GuessMapping(table));
    useLines(file);
}

#if defined(FUZZ_ALIPAY_CURRENT) || defined(FUZZ_ALIPAY_OLD) || defined(FUZZ_WECHAT)
// The lines of one app's layout under its header, so that every input reaches
// the layout's own rules.
void readLayout(const QByteArray &bytes, const char16_t *header, BillLayout layout)
{
    TBillTable table = BillCsv::Split(QString::fromUtf8(bytes), u',');
    table.rows.prepend(QString::fromUtf16(header).split(u','));
    table.lineNumbers.prepend(0);
    check(BillReader::DetectLayout(table) == layout);
    TBillFile file = BillReader::ReadApp(table);
    check(file.layout == layout);
    useLines(file);
}
#endif

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
#if defined(FUZZ_CSV)
        readTable(BillCsv::ReadCsv(bytes));
#elif defined(FUZZ_XLSX)
        readTable(XlsxSheet::ReadFirstSheet(bytes));
#elif defined(FUZZ_ALIPAY_CURRENT)
        readLayout(bytes,
                   u"交易时间,交易分类,交易对方,对方账号,商品说明,收/支,金额,收/付款方式,"
                   u"交易状态,交易订单号,商家订单号,备注,",
                   BillLayout::AlipayCurrent);
#elif defined(FUZZ_ALIPAY_OLD)
        readLayout(bytes,
                   u"交易号,商家订单号,交易创建时间,付款时间,最近修改时间,交易来源地,类型,"
                   u"交易对方,商品名称,金额（元）,收/支,交易状态,服务费（元）,成功退款（元）,"
                   u"备注,资金状态,",
                   BillLayout::AlipayOld);
#elif defined(FUZZ_WECHAT)
        readLayout(bytes,
                   u"交易时间,交易类型,交易对方,商品,收/支,金额(元),支付方式,当前状态,交易单号,"
                   u"商户单号,备注",
                   BillLayout::WeChat);
#else
#error "define one FUZZ_ target"
#endif
    } catch (const EBillError &) {
        // A sentence for the person: the expected end of a bad input.
    }
    return 0;
}
