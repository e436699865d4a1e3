#pragma once

// Small helpers for windows built in code: every control gets its design
// name as objectName and is placed at its pixel position.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSize>
#include <QString>
#include <QWidget>

// The sizes the windows share: a view inside the main window's frame (the
// entry panels and the browser), the browser's two lists, a push button.
constexpr QSize ClientSize(696, 445);
constexpr QSize ListSize(672, 362);
constexpr QSize ButtonSize(74, 23);

// The program's font, for the whole application and the entry panels' steps.
QFont ProgramFont();

template <class T> T *Make(QWidget *parent, const char *name)
{
    auto *w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

template <class T> T *Make(QWidget *parent, const char *name, const QRect &geometry)
{
    T *w = Make<T>(parent, name);
    w->setGeometry(geometry);
    return w;
}

// A push button of the usual size at (x, y).
inline QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *b = Make<QPushButton>(parent, name, QRect(QPoint(x, y), ButtonSize));
    b->setText(text);
    return b;
}

inline QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *l = Make<QLabel>(parent, name);
    l->setText(text);
    l->move(x, y);
    l->adjustSize();
    return l;
}

inline QColor Maroon()
{
    return QColor(0x80, 0x00, 0x00);
}

inline void SetBold(QWidget *w)
{
    QFont f = w->font();
    f.setBold(true);
    w->setFont(f);
}

inline void SetTextColor(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    w->setPalette(p);
}

inline void SetBackground(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// Every push button of the window gets the flat look, with a thin frame kept
// so that it still reads as a button.
void FlatButtons(QWidget *form);

// Typing or a paste that the field cuts (its length limit, or a validator
// that refuses the rest) is said in a short hint beside the field, never in
// a box. limitText names the limit; empty: "至多 <maxLength> 个字符".
void SayWhenCut(QLineEdit *edit, const QString &limitText = QString());
// The hint SayWhenCut shows.
QString CutHint(const QString &limitText);

// A name as boxes and menus show it: whole when it fits in a line of
// reasonable width, else cut in the middle with "…", so no box or menu gets
// wider than the screen.
QString ElidedName(const QString &name);
