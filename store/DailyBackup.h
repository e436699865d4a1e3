#pragma once

// The daily copies of a ledger: on the first start of a day the whole ledger
// is written as a data file into its automatic copies' folder
// (TDbMan::AutoBackupFolder: beside the data file, or for a server ledger in
// the data folder on this computer), read back through the engine and
// compared with the ledger's row counts; then the copies TBackupRotation
// leaves out are removed. On a server ledger only the computer that starts
// first that day makes the copy (TDbMan::ClaimDailyCopy); one whose copy
// fails gives the day back to the next start. Nothing else in the folder (the safety copies
// before a restore, a person's own files) is ever touched.

#include "DbClass.h"

#include <QDate>
#include <QList>
#include <QStringList>

#include <functional>

struct TDailyCopy {
    QString Path;
    QDate Day;
    qint64 Bytes = 0;
    qint64 Records = -1; // -1: the file cannot be read
};

struct TDailyBackupResult {
    bool Due = false; // no copy of today was there
    QString Written;  // the checked copy of today, when one was made
    QString Failed;   // the copy that failed (removed again), with Error and Details
    QString Error, Details;
    QStringList Removed; // old copies that the rotation let go
};

class TDailyBackup {
public:
    TDailyBackup() = delete;

    // today is the caller's (the clock's in the program, any day in tests).
    // Never raises: a copy that cannot be written or fails its check is
    // removed and reported in the result.
    static TDailyBackupResult Run(TDbMan &db, const QDate &today);

    // The daily copies in folder, newest first, each with its size and
    // record count (read without the page check: this is only a list).
    static QList<TDailyCopy> List(const QString &folder);

    // Called with the written copy before it is checked (tests damage it).
    static void SetWrittenHook(const std::function<void(const QString &)> &hook);
};
