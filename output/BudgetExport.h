#pragma once

// Budgets and their use as files: the 预算 window's CSV and .xlsx of one
// month, and the month's ranking with budget columns that
// `tallimo --report month` prints. No widgets.

#include "DbClass.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QIODevice;

namespace BudgetExport {

// 月份,项目,每月预算,本月预算,已支出,剩余,已用,状态
QStringList ColumnNames();

// The lines as CSV: UTF-8 with a byte-order mark, CR LF line ends, amounts
// with a dot and two decimals, 已用 as "85%", texts a spreadsheet would run
// as a formula defused, as the browser's CSV exports write.
void WriteCsv(QIODevice &out, const TBudgetMonth &month);
void SaveCsv(const QString &fileName, const TBudgetMonth &month);

// One sheet named after the month: a bold, frozen header row, amounts as
// numbers, 剩余 and 已用 as formulas over them with their values cached.
void WriteXlsx(const QString &path, const TBudgetMonth &month, const QString &shownAs = QString());
void SaveXlsx(const QString &fileName, const TBudgetMonth &month);

// The ranking of a month (the period query of that month) as CSV for
// scripts: 类型,项目,数量,金额,比例 and, when the month has budgets,
// 预算,剩余,已用; the expense rows (budgeted categories without spending
// after them), the income rows, then 支出合计 (with the budget for all
// expenses), 收入合计 and 结余. Lines end with "\n"; no byte-order mark.
QString MonthReportCsv(const TPeriod &period, const TBudgetPlan &plan, const QDate &month);

} // namespace BudgetExport
