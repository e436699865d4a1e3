// Start-up: the command line, checks, the running marker and the application
// object; then the data file is placed (importing a backup named on the
// command line), the user logs in, and the main window opens for that user.

#include "BillImport.h"
#include "BudgetExport.h"
#include "CommandLine.h"
#include "DataFormat.h"
#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"
#include "MainForm.h"
#include "PasswordPrompt.h"
#include "Placement.h"
#include "Settings.h"
#include "StartUp.h"
#include "StoreCopy.h"
#include "YearExport.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QSharedMemory>
#include <QStyleFactory>
#include <QTextStream>
#include <QThread>

#include <memory>

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
int runCopy(const CommandLine::TStartOptions &options)
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

// tallimo --import FILE --user NAME [--dry-run]: a bill into the account,
// without a window.
int runImport(const CommandLine::TStartOptions &options)
{
    QTextStream out(stdout), err(stderr);
    QString location;
    try {
        const QString server =
            options.Database.isEmpty() ? Settings::DatabaseUrl() : options.Database;
        location = Placement::PlaceDataFile({}, {}, server);
    } catch (const TError &e) {
        err << e.text() << Qt::endl;
        return 1;
    }
    const QString password = PasswordPrompt::Read(QStringLiteral("%1 的密码：").arg(options.User));
    return BillImport::RunCommand(location, options.User, password, options.Import, options.DryRun,
                                  out, err);
}

// tallimo --report year --year N --user NAME (or month --month YYYY-MM):
// the password from standard input, then the year's table (or the month's
// ranking with its budgets) as CSV on stdout; no window.
int runReport(const CommandLine::TStartOptions &options)
{
    QTextStream out(stdout), err(stderr);
    try {
        const QString server =
            options.Database.isEmpty() ? Settings::DatabaseUrl() : options.Database;
        const QString location = Placement::PlaceDataFile({}, {}, server);
        const QString password =
            PasswordPrompt::Read(QStringLiteral("%1 的密码：").arg(options.User));
        TDbMan db(location);
        if (!db.CheckLogin(options.User, password)) {
            err << QStringLiteral("tallimo：用户名“%1”或密码不对，没有输出报表。").arg(options.User)
                << Qt::endl;
            return 1;
        }
        if (options.Report == QLatin1String("month")) {
            const QDate last = options.Month.addMonths(1).addDays(-1);
            TBudgetPlan plan;
            const TPeriod month = db.QueryPeriodAndBudgets(
                options.User, THi::DateToYmd(options.Month), THi::DateToYmd(last), plan);
            out << BudgetExport::MonthReportCsv(month, plan, options.Month) << Qt::flush;
            return 0;
        }
        out << YearExport::Csv(MakeYearTable(db, options.User, options.Year)) << Qt::flush;
        return 0;
    } catch (const TError &e) {
        err << e.text() << Qt::endl;
    } catch (const std::exception &e) {
        err << QString::fromLocal8Bit(e.what()) << Qt::endl;
    }
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // The command line is read before anything else happens: --help,
    // --version and a mistyped option need no display and change nothing, and
    // a relative backup path is taken against the folder it was typed in.
    // Arguments are UTF-8 on every system Qt 6 supports here.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine::TStartOptions options = CommandLine::Parse(arguments, QDir::currentPath());
    if (!options.Error.isEmpty()) {
        QTextStream(stderr) << CommandLine::ErrorText(options.Error);
        return 2;
    }
    if (options.Help || options.Version) {
        QTextStream(stdout) << (options.Help ? CommandLine::HelpText()
                                             : CommandLine::VersionText(DataFormatVersion));
        return 0;
    }
    if (!options.Import.isEmpty()) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QLatin1String(Placement::ProductName));
        return runImport(options);
    }
    if (!options.CopyTo.isEmpty() || !options.CopyFrom.isEmpty()) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QLatin1String(Placement::ProductName));
        return runCopy(options);
    }
    if (!options.Report.isEmpty()) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QLatin1String(Placement::ProductName));
        return runReport(options);
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
    QStringList backup;
    if (!options.Backup.isEmpty()) {
        backup << options.Backup;
        if (!QFileInfo(options.Backup).isFile())
            QTextStream(stderr) << QStringLiteral(
                                       "tallimo：没有找到备份文件“%1”，没有导入任何数据。\n")
                                       .arg(options.Backup);
    }
    const QString server = options.Database.isEmpty() ? Settings::DatabaseUrl() : options.Database;
    QString location;
    if (!TDialogs::Guard(nullptr, [&] {
            location = Placement::PlaceDataFile(backup, StartUp::ImportBackup, server);
        }))
        return 1; // no data folder: the error has been shown
    if (!StartUp::UpgradeDataFile(location))
        return 1;

    // 2. The login.
    bool readOnly = false;
    const QString userName = StartUp::RunLogin(location, &readOnly);
    if (userName.isEmpty())
        return 0; // login cancelled: end quietly

    // 3. The main window for the logged-in user; read-only when the login
    //    could not write (a full disk), so the ledger can still be backed up.
    TfrmMain frmMain(location, userName);
    if (!frmMain.LoggedIn())
        return 0;
    if (readOnly)
        frmMain.SetReadOnly();
    frmMain.show();
    frmMain.activateWindow();

    // 4. Today's copy of the ledger, on the first start of the day, beside the running window.
    const std::unique_ptr<QThread> daily =
        StartUp::StartDailyBackup(&frmMain, location, QDate::currentDate());
    const int status = app.exec();
    daily->wait(); // a copy under way is finished, not left half-written
    return status;
}
