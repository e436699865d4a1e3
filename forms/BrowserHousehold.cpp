// The more menu's 家庭汇总…: the household over the dates the browser shows.

#include "BrowserPanel.h"

#include "DateEdit.h"
#include "HouseholdForm.h"

void TBrowserPanel::btnTransMore_HouseholdClick()
{
    if (!m_db)
        return;
    // The period of the lists on screen; the window's own dates change it there.
    QDate start = m_result->Start, end = m_result->End;
    if (!start.isValid() || !end.isValid()) {
        start = dtpTransDate1->date();
        end = dtpTransDate2->date();
    }
    TfrmHousehold frmHousehold(window(), Db(), m_user, start, end);
    frmHousehold.exec();
}
