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
#include <sys/stat.h>
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

QFileDevice::Permissions TSafeFile::UmaskMode()
{
    // Linux tells the umask without changing it; elsewhere it is set and put back.
    mode_t mask = 0;
    bool known = false;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                mask = mode_t(line.mid(6).trimmed().toUInt(&known, 8));
                break;
            }
        }
    }
    if (!known) {
        mask = ::umask(077);
        ::umask(mask);
    }
    const mode_t mode = 0666 & ~mask;
    QFileDevice::Permissions p;
    const struct {
        mode_t bit;
        QFileDevice::Permission flag;
    } bits[] = {{S_IRUSR, QFileDevice::ReadOwner}, {S_IWUSR, QFileDevice::WriteOwner},
                {S_IRGRP, QFileDevice::ReadGroup}, {S_IWGRP, QFileDevice::WriteGroup},
                {S_IROTH, QFileDevice::ReadOther}, {S_IWOTH, QFileDevice::WriteOther}};
    for (const auto &b : bits) {
        if (mode & b.bit)
            p |= b.flag;
    }
    // Qt reports the owner's bits twice, as owner and as user.
    if (mode & S_IRUSR)
        p |= QFileDevice::ReadUser;
    if (mode & S_IWUSR)
        p |= QFileDevice::WriteUser;
    return p;
}

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

// ---------------------------------------------------------------------------

namespace {
constexpr qsizetype SinkBlock = 1 << 16;
} // namespace

TFileSink::TFileSink(const QString &path, const QString &shownAs) : m_shownAs(shownAs)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (m_fd < 0)
        throw EInOutError(EInOutError::Write, m_shownAs, errno);
    m_buf.reserve(SinkBlock);
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

TFileSink::~TFileSink()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TFileSink::flushBuffer()
{
    const char *p = m_buf.constData();
    qsizetype left = m_buf.size();
    while (left > 0 && m_error == 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            break;
        }
        p += n;
        left -= n;
    }
    m_buf.clear();
    return m_error == 0;
}

qint64 TFileSink::writeData(const char *data, qint64 len)
{
    if (m_error != 0 || m_fd < 0)
        return -1;
    if (m_buf.size() + len > SinkBlock && !flushBuffer()) {
        setErrorString(qt_error_string(m_error));
        return -1;
    }
    if (len >= SinkBlock) {
        m_buf = QByteArray::fromRawData(data, len);
        const bool ok = flushBuffer();
        m_buf = QByteArray();
        m_buf.reserve(SinkBlock);
        if (!ok) {
            setErrorString(qt_error_string(m_error));
            return -1;
        }
        return len;
    }
    m_buf.append(data, len);
    return len;
}

void TFileSink::close()
{
    if (m_fd >= 0) {
        flushBuffer();
        if (::close(m_fd) != 0 && m_error == 0)
            m_error = errno;
        m_fd = -1;
    }
    QIODevice::close();
}

void TFileSink::Finish()
{
    close();
    if (m_error != 0)
        throw EInOutError(EInOutError::Write, m_shownAs, m_error);
}
