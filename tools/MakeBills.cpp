// Writes the sample bills of tests/fixtures/bills, in the encodings the apps
// and banks use; run by hand when a sample changes:
//   tallimo_makebills tests/fixtures/bills
// Every name, account and order number in them is made up.

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTextStream>

#include <xlsxwriter.h>

#include <cstdio>

namespace {

// Alipay's transaction detail file: preamble, header, newest first; order
// numbers end with a tab and every line with a comma. Line 3 is padded oddly,
// line 10 repeats line 1's order.
const char16_t alipayCurrent[] =
    uR"(------------------------------------------------------------------------------------
导出信息：
姓名：林小满
支付宝账户：lin***@example.com
起始时间：[2026-11-01 00:00:00]    终止时间：[2026-11-30 23:59:59]
导出交易类型：[全部]
导出时间：[2026-12-01 09:12:33]
共12笔记录
收入：2笔 5200.00元
支出：8笔 566.70元
不计收支：2笔 129.90元

特别提示：
1.本回单内容可表明支付宝受理了相关交易，不作为收款方发货依据；
2.本回单如经任何涂改、编造，均立即失去效力；
3.部分账单如：充值提现、账户转存或者个人设置收支等不计入为收入或者支出，记为不计收支类；
4.因统计逻辑不同，明细金额直接累加后，可能会和下方统计金额不一致，请以实际交易金额为准；
5.禁止将本回单用于非法用途；
6.本明细仅展示当前账单中的交易，不包括已删除的记录；
7.本明细仅供个人对账使用。

----------------------------------------电子客户回单------------------------------------------------
交易时间,交易分类,交易对方,对方账号,商品说明,收/支,金额,收/付款方式,交易状态,交易订单号,商家订单号,备注,
2026-11-28 19:02:11,餐饮美食,美团外卖,mei***@example.com,外卖订单,支出,35.50,花呗,交易成功,2026112822001100011234567890	,T20261128190211001	,,
2026-11-27 08:15:40,交通出行,滴滴出行,/,快车 11月27日 行程,支出,18.20,余额宝,交易成功,2026112722001100011234567891	,T20261127081540002	,,
2026-11-25 12:30:00 ,	餐饮美食 ,  山野面馆  ,/,  午餐  , 支出 , 26.00 ,余额,  交易关闭 ,2026112522001100011234567892	,	,,
2026-11-24 18:40:05,日用百货,好邻居超市,/,洗衣液 2L,支出,88.80,青禾银行储蓄卡(0001),交易成功,2026112422001100011234567893	,T20261124184005003	,,
2026-11-22 10:00:00,日用百货,好邻居超市,/,退款-洗衣液,不计收支,29.90,青禾银行储蓄卡(0001),退款成功,2026112222001100011234567894	,T20261124184005003	,,
2026-11-20 09:00:00,充值缴费,城市燃气,/,燃气费 11月,支出,120.00,余额宝,交易成功,2026112022001100011234567895	,T20261120090000004	,,
2026-11-18 07:30:00,投资理财,余额宝,/,转入余额宝,不计收支,100.00,余额,交易成功,2026111822001100011234567896	,	,,
2026-11-15 16:00:00,收入,青禾文化有限公司,qinghe***@example.com,报销款,收入,5000.00,余额,交易成功,2026111522001100011234567897	,	,,
2026-11-12 20:20:20,转账红包,王小雨,wang***@example.com,红包,收入,200.00,余额,交易成功,2026111222001100011234567898	,	,生日快乐,
2026-11-28 19:02:11,餐饮美食,美团外卖,mei***@example.com,外卖订单,支出,35.50,花呗,交易成功,2026112822001100011234567890	,T20261128190211001	,,
2026-11-08 14:14:14,服饰装扮,布衣小铺,/,羊毛衫,支出,159.00,花呗,等待付款,2026110822001100011234567899	,T20261108141414005	,,
2026-11-05 11:11:11,生活服务,城东停车场,/,停车 15 分钟,支出,0.00,余额,交易成功,2026110522001100011234567800	,	,,
)";

// The same kind of file after a spreadsheet saved it again: dates as
// yyyy/M/d H:mm, no tabs, padding commas on the preamble, no trailing comma.
const char16_t alipayResaved[] = uR"(导出信息：,,,,,,,,,,,
姓名：林小满,,,,,,,,,,,
共4笔记录,,,,,,,,,,,
,,,,,,,,,,,
----------------------------------------电子客户回单------------------------------------------------,,,,,,,,,,,
交易时间,交易分类,交易对方,对方账号,商品说明,收/支,金额,收/付款方式,交易状态,交易订单号,商家订单号,备注
2026/11/3 9:05,餐饮美食,早餐铺,/,豆浆油条,支出,7.5,余额,交易成功,2.02611E+27,,
2026/11/2 18:30,交通出行,城市地铁,/,地铁 2 号线,支出,4,余额,交易成功,,,
2026/11/1 0:01,收入,青禾文化有限公司,/,稿费,收入,"1,200.00",余额,交易成功,,,
2026/10/31 23:59,日用百货,好邻居超市,/,纸巾,支出,12.9,余额,交易关闭,,,
)";

// Alipay's older web download: every field padded, the amounts followed by a
// tab, a footer after dashes.
const char16_t alipayOld[] = uR"(支付宝交易记录明细查询
账号:[20880000000000000000]
起始日期:[2026-10-01 00:00:00]    终止日期:[2026-10-31 23:59:59]
---------------------------------交易记录明细列表------------------------------------
交易号                  ,商家订单号               ,交易创建时间              ,付款时间                ,最近修改时间              ,交易来源地     ,类型              ,交易对方            ,商品名称                ,金额（元）   ,收/支     ,交易状态    ,服务费（元）   ,成功退款（元）  ,备注                  ,资金状态     ,
2026103122001400011111111101	,T100001                 ,2026-10-31 20:11:05 ,2026-10-31 20:11:06 ,2026-10-31 20:11:06 ,其他（包括阿里巴巴和外部商家）,即时到账交易    ,青柠便利店          ,饮料零食              ,23.50  	,支出      ,交易成功    ,0.00     	,0.00     	,                    ,已支出      ,
2026102822001400011111111102	,T100002                 ,2026-10-28 15:00:00 ,2026-10-28 15:00:30 ,2026-10-29 09:00:00 ,淘宝          ,支付宝担保交易  ,半山书店            ,旧书三本              ,128.00 	,支出      ,交易成功    ,0.00     	,28.00    	,                    ,已支出      ,
2026102522001400011111111103	,T100003                 ,2026-10-25 10:00:00 ,2026-10-25 10:00:05 ,2026-10-27 10:00:00 ,淘宝          ,支付宝担保交易  ,数码小站            ,蓝牙耳机              ,399.00 	,支出      ,交易成功    ,0.00     	,399.00   	,                    ,已支出      ,
2026102022001400011111111104	,T100004                 ,2026-10-20 21:00:00 ,                    ,2026-10-20 21:30:00 ,淘宝          ,支付宝担保交易  ,布衣小铺            ,围巾                  ,59.00  	,支出      ,交易关闭    ,0.00     	,0.00     	,                    ,            ,
2026101522001400011111111105	,                        ,2026-10-15 08:00:00 ,2026-10-15 08:00:00 ,2026-10-15 08:00:00 ,其他          ,即时到账交易    ,林小满              ,转到银行卡            ,500.00 	,          ,交易成功    ,0.00     	,0.00     	,                    ,资金转移    ,
2026101022001400011111111106	,                        ,2026-10-10 12:00:00 ,2026-10-10 12:00:01 ,2026-10-10 12:00:01 ,其他          ,即时到账交易    ,陈大山              ,还饭钱                ,300.00 	,收入      ,交易成功    ,0.00     	,0.00     	,                    ,已收入      ,
2026100122001400011111111107	,T100007                 ,2026-10-01 23:59:50 ,2026-10-02 00:00:10 ,2026-10-02 00:00:10 ,淘宝          ,即时到账交易    ,山野面馆            ,国庆套餐              ,45.00  	,支出      ,交易成功    ,0.00     	,0.00     	,                    ,已支出      ,
------------------------------------------------------------------------------------
共7笔记录
已收入:1笔,300.00元
待收入:0笔,0.00元
已支出:5笔,654.50元
待支出:0笔,0.00元
导出时间:[2026-11-01 10:00:00]    用户:林小满
)";

// WeChat Pay's bill (the CSV of older exports; the workbook holds the same).
const char16_t weChat[] = uR"(微信支付账单明细,,,,,,,,,,
微信昵称：[小满],,,,,,,,,,
起始时间：[2026-11-01 00:00:00] 终止时间：[2026-11-30 23:59:59],,,,,,,,,,
导出类型：[全部],,,,,,,,,,
导出时间：[2026-12-01 10:05:22],,,,,,,,,,
,,,,,,,,,,
共11笔记录,,,,,,,,,,
收入：2笔 300.00元,,,,,,,,,,
支出：7笔 841.89元,,,,,,,,,,
中性交易：2笔 300.00元,,,,,,,,,,
注：,,,,,,,,,,
1. 充值/提现/理财通购买/零钱通存取/信用卡还款等交易，将计入中性交易,,,,,,,,,,
2. 本明细仅展示当前账单中的交易，不包括已删除的记录,,,,,,,,,,
3. 本明细仅供个人对账使用,,,,,,,,,,
,,,,,,,,,,
----------------------微信支付账单明细列表--------------------,,,,,,,,,,
交易时间,交易类型,交易对方,商品,收/支,金额(元),支付方式,当前状态,交易单号,商户单号,备注
2026-11-29 18:20:33,商户消费,美团外卖,外卖订单,支出,¥35.50,零钱,支付成功,4200000001202611291234567890	,10000000000000000001	,/
2026-11-27 12:00:00,商户消费,快乐超市,购物,支出,￥64.39,青禾银行信用卡(1234),已退款(￥14.39),4200000001202611271234567891	,10000000000000000002	,/
2026-11-25 09:30:00,商户消费,街角花店,鲜花一束,支出,¥99.00,零钱,已全额退款,4200000001202611251234567892	,10000000000000000003	,/
2026-11-24 20:00:00,微信红包,王小雨,/,收入,¥88.88,/,已存入零钱,1000039901202611240000000001	,/,/
2026-11-22 13:00:00,转账,陈大山,/,支出,¥500.00,零钱,对方已收钱,1000050001202611220000000002	,/,/
2026-11-20 10:00:00,零钱提现,建设银行(5678),/,/,¥200.00,建设银行(5678),提现已到账,1000039901202611200000000003	,/,服务费¥0.20
2026-11-18 08:00:00,零钱充值,青禾银行(1234),/,/,¥100.00,青禾银行(1234),充值完成,1000039901202611180000000004	,/,/
2026-11-15 15:15:15,二维码收款,赵小河,/,收入,¥211.12,/,已收钱,1000039901202611150000000005	,/,/
2026-11-12 07:40:00,扫二维码付款,早餐铺,/,支出,¥8.00,零钱,支付成功,4200000001202611121234567896	,10000000000000000006	,/
2026-11-29 18:20:33,商户消费,美团外卖,外卖订单,支出,¥35.50,零钱,支付成功,4200000001202611291234567890	,10000000000000000001	,/
2026-11-08 16:00:00,商户消费,文具店,笔记本,支出,¥40.00,零钱,已退款(￥40.00),4200000001202611081234567897	,10000000000000000007	,/
)";

// A bank's statement in GBK with separate income and expense columns and a
// row of sums under the lines.
const char16_t bankGbk[] = uR"(青禾银行 账户交易明细,,,,,,,
账号：6200 **** **** 0001,,,,,,,
交易日期,交易时间,收入金额,支出金额,余额,交易摘要,对方户名,流水号
20261101,09:30:00,,120.00,8880.00,消费,好邻居超市,B0001
20261103,10:00:00,"6,000.00",,14880.00,工资,青禾文化有限公司,B0002
20261105,12:00:00,,35.50,14844.50,消费,美团外卖,B0003
20261107,08:00:00,,0.00,14844.50,利息税,,B0004
合计,,"6,000.00",155.50,,,,
)";

// Another program's export: semicolons, quoted cells with the delimiter and
// doubled quotes inside, a ragged last line, a signed amount column.
const char16_t bankSemicolon[] = uR"(Date;Description;Amount;Reference
2026-11-02;"Coffee; large";-4.50;R-1
2026-11-03;"Book ""Rivers""";-32.00;R-2
 2026-11-04 ; Salary ;2500.00;R-3
2026-11-05;Refund shop;+12.30;R-4;extra;fields
2026-11-06;Parking;-6
)";

// Tab-separated UTF-16 ("Unicode text" from a spreadsheet) with a type column.
const char16_t bankUtf16[] = u"记账日期\t交易类型\t金额\t对方\t备注\r\n"
                             u"2026/11/1\t支出\t58.00\t城市燃气\t燃气费\r\n"
                             u"2026/11/2\t收入\t100.00\t王小雨\t还款\r\n"
                             u"2026/11/3\t支出\t12.00\t早餐铺\t\r\n";

QString text(const char16_t *s)
{
    return QString::fromUtf16(s);
}

// Lines with CR LF, as the apps write them.
QString crlf(const QString &s)
{
    QString t = s;
    return t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QByteArray encode(const QString &s, QStringConverter::Encoding encoding, bool bom = false)
{
    QStringEncoder encoder(encoding, bom ? QStringConverter::Flag::WriteBom
                                         : QStringConverter::Flag::Default);
    return encoder.encode(s);
}

QByteArray gb18030(const QString &s)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(s);
}

// The WeChat bill as a workbook: the title merged across the columns, as the
// app does; the breakfast's amount a number and its time a date cell, as a
// spreadsheet that touched the file would leave them.
bool writeWeChatXlsx(const QString &path, bool inlineStrings)
{
    lxw_workbook_options options = {};
    options.constant_memory = inlineStrings ? LXW_TRUE : LXW_FALSE;
    const QByteArray file = path.toUtf8();
    lxw_workbook *workbook = workbook_new_opt(file.constData(), &options);
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, "微信支付账单明细");
    lxw_format *dateFormat = workbook_add_format(workbook);
    format_set_num_format(dateFormat, "yyyy-mm-dd hh:mm:ss");
    const QStringList lines = text(weChat).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int r = 0; r < lines.size(); ++r) {
        QStringList cells = lines[r].split(QLatin1Char(','));
        while (!cells.isEmpty() && cells.last().isEmpty())
            cells.removeLast();
        if (r == 0 && !inlineStrings) {
            worksheet_merge_range(sheet, 0, 0, 0, 10, cells.value(0).toUtf8().constData(), nullptr);
            continue;
        }
        for (int c = 0; c < cells.size(); ++c) {
            const QString cell = cells[c].trimmed();
            if (cell.isEmpty())
                continue;
            if (cell == QStringLiteral("¥8.00")) {
                worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), 8, nullptr);
            } else if (cell == QStringLiteral("2026-11-12 07:40:00")) {
                lxw_datetime when = {2026, 11, 12, 7, 40, 0};
                worksheet_write_datetime(sheet, lxw_row_t(r), lxw_col_t(c), &when, dateFormat);
            } else {
                worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), cell.toUtf8().constData(),
                                       nullptr);
            }
        }
    }
    return workbook_close(workbook) == LXW_NO_ERROR;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    auto at = [&dir](const char *name) { return dir.filePath(QString::fromLatin1(name)); };
    bool ok =
        write(at("alipay-current.csv"), gb18030(crlf(text(alipayCurrent)))) &&
        write(at("alipay-resaved.csv"), gb18030(crlf(text(alipayResaved)))) &&
        write(at("alipay-old.csv"), gb18030(crlf(text(alipayOld)))) &&
        write(at("wechat.csv"), encode(crlf(text(weChat)), QStringConverter::Utf8, true)) &&
        write(at("bank-gbk.csv"), gb18030(crlf(text(bankGbk)))) &&
        write(at("bank-semicolon.csv"), encode(text(bankSemicolon), QStringConverter::Utf8)) &&
        write(at("bank-utf16.csv"), encode(text(bankUtf16), QStringConverter::Utf16LE, true));
    ok = ok && writeWeChatXlsx(at("wechat.xlsx"), false) &&
         writeWeChatXlsx(at("wechat-inline.xlsx"), true);
    return ok ? 0 : 1;
}
