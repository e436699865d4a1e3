// Start-up: checks, the running marker and the application object; then the
// data file is placed (importing a backup named on the command line), the
// user logs in, and the main window opens for that user.

#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"
#include "MainForm.h"
#include "Placement.h"
#include "Settings.h"
#include "StartUp.h"
#include "StoreCopy.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QSharedMemory>
#include <QStyleFactory>
#include <QTextStream>

namespace {
// Last line of defence: handlers run under TDialogs::Guard, but an error that
// slips past one is still shown instead of ending the program.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        bool handled = false;
        TDialogs::Guard(nullptr, [&] { handled = QApplication::notify(receiver, event); });
        return handled;
    }
};
} // namespace

namespace {
// tallimo --copy-to URL / --copy-from URL [--replace]: copies the whole
// ledger once, says what it did, and ends; no window is opened.
int runCopy(const Placement::TStartOptions &options)
{
    QTextStream out(stdout), err(stderr);
    try {
        const QString dataFile = Placement::PlaceDataFile({});
        const QString line = options.CopyTo.isEmpty()
                                 ? StoreCopy::Copy(options.CopyFrom, dataFile, options.Replace)
                                 : StoreCopy::Copy(dataFile, options.CopyTo, options.Replace);
        out << line << Qt::endl;
        return 0;
    } catch (const TError &e) {
        err << e.text() << Qt::endl;
    } catch (const std::exception &e) {
        err << QString::fromLocal8Bit(e.what()) << Qt::endl;
    }
    return 1;
}

bool isCopyRun(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--copy-to") == 0 || qstrcmp(argv[i], "--copy-from") == 0)
            return true;
    }
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    if (isCopyRun(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QLatin1String(Placement::ProductName));
        const Placement::TStartOptions options =
            Placement::ParseStartOptions(QCoreApplication::arguments().mid(1));
        if (!options.Error.isEmpty()) {
            QTextStream(stderr) << options.Error << Qt::endl;
            return 2;
        }
        return runCopy(options);
    }

    // Dates in the file dialog's list follow Qt's system locale, read once.
    THi::UseChineseSystemLocale();
    TApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(Placement::ProductName));
    QApplication::setDesktopFileName(QStringLiteral("tallimo"));

    THi::CheckWindowsVersion();
    QDir::setCurrent(THi::AppDir());

    // Marks the program as running for its whole life; nothing waits on it and
    // a second copy runs normally.
    QSharedMemory marker(QStringLiteral("tlmdb-AppMutex"));
    if (!marker.create(1))
        marker.attach();

    // Qt's own texts (buttons, file dialogs, the calendar) speak the program's language.
    if (!THi::UseChineseLocale())
        qWarning("Qt's Chinese translation (qtbase_zh_CN) was not found");

    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(ProgramFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/rcdata/APP_ICON")));
    StartUp::KeepPaintingWhileWaiting();

    // 1. The data file: the folder, the template on first start, then a backup
    //    named as the first argument imported by the store (a restore).
    //    "--database URL", else the settings file's URL, puts the ledger on a server.
    const Placement::TStartOptions options =
        Placement::ParseStartOptions(QApplication::arguments().mid(1));
    if (!options.Error.isEmpty()) {
        TDialogs::Error(nullptr, options.Error);
        return 2;
    }
    const QString server = options.Database.isEmpty() ? Settings::DatabaseUrl() : options.Database;
    QString dataFile;
    if (!TDialogs::Guard(nullptr, [&] {
            dataFile = Placement::PlaceDataFile(options.Rest, StartUp::ImportBackup, server);
        }))
        return 1; // no data folder: the error has been shown
    if (!StartUp::UpgradeDataFile(dataFile))
        return 1;

    // 2. The login.
    bool readOnly = false;
    const QString userName = StartUp::RunLogin(dataFile, &readOnly);
    if (userName.isEmpty())
        return 0; // login cancelled: end quietly

    // 3. The main window for the logged-in user; read-only when the login
    //    could not write (a full disk), so the ledger can still be backed up.
    TfrmMain frmMain(dataFile, userName);
    if (!frmMain.LoggedIn())
        return 0;
    if (readOnly)
        frmMain.SetReadOnly();
    frmMain.show();
    frmMain.activateWindow();
    return app.exec();
}
