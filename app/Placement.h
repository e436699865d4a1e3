#pragma once

// Where the data file lives and how it gets there: the per-user data folder,
// the command-line import of a backup, and the template copy on first start.

#include <QString>
#include <QStringList>

namespace Placement {

inline constexpr const char *ProductName = "Tallimo";
inline constexpr const char *DataFileName = "db.tlmdb";

// The template shipped beside the program.
QString TemplateFile();

// True when the file opens as SQLite and holds the three tables with their
// columns; anything else (wrong format, foreign database) is not ours.
bool IsTallimoDataFile(const QString &path);

// Places the data file and returns its path: creates the data folder, makes an
// existing file writable, imports a ".tlmdb" first argument (only when it is
// one of our data files) and copies the template when no file exists yet.
QString PlaceDataFile(const QStringList &args);

// Copies a file over another through a temporary sibling and a rename, so the
// target is either the old file or the whole new one, never a half copy.
bool CopyFileAtomic(const QString &from, const QString &to);

void MakeWritable(const QString &path);

} // namespace Placement
