#include "SqliteConn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <thread>

namespace {

// What to tell the user when a data file cannot be read as one.
QString damagedText(const QString &file)
{
    return QStringLiteral("数据文件“%1”已损坏，无法读取。\n"
                          "可以从它旁边的 backups 文件夹中的自动备份，或者从您自己的备份文件"
                          "恢复数据（菜单“从备份中恢复数据”）。")
        .arg(NativePath(file));
}

class SqliteCursor : public TCursor {
public:
    SqliteCursor(const SqliteConn &c, const char *sql) : m_c(c)
    {
        const int rc = sqlite3_prepare_v2(c.handle(), sql, -1, &m_stmt, nullptr);
        if (rc != SQLITE_OK)
            c.fail(rc);
    }
    ~SqliteCursor() override { sqlite3_finalize(m_stmt); }
    SqliteCursor(const SqliteCursor &) = delete;
    SqliteCursor &operator=(const SqliteCursor &) = delete;

    void bindText(int i, const QByteArray &bytes) override
    {
        check(sqlite3_bind_text(m_stmt, i, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT));
    }
    void bindDouble(int i, double v) override { check(sqlite3_bind_double(m_stmt, i, v)); }
    void bindInt64(int i, qint64 v) override { check(sqlite3_bind_int64(m_stmt, i, v)); }
    bool step() override
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            m_c.fail(rc);
        return false;
    }
    void reset() override
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    const char *data(int col) const override
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
        return p ? p : "";
    }
    int size(int col) const override { return sqlite3_column_bytes(m_stmt, col); }
    bool isNull(int col) const override { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
    double number(int col) const override { return sqlite3_column_double(m_stmt, col); }
    qint64 int64(int col) const override { return sqlite3_column_int64(m_stmt, col); }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            m_c.fail(rc);
    }
    const SqliteConn &m_c;
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace

QString NativePath(const QString &file)
{
    return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
}

void RaiseSqlite(sqlite3 *db, int rc, const QString &file)
{
    const QString detail =
        QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)).trimmed();
    const QString path = NativePath(file);
    QString what;
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw EDbBusy(BusyText());
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        what = damagedText(file);
        break;
    case SQLITE_FULL:
        throw EDbCannotWrite(QStringLiteral("磁盘已满，无法写入“%1”，这次操作没有保存任何内容。\n"
                                            "请腾出磁盘空间后再试。")
                                 .arg(path) +
                             QLatin1Char('\n') + detail);
    case SQLITE_READONLY:
    case SQLITE_PERM:
        throw EDbCannotWrite(QStringLiteral("“%1”是只读的，无法写入，这次操作没有保存任何内容。\n"
                                            "请检查这个文件和它所在文件夹的权限。")
                                 .arg(path) +
                             QLatin1Char('\n') + detail);
    case SQLITE_CANTOPEN:
        what = QStringLiteral("无法打开“%1”。\n请检查这个文件是否存在，以及您对它和它所在的"
                              "文件夹是否有读写权限。")
                   .arg(path);
        break;
    case SQLITE_IOERR:
        what = QStringLiteral("读写“%1”时出错，这次操作没有完成。\n请检查磁盘后再试；如果之后"
                              "提示文件已损坏，可以从它旁边的 backups 文件夹或备份文件恢复数据。")
                   .arg(path);
        break;
    case SQLITE_NOMEM:
        what = QStringLiteral("内存不足，对“%1”的操作没有完成。\n请关闭其他程序后再试。").arg(path);
        break;
    case SQLITE_CONSTRAINT:
        what = QStringLiteral("“%1”拒绝了这次写入，数据没有改变。").arg(path);
        if (rc == SQLITE_CONSTRAINT_UNIQUE)
            throw EDbUnique(what + QLatin1Char('\n') + detail);
        break;
    default:
        if (detail.startsWith(QLatin1String("no such table")) ||
            detail.startsWith(QLatin1String("no such column"))) {
            what = QStringLiteral("“%1”缺少本程序需要的表或列：它不是本程序的数据文件，"
                                  "或者已经损坏。\n可以从它旁边的 backups 文件夹或备份文件"
                                  "恢复数据。")
                       .arg(path);
        } else {
            what = QStringLiteral("对“%1”的操作失败，数据没有改变。\n请稍后再试；如果问题一直"
                                  "存在，可以从它旁边的 backups 文件夹或备份文件恢复数据。")
                       .arg(path);
        }
        break;
    }
    throw EDbError(what + QLatin1Char('\n') + detail);
}

SqliteConn::SqliteConn(const QString &file, bool readOnly, const QString &shownAs)
    : m_file(shownAs.isEmpty() ? file : shownAs)
{
    // SQLite would quietly create a missing file; a missing data file is an error.
    if (!QFileInfo(file).isFile()) {
        // The engine's own words for it on the last line, as for every failure.
        throw EDbError(
            QStringLiteral("找不到数据文件“%1”。\n重新启动程序会重新建立它；"
                           "原有的数据可以从 backups 文件夹或备份文件恢复。\n%2")
                .arg(NativePath(m_file), QString::fromUtf8(sqlite3_errstr(SQLITE_CANTOPEN))));
    }
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        // The message is read before the handle is closed.
        sqlite3 *db = m_db;
        m_db = nullptr;
        try {
            RaiseSqlite(db, rc, m_file);
        } catch (...) {
            sqlite3_close_v2(db);
            throw;
        }
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_handler(m_db, &SqliteConn::BusyWait, this);
}

SqliteConn::~SqliteConn()
{
    sqlite3_close_v2(m_db);
    if (m_waited)
        CallWaitHook(false);
}

int SqliteConn::BusyWait(void *self, int count)
{
    auto *c = static_cast<SqliteConn *>(self);
    using namespace std::chrono;
    if (count == 0)
        c->m_waitStart = steady_clock::now();
    const milliseconds left = milliseconds(BusyTimeoutMs()) -
                              duration_cast<milliseconds>(steady_clock::now() - c->m_waitStart);
    if (left <= milliseconds(0))
        return 0; // SQLite reports the lock as busy
    c->m_waited = true;
    CallWaitHook(true);
    std::this_thread::sleep_for(std::min(left, milliseconds(10)));
    return 1;
}

void SqliteConn::fail(int rc) const
{
    RaiseSqlite(m_db, rc, m_file);
}

std::unique_ptr<TCursor> SqliteConn::prepare(const char *sql, bool)
{
    return std::make_unique<SqliteCursor>(*this, sql);
}

void SqliteConn::exec(const char *sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
}

void SqliteConn::rollback() noexcept
{
    sqlite3_exec(m_db, "rollback", nullptr, nullptr, nullptr);
}

qint64 SqliteConn::changes() const
{
    return sqlite3_changes(m_db);
}

QString SqliteConn::shownName() const
{
    return NativePath(m_file);
}
