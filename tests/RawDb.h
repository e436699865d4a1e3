#pragma once

// A connection beside the store's, for what a test sets up or checks behind
// its back: a lock held by another copy, a trigger that refuses writes, a row
// count. The location is what TDbMan takes: a data file, or a libpq URL for
// a PostgreSQL database. SQL written with double-quoted identifiers ("user",
// "in") and no [x] brackets runs unchanged on both.

#include <QFile>
#include <QString>
#include <QStringList>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace TestSupport {

inline bool IsPgLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"));
}

class Raw {
public:
    explicit Raw(const QString &location,
                 int sqliteFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
    {
        if (IsPgLocation(location)) {
            m_pg = PQconnectdb(location.toUtf8().constData());
            if (PQstatus(m_pg) != CONNECTION_OK) {
                m_error = QString::fromUtf8(PQerrorMessage(m_pg)).trimmed();
                return;
            }
            // The server's notices (what a cascade dropped) are no test output.
            PQsetNoticeProcessor(
                m_pg, [](void *, const char *) {}, nullptr);
            PQsetClientEncoding(m_pg, "UTF8");
        } else if (sqlite3_open_v2(QFile::encodeName(location).constData(), &m_h, sqliteFlags,
                                   nullptr) != SQLITE_OK) {
            m_error = QString::fromUtf8(sqlite3_errmsg(m_h));
        }
    }
    ~Raw()
    {
        if (m_pg)
            PQfinish(m_pg);
        sqlite3_close_v2(m_h);
    }
    Raw(const Raw &) = delete;
    Raw &operator=(const Raw &) = delete;

    bool isPg() const { return m_pg != nullptr; }

    // Runs one or more statements; the engine's error text, empty when they ran.
    QString exec(const QString &sql)
    {
        if (!m_error.isEmpty())
            return m_error;
        if (m_pg) {
            QString error;
            PQclear(query(sql, &error));
            return error;
        }
        char *err = nullptr;
        if (sqlite3_exec(m_h, sql.toUtf8().constData(), nullptr, nullptr, &err) == SQLITE_OK)
            return QString();
        const QString text = QString::fromUtf8(err ? err : "error");
        sqlite3_free(err);
        return text;
    }

    // One column of every row, joined with " | "; empty when the query fails.
    QString column(const QString &sql, int col)
    {
        return rows(sql, col, -1).join(QStringLiteral(" | "));
    }

    // First column of the first row; empty when there is none.
    QString value(const QString &sql) { return rows(sql, 0, 1).value(0); }

private:
    QStringList rows(const QString &sql, int col, int limit)
    {
        QStringList out;
        if (!m_error.isEmpty())
            return out;
        if (m_pg) {
            PGresult *r = query(sql, nullptr);
            if (r && col < PQnfields(r)) {
                const int n = limit < 0 ? PQntuples(r) : qMin(limit, PQntuples(r));
                for (int i = 0; i < n; ++i)
                    out << QString::fromUtf8(PQgetvalue(r, i, col));
            }
            PQclear(r);
            return out;
        }
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(m_h, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
            while ((limit < 0 || out.size() < limit) && sqlite3_step(st) == SQLITE_ROW)
                out << QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(st, col)));
        }
        sqlite3_finalize(st);
        return out;
    }

    // The result of the last statement, or null with the server's message.
    PGresult *query(const QString &sql, QString *error)
    {
        PGresult *r = PQexec(m_pg, sql.toUtf8().constData());
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            if (error)
                error->clear();
            return r;
        }
        if (error) {
            const char *primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
            *error = QString::fromUtf8(primary ? primary : PQerrorMessage(m_pg)).trimmed();
            if (error->isEmpty())
                *error = QStringLiteral("error");
        }
        PQclear(r);
        return nullptr;
    }

    sqlite3 *m_h = nullptr;
    PGconn *m_pg = nullptr;
    QString m_error;
};

} // namespace TestSupport
