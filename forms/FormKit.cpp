#include "FormKit.h"

#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>

QFont ProgramFont()
{
    QFont f(QStringLiteral("WenQuanYi Micro Hei"), 9);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

void FlatButtons(QWidget *form)
{
    if (!form)
        return;
    for (QPushButton *b : form->findChildren<QPushButton *>())
        b->setFlat(true);
    // Qt draws a flat button as bare text; keep a thin frame so it still reads as a button.
    form->setStyleSheet(
        form->styleSheet() +
        QStringLiteral(
            "QPushButton[flat=\"true\"] { border: 1px solid #9aa7ad; border-radius: 2px;"
            " background: #fafafa; padding: 0 4px; }"
            "QPushButton[flat=\"true\"]:hover { background: #e6f2f4; border-color: #2f6f7e; }"
            "QPushButton[flat=\"true\"]:pressed { background: #cfe3e8; }"
            "QPushButton[flat=\"true\"]:focus { border-color: #2f6f7e; }"
            "QPushButton[flat=\"true\"]:disabled { color: #a0a0a0; border-color: #d0d0d0;"
            " background: #f3f3f3; }"));
}

QString CutHint(const QString &limitText)
{
    return QStringLiteral("文字太长：这一栏%1，多出的部分没有加上。").arg(limitText);
}

void SayWhenCut(QLineEdit *edit, const QString &limitText)
{
    QObject::connect(edit, &QLineEdit::inputRejected, edit, [edit, limitText] {
        const QString limit = !limitText.isEmpty()
                                  ? limitText
                                  : QStringLiteral("至多 %1 个字符").arg(edit->maxLength());
        // Only when the field is full: a validator may refuse a key for other reasons.
        if (limitText.isEmpty() && edit->text().size() < edit->maxLength())
            return;
        QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), CutHint(limit), edit,
                           QRect(), 5000);
    });
}

QString ElidedName(const QString &name)
{
    int width = 400;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width() / 3);
    return QFontMetrics(QApplication::font()).elidedText(name, Qt::ElideMiddle, width);
}
