#include "XlsxKit.h"

#include "HiClass.h"

#include <QFile>

#include <cerrno>

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

TBook::TBook(const QString &path, const QString &shown, bool constantMemory) : m_shown(shown)
{
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook_options options{};
    options.constant_memory = constantMemory ? LXW_TRUE : LXW_FALSE;
    errno = 0;
    m_book = workbook_new_opt(file.constData(), &options);
    if (!m_book)
        throw EInOutError(EInOutError::Write, shown, errno ? errno : EIO);
}

TBook::~TBook()
{
    if (m_book)
        lxw_workbook_free(m_book);
}

void TBook::Close()
{
    lxw_workbook *book = m_book;
    m_book = nullptr; // workbook_close frees it, whatever it answers
    errno = 0;
    const lxw_error err = workbook_close(book);
    const int sysErr = errno;
    if (err != LXW_NO_ERROR)
        Fail(err, sysErr, m_shown);
}

} // namespace XlsxKit
