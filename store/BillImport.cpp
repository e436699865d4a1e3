#include "BillImport.h"

#include "BillRules.h"
#include "DbClass.h"

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

} // namespace BillImport
