#pragma once

// One account's year at a glance: for each category of each type, its sum in
// every month and over the year, the months' totals of both types and the
// balance, all in whole cents; and last year's monthly totals beside them for
// the chart. Made from the store's period query, month by month, so every
// figure is the one the browser's ranking shows for that month. A cell whose
// month has no records behind it is empty, not zero. The CSV of the command
// line, the exports, the printed page and the window all read its lines.

#include "DbClass.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// Twelve months of one type or one category: sums and record counts.
struct TYearCells {
    std::array<qint64, 12> Cents{};
    std::array<qint64, 12> Count{};
    qint64 TotalCents = 0, TotalCount = 0;

    bool Has(int month) const { return Count[size_t(month)] > 0; }
    void Add(int month, qint64 cents, qint64 count);
};

struct TYearRow : TYearCells {
    QString Type; // TypeExpense() or TypeIncome()
    QString Cate;
};

// Columns of a line as the table, the CSV and the workbook show them.
enum TYearCol { YearType, YearCate, YearJan, YearDec = YearJan + 11, YearTotal, YearCols };

// One line of the table: a category, a type's totals or the balance.
struct TYearLine {
    enum TKind { Category, OutTotal, InTotal, Balance };
    TKind Kind = Category;
    QString Type; // the type word of a category; empty on the three total lines
    QString Name; // the category, or 支出合计, 收入合计, 结余
    // Months 0..11, then the year; empty where no record lies behind it.
    std::array<std::optional<qint64>, 13> Cents;

    // The column as shown: texts, amounts with two decimals, empty cells empty.
    QString Text(int col) const;
    bool IsTotal() const { return Kind != Category; }
};

struct TYearTable {
    QString User;
    int Year = 0;
    TYearCells OutTotals, InTotals;
    QList<TYearRow> OutRows, InRows; // largest year sum first, then by name
    // Last year's monthly totals (the chart's second lines).
    std::array<qint64, 12> LastOutCents{}, LastInCents{};

    bool IsEmpty() const { return OutRows.isEmpty() && InRows.isEmpty(); }
    qint64 BalanceCents() const { return InTotals.TotalCents - OutTotals.TotalCents; }
    // Expense categories, income categories, then 支出合计, 收入合计 and 结余.
    QList<TYearLine> Lines() const;
    // The first and last day of month (0..11), or of the year for month 12.
    QDate First(int month) const;
    QDate Last(int month) const;

    // 类型,项目,1月,…,12月,全年
    static QStringList ColumnNames();
    static QString MonthName(int month); // "1月"
};

// The table of user's records in year (1..9999). Raises EDbError as the
// period query does.
TYearTable MakeYearTable(TDbMan &db, const QString &user, int year);
