#include "HiClass.h"
#include "Placement.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(Placement::ProductName));
    THi::CheckWindowsVersion();
    const QString dataFile = Placement::PlaceDataFile(QApplication::arguments().mid(1));
    QMessageBox::information(nullptr, QLatin1String(Placement::ProductName),
                             QStringLiteral("数据文件：%1").arg(dataFile));
    return 0;
}
