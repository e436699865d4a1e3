#include "BillImport.h"

#include "BillRules.h"
#include "DbClass.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace BillImport {

void ProposeAndMark(TDbMan &db, const QString &user, TBillFile &file)
{
    BillRules::ProposeCategories(file.lines, db.CategoryContext(user, file.source));
    BillRules::MarkDuplicates(file, db.ImportedKeys(file.source));
}

TPreparedBill PrepareBill(TDbMan &db, const QString &user, const QString &path)
{
    TPreparedBill prepared;
    prepared.Table = BillReader::ReadTableFile(path);
    try {
        prepared.File = BillReader::ReadApp(prepared.Table);
    } catch (const EBillError &e) {
        if (e.kind() != EBillError::NotAppBill)
            throw;
        // A plain table: last month's mapping applies when its header line
        // stands among the first rows, whatever preamble this month's has.
        prepared.Guess = BillReader::GuessMapping(prepared.Table);
        QList<int> rows{prepared.Guess.headerRow};
        for (int r = 0; r < std::min<int>(HeaderRowsSearched, int(prepared.Table.rows.size()));
             ++r) {
            if (r != prepared.Guess.headerRow)
                rows << r;
        }
        for (int r : std::as_const(rows)) {
            if (r < 0 || r >= prepared.Table.rows.size())
                continue;
            std::optional<TColumnMapping> m =
                db.ColumnMapping(BillReader::HeaderKey(prepared.Table.rows.at(r)));
            if (!m)
                continue;
            m->headerRow = r;
            prepared.File = BillReader::ReadMapped(prepared.Table, *m);
            ProposeAndMark(db, user, prepared.File);
            return prepared;
        }
        prepared.NeedsMapping = true;
        return prepared;
    }
    ProposeAndMark(db, user, prepared.File);
    return prepared;
}

int RunCommand(const QString &location, const QString &user, const QString &password,
               const QString &path, bool dryRun, QTextStream &out, QTextStream &err)
{
    try {
        TDbMan db(location);
        db.Upgrade();
        if (!db.UserExists(user) || !db.CheckLogin(user, password)) {
            err << QStringLiteral("用户名或密码不对，没有导入任何记录。") << Qt::endl;
            return 1;
        }
        const TPreparedBill bill = PrepareBill(db, user, path);
        if (bill.NeedsMapping) {
            err << QStringLiteral("“%1”不是支付宝或微信支付的账单，也没有记住这种表格各列的含义，"
                                  "没有导入任何记录。\n请先在程序里用“导入账单…”导入一次，"
                                  "指定日期、金额等各列，以后就能在命令行导入。")
                       .arg(QDir::toNativeSeparators(path))
                << Qt::endl;
            return 1;
        }
        QList<TBillLine> lines;
        for (const TBillLine &line : bill.File.lines) {
            if (line.toImport())
                lines << line;
        }
        TBillSummary summary = BillReader::Summarize(bill.File.lines);
        std::array<int, 2> count = summary.count;
        std::array<qint64, 2> cents = summary.cents;
        if (!dryRun && !lines.isEmpty()) {
            const TBillImportResult r =
                db.ImportBill(user, bill.File.source, QFileInfo(path).fileName(), lines);
            count = r.Count;
            cents = r.Cents;
            if (r.Duplicates > 0)
                summary.skipped[SkipReason::Duplicate] += r.Duplicates;
        }
        if (dryRun)
            out << QStringLiteral("试运行：下面是会导入的记录，账本没有改动。") << Qt::endl;
        for (BillType type : {BillType::Expense, BillType::Income}) {
            const size_t t = size_t(type);
            out << QStringLiteral("%1 %2 笔，合计 %3")
                       .arg(BillReader::TypeWord(type))
                       .arg(count[t])
                       .arg(THi::FormatCents(cents[t]))
                << Qt::endl;
        }
        for (auto it = summary.skipped.cbegin(); it != summary.skipped.cend(); ++it) {
            if (it.key() != SkipReason::None && it.value() > 0) {
                out << QStringLiteral("跳过（%1）%2 笔")
                           .arg(BillReader::SkipReasonText(it.key()))
                           .arg(it.value())
                    << Qt::endl;
            }
        }
        return 0;
    } catch (const TError &e) {
        err << e.text() << Qt::endl;
    } catch (const std::exception &e) {
        err << QString::fromLocal8Bit(e.what()) << Qt::endl;
    }
    return 1;
}

} // namespace BillImport
