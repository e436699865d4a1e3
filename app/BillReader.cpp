#include "BillReader.h"

#include "XlsxSheet.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <initializer_list>

namespace {

// Header names compared without padding and with ASCII brackets, since the
// apps write 金额(元) and 金额（元） in different years.
QString headerName(const QString &cell)
{
    QString name = cell.trimmed();
    name.replace(u'（', u'(').replace(u'）', u')');
    return name;
}

int findColumn(const QStringList &header, std::initializer_list<const char16_t *> names)
{
    for (const char16_t *name : names) {
        const qsizetype i = header.indexOf(QString::fromUtf16(name));
        if (i >= 0)
            return int(i);
    }
    return -1;
}

// Where each field of an app's layout is; -1 for a column the file lacks.
struct TAppColumns {
    int time = -1;
    int paidTime = -1; // the older Alipay layout's 付款时间, empty for unpaid trades
    int direction = -1;
    int amount = -1;
    int refund = -1;
    int status = -1;
    int appCategory = -1;
    int counterparty = -1;
    int goods = -1;
    int id = -1;
};

BillLayout layoutOf(const QStringList &header, TAppColumns *columns)
{
    TAppColumns c;
    auto has = [&header](const char16_t *name) {
        return header.contains(QString::fromUtf16(name));
    };
    BillLayout layout = BillLayout::Unknown;
    if (has(u"交易时间") && has(u"当前状态") && has(u"收/支")) {
        layout = BillLayout::WeChat;
        c.time = findColumn(header, {u"交易时间"});
        c.appCategory = findColumn(header, {u"交易类型"});
        c.counterparty = findColumn(header, {u"交易对方"});
        c.goods = findColumn(header, {u"商品", u"商品说明"});
        c.amount = findColumn(header, {u"金额(元)", u"金额"});
        c.status = findColumn(header, {u"当前状态"});
        c.id = findColumn(header, {u"交易单号"});
    } else if (has(u"交易号") && has(u"交易创建时间") && has(u"收/支")) {
        layout = BillLayout::AlipayOld;
        c.time = findColumn(header, {u"交易创建时间"});
        c.paidTime = findColumn(header, {u"付款时间"});
        c.appCategory = findColumn(header, {u"类型"});
        c.counterparty = findColumn(header, {u"交易对方"});
        c.goods = findColumn(header, {u"商品名称"});
        c.amount = findColumn(header, {u"金额(元)", u"金额"});
        c.refund = findColumn(header, {u"成功退款(元)", u"成功退款"});
        c.status = findColumn(header, {u"交易状态"});
        c.id = findColumn(header, {u"交易号"});
    } else if (has(u"交易时间") && has(u"交易状态") && has(u"收/支")) {
        layout = BillLayout::AlipayCurrent;
        c.time = findColumn(header, {u"交易时间"});
        c.appCategory = findColumn(header, {u"交易分类"});
        c.counterparty = findColumn(header, {u"交易对方"});
        c.goods = findColumn(header, {u"商品说明", u"商品名称"});
        c.amount = findColumn(header, {u"金额", u"金额(元)"});
        c.status = findColumn(header, {u"交易状态"});
        c.id = findColumn(header, {u"交易订单号", u"交易号"});
    }
    c.direction = findColumn(header, {u"收/支"});
    if (layout != BillLayout::Unknown && c.amount < 0)
        layout = BillLayout::Unknown;
    if (columns)
        *columns = c;
    return layout;
}

QStringList headerNames(const QStringList &row)
{
    QStringList names;
    names.reserve(row.size());
    for (const QString &cell : row)
        names.append(headerName(cell));
    return names;
}

constexpr int HeaderSearchRows = 100;
constexpr qint64 MegaByte = 1024LL * 1024;

bool isEmptyRow(const QStringList &row)
{
    for (const QString &cell : row) {
        if (!cell.trimmed().isEmpty())
            return false;
    }
    return true;
}

// The footer of the apps' files begins with a line of dashes.
bool isDashes(const QStringList &row)
{
    for (const QString &cell : row) {
        const QString t = cell.trimmed();
        if (!t.isEmpty())
            return t.startsWith(QStringLiteral("---"));
    }
    return false;
}

QString cellOf(const QStringList &row, int column)
{
    return column < 0 ? QString() : row.value(column).trimmed();
}

// "/" is how WeChat writes an empty field.
QString meaningful(const QString &text)
{
    return text == u"/" ? QString() : text;
}

QString joinNotes(const QString &counterparty, const QString &goods)
{
    if (counterparty.isEmpty())
        return goods;
    if (goods.isEmpty())
        return counterparty;
    return counterparty + QStringLiteral(" · ") + goods;
}

[[noreturn]] void badLine(int line, const QString &what, const QString &text)
{
    throw EBillError(EBillError::BadLine,
                     QStringLiteral("第 %1 行的%2“%3”无法识别，账单可能已损坏。没有导入任何记录。")
                         .arg(line)
                         .arg(what, text.left(40)));
}

[[noreturn]] void cutLine(int line)
{
    throw EBillError(EBillError::CutShort,
                     QStringLiteral("文件不完整：第 %1 行缺少后面的栏目，文件可能被截断了。"
                                    "没有导入任何记录。")
                         .arg(line));
}

// 收入 and 支出; anything else (不计收支, "/", empty) is neutral.
bool directionOf(const QString &text, BillType *type)
{
    if (text == u"支出") {
        *type = BillType::Expense;
        return true;
    }
    if (text == u"收入") {
        *type = BillType::Income;
        return true;
    }
    return false;
}

// The refund in WeChat's "已退款(￥14.39)".
bool partRefund(const QString &status, qint64 *cents)
{
    const qsizetype at = status.indexOf(QStringLiteral("已退款"));
    if (at < 0)
        return false;
    QString digits;
    for (qsizetype i = at + 3; i < status.size(); ++i) {
        const QChar c = status[i];
        if (c.isDigit() || c == u'.' || c == u',')
            digits += c;
        else if (!digits.isEmpty())
            break;
    }
    return BillReader::ParseCents(digits, cents) && *cents >= 0;
}

TBillLine readAppLine(BillLayout layout, const TAppColumns &c, const QStringList &row, int line)
{
    int needed = 0;
    for (int column : {c.time, c.direction, c.amount, c.status, c.refund})
        needed = qMax(needed, column);
    if (row.size() <= needed)
        cutLine(line);

    TBillLine bill;
    bill.lineNumber = line;
    QString time = cellOf(row, c.paidTime);
    if (time.isEmpty())
        time = cellOf(row, c.time);
    bill.date = BillReader::ParseDate(time);
    if (!bill.date.isValid())
        badLine(line, QStringLiteral("交易时间"), time);
    const QString amountText = cellOf(row, c.amount);
    qint64 cents = 0;
    if (!BillReader::ParseCents(amountText, &cents))
        badLine(line, QStringLiteral("金额"), amountText);
    cents = qAbs(cents);
    qint64 refund = 0;
    const QString refundText = cellOf(row, c.refund);
    if (!refundText.isEmpty() && !BillReader::ParseCents(refundText, &refund))
        badLine(line, QStringLiteral("退款金额"), refundText);
    refund = qAbs(refund);

    bill.appCategory = meaningful(cellOf(row, c.appCategory));
    bill.counterparty = meaningful(cellOf(row, c.counterparty));
    bill.goods = meaningful(cellOf(row, c.goods));
    bill.notes = joinNotes(bill.counterparty, bill.goods);
    bill.status = cellOf(row, c.status);
    bill.externalId = meaningful(cellOf(row, c.id));
    const bool directed = directionOf(cellOf(row, c.direction), &bill.type);

    SkipReason skip = SkipReason::None;
    if (layout == BillLayout::WeChat) {
        if (bill.status.contains(QStringLiteral("全额退款"))) {
            skip = SkipReason::Refunded;
        } else if (bill.status.contains(QStringLiteral("已退款"))) {
            if (!partRefund(bill.status, &refund))
                badLine(line, QStringLiteral("退款金额"), bill.status);
            if (refund >= cents)
                skip = SkipReason::Refunded;
            else
                cents -= refund;
        }
    } else {
        if (bill.status.contains(QStringLiteral("关闭")))
            skip = SkipReason::Closed;
        else if (bill.status.contains(QStringLiteral("退款")))
            skip = SkipReason::Refunded;
        else if (bill.status != u"交易成功" && bill.status != u"支付成功")
            skip = SkipReason::OtherStatus;
        if (refund > 0) {
            if (refund >= cents && skip == SkipReason::None)
                skip = SkipReason::Refunded;
            cents = qMax<qint64>(0, cents - refund);
        }
    }
    if (skip == SkipReason::None && !directed)
        skip = SkipReason::Neutral;
    if (skip == SkipReason::None && cents == 0)
        skip = SkipReason::ZeroAmount;
    bill.cents = cents;
    bill.skip = skip;
    return bill;
}

QString sourceOf(BillLayout layout)
{
    switch (layout) {
    case BillLayout::AlipayCurrent:
    case BillLayout::AlipayOld:
        return QStringLiteral("alipay");
    case BillLayout::WeChat:
        return QStringLiteral("wechat");
    default:
        return QString();
    }
}

// Type words of bank statements and other ledgers.
bool typeWord(const QString &text, BillType *type)
{
    const QString t = text.trimmed().toLower();
    if (t.isEmpty())
        return false;
    for (const char16_t *w : {u"收入", u"收", u"入账", u"存入", u"贷", u"贷方", u"转入", u"收款",
                              u"income", u"credit", u"cr", u"in"}) {
        if (t == QString::fromUtf16(w)) {
            *type = BillType::Income;
            return true;
        }
    }
    for (const char16_t *w : {u"支出", u"支", u"出账", u"支取", u"借", u"借方", u"转出", u"付款",
                              u"消费", u"expense", u"debit", u"dr", u"out"}) {
        if (t == QString::fromUtf16(w)) {
            *type = BillType::Expense;
            return true;
        }
    }
    return false;
}

} // namespace

bool TColumnMapping::operator==(const TColumnMapping &o) const
{
    return headerRow == o.headerRow && date == o.date && amount == o.amount && income == o.income &&
           expense == o.expense && type == o.type && category == o.category &&
           externalId == o.externalId &&
           // Element by element: QList's own == hands memcmp the null data of two empty lists.
           std::equal(notes.cbegin(), notes.cend(), o.notes.cbegin(), o.notes.cend());
}

TBillTable BillReader::ReadTable(const QByteArray &bytes)
{
    if (bytes.size() > BillCsv::MaxFileBytes)
        throw EBillError(EBillError::TooLarge,
                         QStringLiteral("文件超过 %L1 MB，不像一份账单，没有读取。")
                             .arg(BillCsv::MaxFileBytes / MegaByte));
    if (bytes.trimmed().isEmpty())
        throw EBillError(EBillError::Unreadable, QStringLiteral("文件是空的，没有可导入的内容。"));
    if (XlsxSheet::LooksLikeZip(bytes))
        return XlsxSheet::ReadFirstSheet(bytes);
    if (bytes.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        throw EBillError(
            EBillError::Unreadable,
            QStringLiteral("这是旧式 Excel 文件（.xls）或有密码保护的工作簿，无法直接读取。"
                           "请在表格程序中去掉密码，另存为 .xlsx 或 CSV 后再导入。"));
    if (bytes.startsWith("%PDF"))
        throw EBillError(EBillError::Unreadable,
                         QStringLiteral("这是 PDF 文件。请在支付应用或网上银行中导出 CSV 或 Excel "
                                        "格式的账单后再导入。"));
    return BillCsv::ReadCsv(bytes);
}

TBillTable BillReader::ReadTableFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile() && info.size() > BillCsv::MaxFileBytes)
        throw EBillError(EBillError::TooLarge,
                         QStringLiteral("文件“%1”超过 %L2 MB，不像一份账单，没有读取。")
                             .arg(info.fileName())
                             .arg(BillCsv::MaxFileBytes / MegaByte));
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        throw EBillError(
            EBillError::Unreadable,
            QStringLiteral("无法打开文件“%1”：%2")
                .arg(path, info.isDir() ? QStringLiteral("这是一个文件夹。") : file.errorString()));
    // Read one byte beyond the bound so that a file grown since the check is caught too.
    const QByteArray bytes = file.read(BillCsv::MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw EBillError(EBillError::Unreadable,
                         QStringLiteral("无法读取文件“%1”：%2").arg(path, file.errorString()));
    return ReadTable(bytes);
}

BillLayout BillReader::DetectLayout(const TBillTable &table, int *headerRow)
{
    const int rows = int(qMin<qsizetype>(table.rows.size(), HeaderSearchRows));
    for (int r = 0; r < rows; ++r) {
        const BillLayout layout = layoutOf(headerNames(table.rows.at(r)), nullptr);
        if (layout != BillLayout::Unknown) {
            if (headerRow)
                *headerRow = r;
            return layout;
        }
    }
    if (headerRow)
        *headerRow = -1;
    return BillLayout::Unknown;
}

TBillFile BillReader::ReadApp(const TBillTable &table)
{
    int headerRow = -1;
    const BillLayout layout = DetectLayout(table, &headerRow);
    if (layout == BillLayout::Unknown)
        throw EBillError(EBillError::NotAppBill,
                         QStringLiteral("这不是支付宝或微信支付导出的账单。"
                                        "请指定各列的含义（日期、金额、备注等）后再导入。"));
    TAppColumns columns;
    layoutOf(headerNames(table.rows.at(headerRow)), &columns);
    TBillFile file;
    file.layout = layout;
    file.source = sourceOf(layout);
    file.encoding = table.encoding;
    for (qsizetype r = headerRow + 1; r < table.rows.size(); ++r) {
        const QStringList &row = table.rows.at(r);
        if (isEmptyRow(row))
            continue;
        if (isDashes(row))
            break;
        file.lines.append(readAppLine(layout, columns, row, table.lineNumbers.value(r)));
    }
    return file;
}

TBillFile BillReader::ReadMapped(const TBillTable &table, const TColumnMapping &m)
{
    if (!m.isValid() || m.headerRow < 0 || m.headerRow >= table.rows.size())
        throw EBillError(EBillError::BadMapping,
                         QStringLiteral("请指定日期所在的列，以及金额所在的列"
                                        "（一列带正负号的金额，或收入、支出各一列）。"));
    TBillFile file;
    file.layout = BillLayout::Mapped;
    file.source = QStringLiteral("csv:") + HeaderKey(table.rows.at(m.headerRow));
    file.encoding = table.encoding;

    // A bad row is an error only when a good one follows it: rows of sums
    // and notes under the last line are the footer.
    QString pendingWhat, pendingText;
    int pendingLine = 0;
    for (qsizetype r = m.headerRow + 1; r < table.rows.size(); ++r) {
        const QStringList &row = table.rows.at(r);
        if (isEmptyRow(row))
            continue;
        const int line = table.lineNumbers.value(r);
        TBillLine bill;
        bill.lineNumber = line;
        const QString dateText = cellOf(row, m.date);
        bill.date = ParseDate(dateText);
        qint64 cents = 0;
        bool amountOk = true;
        QString amountText;
        auto add = [&](int column) {
            const QString text = cellOf(row, column);
            if (column < 0 || text.isEmpty())
                return;
            qint64 value = 0;
            if (ParseCents(text, &value))
                cents += value;
            else if (amountOk)
                amountOk = false, amountText = text;
        };
        add(m.amount);
        add(m.income);
        // An expense column may hold its amounts with or without a minus.
        if (m.expense >= 0) {
            qint64 before = cents;
            add(m.expense);
            const qint64 expense = cents - before;
            cents = before - qAbs(expense);
        }
        if (!bill.date.isValid() || !amountOk) {
            if (pendingLine == 0) {
                pendingLine = line;
                pendingWhat =
                    !bill.date.isValid() ? QStringLiteral("日期") : QStringLiteral("金额");
                pendingText = !bill.date.isValid() ? dateText : amountText;
            }
            continue;
        }
        if (pendingLine != 0)
            badLine(pendingLine, pendingWhat, pendingText);

        BillType type = cents < 0 ? BillType::Expense : BillType::Income;
        if (m.type >= 0 && m.amount >= 0)
            typeWord(cellOf(row, m.type), &type);
        bill.type = type;
        bill.cents = qAbs(cents);
        bill.appCategory = cellOf(row, m.category);
        QStringList notes;
        for (int column : m.notes) {
            const QString text = meaningful(cellOf(row, column));
            if (!text.isEmpty())
                notes.append(text);
        }
        bill.counterparty = notes.value(0);
        bill.goods = notes.mid(1).join(QStringLiteral(" · "));
        bill.notes = joinNotes(bill.counterparty, bill.goods);
        bill.externalId = cellOf(row, m.externalId);
        bill.skip = bill.cents == 0 ? SkipReason::ZeroAmount : SkipReason::None;
        file.lines.append(bill);
    }
    return file;
}

TColumnMapping BillReader::GuessMapping(const TBillTable &table)
{
    TColumnMapping m;
    auto matches = [](const QString &name, std::initializer_list<const char16_t *> words) {
        for (const char16_t *w : words) {
            if (name.contains(QString::fromUtf16(w), Qt::CaseInsensitive))
                return true;
        }
        return false;
    };
    const std::initializer_list<const char16_t *> dateWords = {u"日期", u"时间", u"date"};
    const int rows = int(qMin<qsizetype>(table.rows.size(), 30));
    for (int r = 0; r < rows; ++r) {
        bool found = false;
        for (const QString &cell : table.rows.at(r))
            found = found || (cell.trimmed().size() <= 12 && matches(cell, dateWords));
        if (found) {
            m.headerRow = r;
            break;
        }
    }
    if (table.rows.isEmpty())
        return m;
    const QStringList header = headerNames(table.rows.at(m.headerRow));
    QList<bool> used(header.size(), false);
    // The earlier word wins over the earlier column: 交易日期 before 交易时间.
    auto take = [&](std::initializer_list<const char16_t *> words) {
        for (const char16_t *word : words) {
            for (int i = 0; i < header.size(); ++i) {
                if (!used[i] && matches(header[i], {word})) {
                    used[i] = true;
                    return i;
                }
            }
        }
        return -1;
    };
    m.date = take(dateWords);
    m.income = take({u"收入", u"存入", u"贷方", u"credit"});
    m.expense = take({u"支出", u"支取", u"借方", u"debit"});
    m.amount = take({u"金额", u"发生额", u"amount"});
    if (m.amount >= 0) {
        // One signed column is the simpler reading of a statement that has both.
        if (m.income >= 0 && m.expense < 0)
            m.income = -1;
    }
    m.type = take({u"收/支", u"收支", u"借贷", u"类型", u"type"});
    m.category = take({u"分类", u"类别", u"category"});
    m.externalId =
        take({u"流水号", u"订单号", u"单号", u"交易号", u"凭证号", u"参考号", u"reference"});
    for (;;) {
        const int notes = take({u"对方", u"商品", u"摘要", u"备注", u"用途", u"说明",
                                u"description", u"memo", u"note", u"payee"});
        if (notes < 0)
            break;
        m.notes.append(notes);
    }
    return m;
}

QString BillReader::HeaderKey(const QStringList &header)
{
    QStringList names = headerNames(header);
    while (!names.isEmpty() && names.last().isEmpty())
        names.removeLast();
    return QString::fromLatin1(
        QCryptographicHash::hash(names.join(QChar(0x1F)).toUtf8(), QCryptographicHash::Sha1)
            .toHex());
}

int BillReader::FindHeader(const TBillTable &table, const QString &key)
{
    const int rows = int(qMin<qsizetype>(table.rows.size(), HeaderSearchRows));
    for (int r = 0; r < rows; ++r) {
        if (HeaderKey(table.rows.at(r)) == key)
            return r;
    }
    return -1;
}

TBillFile BillReader::ReadBill(const QByteArray &bytes)
{
    return ReadApp(ReadTable(bytes));
}

TBillFile BillReader::ReadBillFile(const QString &path)
{
    return ReadApp(ReadTableFile(path));
}

bool BillReader::ParseCents(QStringView text, qint64 *cents)
{
    QString t;
    t.reserve(text.size());
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'¥' || c == u'￥' || c == u'元' || c == u',' ||
            c == QChar(0x3000))
            continue;
        t += c;
    }
    bool negative = false;
    if (t.startsWith(u'(') && t.endsWith(u')')) {
        negative = true;
        t = t.mid(1, t.size() - 2);
    }
    if (t.startsWith(u'-') || t.startsWith(u'+') || t.startsWith(QChar(0x2212))) {
        negative = negative != (t[0] != u'+');
        t.remove(0, 1);
    }
    const qsizetype dot = t.indexOf(u'.');
    const QString whole = dot < 0 ? t : t.left(dot);
    const QString fraction = dot < 0 ? QString() : t.mid(dot + 1);
    auto digitsOnly = [](const QString &s) {
        for (QChar c : s) {
            if (c < u'0' || c > u'9')
                return false;
        }
        return true;
    };
    if ((whole.isEmpty() && fraction.isEmpty()) || !digitsOnly(whole) || !digitsOnly(fraction) ||
        whole.size() > 13)
        return false;
    qint64 value = 0;
    for (QChar c : whole)
        value = value * 10 + (c.unicode() - u'0');
    value *= 100;
    for (int i = 0; i < 2; ++i)
        value += qint64(i < fraction.size() ? fraction[i].unicode() - u'0' : 0) * (i == 0 ? 10 : 1);
    if (fraction.size() > 2) {
        const QString rest = fraction.mid(2);
        // A spreadsheet's binary noise: 14.390000000000001, 14.389999999999999.
        const bool zeros =
            rest.count(u'0') == rest.size() || rest.startsWith(QStringLiteral("00000"));
        const bool nines = rest.startsWith(QStringLiteral("99999"));
        if (!zeros && !nines)
            return false;
        if (nines)
            ++value;
    }
    *cents = negative ? -value : value;
    return true;
}

QDate BillReader::ParseDate(QStringView text)
{
    QString t = text.trimmed().toString();
    if (t.isEmpty() || t.size() > 40)
        return QDate();
    qsizetype cut = t.indexOf(u' ');
    if (cut < 0)
        cut = t.indexOf(u'T');
    if (cut >= 0)
        t.truncate(cut);
    // At most nine digits go into an int.
    auto number = [](const QString &s, int minDigits, int maxDigits, int *value) {
        Q_ASSERT(maxDigits <= 9);
        if (s.size() < minDigits || s.size() > maxDigits)
            return false;
        *value = 0;
        for (QChar c : s) {
            if (c < u'0' || c > u'9')
                return false;
            *value = *value * 10 + (c.unicode() - u'0');
        }
        return true;
    };
    int y = 0, m = 0, d = 0;
    if (t.size() == 8 && number(t, 8, 8, &y))
        return QDate(y / 10000, y / 100 % 100, y % 100);
    // A spreadsheet's serial day number (1900 date system), with or without a
    // time fraction; from 1954 on, so that a bare year or a count is no date.
    const qsizetype dot = t.indexOf(u'.');
    static const QRegularExpression fraction(QStringLiteral("^[0-9]{1,17}$"));
    if ((dot < 0 && number(t, 1, 7, &d)) ||
        (dot > 0 && number(t.left(dot), 1, 7, &d) && fraction.match(t.mid(dot + 1)).hasMatch())) {
        if (d < 20000 || d > 2958465)
            return QDate();
        return QDate(1899, 12, 30).addDays(d);
    }
    t.replace(u'年', u'-').replace(u'月', u'-').remove(u'日');
    t.replace(u'/', u'-').replace(u'.', u'-');
    const QStringList parts = t.split(u'-');
    if (parts.size() != 3 || !number(parts[0], 4, 4, &y) || !number(parts[1], 1, 2, &m) ||
        !number(parts[2], 1, 2, &d) || y < 1900)
        return QDate();
    return QDate(y, m, d);
}

TBillSummary BillReader::Summarize(const QList<TBillLine> &lines)
{
    TBillSummary s;
    for (const TBillLine &line : lines) {
        if (line.toImport()) {
            const size_t t = line.type == BillType::Income ? 1 : 0;
            ++s.count[t];
            s.cents[t] += line.cents;
        } else {
            ++s.skipped[line.skip];
            s.skippedCents[line.skip] += line.cents;
        }
    }
    return s;
}

QString BillReader::TypeWord(BillType type)
{
    return type == BillType::Income ? QStringLiteral("收入") : QStringLiteral("支出");
}

QString BillReader::SkipReasonText(SkipReason reason)
{
    switch (reason) {
    case SkipReason::None:
        return QStringLiteral("导入");
    case SkipReason::Neutral:
        return QStringLiteral("不计收支");
    case SkipReason::Closed:
        return QStringLiteral("交易关闭");
    case SkipReason::Refunded:
        return QStringLiteral("已退款");
    case SkipReason::OtherStatus:
        return QStringLiteral("其他交易状态");
    case SkipReason::ZeroAmount:
        return QStringLiteral("金额为零");
    case SkipReason::Duplicate:
        return QStringLiteral("已导入过");
    }
    return QString();
}

QString BillReader::LayoutName(BillLayout layout)
{
    switch (layout) {
    case BillLayout::AlipayCurrent:
        return QStringLiteral("支付宝交易明细");
    case BillLayout::AlipayOld:
        return QStringLiteral("支付宝交易记录（旧版）");
    case BillLayout::WeChat:
        return QStringLiteral("微信支付账单");
    case BillLayout::Mapped:
        return QStringLiteral("其他账单");
    case BillLayout::Unknown:
        break;
    }
    return QString();
}
