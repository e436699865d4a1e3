#pragma once

// The data file's engine: one SQLite connection, opened for one operation and
// closed with it.

#include "DbConn.h"

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
    QString m_file;
    sqlite3 *m_db = nullptr;
};

// Turns an engine failure into a sentence for the user: what happened, to
// which file and what to do, with the engine's own text on the last line.
[[noreturn]] void RaiseSqlite(sqlite3 *db, int rc, const QString &file);

// The absolute, native form of a path, as messages show it.
QString NativePath(const QString &file);

// Writes the shipped template data file (our tables and indexes, no rows) to
// file; raises EInOutError naming shownAs.
void CopyTemplateInto(const QString &file, const QString &shownAs);
