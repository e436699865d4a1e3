#include "Settings.h"

#include "HiClass.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace Settings {

namespace {
const QString LastBackupKey = QStringLiteral("backup/lastFolder");
const QString LastExportFolder = QStringLiteral("export/lastFolder");

// A folder the dialogs may open in.
bool usable(const QString &folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    const QString program = QFileInfo(THi::AppDir()).canonicalFilePath();
    return QFileInfo(folder).canonicalFilePath() != program;
}
} // namespace

QString FilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tallimo/tallimo.conf");
}

QString DatabaseUrl()
{
    return QSettings(FilePath(), QSettings::NativeFormat)
        .value(QStringLiteral("database/url"))
        .toString()
        .trimmed();
}

namespace {
QString dialogFolder(const QString &key)
{
    const QString last = QSettings(FilePath(), QSettings::NativeFormat).value(key).toString();
    for (const QString &folder :
         {last, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
          QDir::homePath()}) {
        if (usable(folder))
            return folder;
    }
    return QDir::homePath();
}

void remember(const QString &key, const QString &fileName)
{
    QSettings settings(FilePath(), QSettings::NativeFormat);
    settings.setValue(key, QFileInfo(fileName).absolutePath());
    settings.sync();
}
} // namespace

QString BackupDialogFolder()
{
    return dialogFolder(LastBackupKey);
}

void RememberBackupFile(const QString &fileName)
{
    remember(LastBackupKey, fileName);
}

QString LastBackupFolder()
{
    return QSettings(FilePath(), QSettings::NativeFormat).value(LastBackupKey).toString();
}

QString ExportDialogFolder()
{
    return dialogFolder(LastExportFolder);
}

void RememberExportFile(const QString &fileName)
{
    remember(LastExportFolder, fileName);
}

namespace {
QString quickRangeKey(const QString &user)
{
    return QStringLiteral("quickRange/") + QString::fromLatin1(user.toUtf8().toHex());
}
} // namespace

QString QuickRange(const QString &user)
{
    return QSettings(FilePath(), QSettings::NativeFormat).value(quickRangeKey(user)).toString();
}

void RememberQuickRange(const QString &user, const QString &id)
{
    QSettings settings(FilePath(), QSettings::NativeFormat);
    settings.setValue(quickRangeKey(user), id);
    settings.sync();
}

} // namespace Settings
