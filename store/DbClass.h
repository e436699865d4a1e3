#pragma once

// TDbMan owns every statement the program sends to the data file. It opens a
// connection at the start of each operation and closes it at the end, so no
// running copy holds the file between operations. Free texts (names,
// passwords' owners, categories, notes, category lists) are stored as base64
// of their GB18030 bytes; passwords as a salted one-way hash. Every engine
// failure raises EDbError carrying the engine's message; multi-statement
// writes are all-or-nothing.

#include "HiClass.h"

#include <QList>
#include <QString>
#include <QStringList>

using TRow = QStringList;
using TRowList = QList<TRow>;

class EDbError : public TError {
public:
    using TError::TError;
};

// Another running copy holds the write lock longer than the busy timeout.
class EDbBusy : public EDbError {
public:
    using EDbError::EDbError;
};

// AddUser of a name that is already an account (names are unique).
class EUserExists : public EDbError {
public:
    using EDbError::EDbError;
};

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

class TDbMan {
public:
    explicit TDbMan(const QString &dataFile);
    ~TDbMan();
    TDbMan(const TDbMan &) = delete;
    TDbMan &operator=(const TDbMan &) = delete;

    QString DataFile() const { return m_dataFile; }

    // Accounts and category lists.
    QString ListUsers(); // newest account row first, CR LF between names
    bool CheckLogin(const QString &name, const QString &password);
    bool UserExists(const QString &name);
    bool AddUser(const QString &name, const QString &password);
    bool DeleteUser(const QString &name);
    // Deletes and re-inserts the account row in one transaction (login, password change).
    void RewriteUser(const QString &name, const QString &password);
    QString GetCateList(const QString &user, const QString &kind);
    void SetCateList(const QString &user, const QString &kind, const QString &text);
    // Adds one category at the top of the stored list unless it is there already
    // (compared with A-Z folded), read and written in one transaction so that two
    // running copies cannot lose each other's additions. Returns the stored list.
    QString MergeCate(const QString &user, const QString &kind, const QString &name);

    // Ledger records.
    void AddRecord(const QString &user, const QString &date, const QString &type,
                   const QString &cate, const QString &amount, const QString &notes);
    // Rows of five strings: date, type, category, amount, notes. All rows or none.
    void AddRecords(const QString &user, const TRowList &rows);
    // Both touch only a record of this user.
    void DeleteRecord(const QString &user, const QString &id);
    // Deletes record id and inserts the new values in one transaction (record edit).
    void ReplaceRecord(const QString &id, const QString &user, const QString &date,
                       const QString &type, const QString &cate, const QString &amount,
                       const QString &notes);

    void QueryPeriod(const QString &user, const QString &start, const QString &end,
                     double &outTotal, double &inTotal, TRowList &dayRows, TRowList &monthRows,
                     TRowList &recRows, TRowList &outCateRows, TRowList &inCateRows);
    void QueryCateDetail(const QString &user, const QString &start, const QString &end,
                         const QString &type, const QString &cate, TRowList &rows);

    // A consistent copy of the whole data file, safe while another copy writes.
    void BackupTo(const QString &fileName);

    // The data file's own safety copies, and the start-up import that a restore
    // takes effect by. ImportFrom first keeps an automatic copy of the current
    // data, then copies the checked file's contents into the live data file
    // through the engine; a failed import leaves the old data in place.
    static QString BackupFolder(const QString &dataFile);
    QString AutoBackup(); // returns the copy's path
    void ImportFrom(const QString &fileName);
    // Brings an existing data file up to the current schema (unique account
    // names, current indexes); run once at start-up and after an import.
    void Upgrade();

    // True when the file is one of our data files: it opens as SQLite and holds
    // the three tables with exactly our columns.
    static bool IsDataFile(const QString &path);

    static QString HashPassword(const QString &password);
    static bool VerifyPassword(const QString &hash, const QString &password);

private:
    class Connection;
    QString m_dataFile;
};
