#pragma once

// What the recycle bin and the undo of this session's changes exchange with
// the store (TDbMan's recycle block in DbClass.h, store/RecycleStore.cpp).
// Amounts are in cents, dates "yyyy-mm-dd", times seconds since 1970 (UTC).

#include "BillReader.h"

#include <QList>
#include <QString>

class TConn;

// One record's content, with its id.
struct TRecordVersion {
    qint64 Id = 0;
    QString Date, Type, Cate;
    qint64 Cents = 0;
    QString Notes;

    bool SameContent(const TRecordVersion &o) const
    {
        return Date == o.Date && Type == o.Type && Cate == o.Cate && Cents == o.Cents &&
               Notes == o.Notes;
    }
    bool operator==(const TRecordVersion &o) const { return Id == o.Id && SameContent(o); }
};

// One entry of the bin: a record as it was before it was deleted or edited.
struct TRecycleEntry {
    qint64 Id = 0;
    qint64 Time = 0;
    QString What;          // RecycleDelete() or RecycleEdit()
    qint64 Successor = 0;  // an edit: the id the edited record took
    TRecordVersion Record; // its Id is the record's id then
};

inline QString RecycleDelete()
{
    return QStringLiteral("delete");
}
inline QString RecycleEdit()
{
    return QStringLiteral("edit");
}

// What a restore from the bin did.
struct TRecycleRestore {
    int Restored = 0; // records back as they were
    // Of those, edited records whose later version had been changed again
    // meanwhile: that later version was replaced and went into the bin.
    int Replaced = 0;
    // Of those, edited records whose later version had been deleted
    // meanwhile: the old content came back as a record of its own.
    int Revived = 0;
    int Skipped = 0;   // restored already (maybe on another computer)
    QList<qint64> Ids; // the records restored
    QString FirstDate; // the earliest and latest date among them
    QString LastDate;
};

// An edit made again (redo): the id the record took and its bin entry.
struct TRecycleEdit {
    qint64 Successor = 0; // 0 when the record had changed: nothing written
    qint64 Entry = 0;
};

// What a category rename put back.
struct TRenameUndo {
    int Restored = 0; // records that took the old name again
    int Changed = 0;  // changed or deleted since the rename: left alone
    bool ListRestored = false;
};

// A change this TDbMan made, as its change hook hears it after the commit.
struct TStoreChange {
    enum TKind { Save, Delete, Edit, Rename, BillImport };
    TKind Kind = Save;
    QString User;
    // Save: the stored records; Edit: the new content with the new id;
    // Delete: the deleted record's id (content in the bin entry).
    QList<TRecordVersion> Records;
    qint64 Entry = 0; // Delete and Edit: the bin entry of the old version
    // Rename: the type word, the old and new name, the records renamed and
    // the type's pick list before and after.
    QString Type, From, To, ListBefore, ListAfter;
    QList<qint64> Renamed;
    // BillImport: the batch, and what ImportBill was given.
    qint64 Batch = 0;
    QString Source, FileName;
    QList<TBillLine> Lines;
};

// Inside TDbMan::DeleteRecord's and ReplaceRecord's transaction: copies
// user's record into the bin (what RecycleDelete() or RecycleEdit(), with the
// edit's successor id) and returns the entry's id, or 0 when user has no
// such record.
qint64 BinRecord(TConn &c, const QByteArray &encUser, qint64 record, const QString &what,
                 qint64 successor);
