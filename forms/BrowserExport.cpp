// The browser's export menus: the rankings and the record list as a workbook,
// a web page or a CSV file, written from what the last search found.

#include "BrowserPanel.h"

#include "DateEdit.h"
#include "Dialogs.h"
#include "Exports.h"
#include "ProgressWindow.h"
#include "Settings.h"
#include "YearForm.h"

#include <QCursor>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>

namespace {

QAction *entry(QMenu *menu, const char *name, const QString &text)
{
    QAction *a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    return a;
}

} // namespace

void TBrowserPanel::BuildMenus()
{
    const QString toXlsx = QStringLiteral("导出为Excel文件(*.xlsx)");
    const QString toHtml = QStringLiteral("导出为网页文件(*.html)");
    const QString toCsv = QStringLiteral("导出为CSV文件(*.csv)");

    mnuTransMenu = new QMenu(this);
    mnuTransMenu->setObjectName(QStringLiteral("mnuTransMenu"));
    connect(entry(mnuTransMenu, "btnTransMore_ToXls", toXlsx), &QAction::triggered, this,
            &TBrowserPanel::btnTransMore_ToXlsClick);
    connect(entry(mnuTransMenu, "btnTransMore_ToHtml", toHtml), &QAction::triggered, this,
            &TBrowserPanel::btnTransMore_ToHtmlClick);
    connect(entry(mnuTransMenu, "btnTransMore_ToCsv", toCsv), &QAction::triggered, this,
            &TBrowserPanel::btnTransMore_ToCsvClick);
    mnuTransMenu->addSeparator()->setObjectName(QStringLiteral("btnTransMore_Separator"));
    connect(entry(mnuTransMenu, "btnTransMore_Print", QStringLiteral("打印")), &QAction::triggered,
            this, &TBrowserPanel::btnTransMore_PrintClick);
    // Added after the designed entries, apart from them.
    mnuTransMenu->addSeparator()->setObjectName(QStringLiteral("btnTransMore_YearSeparator"));
    connect(entry(mnuTransMenu, "btnTransMore_Year", QStringLiteral("年度概览…")),
            &QAction::triggered, this, &TBrowserPanel::btnTransMore_YearClick);
    connect(entry(mnuTransMenu, "btnTransMore_Household", QStringLiteral("家庭汇总…")),
            &QAction::triggered, this, &TBrowserPanel::btnTransMore_HouseholdClick);

    mnuCatesExport = new QMenu(this);
    mnuCatesExport->setObjectName(QStringLiteral("mnuCatesExport"));
    connect(entry(mnuCatesExport, "mnuCatesExport_ToXls", toXlsx), &QAction::triggered, this,
            &TBrowserPanel::mnuCatesExport_ToXlsClick);
    connect(entry(mnuCatesExport, "mnuCatesExport_ToHtml", toHtml), &QAction::triggered, this,
            &TBrowserPanel::mnuCatesExport_ToHtmlClick);
    connect(entry(mnuCatesExport, "mnuCatesExport_ToCsv", toCsv), &QAction::triggered, this,
            &TBrowserPanel::mnuCatesExport_ToCsvClick);

    connect(btnTransMore, &QPushButton::clicked, this, &TBrowserPanel::btnTransMoreClick);
    connect(btnCatesExport, &QPushButton::clicked, this, &TBrowserPanel::btnCatesExportClick);
}

void TBrowserPanel::btnTransMore_YearClick()
{
    if (!m_db)
        return;
    const QDate shown = dtpTransDate1->date();
    const int year = shown.isValid() ? shown.year() : QDate::currentDate().year();
    TfrmYear frmYear(window(), Db(), m_user, year, [this](const QDate &start, const QDate &end) {
        dtpTransDate1->setDate(start);
        dtpTransDate2->setDate(end);
        btnTransSearchClick();
    });
    frmYear.exec();
}

void TBrowserPanel::btnTransMoreClick()
{
    if (btnTransMore->isEnabled())
        mnuTransMenu->popup(QCursor::pos());
}

void TBrowserPanel::btnCatesExportClick()
{
    if (btnCatesExport->isEnabled())
        mnuCatesExport->popup(QCursor::pos());
}

void TBrowserPanel::btnTransMore_ToXlsClick()
{
    Export(TExportKind::Trans, TExportFormat::Xlsx);
}

void TBrowserPanel::btnTransMore_ToHtmlClick()
{
    Export(TExportKind::Trans, TExportFormat::Html);
}

void TBrowserPanel::btnTransMore_ToCsvClick()
{
    Export(TExportKind::Trans, TExportFormat::Csv);
}

void TBrowserPanel::mnuCatesExport_ToXlsClick()
{
    Export(TExportKind::Cates, TExportFormat::Xlsx);
}

void TBrowserPanel::mnuCatesExport_ToHtmlClick()
{
    Export(TExportKind::Cates, TExportFormat::Html);
}

void TBrowserPanel::mnuCatesExport_ToCsvClick()
{
    Export(TExportKind::Cates, TExportFormat::Csv);
}

void TBrowserPanel::Export(TExportKind kind, TExportFormat format)
{
    const QString ext = format == TExportFormat::Xlsx   ? QStringLiteral(".xlsx")
                        : format == TExportFormat::Html ? QStringLiteral(".html")
                                                        : QStringLiteral(".csv");
    QWidget *owner = window();
    const QString target = TDialogs::SaveFileWithExtension(
        owner, QStringLiteral("*%1 (*%1)").arg(ext), Settings::ExportDialogFolder(), ext);
    if (target.isEmpty())
        return;

    bool cancelled = false;
    const bool done = TDialogs::Guard(owner, [&] {
        TBusy busy(nullptr);
        // Held here: the progress window lets a search run meanwhile.
        const TSearchResultPtr result = m_result;
        // Stopping is safe: the file is written under a temporary name and
        // only renamed into place when complete.
        std::unique_ptr<TProgressWindow> window;
        if (TProgressWindow::Wanted(Exports::RowCount(kind, *result)))
            window = std::make_unique<TProgressWindow>(owner, QStringLiteral("正在导出…"));
        const TProgress progress = window ? window->Callback() : TProgress();
        try {
            switch (format) {
            case TExportFormat::Xlsx:
                TXlsxExport::Save(target, kind, *result, progress);
                break;
            case TExportFormat::Html:
                // The template is read first: when it fails, nothing is written.
                THtmlExport::FromFile(kind, THtmlExport::TemplateFile(kind))
                    .Save(target, *result, progress);
                break;
            case TExportFormat::Csv:
                TCsvExport::Save(target, kind, *result, progress);
                break;
            }
        } catch (const ECancelled &) {
            cancelled = true;
        }
    });
    if (!done || cancelled)
        return;
    Settings::RememberExportFile(target);
    TDialogs::Info(owner, QStringLiteral("Tallimo"), QStringLiteral("成功！\r\n\r\n") + target);
}
