#include "BillRules.h"

QString BillRules::OtherCategory()
{
    return QStringLiteral("其他");
}

QHash<QString, QString> BillRules::DefaultAppClasses()
{
    static const QHash<QString, QString> table = {
        // Alipay's 交易分类
        {QStringLiteral("餐饮美食"), QStringLiteral("餐饮")},
        {QStringLiteral("交通出行"), QStringLiteral("交通")},
        {QStringLiteral("日用百货"), QStringLiteral("日用")},
        {QStringLiteral("充值缴费"), QStringLiteral("缴费")},
        {QStringLiteral("服饰装扮"), QStringLiteral("服饰")},
        {QStringLiteral("数码电器"), QStringLiteral("数码")},
        {QStringLiteral("美容美发"), QStringLiteral("美容")},
        {QStringLiteral("母婴亲子"), QStringLiteral("育儿")},
        {QStringLiteral("宠物"), QStringLiteral("宠物")},
        {QStringLiteral("运动户外"), QStringLiteral("运动")},
        {QStringLiteral("文化休闲"), QStringLiteral("娱乐")},
        {QStringLiteral("教育培训"), QStringLiteral("教育")},
        {QStringLiteral("医疗健康"), QStringLiteral("医疗")},
        {QStringLiteral("生活服务"), QStringLiteral("生活")},
        {QStringLiteral("住房物业"), QStringLiteral("住房")},
        {QStringLiteral("酒店旅游"), QStringLiteral("旅游")},
        {QStringLiteral("爱车养车"), QStringLiteral("汽车")},
        {QStringLiteral("家居家装"), QStringLiteral("家居")},
        {QStringLiteral("转账红包"), QStringLiteral("人情")},
        {QStringLiteral("公益捐赠"), QStringLiteral("捐赠")},
        {QStringLiteral("保险"), QStringLiteral("保险")},
        {QStringLiteral("投资理财"), QStringLiteral("理财")},
        // WeChat's 交易类型
        {QStringLiteral("微信红包"), QStringLiteral("人情")},
        {QStringLiteral("微信红包（单发）"), QStringLiteral("人情")},
        {QStringLiteral("微信红包（群红包）"), QStringLiteral("人情")},
        {QStringLiteral("转账"), QStringLiteral("人情")},
        {QStringLiteral("亲属卡交易"), QStringLiteral("家庭")},
    };
    return table;
}

QString BillRules::ProposeCategory(const TBillLine &line, const TCategoryContext &context)
{
    const TCategoryRule *best = nullptr;
    for (const TCategoryRule &rule : context.rules) {
        if (rule.word.isEmpty() || rule.category.isEmpty())
            continue;
        if (!line.counterparty.contains(rule.word, Qt::CaseInsensitive) &&
            !line.goods.contains(rule.word, Qt::CaseInsensitive))
            continue;
        if (!best || rule.word.size() > best->word.size())
            best = &rule;
    }
    if (best)
        return best->category;

    if (!line.counterparty.isEmpty()) {
        QString last = context.lastByCounterparty.value(line.counterparty);
        if (!last.isEmpty())
            return last;
    }

    if (!line.appCategory.isEmpty()) {
        const QStringList &categories =
            line.type == BillType::Income ? context.incomeCategories : context.expenseCategories;
        QString mapped = context.appClasses.value(line.appCategory);
        if (!mapped.isEmpty() && (categories.isEmpty() || categories.contains(mapped)))
            return mapped;
        if (categories.contains(line.appCategory))
            return line.appCategory;
    }
    return OtherCategory();
}

void BillRules::ProposeCategories(QList<TBillLine> &lines, const TCategoryContext &context)
{
    for (TBillLine &line : lines)
        line.category = ProposeCategory(line, context);
}

QString BillRules::ExternalKey(const QString &source, const QString &externalId)
{
    return source + QChar(0x1F) + externalId;
}

QString BillRules::ContentKey(const QDate &date, qint64 cents, BillType type, const QString &notes)
{
    return date.toString(Qt::ISODate) + QChar(0x1F) + QString::number(cents) + QChar(0x1F) +
           BillReader::TypeWord(type) + QChar(0x1F) + notes;
}

QString BillRules::ContentKey(const TBillLine &line)
{
    return ContentKey(line.date, line.cents, line.type, line.notes);
}

int BillRules::MarkDuplicates(TBillFile &file, const TImportedKeys &imported)
{
    int marked = 0;
    QSet<QString> seen;
    for (TBillLine &line : file.lines) {
        bool duplicate;
        if (!line.externalId.isEmpty()) {
            const QString key = ExternalKey(file.source, line.externalId);
            duplicate = imported.externalIds.contains(key) || seen.contains(key);
            seen.insert(key);
        } else {
            duplicate = imported.contents.contains(ContentKey(line));
        }
        if (duplicate) {
            line.skip = SkipReason::Duplicate;
            ++marked;
        }
    }
    return marked;
}
