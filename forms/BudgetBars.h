#pragma once

// A budget's use as a bar: the part spent of the budget filled in green
// (under 80 %), amber (80 % to 100 %) or red (over), with the figures
// written on it. The 预算 window draws it in its table, the chart window as
// a list of bars.

#include "Budget.h"

#include <QColor>
#include <QList>
#include <QWidget>

class QPainter;

QColor BudgetColor(TBudgetLevel level);
// "85%  1700.00 / 2000.00  剩余 300.00" (超支 instead of 剩余 when over).
QString BudgetBarText(const TBudgetFigures &f);
// Paints the bar into rect with the painter's font.
void PaintBudgetBar(QPainter &painter, const QRect &rect, const TBudgetFigures &f);

// One bar per budgeted category, its name on the left; a tooltip per bar.
class TBudgetBars : public QWidget {
    Q_OBJECT
public:
    explicit TBudgetBars(QWidget *parent = nullptr);
    void SetFigures(const QList<TBudgetFigures> &figures);
    const QList<TBudgetFigures> &Figures() const { return m_figures; }
    // The bar of row i within the widget.
    QRect BarRect(int i) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override; // tooltips

private:
    int RowHeight() const;
    int NameWidth() const;

    QList<TBudgetFigures> m_figures;
};
