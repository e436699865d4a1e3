#pragma once

// The store's typed rows as the tests compare them: as text, column by
// column, as the lists, exports and reports show them; and amounts typed
// in a test turned into cents as the forms turn them.

#include "DbClass.h"
#include "HiClass.h"

#include <QList>
#include <QStringList>
#include <QtGlobal>

// Rows as text, as the lists, exports and reports show them: what the tests compare.
using TRow = QStringList;
using TRowList = QList<TRow>;

template <class TRowT> TRowList RowTexts(const QList<TRowT> &rows, int columns)
{
    TRowList texts;
    for (const TRowT &row : rows) {
        TRow t;
        for (int c = 0; c < columns; ++c)
            t << row.Text(c);
        texts << t;
    }
    return texts;
}
inline TRowList Texts(const TSumRows &rows)
{
    return RowTexts(rows, DayCols);
}
inline TRowList Texts(const TRankRows &rows)
{
    return RowTexts(rows, RankCols);
}
inline TRowList Texts(const TDetailRows &rows)
{
    return RowTexts(rows, DetailCols);
}
// Pending lines as date, type word, category, "%0.2f" amount, notes.
inline TRowList Texts(const TBatchRows &rows)
{
    TRowList texts;
    for (const TBatchRow &r : rows)
        texts << TRow{r.Date, r.Type, r.Cate, THi::FormatCents(r.Cents), r.Notes};
    return texts;
}

// A typed amount in cents, as the forms keep it.
inline qint64 Cents(const QString &typed)
{
    double v = 0;
    if (!THi::IsNumber(THi::Trim(typed), &v))
        qFatal("not an amount: %s", qPrintable(typed));
    return THi::AmountCents(v);
}

// Lines of date, type word, category, typed amount, notes as the store takes them.
inline TBatchRows Batch(const TRowList &lines)
{
    TBatchRows rows;
    for (const TRow &l : lines)
        rows << TBatchRow{l.value(0), l.value(1), l.value(2), Cents(l.value(3)), l.value(4)};
    return rows;
}

// The ranking row the store would hand out for these texts (type, category,
// count, sum, share): the type's total is one that gives the share.
inline TRankRow RankRow(const TRow &r)
{
    const QString sum = r.value(RankSum), share = r.value(RankShare);
    TRankRow row{r.value(RankType), r.value(RankCate), r.value(RankCount).toLongLong(), Cents(sum),
                 0};
    const double percent = share.chopped(1).toDouble();
    row.TypeCents = percent == 0 ? 0 : qRound64(double(row.Cents) * 100.0 / percent);
    if (row.Text(RankShare) != share)
        qFatal("no total gives %s a share of %s", qPrintable(sum), qPrintable(share));
    return row;
}

inline TRankRows RankRows(const TRowList &texts)
{
    TRankRows rows;
    for (const TRow &r : texts)
        rows << RankRow(r);
    return rows;
}

// Day or month rows from texts: key, income sum, expense sum.
inline TSumRows SumRows(const TRowList &texts)
{
    TSumRows rows;
    for (const TRow &r : texts)
        rows << TSumRow{r.value(0), Cents(r.value(1)), Cents(r.value(2))};
    return rows;
}
