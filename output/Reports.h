#pragma once

// The two printed reports of the browser: the category ranking and the record
// list of one search (TSearchResult). Every page carries the same header
// (user, period, the three totals, a rule and the column headings), up to 52 rows and its page
// number at the foot. Positions are in 1/96 inch of the layout resolution; a text placed by its
// right edge or centred is measured with the font it is printed in. Texts are printed as
// THi::VisibleText gives them.

#include "ReportPage.h"
#include "SearchResult.h"

#include <functional>
#include <memory>

class TColumnReport : public TReport {
public:
    static constexpr int RowsPerPage = 52;
    enum TFont { Normal, Title };

    struct TColumn {
        QString Heading;
        int X;              // in 1/96 inch; ignored when AtBandRight
        bool Right = false; // X is the right edge, else the left
        bool AtBandRight = false;
        // Texts too long for the column are cut with "…" at its edge: Edge
        // (in 1/96 inch) when given, else the band's right edge.
        bool Elide = false;
        int Edge = 0;
    };
    // The texts of one row, in column order.
    using TCells = std::function<QStringList(int row)>;

    // The header comes from result, which the report keeps (the cells
    // usually read it too).
    // pointSize: the rows' and headings' type (a wide table takes a smaller one).
    TColumnReport(const TReportUnits &units, TSearchResultPtr result, QList<TColumn> columns,
                  int rowCount, TCells cells, int pointSize = 8);

    int PageCount() const override;
    TReportPage Page(int index) const override;
    int RowCount() const { return m_rowCount; }

    // Top of the row at position i of its page.
    int RowTop(int i) const { return Units().ScaleY((i % RowsPerPage) * 18 + 86); }

    int TextWidth(int font, const QString &text) const;
    // A ledger text as printed (THi::VisibleText).
    static QString Shown(const QString &text);
    int TextHeight(int font) const;

private:
    void add(TReportPage &page, int font, const QString &text, int left, int top) const;
    void addRight(TReportPage &page, int font, const QString &text, int right, int top) const;
    void addCentred(TReportPage &page, int font, const QString &text, int width, int top) const;
    void addCell(TReportPage &page, const TColumn &column, const QString &text, int top) const;

    TSearchResultPtr m_result;
    QList<TColumn> m_columns;
    int m_rowCount;
    TCells m_cells;
    struct TMetrics;
    std::shared_ptr<TMetrics> m_metrics;
};

// The category ranking: incomes first, then expenses; the sum goes to the
// column of its type.
std::unique_ptr<TColumnReport> MakeCateReport(const TReportUnits &units, TSearchResultPtr result);

// The record list, in the result's order.
std::unique_ptr<TColumnReport> MakeTransReport(const TReportUnits &units, TSearchResultPtr result);

// The family every report text is set in, as on screen.
QString ReportFontFamily();
