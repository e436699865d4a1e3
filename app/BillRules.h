#pragma once

// What an import decides per line beyond the bill itself, as pure functions
// over what the caller read from the store: the proposed category and whether
// the line was imported before.

#include "BillReader.h"

#include <QHash>
#include <QSet>

// "Counterparty or goods contains the word → category", made by the person.
struct TCategoryRule {
    QString word;
    QString category;
};

struct TCategoryContext {
    QList<TCategoryRule> rules;
    // The category this account used last for each counterparty.
    QHash<QString, QString> lastByCounterparty;
    // The app's own class → a category (BillRules::DefaultAppClasses() until
    // the person edits it).
    QHash<QString, QString> appClasses;
    // The account's pick lists.
    QStringList expenseCategories;
    QStringList incomeCategories;
};

// What the ledger has imported before, as BillRules::ExternalKey and
// BillRules::ContentKey give them.
struct TImportedKeys {
    QSet<QString> externalIds;
    QSet<QString> contents;
};

namespace BillRules {

// The category for lines without any other clue.
QString OtherCategory(); // 其他

// Alipay's 交易分类 and WeChat's 交易类型 to everyday category names.
QHash<QString, QString> DefaultAppClasses();

// First the person's rules (the longest matching word wins, then the earlier
// rule; case does not matter), then the account's last category for the same
// counterparty, then the app's class through the table when the account has
// that category for the line's type (or has no categories of that type yet,
// so that a new account starts from the table), else the app's class itself
// when the account has a category of that name, else 其他.
QString ProposeCategory(const TBillLine &line, const TCategoryContext &context);
// The proposal into each line's category.
void ProposeCategories(QList<TBillLine> &lines, const TCategoryContext &context);

QString ExternalKey(const QString &source, const QString &externalId);
QString ContentKey(const QDate &date, qint64 cents, BillType type, const QString &notes);
QString ContentKey(const TBillLine &line);

// Marks as Duplicate, whatever other reason it had: a line whose external id
// was imported before from the same source, or came earlier in this file; a
// line without an id whose date, amount, type and notes were imported before.
// Two lines alike without ids in one file stay apart: two coffees on one
// day are two coffees. Returns how many lines it marked.
int MarkDuplicates(TBillFile &file, const TImportedKeys &imported);

} // namespace BillRules
