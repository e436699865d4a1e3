// TDbMan's recurring block: the recurring entries of an account (table
// recurring) and the claims on their due dates (recurring_made, unique per
// entry and due date), written once for both engines.

#include "RecurringStore.h"

#include "DbClass.h"
#include "DbConn.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>

namespace {

QByteArray enc(const QString &text)
{
    return THi::Base64Encode(text).toLatin1();
}

const char *const Proposed = "proposed";
const char *const Saved = "saved";
const char *const Dismissed = "dismissed";

// The values of an entry as stored, checked first: nothing half-valid is kept.
void checkEntry(const TRecurringEntry &e)
{
    if (e.Type != TypeExpense() && e.Type != TypeIncome())
        throw EDbError(QStringLiteral("“%1”不是记录的类型，定期收支没有保存。").arg(e.Type));
    if (THi::CateName(e.Cate).isEmpty())
        throw EDbError(QStringLiteral("定期收支的项目不能是空的，也不能分成几行。"));
    if (e.Cents <= 0 || e.Cents >= qint64(THi::MaxAmount) * 100)
        throw EDbError(
            QStringLiteral("金额“%1”无效，定期收支没有保存。").arg(THi::FormatCents(e.Cents)));
    if (!e.Rule.isValid())
        throw EDbError(
            QStringLiteral("定期收支的规则无效（开始日期、结束日期或间隔），没有保存。"));
}

void bindEntry(Stmt &q, const TRecurringEntry &e, qint64 now)
{
    q.bind(1, e.Type).bind(2, enc(THi::CateName(e.Cate))).bind(3, e.Cents);
    q.bind(4, enc(THi::Trim(e.Notes)));
    q.bind(5, THi::DateToYmd(e.Rule.start()));
    q.bind(6, e.Rule.end().isValid() ? THi::DateToYmd(e.Rule.end()) : QString());
    q.bind(7, e.Rule.toText()).bind(8, now);
}

QList<TRecurringEntry> readEntries(TConn &c, const QByteArray &encUser)
{
    QList<TRecurringEntry> out;
    Stmt q(c, "select r.\"id\",r.\"type\",r.\"cate\",r.\"cents\",r.\"notes\",r.\"rule\",r.\"time\","
              "(select max(m.\"due\") from \"recurring_made\" m where m.\"entry\"=r.\"id\") "
              "from \"recurring\" r where r.\"user\"=? order by r.\"id\"");
    q.bind(1, encUser);
    while (q.step()) {
        TRecurringEntry e;
        e.Id = q.int64(0);
        e.Type = q.text(1);
        e.Cate = q.decoded(2);
        e.Cents = q.int64(3);
        e.Notes = q.decoded(4);
        if (const auto rule = TRecurrence::FromText(q.latin1(5)))
            e.Rule = *rule;
        e.Time = q.int64(6);
        if (!q.isNull(7))
            e.LastMade = QDate::fromString(q.latin1(7), Qt::ISODate);
        out.append(e);
    }
    return out;
}

// One claim's state moves on only while its holder's token is on it.
bool moveClaim(TConn &c, const TProposalClaim &claim, const char *state, qint64 record, qint64 now)
{
    Stmt q(c, "update \"recurring_made\" set \"state\"=?,\"record\"=?,\"time\"=? "
              "where \"id\"=? and \"state\"=? and \"time\"=?");
    q.bind(1, QByteArray(state)).bind(2, record).bind(3, now).bind(4, claim.Made);
    q.bind(5, QByteArray(Proposed)).bind(6, claim.Token);
    q.step();
    return c.changes() > 0;
}

} // namespace

QDate TRecurringEntry::NextDue(const QDate &today) const
{
    QDate after = today.addDays(-1);
    if (LastMade.isValid() && LastMade > after)
        after = LastMade;
    return Rule.next(after);
}

void RecurringFollowsCate(TConn &c, const QByteArray &encUser, const QString &type,
                          const QString &from, const QString &to)
{
    Stmt upd(c, "update \"recurring\" set \"cate\"=? where \"user\"=? and \"type\"=? and "
                "\"cate\"=?");
    upd.bind(1, enc(to)).bind(2, encUser).bind(3, type).bind(4, enc(from));
    upd.step();
}

QList<TRecurringEntry> TDbMan::RecurringEntries(const QString &user)
{
    TConnRef c = Connect();
    QList<TRecurringEntry> out = readEntries(c, enc(user));
    std::stable_sort(out.begin(), out.end(),
                     [](const TRecurringEntry &a, const TRecurringEntry &b) {
                         return a.Type != b.Type ? a.Type == TypeExpense() : a.Cate < b.Cate;
                     });
    return out;
}

qint64 TDbMan::AddRecurring(const QString &user, const TRecurringEntry &entry, qint64 now)
{
    RefuseWrite();
    checkEntry(entry);
    TConnRef c = Connect();
    Stmt ins(c, "insert into \"recurring\" (\"type\",\"cate\",\"cents\",\"notes\",\"start\","
                "\"stop\",\"rule\",\"time\",\"user\") values (?,?,?,?,?,?,?,?,?) returning \"id\"");
    bindEntry(ins, entry, now);
    ins.bind(9, enc(user));
    return ins.step() ? ins.int64(0) : 0;
}

void TDbMan::ReplaceRecurring(const QString &user, const TRecurringEntry &entry, qint64 now)
{
    RefuseWrite();
    checkEntry(entry);
    TConnRef c = Connect();
    Stmt upd(c, "update \"recurring\" set \"type\"=?,\"cate\"=?,\"cents\"=?,\"notes\"=?,"
                "\"start\"=?,\"stop\"=?,\"rule\"=?,\"time\"=? where \"user\"=? and \"id\"=?");
    bindEntry(upd, entry, now);
    upd.bind(9, enc(user)).bind(10, entry.Id);
    upd.step();
    if (c->changes() == 0) {
        throw EDbError(QStringLiteral("这条定期收支已经不在了（可能已在另一台电脑上删除），"
                                      "修改没有保存。"));
    }
}

void TDbMan::DeleteRecurring(const QString &user, qint64 id)
{
    RefuseWrite();
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        Stmt del(c, "delete from \"recurring\" where \"user\"=? and \"id\"=?");
        del.bind(1, enc(user)).bind(2, id);
        del.step();
        if (c->changes() == 0)
            return;
        // A proposal pending in a running program stays until it is saved or deleted there.
        Stmt made(c, "delete from \"recurring_made\" where \"entry\"=? and \"state\"<>?");
        made.bind(1, id).bind(2, QByteArray(Proposed));
        made.step();
    });
}

QList<TProposal> TDbMan::ClaimProposals(const QString &user, const QDate &today, qint64 now)
{
    TConnRef c = Connect();
    // Read first: a start without anything due writes nothing (and waits for no lock).
    const auto dueOf = [&](const TRecurringEntry &e) {
        // Nothing from before the day the entry was made or last changed:
        // those records were entered by hand, if at all.
        const QDate made = QDateTime::fromSecsSinceEpoch(e.Time).date();
        return e.Rule.due(made.addDays(-1), today, RecurringStore::MaxPerEntry).Dates;
    };
    const QList<TRecurringEntry> before = readEntries(c, enc(user));
    if (std::all_of(before.cbegin(), before.cend(),
                    [&](const TRecurringEntry &e) { return dueOf(e).isEmpty(); }))
        return {};
    RefuseWrite();
    QList<TProposal> out;
    WriteTransaction(c, [&] {
        out.clear(); // a transaction run again starts over
        const QList<TRecurringEntry> entries = readEntries(c, enc(user));
        Stmt made(c, "select \"due\",\"id\",\"state\",\"time\" from \"recurring_made\" "
                     "where \"entry\"=?");
        // Does nothing when another program claimed the date meanwhile.
        Stmt claim(c, "insert into \"recurring_made\" (\"entry\",\"due\",\"state\",\"record\","
                      "\"time\") values (?,?,?,0,?) on conflict do nothing returning \"id\"");
        Stmt takeOver(c, "update \"recurring_made\" set \"time\"=? where \"id\"=? and "
                         "\"state\"=? and \"time\"=?");
        for (const TRecurringEntry &e : entries) {
            const QList<QDate> due = dueOf(e);
            if (due.isEmpty())
                continue;
            struct Known {
                qint64 id, time;
                bool proposed;
            };
            QHash<QString, Known> known;
            made.bind(1, e.Id);
            while (made.step()) {
                known.insert(made.latin1(0),
                             Known{made.int64(1), made.int64(3), made.bytes(2) == Proposed});
            }
            made.reset();
            for (const QDate &d : due) {
                const QString day = THi::DateToYmd(d);
                TProposal p;
                const auto k = known.constFind(day);
                if (k == known.cend()) {
                    claim.bind(1, e.Id).bind(2, day).bind(3, QByteArray(Proposed)).bind(4, now);
                    if (claim.step())
                        p.Claim.Made = claim.int64(0);
                    claim.reset();
                } else if (k->proposed && k->time < now - RecurringStore::StaleSeconds) {
                    // Its holder stopped confirming it (ended without releasing it).
                    takeOver.bind(1, now).bind(2, k->id).bind(3, QByteArray(Proposed));
                    takeOver.bind(4, k->time);
                    takeOver.step();
                    if (c->changes() > 0)
                        p.Claim.Made = k->id;
                    takeOver.reset();
                }
                if (p.Claim.Made == 0)
                    continue;
                p.Claim.Token = now;
                p.Entry = e.Id;
                p.Date = day;
                p.Type = e.Type;
                p.Cate = e.Cate;
                p.Cents = e.Cents;
                p.Notes = e.Notes;
                out.append(p);
            }
        }
    });
    std::stable_sort(out.begin(), out.end(),
                     [](const TProposal &a, const TProposal &b) { return a.Date < b.Date; });
    return out;
}

QList<int> TDbMan::KeepProposals(QList<TProposalClaim> &claims, qint64 now)
{
    QList<int> lost;
    if (claims.isEmpty())
        return lost;
    RefuseWrite();
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        lost.clear();
        Stmt q(c, "update \"recurring_made\" set \"time\"=? where \"id\"=? and \"state\"=? "
                  "and \"time\"=?");
        for (int i = 0; i < claims.size(); ++i) {
            q.bind(1, now).bind(2, claims.at(i).Made).bind(3, QByteArray(Proposed));
            q.bind(4, claims.at(i).Token);
            q.step();
            if (c->changes() == 0)
                lost.append(i);
            q.reset();
        }
    });
    for (int i = 0; i < claims.size(); ++i) {
        if (!lost.contains(i))
            claims[i].Token = now;
    }
    return lost;
}

void TDbMan::DismissProposal(const TProposalClaim &claim, qint64 now)
{
    if (claim.Made == 0)
        return;
    RefuseWrite();
    TConnRef c = Connect();
    // A claim lost meanwhile is the other holder's to settle.
    moveClaim(c, claim, Dismissed, 0, now);
}

void TDbMan::ReleaseProposals(const QList<TProposalClaim> &claims)
{
    if (claims.isEmpty() || ReadOnly())
        return;
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        Stmt del(c, "delete from \"recurring_made\" where \"id\"=? and \"state\"=? and "
                    "\"time\"=?");
        for (const TProposalClaim &claim : claims) {
            if (claim.Made == 0)
                continue;
            del.bind(1, claim.Made).bind(2, QByteArray(Proposed)).bind(3, claim.Token);
            del.step();
            del.reset();
        }
    });
}

void TDbMan::AddProposedRecords(const QString &user, const TBatchRows &rows,
                                const QList<TProposalClaim> &claims, qint64 now)
{
    const bool anyClaim = std::any_of(claims.cbegin(), claims.cend(),
                                      [](const TProposalClaim &p) { return p.Made != 0; });
    if (!anyClaim) {
        AddRecords(user, rows);
        return;
    }
    RefuseWrite();
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    QList<qint64> ids;
    WriteTransaction(c, [&] {
        ids.clear(); // a retried transaction starts again
        for (int i = 0; i < rows.size(); ++i) {
            const qint64 id = InsertRecordRow(c, encUser, rows.at(i));
            ids << id;
            const TProposalClaim claim = i < claims.size() ? claims.at(i) : TProposalClaim();
            if (claim.Made != 0 && !moveClaim(c, claim, Saved, id, now)) {
                const TBatchRow &r = rows.at(i);
                throw EDbError(QStringLiteral("%1 的定期收支“%2”已在另一台电脑上保存或删除。\n"
                                              "请从列表中删除这一行后再保存。")
                                   .arg(r.Date, r.Cate));
            }
        }
    });
    // A save with proposals is undone like any other save.
    if (m_changeHook) {
        TStoreChange change;
        change.Kind = TStoreChange::Save;
        change.User = user;
        for (qsizetype i = 0; i < rows.size() && i < ids.size(); ++i) {
            const TBatchRow &r = rows[i];
            change.Records << TRecordVersion{
                ids[i], THi::DateToYmd(THi::YmdToDate(r.Date)), r.Type, r.Cate, r.Cents, r.Notes};
        }
        m_changeHook(change);
    }
}
