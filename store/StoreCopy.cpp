#include "StoreCopy.h"

#include "DbClass.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace StoreCopy {

QString Copy(const QString &from, const QString &to, bool replace)
{
    TDbMan source(from), target(to);
    if (source.IsLocalFile() == target.IsLocalFile())
        throw EDbError(QStringLiteral("只能在本机的数据文件和数据库服务器之间复制。"));
    if (!replace && !target.IsEmpty()) {
        throw EDbError(QStringLiteral("“%1”里已经有数据，没有复制。\n要用这次复制的内容替换它的"
                                      "全部内容，请加上 --replace（原来的内容会先存进自动备份）。")
                           .arg(TDbMan::ShownName(to)));
    }
    if (!target.IsLocalFile()) {
        target.ImportFrom(from);
    } else {
        // A snapshot of the server, as a backup file beside the data file.
        QTemporaryDir dir(QFileInfo(to).absolutePath() + QStringLiteral("/copy-XXXXXX"));
        if (!dir.isValid()) {
            throw EDbError(QStringLiteral("无法在“%1”里建立临时文件夹，没有复制。\n%2")
                               .arg(QDir::toNativeSeparators(QFileInfo(to).absolutePath()),
                                    dir.errorString()));
        }
        const QString snapshot = dir.filePath(QStringLiteral("server.tlmdb"));
        source.BackupTo(snapshot);
        target.ImportFrom(snapshot);
    }
    const TStoreCounts n = target.Counts();
    return QStringLiteral("已复制到“%1”：%2 个账户，%3 份类别列表，%4 条记录。")
        .arg(TDbMan::ShownName(to))
        .arg(n.Users)
        .arg(n.CateLists)
        .arg(n.Records);
}

} // namespace StoreCopy
