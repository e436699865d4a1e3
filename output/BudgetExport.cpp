#include "BudgetExport.h"

#include "Exports.h"
#include "HiClass.h"
#include "XlsxKit.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <xlsxwriter.h>

#include <cerrno>

namespace {

enum TCol { ColMonth, ColName, ColDefault, ColBudget, ColSpent, ColLeft, ColUsed, ColLevel, Cols };

QString monthText(const QDate &month)
{
    return month.toString(QStringLiteral("yyyy-MM"));
}

QString percentText(const TBudgetFigures &f)
{
    return QString::number(f.Percent) + QLatin1Char('%');
}

} // namespace

namespace BudgetExport {

QStringList ColumnNames()
{
    return {QStringLiteral("月份"),     QStringLiteral("项目"),   QStringLiteral("每月预算"),
            QStringLiteral("本月预算"), QStringLiteral("已支出"), QStringLiteral("剩余"),
            QStringLiteral("已用"),     QStringLiteral("状态")};
}

void WriteCsv(QIODevice &out, const TBudgetMonth &month)
{
    QString text = ColumnNames().join(QLatin1Char(',')) + QStringLiteral("\r\n");
    for (const TBudgetRow &line : BudgetRows(month, {}, true)) {
        const TBudgetFigures &f = *line.Figures;
        const QStringList fields{
            monthText(month.Month),
            TCsvExport::Quote(TCsvExport::Defuse(THi::VisibleText(line.Name()))),
            line.Default ? THi::FormatCents(*line.Default) : QString(),
            THi::FormatCents(f.Budget),
            THi::FormatCents(f.Spent),
            THi::FormatCents(f.Left),
            percentText(f),
            TBudgetPlan::LevelText(f.Level)};
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    const QByteArray bytes = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    if (out.write(bytes) != bytes.size())
        throw EInOutError(EIO, QStringLiteral("写入失败：%1").arg(out.errorString()));
}

void SaveCsv(const QString &fileName, const TBudgetMonth &month)
{
    Exports::SaveAtomic(fileName, [&](QIODevice &out) { WriteCsv(out, month); });
}

void WriteXlsx(const QString &path, const TBudgetMonth &month, const QString &shownAs)
{
    const QString shown = QFileInfo(shownAs.isEmpty() ? path : shownAs).absoluteFilePath();
    XlsxKit::TBook book(path, shown);

    const QByteArray sheetName =
        QStringLiteral("%1年%2月").arg(month.Month.year()).arg(month.Month.month()).toUtf8();
    lxw_worksheet *sheet = workbook_add_worksheet(book.get(), sheetName.constData());
    lxw_format *bold = workbook_add_format(book.get());
    format_set_bold(bold);
    lxw_format *money = workbook_add_format(book.get());
    format_set_num_format(money, "0.00");
    lxw_format *share = workbook_add_format(book.get());
    format_set_num_format(share, "0%");

    const QStringList names = ColumnNames();
    for (int c = 0; c < names.size(); ++c)
        XlsxKit::Check(
            worksheet_write_string(sheet, 0, lxw_col_t(c), names.at(c).toUtf8().constData(), bold),
            shown);
    worksheet_freeze_panes(sheet, 1, 2);

    int row = 1;
    int nameWidth = 4;
    const QByteArray monthBytes = monthText(month.Month).toUtf8();
    for (const TBudgetRow &line : BudgetRows(month, {}, true)) {
        const TBudgetFigures &f = *line.Figures;
        const lxw_row_t r = lxw_row_t(row);
        const QString name = THi::VisibleText(line.Name());
        nameWidth = std::max(nameWidth, int(name.size()) * 2);
        XlsxKit::Check(worksheet_write_string(sheet, r, ColMonth, monthBytes.constData(), nullptr),
                       shown);
        XlsxKit::Check(worksheet_write_string(sheet, r, ColName, name.toUtf8().constData(),
                                              line.Category.isEmpty() ? bold : nullptr),
                       shown);
        if (line.Default)
            XlsxKit::Check(
                worksheet_write_number(sheet, r, ColDefault, double(*line.Default) / 100.0, money),
                shown);
        XlsxKit::Check(worksheet_write_number(sheet, r, ColBudget, double(f.Budget) / 100.0, money),
                       shown);
        XlsxKit::Check(worksheet_write_number(sheet, r, ColSpent, double(f.Spent) / 100.0, money),
                       shown);
        const QByteArray left =
            '=' + XlsxKit::CellName(row, ColBudget) + '-' + XlsxKit::CellName(row, ColSpent);
        XlsxKit::Check(worksheet_write_formula_num(sheet, r, ColLeft, left.constData(), money,
                                                   double(f.Left) / 100.0),
                       shown);
        const QByteArray used =
            '=' + XlsxKit::CellName(row, ColSpent) + '/' + XlsxKit::CellName(row, ColBudget);
        XlsxKit::Check(worksheet_write_formula_num(sheet, r, ColUsed, used.constData(), share,
                                                   double(f.Spent) / double(f.Budget)),
                       shown);
        XlsxKit::Check(worksheet_write_string(sheet, r, ColLevel,
                                              TBudgetPlan::LevelText(f.Level).toUtf8().constData(),
                                              nullptr),
                       shown);
        ++row;
    }
    XlsxKit::Check(worksheet_set_column(sheet, ColMonth, ColMonth, 9, nullptr), shown);
    XlsxKit::Check(
        worksheet_set_column(sheet, ColName, ColName, std::min(nameWidth, 30) + 2, nullptr), shown);
    XlsxKit::Check(worksheet_set_column(sheet, ColDefault, ColUsed, 11, nullptr), shown);
    XlsxKit::Check(worksheet_set_column(sheet, ColLevel, ColLevel, 14, nullptr), shown);

    book.Close();
}

void SaveXlsx(const QString &fileName, const TBudgetMonth &month)
{
    Exports::SaveAtomic(fileName, [&](const QString &temp) { WriteXlsx(temp, month, fileName); });
}

QString MonthReportCsv(const TPeriod &period, const TBudgetPlan &plan, const QDate &month)
{
    const QDate first(month.year(), month.month(), 1);
    const QStringList budgeted = plan.categories(first);
    const bool withBudgets = !budgeted.isEmpty();
    QHash<QString, TBudgetFigures> figures;
    for (const TBudgetFigures &f : plan.figures(first, BudgetSpentOf(period.OutCateRows)))
        figures.insert(f.Category, f);

    QStringList header{QStringLiteral("类型"), QStringLiteral("项目"), QStringLiteral("数量"),
                       QStringLiteral("金额"), QStringLiteral("比例")};
    if (withBudgets)
        header << QStringLiteral("预算") << QStringLiteral("剩余") << QStringLiteral("已用");
    QString out = header.join(QLatin1Char(',')) + QLatin1Char('\n');

    // The budget columns of a category: empty when it has no budget.
    const auto budgetFields = [&](const QString &cate) {
        if (!withBudgets)
            return QStringList();
        const auto it = figures.constFind(cate);
        if (it == figures.cend())
            return QStringList{QString(), QString(), QString()};
        return QStringList{THi::FormatCents(it->Budget), THi::FormatCents(it->Left),
                           percentText(*it)};
    };
    const auto line = [&](const QStringList &fields) {
        out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    };
    const auto rankLines = [&](const TRankRows &rows) {
        qint64 count = 0;
        for (const TRankRow &r : rows) {
            line(QStringList{r.Type, TCsvExport::Quote(r.Cate), r.Text(RankCount), r.Text(RankSum),
                             r.Text(RankShare)} +
                 budgetFields(r.Cate));
            count += r.Count;
        }
        return count;
    };

    const qint64 outCount = rankLines(period.OutCateRows);
    // A budget with nothing spent yet is a line of the month as well.
    for (const QString &cate : budgeted) {
        if (cate.isEmpty() || std::any_of(period.OutCateRows.cbegin(), period.OutCateRows.cend(),
                                          [&](const TRankRow &r) { return r.Cate == cate; }))
            continue;
        line(QStringList{TypeExpense(), TCsvExport::Quote(cate), QStringLiteral("0"),
                         THi::FormatCents(0), THi::FormatShare(0, period.OutCents)} +
             budgetFields(cate));
    }
    const qint64 inCount = rankLines(period.InCateRows);
    const auto empties = [&] { return withBudgets ? QStringList{{}, {}, {}} : QStringList(); };
    line(QStringList{QString(), QStringLiteral("支出合计"), QString::number(outCount),
                     THi::FormatCents(period.OutCents), QString()} +
         budgetFields(TBudgetPlan::AllExpenses));
    line(QStringList{QString(), QStringLiteral("收入合计"), QString::number(inCount),
                     THi::FormatCents(period.InCents), QString()} +
         empties());
    line(QStringList{QString(), QStringLiteral("结余"), QString(),
                     THi::FormatCents(period.InCents - period.OutCents), QString()} +
         empties());
    return out;
}

} // namespace BudgetExport
