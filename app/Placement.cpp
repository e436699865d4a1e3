#include "Placement.h"

#include "HiClass.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <atomic>
#include <cstdio>

namespace Placement {

QString TemplateFile()
{
    return THi::AppPath() + QLatin1String(DataFileName);
}

bool IsTallimoDataFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("tallimo-check-%1").arg(++serial);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            // Selecting every column we use fails on a foreign or broken file.
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("select [id],[name],[pwd] from [users] limit 0")) &&
                 q.exec(QStringLiteral("select [id],[user],[out],[in] from [cates] limit 0")) &&
                 q.exec(QStringLiteral("select [id],[user],[date],[type],[cate],[amount],[notes] "
                                       "from [data] limit 0"));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
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
    QTemporaryFile tmp(to + QStringLiteral(".XXXXXX"));
    if (!tmp.open())
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
    tmp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // QFile::rename refuses to replace; std::rename replaces in one step.
    if (std::rename(QFile::encodeName(tmp.fileName()).constData(),
                    QFile::encodeName(to).constData()) != 0)
        return false;
    tmp.setAutoRemove(false);
    return true;
}

QString PlaceDataFile(const QStringList &args)
{
    const QString folder = THi::AppDataDir(QLatin1String(ProductName));
    const QString path = folder + QLatin1Char('/') + QLatin1String(DataFileName);

    MakeWritable(path);

    if (!args.isEmpty()) {
        const QString import = args.first();
        const QFileInfo fi(import);
        const bool sameFile =
            fi.exists() && fi.canonicalFilePath() == QFileInfo(path).canonicalFilePath();
        if (fi.isFile() && !sameFile && THi::LowerAscii(fi.suffix()) == QLatin1String("tlmdb") &&
            IsTallimoDataFile(import)) {
            if (CopyFileAtomic(import, path))
                MakeWritable(path);
        }
    }

    if (!QFileInfo::exists(path)) {
        if (CopyFileAtomic(TemplateFile(), path))
            MakeWritable(path);
    }
    return path;
}

} // namespace Placement
