#include "SkinGeometry.h"

#include "HiClass.h"

#include <algorithm>

namespace SkinGeometry {

namespace {

// Rows of RES_FORM; rows 36 and 49 and the columns 9, 126, 190, 317 and 428
// are guide lines between the pieces and are never copied.
constexpr int SideSourceTop = 37;
constexpr int SideSourceRows = 12;
constexpr int BottomSourceTop = 50;

Blit plain(int x, int y, int width, int height, int sourceX, int sourceY)
{
    return {QRect(x, y, width, height), QRect(sourceX, sourceY, width, height), false};
}

Blit stretched(QRect target, QRect source)
{
    return {target, source, true};
}

} // namespace

bool HasFrame(QSize window, bool bordered)
{
    return !bordered && window.width() >= MinWidth && window.height() >= MinHeight;
}

FrameLayout Frame(QSize window)
{
    const int w = window.width();
    const int sideHeight = window.height() - TitleHeight - BottomHeight;
    FrameLayout f;

    // The two middle pieces of the title share what the fixed ends leave; each
    // stretches its own source span and never reads past it.
    const int d1 = (w - 249) / 2;
    const int d2 = w - 249 - d1;
    f.title = {
        plain(0, 0, 9, TitleHeight, 0, 0),
        plain(9, 0, 116, TitleHeight, 10, 0),
        stretched(QRect(125, 0, d1, TitleHeight), QRect(127, 0, std::min(d1, 63), TitleHeight)),
        stretched(QRect(125 + d1, 0, d2, TitleHeight),
                  QRect(std::max(317 - d2, 191), 0, std::min(d2, 126), TitleHeight)),
        plain(w - 124, 0, 110, TitleHeight, 318, 0),
        plain(w - 14, 0, 14, TitleHeight, 429, 0),
    };

    const QRect side(0, 0, BorderWidth, sideHeight);
    f.left = {stretched(side, QRect(0, SideSourceTop, BorderWidth, SideSourceRows))};
    f.right = {stretched(side, QRect(441, SideSourceTop, BorderWidth, SideSourceRows))};

    const int middle = w - 251;
    f.bottom = {
        plain(0, 0, 126, BottomHeight, 0, BottomSourceTop),
        stretched(QRect(126, 0, middle, BottomHeight),
                  QRect(127, BottomSourceTop, std::min(middle, 190), BottomHeight)),
        plain(w - 125, 0, 125, BottomHeight, 318, BottomSourceTop),
    };
    return f;
}

int CentredTop(int height)
{
    return (TitleHeight - height) / 2;
}

TitleControls ControlPlaces(int windowWidth, QSize iconSize, int labelHeight)
{
    TitleControls c;
    c.icon = QPoint(10, CentredTop(iconSize.height()));
    c.label = QPoint(c.icon.x() + iconSize.width() + 5, CentredTop(labelHeight));
    c.close = QPoint(windowWidth - 10 - ButtonSize, CentredTop(ButtonSize));
    c.minimize = QPoint(c.close.x() - 1 - ButtonSize, CentredTop(ButtonSize));
    return c;
}

QRect ButtonTile(const QString &name, const QString &state)
{
    const QString n = THi::LowerAscii(name);
    const QString s = THi::LowerAscii(state);
    const bool down = s == QLatin1String("down");
    if (!down && s != QLatin1String("up"))
        return {};
    int x;
    if (n == QLatin1String("minimize"))
        x = down ? 20 : 0;
    else if (n == QLatin1String("close"))
        x = down ? 80 : 60;
    else
        return {};
    return QRect(x, 0, ButtonSize, ButtonSize);
}

} // namespace SkinGeometry
