#include "Placement.h"

#include "HiClass.h"
#include "SafeFile.h"
#include "Settings.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>

namespace Placement {

QString TemplateFile()
{
    return THi::ShippedFile(QLatin1String(DataFileName));
}

namespace {
// One file under two names (a link, a second path) counts as the same file.
bool sameFile(const QString &a, const QString &b)
{
    struct stat sa, sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
} // namespace

bool IsImportArgument(const QString &arg, const QString &dataFile)
{
    if (arg.isEmpty())
        return false;
    // Anything there by that name (a folder, a pipe, a device too) goes to the
    // store, which says why it cannot be restored rather than nothing happening.
    const QFileInfo fi(arg);
    return fi.exists() && THi::LowerAscii(fi.suffix()) == QLatin1String("tlmdb") &&
           !sameFile(arg, dataFile);
}

void MakeWritable(const QString &path)
{
    QFile f(path);
    if (f.exists())
        f.setPermissions(f.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
}

bool CopyFileAtomic(const QString &from, const QString &to)
{
    QFile src(from);
    if (!src.open(QIODevice::ReadOnly))
        return false;
    try {
        // Owner-only: the household's data is nobody else's business.
        TSafeFile out(to);
        QFile tmp(out.TempPath());
        if (!tmp.open(QIODevice::WriteOnly))
            return false;
        char buf[65536];
        for (;;) {
            const qint64 n = src.read(buf, sizeof buf);
            if (n < 0)
                return false;
            if (n == 0)
                break;
            if (tmp.write(buf, n) != n)
                return false;
        }
        if (!tmp.flush())
            return false;
        tmp.close();
        out.Commit();
        return true;
    } catch (const EInOutError &) {
        return false;
    }
}

int RemoveStaleTemporaries()
{
    const QString folder = THi::AppDataDir(QLatin1String(ProductName));
    QStringList folders{folder, folder + QStringLiteral("/backups")};
    const QString last = Settings::LastBackupFolder();
    if (!last.isEmpty())
        folders << last;
    folders.removeDuplicates();
    int removed = 0;
    for (const QString &f : folders)
        removed += TSafeFile::RemoveStale(f);
    return removed;
}

QString PlaceDataFile(const QStringList &args, const Importer &importer, const QString &serverUrl)
{
    const QString folder = THi::AppDataDir(QLatin1String(ProductName));
    const QString path = folder + QLatin1Char('/') + QLatin1String(DataFileName);

    // A killed backup or safety copy leaves a temporary as large as the data
    // file; nothing else would ever remove it.
    RemoveStaleTemporaries();

    MakeWritable(path);
    // A backup is imported into a data file, so there has to be one first.
    if (!QFileInfo::exists(path))
        CopyFileAtomic(TemplateFile(), path);

    QString location = serverUrl.isEmpty() ? path : serverUrl;
    if (!args.isEmpty() && IsImportArgument(args.first(), path) && importer)
        importer(location, args.first());
    return location;
}

} // namespace Placement
