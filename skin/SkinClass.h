#pragma once

// TSkinMan gives a frameless window its frame made of pictures: it paints the
// title strip and the three thin borders into the four edge pictures the
// window keeps along its sides, and puts an icon, the caption and the
// minimise and close buttons on the title strip. A left press on the strip
// moves the window. The frame is painted once, at construction; the window is
// expected to keep its size.
//
// The window hands over its edge pictures (each the only child of a panel on
// its edge, the panels placed by hand or by the window's layout) and the panel
// that fills the rest, and frees the object before its own controls go.

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>

class QLabel;
class QWidget;

// A picture from the resources with one colour made fully transparent, so
// that keyed bitmaps sit on whatever lies behind them.
QImage KeyedImage(const QString &fileName, QColor key);

class TSkinMan : public QObject {
    Q_OBJECT

public:
    TSkinMan(QLabel *left, QLabel *top, QLabel *right, QLabel *bottom, QWidget *clientPanel);
    ~TSkinMan() override;

    // Made by the constructor on the title strip's panel; all null when the
    // window was left as it was (border of its own, or too small).
    QPointer<QLabel> IconImage;
    QPointer<QLabel> TitleLabel;
    QPointer<QLabel> MinimizeButton;
    QPointer<QLabel> CloseButton;

    // What the buttons and the strip ask of the window. By default: close,
    // minimise, and a move by the window system; replaceable so that the
    // requests can be watched where no window manager is.
    std::function<void(QWidget *window)> CloseWindow;
    std::function<void(QWidget *window)> MinimizeWindow;
    std::function<void(QWidget *window)> MoveWindow;

    void TitleMouseDown(QObject *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                        const QPoint &pos);
    void CloseMouseDown(QObject *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                        const QPoint &pos);
    void CloseMouseUp(QObject *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                      const QPoint &pos);
    void MinimizeMouseDown(QObject *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                           const QPoint &pos);
    void MinimizeMouseUp(QObject *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                         const QPoint &pos);

    // Draws the tile for name ("minimize", "close") and state ("up", "down")
    // into the button's picture; any other pair leaves the picture as it is.
    static void PaintButton(QLabel *button, const QString &name, const QString &state);

    // Sizes the picture control and its picture to the parent's client area.
    static void FitImageToParent(QLabel *image);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QLabel> m_top;
};
