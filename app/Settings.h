#pragma once

// The little the program remembers between runs, in
// $XDG_CONFIG_HOME/Tallimo/tallimo.conf (~/.config/Tallimo/tallimo.conf).

#include <QString>

namespace Settings {

// The settings file; XDG_CONFIG_HOME is read on every call.
QString FilePath();

// Where the backup and restore dialogs open: the folder last used for a
// backup while it exists, else the user's documents folder, else the home
// folder. Never the program's own folder, which holds the empty template
// data file that a careless restore would put in place of everything.
QString BackupDialogFolder();

// Remembers the folder of a backup file just written or chosen.
void RememberBackupFile(const QString &fileName);
// That folder as remembered (empty when none), whether or not it still exists.
QString LastBackupFolder();

// The same for the save dialogs of the exports and the PDF.
QString ExportDialogFolder();
void RememberExportFile(const QString &fileName);

// The PostgreSQL URL of a shared ledger ("database/url"), empty for the data
// file on this computer. A password never belongs here: libpq reads it from
// ~/.pgpass or PGPASSWORD.
QString DatabaseUrl();

// The browser's last quick range of an account (a TQuickRange id, empty when
// none was chosen), kept under "quickRange/<the name's UTF-8 in hex>" so any
// name makes a valid key. Accounts of the same name in two ledgers share it.
QString QuickRange(const QString &user);
void RememberQuickRange(const QString &user, const QString &id);

} // namespace Settings
