// The account menu's 定期收支… and the proposals of recurring entries: the
// due dates claimed into the entry panels' pending lists when the window
// shows and when an entry page opens, confirmed while it stays open, and
// released when it closes with them unsaved.

#include "MainForm.h"

#include "DbClass.h"
#include "Dialogs.h"
#include "EntryPanel.h"
#include "FormKit.h"
#include "RecurringForm.h"

#include <QDateTime>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

void TfrmMain::StartRecurring()
{
    // In the free part of the control strip, where the browser page has its find bar.
    lblProposals = Make<QLabel>(pnlControl, "lblProposals", QRect(280, 10, 356, 17));
    SetTextColor(lblProposals, QColor(0x80, 0x60, 0x00));
    lblProposals->hide();
    connect(pnlExpense, &TEntryPanel::listChanged, this, &TfrmMain::UpdateProposalLine);
    connect(pnlIncome, &TEntryPanel::listChanged, this, &TfrmMain::UpdateProposalLine);

    tmrKeepProposals = new QTimer(this);
    tmrKeepProposals->setObjectName(QStringLiteral("tmrKeepProposals"));
    tmrKeepProposals->setInterval(RecurringStore::KeepIntervalMs);
    connect(tmrKeepProposals, &QTimer::timeout, this, &TfrmMain::KeepRecurring);
    tmrKeepProposals->start();
    // Once the window shows: the first proposals come with the first look at it.
    QTimer::singleShot(0, this, [this] {
        m_recurringStarted = true;
        ProposeRecurring();
    });
}

void TfrmMain::RecurringPageChanged()
{
    if (!rdoTransactions->isChecked())
        ProposeRecurring();
    UpdateProposalLine();
}

void TfrmMain::UpdateProposalLine()
{
    if (!lblProposals)
        return;
    // Says where the proposals wait, so that those of the other page are not missed.
    QStringList parts;
    const int out = pnlExpense->ProposalCount();
    const int in = pnlIncome->ProposalCount();
    if (out > 0)
        parts << QStringLiteral("支出 %1 条").arg(out);
    if (in > 0)
        parts << QStringLiteral("收入 %1 条").arg(in);
    lblProposals->setText(QStringLiteral("定期收支待保存：") + parts.join(QStringLiteral("、")));
    lblProposals->setVisible(!parts.isEmpty() && !rdoTransactions->isChecked() &&
                             !(lblReadOnly && lblReadOnly->isVisible()));
}

void TfrmMain::ProposeRecurring()
{
    if (!m_recurringStarted || !DbMan || DbMan->ReadOnly())
        return;
    // Own claims first: confirmed, they are never mistaken for a quiet
    // program's, and this program proposes nothing twice.
    KeepRecurring();
    QList<TProposal> proposals;
    // Quietly when the ledger cannot be reached now: the next page change tries again.
    try {
        proposals = DbMan->ClaimProposals(UserName, QDate::currentDate(),
                                          QDateTime::currentSecsSinceEpoch());
    } catch (const TError &) {
        return;
    }
    pnlExpense->AddProposals(proposals);
    pnlIncome->AddProposals(proposals);
}

void TfrmMain::KeepRecurring()
{
    if (!DbMan || DbMan->ReadOnly())
        return;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    pnlExpense->KeepProposals(now);
    pnlIncome->KeepProposals(now);
}

void TfrmMain::ReleaseRecurring() noexcept
{
    if (!DbMan || !pnlExpense || !pnlIncome)
        return;
    pnlExpense->ReleaseProposals();
    pnlIncome->ReleaseProposals();
}

void TfrmMain::mnuMenu_RecurringClick()
{
    if (!DbMan)
        return;
    QString outCates, inCates;
    if (!TDialogs::Guard(this, [&] {
            outCates = DbMan->GetCateList(UserName, KindOut());
            inCates = DbMan->GetCateList(UserName, KindIn());
        }))
        return;
    TfrmRecurring form(this, *DbMan, UserName, THi::SplitLines(outCates), THi::SplitLines(inCates),
                       QDate::currentDate());
    form.exec();
    // Categories typed there joined the pick lists.
    TDialogs::Guard(this, [&] {
        pnlExpense->LoadCateList(DbMan->GetCateList(UserName, KindOut()));
        pnlIncome->LoadCateList(DbMan->GetCateList(UserName, KindIn()));
    });
    // An entry due today is proposed at once, on the page it belongs to.
    RecurringPageChanged();
}
