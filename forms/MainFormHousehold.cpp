// The account menu's 家庭共享…: whether the other accounts of this ledger see
// this account's records in 家庭汇总. Either way round it asks the account's
// password first, so nobody at an unattended computer opens someone's records.

#include "MainForm.h"

#include "DbClass.h"
#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"

#include <QAction>

void TfrmMain::ShowHouseholdShare(bool shared)
{
    mnuMenu_HouseholdShare->setChecked(shared);
    mnuMenu_HouseholdShare->setToolTip(shared
                                           ? QStringLiteral("其他账户能在“家庭汇总”里看到您的记录")
                                           : QStringLiteral("只有您自己看得到您的记录"));
}

void TfrmMain::mnuMenu_HouseholdShareClick()
{
    // The store decides what is changed, not the tick the click just moved.
    bool shared = false;
    if (!TDialogs::Guard(this, [&] { shared = DbMan->HouseholdShare(UserName); })) {
        ShowHouseholdShare(!mnuMenu_HouseholdShare->isChecked());
        return;
    }
    ShowHouseholdShare(shared);
    if (DbMan->ReadOnly()) {
        TDialogs::Error(this, TDbMan::ReadOnlyText());
        return;
    }
    const QString caption = QStringLiteral("家庭共享");
    const QString prompt =
        shared ? QStringLiteral("现在其他账户能在“家庭汇总”里看到 %1 的记录。\n"
                                "要停止共享，请输入 %1 的密码：")
                     .arg(ElidedName(UserName))
               : QStringLiteral("打开后，本账本的其他账户能在“家庭汇总”里看到 %1 的全部收支记录"
                                "（只能查看，不能修改）。\n要打开共享，请输入 %1 的密码：")
                     .arg(ElidedName(UserName));
    QString typed;
    if (!TDialogs::InputPassword(this, caption, prompt, typed))
        return; // cancelled: nothing changes
    bool changed = false;
    const bool done = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        // Compared as the login compares it.
        changed = DbMan->SetHouseholdShare(UserName, THi::Trim(typed), !shared);
    });
    if (!done)
        return;
    if (!changed) {
        TDialogs::Error(this, QStringLiteral("密码不对，家庭共享没有改变。"));
        return;
    }
    ShowHouseholdShare(!shared);
    TDialogs::Info(this, caption,
                   !shared ? QStringLiteral("已打开：其他账户现在能在“家庭汇总”里看到您的记录。")
                           : QStringLiteral("已关闭：其他账户不再看得到您的记录。"));
}
