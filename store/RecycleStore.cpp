// TDbMan's recycle block: the bin of deleted and edited records (table
// recycle, schema version 3) and what the undo of this session needs to
// change a record back only while it is exactly as the change left it.
// Written once for both engines.

#include "RecycleStore.h"

#include "BudgetStore.h"
#include "RecurringStore.h"

#include "BillStore.h"
#include "DbClass.h"
#include "DbConn.h"
#include "Engine.h"

#include <QDateTime>
#include <QSet>

#include <cmath>
#include <optional>

namespace {

QByteArray enc(const QString &text)
{
    return THi::Base64Encode(text).toLatin1();
}

qint64 nowSecs()
{
    return std::max<qint64>(1, QDateTime::currentSecsSinceEpoch());
}

// user's record as stored now, or nothing.
std::optional<TRecordVersion> readRecord(TConn &c, const QByteArray &encUser, qint64 id)
{
    Stmt q(c, "select \"date\",\"type\",\"cate\",\"amount\",\"notes\" from \"data\" where "
              "\"id\"=? and \"user\"=?");
    q.bind(1, id).bind(2, encUser);
    if (!q.step())
        return std::nullopt;
    return TRecordVersion{
        id, q.latin1(0), q.text(1), q.decoded(2), std::llround(q.number(3) * 100.0), q.decoded(4)};
}

bool idTaken(TConn &c, qint64 id)
{
    Stmt q(c, "select 1 from \"data\" where \"id\"=?");
    q.bind(1, id);
    return q.step();
}

void bindContent(Stmt &ins, int first, const TRecordVersion &v)
{
    ins.bind(first, v.Date).bind(first + 1, v.Type).bind(first + 2, enc(v.Cate));
    ins.bind(first + 3, double(v.Cents) / 100.0).bind(first + 4, enc(v.Notes));
}

// Under the record's own id (ids are never handed out twice, so it is free
// unless that very record is back already).
void insertWithId(TConn &c, const QByteArray &encUser, const TRecordVersion &v)
{
    Stmt ins(c, "insert into \"data\" (\"id\",\"user\",\"date\",\"type\",\"cate\",\"amount\","
                "\"notes\") values (?,?,?,?,?,?,?)");
    ins.bind(1, v.Id).bind(2, encUser);
    bindContent(ins, 3, v);
    ins.step();
}

qint64 insertNew(TConn &c, const QByteArray &encUser, const TRecordVersion &v)
{
    Stmt ins(c, "insert into \"data\" (\"user\",\"date\",\"type\",\"cate\",\"amount\",\"notes\") "
                "values (?,?,?,?,?,?) returning \"id\"");
    ins.bind(1, encUser);
    bindContent(ins, 2, v);
    ins.step();
    return ins.int64(0);
}

void deleteRecord(TConn &c, const QByteArray &encUser, qint64 id)
{
    Stmt del(c, "delete from \"data\" where \"id\"=? and \"user\"=?");
    del.bind(1, id).bind(2, encUser);
    del.step();
}

const char *const EntryColumns =
    "select \"id\",\"time\",\"what\",\"record\",\"successor\",\"date\",\"type\",\"cate\","
    "\"cents\",\"notes\",\"restored\",\"user\" from \"recycle\" ";

TRecycleEntry entryFrom(const Stmt &q)
{
    TRecycleEntry e;
    e.Id = q.int64(0);
    e.Time = q.int64(1);
    e.What = q.latin1(2);
    e.Successor = q.int64(4);
    e.Record =
        TRecordVersion{q.int64(3), q.latin1(5), q.text(6), q.decoded(7), q.int64(8), q.decoded(9)};
    return e;
}

// user's entry while it is not restored.
std::optional<TRecycleEntry> openEntry(TConn &c, const QByteArray &encUser, qint64 id)
{
    Stmt q(c, (QByteArray(EntryColumns) + "where \"id\"=? and \"user\"=? and \"restored\"=0")
                  .constData());
    q.bind(1, id).bind(2, encUser);
    if (!q.step())
        return std::nullopt;
    return entryFrom(q);
}

// The record that holds an edited record's content now: the edit's
// successor, or what replaced that by later edits (followed through the
// entries not restored yet); 0 when that chain ends in a deleted record.
qint64 liveSuccessor(TConn &c, const QByteArray &encUser, qint64 successor)
{
    QSet<qint64> seen;
    qint64 cur = successor;
    while (cur != 0 && !seen.contains(cur)) {
        seen.insert(cur);
        if (readRecord(c, encUser, cur))
            return cur;
        Stmt q(c, "select \"successor\" from \"recycle\" where \"record\"=? and \"user\"=? and "
                  "\"what\"=? and \"restored\"=0 order by \"id\" desc limit 1");
        q.bind(1, cur).bind(2, encUser).bind(3, RecycleEdit());
        cur = q.step() ? q.int64(0) : 0;
    }
    return 0;
}

enum class TOutcome { Skipped, Restored, Replaced, Revived };

// Puts one open entry back. With expected, an edit only while the record
// it left is exactly that (the undo of this session's edit).
TOutcome restoreEntry(TConn &c, const QByteArray &encUser, const TRecycleEntry &e,
                      const TRecordVersion *expected)
{
    if (idTaken(c, e.Record.Id))
        return TOutcome::Skipped;
    TOutcome outcome = TOutcome::Restored;
    if (e.What == RecycleEdit()) {
        const qint64 live = liveSuccessor(c, encUser, e.Successor);
        if (expected) {
            const auto now = readRecord(c, encUser, e.Successor);
            if (live != e.Successor || !now || !now->SameContent(*expected))
                return TOutcome::Skipped;
        }
        if (live != 0) {
            // The version it replaces is kept as well.
            BinRecord(c, encUser, live, RecycleEdit(), e.Record.Id);
            deleteRecord(c, encUser, live);
            BillLineFollowsRecord(c, live, e.Record.Id);
            if (live != e.Successor)
                outcome = TOutcome::Replaced;
        } else {
            outcome = TOutcome::Revived;
        }
    }
    insertWithId(c, encUser, e.Record);
    Stmt mark(c, "update \"recycle\" set \"restored\"=? where \"id\"=?");
    mark.bind(1, nowSecs()).bind(2, e.Id);
    mark.step();
    return outcome;
}

} // namespace

qint64 BinRecord(TConn &c, const QByteArray &encUser, qint64 record, const QString &what,
                 qint64 successor)
{
    Stmt ins(c,
             "insert into \"recycle\" (\"user\",\"time\",\"what\",\"record\",\"successor\","
             "\"date\",\"type\",\"cate\",\"cents\",\"notes\",\"restored\") select \"user\", ?, "
             "?, \"id\", ?, \"date\", \"type\", \"cate\", cast(round(\"amount\" * 100) as "
             "bigint), \"notes\", 0 from \"data\" where \"id\"=? and \"user\"=? returning \"id\"");
    ins.bind(1, nowSecs()).bind(2, what).bind(3, successor).bind(4, record).bind(5, encUser);
    return ins.step() ? ins.int64(0) : 0;
}

QList<TRecycleEntry> TDbMan::RecycleBin(const QString &user)
{
    QList<TRecycleEntry> entries;
    TConnRef c = Connect();
    Stmt q(c, (QByteArray(EntryColumns) + "where \"user\"=? and \"restored\"=0 "
                                          "order by \"time\" desc, \"id\" desc")
                  .constData());
    q.bind(1, enc(user));
    while (q.step())
        entries << entryFrom(q);
    return entries;
}

TRecycleRestore TDbMan::RestoreRecycled(const QString &user, const QList<qint64> &entries)
{
    RefuseWrite();
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    TRecycleRestore result;
    WriteTransaction(c, [&] {
        result = TRecycleRestore{};
        for (qint64 id : entries) {
            const auto e = openEntry(c, encUser, id);
            const TOutcome outcome = e ? restoreEntry(c, encUser, *e, nullptr) : TOutcome::Skipped;
            if (outcome == TOutcome::Skipped) {
                ++result.Skipped;
                continue;
            }
            ++result.Restored;
            result.Replaced += outcome == TOutcome::Replaced;
            result.Revived += outcome == TOutcome::Revived;
            result.Ids << e->Record.Id;
            const QString &day = e->Record.Date;
            if (result.FirstDate.isEmpty() || day < result.FirstDate)
                result.FirstDate = day;
            if (day > result.LastDate)
                result.LastDate = day;
        }
    });
    return result;
}

qint64 TDbMan::PurgeRecycleBin(qint64 now)
{
    TConnRef c = Connect();
    {
        // Most starts find nothing to remove: a look takes no write lock.
        Stmt q(c, "select 1 from \"recycle\" where \"time\"<? limit 1");
        q.bind(1, now - RecycleKeepSecs);
        if (!q.step())
            return 0;
    }
    RefuseWrite();
    Stmt del(c, "delete from \"recycle\" where \"time\"<?");
    del.bind(1, now - RecycleKeepSecs);
    del.step();
    return c->changes();
}

QList<bool> TDbMan::RecordsUnchanged(const QString &user, const QList<TRecordVersion> &versions)
{
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    QList<bool> same;
    for (const TRecordVersion &v : versions) {
        const auto now = readRecord(c, encUser, v.Id);
        same << (now && now->SameContent(v));
    }
    return same;
}

QList<TRecordVersion> TDbMan::RemoveRecordsIf(const QString &user,
                                              const QList<TRecordVersion> &versions)
{
    RefuseWrite();
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    QList<TRecordVersion> removed;
    WriteTransaction(c, [&] {
        removed.clear();
        for (const TRecordVersion &v : versions) {
            const auto now = readRecord(c, encUser, v.Id);
            if (!now || !now->SameContent(v))
                continue;
            deleteRecord(c, encUser, v.Id);
            removed << v;
        }
    });
    return removed;
}

bool TDbMan::InsertRecordsWithIds(const QString &user, const QList<TRecordVersion> &versions)
{
    RefuseWrite();
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    bool done = false;
    WriteTransaction(c, [&] {
        done = false;
        for (const TRecordVersion &v : versions) {
            if (idTaken(c, v.Id))
                return;
        }
        for (const TRecordVersion &v : versions)
            insertWithId(c, encUser, v);
        done = true;
    });
    return done;
}

qint64 TDbMan::DeleteRecordIf(const QString &user, const TRecordVersion &expected)
{
    RefuseWrite();
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    qint64 entry = 0;
    WriteTransaction(c, [&] {
        entry = 0;
        const auto now = readRecord(c, encUser, expected.Id);
        if (!now || !now->SameContent(expected))
            return;
        entry = BinRecord(c, encUser, expected.Id, RecycleDelete(), 0);
        deleteRecord(c, encUser, expected.Id);
    });
    return entry;
}

TRecycleEdit TDbMan::ReplaceRecordIf(const QString &user, const TRecordVersion &expected,
                                     const TRecordVersion &content)
{
    RefuseWrite();
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    TRecycleEdit edit;
    WriteTransaction(c, [&] {
        edit = TRecycleEdit{};
        const auto now = readRecord(c, encUser, expected.Id);
        if (!now || !now->SameContent(expected))
            return;
        const qint64 newId = insertNew(c, encUser, content);
        edit.Entry = BinRecord(c, encUser, expected.Id, RecycleEdit(), newId);
        deleteRecord(c, encUser, expected.Id);
        BillLineFollowsRecord(c, expected.Id, newId);
        edit.Successor = newId;
    });
    return edit;
}

bool TDbMan::RestoreRecycledIf(const QString &user, qint64 entry, const TRecordVersion *successor)
{
    RefuseWrite();
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    bool done = false;
    WriteTransaction(c, [&] {
        const auto e = openEntry(c, encUser, entry);
        done = e && restoreEntry(c, encUser, *e, successor) != TOutcome::Skipped;
    });
    return done;
}

TRecycleEntry TDbMan::RecycleEntry(qint64 entry)
{
    TConnRef c = Connect();
    Stmt q(c, (QByteArray(EntryColumns) + "where \"id\"=?").constData());
    q.bind(1, entry);
    return q.step() ? entryFrom(q) : TRecycleEntry{};
}

TRenameUndo TDbMan::UndoRename(const QString &user, const QString &type, const QString &from,
                               const QString &to, const QList<qint64> &renamed,
                               const QString &listBefore, const QString &listAfter)
{
    RefuseWrite();
    const QByteArray encUser = enc(user);
    const char *column = type == TypeIncome() ? "\"in\"" : "\"out\"";
    TConnRef c = Connect();
    TRenameUndo undo;
    WriteTransaction(c, [&] {
        undo = TRenameUndo{};
        Stmt upd(c, "update \"data\" set \"cate\"=? where \"id\"=? and \"user\"=? and \"type\"=? "
                    "and \"cate\"=?");
        for (qint64 id : renamed) {
            upd.bind(1, enc(from)).bind(2, id).bind(3, encUser).bind(4, type).bind(5, enc(to));
            upd.step();
            (c->changes() == 1 ? undo.Restored : undo.Changed)++;
            upd.reset();
        }
        // A plain rename took the budgets and recurring entries along; they go
        // back with it. A merge into a name already listed cannot be told
        // apart, so they stay with the name they share.
        if (!THi::SplitLines(listBefore).contains(to)) {
            RecurringFollowsCate(c, encUser, type, to, from);
            if (type == TypeExpense())
                BudgetsFollowCate(c, encUser, to, from);
        }
        Stmt q(c, (QByteArray("select ") + column +
                   " from \"cates\" where \"user\"=? order by \"id\" limit 1")
                      .constData());
        q.bind(1, encUser);
        if (!q.step() || q.decoded(0) != listAfter || listBefore == listAfter)
            return;
        Stmt set(c, (QByteArray("update \"cates\" set ") + column +
                     "=? where \"id\"=(select min(\"id\") from \"cates\" where \"user\"=?)")
                        .constData());
        set.bind(1, enc(listBefore)).bind(2, encUser);
        set.step();
        undo.ListRestored = true;
    });
    return undo;
}
