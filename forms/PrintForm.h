#pragma once

// The print preview: one page of a report at a time at 100 %, four buttons to
// step through the pages, printing on A4 portrait through the print dialog,
// and saving every page as a PDF. The window knows nothing of what the report
// shows; its creator keeps the report alive while the window is open.

#include <QDialog>

#include <functional>

class QLabel;
class QPrinter;
class QScrollArea;
class QStatusBar;
class QToolButton;
class TPageView;
class TReport;

class TfrmPrint : public QDialog {
    Q_OBJECT
public:
    TfrmPrint(QWidget *parent, const TReport &report);
    ~TfrmPrint() override;

    const TReport &Report;

    // 1-based, as the status shows it.
    int PageNumber() const;
    int PageCount() const;

public slots:
    // The four page buttons; each shows its page and writes the status.
    void btnFirstPageClick();
    void btnPrevPageClick();
    void btnNextPageClick();
    void btnLastPageClick();
    void btnPrintClick();
    void btnPdfClick();

public:
    // Test seam for the print dialog: gets the printer set up for A4 portrait
    // and the page range, changes it as the user would, returns true for OK.
    using TPrintDialogHandler = std::function<bool(QPrinter &printer)>;
    static void SetPrintDialogHandler(TPrintDialogHandler handler);

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override; // the frame arriving after the show

private:
    // "第 n 页 / 共 m 页" in the status bar.
    void ShowStatus();
    // The whole window, frame included, covers the work area (the desktop
    // without the task bar); fixed in size from then on.
    void FitToWorkArea();
    void ShowPage(int number);
    bool RunPrintDialog(QPrinter &printer);

    QWidget *CoolBar1 = nullptr, *pnlPageButtons = nullptr;
    QToolButton *btnFirstPage = nullptr, *btnPrevPage = nullptr, *btnNextPage = nullptr,
                *btnLastPage = nullptr, *btnPrint = nullptr, *btnPdf = nullptr;
    QScrollArea *QRPreview1 = nullptr;
    TPageView *m_view = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *m_status = nullptr;
    bool m_placed = false;
    bool m_fitting = false; // shortly after the first show, while the frame settles
};
