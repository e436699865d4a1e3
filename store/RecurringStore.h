#pragma once

// What the store keeps of recurring entries (TDbMan's recurring block in
// DbClass.h, store/RecurringStore.cpp): the entries of an account, and the
// proposals made of them. Each due date of an entry is claimed once in
// recurring_made, whichever computer starts first; the claim then says
// what became of it.
//
// A claim is "proposed" while a running program shows it as a pending line,
// "saved" (with the record's id) once the person saved it, "dismissed" once
// the person deleted the line. A program that closes with proposals still
// pending releases their claims, so the next start proposes them again. Its
// claims carry the time it last confirmed holding them (the token): a claim
// not confirmed for StaleSeconds (a program that crashed or lost its
// connection) may be taken over by the next program, and the old holder's
// token then no longer matches, so it can neither save nor keep it.

#include "Recurrence.h"

#include <QByteArray>
#include <QList>
#include <QString>

class TConn;
struct TBatchRow;

// One recurring entry of an account. The rule holds its start and end.
struct TRecurringEntry {
    qint64 Id = 0;
    QString Type; // TypeExpense() or TypeIncome()
    QString Cate;
    qint64 Cents = 0;
    QString Notes;
    TRecurrence Rule;
    qint64 Time = 0; // made or last changed, seconds since 1970: nothing before its day is proposed
    QDate LastMade;  // the latest due date claimed so far (read only), invalid when none

    // The first due date still to be proposed on or after today; invalid when the rule has ended.
    QDate NextDue(const QDate &today) const;
};

// A claim this program holds on one due date of one entry.
struct TProposalClaim {
    qint64 Made = 0;  // the recurring_made row; 0 for a line that is no proposal
    qint64 Token = 0; // the time the holder last wrote on it
};

// A claimed due date with the record it proposes.
struct TProposal {
    TProposalClaim Claim;
    qint64 Entry = 0;
    QString Date, Type, Cate; // "yyyy-mm-dd"
    qint64 Cents = 0;
    QString Notes;
};

namespace RecurringStore {
// A claim nobody confirmed for this long is free for the next program.
constexpr qint64 StaleSeconds = 3600;
// How often a running program confirms the claims it holds.
constexpr int KeepIntervalMs = 10 * 60 * 1000;
// The newest due dates proposed per entry after a long absence.
constexpr int MaxPerEntry = 31;
} // namespace RecurringStore

// Inside TDbMan::RenameCate's transaction: the account's entries of that type
// and category take the new name.
void RecurringFollowsCate(TConn &c, const QByteArray &encUser, const QString &type,
                          const QString &from, const QString &to);
// The store's checked insert of one record (DbClass.cpp), with its new id.
qint64 InsertRecordRow(TConn &c, const QByteArray &encUser, const TBatchRow &row);
