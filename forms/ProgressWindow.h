#pragma once

// The progress window of long work done on the GUI thread: exports, PDFs,
// printing, and whatever else hands out a TProgress callback (a start-up
// import). The window is a modal QProgressDialog that appears only once the
// work has run for a moment (ShowDelay), so short jobs never flash it; while it
// is up, each report repaints it and takes the clicks on 取消.

#include "Progress.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

class QWidget;

class TProgressWindow {
public:
    // Work of fewer rows than this finishes too fast to need a window.
    static constexpr qint64 ShowFromRows = 3000;
    static bool Wanted(qint64 rows) { return rows > ShowFromRows; }

    // label: what is being done ("正在导出…"); without cancellable there is
    // no 取消 (stopping would not be safe).
    TProgressWindow(QWidget *owner, const QString &label, bool cancellable = true);
    ~TProgressWindow();
    TProgressWindow(const TProgressWindow &) = delete;
    TProgressWindow &operator=(const TProgressWindow &) = delete;

    // The callback to hand to the worker: moves the bar and answers false
    // once 取消 was clicked. Valid while this object lives.
    TProgress Callback();
    bool Cancelled() const { return m_cancelled; }
    QProgressDialog *Dialog() const { return m_dialog; }

    // Test seam: how long work runs before the window shows (500 ms by default).
    static void SetShowDelay(int ms);

private:
    bool Report(qint64 done, qint64 total);

    QPointer<QProgressDialog> m_dialog;
    bool m_cancellable = true;
    bool m_cancelled = false;
    bool m_arrow = false; // an arrow cursor pushed while the window shows
    QElapsedTimer m_clock;
    qint64 m_lastMs = -1;
};
