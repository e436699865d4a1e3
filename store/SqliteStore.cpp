// The data file's engine: TDbMan's operations on a data file get a fresh
// SQLite connection each, and what only a data file does lives here: the
// whole-file copies through SQLite's backup API (also the form of every
// backup, whichever engine wrote it), the integrity check, the import into a
// checked candidate file, the upgrade of an existing file and the identity
// check of a file chosen for a restore.

#include "DbClass.h"
#include "Engine.h"
#include "Placement.h"
#include "RowImport.h"
#include "SafeFile.h"
#include "Schema.h"
#include "SqliteConn.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

void setOwnerOnly(const QString &file)
{
    QFile::setPermissions(file, TSafeFile::OwnerOnly);
}

// Copies the whole database of one connection into another's through the
// engine's backup, which locks the target, first rolls back a journal left
// there by a crash, and replaces its pages in one transaction.
void copyDatabase(SqliteConn &from, SqliteConn &to)
{
    sqlite3_backup *b = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
    if (!b)
        to.fail(sqlite3_errcode(to.handle()));
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyTimeoutMs());
    int rc = SQLITE_OK;
    bool waited = false;
    for (;;) {
        rc = sqlite3_backup_step(b, -1);
        if (rc == SQLITE_DONE)
            break;
        if (rc == SQLITE_OK)
            continue;
        // The source is being written by another copy: wait for it like a busy handler.
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) &&
            std::chrono::steady_clock::now() < deadline) {
            waited = true;
            CallWaitHook(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        break;
    }
    // finish rolls the target back when the copy did not complete.
    const int frc = sqlite3_backup_finish(b);
    if (waited)
        CallWaitHook(false);
    if (rc != SQLITE_DONE)
        RaiseSqlite(nullptr, rc, to.file());
    if (frc != SQLITE_OK)
        RaiseSqlite(nullptr, frc, to.file());
}

QString integrity(SqliteConn &c)
{
    Stmt q(c, "pragma integrity_check");
    QStringList lines;
    while (q.step())
        lines << q.text(0);
    return lines.join(QLatin1Char('\n'));
}

// Automatic copies: db-yyyyMMdd-HHmmss[-n].tlmdb, ordered by time, then n.
const QRegularExpression &autoCopyName()
{
    static const QRegularExpression re(QStringLiteral("^db-(\\d{8}-\\d{6})(?:-(\\d+))?\\.tlmdb$"));
    return re;
}

constexpr int AutoCopiesKept = 10;

class TFileEngine : public TEngine {
public:
    using TEngine::TEngine;
    bool IsServer() const override { return false; }
    QString ShownName() const override { return NativePath(Location()); }
    bool IsMissing() const override { return !QFileInfo(Location()).isFile(); }
    QString BackupFolder() const override
    {
        return QFileInfo(Location()).absolutePath() + QStringLiteral("/backups");
    }
    // The data file is the default ledger: nothing names it.
    QStringList RestartArguments(const QStringList &arguments) const override { return arguments; }
    TConnRef Connect() override { return TConnRef(std::make_unique<SqliteConn>(Location())); }
    void Upgrade() override;
    void BackupInto(const QString &file, const QString &shownAs) override;
    void ImportFrom(const QString &fileName, const TProgress &progress) override;
};

} // namespace

std::unique_ptr<TEngine> NewFileEngine(const QString &path)
{
    return std::make_unique<TFileEngine>(path);
}

// ---------------------------------------------------------------------------
// Copies of the whole ledger: data files, whichever engine wrote them

void TEngine::BackupTo(const QString &fileName)
{
    const QString target = QFileInfo(fileName).absoluteFilePath();
    try {
        // A backup killed half-way leaves its temporary; the next one in that
        // folder clears it.
        TSafeFile::RemoveStale(QFileInfo(target).absolutePath());
        TSafeFile out(target);
        BackupInto(out.TempPath(), target);
        out.Commit();
    } catch (const EInOutError &e) {
        throw EDbError(
            QStringLiteral("备份没有完成，“%1”没有改变。\n%2").arg(NativePath(target), e.text()));
    }
}

void TFileEngine::BackupInto(const QString &file, const QString &shownAs)
{
    SqliteConn from(Location());
    SqliteConn to(file, false, shownAs);
    // The copy is new and private until renamed: a journal would only be one
    // more file to leave behind.
    to.exec("pragma journal_mode=off");
    to.exec("pragma synchronous=off");
    copyDatabase(from, to);
}

QString TEngine::AutoBackup()
{
    const QString folder = BackupFolder();
    if (!QDir().mkpath(folder)) {
        throw EDbError(QStringLiteral("无法建立自动备份的文件夹“%1”，数据没有改变。\n"
                                      "请检查数据文件夹的权限和磁盘空间。")
                           .arg(NativePath(folder)));
    }
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir dir(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = dir.filePath(QStringLiteral("db-%1.tlmdb").arg(stamp));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("db-%1-%2.tlmdb").arg(stamp).arg(n));
    BackupTo(path);

    // Keep the newest copies only.
    struct Copy {
        QString stamp;
        int n;
        QString name;
    };
    std::vector<Copy> copies;
    for (const QString &name : dir.entryList({QStringLiteral("db-*.tlmdb")}, QDir::Files)) {
        const QRegularExpressionMatch m = autoCopyName().match(name);
        if (m.hasMatch())
            copies.push_back(Copy{m.captured(1), m.captured(2).toInt(), name});
    }
    std::sort(copies.begin(), copies.end(), [](const Copy &a, const Copy &b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.n < b.n;
    });
    for (size_t i = 0; i + AutoCopiesKept < copies.size(); ++i)
        dir.remove(copies[i].name);
    return path;
}

namespace {

// True when the engine cannot read the file as a sound database. A full disk
// or a missing permission is not damage: such a file must never be emptied.
bool isDamaged(const QString &file)
{
    try {
        SqliteConn c(file);
        return integrity(c) != QLatin1String("ok");
    } catch (const EDbBusy &) {
        return false;
    } catch (const EDbError &) {
        return true;
    }
}

// A damaged data file cannot be copied through the engine; keep its bytes.
QString keepBytes(const QString &dataFile, const QString &folder)
{
    QDir().mkpath(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = QDir(folder).filePath(QStringLiteral("db-%1-damaged.tlmdb").arg(stamp));
    try {
        TSafeFile out(path);
        QFile src(dataFile), dst(out.TempPath());
        if (!src.open(QIODevice::ReadOnly))
            throw EInOutError(EInOutError::Read, dataFile, errno ? errno : EIO);
        if (!dst.open(QIODevice::WriteOnly))
            throw EInOutError(EInOutError::Write, path, errno ? errno : EIO);
        char buf[65536];
        for (;;) {
            const qint64 n = src.read(buf, sizeof buf);
            if (n < 0)
                throw EInOutError(EInOutError::Read, dataFile, errno ? errno : EIO);
            if (n > 0 && dst.write(buf, n) != n)
                throw EInOutError(EInOutError::Write, path, errno ? errno : EIO);
            if (n == 0)
                break;
        }
        dst.close();
        out.Commit();
    } catch (const EInOutError &e) {
        throw EDbError(QStringLiteral("无法先保存当前数据的副本，没有导入。\n%1").arg(e.text()));
    }
    return path;
}

QByteArray periodIndexSql()
{
    QByteArray cols;
    for (const char *col : Schema::PeriodIndexColumns())
        cols += (cols.isEmpty() ? "\"" : ",\"") + QByteArray(col) + '"';
    return "create index \"data_period\" on \"data\" (" + cols + ")";
}

// An insert of every column of one of our tables, values bound in column order.
QByteArray insertSql(const char *table)
{
    const TTableDef &t = Schema::Table(table);
    QByteArray marks = "?";
    for (size_t i = 1; i < t.Columns.size(); ++i)
        marks += ",?";
    return "insert into \"" + QByteArray(t.Name) + "\" (" + Schema::ColumnList(t) + ") values (" +
           marks + ")";
}

QByteArray raw(QByteArrayView v)
{
    return QByteArray::fromRawData(v.data(), v.size());
}

// Keeps the higher of the template's and the file's last handed-out id, so
// that ids the file's owner has seen are never handed out again.
void keepSequence(SqliteConn &to, const char *table, qint64 seq)
{
    if (seq <= 0)
        return;
    Stmt upd(to, "update \"sqlite_sequence\" set \"seq\"=max(\"seq\",?) where \"name\"=?");
    upd.bind(1, seq).bind(2, QByteArray(table));
    upd.step();
    if (to.changes() == 0) {
        Stmt add(to, "insert into \"sqlite_sequence\" (\"name\",\"seq\") values (?,?)");
        add.bind(1, QByteArray(table)).bind(2, seq);
        add.step();
    }
}

} // namespace

int DataFileVersion(SqliteConn &c)
{
    qint64 id = 0, version = 0;
    {
        Stmt q(c, "pragma application_id");
        if (q.step())
            id = q.int64(0);
    }
    {
        Stmt q(c, "pragma user_version");
        if (q.step())
            version = q.int64(0);
    }
    if (id == Schema::ApplicationId)
        return version < 1 ? 1 : int(std::min<qint64>(version, INT_MAX));
    // Every file written before versions carries neither number.
    return id == 0 && version == 0 ? 1 : 0;
}

void StampDataFile(SqliteConn &c, int version)
{
    // Pragmas take no bound values; both numbers are the program's own.
    const QByteArray sql = "pragma application_id=" + QByteArray::number(Schema::ApplicationId) +
                           ";pragma user_version=" + QByteArray::number(version);
    c.exec(sql.constData());
}

void UpgradeDataFileSchema(SqliteConn &c)
{
    const int from = DataFileVersion(c);
    if (from == 0)
        return; // another program's file: never marked as ours
    Schema::Upgrade(
        c, false, [&] { return DataFileVersion(c); }, [&](int v) { StampDataFile(c, v); }, true);
    if (from == Schema::CurrentVersion()) {
        qint64 id = 0;
        Stmt q(c, "pragma application_id");
        if (q.step())
            id = q.int64(0);
        if (id != Schema::ApplicationId)
            WriteTransaction(c, [&] { StampDataFile(c, from); });
    }
}

void CopyTemplateInto(const QString &file, const QString &shownAs)
{
    QFile tpl(Placement::TemplateFile()), out(file);
    if (!tpl.open(QIODevice::ReadOnly))
        throw EInOutError(EInOutError::Read, tpl.fileName(), errno ? errno : ENOENT);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EInOutError(EInOutError::Write, shownAs, errno ? errno : EIO);
    const QByteArray bytes = tpl.readAll();
    if (out.write(bytes) != bytes.size() || !out.flush())
        throw EInOutError(EInOutError::Write, shownAs, errno ? errno : EIO);
}

namespace {

void writeCandidate(TRowReader &rows, const QString &file, const QString &shownAs)
{
    try {
        CopyTemplateInto(file, shownAs);
    } catch (const EInOutError &e) {
        throw EDbError(QStringLiteral("无法建立导入用的新文件，没有导入。当前的数据没有改变。\n%1")
                           .arg(e.text()));
    }
    SqliteConn to(file, false, shownAs);
    // A private file until it has been checked: a journal would only be one
    // more file to leave behind.
    to.exec("pragma journal_mode=off");
    to.exec("pragma synchronous=off");
    to.exec("pragma cache_size=-65536");
    to.exec("begin");
    // The period index is built once after the rows, much faster than row by
    // row, and exactly as the template declares it.
    QByteArray periodIndex = periodIndexSql();
    {
        Stmt q(to, "select \"sql\" from \"sqlite_master\" where \"name\"='data_period'");
        if (q.step())
            periodIndex = q.bytes(0);
    }
    to.exec("drop index if exists \"data_period\"");
    {
        Stmt ins(to, insertSql("users").constData());
        rows.Users([&](const TImportedUser &u) {
            ins.bind(1, u.Id).bind(2, raw(u.Name)).bind(3, raw(u.Pwd));
            ins.step();
            ins.reset();
        });
    }
    {
        Stmt ins(to, insertSql("cates").constData());
        rows.Cates([&](const TImportedCates &c) {
            ins.bind(1, c.Id).bind(2, raw(c.User)).bind(3, raw(c.Out)).bind(4, raw(c.In));
            ins.step();
            ins.reset();
        });
    }
    {
        Stmt ins(to, insertSql("data").constData());
        rows.Records([&](const TImportedRecord &r) {
            ins.bind(1, r.Id).bind(2, raw(r.User)).bind(3, raw(r.Date)).bind(4, raw(r.Type));
            ins.bind(5, raw(r.Cate)).bind(6, r.Amount).bind(7, raw(r.Notes));
            ins.step();
            ins.reset();
        });
    }
    // The later tables, each value as its column's kind was checked.
    for (size_t i = 3; i < Schema::Tables().size(); ++i) {
        const TTableDef &t = Schema::Tables()[i];
        Stmt ins(to, insertSql(t.Name).constData());
        rows.Rows(t, [&](const TImportedRow &row) {
            for (size_t col = 0; col < row.size(); ++col) {
                const TImportedValue &v = row[col];
                if (v.IsText)
                    ins.bind(int(col) + 1, raw(v.Text));
                else if (t.Columns[col].Kind == TColumnKind::Amount)
                    ins.bind(int(col) + 1, v.Real);
                else
                    ins.bind(int(col) + 1, v.Int);
            }
            ins.step();
            ins.reset();
        });
    }
    for (const TTableDef &t : Schema::Tables())
        keepSequence(to, t.Name, rows.Sequence(t.Name));
    rows.Finish();
    to.exec(periodIndex.constData());
    to.exec("commit");
    // Rows of any older version are rows of today's tables now; the steps
    // of later versions bring the new file up to the program's.
    UpgradeDataFileSchema(to);
}

void checkCandidate(const QString &file, const QString &shownAs, const TStoreCounts &rows)
{
    SqliteConn c(file, true, shownAs);
    const QString report = integrity(c);
    Stmt q(c, "select (select count(*) from \"users\"), (select count(*) from \"cates\"), "
              "(select count(*) from \"data\")");
    q.step();
    if (report == QLatin1String("ok") && q.int64(0) == rows.Users && q.int64(1) == rows.CateLists &&
        q.int64(2) == rows.Records)
        return;
    throw EDbError(QStringLiteral("导入时建立的新数据没有通过检查，没有导入，当前的数据没有改变。\n"
                                  "请检查磁盘后再试。"),
                   QStringLiteral("检查结果：\n%1\n读到 %2 个账户、%3 份类别列表、%4 条记录；"
                                  "写入 %5、%6、%7。")
                       .arg(report)
                       .arg(rows.Users)
                       .arg(rows.CateLists)
                       .arg(rows.Records)
                       .arg(q.int64(0))
                       .arg(q.int64(1))
                       .arg(q.int64(2)));
}

} // namespace

void TDbMan::CheckImportFile(const QString &fileName)
{
    // Read only a regular file: a pipe would wait for ever, and a device or
    // a folder holds no ledger.
    struct stat sb;
    if (::stat(QFile::encodeName(fileName).constData(), &sb) != 0) {
        throw EDbError(QStringLiteral("找不到文件“%1”，没有导入。当前的数据没有改变。\n%2")
                           .arg(NativePath(fileName), qt_error_string(errno)));
    }
    if (!S_ISREG(sb.st_mode)) {
        const QString what = S_ISDIR(sb.st_mode)    ? QStringLiteral("文件夹")
                             : S_ISFIFO(sb.st_mode) ? QStringLiteral("管道")
                             : S_ISSOCK(sb.st_mode) ? QStringLiteral("套接字")
                                                    : QStringLiteral("设备");
        throw EDbError(QStringLiteral("“%1”是一个%2，不是普通的文件，不能从它恢复数据。"
                                      "当前的数据没有改变。\n请选择一个备份文件（*.tlmdb）。")
                           .arg(NativePath(fileName), what));
    }
}

void TDbMan::CheckImportVersion(const QString &fileName)
{
    int version = 1;
    {
        SqliteConn c(fileName, true);
        version = DataFileVersion(c);
    }
    // Rows of a newer release may mean what this one cannot know.
    if (version > Schema::CurrentVersion()) {
        throw EDbTooNew(Schema::TooNewText(NativePath(fileName), version),
                        QStringLiteral("没有导入，当前的数据没有改变。"));
    }
}

void TFileEngine::ImportFrom(const QString &fileName, const TProgress &progress)
{
    const QString &dataFile = Location();
    const QFileInfo src(fileName);
    const QFileInfo live(dataFile);
    if (live.exists() && src.canonicalFilePath() == live.canonicalFilePath())
        return;

    // Only the chosen file's rows are taken: they go into a fresh file made
    // from our template, which is checked before it replaces anything, so a
    // kill at any moment leaves the old data or the new.
    const QString folder = live.absolutePath();
    TSafeFile::RemoveStale(folder);
    std::unique_ptr<TSafeFile> candidate;
    try {
        candidate = std::make_unique<TSafeFile>(dataFile + QStringLiteral(".import"));
    } catch (const EInOutError &e) {
        throw EDbError(
            QStringLiteral("无法在“%1”里建立临时文件，没有导入。当前的数据没有改变。\n%2")
                .arg(NativePath(folder), e.text()));
    }
    {
        TRowReader rows(fileName, progress);
        writeCandidate(rows, candidate->TempPath(), dataFile);
        checkCandidate(candidate->TempPath(), dataFile, rows.Counts());
    }

    // The current data first goes to the automatic copies, so that a wrong
    // choice of file can be undone.
    bool damaged = false;
    if (live.isFile() && live.size() > 0) {
        try {
            AutoBackup();
        } catch (const EDbBusy &) {
            throw;
        } catch (const EDbError &) {
            if (!isDamaged(dataFile))
                throw;
            keepBytes(dataFile, BackupFolder());
            damaged = true;
        }
    } else if (!live.exists()) {
        // An empty file is a valid empty database; the engine removes a stale
        // journal beside it instead of playing it back.
        const int fd = ::open(QFile::encodeName(dataFile).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            RaiseSqlite(nullptr, SQLITE_CANTOPEN, dataFile);
        ::close(fd);
    }

    auto copyInto = [&dataFile](const QString &from) {
        SqliteConn in(from, true, dataFile);
        SqliteConn out(dataFile);
        copyDatabase(in, out);
    };
    try {
        copyInto(candidate->TempPath());
    } catch (const EDbError &e) {
        if (!damaged || dynamic_cast<const EDbBusy *>(&e))
            throw;
        // A data file too damaged to take the copy: its bytes are kept, so
        // start it over empty and copy again.
        if (!QFile::resize(dataFile, 0))
            throw;
        copyInto(candidate->TempPath());
    }
    setOwnerOnly(dataFile);
    Upgrade();
}

namespace {

bool hasUniqueNames(SqliteConn &c)
{
    Stmt list(c, "select \"name\" from pragma_index_list('users') where \"unique\"=1");
    while (list.step()) {
        Stmt cols(c, "select \"name\" from pragma_index_info(?)");
        cols.bind(1, list.bytes(0));
        QStringList names;
        while (cols.step())
            names << THi::LowerAscii(cols.text(0));
        if (names == QStringList{QStringLiteral("name")})
            return true;
    }
    return false;
}

bool periodIndexIsCurrent(SqliteConn &c)
{
    Stmt q(c, "select \"name\",\"desc\" from pragma_index_xinfo('data_period') where \"key\"=1 "
              "order by \"seqno\"");
    const std::vector<const char *> &cols = Schema::PeriodIndexColumns();
    size_t i = 0;
    while (q.step()) {
        if (i >= cols.size() || q.int64(1) != 0 ||
            THi::LowerAscii(q.text(0)) != QLatin1String(cols[i]))
            return false;
        ++i;
    }
    return i == cols.size();
}

} // namespace

void TFileEngine::Upgrade()
{
    const QString &dataFile = Location();
    // An import killed half-way leaves its unchecked new file beside the data file.
    TSafeFile::RemoveStale(QFileInfo(dataFile).absolutePath());
    SqliteConn c(dataFile);
    // A ledger from a newer release is left exactly as it is.
    const int version = DataFileVersion(c);
    if (version > Schema::CurrentVersion())
        throw EDbTooNew(Schema::TooNewText(NativePath(dataFile), version));
    const bool current = hasUniqueNames(c) && periodIndexIsCurrent(c);
    // Those reads played back a hot journal. A copy killed just as it began a
    // write can leave an empty one that the engine neither plays back nor
    // removes; while we hold the exclusive lock no writer can own it.
    const QString journal = dataFile + QStringLiteral("-journal");
    if (QFileInfo::exists(journal)) {
        c.exec("begin exclusive");
        QFile::remove(journal);
        c.exec("commit");
    }
    if (!current) {
        WriteTransaction(c, [&] {
            if (!hasUniqueNames(c)) {
                // Two copies could once create one name twice; the newest row is the
                // account that logged in last.
                c.exec("delete from \"users\" where \"id\" not in "
                       "(select max(\"id\") from \"users\" group by \"name\")");
                c.exec("drop index if exists \"users_name\"");
                c.exec("create unique index \"users_name\" on \"users\" (\"name\")");
            }
            if (!periodIndexIsCurrent(c)) {
                c.exec("drop index if exists \"data_period\"");
                c.exec(periodIndexSql().constData());
            }
        });
    }
    // Schema steps change the data: a copy of it as it was goes first.
    if (version >= 1 && version < Schema::CurrentVersion())
        AutoBackup();
    UpgradeDataFileSchema(c);
}

bool TDbMan::IsDataFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    try {
        SqliteConn c(path, true);
        // Another program's mark, or a ledger marked ours that this release
        // refuses by its version (said so by the callers).
        const int version = DataFileVersion(c);
        if (version == 0)
            return false;
        for (const TTableDef &t : Schema::Tables()) {
            // Tables of later versions come with the upgrade.
            if (!Schema::HasTable(version, t.Name))
                continue;
            {
                Stmt kind(c, "select 1 from \"sqlite_master\" where \"type\"='table' and "
                             "lower(\"name\")=?");
                kind.bind(1, QByteArray(t.Name));
                if (!kind.step())
                    return false;
            }
            Stmt q(c, "select \"name\",\"type\",\"notnull\",\"dflt_value\",\"pk\" from "
                      "pragma_table_info(?)");
            q.bind(1, QByteArray(t.Name));
            QStringList seen;
            while (q.step()) {
                const QString name = THi::LowerAscii(q.text(0));
                const bool ours = Schema::IsOurColumn(t, name);
                if (name == QLatin1String("id")) {
                    // The engine numbers records only through an INTEGER PRIMARY KEY.
                    if (q.int64(4) != 1 || THi::LowerAscii(q.text(1)) != QLatin1String("integer"))
                        return false;
                } else if (q.int64(4) != 0) {
                    return false;
                }
                // An extra column that every insert would have to fill makes every save fail.
                if (!ours && q.int64(2) != 0 && q.isNull(3))
                    return false;
                if (ours)
                    seen << name;
            }
            if (seen.size() != qsizetype(t.Columns.size()))
                return false;
        }
        return true;
    } catch (const EDbError &) {
        return false;
    }
}

TStoreCounts TDbMan::CountsOf(const QString &file, bool checkPages)
{
    SqliteConn c(file, true);
    c.exec("pragma trusted_schema=off");
    if (checkPages) {
        const QString report = integrity(c);
        if (report != QLatin1String("ok")) {
            throw EDbError(QStringLiteral("“%1”已经损坏。").arg(NativePath(file)),
                           QStringLiteral("检查结果：\n") + report);
        }
    }
    Stmt q(c, "select (select count(*) from \"users\"), (select count(*) from \"cates\"), "
              "(select count(*) from \"data\")");
    TStoreCounts n;
    if (q.step()) {
        n.Users = q.int64(0);
        n.CateLists = q.int64(1);
        n.Records = q.int64(2);
    }
    return n;
}
