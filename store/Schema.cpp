#include "Schema.h"

#include <algorithm>

namespace Schema {

namespace {

// Texts compare and sort by their bytes on the server too (COLLATE "C"), so
// both stores give the same rows in the same order.
const char *const PgText = "text COLLATE \"C\"";
const char *const PgId = "bigint";

std::vector<TStep> &steps()
{
    // The program's own steps; version 2 will be the first.
    static std::vector<TStep> list;
    return list;
}

std::vector<TStep> &testSteps()
{
    static std::vector<TStep> list;
    return list;
}

std::vector<const TStep *> allSteps()
{
    std::vector<const TStep *> all;
    for (const TStep &s : steps())
        all.push_back(&s);
    for (const TStep &s : testSteps())
        all.push_back(&s);
    return all;
}

} // namespace

const std::vector<TTableDef> &Tables()
{
    static const std::vector<TTableDef> tables = {
        {"users", {{"id", "INTEGER", PgId}, {"name", "TEXT", PgText}, {"pwd", "TEXT", PgText}}},
        {"cates",
         {{"id", "INTEGER", PgId},
          {"user", "TEXT", PgText},
          {"out", "TEXT", PgText},
          {"in", "TEXT", PgText}}},
        {"data",
         {{"id", "INTEGER", PgId},
          {"user", "TEXT", PgText},
          {"date", "TEXT", PgText},
          {"type", "TEXT", PgText},
          {"cate", "TEXT", PgText},
          {"amount", "REAL", "double precision"},
          {"notes", "TEXT", PgText}}},
    };
    return tables;
}

const TTableDef &Table(const char *name)
{
    for (const TTableDef &t : Tables()) {
        if (qstrcmp(t.Name, name) == 0)
            return t;
    }
    throw EDbError(QStringLiteral("程序内部错误：没有“%1”这张表。").arg(QLatin1String(name)));
}

const TTableDef *FindTable(const QString &name)
{
    for (const TTableDef &t : Tables()) {
        if (name == QLatin1String(t.Name))
            return &t;
    }
    return nullptr;
}

QStringList TableNames(int version)
{
    QStringList names = {QStringLiteral("users"), QStringLiteral("cates"), QStringLiteral("data")};
    const std::vector<const TStep *> all = allSteps();
    for (int v = 2; v <= version && size_t(v - 2) < all.size(); ++v) {
        const TStep &step = *all[size_t(v - 2)];
        names += step.Adds;
        for (const QString &gone : step.Drops)
            names.removeAll(gone);
    }
    names.sort();
    return names;
}

QByteArray ColumnList(const TTableDef &t)
{
    QByteArray out;
    for (const TColumnDef &col : t.Columns) {
        if (!out.isEmpty())
            out += ',';
        out += '"';
        out += col.Name;
        out += '"';
    }
    return out;
}

bool IsOurColumn(const TTableDef &t, const QString &column)
{
    const QString name = THi::LowerAscii(column);
    return std::any_of(t.Columns.begin(), t.Columns.end(),
                       [&](const TColumnDef &col) { return name == QLatin1String(col.Name); });
}

const std::vector<const char *> &PeriodIndexColumns()
{
    static const std::vector<const char *> cols = {"user", "date",   "type", "id",
                                                   "cate", "amount", "notes"};
    return cols;
}

int CurrentVersion()
{
    return 1 + int(steps().size() + testSteps().size());
}

QString ProgramVersion()
{
    return QStringLiteral(TALLIMO_PROGRAM_VERSION);
}

QString TooNewText(const QString &shownName, int version)
{
    return QStringLiteral("这个账本由更新版本的 Tallimo 建立（“%1”是第 %2 版的账本，"
                          "这个 Tallimo 只认识到第 %3 版）。为了不损坏其中的数据，"
                          "Tallimo 没有打开它，也没有改动它。\n请升级 Tallimo。")
        .arg(shownName)
        .arg(version)
        .arg(CurrentVersion());
}

void Upgrade(TConn &c, bool pg, const std::function<int()> &read,
             const std::function<void(int)> &stamp, bool perStep)
{
    const int from = read();
    if (from > CurrentVersion())
        throw EDbTooNew(TooNewText(c.shownName(), from));
    const std::vector<const TStep *> all = allSteps();
    for (int version = from + 1; version <= CurrentVersion(); ++version) {
        const TStep &step = *all[size_t(version - 2)];
        auto run = [&] {
            // Another copy may have taken this step while we waited for its lock.
            if (read() >= version)
                return;
            step.Run(c, pg);
            stamp(version);
        };
        if (perStep)
            WriteTransaction(c, run);
        else
            run();
    }
}

void AppendStepForTest(TStep step)
{
    testSteps().push_back(std::move(step));
}

void ClearTestSteps()
{
    testSteps().clear();
}

} // namespace Schema
