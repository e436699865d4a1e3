#include "StartUp.h"

#include "BackupRotation.h"
#include "DailyBackup.h"
#include "DbClass.h"
#include "Dialogs.h"
#include "LoginForm.h"
#include "ProgressWindow.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QPointer>
#include <QThread>

namespace StartUp {

void KeepPaintingWhileWaiting()
{
    TDbMan::SetWaitHook([](bool waiting) {
        static bool cursorShown = false;
        const QCoreApplication *app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread())
            return; // a worker's wait: the windows are not its to paint
        if (!waiting) {
            if (cursorShown)
                QApplication::restoreOverrideCursor();
            cursorShown = false;
            return;
        }
        if (!cursorShown) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            cursorShown = true;
        }
        // Painting, timers and window-system events other than input: nothing
        // the user does runs in the middle of the waiting operation.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
}

void ImportBackup(const QString &location, const QString &backup)
{
    try {
        // A large backup takes seconds to read and check; nothing is replaced
        // until every row is read, so stopping there is safe.
        TProgressWindow progress(nullptr, QStringLiteral("正在从备份文件恢复数据…"));
        TDbMan(location).ImportFrom(backup, progress.Callback());
    } catch (const EDbCancelled &) {
        // The person's own choice: the old data stays, nothing to report.
    } catch (const std::exception &e) {
        TDialogs::Error(nullptr,
                        QStringLiteral("无法从备份文件“%1”恢复数据，程序继续使用原来的数据。\n\n%2")
                            .arg(QDir::toNativeSeparators(backup), TDialogs::ExceptionText(e)),
                        TDialogs::ExceptionDetails(e));
    }
}

bool UpgradeDataFile(const QString &location)
{
    TDbMan store(location);
    bool tooNew = false;
    const bool done = TDialogs::Guard(nullptr, [&] {
        try {
            store.Upgrade();
        } catch (const EDbTooNew &) {
            tooNew = true;
            throw;
        }
    });
    // A data file that cannot be upgraded may still be read; a server that
    // cannot be used would only fail again at the login; a newer release's
    // ledger is not opened at all.
    return done || (!tooNew && store.IsLocalFile());
}

QString RunLogin(const QString &location, bool *readOnly)
{
    QString userName;
    if (readOnly)
        *readOnly = false;
    TDialogs::Guard(nullptr, [&] {
        TfrmLogin login(location);
        if (login.exec() == QDialog::Accepted) {
            userName = login.UserName;
            if (readOnly)
                *readOnly = login.ReadOnly;
        }
    });
    return userName;
}

std::unique_ptr<QThread> StartDailyBackup(QWidget *parent, const QString &location,
                                          const QDate &today)
{
    // The worker has a store object of its own (its own connection); the
    // result is read only after the thread has finished.
    auto result = std::make_shared<TDailyBackupResult>();
    std::unique_ptr<QThread> worker(QThread::create([location, today, result] {
        try {
            TDbMan db(location);
            *result = TDailyBackup::Run(db, today);
        } catch (const std::exception &e) {
            result->Failed = TBackupRotation::FileName(today);
            result->Error = TDialogs::ExceptionText(e);
        }
    }));
    const QPointer<QWidget> shownOn(parent);
    QObject::connect(worker.get(), &QThread::finished, parent, [shownOn, result] {
        if (result->Failed.isEmpty() || !shownOn)
            return;
        TDialogs::Error(
            shownOn,
            QStringLiteral(
                "今天的自动备份“%1”没有成功（写入或检查失败），已经删除；数据本身没有改变。\n"
                "%2\n"
                "请检查磁盘空间和数据文件夹的权限，再用“备份”另存一份数据。"
                "下次启动时会再试一次。")
                .arg(QDir::toNativeSeparators(result->Failed), result->Error),
            result->Details);
    });
    worker->start(QThread::LowPriority);
    return worker;
}

} // namespace StartUp
