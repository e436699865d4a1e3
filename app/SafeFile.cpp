#include "SafeFile.h"

#include "HiClass.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

bool processRuns(qint64 pid)
{
    if (pid <= 0)
        return false;
    if (::kill(pid_t(pid), 0) == 0)
        return true;
    return errno == EPERM; // someone else's process: it runs
}

} // namespace

TSafeFile::TSafeFile(const QString &target, QFileDevice::Permissions mode)
    : m_target(QFileInfo(target).absoluteFilePath())
{
    QTemporaryFile tmp(m_target + QStringLiteral(".partial-%1-XXXXXX").arg(::getpid()));
    tmp.setAutoRemove(false);
    if (!tmp.open()) {
        const int err = errno ? errno : EIO;
        throw EInOutError(EInOutError::Write, m_target, err);
    }
    m_temp = tmp.fileName();
    tmp.close();
    if (!QFile::setPermissions(m_temp, mode)) {
        const int err = errno ? errno : EIO;
        QFile::remove(m_temp);
        throw EInOutError(EInOutError::Write, m_temp, err);
    }
}

TSafeFile::~TSafeFile()
{
    if (!m_done) {
        QFile::remove(m_temp);
        QFile::remove(m_temp + QStringLiteral("-journal"));
    }
}

bool TSafeFile::SyncPath(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    const int err = errno;
    ::close(fd);
    errno = err;
    return ok;
}

void TSafeFile::Commit()
{
    if (m_done)
        return;
    if (!SyncPath(m_temp)) {
        const int err = errno;
        throw EInOutError(EInOutError::Write, m_target, err);
    }
    // rename(2) replaces the target in one step; QFile::rename would refuse.
    if (std::rename(QFile::encodeName(m_temp).constData(),
                    QFile::encodeName(m_target).constData()) != 0) {
        const int err = errno;
        throw EInOutError(EInOutError::Write, m_target, err);
    }
    m_done = true;
    QFile::remove(m_temp + QStringLiteral("-journal"));
    // The rename itself is only durable once the folder is synced.
    if (!SyncPath(QFileInfo(m_target).absolutePath())) {
        const int err = errno;
        throw EInOutError(EInOutError::Write, QFileInfo(m_target).absolutePath(), err);
    }
}

bool TSafeFile::IsTempName(const QString &fileName, qint64 *pid)
{
    static const QRegularExpression re(QStringLiteral("\\.partial-(\\d+)-[A-Za-z0-9]{6}$"));
    const QRegularExpressionMatch m = re.match(fileName);
    if (!m.hasMatch())
        return false;
    if (pid)
        *pid = m.captured(1).toLongLong();
    return true;
}

int TSafeFile::RemoveStale(const QString &folder)
{
    int removed = 0;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("*.partial-*")}, QDir::Files | QDir::Hidden | QDir::System);
    const QString journal = QStringLiteral("-journal");
    for (const QString &name : names) {
        // A journal left without its temporary goes with the same rule.
        const QString temp = name.endsWith(journal) ? name.chopped(journal.size()) : name;
        qint64 pid = 0;
        if (!IsTempName(temp, &pid) || processRuns(pid))
            continue;
        if (QFile::remove(dir.filePath(name)))
            ++removed;
    }
    return removed;
}
