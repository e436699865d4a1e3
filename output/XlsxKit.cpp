#include "XlsxKit.h"

#include "HiClass.h"

namespace XlsxKit {

void Fail(lxw_error err, int sysErr, const QString &shown)
{
    const QString detail = QString::fromUtf8(lxw_strerror(err));
    if (sysErr != 0)
        throw EInOutError(sysErr, EInOutError::Describe(EInOutError::Write, shown, sysErr) +
                                      QStringLiteral("\n(%1)").arg(detail));
    throw TError(QStringLiteral("无法写入 Excel 文件“%1”。\n"
                                "请确认磁盘还有空间，并且您有写入的权限。\n\n详细信息：%2")
                     .arg(shown, detail));
}

void Check(lxw_error err, const QString &shown)
{
    if (err != LXW_NO_ERROR)
        Fail(err, 0, shown);
}

QByteArray CellName(int row, int col)
{
    return QByteArray(1, char('A' + col)) + QByteArray::number(row + 1);
}

} // namespace XlsxKit
