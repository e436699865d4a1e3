// Start-up: checks, the running marker and the application object; then the
// data file is placed (importing a backup named on the command line), the
// user logs in, and the main window opens for that user.

#include "Dialogs.h"
#include "HiClass.h"
#include "MainForm.h"
#include "Placement.h"
#include "StartUp.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QSharedMemory>
#include <QStyleFactory>

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

int main(int argc, char *argv[])
{
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
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/rcdata/APP_ICON")));

    // 1. The data file: the folder, the template on first start, then a backup
    //    named as the first argument imported by the store (a restore).
    QString dataFile;
    if (!TDialogs::Guard(nullptr, [&] {
            dataFile =
                Placement::PlaceDataFile(QApplication::arguments().mid(1), StartUp::ImportBackup);
        }))
        return 1; // no data folder: the error has been shown
    StartUp::UpgradeDataFile(dataFile);

    // 2. The login.
    const QString userName = StartUp::RunLogin(dataFile);
    if (userName.isEmpty())
        return 0; // login cancelled: end quietly

    // 3. The main window for the logged-in user.
    TfrmMain frmMain(dataFile, userName);
    if (!frmMain.LoggedIn())
        return 0;
    frmMain.show();
    frmMain.activateWindow();
    return app.exec();
}
