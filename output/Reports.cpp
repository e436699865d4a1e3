#include "Reports.h"

#include "HiClass.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QtMath>

#include <utility>

QString ReportFontFamily()
{
    return QStringLiteral("WenQuanYi Micro Hei");
}

// Metrics at the report's resolution, whatever screen or printer shows it.
struct TColumnReport::TMetrics {
    QImage device;
    QList<QFontMetricsF> fonts;
    // Categories repeat on most rows: each is measured and cut once.
    QHash<QString, QString> edgeCut;
};

namespace {

QFont reportFont(int pointSize, bool bold)
{
    QFont f(ReportFontFamily());
    f.setPointSize(pointSize);
    f.setBold(bold);
    return f;
}

} // namespace

TColumnReport::TColumnReport(const TReportUnits &units, TSearchResultPtr result,
                             QList<TColumn> columns, int rowCount, TCells cells, int pointSize)
    : TReport(units), m_result(result ? std::move(result) : std::make_shared<TSearchResult>()),
      m_columns(std::move(columns)), m_rowCount(rowCount > 0 ? rowCount : 0),
      m_cells(std::move(cells)), m_metrics(std::make_shared<TMetrics>())
{
    m_fonts = {reportFont(pointSize, false), reportFont(14, true)};
    m_metrics->device = QImage(1, 1, QImage::Format_RGB32);
    m_metrics->device.setDotsPerMeterX(qRound(units.DpiX() / 0.0254));
    m_metrics->device.setDotsPerMeterY(qRound(units.DpiY() / 0.0254));
    for (const QFont &f : std::as_const(m_fonts))
        m_metrics->fonts.append(QFontMetricsF(f, &m_metrics->device));
}

int TColumnReport::PageCount() const
{
    return (m_rowCount + RowsPerPage - 1) / RowsPerPage;
}

int TColumnReport::TextWidth(int font, const QString &text) const
{
    // Rounded up, so that a text set by its right edge never passes it.
    return qCeil(m_metrics->fonts.at(font).horizontalAdvance(text));
}

int TColumnReport::TextHeight(int font) const
{
    return qCeil(m_metrics->fonts.at(font).height());
}

void TColumnReport::add(TReportPage &page, int font, const QString &text, int left, int top) const
{
    if (!text.isEmpty())
        page.Texts.push_back({text, left, top, font});
}

QString TColumnReport::Shown(const QString &text)
{
    return THi::VisibleText(text);
}

void TColumnReport::addRight(TReportPage &page, int font, const QString &text, int right,
                             int top) const
{
    add(page, font, text, right - TextWidth(font, text), top);
}

void TColumnReport::addCentred(TReportPage &page, int font, const QString &text, int width,
                               int top) const
{
    add(page, font, text, (width - TextWidth(font, text)) / 2, top); // truncated toward zero
}

void TColumnReport::addCell(TReportPage &page, const TColumn &column, const QString &text,
                            int top) const
{
    const TReportUnits &u = Units();
    if (column.AtBandRight) {
        addRight(page, Normal, text, u.BandWidth(), top);
    } else if (column.Right) {
        addRight(page, Normal, text, u.ScaleX(column.X), top);
    } else if (column.Elide) {
        // Long notes end at the band's edge instead of running off the paper,
        // long categories at theirs instead of running over the amounts.
        const int left = u.ScaleX(column.X);
        const int room = (column.Edge > 0 ? u.ScaleX(column.Edge) : u.BandWidth()) - left;
        const auto cut = [&] {
            return TextWidth(Normal, text) <= room
                       ? text
                       : m_metrics->fonts.at(Normal).elidedText(text, Qt::ElideRight, room);
        };
        if (column.Edge <= 0) {
            add(page, Normal, cut(), left, top);
        } else {
            QHash<QString, QString> &cache = m_metrics->edgeCut;
            auto it = cache.constFind(text);
            if (it == cache.constEnd()) {
                if (cache.size() > 4096) // a report of very many categories: keep it small
                    cache.clear();
                it = cache.insert(text, cut());
            }
            add(page, Normal, *it, left, top);
        }
    } else {
        add(page, Normal, text, u.ScaleX(column.X), top);
    }
}

TReportPage TColumnReport::Page(int index) const
{
    TReportPage page;
    if (index < 0 || index >= PageCount())
        return page;
    const TReportUnits &u = Units();
    const int first = index * RowsPerPage;
    const int last = qMin(m_rowCount, first + RowsPerPage);
    page.Texts.reserve(size_t(12 + m_columns.size() * (1 + last - first)));

    // Band coordinates first, moved onto the paper at the end.
    const int mid = u.ScaleX(578);
    const TSearchResult &result = *m_result;
    addCentred(page, Title, Shown(result.User), mid, u.ScaleY(0));
    addCentred(page, Normal,
               QStringLiteral("(%1 至 %2)")
                   .arg(result.Start.toString(QStringLiteral("yyyy-MM-dd")),
                        result.End.toString(QStringLiteral("yyyy-MM-dd"))),
               mid, u.ScaleY(36));
    const struct {
        const char16_t *caption;
        qint64 cents;
        int top;
    } totals[] = {{u"收入合计：", result.InCents, 0},
                  {u"支出合计：", result.OutCents, 18},
                  {u"结余合计：", result.BalanceCents(), 36}};
    for (const auto &t : totals) {
        add(page, Normal, QString::fromUtf16(t.caption), mid, u.ScaleY(t.top));
        addRight(page, Normal, THi::FormatCents(t.cents), u.BandWidth(), u.ScaleY(t.top));
    }
    page.Rects.push_back(QRect(0, u.ScaleY(58), u.BandWidth(), u.ScaleY(1)));
    for (const TColumn &c : m_columns)
        addCell(page, c, c.Heading, u.ScaleY(68));
    addCentred(page, Normal, QStringLiteral("第 %1 页").arg(index + 1), u.BandWidth(),
               u.BandHeight() - TextHeight(Normal));

    for (int i = first; i < last; ++i) {
        const QStringList cells = m_cells(i);
        const int top = RowTop(i);
        for (int c = 0; c < m_columns.size(); ++c)
            addCell(page, m_columns.at(c), Shown(cells.value(c)), top);
    }

    const QPoint origin(u.BandLeft(), u.BandTop());
    for (TReportText &t : page.Texts) {
        t.Left += origin.x();
        t.Top += origin.y();
    }
    for (QRect &r : page.Rects)
        r.translate(origin);
    return page;
}

std::unique_ptr<TColumnReport> MakeCateReport(const TReportUnits &units, TSearchResultPtr result)
{
    // The category ends well before the widest count (twelve digits) begins.
    const QList<TColumnReport::TColumn> columns = {
        {QStringLiteral("类别"), 0},         {QStringLiteral("项目"), 78, false, false, true, 340},
        {QStringLiteral("数量"), 418, true}, {QStringLiteral("收入"), 510, true},
        {QStringLiteral("支出"), 602, true}, {QStringLiteral("0 - 100%"), 0, true, true},
    };
    const TRankRows rows = result ? result->CateRows() : TRankRows();
    const int count = int(rows.size());
    auto cells = [rows](int i) {
        const TRankRow &r = rows.at(i);
        const bool income = r.Type == TypeIncome();
        return QStringList{r.Text(RankType),
                           r.Text(RankCate),
                           r.Text(RankCount),
                           income ? r.Text(RankSum) : QString(),
                           income ? QString() : r.Text(RankSum),
                           r.Text(RankShare)};
    };
    return std::make_unique<TColumnReport>(units, std::move(result), columns, count,
                                           std::move(cells));
}

std::unique_ptr<TColumnReport> MakeTransReport(const TReportUnits &units, TSearchResultPtr result)
{
    const QList<TColumnReport::TColumn> columns = {
        {QStringLiteral("日期"), 0},
        // Ends before the widest amount ("9999999999.99") begins.
        {QStringLiteral("项目"), 78, false, false, true, 306},
        {QStringLiteral("收入"), 394, true},
        {QStringLiteral("支出"), 486, true},
        {QStringLiteral("备注"), 494, false, false, true},
    };
    if (!result)
        result = std::make_shared<TSearchResult>();
    const int count = result->RecRows.size();
    auto cells = [result](int i) {
        const TRecordList &recs = result->RecRows;
        return QStringList{recs.Date(i), recs.Cate(i), recs.Text(i, RecIn), recs.Text(i, RecOut),
                           recs.Notes(i)};
    };
    return std::make_unique<TColumnReport>(units, result, columns, count, std::move(cells));
}
