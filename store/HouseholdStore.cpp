// TDbMan's household block: the per-account consent to be seen (table
// settings) and the household's figures for a period, written once for both
// engines.

#include "HouseholdStore.h"

#include "DbConn.h"
#include "Engine.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

QByteArray enc(const QString &text)
{
    return THi::Base64Encode(text).toLatin1();
}

bool sameBytes(const char *p, int n, const QByteArray &b)
{
    return n == b.size() && std::memcmp(p, b.constData(), size_t(n)) == 0;
}

bool shares(TConn &c, const QByteArray &encUser)
{
    Stmt q(c, "select \"value\" from \"settings\" where \"user\"=? and \"key\"=?");
    q.bind(1, encUser).bind(2, QByteArray(HouseholdShareKey()));
    return q.step() && q.bytes(0) == "1";
}

// The accounts that let the others see their records, by name, without user.
QStringList sharingAccounts(TConn &c, const QString &user)
{
    Stmt q(c, "select distinct u.\"name\" from \"users\" u join \"settings\" s on "
              "s.\"user\"=u.\"name\" where s.\"key\"=? and s.\"value\"='1'");
    q.bind(1, QByteArray(HouseholdShareKey()));
    QStringList names;
    while (q.step()) {
        const QString name = q.decoded(0);
        if (name != user)
            names << name;
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

void ForgetHouseholdShare(TConn &c, const QByteArray &encUser)
{
    Stmt del(c, "delete from \"settings\" where \"user\"=? and \"key\"=?");
    del.bind(1, encUser).bind(2, QByteArray(HouseholdShareKey()));
    del.step();
}

bool TDbMan::HouseholdShare(const QString &user)
{
    TConnRef c = Connect();
    return shares(c, enc(user));
}

bool TDbMan::SetHouseholdShare(const QString &user, const QString &password, bool share)
{
    RefuseWrite();
    // The login's own check, with the store closed while it runs (it is slow on purpose).
    if (!CheckLogin(user, password))
        return false;
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        ForgetHouseholdShare(c, encUser);
        if (!share)
            return; // off is the absence of the setting
        Stmt ins(c, "insert into \"settings\" (\"user\",\"key\",\"value\") values (?,?,'1')");
        ins.bind(1, encUser).bind(2, QByteArray(HouseholdShareKey()));
        ins.step();
    });
    return true;
}

THousehold TDbMan::Household(const QString &user, const QString &start, const QString &end)
{
    THousehold h;
    h.Start = start;
    h.End = end;
    TConnRef c = Connect();
    {
        // A server connection lost since the last operation is opened again
        // by a statement outside a transaction, not by the begin below.
        Stmt ping(c, "select 1");
        ping.step();
    }
    // One snapshot: who shares and what they recorded are read at one moment,
    // so an account that has just stopped sharing is not read after it did.
    TTransaction read(c, m_engine->IsServer() ? "begin isolation level repeatable read, read only"
                                              : "begin");
    QStringList names{user};
    names += sharingAccounts(c, user);

    const QByteArray rawOut = TypeExpense().toUtf8(), rawIn = TypeIncome().toUtf8();
    const int members = int(names.size());
    // (type, category) -> line; expense and income lines are ranked apart.
    QHash<QString, int> outIndex, inIndex;
    QList<THouseCateLine> outLines, inLines;

    h.Lists.resize(size_t(members));
    for (int m = 0; m < members; ++m) {
        THouseMember member;
        member.Name = names.at(m);
        member.Self = m == 0;
        TRecordList &recs = h.Lists[size_t(m)];
        // The browser's period query, so that each member's figures are the
        // ones that account's own browser shows.
        Stmt q(c,
               "select \"id\",\"date\",\"type\",\"cate\",\"amount\",\"notes\" from \"data\" "
               "where \"user\"=? and \"date\">=? and \"date\"<=? "
               "order by \"date\" asc,\"type\" asc,\"id\" asc",
               Stmt::Streamed);
        q.bind(1, enc(member.Name)).bind(2, start).bind(3, end);
        QByteArray lastDate;
        int dateIndex = -1;
        QHash<QByteArray, int> cateIndex;
        while (q.step()) {
            const char *dateP = q.data(1);
            const int dateN = q.size(1);
            if (dateIndex < 0 || !sameBytes(dateP, dateN, lastDate)) {
                lastDate = QByteArray(dateP, dateN);
                dateIndex = recs.AddDate(QString::fromLatin1(lastDate));
            }
            const char *typeP = q.data(2);
            const int typeN = q.size(2);
            const bool isOut = sameBytes(typeP, typeN, rawOut);
            const bool isIn = !isOut && sameBytes(typeP, typeN, rawIn);
            const QByteArray cateKey = QByteArray::fromRawData(q.data(3), q.size(3));
            auto ci = cateIndex.constFind(cateKey);
            if (ci == cateIndex.cend()) {
                const QByteArray stored(cateKey.constData(), cateKey.size()); // deep copy
                ci = cateIndex.insert(stored, recs.AddCate(THi::Base64DecodeBytes(stored)));
            }
            const int cate = ci.value();
            const qint64 cents = std::llround(q.number(4) * 100.0);
            TRecordList::TKind kind = isOut ? TRecordList::Expense : TRecordList::Income;
            if (isOut || isIn) {
                (isOut ? member.OutCents : member.InCents) += cents;
                auto &index = isOut ? outIndex : inIndex;
                auto &lines = isOut ? outLines : inLines;
                const QString &name = recs.CateName(cate);
                auto li = index.constFind(name);
                if (li == index.cend()) {
                    THouseCateLine line;
                    line.Type = isOut ? TypeExpense() : TypeIncome();
                    line.Name = name;
                    line.Cents.assign(size_t(members), 0);
                    li = index.insert(name, int(lines.size()));
                    lines.append(std::move(line));
                }
                THouseCateLine &line = lines[li.value()];
                line.Cents[size_t(m)] += cents;
                line.TotalCents += cents;
            } else {
                // The browser's list compares an odd type word trimmed, A-Z folded.
                const QString word = THi::LowerAscii(THi::Trim(QString::fromUtf8(typeP, typeN)));
                kind = word == TypeExpense()  ? TRecordList::Expense
                       : word == TypeIncome() ? TRecordList::Income
                                              : TRecordList::Other;
            }
            ++member.Count;
            recs.Append(q.int64(0), cents, dateIndex, cate, kind, q.data(5), q.size(5));
        }
        h.OutCents += member.OutCents;
        h.InCents += member.InCents;
        h.Members.append(member);
    }
    read.commit();

    // Largest household sum first; equal sums keep the order first met.
    const auto bySum = [](const THouseCateLine &a, const THouseCateLine &b) {
        return a.TotalCents > b.TotalCents;
    };
    std::stable_sort(outLines.begin(), outLines.end(), bySum);
    std::stable_sort(inLines.begin(), inLines.end(), bySum);
    const auto total = [&](const QString &type, const QString &name, qint64 cents, bool out) {
        THouseCateLine line;
        line.Kind = THouseCateLine::Total;
        line.Type = type;
        line.Name = name;
        for (const THouseMember &member : std::as_const(h.Members))
            line.Cents.push_back(out ? member.OutCents : member.InCents);
        line.TotalCents = cents;
        return line;
    };
    h.CateLines = outLines;
    h.CateLines.append(total(TypeExpense(), QStringLiteral("支出合计"), h.OutCents, true));
    h.CateLines += inLines;
    h.CateLines.append(total(TypeIncome(), QStringLiteral("收入合计"), h.InCents, false));

    // Each list is in date order already: merge them, a day's records member by member.
    std::vector<int> at(size_t(members), 0);
    for (;;) {
        int pick = -1;
        for (int m = 0; m < members; ++m) {
            const TRecordList &recs = h.Lists[size_t(m)];
            if (at[size_t(m)] >= recs.size())
                continue;
            if (pick < 0 || recs.Date(at[size_t(m)]) < h.Lists[size_t(pick)].Date(at[size_t(pick)]))
                pick = m;
        }
        if (pick < 0)
            break;
        h.AddToOrder(pick, at[size_t(pick)]++);
    }
    return h;
}

// ---------------------------------------------------------------------------
// Rows as the household window and its tests show them

QString THouseMember::Text(int col) const
{
    switch (col) {
    case MemberName:
        return Name;
    case MemberOut:
        return THi::FormatCents(OutCents);
    case MemberIn:
        return THi::FormatCents(InCents);
    case MemberBalance:
        return THi::FormatCents(Balance());
    case MemberCount:
        return QString::number(Count);
    default:
        return QString();
    }
}

QString THouseCateLine::Text(int col) const
{
    if (col == 0)
        return Type;
    if (col == 1)
        return Name;
    const int member = col - 2;
    if (member >= 0 && member < int(Cents.size()))
        return Kind == Total || Cents[size_t(member)] != 0 ? THi::FormatCents(Cents[size_t(member)])
                                                           : QString();
    if (member == int(Cents.size()))
        return THi::FormatCents(TotalCents);
    return QString();
}

QStringList THousehold::CateColumns() const
{
    QStringList names{QStringLiteral("类型"), QStringLiteral("项目")};
    for (const THouseMember &member : Members)
        names << member.Name;
    names << QStringLiteral("合计");
    return names;
}

QString THousehold::RecordText(int i, THouseRecCol col) const
{
    const TRef &ref = m_order[size_t(i)];
    const TRecordList &recs = Lists[size_t(ref.Member)];
    switch (col) {
    case HouseRecMember:
        return Members.at(ref.Member).Name;
    case HouseRecDate:
        return recs.Text(ref.Row, RecDate);
    case HouseRecCate:
        return recs.Text(ref.Row, RecCate);
    case HouseRecIn:
        return recs.Text(ref.Row, RecIn);
    case HouseRecOut:
        return recs.Text(ref.Row, RecOut);
    case HouseRecNotes:
        return recs.Text(ref.Row, RecNotes);
    case HouseRecCols:
        break;
    }
    return QString();
}

QStringList THousehold::RecordRow(int i) const
{
    QStringList row;
    for (int c = 0; c < HouseRecCols; ++c)
        row << RecordText(i, THouseRecCol(c));
    return row;
}

QStringList THousehold::RecordColumns()
{
    return {QStringLiteral("成员"), QStringLiteral("日期"), QStringLiteral("项目"),
            QStringLiteral("收入"), QStringLiteral("支出"), QStringLiteral("备注")};
}
