#pragma once

// Reading a chosen ledger file for an import. Only the values of our
// tables' columns are taken, through plain selects on a read-only connection,
// and every row is checked against what the program itself writes: nothing
// else in the file (triggers, indexes, constraints, table options) reaches
// the store, and a file with any bad row is refused whole. Both stores import
// through this reader; each writes the rows its own way.

#include "DbClass.h"

#include <QByteArrayView>

#include <functional>
#include <memory>
#include <vector>

class SqliteConn;
struct TTableDef;

// One row as read, every value checked. The views live until the next row.
struct TImportedUser {
    qint64 Id;
    QByteArrayView Name, Pwd;
};
struct TImportedCates {
    qint64 Id;
    QByteArrayView User, Out, In;
};
struct TImportedRecord {
    qint64 Id;
    QByteArrayView User, Date, Type, Cate;
    double Amount;
    QByteArrayView Notes;
};

// One value of a later table's row: integers in Int (and Real), real
// numbers in Real, texts in Text.
struct TImportedValue {
    qint64 Int = 0;
    double Real = 0;
    QByteArrayView Text;
    bool IsText = false;
};
using TImportedRow = std::vector<TImportedValue>;

class TRowReader {
public:
    // Ids stay below this, so that no store ever runs out of them and every
    // id is exact as a double.
    static constexpr qint64 IdLimit = qint64(1) << 53;

    // Opens the file read-only and checks that the engine can read every page
    // of it. Raises EDbError (not a regular file, not ours, damaged).
    TRowReader(const QString &file, const TProgress &progress);
    ~TRowReader();
    TRowReader(const TRowReader &) = delete;
    TRowReader &operator=(const TRowReader &) = delete;

    // Each table's rows in turn, handed to put while no bad row has been seen;
    // after one, the rest are only checked, so the message can name the first
    // few. Accounts: two rows of one name collapse to the newest (highest id),
    // as Upgrade() does, in id order. Records in id order unless order is an
    // "order by" of the record columns.
    void Users(const std::function<void(const TImportedUser &)> &put);
    void Cates(const std::function<void(const TImportedCates &)> &put);
    void Records(const std::function<void(const TImportedRecord &)> &put,
                 const char *order = nullptr);
    // The rows of a table after the first three, each value checked after
    // its column's kind (Schema.h), in id order. A table the file's version
    // does not have yet gives no rows.
    void Rows(const TTableDef &table, const std::function<void(const TImportedRow &)> &put);
    // The schema version of the file's rows.
    int Version() const { return m_version; }
    // The highest id the file's engine ever handed out for a table, 0 when it
    // kept none; a bad one counts as a bad row.
    qint64 Sequence(const char *table);
    // Raises EDbError naming the first bad rows when there was any; its
    // details list more of them.
    void Finish() const;
    // Rows handed over.
    TStoreCounts Counts() const { return m_counts; }

private:
    void bad(const QString &line);
    void step(); // progress and cancel

    QString m_file;
    std::unique_ptr<SqliteConn> m_conn;
    TProgress m_progress;
    qint64 m_total = 0, m_done = 0;
    int m_version = 1;
    qint64 m_bad = 0;
    bool m_more = false; // stopped reading after enough bad rows
    QStringList m_lines; // the first bad rows
    TStoreCounts m_counts;
};
