// The browser's two print commands: the category ranking and the record list
// of the last search, laid out as pages and shown in the preview.

#include "BrowserPanel.h"

#include "Dialogs.h"
#include "PrintForm.h"
#include "Reports.h"

#include <QApplication>
#include <QPushButton>

namespace {

// Disables the sender (if any) for the whole command, the preview included;
// the wait cursor only while the pages are laid out.
class TPrintBusy {
public:
    explicit TPrintBusy(QWidget *sender) : m_sender(sender)
    {
        if (m_sender)
            m_sender->setEnabled(false);
    }
    ~TPrintBusy()
    {
        if (m_sender) {
            m_sender->setEnabled(true);
            m_sender->setFocus();
        }
    }
    TPrintBusy(const TPrintBusy &) = delete;
    TPrintBusy &operator=(const TPrintBusy &) = delete;

private:
    QPointer<QWidget> m_sender;
};

class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor &) = delete;
    TWaitCursor &operator=(const TWaitCursor &) = delete;
};

} // namespace

void TBrowserPanel::ShowPreview(const std::function<std::unique_ptr<TReport>()> &make)
{
    std::unique_ptr<TReport> report;
    const bool made = TDialogs::Guard(this, [&] {
        TWaitCursor wait;
        report = make();
    });
    if (!made || !report || report->PageCount() == 0)
        return;
    TfrmPrint preview(window(), *report);
    preview.exec();
}

void TBrowserPanel::btnCatesPrintClick()
{
    if (!btnCatesPrint->isEnabled())
        return;
    TPrintBusy busy(btnCatesPrint);
    ShowPreview([this] { return MakeCateReport(TReportUnits::Screen(), m_result); });
}

void TBrowserPanel::btnTransMore_PrintClick()
{
    if (m_result->RecRows.isEmpty())
        return;
    ShowPreview([this] { return MakeTransReport(TReportUnits::Screen(), m_result); });
}
