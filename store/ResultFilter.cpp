#include "ResultFilter.h"

#include "DbClass.h"
#include "HiClass.h"

#include <algorithm>

namespace {

struct Group {
    int cate = 0;
    qint64 cents = 0, count = 0;
};

void rank(std::vector<Group> &groups, const QString &type, qint64 total, const TRecordList &recs,
          TRankRows &rows)
{
    std::stable_sort(groups.begin(), groups.end(),
                     [](const Group &a, const Group &b) { return a.cents > b.cents; });
    rows.reserve(qsizetype(groups.size()));
    for (const Group &g : groups)
        rows.append(TRankRow{type, recs.CateName(g.cate), g.count, g.cents, total});
}

} // namespace

TSearchResult RecountResult(const TSearchResult &from, const std::vector<int> &rows,
                            const QDate &start, const QDate &end, const QString &filter)
{
    TPeriod p;
    p.RecRows = from.RecRows.Select(rows);
    const TRecordList &recs = p.RecRows;

    std::vector<Group> outGroups, inGroups;
    std::vector<int> outGroupOf(size_t(recs.CateCount()), -1),
        inGroupOf(size_t(recs.CateCount()), -1);
    int lastDate = -1;
    QString month;
    qint64 dayIn = 0, dayOut = 0, monthIn = 0, monthOut = 0;
    QString day;
    for (int i = 0; i < recs.size(); ++i) {
        const TRecordList::TRecord &r = recs.at(i);
        if (r.Date != lastDate) {
            if (lastDate >= 0)
                p.DayRows.append(TSumRow{day, dayIn, dayOut});
            lastDate = r.Date;
            day = recs.Date(i);
            dayIn = dayOut = 0;
            const QString m = day.left(7);
            if (m != month) {
                if (!month.isEmpty())
                    p.MonthRows.append(TSumRow{month, monthIn, monthOut});
                month = m;
                monthIn = monthOut = 0;
            }
        }
        if (r.Kind == TRecordList::Other)
            continue;
        const bool out = r.Kind == TRecordList::Expense;
        auto &groups = out ? outGroups : inGroups;
        int &g = (out ? outGroupOf : inGroupOf)[size_t(r.Cate)];
        if (g < 0) {
            g = int(groups.size());
            groups.push_back(Group{r.Cate, 0, 0});
        }
        groups[size_t(g)].cents += r.Cents;
        ++groups[size_t(g)].count;
        (out ? p.OutCents : p.InCents) += r.Cents;
        (out ? dayOut : dayIn) += r.Cents;
        (out ? monthOut : monthIn) += r.Cents;
    }
    if (lastDate >= 0) {
        p.DayRows.append(TSumRow{day, dayIn, dayOut});
        p.MonthRows.append(TSumRow{month, monthIn, monthOut});
    }
    rank(outGroups, TypeExpense(), p.OutCents, recs, p.OutCateRows);
    rank(inGroups, TypeIncome(), p.InCents, recs, p.InCateRows);

    TSearchResult result(from.User, start, end, std::move(p));
    result.Filter = filter;
    return result;
}

TResultFilter::TResultFilter(TSearchResultPtr full) : m_full(std::move(full)) {}

void TResultFilter::Fold()
{
    const TRecordList &recs = m_full->RecRows;
    m_notes.clear();
    m_notes.reserve(recs.size(), recs.size() * 8);
    for (int i = 0; i < recs.size(); ++i)
        m_notes.appendStored(recs.StoredNotes(i));
    m_cates.clear();
    for (int c = 0; c < recs.CateCount(); ++c)
        m_cates.append(recs.CateName(c));
    m_folded = true;
}

std::vector<int> TResultFilter::Match(const TRecordFilter &filter)
{
    const TRecordList &recs = m_full->RecRows;
    std::vector<int> rows;
    if (filter.isEmpty()) {
        rows.resize(size_t(recs.size()));
        for (int i = 0; i < recs.size(); ++i)
            rows[size_t(i)] = i;
        return rows;
    }
    if (!m_folded)
        Fold();
    std::vector<quint32> cateTerms(size_t(m_cates.size()));
    for (int c = 0; c < m_cates.size(); ++c)
        cateTerms[size_t(c)] = filter.termsInFolded(m_cates.at(c));
    for (int i = 0; i < recs.size(); ++i) {
        const TRecordList::TRecord &r = recs.at(i);
        if (filter.matchFolded(m_notes.at(i), cateTerms[size_t(r.Cate)], r.Cents))
            rows.push_back(i);
    }
    return rows;
}

TSearchResultPtr TResultFilter::Apply(const TRecordFilter &filter, const QString &typed)
{
    if (filter.isEmpty())
        return m_full;
    return std::make_shared<const TSearchResult>(
        RecountResult(*m_full, Match(filter), m_full->Start, m_full->End, typed));
}

TSearchAllResult SearchAllYears(TDbMan &db, const QString &user, const TRecordFilter &filter,
                                const QString &typed)
{
    const TDbMan::TDateBounds bounds = db.RecordDates(user);
    if (bounds.First.isEmpty())
        return {};
    const QDate first = THi::YmdToDate(bounds.First), last = THi::YmdToDate(bounds.Last);
    TResultFilter all(std::make_shared<const TSearchResult>(
        user, first, last, db.QueryPeriod(user, bounds.First, bounds.Last)));
    const std::vector<int> hits = all.Match(filter);
    if (hits.empty())
        return {};
    const TRecordList &recs = all.Full()->RecRows;
    // Records come by date: the hits' dates are one stretch of the list.
    const QString &firstDay = recs.Date(hits.front());
    const QString &lastDay = recs.Date(hits.back());
    int lo = hits.front(), hi = hits.back();
    while (lo > 0 && recs.Date(lo - 1) == firstDay)
        --lo;
    while (hi + 1 < recs.size() && recs.Date(hi + 1) == lastDay)
        ++hi;
    std::vector<int> span(size_t(hi - lo + 1));
    for (int i = lo; i <= hi; ++i)
        span[size_t(i - lo)] = i;
    const QDate start = THi::YmdToDate(firstDay), end = THi::YmdToDate(lastDay);
    TSearchAllResult found;
    found.Full = std::make_shared<const TSearchResult>(
        RecountResult(*all.Full(), span, start, end, QString()));
    found.Filtered = filter.isEmpty() ? found.Full
                                      : std::make_shared<const TSearchResult>(
                                            RecountResult(*all.Full(), hits, start, end, typed));
    return found;
}
