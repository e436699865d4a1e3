#include "ReportPage.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>

#include <cmath>

namespace {

// Rounds to the nearest whole number, a half to the even neighbour (the
// default rounding mode).
int roundEven(double v)
{
    return int(std::nearbyint(v));
}

} // namespace

TReportUnits::TReportUnits(int dpiX, int dpiY)
    : m_dpiX(dpiX > 0 ? dpiX : 96), m_dpiY(dpiY > 0 ? dpiY : 96)
{
}

int TReportUnits::ScaleX(int v) const
{
    return roundEven(double(v) * m_dpiX / 96.0);
}

int TReportUnits::ScaleY(int v) const
{
    return roundEven(double(v) * m_dpiY / 96.0);
}

int TReportUnits::MmX(double mm) const
{
    return roundEven(m_dpiX * mm / 25.4);
}

int TReportUnits::MmY(double mm) const
{
    return roundEven(m_dpiY * mm / 25.4);
}

TReportUnits TReportUnits::Screen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return TReportUnits();
    return TReportUnits(qRound(screen->logicalDotsPerInchX()),
                        qRound(screen->logicalDotsPerInchY()));
}

void PaintPage(QPainter &painter, const TReport &report, const TReportPage &page,
               const QRectF &target)
{
    const QSize size = report.PageSize();
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / size.width(), target.height() / size.height());

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (const QRect &r : page.Rects)
        painter.drawRect(r);

    // A point size resolves at the device's resolution; this one gives the
    // report's pixel size before the scale above, so texts keep the widths
    // they were measured with.
    const QPaintDevice *device = painter.device();
    const double deviceDpi = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 96;
    QList<QFont> fonts = report.Fonts();
    QList<double> ascents;
    for (QFont &f : fonts) {
        f.setPointSizeF(f.pointSizeF() * report.Units().DpiY() / deviceDpi);
        ascents.append(QFontMetricsF(f, device).ascent());
    }

    painter.setPen(Qt::black);
    int current = -1;
    for (const TReportText &t : page.Texts) {
        if (t.Font < 0 || t.Font >= fonts.size())
            continue;
        if (t.Font != current) {
            painter.setFont(fonts.at(t.Font));
            current = t.Font;
        }
        painter.drawText(QPointF(t.Left, t.Top + ascents.at(t.Font)), t.Text);
    }
    painter.restore();
}

bool PaintPages(QPagedPaintDevice &device, const TReport &report, int first, int last, int copies,
                const TProgress &progress)
{
    first = qMax(0, first);
    last = qMin(last, report.PageCount() - 1);
    if (first > last || copies < 1)
        return true;
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    // The same scale both ways, so a sheet other than A4 does not stretch the page.
    const QSize size = report.PageSize();
    const double k =
        qMin(double(device.width()) / size.width(), double(device.height()) / size.height());
    const QRectF target(0, 0, size.width() * k, size.height() * k);
    const qint64 sheets = qint64(last - first + 1) * copies;
    qint64 done = 0;
    for (int copy = 0; copy < copies; ++copy) {
        for (int i = first; i <= last; ++i) {
            if (done > 0 && !device.newPage())
                return false;
            PaintPage(painter, report, report.Page(i), target);
            ++done;
            if (progress && !progress(done, sheets)) {
                painter.end();
                throw ECancelled();
            }
        }
    }
    return painter.end();
}

bool WritePdf(const TReport &report, QIODevice *device, const TProgress &progress)
{
    QPdfWriter writer(device);
    writer.setCreator(QStringLiteral("Tallimo"));
    writer.setResolution(report.Units().DpiY());
    writer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    if (report.PageCount() == 0) // a PDF needs a page
        return false;
    return PaintPages(writer, report, 0, report.PageCount() - 1, 1, progress);
}
