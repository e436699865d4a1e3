#pragma once

// The engine behind one TDbMan: a data file (SQLite, store/SqliteStore.cpp)
// or a server ledger (PostgreSQL, store/PgStore.cpp), chosen once from the
// location. TDbMan's operations are written once against the connection it
// hands out (TConn); what only one engine can do (its connection's life, the
// whole-ledger copies, the upgrade, the import) is the engine's. Every
// backup is a data file, whichever engine wrote it, so that it restores on
// either; writing one is shared (BackupTo, AutoBackup in SqliteStore.cpp).

#include "DbConn.h"
#include "Progress.h"

#include <QString>
#include <QStringList>

#include <memory>

class TEngine {
public:
    // A "postgresql://" or "postgres://" URL names a server ledger, anything
    // else the path of a data file. Nothing is opened yet.
    static std::unique_ptr<TEngine> For(const QString &location);

    explicit TEngine(const QString &location) : m_location(location) {}
    virtual ~TEngine() = default;
    TEngine(const TEngine &) = delete;
    TEngine &operator=(const TEngine &) = delete;

    // The data file's path or the server's URL, as given.
    const QString &Location() const { return m_location; }
    virtual bool IsServer() const = 0;
    // The ledger as messages name it: the file's path, or the URL without a password.
    virtual QString ShownName() const = 0;
    // A data file that is not there (a server is only found by connecting).
    virtual bool IsMissing() const = 0;
    // Where the automatic copies go: beside the data file, or for a server
    // in the data folder on this computer.
    virtual QString BackupFolder() const = 0;
    // The command line that starts the program on this ledger again, with
    // arguments after it (each one argument, a URL included).
    virtual QStringList RestartArguments(const QStringList &arguments) const = 0;

    // A connection owned by one operation (a data file, so that no running
    // copy holds it between operations) or lent from the engine (a server's
    // kept connection, opened again when lost).
    virtual TConnRef Connect() = 0;
    // Brings the ledger up to the current schema (see TDbMan::Upgrade).
    virtual void Upgrade() = 0;
    // Writes a consistent copy of the whole ledger into file, a fresh
    // temporary that messages name shownAs.
    virtual void BackupInto(const QString &file, const QString &shownAs) = 0;
    // Replaces the ledger's contents with the rows of fileName, a data file
    // of ours that is not newer (checked by the caller); all or nothing.
    virtual void ImportFrom(const QString &fileName, const TProgress &progress) = 0;

    // Shared by both engines (each written once).
    bool IsEmpty();
    void BackupTo(const QString &fileName);
    QString AutoBackup(); // returns the copy's path

private:
    QString m_location;
};

// The two engines (SqliteStore.cpp, PgStore.cpp).
std::unique_ptr<TEngine> NewFileEngine(const QString &path);
std::unique_ptr<TEngine> NewServerEngine(const QString &url);
