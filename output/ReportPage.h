#pragma once

// A printed report as plain data: every page is a list of text items at
// computed positions and of filled rectangles, in pixels of the resolution the
// report was laid out for (the screen's logical dots per inch, so that the
// preview shows the page at 100 % without scaling). Pages are made when they
// are asked for, one at a time, so a report of thousands of pages costs only
// the rows it holds. One painter function draws a page onto any QPainter: the
// preview's widget, a printer, a PDF writer or an image.

#include "Progress.h"

#include <QFont>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

class QPainter;

// The report's units: positions in 1/96 inch and sizes in millimetres, both
// turned into pixels of one resolution, rounding a half to the even neighbour.
class TReportUnits {
public:
    explicit TReportUnits(int dpiX = 96, int dpiY = 96);

    int DpiX() const { return m_dpiX; }
    int DpiY() const { return m_dpiY; }
    int ScaleX(int v) const;
    int ScaleY(int v) const;
    int MmX(double mm) const;
    int MmY(double mm) const;

    // A4 portrait and the band inside its 10 mm margins.
    int PageWidth() const { return MmX(210); }
    int PageHeight() const { return MmY(297); }
    int BandWidth() const { return MmX(190); }
    int BandHeight() const { return MmY(277); }
    int BandLeft() const { return MmX(10); }
    int BandTop() const { return MmY(10); }

    // The logical resolution of the primary screen; 96 when there is none.
    static TReportUnits Screen();

private:
    int m_dpiX, m_dpiY;
};

// One text, its top-left corner in page pixels; font is an index into the
// report's font list.
struct TReportText {
    QString Text;
    int Left = 0, Top = 0;
    int Font = 0;
};

struct TReportPage {
    std::vector<TReportText> Texts;
    std::vector<QRect> Rects; // filled black
};

class TReport {
public:
    explicit TReport(const TReportUnits &units) : m_units(units) {}
    virtual ~TReport() = default;
    TReport(const TReport &) = delete;
    TReport &operator=(const TReport &) = delete;

    const TReportUnits &Units() const { return m_units; }
    QSize PageSize() const { return {m_units.PageWidth(), m_units.PageHeight()}; }
    // The fonts the items name; point sizes, resolved at the report's resolution.
    const QList<QFont> &Fonts() const { return m_fonts; }

    virtual int PageCount() const = 0;
    // Page index (from 0), made now.
    virtual TReportPage Page(int index) const = 0;

protected:
    QList<QFont> m_fonts;

private:
    TReportUnits m_units;
};

// Draws page (in the report's pixels) into target (in the painter's logical
// coordinates), scaled so that the whole page fills target's width. Texts stay
// text, so a PDF keeps them searchable.
void PaintPage(QPainter &painter, const TReport &report, const TReportPage &page,
               const QRectF &target);

class QIODevice;
class QPagedPaintDevice;

// Paints pages first to last (from 0) onto a device with A4 pages, copies
// times over, each page filling the sheet from its top-left corner. False when
// the device cannot be painted on. Reports progress in sheets after each one;
// when it says stop, painting ends there and ECancelled is raised (a printer
// should be aborted by the callback before it answers false).
bool PaintPages(QPagedPaintDevice &device, const TReport &report, int first, int last,
                int copies = 1, const TProgress &progress = {});

// Every page as a PDF on A4 with the texts as text. False when the PDF could
// not be made; the device's own error tells a failed write. Progress as above.
bool WritePdf(const TReport &report, QIODevice *device, const TProgress &progress = {});
