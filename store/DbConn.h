#pragma once

// The store's view of an engine: a connection that prepares statements with
// bound values and runs write transactions. TDbMan's operations are written
// once against it; SQLite and PostgreSQL each implement it. Statements use
// double-quoted identifiers and "?" placeholders, which both engines accept
// (the server's side renumbers them).

#include "DbErrors.h"
#include "HiClass.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// A write that lost to another writer (serialization failure or deadlock) and
// may simply run again; raised only inside a transaction.
class EDbRetry : public EDbBusy {
public:
    using EDbBusy::EDbBusy;
};

// A unique index refused a row.
class EDbUnique : public EDbError {
public:
    using EDbError::EDbError;
};

class TCursor {
public:
    virtual ~TCursor() = default;
    virtual void bindText(int i, const QByteArray &bytes) = 0;
    virtual void bindDouble(int i, double v) = 0;
    virtual void bindInt64(int i, qint64 v) = 0;
    // Runs the statement on the first call, then moves to the next row.
    virtual bool step() = 0;
    // Makes the statement ready to run again with new values.
    virtual void reset() = 0;
    virtual const char *data(int col) const = 0;
    virtual int size(int col) const = 0;
    virtual bool isNull(int col) const = 0;
    virtual double number(int col) const = 0;
    virtual qint64 int64(int col) const = 0;
};

class TConn {
public:
    virtual ~TConn() = default;
    // A streamed statement hands its rows over while the engine still makes
    // them; nothing else may run on the connection until its rows are read.
    virtual std::unique_ptr<TCursor> prepare(const char *sql, bool streamed = false) = 0;
    // Statements without values or rows.
    virtual void exec(const char *sql) = 0;
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;
    // Rows changed by the last insert, update or delete.
    virtual qint64 changes() const = 0;
    // How the store is named in messages.
    virtual QString shownName() const = 0;
};

// One statement; values are always bound, never spliced.
class Stmt {
public:
    enum TMode { Whole, Streamed };
    Stmt(TConn &c, const char *sql, TMode mode = Whole) : m_q(c.prepare(sql, mode == Streamed)) {}

    Stmt &bind(int i, const QByteArray &bytes)
    {
        m_q->bindText(i, bytes);
        return *this;
    }
    Stmt &bind(int i, const QString &text) { return bind(i, text.toUtf8()); }
    Stmt &bind(int i, double v)
    {
        m_q->bindDouble(i, v);
        return *this;
    }
    Stmt &bind(int i, qint64 v)
    {
        m_q->bindInt64(i, v);
        return *this;
    }
    bool step() { return m_q->step(); }
    void reset() { m_q->reset(); }

    const char *data(int col) const { return m_q->data(col); }
    int size(int col) const { return m_q->size(col); }
    QByteArray bytes(int col) const { return QByteArray(data(col), size(col)); }
    QString text(int col) const { return QString::fromUtf8(data(col), size(col)); }
    // Only for columns that hold plain ASCII (dates, base64).
    QString latin1(int col) const { return QString::fromLatin1(data(col), size(col)); }
    QString decoded(int col) const
    {
        return THi::Base64DecodeBytes(QByteArray::fromRawData(data(col), size(col)));
    }
    bool isNull(int col) const { return m_q->isNull(col); }
    double number(int col) const { return m_q->number(col); }
    qint64 int64(int col) const { return m_q->int64(col); }

private:
    std::unique_ptr<TCursor> m_q;
};

// One transaction for a scope: begun here (with beginSql, else the engine's
// write transaction), rolled back by the destructor unless commit() was
// reached, so an exception on the way never leaves it open.
class TTransaction {
public:
    explicit TTransaction(TConn &c, const char *beginSql = nullptr) : m_c(c)
    {
        if (beginSql)
            c.exec(beginSql);
        else
            c.begin();
    }
    ~TTransaction()
    {
        if (!m_done)
            m_c.rollback();
    }
    TTransaction(const TTransaction &) = delete;
    TTransaction &operator=(const TTransaction &) = delete;
    void commit()
    {
        m_done = true; // a failed commit has ended the transaction as well
        m_c.commit();
    }

private:
    TConn &m_c;
    bool m_done = false;
};

// Runs body in one write transaction: all of it or none. A write that lost to
// another computer's (the server's serialization failure or deadlock) runs
// again a few times before it is reported as busy.
void WriteTransaction(TConn &c, const std::function<void()> &body);

// A connection that TDbMan either owns for one operation (a data file, so no
// running copy holds it between operations) or lends from its cache (a server).
class TConnRef {
public:
    explicit TConnRef(std::unique_ptr<TConn> owned) : m_owned(std::move(owned)), m_c(m_owned.get())
    {
    }
    explicit TConnRef(TConn &lent) : m_c(&lent) {}
    operator TConn &() const { return *m_c; }
    TConn *operator->() const { return m_c; }

private:
    std::unique_ptr<TConn> m_owned;
    TConn *m_c;
};

// Appends one element, quoted, to a PostgreSQL array literal ("{...}") being
// built; the caller closes it with '}'. For statements that send a batch at once.
void AppendArrayItem(QByteArray &array, const QByteArray &value);

// The busy text and the wait both engines share.
int BusyTimeoutMs();
QString BusyText();
// Tells the wait hook (TDbMan::SetWaitHook) that an operation waits for
// another copy's lock (true, at every pause) or that such an operation ended
// (false). A call from within the hook is dropped.
void CallWaitHook(bool waiting) noexcept;
