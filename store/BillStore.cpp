// TDbMan's bill block: what the imports of the payment apps' bills remember
// (tables bill_batches, bill_lines, bill_rules, bill_classes, bill_mappings,
// schema version 2), written once for both engines.

#include "BillStore.h"

#include "DbClass.h"
#include "DbConn.h"
#include "Engine.h"

#include <QDateTime>
#include <QHash>
#include <QSet>

#include <cmath>

namespace {

QByteArray enc(const QString &text)
{
    return THi::Base64Encode(text).toLatin1();
}

QByteArray typeWord(BillType type)
{
    return BillReader::TypeWord(type).toUtf8();
}

BillType billType(const QString &word)
{
    return word == TypeIncome() ? BillType::Income : BillType::Expense;
}

// A bill line's record as it was imported differs from the record now.
const char *const EditedSql =
    "(d.\"date\" <> l.\"date\" or d.\"type\" <> l.\"type\" or d.\"cate\" <> l.\"cate\" or "
    "d.\"notes\" <> l.\"notes\" or round(d.\"amount\" * 100) <> l.\"cents\")";

void readCateLists(TConn &c, const QByteArray &encUser, QString &out, QString &in)
{
    Stmt q(c, "select \"out\",\"in\" from \"cates\" where \"user\"=? order by \"id\" limit 1");
    q.bind(1, encUser);
    if (q.step()) {
        out = q.decoded(0);
        in = q.decoded(1);
    }
}

// The categories not yet in a pick list go on top of it, in the order first
// used (as TDbMan::MergeCate adds one); false when all were there.
bool mergeInto(QString &list, const QStringList &used)
{
    QStringList items = THi::SplitLines(list);
    QSet<QString> have;
    for (const QString &item : std::as_const(items))
        have.insert(THi::LowerAscii(THi::Trim(item)));
    QStringList added;
    for (const QString &cate : used) {
        const QString key = THi::LowerAscii(THi::Trim(cate));
        if (key.isEmpty() || have.contains(key))
            continue;
        have.insert(key);
        added << cate;
    }
    if (added.isEmpty())
        return false;
    list = THi::Trim(THi::JoinLines(added + items));
    return true;
}

TImportedKeys importedKeys(TConn &c, const QString &source)
{
    TImportedKeys keys;
    Stmt q(c, "select \"ext\",\"date\",\"cents\",\"type\",\"notes\" from \"bill_lines\" "
              "where \"source\"=?");
    q.bind(1, enc(source));
    while (q.step()) {
        if (q.size(0) > 0) {
            keys.externalIds.insert(BillRules::ExternalKey(source, q.decoded(0)));
        } else {
            keys.contents.insert(BillRules::ContentKey(QDate::fromString(q.latin1(1), Qt::ISODate),
                                                       q.int64(2), billType(q.text(3)),
                                                       q.decoded(4)));
        }
    }
    return keys;
}

// The compact form of a column mapping: "h0 d1 a2 i-1 e-1 t-1 c-1 x-1 n3,4".
QByteArray mappingText(const TColumnMapping &m)
{
    QByteArray notes;
    for (int col : m.notes)
        notes += (notes.isEmpty() ? "" : ",") + QByteArray::number(col);
    return "h" + QByteArray::number(m.headerRow) + " d" + QByteArray::number(m.date) + " a" +
           QByteArray::number(m.amount) + " i" + QByteArray::number(m.income) + " e" +
           QByteArray::number(m.expense) + " t" + QByteArray::number(m.type) + " c" +
           QByteArray::number(m.category) + " x" + QByteArray::number(m.externalId) + " n" + notes;
}

std::optional<TColumnMapping> parseMapping(const QByteArray &text)
{
    TColumnMapping m;
    for (const QByteArray &part : text.split(' ')) {
        if (part.isEmpty())
            return std::nullopt;
        const QByteArray value = part.mid(1);
        if (part[0] == 'n') {
            if (value.isEmpty())
                continue;
            for (const QByteArray &col : value.split(',')) {
                bool ok = false;
                const int v = col.toInt(&ok);
                if (!ok || v < 0)
                    return std::nullopt;
                m.notes << v;
            }
            continue;
        }
        bool ok = false;
        const int v = value.toInt(&ok);
        if (!ok || v < -1)
            return std::nullopt;
        switch (part[0]) {
        case 'h':
            m.headerRow = std::max(v, 0);
            break;
        case 'd':
            m.date = v;
            break;
        case 'a':
            m.amount = v;
            break;
        case 'i':
            m.income = v;
            break;
        case 'e':
            m.expense = v;
            break;
        case 't':
            m.type = v;
            break;
        case 'c':
            m.category = v;
            break;
        case 'x':
            m.externalId = v;
            break;
        default:
            return std::nullopt;
        }
    }
    if (!m.isValid())
        return std::nullopt;
    return m;
}

QByteArray closed(const QByteArray &array)
{
    return array.isEmpty() ? QByteArray("{}") : array + '}';
}

} // namespace

void BillLineFollowsRecord(TConn &c, qint64 from, qint64 to)
{
    Stmt upd(c, "update \"bill_lines\" set \"record\"=? where \"record\"=?");
    upd.bind(1, to).bind(2, from);
    upd.step();
}

TImportedKeys TDbMan::ImportedKeys(const QString &source)
{
    TConnRef c = Connect();
    return importedKeys(c, source);
}

TCategoryContext TDbMan::CategoryContext(const QString &user, const QString &source)
{
    TCategoryContext context;
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    {
        Stmt q(c, "select \"word\",\"cate\" from \"bill_rules\" where \"user\"=? order by \"id\"");
        q.bind(1, encUser);
        while (q.step())
            context.rules << TCategoryRule{q.decoded(0), q.decoded(1)};
    }
    {
        // The records' categories now, so an edit since the import counts.
        Stmt q(c,
               "select l.\"party\",d.\"cate\" from \"bill_lines\" l join \"data\" d on "
               "d.\"id\"=l.\"record\" where d.\"user\"=? and l.\"party\"<>'' order by l.\"id\"",
               Stmt::Streamed);
        q.bind(1, encUser);
        QHash<QByteArray, QString> byParty;
        while (q.step())
            byParty.insert(q.bytes(0), q.decoded(1));
        for (auto it = byParty.cbegin(); it != byParty.cend(); ++it)
            context.lastByCounterparty.insert(THi::Base64DecodeBytes(it.key()), it.value());
    }
    context.appClasses = BillRules::DefaultAppClasses();
    {
        Stmt q(c, "select \"class\",\"cate\" from \"bill_classes\" where \"user\"=? and "
                  "\"source\"=? order by \"id\"");
        q.bind(1, encUser).bind(2, enc(source));
        while (q.step())
            context.appClasses.insert(q.decoded(0), q.decoded(1));
    }
    QString out, in;
    readCateLists(c, encUser, out, in);
    context.expenseCategories = THi::SplitLines(out);
    context.incomeCategories = THi::SplitLines(in);
    for (QStringList *list : {&context.expenseCategories, &context.incomeCategories}) {
        for (QString &item : *list)
            item = THi::Trim(item);
        list->removeAll(QString());
    }
    return context;
}

void TDbMan::SetCategoryRule(const QString &user, const QString &word, const QString &cate)
{
    RefuseWrite();
    const QString key = THi::Trim(word);
    if (key.isEmpty())
        throw EDbError(QStringLiteral("规则的关键词是空的，没有保存。"));
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        Stmt del(c, "delete from \"bill_rules\" where \"user\"=? and \"word\"=?");
        del.bind(1, encUser).bind(2, enc(key));
        del.step();
        if (THi::Trim(cate).isEmpty())
            return; // no category: the rule is gone
        Stmt ins(c, "insert into \"bill_rules\" (\"user\",\"word\",\"cate\") values (?,?,?)");
        ins.bind(1, encUser).bind(2, enc(key)).bind(3, enc(THi::Trim(cate)));
        ins.step();
    });
}

void TDbMan::SetAppClass(const QString &user, const QString &source, const QString &appClass,
                         const QString &cate)
{
    RefuseWrite();
    const QString key = THi::Trim(appClass);
    if (key.isEmpty())
        throw EDbError(QStringLiteral("应用的分类是空的，没有保存。"));
    const QByteArray encUser = enc(user), encSource = enc(source);
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        Stmt del(c, "delete from \"bill_classes\" where \"user\"=? and \"source\"=? and "
                    "\"class\"=?");
        del.bind(1, encUser).bind(2, encSource).bind(3, enc(key));
        del.step();
        if (THi::Trim(cate).isEmpty())
            return; // back to the built-in table
        Stmt ins(c, "insert into \"bill_classes\" (\"user\",\"source\",\"class\",\"cate\") "
                    "values (?,?,?,?)");
        ins.bind(1, encUser).bind(2, encSource).bind(3, enc(key)).bind(4, enc(THi::Trim(cate)));
        ins.step();
    });
}

std::optional<TColumnMapping> TDbMan::ColumnMapping(const QString &headerKey)
{
    TConnRef c = Connect();
    Stmt q(c, "select \"mapping\" from \"bill_mappings\" where \"header\"=?");
    q.bind(1, headerKey.toLatin1());
    if (!q.step())
        return std::nullopt;
    return parseMapping(q.bytes(0));
}

void TDbMan::SetColumnMapping(const QString &headerKey, const TColumnMapping &mapping)
{
    RefuseWrite();
    if (headerKey.isEmpty() || !mapping.isValid())
        throw EDbError(QStringLiteral("列的对应关系不完整（至少要有日期和金额），没有保存。"));
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        Stmt del(c, "delete from \"bill_mappings\" where \"header\"=?");
        del.bind(1, headerKey.toLatin1());
        del.step();
        Stmt ins(c, "insert into \"bill_mappings\" (\"header\",\"mapping\") values (?,?)");
        ins.bind(1, headerKey.toLatin1()).bind(2, mappingText(mapping));
        ins.step();
    });
}

TBillImportResult TDbMan::ImportBill(const QString &user, const QString &source,
                                     const QString &fileName, const QList<TBillLine> &lines)
{
    RefuseWrite();
    // Every line is checked before anything is written.
    for (const TBillLine &line : lines) {
        if (!line.date.isValid() || line.date.year() < 1 || line.date.year() > 9999) {
            throw EDbError(QStringLiteral("第 %1 行的日期无效，没有导入。").arg(line.lineNumber));
        }
        if (line.cents <= 0 || double(line.cents) >= THi::MaxAmount * 100.0) {
            throw EDbError(QStringLiteral("第 %1 行的金额“%2”无效，没有导入。")
                               .arg(line.lineNumber)
                               .arg(THi::FormatCents(line.cents)));
        }
    }
    const QByteArray encUser = enc(user), encSource = enc(source);
    const bool server = m_engine->IsServer();
    TConnRef c = Connect();
    TBillImportResult result;
    WriteTransaction(c, [&] {
        result = TBillImportResult{};
        if (server) {
            // Two computers importing at once take turns, so the second sees
            // the first's order numbers.
            Stmt lock(c, "select pg_advisory_xact_lock(7340513)");
            lock.step();
        }
        // Another computer or account may have imported some lines since the
        // preview. An order number is taken once per ledger; a line without
        // one that the preview found new is skipped when it matches now (one
        // the person ticked in as a duplicate stays ticked in).
        const TImportedKeys before = importedKeys(c, source);
        QSet<QString> seen;
        QList<const TBillLine *> chosen;
        for (const TBillLine &line : lines) {
            bool duplicate;
            if (!line.externalId.isEmpty()) {
                const QString key = BillRules::ExternalKey(source, line.externalId);
                duplicate = before.externalIds.contains(key) || seen.contains(key);
                seen.insert(key);
            } else {
                duplicate = line.skip != SkipReason::Duplicate &&
                            before.contents.contains(BillRules::ContentKey(line));
            }
            if (duplicate) {
                ++result.Duplicates;
                continue;
            }
            chosen << &line;
            const int t = int(line.type);
            ++result.Count[size_t(t)];
            result.Cents[size_t(t)] += line.cents;
            const QString day = line.date.toString(Qt::ISODate);
            if (result.FirstDate.isEmpty() || day < result.FirstDate)
                result.FirstDate = day;
            if (day > result.LastDate)
                result.LastDate = day;
        }
        result.Imported = int(chosen.size());
        if (chosen.isEmpty())
            return;

        auto cateOf = [](const TBillLine &line) {
            const QString cate = THi::Trim(line.category);
            return cate.isEmpty() ? BillRules::OtherCategory() : cate;
        };
        {
            Stmt ins(c, "insert into \"bill_batches\" (\"user\",\"source\",\"file\",\"time\","
                        "\"count\",\"out_cents\",\"in_cents\",\"undone\") values "
                        "(?,?,?,?,?,?,?,0) returning \"id\"");
            ins.bind(1, encUser).bind(2, encSource).bind(3, enc(fileName));
            ins.bind(4, QDateTime::currentSecsSinceEpoch()).bind(5, qint64(chosen.size()));
            ins.bind(6, result.Cents[0]).bind(7, result.Cents[1]);
            ins.step();
            result.BatchId = ins.int64(0);
        }
        if (server) {
            // Two statements for any number of lines: the ids first, then
            // the records and their bill lines as arrays.
            QList<qint64> ids;
            {
                Stmt q(c, "select nextval(pg_get_serial_sequence('data', 'id')) from "
                          "generate_series(1, ?::bigint)");
                q.bind(1, qint64(chosen.size()));
                while (q.step())
                    ids << q.int64(0);
            }
            QByteArray aId, aDate, aType, aCate, aAmount, aNotes, aCents, aExt, aParty;
            for (qsizetype i = 0; i < chosen.size(); ++i) {
                const TBillLine &line = *chosen[i];
                AppendArrayItem(aId, QByteArray::number(ids[i]));
                AppendArrayItem(aDate, line.date.toString(Qt::ISODate).toLatin1());
                AppendArrayItem(aType, typeWord(line.type));
                AppendArrayItem(aCate, enc(cateOf(line)));
                AppendArrayItem(aAmount, QByteArray::number(double(line.cents) / 100.0, 'g', 17));
                AppendArrayItem(aNotes, enc(line.notes));
                AppendArrayItem(aCents, QByteArray::number(line.cents));
                AppendArrayItem(aExt, enc(line.externalId));
                AppendArrayItem(aParty, enc(line.counterparty));
            }
            Stmt data(c,
                      "insert into \"data\" (\"id\",\"user\",\"date\",\"type\",\"cate\","
                      "\"amount\",\"notes\") select i, ?, d, t, c, a, n from unnest(?::bigint[], "
                      "?::text[], ?::text[], ?::text[], ?::float8[], ?::text[]) as "
                      "u(i, d, t, c, a, n)");
            data.bind(1, encUser).bind(2, closed(aId)).bind(3, closed(aDate));
            data.bind(4, closed(aType)).bind(5, closed(aCate)).bind(6, closed(aAmount));
            data.bind(7, closed(aNotes));
            data.step();
            Stmt bl(c, "insert into \"bill_lines\" (\"batch\",\"record\",\"source\",\"ext\","
                       "\"party\",\"date\",\"type\",\"cate\",\"cents\",\"notes\") select ?, i, ?, "
                       "x, p, d, t, c, k, n from unnest(?::bigint[], ?::text[], ?::text[], "
                       "?::text[], ?::text[], ?::text[], ?::bigint[], ?::text[]) as "
                       "u(i, x, p, d, t, c, k, n)");
            bl.bind(1, result.BatchId).bind(2, encSource).bind(3, closed(aId));
            bl.bind(4, closed(aExt)).bind(5, closed(aParty)).bind(6, closed(aDate));
            bl.bind(7, closed(aType)).bind(8, closed(aCate)).bind(9, closed(aCents));
            bl.bind(10, closed(aNotes));
            bl.step();
        } else {
            Stmt data(c, "insert into \"data\" (\"user\",\"date\",\"type\",\"cate\",\"amount\","
                         "\"notes\") values (?,?,?,?,?,?) returning \"id\"");
            Stmt bl(c, "insert into \"bill_lines\" (\"batch\",\"record\",\"source\",\"ext\","
                       "\"party\",\"date\",\"type\",\"cate\",\"cents\",\"notes\") values "
                       "(?,?,?,?,?,?,?,?,?,?)");
            for (const TBillLine *line : std::as_const(chosen)) {
                const QByteArray day = line->date.toString(Qt::ISODate).toLatin1();
                const QByteArray word = typeWord(line->type);
                const QByteArray cate = enc(cateOf(*line)), notes = enc(line->notes);
                data.bind(1, encUser).bind(2, day).bind(3, word).bind(4, cate);
                data.bind(5, double(line->cents) / 100.0).bind(6, notes);
                data.step();
                const qint64 id = data.int64(0);
                data.reset();
                bl.bind(1, result.BatchId).bind(2, id).bind(3, encSource);
                bl.bind(4, enc(line->externalId)).bind(5, enc(line->counterparty));
                bl.bind(6, day).bind(7, word).bind(8, cate).bind(9, line->cents).bind(10, notes);
                bl.step();
                bl.reset();
            }
        }
        // The categories used join the account's pick lists.
        QStringList usedOut, usedIn;
        for (const TBillLine *line : std::as_const(chosen))
            (line->type == BillType::Income ? usedIn : usedOut) << cateOf(*line);
        QString out, in;
        readCateLists(c, encUser, out, in);
        const bool a = mergeInto(out, usedOut);
        const bool b = mergeInto(in, usedIn);
        if (a || b) {
            Stmt del(c, "delete from \"cates\" where \"user\"=?");
            del.bind(1, encUser);
            del.step();
            Stmt ins(c, "insert into \"cates\" (\"user\",\"out\",\"in\") values (?,?,?)");
            ins.bind(1, encUser).bind(2, enc(out)).bind(3, enc(in));
            ins.step();
        }
    });
    if (m_changeHook && result.BatchId != 0) {
        TStoreChange change;
        change.Kind = TStoreChange::BillImport;
        change.User = user;
        change.Batch = result.BatchId;
        change.Source = source;
        change.FileName = fileName;
        change.Lines = lines;
        m_changeHook(change);
    }
    return result;
}

QList<TBillBatch> TDbMan::BillBatches(const QString &user)
{
    QList<TBillBatch> batches;
    TConnRef c = Connect();
    const QByteArray sql =
        QByteArray("select b.\"id\",b.\"source\",b.\"file\",b.\"time\",b.\"count\",b.\"out_cents\","
                   "b.\"in_cents\",b.\"undone\",(select count(*) from \"bill_lines\" l join "
                   "\"data\" d on d.\"id\"=l.\"record\" where l.\"batch\"=b.\"id\"),(select "
                   "count(*) from \"bill_lines\" l join \"data\" d on d.\"id\"=l.\"record\" where "
                   "l.\"batch\"=b.\"id\" and ") +
        EditedSql + ") from \"bill_batches\" b where b.\"user\"=? order by b.\"id\" desc";
    Stmt q(c, sql.constData());
    q.bind(1, enc(user));
    while (q.step()) {
        TBillBatch b;
        b.Id = q.int64(0);
        b.User = user;
        b.Source = q.decoded(1);
        b.FileName = q.decoded(2);
        b.Time = q.int64(3);
        b.Count = q.int64(4);
        b.Cents = {q.int64(5), q.int64(6)};
        b.Undone = q.int64(7);
        b.Remaining = q.int64(8);
        b.Edited = q.int64(9);
        batches << b;
    }
    return batches;
}

TBillUndo TDbMan::UndoBillBatch(const QString &user, qint64 batchId, bool alsoEdited)
{
    RefuseWrite();
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    TBillUndo undo;
    WriteTransaction(c, [&] {
        undo = TBillUndo{};
        {
            Stmt q(c, "select 1 from \"bill_batches\" where \"id\"=? and \"user\"=?");
            q.bind(1, batchId).bind(2, encUser);
            if (!q.step()) {
                throw EDbError(QStringLiteral("这次导入的记录已经不在了（可能已在另一个窗口中"
                                              "撤销），没有改动任何数据。"));
            }
        }
        {
            // Records deleted by hand since: their lines go.
            Stmt gone(c, "delete from \"bill_lines\" where \"batch\"=? and not exists (select 1 "
                         "from \"data\" d where d.\"id\"=\"bill_lines\".\"record\")");
            gone.bind(1, batchId);
            gone.step();
            undo.Gone = int(c->changes());
        }
        if (!alsoEdited) {
            const QByteArray sql =
                QByteArray("select count(*) from \"bill_lines\" l join \"data\" "
                           "d on d.\"id\"=l.\"record\" where l.\"batch\"=? and ") +
                EditedSql;
            Stmt q(c, sql.constData());
            q.bind(1, batchId);
            if (q.step())
                undo.EditedKept = int(q.int64(0));
        }
        {
            QByteArray sql = "delete from \"data\" where \"user\"=? and \"id\" in (select "
                             "l.\"record\" from \"bill_lines\" l";
            if (!alsoEdited)
                sql += QByteArray(" join \"data\" d on d.\"id\"=l.\"record\" where "
                                  "l.\"batch\"=? and not ") +
                       EditedSql + ')';
            else
                sql += " where l.\"batch\"=?)";
            Stmt del(c, sql.constData());
            del.bind(1, encUser).bind(2, batchId);
            del.step();
            undo.Removed = int(c->changes());
        }
        {
            // So that the same bill can be imported again.
            Stmt lines(c, "delete from \"bill_lines\" where \"batch\"=? and not exists (select 1 "
                          "from \"data\" d where d.\"id\"=\"bill_lines\".\"record\")");
            lines.bind(1, batchId);
            lines.step();
        }
        Stmt mark(c, "update \"bill_batches\" set \"undone\"=? where \"id\"=?");
        mark.bind(1, std::max<qint64>(1, QDateTime::currentSecsSinceEpoch())).bind(2, batchId);
        mark.step();
    });
    return undo;
}
