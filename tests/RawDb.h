#pragma once

// A connection beside the store's, for what a test sets up or checks behind
// its back: a lock held by another copy, a trigger that refuses writes, a row
// count. The location is what TDbMan takes: a data file, or a libpq URL for
// a PostgreSQL database. SQL written with double-quoted identifiers ("user",
// "in") and no [x] brackets runs unchanged on both.

#include <QString>
#include <QStringList>

// The engines' own types stay in RawDb.cpp: only the store's tests link
// SQLite and libpq themselves.
struct sqlite3;
struct pg_conn;
struct pg_result;

namespace TestSupport {

inline bool IsPgLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"));
}

// sqlite3_open_v2's flags (SQLITE_OPEN_READONLY, _READWRITE, _CREATE).
enum : int { RawReadOnly = 0x1, RawReadWrite = 0x2, RawCreate = 0x4 };

class Raw {
public:
    explicit Raw(const QString &location, int sqliteFlags = RawReadWrite | RawCreate);
    ~Raw();
    Raw(const Raw &) = delete;
    Raw &operator=(const Raw &) = delete;

    bool isPg() const { return m_pg != nullptr; }

    // Runs one or more statements; the engine's error text, empty when they ran.
    QString exec(const QString &sql);

    // One column of every row, joined with " | "; empty when the query fails.
    QString column(const QString &sql, int col);

    // First column of the first row; empty when there is none.
    QString value(const QString &sql);

private:
    QStringList rows(const QString &sql, int col, int limit);
    // The result of the last statement, or null with the server's message.
    pg_result *query(const QString &sql, QString *error);

    sqlite3 *m_h = nullptr;
    pg_conn *m_pg = nullptr;
    QString m_error;
};

} // namespace TestSupport
