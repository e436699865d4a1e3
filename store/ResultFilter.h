#pragma once

// The filter box's view of a search result: the records that match, with
// the day and month rows, the totals and the rankings counted again from
// them, so the lists, the details, the charts, the exports and printing read
// one result whether filtered or not. The full result is never changed; the
// browser keeps it to go back to when the box is cleared.

#include "RecordFilter.h"
#include "SearchResult.h"

#include <QDate>

#include <vector>

// The result made of the records at rows (ascending positions in from's
// record list): day and month rows, totals and rankings counted from them in
// cents the way QueryPeriod counts a period (a ranking's equal sums keep the
// order of first appearance, shares are of the filtered type total). start
// and end are the dates it covers; filter is the text it was filtered by.
TSearchResult RecountResult(const TSearchResult &from, const std::vector<int> &rows,
                            const QDate &start, const QDate &end, const QString &filter);

class TDbMan;

// 搜索全部: every record of user that filter matches. Full is the whole
// search over the dates from the first hit to the last (what the browser
// goes back to when the box is cleared), Filtered its filtered view; both
// null when nothing matches (or user has no record). One read of every
// record of user (the store's bounds, then one period query), then the
// filter in memory: the stored notes cannot be matched by SQL as they are.
struct TSearchAllResult {
    TSearchResultPtr Full, Filtered;
};
TSearchAllResult SearchAllYears(TDbMan &db, const QString &user, const TRecordFilter &filter,
                                const QString &typed);

// Matches filter after filter against one result, as the person types: the
// notes are decoded and folded once, at the first match, and each category's
// terms are found once per filter, so a keystroke costs one pass over views
// into one buffer.
class TResultFilter {
public:
    explicit TResultFilter(TSearchResultPtr full);

    const TSearchResultPtr &Full() const { return m_full; }
    // The positions in Full()'s record list of the records filter matches.
    std::vector<int> Match(const TRecordFilter &filter);
    // The filtered result, or Full() itself when filter is empty (typed is
    // what the box shows, kept in the result's Filter).
    TSearchResultPtr Apply(const TRecordFilter &filter, const QString &typed);

private:
    void Fold();

    TSearchResultPtr m_full;
    TFoldedTexts m_notes, m_cates;
    bool m_folded = false;
};
