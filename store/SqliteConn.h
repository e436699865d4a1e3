#pragma once

// The data file's engine: one SQLite connection, opened for one operation and
// closed with it.

#include "DbConn.h"

#include <chrono>

struct sqlite3;

class SqliteConn : public TConn {
public:
    // shownAs names the file in messages (a temporary copy shows its target).
    explicit SqliteConn(const QString &file, bool readOnly = false,
                        const QString &shownAs = QString());
    ~SqliteConn() override;
    SqliteConn(const SqliteConn &) = delete;
    SqliteConn &operator=(const SqliteConn &) = delete;

    sqlite3 *handle() const { return m_db; }
    const QString &file() const { return m_file; }
    [[noreturn]] void fail(int rc) const;

    // Every SQLite statement hands rows over as it makes them.
    std::unique_ptr<TCursor> prepare(const char *sql, bool streamed = false) override;
    void exec(const char *sql) override;
    // IMMEDIATE takes the write lock up front, so the busy timeout applies to
    // it and two copies never deadlock between a read and a write.
    void begin() override { exec("begin immediate"); }
    void commit() override { exec("commit"); }
    void rollback() noexcept override;
    qint64 changes() const override;
    QString shownName() const override;

private:
    // SQLite's busy handler: waits for another copy's lock up to the busy
    // timeout in short pauses, calling the wait hook at each.
    static int BusyWait(void *self, int count);

    QString m_file;
    sqlite3 *m_db = nullptr;
    std::chrono::steady_clock::time_point m_waitStart;
    bool m_waited = false; // the hook hears the end of the operation too
};

// Turns an engine failure into a sentence for the user: what happened, to
// which file and what to do, with the engine's own text on the last line.
[[noreturn]] void RaiseSqlite(sqlite3 *db, int rc, const QString &file);

// The absolute, native form of a path, as messages show it.
QString NativePath(const QString &file);

// Writes the shipped template data file (our tables and indexes, no rows) to
// file; raises EInOutError naming shownAs.
void CopyTemplateInto(const QString &file, const QString &shownAs);

// The data file's schema version from its header (application_id and
// user_version): 1 for a file of ours written before versions (neither set),
// 0 for a file that another program marked as its own.
int DataFileVersion(SqliteConn &c);
// Marks the file as ours, at the given version (inside the caller's transaction).
void StampDataFile(SqliteConn &c, int version);
// Runs the upgrade steps the file lacks, one transaction each, and stamps an
// unmarked file of the current version; raises EDbTooNew for a newer file.
void UpgradeDataFileSchema(SqliteConn &c);
