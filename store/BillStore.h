#pragma once

// What the store answers about bill imports (TDbMan's bill block in
// DbClass.h, store/BillStore.cpp): the batches, an import's outcome and an
// undo's. Amounts are in cents, dates "yyyy-mm-dd".

#include <QList>
#include <QString>

#include <array>

class TConn;

// One import of one bill, as the batch list shows it.
struct TBillBatch {
    qint64 Id = 0;
    QString User, Source, FileName;
    qint64 Time = 0;               // seconds since 1970, UTC
    qint64 Count = 0;              // records imported
    std::array<qint64, 2> Cents{}; // sums by BillType (expense, income)
    qint64 Remaining = 0;          // of its records, how many are still in the ledger
    qint64 Edited = 0;             // of those, how many were changed since the import
    qint64 Undone = 0;             // when it was undone (seconds since 1970), 0 while it stands
};

struct TBillImportResult {
    qint64 BatchId = 0; // 0 when nothing was imported
    int Imported = 0;
    int Duplicates = 0;            // imported meanwhile (by another computer or account): skipped
    QString FirstDate, LastDate;   // of the imported records, empty when none
    std::array<int, 2> Count{};    // by BillType
    std::array<qint64, 2> Cents{}; // by BillType
};

struct TBillUndo {
    int Removed = 0;    // records removed
    int EditedKept = 0; // edited since the import, kept (alsoEdited false)
    int Gone = 0;       // deleted by hand before the undo
};

// Inside TDbMan::ReplaceRecord's transaction: a record edited gets a new id,
// and its bill line follows it, so that an undo still finds it (and sees the
// edit).
void BillLineFollowsRecord(TConn &c, qint64 from, qint64 to);
