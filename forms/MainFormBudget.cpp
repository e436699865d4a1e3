// The account menu's 预算…: the budgets of this month, and of any other.

#include "MainForm.h"

#include "BudgetForm.h"

#include <QDate>

void TfrmMain::mnuMenu_BudgetClick()
{
    TfrmBudget budget(this, *DbMan, UserName, QDate::currentDate());
    budget.exec();
}
