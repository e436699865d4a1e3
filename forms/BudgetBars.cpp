#include "BudgetBars.h"

#include "HiClass.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

QColor BudgetColor(TBudgetLevel level)
{
    switch (level) {
    case TBudgetLevel::Green:
        return QColor(0x3C, 0x9A, 0x4E);
    case TBudgetLevel::Amber:
        return QColor(0xE0, 0x9A, 0x00);
    case TBudgetLevel::Red:
        break;
    }
    return QColor(0xC6, 0x3C, 0x3C);
}

QString BudgetBarText(const TBudgetFigures &f)
{
    const QString left = f.Left >= 0 ? QStringLiteral("剩余 %1").arg(THi::FormatCents(f.Left))
                                     : QStringLiteral("超支 %1").arg(THi::FormatCents(-f.Left));
    return QStringLiteral("%1%  %2 / %3  %4")
        .arg(f.Percent)
        .arg(THi::FormatCents(f.Spent), THi::FormatCents(f.Budget), left);
}

void PaintBudgetBar(QPainter &painter, const QRect &rect, const TBudgetFigures &f)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRect frame = rect.adjusted(0, 0, -1, -1);
    painter.fillRect(frame, QColor(0xEE, 0xEE, 0xEE));
    // Spent of budget, at most the whole bar; nothing for refunds above spending.
    const double part = f.Budget > 0 ? std::clamp(double(f.Spent) / double(f.Budget), 0.0, 1.0) : 0;
    QRect filled = frame;
    filled.setWidth(qRound(frame.width() * part));
    painter.fillRect(filled, BudgetColor(f.Level));
    painter.setPen(QColor(0xA0, 0xA0, 0xA0));
    painter.drawRect(frame);
    // The figures in black on the light part and white on the filled part.
    const QString text = BudgetBarText(f);
    const QRect textRect = frame.adjusted(6, 0, -4, 0);
    painter.setClipRect(filled);
    painter.setPen(Qt::white);
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text);
    painter.setClipRect(QRect(filled.right() + 1, frame.top(), frame.width(), frame.height() + 1));
    painter.setPen(Qt::black);
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text);
    painter.restore();
}

TBudgetBars::TBudgetBars(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TBudgetBars::SetFigures(const QList<TBudgetFigures> &figures)
{
    m_figures = figures;
    updateGeometry();
    update();
}

int TBudgetBars::RowHeight() const
{
    return fontMetrics().height() + 8;
}

int TBudgetBars::NameWidth() const
{
    int widest = 0;
    for (const TBudgetFigures &f : m_figures)
        widest = std::max(widest, fontMetrics().horizontalAdvance(
                                      THi::VisibleText(TBudgetPlan::DisplayName(f.Category))));
    return std::min(widest, 160) + 12;
}

QRect TBudgetBars::BarRect(int i) const
{
    const int h = RowHeight();
    return QRect(NameWidth(), i * h + 2, std::max(40, width() - NameWidth() - 4), h - 4);
}

QSize TBudgetBars::sizeHint() const
{
    return QSize(480, int(m_figures.size()) * RowHeight());
}

QSize TBudgetBars::minimumSizeHint() const
{
    return QSize(240, int(m_figures.size()) * RowHeight());
}

void TBudgetBars::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int nameWidth = NameWidth();
    for (int i = 0; i < m_figures.size(); ++i) {
        const TBudgetFigures &f = m_figures.at(i);
        const QRect bar = BarRect(i);
        const QString name =
            fontMetrics().elidedText(THi::VisibleText(TBudgetPlan::DisplayName(f.Category)),
                                     Qt::ElideMiddle, nameWidth - 12);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(0, bar.top(), nameWidth - 8, bar.height()),
                   Qt::AlignVCenter | Qt::AlignRight, name);
        PaintBudgetBar(p, bar, f);
    }
}

bool TBudgetBars::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        for (int i = 0; i < m_figures.size(); ++i) {
            if (QRect(0, BarRect(i).top(), width(), BarRect(i).height()).contains(help->pos())) {
                const TBudgetFigures &f = m_figures.at(i);
                QToolTip::showText(help->globalPos(),
                                   QStringLiteral("%1：%2（%3）")
                                       .arg(TBudgetPlan::DisplayName(f.Category), BudgetBarText(f),
                                            TBudgetPlan::LevelText(f.Level)),
                                   this);
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}
