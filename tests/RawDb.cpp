#include "RawDb.h"

#include <QFile>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace TestSupport {

static_assert(RawReadOnly == SQLITE_OPEN_READONLY && RawReadWrite == SQLITE_OPEN_READWRITE &&
              RawCreate == SQLITE_OPEN_CREATE);

Raw::Raw(const QString &location, int sqliteFlags)
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

Raw::~Raw()
{
    if (m_pg)
        PQfinish(m_pg);
    sqlite3_close_v2(m_h);
}

QString Raw::exec(const QString &sql)
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

QString Raw::column(const QString &sql, int col)
{
    return rows(sql, col, -1).join(QStringLiteral(" | "));
}

QString Raw::value(const QString &sql)
{
    return rows(sql, 0, 1).value(0);
}

QStringList Raw::rows(const QString &sql, int col, int limit)
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
            out << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, col)));
    }
    sqlite3_finalize(st);
    return out;
}

PGresult *Raw::query(const QString &sql, QString *error)
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

} // namespace TestSupport
