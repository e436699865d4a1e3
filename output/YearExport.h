#pragma once

// The year at a glance (TYearTable) as files and pages: CSV (the command
// line's output and an export), an .xlsx workbook whose totals are formulas,
// a web page, and the printed report on the shared page model. No widgets.

#include "Reports.h"
#include "YearTable.h"

#include <memory>

class QIODevice;

namespace YearExport {

// The CSV text: the header, one row per category, then 支出合计, 收入合计 and
// 结余; amounts with a dot and two decimals, an empty field for a month
// without records, fields quoted when they hold a comma, a quote or a line
// break. Lines end with "\n"; no byte-order mark (what a script reads).
QString Csv(const TYearTable &table);
// The CSV file: the same rows with a byte-order mark and CR LF line ends, as
// the browser's CSV exports write, and texts a spreadsheet would run as a
// formula defused with an apostrophe.
void WriteCsv(QIODevice &out, const TYearTable &table);
void SaveCsv(const QString &fileName, const TYearTable &table);

// One sheet named after the year: the header row (bold, frozen), the
// categories' amounts as numbers, and the 全年 column and the three total
// rows as formulas over them, each with the computed value as its cached
// result (so a reader that does not calculate still shows the figures).
void WriteXlsx(const QString &path, const TYearTable &table, const QString &shownAs = QString());
void SaveXlsx(const QString &fileName, const TYearTable &table);

// A page of its own (UTF-8, no template): a title and the table.
QString Html(const TYearTable &table);
void SaveHtml(const QString &fileName, const TYearTable &table);

// The printed table: the usual page header (user, the year's dates, its
// three totals), then the lines, months as columns.
std::unique_ptr<TColumnReport> MakeReport(const TReportUnits &units, const TYearTable &table);

} // namespace YearExport
