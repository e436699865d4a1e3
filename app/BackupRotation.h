#pragma once

// Which daily copies of the data file to make and keep in backups/. A pure
// function of today and the names found there; the caller writes, checks
// and removes the files.
//
// Daily copies are named "daily-YYYY-MM-DD.tlmdb" by the day they were
// made. Kept are:
// - the Daily newest copies (7), whatever days they fall on (a ledger opened
//   only at weekends keeps its last seven openings);
// - of the older copies, the newest of each ISO week (Monday to Sunday),
//   for the Weekly (4) newest such weeks.
// Everything else by that pattern is removed. A copy dated after today (the
// clock was set back) is neither counted nor removed: once today reaches its
// date it takes its place again. Names of any other form (the safety copies
// before a restore, a person's own files) are never touched.
//
// Use: when IsDue, write FileName(today) (through a temporary, then the
// integrity check; a copy that fails is removed), then list backups/ again
// and remove ToRemove of that listing. A failed copy so never pushes a good
// old one out.

#include <QDate>
#include <QString>
#include <QStringList>

class TBackupRotation {
public:
    static constexpr int Daily = 7;
    static constexpr int Weekly = 4;

    TBackupRotation() = delete;

    static QString FileName(const QDate &day);
    // The day of a daily copy's file name (a bare name or a path); invalid
    // for any other name, impossible dates included.
    static QDate DayOf(const QString &fileName);

    // No daily copy of today among the names yet.
    static bool IsDue(const QDate &today, const QStringList &fileNames);
    // The names to remove (as given), oldest first.
    static QStringList ToRemove(const QDate &today, const QStringList &fileNames, int daily = Daily,
                                int weekly = Weekly);
    // The daily copies that stay, newest first (for the restore list).
    static QStringList Kept(const QDate &today, const QStringList &fileNames, int daily = Daily,
                            int weekly = Weekly);
};
