#include "ProgressWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>

namespace {

int &showDelay()
{
    static int ms = 500;
    return ms;
}

// Repainting more often than this costs time and shows nothing new.
constexpr qint64 RepaintEveryMs = 40;

} // namespace

void TProgressWindow::SetShowDelay(int ms)
{
    showDelay() = ms;
}

TProgressWindow::TProgressWindow(QWidget *owner, const QString &label, bool cancellable)
{
    m_cancellable = cancellable;
    m_dialog = new QProgressDialog(owner);
    m_dialog->setObjectName(QStringLiteral("frmProgress"));
    m_dialog->setWindowTitle(QStringLiteral("Tallimo"));
    // A title and nothing else: no close box (取消 is the way to stop, and
    // only where stopping is safe), no minimising a modal window.
    m_dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setLabelText(label);
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
    m_dialog->setMinimumWidth(360);
    if (cancellable) {
        auto *cancel = new QPushButton(QStringLiteral("取消"), m_dialog);
        cancel->setObjectName(QStringLiteral("btnProgressCancel"));
        m_dialog->setCancelButton(cancel);
    } else {
        m_dialog->setCancelButton(nullptr);
    }
    m_dialog->setRange(0, 1000);
    m_dialog->setMinimumDuration(showDelay());
    // setValue starts the clock the show delay is measured from.
    m_dialog->setValue(0);
}

TProgressWindow::~TProgressWindow()
{
    delete m_dialog.data();
    if (m_arrow)
        QApplication::restoreOverrideCursor();
}

TProgress TProgressWindow::Callback()
{
    return [this](qint64 done, qint64 total) { return Report(done, total); };
}

bool TProgressWindow::Report(qint64 done, qint64 total)
{
    if (!m_dialog)
        return !m_cancelled;
    if (!m_clock.isValid())
        m_clock.start();
    const qint64 now = m_clock.elapsed();
    const bool last = total > 0 && done >= total;
    if (m_lastMs < 0 || last || now - m_lastMs >= RepaintEveryMs) {
        m_lastMs = now;
        // The bar counts in thousandths, whatever the total: no overflow of its int.
        const int value = total > 0 ? int(qBound(qint64(0), done * 1000 / total, qint64(1000))) : 0;
        m_dialog->setValue(value);
        // The work runs under the busy cursor; over this window it is a
        // pointer, so that 取消 looks clickable.
        if (!m_arrow && m_dialog->isVisible()) {
            m_arrow = true;
            QApplication::setOverrideCursor(Qt::ArrowCursor);
        }
    }
    // Closing the window by other means counts only where stopping is safe.
    if (m_cancellable && m_dialog->wasCanceled())
        m_cancelled = true;
    return !m_cancelled;
}
