#pragma once

// The steps of start-up that need a window or the store; main() runs them in
// order: place the data file (importing a backup), log in, open the main window.

#include <QString>

#include <memory>

class QDate;
class QThread;
class QWidget;

namespace StartUp {

// While a store operation waits for another running copy's write lock (up to
// ten seconds), the windows keep painting and show the wait cursor; clicks
// and keys wait until the operation is over. Installed once at start.
void KeepPaintingWhileWaiting();

// The importer of the data-file placement: the store imports the backup into
// the ledger at location (the data file, or a server's URL). A failure is
// shown, and the program goes on with the data it had.
void ImportBackup(const QString &location, const QString &backup);

// Brings the ledger at location up to the current form (on a server:
// connects, and makes the tables in an empty database); a failure is shown.
// False when the store cannot be used at all (a server that cannot be
// reached or is not ours, or a ledger of a newer release).
bool UpgradeDataFile(const QString &location);

// Shows the login dialog on the ledger at location and returns the accepted
// user name; empty when the login was cancelled or the ledger could not be
// read (which is shown). readOnly says that the login could not write, so
// the ledger is to be opened read-only.
QString RunLogin(const QString &location, bool *readOnly = nullptr);

// Starts today's copy of the ledger at location into its backups folder
// (TDailyBackup) on a thread of its own, so the main window is usable while
// the ledger is copied and checked; a copy that fails is reported on parent
// once it is over. The thread is to be waited for before the program ends.
std::unique_ptr<QThread> StartDailyBackup(QWidget *parent, const QString &location,
                                          const QDate &today);

} // namespace StartUp
