#pragma once

// What one search of the browser found: whose records, over which dates, and
// the period's totals and rows as the store gave them (amounts in cents).
// The browser keeps the last one and hands it on unchanged, shared and
// read-only, to its lists, the details window, the charts, the exports and
// printing; a delete or an edit makes a new one from a fresh query. Records
// are named by their ids, never by a list's row numbers, so a list may show
// the records sorted or filtered differently.

#include "DbClass.h"
#include "HiClass.h"

#include <QDate>
#include <QString>

#include <memory>

struct TSearchResult : TPeriod {
    QString User;
    QDate Start, End; // invalid before the first search
    // The filter box's text when this is a filtered view of a search (its
    // records those that match, its totals theirs); empty for a whole search.
    QString Filter;

    TSearchResult() = default;
    TSearchResult(QString user, QDate start, QDate end, TPeriod period)
        : TPeriod(std::move(period)), User(std::move(user)), Start(start), End(end)
    {
    }

    bool Filtered() const { return !Filter.isEmpty(); }
    qint64 BalanceCents() const { return InCents - OutCents; }
    // The ranking as printed and exported: incomes, then expenses.
    TRankRows CateRows() const { return InCateRows + OutCateRows; }
    // The ranking row of a type word and category, or null.
    const TRankRow *FindRank(const QString &type, const QString &cate) const
    {
        for (const TRankRow &row : type == TypeIncome() ? InCateRows : OutCateRows) {
            if (row.Cate == cate)
                return &row;
        }
        return nullptr;
    }
    // "user (yyyy-mm-dd 至 yyyy-mm-dd)", the exports' title.
    QString Title() const
    {
        return QStringLiteral("%1 (%2 至 %3)")
            .arg(User, THi::DateToYmd(Start), THi::DateToYmd(End));
    }
};

using TSearchResultPtr = std::shared_ptr<const TSearchResult>;
