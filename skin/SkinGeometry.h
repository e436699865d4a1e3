#pragma once

// Where the skin's pieces go for a window of a given size: the copies from the
// frame picture RES_FORM onto the four edge pictures, the places of the title
// strip's controls and the button tiles of RES_TITLE. No widgets here, so the
// layout can be checked without a window.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

namespace SkinGeometry {

constexpr int TitleHeight = 36;
constexpr int BottomHeight = 6;
constexpr int BorderWidth = 2;
constexpr int MinWidth = 251;
constexpr int MinHeight = 189;
// A press in the strip's lowest rows does not move the window.
constexpr int DragRows = 32;
constexpr int ButtonSize = 20;

// One copy from RES_FORM: plain copies have equal sizes; stretched ones scale
// source to target. A target may be empty (a 251-wide bottom strip).
struct Blit {
    QRect target;
    QRect source;
    bool stretch = false;
};

inline bool operator==(const Blit &a, const Blit &b)
{
    return a.target == b.target && a.source == b.source && a.stretch == b.stretch;
}

// Targets are in the coordinates of each edge picture: the title strip is
// width x 36, the side borders 2 x (height - 42), the bottom strip width x 6.
struct FrameLayout {
    QVector<Blit> title;
    QVector<Blit> left;
    QVector<Blit> right;
    QVector<Blit> bottom;
};

// False for a window with a border of its own or below 251 x 189: such a
// window keeps its own look and gets no skin at all.
bool HasFrame(QSize window, bool bordered);

// Valid for windows that HasFrame accepts.
FrameLayout Frame(QSize window);

// Top of a control of this height centred on the title strip; the halving
// is an integer division, truncated towards zero.
int CentredTop(int height);

// Top-left corners on the title strip.
struct TitleControls {
    QPoint icon;
    QPoint label;
    QPoint close;
    QPoint minimize;
};

TitleControls ControlPlaces(int windowWidth, QSize iconSize, int labelHeight);

// The 20 x 20 tile of RES_TITLE for a button name ("minimize", "close") and
// state ("up", "down"), compared without regard to the case of A to Z; a null
// rectangle for any other pair.
QRect ButtonTile(const QString &name, const QString &state);

} // namespace SkinGeometry
