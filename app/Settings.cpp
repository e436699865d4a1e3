#include "Settings.h"

#include "HiClass.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace Settings {

namespace {
const QString LastBackupFolder = QStringLiteral("backup/lastFolder");

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

QString BackupDialogFolder()
{
    const QString last =
        QSettings(FilePath(), QSettings::NativeFormat).value(LastBackupFolder).toString();
    for (const QString &folder :
         {last, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
          QDir::homePath()}) {
        if (usable(folder))
            return folder;
    }
    return QDir::homePath();
}

void RememberBackupFile(const QString &fileName)
{
    QSettings settings(FilePath(), QSettings::NativeFormat);
    settings.setValue(LastBackupFolder, QFileInfo(fileName).absolutePath());
    settings.sync();
}

} // namespace Settings
