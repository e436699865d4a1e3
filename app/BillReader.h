#pragma once

// The lines of a bill: the payment apps' own layouts (Alipay's transaction
// detail file, Alipay's older web download, WeChat Pay's bill as CSV or
// workbook), recognised by their header line wherever the preamble puts it,
// and any other table through a column mapping. Each line says whether it is
// to be imported or why it is skipped, by the apps' rules (README, "Bills from
// the payment apps"). Nothing here touches the store.

#include "BillCsv.h"

#include <QDate>
#include <QMap>

#include <array>

enum class BillLayout { Unknown, AlipayCurrent, AlipayOld, WeChat, Mapped };

enum class BillType { Expense, Income };

// Why a line is not imported; None for a line to import. The preview groups
// skipped lines by it and lets the person tick them in.
enum class SkipReason {
    None,
    Neutral,     // neither spending nor income (不计收支, "/", empty)
    Closed,      // 交易关闭
    Refunded,    // refunded in whole (or a refund line of its own)
    OtherStatus, // an Alipay status other than success (waiting, in progress, repaid, …)
    ZeroAmount,  // nothing left to count
    Duplicate,   // imported before (BillRules::MarkDuplicates)
};

struct TBillLine {
    int lineNumber = 0; // in the file (or the sheet's row), for messages
    QDate date;
    // Neutral lines carry Expense (what ticking one in would most often mean).
    BillType type = BillType::Expense;
    qint64 cents = 0; // never negative; what is left after partial refunds
    QString appCategory; // the app's own class (交易分类, 交易类型, 类型) or the mapped column
    QString counterparty;
    QString goods;
    QString notes;  // "counterparty · goods"
    QString status; // the app's status text as it stands
    QString externalId;
    QString category; // the proposal (BillRules::ProposeCategories), then the person's choice
    SkipReason skip = SkipReason::None;

    bool toImport() const { return skip == SkipReason::None; }
};

struct TBillFile {
    BillLayout layout = BillLayout::Unknown;
    // Whose order numbers the external ids are: "alipay" (both layouts),
    // "wechat", or "csv:" and the header key of a mapped table.
    QString source;
    BillEncoding encoding = BillEncoding::Utf8;
    QList<TBillLine> lines; // in the file's order
};

// Columns of a table that is no app's bill, by index in the header row; -1
// for none. The date and either the amount (signed, or unsigned with a type
// column) or an income and/or an expense column are needed.
struct TColumnMapping {
    int headerRow = 0; // index into TBillTable::rows
    int date = -1;
    int amount = -1;
    int income = -1;
    int expense = -1;
    int type = -1; // words such as 收入/支出, 贷/借, credit/debit
    int category = -1;
    int externalId = -1;
    QList<int> notes; // joined with " · ": the first is taken as the counterparty

    bool isValid() const { return date >= 0 && (amount >= 0 || income >= 0 || expense >= 0); }
    bool operator==(const TColumnMapping &other) const;
};

// Counts and sums for the preview's foot and the command line.
struct TBillSummary {
    std::array<int, 2> count{};    // lines to import, by BillType
    std::array<qint64, 2> cents{}; // their sums, by BillType
    QMap<SkipReason, int> skipped;
    QMap<SkipReason, qint64> skippedCents;
};

namespace BillReader {

// A workbook (by its zip signature) or a CSV file, as a table. Throws EBillError.
TBillTable ReadTable(const QByteArray &bytes);
// The same from a file: one over BillCsv::MaxFileBytes is refused unread.
TBillTable ReadTableFile(const QString &path);

// Which app's bill the table is, from its header line (searched among the
// first rows, after any preamble); headerRow receives the header's row.
BillLayout DetectLayout(const TBillTable &table, int *headerRow = nullptr);

// The lines of an app's bill. Throws EBillError: NotAppBill when the table is
// no app's layout (offer a mapping), BadLine or CutShort for a damaged line.
TBillFile ReadApp(const TBillTable &table);

// The lines of any table through a mapping. A row whose date or amount does
// not read throws BadLine, unless only such rows follow it (a footer of sums).
TBillFile ReadMapped(const TBillTable &table, const TColumnMapping &mapping);

// A first mapping from the header's names (日期, 金额, 收入, 支出, 摘要, …);
// headerRow is the first of the top rows that names a date column.
TColumnMapping GuessMapping(const TBillTable &table);

// A key of a header line that stays the same from one month's statement to the
// next (and across encodings and delimiters): 40 hex digits.
QString HeaderKey(const QStringList &header);
// The row among the first ones whose HeaderKey is key: where a remembered
// mapping's header stands in this month's file, whatever its preamble; -1 for
// none. The remembered mapping then applies with this as its headerRow.
int FindHeader(const TBillTable &table, const QString &key);

// ReadTable then ReadApp.
TBillFile ReadBill(const QByteArray &bytes);
TBillFile ReadBillFile(const QString &path);

// An amount as bills write it ("35.50", "¥1,234.5", "-12", "￥0.01 元"), in
// exact cents; false for anything else, and for fractions of a cent other
// than a spreadsheet's binary noise ("14.390000000000001").
bool ParseCents(QStringView text, qint64 *cents);
// The date of a transaction time: yyyy-MM-dd, yyyy/M/d, yyyy.M.d, yyyyMMdd or
// yyyy年M月d日, with or without a time after it; a spreadsheet's serial day
// number. Invalid for anything else.
QDate ParseDate(QStringView text);

TBillSummary Summarize(const QList<TBillLine> &lines);

QString TypeWord(BillType type);           // 支出, 收入 (the store's type words)
QString SkipReasonText(SkipReason reason); // for the preview and the command line
QString LayoutName(BillLayout layout);

} // namespace BillReader
