#include "PrintForm.h"

#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"
#include "ProgressWindow.h"
#include "ReportPage.h"
#include "SafeFile.h"
#include "Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <cerrno>

// The shown page on white paper; made when it is shown, kept until the next.
class TPageView : public QWidget {
public:
    TPageView(QWidget *parent, const TReport &report) : QWidget(parent), m_report(report)
    {
        setObjectName(QStringLiteral("pnlPage"));
        setFixedSize(report.PageSize());
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    int Number() const { return m_number; }
    void SetNumber(int number)
    {
        m_number = number;
        m_page = m_report.Page(number - 1);
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white); // paper, whatever the scroll area's palette says
        p.setRenderHint(QPainter::TextAntialiasing);
        PaintPage(p, m_report, m_page, QRectF(rect()));
    }

private:
    const TReport &m_report;
    TReportPage m_page;
    int m_number = 0;
};

namespace {

TfrmPrint::TPrintDialogHandler &printDialogHandler()
{
    static TfrmPrint::TPrintDialogHandler h;
    return h;
}

QToolButton *pageButton(QWidget *parent, const char *name, const QString &text, int x, int width,
                        QStyle::StandardPixmap icon)
{
    auto *b = Make<QToolButton>(parent, name, QRect(x, 0, width, 23));
    b->setText(text);
    b->setAutoRaise(true); // flat
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

// Pages of this many rows and more get a progress window (a few thousand rows).
constexpr int ProgressFromPages = 60;

std::unique_ptr<TProgressWindow> progressFor(QWidget *owner, int pages, const QString &label)
{
    if (pages < ProgressFromPages)
        return nullptr;
    return std::make_unique<TProgressWindow>(owner, label);
}

// The paper every page goes on, whatever the dialog chose.
void setA4Portrait(QPrinter &printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
}

} // namespace

void TfrmPrint::SetPrintDialogHandler(TPrintDialogHandler handler)
{
    printDialogHandler() = std::move(handler);
}

TfrmPrint::TfrmPrint(QWidget *parent, const TReport &report) : QDialog(parent), Report(report)
{
    setObjectName(QStringLiteral("frmPrint"));
    setWindowTitle(QStringLiteral("打印"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    CoolBar1 = Make<QWidget>(this, "CoolBar1");
    CoolBar1->setFixedHeight(27);
    auto *bar = new QHBoxLayout(CoolBar1);
    bar->setContentsMargins(0, 2, 0, 2);
    pnlPageButtons = Make<QWidget>(CoolBar1, "pnlPageButtons");
    pnlPageButtons->setFixedSize(631, 23);
    bar->addWidget(pnlPageButtons);
    bar->addStretch();
    btnFirstPage = pageButton(pnlPageButtons, "btnFirstPage", QStringLiteral("最前页"), 0, 78,
                              QStyle::SP_MediaSkipBackward);
    btnPrevPage = pageButton(pnlPageButtons, "btnPrevPage", QStringLiteral("上一页"), 78, 78,
                             QStyle::SP_MediaSeekBackward);
    btnNextPage = pageButton(pnlPageButtons, "btnNextPage", QStringLiteral("下一页"), 156, 78,
                             QStyle::SP_MediaSeekForward);
    btnLastPage = pageButton(pnlPageButtons, "btnLastPage", QStringLiteral("最后页"), 234, 78,
                             QStyle::SP_MediaSkipForward);
    btnPrint = pageButton(pnlPageButtons, "btnPrint", QStringLiteral("打印 (A4)"), 312, 78,
                          QStyle::SP_FileIcon);
    btnPdf = pageButton(pnlPageButtons, "btnPdf", QStringLiteral("保存为PDF(&F)"), 390, 100,
                        QStyle::SP_DialogSaveButton);
    connect(btnFirstPage, &QToolButton::clicked, this, &TfrmPrint::btnFirstPageClick);
    connect(btnPrevPage, &QToolButton::clicked, this, &TfrmPrint::btnPrevPageClick);
    connect(btnNextPage, &QToolButton::clicked, this, &TfrmPrint::btnNextPageClick);
    connect(btnLastPage, &QToolButton::clicked, this, &TfrmPrint::btnLastPageClick);
    connect(btnPrint, &QToolButton::clicked, this, &TfrmPrint::btnPrintClick);
    connect(btnPdf, &QToolButton::clicked, this, &TfrmPrint::btnPdfClick);
    layout->addWidget(CoolBar1);

    QRPreview1 = Make<QScrollArea>(this, "QRPreview1");
    QRPreview1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QRPreview1->setBackgroundRole(QPalette::Dark);
    m_view = new TPageView(QRPreview1, report);
    QRPreview1->setWidget(m_view);
    layout->addWidget(QRPreview1, 1);

    StatusBar1 = Make<QStatusBar>(this, "StatusBar1");
    StatusBar1->setFixedHeight(21);
    StatusBar1->setSizeGripEnabled(false);
    m_status = Make<QLabel>(StatusBar1, "StatusBar1_Panel0");
    m_status->setText(QStringLiteral("#"));
    m_status->setMinimumWidth(50);
    StatusBar1->addWidget(m_status, 1);
    layout->addWidget(StatusBar1);

    if (report.PageCount() > 0)
        m_view->SetNumber(1);

    // The desktop without the task bar.
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(screen->availableGeometry());
}

TfrmPrint::~TfrmPrint() = default;

int TfrmPrint::PageNumber() const
{
    return m_view->Number();
}

int TfrmPrint::PageCount() const
{
    return Report.PageCount();
}

void TfrmPrint::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        // A window manager adds its frame only after the window is mapped,
        // and tells its size later still: fit again whenever the frame or
        // the place changes during the first moments.
        m_fitting = true;
        QTimer::singleShot(1500, this, [this] { m_fitting = false; });
        FitToWorkArea();
    }
    ShowStatus();
}

bool TfrmPrint::event(QEvent *event)
{
    const bool handled = QDialog::event(event);
    if (m_fitting && (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
                      event->type() == QEvent::WindowStateChange ||
                      event->type() == QEvent::Expose || event->type() == QEvent::UpdateRequest))
        FitToWorkArea();
    return handled;
}

void TfrmPrint::FitToWorkArea()
{
    const QScreen *s = screen();
    if (!s)
        return;
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QRect inside = s->availableGeometry() - frame;
    if (geometry() == inside && maximumSize() == inside.size())
        return;
    setFixedSize(inside.size());
    setGeometry(inside);
}

void TfrmPrint::ShowPage(int number)
{
    // A page outside the report leaves the shown one in place.
    if (number < 1 || number > PageCount() || number == PageNumber())
        return;
    m_view->SetNumber(number);
    QRPreview1->horizontalScrollBar()->setValue(0);
    QRPreview1->verticalScrollBar()->setValue(0);
}

void TfrmPrint::btnFirstPageClick()
{
    ShowPage(1);
    ShowStatus();
}

void TfrmPrint::btnPrevPageClick()
{
    ShowPage(PageNumber() - 1);
    ShowStatus();
}

void TfrmPrint::btnNextPageClick()
{
    ShowPage(PageNumber() + 1);
    ShowStatus();
}

void TfrmPrint::btnLastPageClick()
{
    ShowPage(PageCount());
    ShowStatus();
}

void TfrmPrint::ShowStatus()
{
    m_status->setText(QStringLiteral("第 %1 页 / 共 %2 页").arg(PageNumber()).arg(PageCount()));
}

bool TfrmPrint::RunPrintDialog(QPrinter &printer)
{
    if (printDialogHandler())
        return printDialogHandler()(printer);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, PageCount());
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

void TfrmPrint::btnPrintClick()
{
    if (!btnPrint->isEnabled() || PageCount() == 0)
        return;
    TBusy busy(btnPrint);
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true); // the page brings its own margins
    setA4Portrait(printer);
    printer.setFromTo(1, PageCount());
    printer.setPrintRange(QPrinter::AllPages);
    QApplication::restoreOverrideCursor(); // not while the dialog waits
    const bool ok = RunPrintDialog(printer);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!ok)
        return;
    setA4Portrait(printer);
    int first = 1, last = PageCount();
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage();
        last = printer.toPage() > 0 ? printer.toPage() : PageCount();
    }
    // A printer that makes its own copies gets the pages once.
    const int copies = printer.supportsMultipleCopies() ? 1 : printer.copyCount();
    // Stopping is safe: an aborted job is thrown away before it reaches the printer.
    const auto window = progressFor(this, (last - first + 1) * copies, QStringLiteral("正在打印…"));
    TProgress progress;
    if (window) {
        progress = [&printer, report = window->Callback()](qint64 done, qint64 total) {
            if (report(done, total))
                return true;
            printer.abort();
            return false;
        };
    }
    bool painted = false;
    try {
        painted = PaintPages(printer, Report, first - 1, last - 1, copies, progress);
    } catch (const ECancelled &) {
        // Printed into a file, the aborted job leaves half a document: away with it.
        if (!printer.outputFileName().isEmpty())
            QFile::remove(printer.outputFileName());
        return;
    }
    if (!painted) {
        busy.Done();
        TDialogs::Error(this, QStringLiteral("无法打印：打印机不可用。"));
    }
}

void TfrmPrint::btnPdfClick()
{
    if (!btnPdf->isEnabled() || PageCount() == 0)
        return;
    const QString fileName = TDialogs::SaveFileWithExtension(
        this, QStringLiteral("*.pdf"), Settings::ExportDialogFolder(), QStringLiteral(".pdf"));
    if (fileName.isEmpty())
        return;
    bool cancelled = false;
    const bool done = TDialogs::Guard(this, [&] {
        TBusy busy(btnPdf);
        // The user's own file: the umask decides who may read it. Written
        // under a temporary name, so stopping half-way leaves nothing.
        TSafeFile target(fileName, TSafeFile::UmaskMode());
        const auto window = progressFor(this, PageCount(), QStringLiteral("正在保存 PDF…"));
        TFileSink file(target.TempPath(), QFileInfo(fileName).absoluteFilePath());
        bool ok = false;
        try {
            ok = WritePdf(Report, &file, window ? window->Callback() : TProgress());
        } catch (const ECancelled &) {
            cancelled = true;
            return;
        }
        // A refused write names its cause (a full disk) and the chosen file.
        file.Finish();
        if (!ok)
            throw EInOutError(EIO, QStringLiteral("无法写入文件“%1”。\n"
                                                  "请检查文件夹是否可写以及磁盘空间是否足够。")
                                       .arg(QDir::toNativeSeparators(fileName)));
        target.Commit();
    });
    if (!done || cancelled)
        return;
    Settings::RememberExportFile(fileName);
    TDialogs::Info(this, QStringLiteral("Tallimo"),
                   QStringLiteral("成功！\r\n\r\n") + QDir::toNativeSeparators(fileName));
}
