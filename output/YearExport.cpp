#include "YearExport.h"

#include "Exports.h"
#include "HiClass.h"
#include "XlsxKit.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <xlsxwriter.h>

#include <cerrno>

namespace {

QString csvLines(const TYearTable &table, const QString &end, bool defuse)
{
    QString out = TYearTable::ColumnNames().join(QLatin1Char(',')) + end;
    for (const TYearLine &line : table.Lines()) {
        QStringList fields;
        for (int c = 0; c < YearCols; ++c) {
            const QString t = line.Text(c);
            fields << (c <= YearCate ? TCsvExport::Quote(defuse ? TCsvExport::Defuse(t) : t) : t);
        }
        out += fields.join(QLatin1Char(',')) + end;
    }
    return out;
}

QString shownPath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

namespace YearExport {

QString Csv(const TYearTable &table)
{
    return csvLines(table, QStringLiteral("\n"), false);
}

void WriteCsv(QIODevice &out, const TYearTable &table)
{
    const QByteArray bytes =
        QByteArray("\xEF\xBB\xBF") + csvLines(table, QStringLiteral("\r\n"), true).toUtf8();
    if (out.write(bytes) != bytes.size())
        throw EInOutError(EIO, QStringLiteral("写入失败：%1").arg(out.errorString()));
}

void SaveCsv(const QString &fileName, const TYearTable &table)
{
    Exports::SaveAtomic(fileName, [&](QIODevice &out) { WriteCsv(out, table); });
}

void WriteXlsx(const QString &path, const TYearTable &table, const QString &shownAs)
{
    const QString shown = shownPath(shownAs.isEmpty() ? path : shownAs);
    XlsxKit::TBook book(path, shown);

    const QByteArray sheetName = QStringLiteral("%1年").arg(table.Year).toUtf8();
    lxw_worksheet *sheet = workbook_add_worksheet(book.get(), sheetName.constData());
    lxw_format *bold = workbook_add_format(book.get());
    format_set_bold(bold);
    lxw_format *money = workbook_add_format(book.get());
    format_set_num_format(money, "0.00");
    lxw_format *boldMoney = workbook_add_format(book.get());
    format_set_num_format(boldMoney, "0.00");
    format_set_bold(boldMoney);

    const QStringList names = TYearTable::ColumnNames();
    for (int c = 0; c < names.size(); ++c)
        XlsxKit::Check(
            worksheet_write_string(sheet, 0, lxw_col_t(c), names.at(c).toUtf8().constData(), bold),
            shown);
    worksheet_freeze_panes(sheet, 1, 2);

    const QList<TYearLine> lines = table.Lines();
    const int outCount = int(table.OutRows.size());
    const int inCount = int(table.InRows.size());
    const int firstOut = 1, firstIn = 1 + outCount;
    const int outTotalRow = firstIn + inCount, inTotalRow = outTotalRow + 1;

    // The column's cells of rows [first, first + count) summed, or 0 with none.
    const auto sumOf = [](int col, int first, int count) {
        if (count == 0)
            return QByteArray("=0");
        return "=SUM(" + XlsxKit::CellName(first, col) + ':' +
               XlsxKit::CellName(first + count - 1, col) + ')';
    };

    int row = 1;
    int nameWidth = 4;
    for (const TYearLine &line : lines) {
        const bool total = line.IsTotal();
        for (int c = YearType; c <= YearCate; ++c) {
            const QString t = THi::VisibleText(line.Text(c));
            if (!t.isEmpty())
                XlsxKit::Check(worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(c),
                                                      t.toUtf8().constData(),
                                                      total ? bold : nullptr),
                               shown);
        }
        nameWidth = std::max(nameWidth, int(line.Name.size()) * 2);
        for (int m = 0; m <= 12; ++m) {
            const std::optional<qint64> &cents = line.Cents[size_t(m)];
            if (!cents)
                continue; // a month without records stays empty
            const int col = YearJan + m;
            const double value = double(*cents) / 100.0;
            QByteArray formula;
            if (m == 12 && line.Kind == TYearLine::Category)
                formula = "=SUM(" + XlsxKit::CellName(row, YearJan) + ':' +
                          XlsxKit::CellName(row, YearDec) + ')';
            else if (line.Kind == TYearLine::OutTotal)
                formula = sumOf(col, firstOut, outCount);
            else if (line.Kind == TYearLine::InTotal)
                formula = sumOf(col, firstIn, inCount);
            else if (line.Kind == TYearLine::Balance)
                formula = '=' + XlsxKit::CellName(inTotalRow, col) + '-' +
                          XlsxKit::CellName(outTotalRow, col);
            lxw_format *format = total ? boldMoney : money;
            const lxw_error err =
                formula.isEmpty()
                    ? worksheet_write_number(sheet, lxw_row_t(row), lxw_col_t(col), value, format)
                    : worksheet_write_formula_num(sheet, lxw_row_t(row), lxw_col_t(col),
                                                  formula.constData(), format, value);
            XlsxKit::Check(err, shown);
        }
        ++row;
    }
    XlsxKit::Check(worksheet_set_column(sheet, 0, 0, 6, nullptr), shown);
    XlsxKit::Check(worksheet_set_column(sheet, 1, 1, std::min(nameWidth, 30) + 2, nullptr), shown);
    XlsxKit::Check(worksheet_set_column(sheet, YearJan, YearTotal, 11, nullptr), shown);

    book.Close();
}

void SaveXlsx(const QString &fileName, const TYearTable &table)
{
    Exports::SaveAtomic(fileName, [&](const QString &temp) { WriteXlsx(temp, table, fileName); });
}

QString Html(const TYearTable &table)
{
    const auto cell = [](const QString &tag, const QString &text, bool right) {
        return QStringLiteral("<%1%2>%3</%1>")
            .arg(tag, right ? QStringLiteral(" class=\"n\"") : QString(),
                 text.isEmpty() ? QStringLiteral("&nbsp;") : THtmlExport::Cell(text));
    };
    const QString title = QStringLiteral("%1 %2年 年度概览").arg(table.User).arg(table.Year);
    QString out =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>%1</title>\n<style>\n"
                       "body { font-family: sans-serif; font-size: 10pt; }\n"
                       "table { border-collapse: collapse; }\n"
                       "th, td { border: 1px solid #999; padding: 2px 6px; }\n"
                       "th { background: #eee; }\n"
                       "td.n { text-align: right; white-space: nowrap; }\n"
                       "tr.total td { font-weight: bold; background: #f6f6f6; }\n"
                       "</style>\n</head>\n<body>\n<h1>%1</h1>\n<table>\n<tr>")
            .arg(THtmlExport::Cell(title));
    for (const QString &name : TYearTable::ColumnNames())
        out += cell(QStringLiteral("th"), name, false);
    out += QStringLiteral("</tr>\n");
    for (const TYearLine &line : table.Lines()) {
        out += line.IsTotal() ? QStringLiteral("<tr class=\"total\">") : QStringLiteral("<tr>");
        for (int c = 0; c < YearCols; ++c)
            out += cell(QStringLiteral("td"), line.Text(c), c >= YearJan);
        out += QStringLiteral("</tr>\n");
    }
    out += QStringLiteral("</table>\n</body>\n</html>\n");
    return out;
}

void SaveHtml(const QString &fileName, const TYearTable &table)
{
    const QByteArray bytes = Html(table).toUtf8();
    Exports::SaveAtomic(fileName, [&](QIODevice &out) {
        if (out.write(bytes) != bytes.size())
            throw EInOutError(EIO, QStringLiteral("写入失败：%1").arg(out.errorString()));
    });
}

std::unique_ptr<TColumnReport> MakeReport(const TReportUnits &units, const TYearTable &table)
{
    // The page header reads the user, the dates and the totals of a search result.
    auto header =
        std::make_shared<TSearchResult>(table.User, table.First(12), table.Last(12), TPeriod());
    header->OutCents = table.OutTotals.TotalCents;
    header->InCents = table.InTotals.TotalCents;

    // Thirteen amounts across A4 portrait: 7 point type, month columns 46
    // wide (1/96 inch) by their right edges, the category cut before the
    // first amount begins.
    QList<TColumnReport::TColumn> columns = {{QStringLiteral("类型"), 0},
                                             {QStringLiteral("项目"), 24, false, false, true, 92}};
    for (int m = 0; m < 12; ++m)
        columns.append({TYearTable::MonthName(m), 142 + m * 46, true});
    columns.append({QStringLiteral("全年"), 0, true, true});

    const QList<TYearLine> lines = table.Lines();
    auto cells = [lines](int i) {
        QStringList texts;
        for (int c = 0; c < YearCols; ++c)
            texts << lines.at(i).Text(c);
        return texts;
    };
    return std::make_unique<TColumnReport>(units, std::move(header), columns, int(lines.size()),
                                           std::move(cells), 7);
}

} // namespace YearExport
