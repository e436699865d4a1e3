#pragma once

// A made-up Alipay transaction detail file (the current layout, preamble and
// all, in GB18030) for the bill benchmarks.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringEncoder>

// Lines of every kind the rules tell apart, newest first, with made-up names.
inline QByteArray alipayBill(int lines)
{
    static const char16_t *const classes[] = {u"餐饮美食", u"交通出行", u"日用百货", u"充值缴费",
                                              u"服饰装扮", u"文化休闲", u"医疗健康", u"转账红包"};
    static const char16_t *const parties[] = {u"美团外卖", u"滴滴出行", u"好邻居超市", u"城市燃气",
                                              u"布衣小铺", u"半山书店", u"社区卫生站", u"王小雨"};
    static const char16_t *const statuses[] = {u"交易成功", u"交易成功", u"交易成功",
                                               u"交易成功", u"交易关闭", u"退款成功"};
    QString text;
    text.reserve(qsizetype(lines) * 190 + 2000);
    text += QStringLiteral("------------------------------------------------------------\r\n"
                           "导出信息：\r\n姓名：林小满\r\n支付宝账户：lin***@example.com\r\n"
                           "起始时间：[2020-01-01 00:00:00]    终止时间：[2026-11-30 23:59:59]\r\n"
                           "导出交易类型：[全部]\r\n导出时间：[2026-12-01 09:12:33]\r\n"
                           "共%1笔记录\r\n\r\n特别提示：\r\n"
                           "1.本明细仅展示当前账单中的交易，不包括已删除的记录；\r\n"
                           "2.本明细仅供个人对账使用。\r\n\r\n"
                           "---------------------------电子客户回单---------------------------\r\n"
                           "交易时间,交易分类,交易对方,对方账号,商品说明,收/支,金额,收/付款方式,"
                           "交易状态,交易订单号,商家订单号,备注,\r\n")
                .arg(lines);
    QDateTime when(QDate(2026, 11, 30), QTime(23, 0));
    for (int i = 0; i < lines; ++i) {
        const int k = i % 8;
        const QString status = QString::fromUtf16(statuses[i % 6]);
        const QString direction = status == u"退款成功" ? QStringLiteral("不计收支")
                                  : k == 7              ? QStringLiteral("收入")
                                                        : QStringLiteral("支出");
        text += when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        text += u',';
        text += QString::fromUtf16(classes[k]);
        text += u',';
        text += QString::fromUtf16(parties[k]);
        text += QStringLiteral(",/,商品 %1,").arg(i % 97);
        text += direction;
        text +=
            QStringLiteral(",%1.%2,余额,").arg(1 + i % 500).arg(i % 100, 2, 10, QLatin1Char('0'));
        text += status;
        text += QStringLiteral(",2026%1\t,T%2\t,,\r\n").arg(i, 24, 10, QLatin1Char('0')).arg(i);
        when = when.addSecs(-(600 + i % 3000));
    }
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}
