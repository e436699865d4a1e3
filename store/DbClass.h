#pragma once

// TDbMan owns every statement the program sends to the store: the data file
// (SQLite) or, for a household on several computers, a PostgreSQL database
// named by a URL. It holds one engine (store/Engine.h), chosen from that
// location when it is made; its operations are written once against the
// engine's connection. On a data file each operation opens a connection and
// closes it at the end, so no running copy holds the file between
// operations; a server connection is kept and opened again when lost. Free texts (names,
// passwords' owners, categories, notes, category lists) are stored as base64
// of their GB18030 bytes; passwords as a salted one-way hash. Every failure
// raises EDbError with a sentence for the user (what happened, to which file,
// what to do) and the engine's own text on its last line; multi-statement
// writes are all-or-nothing.

#include "BillRules.h"
#include "BillStore.h"
#include "BudgetStore.h"
#include "DbErrors.h"
#include "HiClass.h"
#include "Progress.h"
#include "RecurringStore.h"
#include "RecycleStore.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TEngine;
class TConnRef;
struct THousehold;

// The only two values of a record's type, and the two category list keys.
inline QString TypeExpense()
{
    return QStringLiteral("支出");
}
inline QString TypeIncome()
{
    return QStringLiteral("收入");
}
inline QString KindOut()
{
    return QStringLiteral("out");
}
inline QString KindIn()
{
    return QStringLiteral("in");
}

// The rows the store hands out and takes in hold amounts in whole cents and
// counts as numbers; the lists, exports and reports format them when they
// show them ("%0.2f" through THi::FormatCents, shares through
// THi::FormatShare). The column enums are the lists' column positions, and
// each row's Text(column) is that column as every list, export and report
// shows it.

// Day and month totals: the day "yyyy-mm-dd" or the month "yyyy-mm", and the
// income and expense sums of its records.
enum TDayCol { DayDate, DayIn, DayOut, DayCols };
enum TMonthCol { MonthMonth, MonthIn, MonthOut, MonthCols };
struct TSumRow {
    QString Key;
    qint64 InCents = 0, OutCents = 0;

    QString Text(int col) const;
    bool operator==(const TSumRow &o) const
    {
        return Key == o.Key && InCents == o.InCents && OutCents == o.OutCents;
    }
};
using TDayRow = TSumRow;
using TMonthRow = TSumRow;

// Record rows as text: id, date, category, income amount or empty, expense amount or empty, notes.
enum TRecCol { RecId, RecDate, RecCate, RecIn, RecOut, RecNotes, RecCols };

// One category of one type in the ranking: its records' count and sum, and
// the type's sum over the period, of which its share is taken.
enum TRankCol { RankType, RankCate, RankCount, RankSum, RankShare, RankCols };
struct TRankRow {
    QString Type; // TypeExpense() or TypeIncome()
    QString Cate;
    qint64 Count = 0;
    qint64 Cents = 0;
    qint64 TypeCents = 0;

    QString Text(int col) const; // the share as "6.31%"
    bool operator==(const TRankRow &o) const
    {
        return Type == o.Type && Cate == o.Cate && Count == o.Count && Cents == o.Cents &&
               TypeCents == o.TypeCents;
    }
};

// The records of one ranked category: date, category, amount, notes.
enum TDetailCol { DetailDate, DetailCate, DetailAmount, DetailNotes, DetailCols };
struct TDetailRow {
    QString Date, Cate;
    qint64 Cents = 0;
    QString Notes;

    QString Text(int col) const;
    bool operator==(const TDetailRow &o) const
    {
        return Date == o.Date && Cate == o.Cate && Cents == o.Cents && Notes == o.Notes;
    }
};

// One record to store (the entry panels' pending lines): date "yyyy-mm-dd",
// type word, category, amount in cents, notes.
struct TBatchRow {
    QString Date, Type, Cate;
    qint64 Cents = 0;
    QString Notes;
};

using TSumRows = QList<TSumRow>;
using TDayRows = TSumRows;
using TMonthRows = TSumRows;
using TRankRows = QList<TRankRow>;
using TDetailRows = QList<TDetailRow>;
using TBatchRows = QList<TBatchRow>;

// The record list of a period in a compact form: a list shows a few dozen of
// several hundred thousand rows, so texts are made only when a row is shown.
// Categories and dates are shared tables; notes stay in their stored base64
// form in one block and are decoded by Notes().
class TRecordList {
public:
    enum TKind : quint8 { Expense, Income, Other };
    struct TRecord {
        qint64 Id;
        qint64 Cents;
        qint32 Date;              // index into the date table
        qint32 Cate;              // index into the category table
        qint32 NotesAt, NotesLen; // stored notes within the block
        TKind Kind;               // type word compared trimmed with A-Z folded
    };

    int size() const { return int(m_recs.size()); }
    bool isEmpty() const { return m_recs.empty(); }
    const TRecord &at(int i) const { return m_recs[size_t(i)]; }

    qint64 Id(int i) const { return at(i).Id; }
    qint64 Cents(int i) const { return at(i).Cents; }
    TKind Kind(int i) const { return at(i).Kind; }
    const QString &Date(int i) const { return m_dates.at(at(i).Date); }
    const QString &Cate(int i) const { return m_cates.at(at(i).Cate); }
    const QString &CateName(int cate) const { return m_cates.at(cate); }
    QString Notes(int i) const;
    // One column as the record row of text shows it.
    QString Text(int i, TRecCol col) const;
    // The whole record row of text (RecCols strings).
    QStringList Row(int i) const;
    // The position of the record with this id, or -1 (linear: for one
    // selected record, not for loops).
    int IndexOfId(qint64 id) const;
    // Drops one record (after it was deleted from the file).
    void RemoveAt(int i);
    // The notes of record i as stored (base64 of GB18030), without decoding.
    QByteArrayView StoredNotes(int i) const
    {
        const TRecord &r = at(i);
        return QByteArrayView(m_notes.constData() + r.NotesAt, r.NotesLen);
    }
    // The records at these positions (ascending), in a list that shares this
    // one's date, category and notes tables: cheap for a filtered view.
    TRecordList Select(const std::vector<int> &rows) const;
    // The number of distinct dates and categories the tables hold.
    int DateCount() const { return int(m_dates.size()); }
    int CateCount() const { return int(m_cates.size()); }

    // Filled by the store.
    int AddDate(const QString &date);
    int AddCate(const QString &cate);
    void Append(qint64 id, qint64 cents, int date, int cate, TKind kind, const char *notes,
                int notesLen);

private:
    std::vector<TRecord> m_recs;
    QStringList m_dates, m_cates;
    QByteArray m_notes;
};

// Everything the browser shows for one period.
struct TPeriod {
    qint64 OutCents = 0, InCents = 0;  // the period's totals
    TSumRows DayRows, MonthRows;       // in date order
    TRecordList RecRows;               // ordered by date, expense before income, then id
    TRankRows OutCateRows, InCateRows; // largest sum first
};

struct TStoreCounts {
    qint64 Users = 0, CateLists = 0, Records = 0;
};

class TDbMan {
public:
    // location is the data file's path or a server's URL ("postgresql://..."
    // or "postgres://..."); it chooses the engine, once. Nothing is opened yet.
    explicit TDbMan(const QString &location);
    ~TDbMan();
    TDbMan(const TDbMan &) = delete;
    TDbMan &operator=(const TDbMan &) = delete;

    QString Location() const;

    // A ledger opened although it cannot be written (the login's own write
    // failed on a full disk): every write is refused with EDbCannotWrite and
    // ReadOnlyText() before it reaches the store; reading and backups to
    // another place go on.
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool ReadOnly() const { return m_readOnly; }
    static QString ReadOnlyText();

    // What the windows ask of the ledger instead of its kind:
    // a data file on this computer (else a server ledger);
    bool IsLocalFile() const;
    // a data file that is not there, so there is nothing to open (a server
    // is only found by connecting);
    bool IsMissing() const;
    // where its automatic copies go (for a server, the data folder here);
    QString AutoBackupFolder() const;
    // the arguments that start the program again on this ledger, followed by
    // arguments: each is one argument (a server's URL too), never a string
    // to be split.
    QStringList RestartArguments(const QStringList &arguments = {}) const;

    // The store as messages name it: the file's path, or the URL without a password.
    static QString ShownName(const QString &location);
    // True when no account, category list or record is stored.
    bool IsEmpty();
    TStoreCounts Counts();

    // Accounts and category lists.
    QString ListUsers(); // newest account row first, CR LF between names
    bool CheckLogin(const QString &name, const QString &password);
    bool UserExists(const QString &name);
    // Raises EUserExists when the name is an account already.
    bool AddUser(const QString &name, const QString &password);
    bool DeleteUser(const QString &name);
    // Deletes and re-inserts the account row in one transaction (login, password change).
    void RewriteUser(const QString &name, const QString &password);
    QString GetCateList(const QString &user, const QString &kind);
    void SetCateList(const QString &user, const QString &kind, const QString &text);
    // The same, but only while the stored list is still expected (as read
    // when an editor opened); false, with nothing written, when another
    // running copy changed it meanwhile.
    bool SetCateListIf(const QString &user, const QString &kind, const QString &expected,
                       const QString &text);
    // Adds one category at the top of the stored list unless it is there already
    // (compared trimmed with A-Z folded), read and written in one transaction so
    // that two running copies cannot lose each other's additions. Returns the
    // stored list.
    QString MergeCate(const QString &user, const QString &kind, const QString &name);
    // Renames a category of one type (TypeExpense or TypeIncome) in one
    // transaction: every record of user with that type and exactly that
    // category gets the new name, and in the type's pick list the old name
    // (compared trimmed with A-Z folded) becomes the new one, or is dropped
    // when the new one is listed already. A new name that records already use
    // merges the two. The new name goes through THi::CateName; a blank one
    // raises EDbError and changes nothing. Returns the stored pick list.
    QString RenameCate(const QString &user, const QString &type, const QString &from,
                       const QString &to);
    // How many records of user have this type and exactly this category.
    qint64 CountCate(const QString &user, const QString &type, const QString &cate);

    // Ledger records. Amounts are in cents; one of MaxAmount or more, either
    // way, raises EDbError and stores nothing.
    void AddRecord(const QString &user, const QString &date, const QString &type,
                   const QString &cate, qint64 cents, const QString &notes);
    // All rows or none.
    void AddRecords(const QString &user, const TBatchRows &rows);
    // Deletes the record only when it belongs to user; an id that is gone (or
    // another user's) changes nothing and reports nothing.
    void DeleteRecord(const QString &user, const QString &id);
    // Deletes record id and inserts the new values in one transaction (record
    // edit). When id is not a record of user (deleted meanwhile, or another
    // user's), nothing changes and EDbError says so.
    void ReplaceRecord(const QString &id, const QString &user, const QString &date,
                       const QString &type, const QString &cate, qint64 cents,
                       const QString &notes);

    TPeriod QueryPeriod(const QString &user, const QString &start, const QString &end);
    // The dates of user's earliest and latest record ("yyyy-mm-dd"); both
    // empty when user has no record. One look at each end of the index.
    struct TDateBounds {
        QString First, Last;
    };
    TDateBounds RecordDates(const QString &user);
    // The records of one type and category, by date, then id.
    TDetailRows QueryCateDetail(const QString &user, const QString &start, const QString &end,
                                const QString &type, const QString &cate);

    // A consistent copy of the whole store, safe while another copy writes; on
    // a server too it is a data file, so it restores on either store.
    // Written beside the target under a temporary name and renamed over it;
    // mode 0600.
    void BackupTo(const QString &fileName);

    // The ledger's own safety copies (in AutoBackupFolder(); BackupFolder
    // answers the same for a location), and the start-up import that a
    // restore takes effect by. On a data file ImportFrom reads the chosen
    // file's rows into a fresh file made from the template and checks it, then
    // keeps an automatic copy of the current data and replaces the live data
    // file's contents with the new file's through the engine; on a server the
    // rows replace the tables' in one transaction. A failed import leaves the
    // old data in place.
    static QString BackupFolder(const QString &location);
    QString AutoBackup(); // returns the copy's path
    // Only the chosen file's rows are imported, each checked; a file with a
    // bad row is refused whole. progress is called while rows are read.
    void ImportFrom(const QString &fileName, const TProgress &progress = {});
    // Raises EDbError with a sentence for the user when fileName is not a
    // regular file (a folder, a pipe, a device) or is missing.
    static void CheckImportFile(const QString &fileName);
    // Raises EDbTooNew (nothing imported) for a file of a newer release.
    static void CheckImportVersion(const QString &fileName);
    // Brings an existing data file or server ledger up to the current schema
    // (on a file: unique account names, current indexes, then the schema
    // steps it lacks, after an automatic copy); run once at start-up and after
    // an import. A ledger of a newer release raises EDbTooNew, untouched.
    void Upgrade();

    // The rows of a data file of ours (a backup), read without changing it.
    // With checkPages the engine first reads every page of it
    // (integrity_check); raises EDbError when it is damaged or not ours.
    static TStoreCounts CountsOf(const QString &file, bool checkPages);
    // The day's daily copy of a server ledger is made by the computer that
    // starts first that day: true for the first caller of a day, which holds
    // the day until ReleaseDailyCopy (after a copy that failed) gives it
    // back as *before was.
    bool ClaimDailyCopy(const QDate &today, QString *before);
    void ReleaseDailyCopy(const QDate &today, const QString &before);

    // ---- Bill imports (store/BillStore.cpp) ----
    // What this ledger imported from source before, by any account (for
    // BillRules::MarkDuplicates).
    TImportedKeys ImportedKeys(const QString &source);
    // The person's rules, the category this account last used per
    // counterparty (the record's category now), the app classes (the
    // built-in table overlaid with the account's own for source) and the
    // account's pick lists.
    TCategoryContext CategoryContext(const QString &user, const QString &source);
    // Adds or replaces the rule for word (trimmed; compared exactly); an
    // empty category removes it. A blank word raises EDbError.
    void SetCategoryRule(const QString &user, const QString &word, const QString &cate);
    // The account's category for one of the app's classes; an empty one goes
    // back to the built-in table.
    void SetAppClass(const QString &user, const QString &source, const QString &appClass,
                     const QString &cate);
    // The mapping remembered for a header line (BillReader::HeaderKey).
    std::optional<TColumnMapping> ColumnMapping(const QString &headerKey);
    void SetColumnMapping(const QString &headerKey, const TColumnMapping &mapping);
    // Imports the chosen lines (each with its category; an empty one is
    // 其他) as records of user, one batch, in one transaction; lines imported
    // meanwhile are skipped and counted. Categories used join the pick lists.
    // A line with an invalid date or amount raises EDbError, nothing stored.
    TBillImportResult ImportBill(const QString &user, const QString &source,
                                 const QString &fileName, const QList<TBillLine> &lines);
    // The account's batches, newest first.
    QList<TBillBatch> BillBatches(const QString &user);
    // Removes the batch's records still as imported (and those edited since
    // when alsoEdited); their bill lines go, so the bill can be imported
    // again. The batch stays in the list, marked undone.
    TBillUndo UndoBillBatch(const QString &user, qint64 batchId, bool alsoEdited);

    // ---- Household view (store/HouseholdStore.cpp) ----
    // Whether user lets the other accounts of this ledger see its records
    // (off until turned on).
    bool HouseholdShare(const QString &user);
    // Turns that on or off once password is user's (checked as the login
    // checks it); false, with nothing written, when it is not.
    bool SetHouseholdShare(const QString &user, const QString &password, bool share);
    // The period's figures and records of user and of every other account
    // that allows it (THousehold in store/HouseholdStore.h), read at one
    // moment. An account that does not allow it appears nowhere in it.
    THousehold Household(const QString &user, const QString &start, const QString &end);
    // ---- Recurring entries (store/RecurringStore.cpp) ----
    // The account's entries, by category then id, each with the latest due
    // date claimed. An entry whose stored rule cannot be read comes with an
    // invalid rule (shown, never proposed).
    QList<TRecurringEntry> RecurringEntries(const QString &user);
    // Adds an entry (its Id and Time are set here) and returns its id. A
    // blank category, an invalid rule, type or amount raises EDbError.
    qint64 AddRecurring(const QString &user, const TRecurringEntry &entry, qint64 now);
    // Replaces the entry's values; nothing before now's day is proposed for it
    // afterwards. EDbError when it is gone (deleted on another computer).
    void ReplaceRecurring(const QString &user, const TRecurringEntry &entry, qint64 now);
    // Removes the entry and what became of its proposals; proposals still
    // pending somewhere may still be saved or deleted there.
    void DeleteRecurring(const QString &user, qint64 id);
    // Claims the due dates of the account's entries from the day each was
    // made up to today (at most RecurringStore::MaxPerEntry per entry, the
    // newest) that no program claimed yet, or whose holder stopped
    // confirming it; oldest first. One transaction, so two programs never
    // claim the same date.
    QList<TProposal> ClaimProposals(const QString &user, const QDate &today, qint64 now);
    // Confirms the claims still held (their tokens become now); returns the
    // positions of those lost to another program meanwhile.
    QList<int> KeepProposals(QList<TProposalClaim> &claims, qint64 now);
    // The person deleted the proposed line: that date is not proposed again.
    void DismissProposal(const TProposalClaim &claim, qint64 now);
    // The program closes with the lines unsaved: the dates are proposed again.
    void ReleaseProposals(const QList<TProposalClaim> &claims);
    // AddRecords for pending lines of which some are proposals (claims
    // parallel to rows, Made 0 for a plain line): the records and the claims
    // marked saved with their record ids, all or nothing. A claim no longer
    // held raises EDbError and stores nothing.
    void AddProposedRecords(const QString &user, const TBatchRows &rows,
                            const QList<TProposalClaim> &claims, qint64 now);
    // ---- Recycle bin and undo (store/RecycleStore.cpp) ----
    // DeleteRecord and ReplaceRecord keep the record as it was in the bin, in
    // their own transaction. Nothing here changes a record that is not
    // exactly as expected: another computer's change is never overwritten.
    // The account's entries not restored yet, newest first.
    QList<TRecycleEntry> RecycleBin(const QString &user);
    // Puts the entries back, all in one transaction: a deleted record with
    // its old id, an edited one with its old content (its later version, or
    // the one that replaced that since, goes into the bin in its place; when
    // that was deleted meanwhile the old content simply comes back).
    TRecycleRestore RestoreRecycled(const QString &user, const QList<qint64> &entries);
    // Removes every account's entries from before now - RecycleKeepSecs.
    qint64 PurgeRecycleBin(qint64 now);
    static constexpr qint64 RecycleKeepSecs = qint64(90) * 24 * 3600;

    // Called after every committed save, delete, edit, category rename and
    // bill import made through this object (for the undo of this session).
    using TChangeHook = std::function<void(const TStoreChange &)>;
    void SetChangeHook(TChangeHook hook) { m_changeHook = std::move(hook); }
    // For each version: the record is stored under its id with exactly that content.
    QList<bool> RecordsUnchanged(const QString &user, const QList<TRecordVersion> &versions);
    // Removes the records still exactly as given (not into the bin);
    // returns those removed.
    QList<TRecordVersion> RemoveRecordsIf(const QString &user,
                                          const QList<TRecordVersion> &versions);
    // Stores the records again under their own ids; false, with nothing
    // written, when one of the ids is taken.
    bool InsertRecordsWithIds(const QString &user, const QList<TRecordVersion> &versions);
    // Deletes the record (into the bin) only while it is exactly expected;
    // returns the bin entry, or 0 when nothing was written.
    qint64 DeleteRecordIf(const QString &user, const TRecordVersion &expected);
    // Replaces the record by content (Id unused) only while it is exactly
    // expected, as ReplaceRecord does.
    TRecycleEdit ReplaceRecordIf(const QString &user, const TRecordVersion &expected,
                                 const TRecordVersion &content);
    // Puts one entry back (as RestoreRecycled) only while it is not restored
    // and, for an edit, the record it left is exactly successor; false, with
    // nothing written, otherwise.
    bool RestoreRecycledIf(const QString &user, qint64 entry, const TRecordVersion *successor);
    // The entry's content and kind (any account's); Id 0 when it is gone.
    TRecycleEntry RecycleEntry(qint64 entry);
    // Gives the renamed records still named to the name from again, and the
    // pick list its old text while it is still as the rename left it.
    TRenameUndo UndoRename(const QString &user, const QString &type, const QString &from,
                           const QString &to, const QList<qint64> &renamed,
                           const QString &listBefore, const QString &listAfter);
    // ---- Budgets (store/BudgetStore.cpp) ----
    // The account's budgets: per expense category (TBudgetPlan::AllExpenses
    // for all expenses together) a default for every month and overrides for
    // single months.
    TBudgetPlan BudgetPlan(const QString &user);
    // The category's budget for every month (cents > 0), or none (0).
    void SetDefaultBudget(const QString &user, const QString &cate, qint64 cents);
    // The month's own budget (0: none that month), or nothing: the month
    // follows the default again. A bad name or amount raises EDbError.
    void SetMonthBudget(const QString &user, const QString &cate, const QDate &month,
                        std::optional<qint64> cents);
    // What user spent in the month of `month` per expense category (as the
    // ranking sums it) and in total under TBudgetPlan::AllExpenses.
    QHash<QString, qint64> MonthSpending(const QString &user, const QDate &month);
    // The plan and the month's spending together (the 预算 window).
    TBudgetMonth BudgetMonth(const QString &user, const QDate &month);
    // QueryPeriod and the plan in one go (one connection): a month's
    // ranking with its budgets (TBudgetPlan::figures over BudgetSpentOf).
    TPeriod QueryPeriodAndBudgets(const QString &user, const QString &start, const QString &end,
                                  TBudgetPlan &plan);
    // After saved was stored: the budgeted categories whose spending passed
    // 80 % or 100 % of their month's budget with it, month by month.
    QList<TBudgetSaveCrossing> BudgetCrossings(const QString &user, const TBatchRows &saved);

    // True when the file is one of our data files: it opens as SQLite and holds
    // the three tables with exactly our columns. Opens read-only; creates nothing.
    static bool IsDataFile(const QString &path);

    static QString HashPassword(const QString &password);
    static bool VerifyPassword(const QString &hash, const QString &password);

    // Test seam: how long an operation waits for another copy's write lock.
    static void SetBusyTimeout(int ms);
    // Called while an operation waits for another copy's write lock (on a
    // server: for a statement's answer, past a moment): with true at every
    // pause (some 10 to 20 ms apart), with false once when that wait ends. The windows keep
    // painting from it. Never called from within itself; what it raises is dropped.
    using TWaitHook = std::function<void(bool waiting)>;
    static void SetWaitHook(TWaitHook hook);

private:
    TConnRef Connect();
    void RefuseWrite() const; // raises in a read-only ledger

    std::unique_ptr<TEngine> m_engine; // file or server, chosen by the constructor
    bool m_readOnly = false;
    TChangeHook m_changeHook; // the undo of this session, when set
};
