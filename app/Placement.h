#pragma once

// Where the data file lives and how it gets there: the per-user data folder,
// the template copy on first start, and the hand-off of a backup named on the
// command line to the store, which imports it into the data file.

#include <QString>
#include <QStringList>

#include <functional>

namespace Placement {

inline constexpr const char *ProductName = "Tallimo";
inline constexpr const char *DataFileName = "db.tlmdb";

// The empty data file shipped beside the program.
QString TemplateFile();

// True when a command-line argument names a backup worth handing to the
// store: something that exists (the store refuses a folder, pipe or device
// with a message) whose extension is ".tlmdb" in any case, and not the data
// file itself under another name. The store checks the contents.
bool IsImportArgument(const QString &arg, const QString &dataFile);

// Imports the backup into the ledger at location (the data file's path or a
// server's URL), or reports why it could not.
using Importer = std::function<void(const QString &location, const QString &backup)>;

// Places the data file and returns where the ledger lives: creates the data
// folder, makes an existing file writable, copies the template (owner-only)
// when no data file exists, then hands a first argument that IsImportArgument
// accepts to importer. With a server URL the backup goes to the server and the
// URL is returned; the data file still exists for the one-shot copies.
// Temporaries left by killed writers are removed first
// (RemoveStaleTemporaries). The
// data file itself is never replaced here; without an importer a backup
// argument is ignored.
QString PlaceDataFile(const QStringList &args, const Importer &importer = {},
                      const QString &serverUrl = QString());

// Removes what killed backups and safety copies left behind: TSafeFile's
// temporaries (and their journals) whose writing process no longer runs, in
// the data folder, its backups/ folder and the folder of the last backup.
// Another running copy's temporaries stay. Returns how many files went.
int RemoveStaleTemporaries();

// Copies a file through a temporary sibling and a rename, so the target is
// either absent or the whole copy, never a half one. The copy is owner-only.
bool CopyFileAtomic(const QString &from, const QString &to);

void MakeWritable(const QString &path);

} // namespace Placement
