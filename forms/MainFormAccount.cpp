// The account menu: switch user, password, delete user, backup, restore, exit.

#include "MainForm.h"

#include "BackupListForm.h"
#include "DailyBackup.h"
#include "DbClass.h"
#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QScopedValueRollback>

namespace {
QString backupFilter()
{
    return QStringLiteral("*.tlmdb (*.tlmdb)");
}

} // namespace

void TfrmMain::Restart(const QStringList &arguments)
{
    // Asked before the new copy starts, so that No leaves this one as it is.
    if (!CanClose())
        return;
    const QScopedValueRollback<bool> agreed(m_discardAgreed, true);
    // The new copy opens the same ledger, wherever it came from.
    const QStringList all = DbMan->RestartArguments(arguments);
    if (!THi::RunProgram(QCoreApplication::applicationFilePath(), all, 1, QString())) {
        // Closing anyway would leave the user with no program at all.
        TDialogs::Error(this, QStringLiteral("错误：无法启动新的程序实例。"));
        return;
    }
    close();
}

void TfrmMain::mnuMenu_SwitchUserClick()
{
    if (!TDialogs::Ask(this, QStringLiteral("您真的想要切换用户吗？")))
        return;
    Restart({});
}

void TfrmMain::mnuMenu_SetPwdClick()
{
    QString password;
    for (;;) {
        QString text;
        if (!TDialogs::Input(this, QStringLiteral("修改密码"),
                             QStringLiteral("请输入一个新的密码：") + QString(10, QLatin1Char(' ')),
                             text)) {
            return; // cancelled: nothing changes
        }
        password = THi::Trim(text);
        if (!password.isEmpty())
            break;
    }
    const bool done = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        DbMan->RewriteUser(UserName, password);
    });
    if (done)
        TDialogs::Info(this, QStringLiteral("修改密码"), QStringLiteral("成功！"));
}

void TfrmMain::mnuMenu_DeleteUserClick()
{
    if (!TDialogs::Ask(this, QStringLiteral("您真的想要删除 %1 吗？").arg(ElidedName(UserName))))
        return;
    // Before the account goes, so that keeping the pending lines keeps it too.
    if (!CanClose())
        return;
    const QScopedValueRollback<bool> agreed(m_discardAgreed, true);
    const bool done = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        DbMan->DeleteUser(UserName);
    });
    if (done)
        Restart({});
}

void TfrmMain::mnuMenu_BackupClick()
{
    const QString fileName = TDialogs::SaveFileWithExtension(
        this, backupFilter(), Settings::BackupDialogFolder(), QStringLiteral(".tlmdb"));
    if (fileName.isEmpty())
        return;
    const bool done = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        // A consistent snapshot, even while another running copy writes.
        DbMan->BackupTo(fileName);
    });
    if (!done)
        return;
    Settings::RememberBackupFile(fileName);
    TDialogs::Info(this, QStringLiteral("备份"), QStringLiteral("成功！"));
}

void TfrmMain::mnuMenu_RestoreClick()
{
    // The daily copies first; the file dialog for any other backup.
    QString fileName;
    QList<TDailyCopy> copies;
    {
        TBusy busy(nullptr);
        copies = TDailyBackup::List(DbMan->AutoBackupFolder());
    }
    if (!copies.isEmpty()) {
        TfrmBackupList list(this, copies);
        if (list.exec() == QDialog::Rejected)
            return;
        fileName = list.ChosenFile();
    }
    if (fileName.isEmpty())
        fileName =
            TDialogs::OpenFileName(this, QString(), backupFilter(), Settings::BackupDialogFolder());
    if (fileName.isEmpty())
        return;
    if (!QFileInfo::exists(fileName))
        return;
    // A folder, a pipe or a device gets a reason, not silence (and is never opened).
    if (!TDialogs::Guard(this, [&] { TDbMan::CheckImportFile(fileName); }))
        return;
    if (THi::LowerAscii(QFileInfo(fileName).suffix()) != QLatin1String("tlmdb"))
        return;
    // The new copy would refuse a foreign file; say so here and stay open.
    bool isData = false;
    if (!TDialogs::Guard(this, [&] { isData = TDbMan::IsDataFile(fileName); }))
        return;
    if (!isData) {
        TDialogs::Error(this, QStringLiteral("错误：“%1”不是有效的 Tallimo 数据文件。")
                                  .arg(QFileInfo(fileName).fileName()));
        return;
    }
    Settings::RememberBackupFile(fileName);
    // One argument, blanks and quotes included; absolute, so never taken for an option.
    Restart({QFileInfo(fileName).absoluteFilePath()});
}

void TfrmMain::mnuMenu_ExitClick()
{
    close();
}
