#include "RowImport.h"

#include "Schema.h"
#include "SqliteConn.h"

#include <QDate>
#include <QHash>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The message lists this many bad rows; the details up to the next limit.
constexpr int ShownInText = 3;
constexpr int ShownInDetails = 100;
// Progress is reported (and cancel asked) once every this many rows.
constexpr qint64 ProgressStep = 4096;

class Query {
public:
    Query(SqliteConn &c, const QByteArray &sql) : m_c(c)
    {
        const int rc = sqlite3_prepare_v2(c.handle(), sql.constData(), -1, &m_st, nullptr);
        if (rc != SQLITE_OK)
            c.fail(rc);
    }
    ~Query() { sqlite3_finalize(m_st); }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    bool step()
    {
        const int rc = sqlite3_step(m_st);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            m_c.fail(rc);
        return false;
    }
    int type(int col) const { return sqlite3_column_type(m_st, col); }
    qint64 int64(int col) const { return sqlite3_column_int64(m_st, col); }
    double number(int col) const { return sqlite3_column_double(m_st, col); }
    // Text as stored; a blob's bytes are not text and are refused by type.
    QByteArrayView text(int col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_st, col));
        return QByteArrayView(p ? p : "", sqlite3_column_bytes(m_st, col));
    }

private:
    SqliteConn &m_c;
    sqlite3_stmt *m_st = nullptr;
};

// Every column of one of our tables, in the description's order.
QByteArray selectAll(const char *table)
{
    return "select " + Schema::ColumnList(Schema::Table(table)) + " from \"" + table + '"';
}

// A value as the message shows it: short, one line.
QString shown(const Query &q, int col)
{
    switch (q.type(col)) {
    case SQLITE_NULL:
        return QStringLiteral("空值");
    case SQLITE_BLOB:
        return QStringLiteral("二进制数据");
    case SQLITE_INTEGER:
        return QString::number(q.int64(col));
    case SQLITE_FLOAT:
        return QString::number(q.number(col));
    default:
        break;
    }
    const QByteArrayView v = q.text(col);
    QString t = QString::fromUtf8(v.first(std::min<qsizetype>(v.size(), 64)));
    for (QChar &c : t) {
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    }
    return t.size() > 20 ? t.left(20) + QStringLiteral("…") : t;
}

bool isText(const Query &q, int col)
{
    return q.type(col) == SQLITE_TEXT;
}

bool validId(const Query &q, int col)
{
    return q.type(col) == SQLITE_INTEGER && q.int64(col) > 0 && q.int64(col) < TRowReader::IdLimit;
}

// A stored text, checked once per distinct value (names and categories repeat).
class StoredTexts {
public:
    bool ok(const Query &q, int col)
    {
        if (!isText(q, col))
            return false;
        const QByteArrayView v = q.text(col);
        if (v.size() > 64)
            return THi::IsStoredText(v);
        auto it = m_seen.constFind(QByteArray::fromRawData(v.data(), v.size()));
        if (it == m_seen.cend()) {
            if (m_seen.size() > 100000)
                m_seen.clear();
            it = m_seen.insert(v.toByteArray(), THi::IsStoredText(v));
        }
        return it.value();
    }

private:
    QHash<QByteArray, bool> m_seen;
};

bool validDate(const Query &q, int col)
{
    if (!isText(q, col))
        return false;
    const QByteArrayView d = q.text(col);
    if (d.size() != 10 || d[4] != '-' || d[7] != '-')
        return false;
    int v[3] = {0, 0, 0};
    const int from[3] = {0, 5, 8}, len[3] = {4, 2, 2};
    for (int part = 0; part < 3; ++part) {
        for (int i = 0; i < len[part]; ++i) {
            const char c = d[from[part] + i];
            if (c < '0' || c > '9')
                return false;
            v[part] = v[part] * 10 + (c - '0');
        }
    }
    return QDate(v[0], v[1], v[2]).isValid() && v[0] >= 1;
}

bool validType(const Query &q, int col)
{
    static const QByteArray out = TypeExpense().toUtf8(), in = TypeIncome().toUtf8();
    return isText(q, col) && (q.text(col) == out || q.text(col) == in);
}

bool validAmount(const Query &q, int col)
{
    // Numbers only (an old file may hold whole numbers as integers), as the
    // entry takes them: at least a cent and below the bound once in cents.
    if (q.type(col) != SQLITE_FLOAT && q.type(col) != SQLITE_INTEGER)
        return false;
    const double v = q.number(col);
    return std::isfinite(v) && v >= 0.01 && v < THi::MaxAmount &&
           double(std::llround(v * 100.0)) < THi::MaxAmount * 100.0;
}

bool validPassword(const Query &q, int col)
{
    // A one-way hash: printable ASCII.
    if (!isText(q, col))
        return false;
    for (char c : q.text(col)) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}

} // namespace

TRowReader::TRowReader(const QString &file, const TProgress &progress)
    : m_file(file), m_progress(progress)
{
    m_conn = std::make_unique<SqliteConn>(file, true);
    // Nothing the file declares may run while it is read.
    m_conn->exec("pragma trusted_schema=off");
    // A file the engine itself finds damaged may have lost rows or changed
    // values unseen; a household gets its ledger whole or not at all.
    {
        Query q(*m_conn, "pragma integrity_check");
        QStringList report;
        while (q.step())
            report << QString::fromUtf8(q.text(0));
        if (report != QStringList{QStringLiteral("ok")}) {
            throw EDbError(QStringLiteral("“%1”已经损坏，没有导入，当前的数据没有改变。\n"
                                          "请换一个备份文件再试。")
                               .arg(NativePath(file)),
                           QStringLiteral("检查结果：\n") + report.join(QLatin1Char('\n')));
        }
    }
    m_version = DataFileVersion(*m_conn);
    QByteArray total;
    for (const TTableDef &t : Schema::Tables()) {
        if (!Schema::HasTable(m_version, t.Name))
            continue;
        total += QByteArray(total.isEmpty() ? "select " : " + ") + "(select count(*) from \"" +
                 t.Name + "\")";
    }
    Query n(*m_conn, total);
    if (n.step())
        m_total = n.int64(0);
}

TRowReader::~TRowReader() = default;

void TRowReader::bad(const QString &line)
{
    ++m_bad;
    m_lines << line;
    // Enough to show; the rest of the file need not be read.
    if (m_lines.size() >= ShownInDetails)
        m_more = true;
}

void TRowReader::step()
{
    ++m_done;
    if (m_progress && (m_done % ProgressStep == 0 || m_done == m_total) &&
        !m_progress(m_done, std::max(m_total, m_done)))
        throw EDbCancelled(QStringLiteral("导入已取消，当前的数据没有改变。"));
}

void TRowReader::Users(const std::function<void(const TImportedUser &)> &put)
{
    Query q(*m_conn, selectAll("users"));
    StoredTexts texts;
    struct Row {
        qint64 id;
        QByteArray name, pwd;
    };
    std::vector<Row> rows;
    qint64 n = 0;
    while (!m_more && q.step()) {
        step();
        ++n;
        const QString label = QStringLiteral("第 %1 个账户（编号 %2）").arg(n).arg(shown(q, 0));
        if (!validId(q, 0)) {
            bad(label + QStringLiteral("的编号无效"));
        } else if (!texts.ok(q, 1)) {
            bad(label + QStringLiteral("的用户名不是有效的存储文本（%1）").arg(shown(q, 1)));
        } else if (!validPassword(q, 2)) {
            bad(label + QStringLiteral("的密码无效"));
        } else if (m_bad == 0) {
            rows.push_back(Row{q.int64(0), q.text(1).toByteArray(), q.text(2).toByteArray()});
        }
    }
    if (m_bad > 0)
        return;
    // Two rows with one name (made by two copies of an old release): the
    // newest is the account that logged in last.
    QHash<QByteArray, size_t> newest;
    for (size_t i = 0; i < rows.size(); ++i) {
        auto it = newest.find(rows[i].name);
        if (it == newest.end())
            newest.insert(rows[i].name, i);
        else if (rows[i].id > rows[it.value()].id)
            it.value() = i;
    }
    std::vector<size_t> kept;
    for (size_t i : std::as_const(newest))
        kept.push_back(i);
    std::sort(kept.begin(), kept.end(),
              [&](size_t a, size_t b) { return rows[a].id < rows[b].id; });
    for (size_t i : kept) {
        put(TImportedUser{rows[i].id, rows[i].name, rows[i].pwd});
        ++m_counts.Users;
    }
}

void TRowReader::Cates(const std::function<void(const TImportedCates &)> &put)
{
    Query q(*m_conn, selectAll("cates"));
    StoredTexts texts;
    qint64 n = 0;
    while (!m_more && q.step()) {
        step();
        ++n;
        const QString label = QStringLiteral("第 %1 份类别列表（编号 %2）").arg(n).arg(shown(q, 0));
        if (!validId(q, 0)) {
            bad(label + QStringLiteral("的编号无效"));
        } else if (!texts.ok(q, 1)) {
            bad(label + QStringLiteral("的用户名不是有效的存储文本（%1）").arg(shown(q, 1)));
        } else if (!texts.ok(q, 2) || !texts.ok(q, 3)) {
            bad(label + QStringLiteral("的类别不是有效的存储文本"));
        } else if (m_bad == 0) {
            put(TImportedCates{q.int64(0), q.text(1), q.text(2), q.text(3)});
            ++m_counts.CateLists;
        }
    }
}

void TRowReader::Records(const std::function<void(const TImportedRecord &)> &put, const char *order)
{
    QByteArray sql = selectAll("data");
    if (order)
        sql += QByteArray(" ") + order;
    Query q(*m_conn, sql);
    StoredTexts texts;
    qint64 n = 0;
    while (!m_more && q.step()) {
        step();
        ++n;
        auto label = [&] {
            return QStringLiteral("第 %1 条记录（编号 %2）").arg(n).arg(shown(q, 0));
        };
        if (!validId(q, 0)) {
            bad(label() + QStringLiteral("的编号无效"));
        } else if (!texts.ok(q, 1)) {
            bad(label() + QStringLiteral("的用户名不是有效的存储文本（%1）").arg(shown(q, 1)));
        } else if (!validDate(q, 2)) {
            bad(label() + QStringLiteral("的日期无效（%1）").arg(shown(q, 2)));
        } else if (!validType(q, 3)) {
            bad(label() + QStringLiteral("的类型无效（%1）").arg(shown(q, 3)));
        } else if (!texts.ok(q, 4)) {
            bad(label() + QStringLiteral("的类别不是有效的存储文本（%1）").arg(shown(q, 4)));
        } else if (!validAmount(q, 5)) {
            bad(label() + QStringLiteral("的金额无效（%1）").arg(shown(q, 5)));
        } else if (!isText(q, 6) || !THi::IsStoredText(q.text(6))) {
            bad(label() + QStringLiteral("的备注不是有效的存储文本（%1）").arg(shown(q, 6)));
        } else if (m_bad == 0) {
            put(TImportedRecord{q.int64(0), q.text(1), q.text(2), q.text(3), q.text(4), q.number(5),
                                q.text(6)});
            ++m_counts.Records;
        }
    }
}

void TRowReader::Rows(const TTableDef &t, const std::function<void(const TImportedRow &)> &put)
{
    if (!Schema::HasTable(m_version, t.Name))
        return; // an older file: the table starts empty
    Query q(*m_conn, selectAll(t.Name) + " order by \"id\"");
    StoredTexts texts;
    TImportedRow row(t.Columns.size());
    qint64 n = 0;
    while (!m_more && q.step()) {
        step();
        ++n;
        QString fault;
        for (size_t i = 0; i < t.Columns.size() && fault.isEmpty(); ++i) {
            const int col = int(i);
            TImportedValue &v = row[i];
            v = TImportedValue{};
            bool ok = false;
            switch (t.Columns[i].Kind) {
            case TColumnKind::Id:
                ok = validId(q, col);
                break;
            case TColumnKind::Ref:
                // 0 names no row (a deleted record's successor, say).
                ok = validId(q, col) || (q.type(col) == SQLITE_INTEGER && q.int64(col) == 0);
                break;
            case TColumnKind::Count:
            case TColumnKind::Timestamp:
                ok = q.type(col) == SQLITE_INTEGER && q.int64(col) >= 0 &&
                     q.int64(col) < TRowReader::IdLimit;
                break;
            case TColumnKind::Cents:
                // Sums of many lines may pass one record's bound.
                ok = q.type(col) == SQLITE_INTEGER && q.int64(col) > -TRowReader::IdLimit &&
                     q.int64(col) < TRowReader::IdLimit;
                break;
            case TColumnKind::Amount:
                ok = validAmount(q, col);
                break;
            case TColumnKind::Text:
                ok = texts.ok(q, col);
                break;
            case TColumnKind::Word:
                ok = validPassword(q, col);
                break;
            case TColumnKind::Date:
                ok = validDate(q, col);
                break;
            case TColumnKind::TypeWord:
                ok = validType(q, col);
                break;
            }
            if (!ok) {
                fault = QStringLiteral("表 %1 的第 %2 行（编号 %3）的 %4 无效（%5）")
                            .arg(QLatin1String(t.Name))
                            .arg(n)
                            .arg(shown(q, 0), QLatin1String(t.Columns[i].Name), shown(q, col));
            } else if (q.type(col) == SQLITE_TEXT) {
                v.Text = q.text(col);
                v.IsText = true;
            } else if (q.type(col) == SQLITE_FLOAT) {
                v.Real = q.number(col);
            } else {
                v.Int = q.int64(col);
                v.Real = double(v.Int);
            }
        }
        if (!fault.isEmpty())
            bad(fault);
        else if (m_bad == 0)
            put(row);
    }
}

qint64 TRowReader::Sequence(const char *table)
{
    // A file made without AUTOINCREMENT has no such table.
    {
        Query has(*m_conn, "select 1 from \"sqlite_master\" where \"name\"='sqlite_sequence'");
        if (!has.step())
            return 0;
    }
    Query q(*m_conn, QByteArray("select \"seq\" from \"sqlite_sequence\" where \"name\"='") +
                         table + "' order by \"seq\" desc limit 1");
    if (!q.step() || q.type(0) == SQLITE_NULL)
        return 0;
    if (q.type(0) != SQLITE_INTEGER || q.int64(0) < 0 || q.int64(0) >= IdLimit) {
        bad(QStringLiteral("表 %1 的自动编号无效（%2）").arg(QLatin1String(table), shown(q, 0)));
        return 0;
    }
    return q.int64(0);
}

void TRowReader::Finish() const
{
    if (m_bad == 0)
        return;
    QStringList first = m_lines.mid(0, ShownInText);
    if (m_bad > ShownInText)
        first.last() += QStringLiteral("……");
    QString details = m_lines.join(QLatin1Char('\n'));
    if (m_more)
        details += QStringLiteral("\n（后面没有再检查。）");
    const QString count =
        m_more ? QStringLiteral("至少 %1 处").arg(m_bad) : QStringLiteral(" %1 处").arg(m_bad);
    throw EDbError(QStringLiteral("“%1”里有%2无效的内容，没有导入，当前的数据没有改变。\n%3")
                       .arg(NativePath(m_file), count, first.join(QLatin1Char('\n'))),
                   details);
}
