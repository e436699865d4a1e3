#include "DailyBackup.h"

#include "BackupRotation.h"
#include "DbConn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

std::function<void(const QString &)> &writtenHook()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

QStringList dailyNames(const QDir &dir)
{
    return dir.entryList({QStringLiteral("daily-*.tlmdb")}, QDir::Files);
}

bool sameRows(const TStoreCounts &a, const TStoreCounts &b)
{
    return a.Users == b.Users && a.CateLists == b.CateLists && a.Records == b.Records;
}

// The ledger-wide settings row that names the last day a copy was claimed.
constexpr const char *DailyKey = "daily-copy";

} // namespace

bool TDbMan::ClaimDailyCopy(const QDate &today, QString *before)
{
    const QByteArray day = today.toString(Qt::ISODate).toLatin1();
    bool claimed = false;
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        Stmt q(c, "select \"value\" from \"settings\" where \"user\"='' and \"key\"=?");
        q.bind(1, QByteArray(DailyKey));
        const QByteArray last = q.step() ? q.bytes(0) : QByteArray();
        if (before)
            *before = QString::fromLatin1(last);
        // A later day than ours means another computer's clock is ahead: its copy is newer still.
        if (!last.isEmpty() && last >= day)
            return;
        Stmt del(c, "delete from \"settings\" where \"user\"='' and \"key\"=?");
        del.bind(1, QByteArray(DailyKey));
        del.step();
        Stmt ins(c, "insert into \"settings\" (\"user\",\"key\",\"value\") values ('',?,?)");
        ins.bind(1, QByteArray(DailyKey)).bind(2, day);
        ins.step();
        claimed = true;
    });
    return claimed;
}

void TDbMan::ReleaseDailyCopy(const QDate &today, const QString &before)
{
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        Stmt up(c, "update \"settings\" set \"value\"=? where \"user\"='' and \"key\"=? and "
                   "\"value\"=?");
        up.bind(1, before.toLatin1())
            .bind(2, QByteArray(DailyKey))
            .bind(3, today.toString(Qt::ISODate).toLatin1());
        up.step();
    });
}

void TDailyBackup::SetWrittenHook(const std::function<void(const QString &)> &hook)
{
    writtenHook() = hook;
}

TDailyBackupResult TDailyBackup::Run(TDbMan &db, const QDate &today)
{
    TDailyBackupResult r;
    const QString folder = db.AutoBackupFolder();
    QDir dir(folder);
    if (!TBackupRotation::IsDue(today, dailyNames(dir)))
        return r;
    // On a server the first computer of the day makes the copy; the others
    // would only repeat it. A ledger we cannot write to still gets its copy.
    bool claimed = false;
    QString claimedFrom;
    if (!db.IsLocalFile()) {
        try {
            claimed = db.ClaimDailyCopy(today, &claimedFrom);
            if (!claimed)
                return r;
        } catch (const TError &) {
        }
    }
    r.Due = true;
    const QString path = dir.filePath(TBackupRotation::FileName(today));
    try {
        if (!QDir().mkpath(folder)) {
            throw EDbError(
                QStringLiteral("无法建立文件夹“%1”。").arg(QDir::toNativeSeparators(folder)));
        }
        // The copies hold the whole ledger: for the owner only, like the data file.
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        const TStoreCounts before = db.Counts();
        db.BackupTo(path);
        if (writtenHook())
            writtenHook()(path);
        const TStoreCounts copy = TDbMan::CountsOf(path, true);
        // Another running copy may have written meanwhile; then only a ledger
        // that stood still can say what the copy must hold.
        const TStoreCounts after = db.Counts();
        if (sameRows(before, after) && !sameRows(copy, before)) {
            throw EDbError(
                QStringLiteral("备份中的记录数与数据不符。"),
                QStringLiteral("数据：%1 个用户，%2 条记录；备份：%3 个用户，%4 条记录。")
                    .arg(before.Users)
                    .arg(before.Records)
                    .arg(copy.Users)
                    .arg(copy.Records));
        }
        r.Written = path;
    } catch (const TError &e) {
        // A copy that cannot be trusted is worse than none: it would be offered for a restore.
        QFile::remove(path);
        if (claimed) {
            try {
                // Another computer's start may do better today.
                db.ReleaseDailyCopy(today, claimedFrom);
            } catch (const TError &) {
            }
        }
        r.Failed = path;
        r.Error = e.text();
        r.Details = e.details();
    }
    // Listed again, so that a failed copy never pushes a good old one out.
    const QStringList names = dailyNames(dir);
    for (const QString &name : TBackupRotation::ToRemove(today, names)) {
        if (dir.remove(name))
            r.Removed << dir.filePath(name);
    }
    return r;
}

QList<TDailyCopy> TDailyBackup::List(const QString &folder)
{
    QList<TDailyCopy> copies;
    const QDir dir(folder);
    for (const QString &name : dailyNames(dir)) {
        TDailyCopy c;
        c.Day = TBackupRotation::DayOf(name);
        if (!c.Day.isValid())
            continue;
        c.Path = dir.filePath(name);
        c.Bytes = QFileInfo(c.Path).size();
        try {
            c.Records = TDbMan::CountsOf(c.Path, false).Records;
        } catch (const TError &) {
            c.Records = -1;
        }
        copies << c;
    }
    std::sort(copies.begin(), copies.end(),
              [](const TDailyCopy &a, const TDailyCopy &b) { return a.Day > b.Day; });
    return copies;
}
