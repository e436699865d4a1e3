#pragma once

// The server's connection: one libpq connection that the server engine
// (PgStore.cpp) keeps between operations. Opening it makes sure the database
// is a current ledger: it creates the tables in an empty database, upgrades
// an older ledger (the first release's tables without a version table are
// version 1), and refuses one that holds anything else or is newer than the
// program. Passwords come only from libpq's own places (~/.pgpass,
// PGPASSWORD), never from the URL.

#include "DbConn.h"

#include <QElapsedTimer>
#include <QStringList>

struct pg_conn;
struct pg_result;

// A result of libpq's, freed with the scope that holds it.
struct TPgClear {
    void operator()(pg_result *res) const noexcept;
};
using TPgResult = std::unique_ptr<pg_result, TPgClear>;

class PgConn : public TConn {
public:
    explicit PgConn(const QString &url);
    ~PgConn() override;
    PgConn(const PgConn &) = delete;
    PgConn &operator=(const PgConn &) = delete;

    // False once the connection was lost, or when a connection idle for a
    // while no longer answers; the caller then opens a new one.
    bool usable();

    std::unique_ptr<TCursor> prepare(const char *sql, bool streamed = false) override;
    void exec(const char *sql) override;
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    qint64 changes() const override { return m_changes; }
    QString shownName() const override;

    // For the server's own copy paths.
    pg_conn *handle() const { return m_conn; }
    // Takes a result; returns it when the statement succeeded, else raises
    // the matching error (and frees it).
    pg_result *checked(pg_result *res);
    // Runs one statement with text values and returns its result (to PQclear).
    pg_result *query(const char *sql, const QList<QByteArray> &values = {});
    // Runs one statement with text values; its result is dropped.
    void run(const char *sql, const QList<QByteArray> &values = {});
    // The first value of a one-row result, as text.
    QByteArray value(const char *sql, const QList<QByteArray> &values = {});

    // The answer to a statement sent with PQsend…, as PQexec would give it
    // (the last result; null when nothing came). While the server makes it
    // wait (another computer's lock), the store's wait hook is called.
    pg_result *awaitResult();

    // Connects again with the same URL after the connection was lost; false
    // when the server cannot be reached.
    bool reopen();

    // Which cursor last prepared the unnamed statement (0: none).
    quint64 unnamedOwner = 0;
    quint64 nextSerial() { return ++m_serials; }
    void noteChanges(pg_result *res);

    // The URL as messages show it: never a password.
    static QString ShownUrl(const QString &url);

private:
    [[noreturn]] void raise(pg_result *res);
    void setUpSession();
    void applyLockTimeout();
    void ensureSchema();
    // The ledger's schema version (1 for the first release's tables without a
    // version table); ours false, and 0, for a database that is not a ledger.
    int schemaVersion(bool *ours);
    void markUsed() { m_idle.start(); }

    QString m_url;
    pg_conn *m_conn = nullptr;
    qint64 m_changes = 0;
    int m_lockTimeoutMs = -1;
    quint64 m_serials = 0;
    QByteArray m_xid; // the open write transaction's id, for a commit whose answer was lost
    QElapsedTimer m_idle;
    QStringList m_foundNames; // the tables schemaVersion() saw
    bool m_hasMeta = false;
};
