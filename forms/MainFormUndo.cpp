// The account menu's 回收站… and the undo of this session: Ctrl+Z and
// Ctrl+Shift+Z on the whole window, 撤销 and 重做 in the browser's 更多 menu,
// and the line that says what was undone (in the control strip on the entry
// pages, over the totals line for a few seconds on the browser page).

#include "MainForm.h"

#include "BrowserPanel.h"
#include "DbClass.h"
#include "Dialogs.h"
#include "EntryPanel.h"
#include "FormKit.h"
#include "RecycleForm.h"
#include "UndoStack.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>

namespace {

// How long the undo line stays.
constexpr int UndoLineMs = 8000;

// A line edit claims Ctrl+Z and Ctrl+Shift+Z even when it has nothing to
// undo; then the keys go to the window's undo, as right after a save from
// the entry panel, with the cursor still in its amount field.
class TUndoKeyFilter : public QObject {
public:
    explicit TUndoKeyFilter(QWidget *window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ShortcutOverride)
            return false;
        // A combo box or a date field hands the event to its line edit
        // directly, past this filter.
        QLineEdit *edit = qobject_cast<QLineEdit *>(watched);
        if (auto *combo = qobject_cast<QComboBox *>(watched))
            edit = combo->lineEdit();
        else if (qobject_cast<QAbstractSpinBox *>(watched))
            edit = watched->findChild<QLineEdit *>();
        if (!edit || !m_window->isAncestorOf(edit))
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const QKeyCombination pressed = key->keyCombination();
        if (pressed == QKeyCombination(Qt::ControlModifier, Qt::Key_Z))
            return !edit->isUndoAvailable();
        if (pressed == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z))
            return !edit->isRedoAvailable();
        return false;
    }

private:
    QWidget *m_window;
};

} // namespace

void TfrmMain::SetUpUndo()
{
    // Entries past their 90 days go at the start; a ledger that cannot be
    // written now keeps them until a later start.
    try {
        DbMan->PurgeRecycleBin(QDateTime::currentSecsSinceEpoch());
    } catch (const TError &) {
    }

    UndoStack = std::make_unique<TUndoStack>(*DbMan);
    UndoStack->Changed = [this] { UpdateUndoActions(); };

    QMenu *more = pnlTransactions->MoreMenu();
    more->addSeparator()->setObjectName(QStringLiteral("mnuTransMore_UndoSeparator"));
    // The keys are the window's own shortcuts; the menu only names them.
    mnuTransMore_Undo = more->addAction(QStringLiteral("撤销\tCtrl+Z"));
    mnuTransMore_Undo->setObjectName(QStringLiteral("mnuTransMore_Undo"));
    connect(mnuTransMore_Undo, &QAction::triggered, this, &TfrmMain::mnuTransMore_UndoClick);
    mnuTransMore_Redo = more->addAction(QStringLiteral("重做\tCtrl+Shift+Z"));
    mnuTransMore_Redo->setObjectName(QStringLiteral("mnuTransMore_Redo"));
    connect(mnuTransMore_Redo, &QAction::triggered, this, &TfrmMain::mnuTransMore_RedoClick);

    auto *undoKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
    undoKey->setObjectName(QStringLiteral("keyUndo"));
    connect(undoKey, &QShortcut::activated, this, &TfrmMain::mnuTransMore_UndoClick);
    auto *redoKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this);
    redoKey->setObjectName(QStringLiteral("keyRedo"));
    connect(redoKey, &QShortcut::activated, this, &TfrmMain::mnuTransMore_RedoClick);
    qApp->installEventFilter(new TUndoKeyFilter(this));

    lblUndoStatus = Make<QLabel>(pnlCenter, "lblUndoStatus");
    SetTextColor(lblUndoStatus, Maroon());
    lblUndoStatus->hide();
    tmrUndoStatus = new QTimer(this);
    tmrUndoStatus->setSingleShot(true);
    tmrUndoStatus->setInterval(UndoLineMs);
    connect(tmrUndoStatus, &QTimer::timeout, lblUndoStatus, &QLabel::hide);
    UpdateUndoActions();
}

void TfrmMain::UpdateUndoActions()
{
    if (!mnuTransMore_Undo)
        return;
    const bool undo = UndoStack && UndoStack->CanUndo();
    const bool redo = UndoStack && UndoStack->CanRedo();
    mnuTransMore_Undo->setEnabled(undo);
    mnuTransMore_Redo->setEnabled(redo);
    mnuTransMore_Undo->setToolTip(undo ? QStringLiteral("撤销：") + UndoStack->UndoName()
                                       : QString());
    mnuTransMore_Redo->setToolTip(redo ? QStringLiteral("重做：") + UndoStack->RedoName()
                                       : QString());
    pnlTransactions->MoreMenu()->setToolTipsVisible(true);
}

void TfrmMain::ShowUndoLine(const QString &line)
{
    if (!lblUndoStatus)
        return;
    // The free part of the control strip; the browser page has its find bar
    // there, so the line stands over its totals line for a while.
    const bool browser = rdoTransactions->isChecked();
    if (browser)
        lblUndoStatus->setGeometry(12, 38 + 40 + 373, 430, 20);
    else
        lblUndoStatus->setGeometry(280, 10, 356, 17);
    // Over the totals line it hides them; the strip is white as it is.
    lblUndoStatus->setAutoFillBackground(browser);
    lblUndoStatus->setText(
        lblUndoStatus->fontMetrics().elidedText(line, Qt::ElideRight, lblUndoStatus->width()));
    lblUndoStatus->setToolTip(line);
    lblUndoStatus->show();
    lblUndoStatus->raise();
    tmrUndoStatus->start();
}

void TfrmMain::ShowStoreAgain()
{
    TDialogs::Guard(this, [&] {
        pnlExpense->LoadCateList(DbMan->GetCateList(UserName, KindOut()));
        pnlIncome->LoadCateList(DbMan->GetCateList(UserName, KindIn()));
    });
    pnlTransactions->Refresh();
    UpdateButtons();
}

void TfrmMain::mnuTransMore_UndoClick()
{
    if (!UndoStack)
        return;
    if (!UndoStack->CanUndo()) {
        ShowUndoLine(QStringLiteral("没有可以撤销的操作。"));
        return;
    }
    QString line;
    TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        const QString question = UndoStack->UndoQuestion();
        if (!question.isEmpty()) {
            busy.Done();
            if (!TDialogs::Ask(this, question, false))
                return;
        }
        line = UndoStack->Undo();
    });
    if (line.isEmpty())
        return;
    ShowStoreAgain();
    ShowUndoLine(line);
}

void TfrmMain::mnuTransMore_RedoClick()
{
    if (!UndoStack)
        return;
    if (!UndoStack->CanRedo()) {
        ShowUndoLine(QStringLiteral("没有可以重做的操作。"));
        return;
    }
    QString line;
    TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        line = UndoStack->Redo();
    });
    if (line.isEmpty())
        return;
    ShowStoreAgain();
    ShowUndoLine(line);
}

void TfrmMain::mnuMenu_RecycleClick()
{
    if (!DbMan)
        return;
    QList<TRecycleEntry> entries;
    if (!TDialogs::Guard(this, [&] { entries = DbMan->RecycleBin(UserName); }))
        return;
    TfrmRecycle window(
        this, entries, [this](const QList<qint64> &ids, QList<TRecycleEntry> &binNow) {
            TBusy busy(nullptr);
            const TRecycleRestore r = DbMan->RestoreRecycled(UserName, ids);
            binNow = DbMan->RecycleBin(UserName);
            QString text = QStringLiteral("恢复了 %1 条记录。").arg(r.Restored);
            if (r.Replaced > 0)
                text += QStringLiteral("其中 %1 条在修改后又被改动过，改动后的内容已放进回收站。")
                            .arg(r.Replaced);
            if (r.Revived > 0)
                text += QStringLiteral("其中 %1 条修改后的记录已被删除，原来的内容重新成为记录。")
                            .arg(r.Revived);
            if (r.Skipped > 0)
                text += QStringLiteral("另有 %1 条已在别处恢复过，没有再恢复。").arg(r.Skipped);
            return text;
        });
    window.exec();
    if (window.Restored())
        ShowStoreAgain();
}
