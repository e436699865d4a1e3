// Draws the window-skin pictures, the menu button pictures and the program
// icons into a folder:
//
//     tallimo_drawskin resources/skin
//
// The results are kept in the repository; the build never runs this. The
// frame, icon and button bitmaps are 24-bit BMP with a key colour instead of
// alpha, so their edges are drawn pixel-exact or blended against the very
// strip colour they will sit on, never against the key colour.

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cstdio>

namespace {

const QColor Outline(0x12, 0x38, 0x45);
const QColor StripTop(0x2e, 0x72, 0x82);
const QColor StripBottom(0x1f, 0x55, 0x63);
const QColor BorderBottom(0x1a, 0x4a, 0x57);
// Never copied into a frame; the geometry tests look for it.
const QColor Guide(0xff, 0x00, 0xff);
const QColor Magenta(0xff, 0x00, 0xff);

QColor mix(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// One colour per row of the 36-row title strip. Rows only: the middle of the
// strip is stretched sideways, and the buttons match the strip row by row.
QColor stripColour(int row)
{
    if (row == 0)
        return Outline;
    if (row == 1)
        return QColor(0x45, 0x8f, 0x9e);
    if (row == 35)
        return QColor(0x16, 0x42, 0x4e);
    return mix(StripTop, StripBottom, (row - 2) / 32.0);
}

QImage drawForm()
{
    QImage img(443, 56, QImage::Format_RGB32);
    img.fill(QColor(0xf0, 0xf0, 0xf0));

    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 443; ++x)
            img.setPixelColor(x, y, stripColour(y));
    for (int y = 0; y < 36; ++y) {
        img.setPixelColor(0, y, Outline);
        img.setPixelColor(442, y, Outline);
    }

    // Side border sample: outline outside, the strip's lower tone inside.
    for (int y = 37; y <= 48; ++y) {
        img.setPixelColor(0, y, Outline);
        img.setPixelColor(1, y, StripBottom);
        img.setPixelColor(441, y, StripBottom);
        img.setPixelColor(442, y, Outline);
    }

    for (int y = 50; y <= 55; ++y) {
        const QColor c = y == 55 ? Outline : mix(StripBottom, BorderBottom, (y - 50) / 4.0);
        for (int x = 0; x < 443; ++x)
            img.setPixelColor(x, y, c);
        img.setPixelColor(0, y, Outline);
        img.setPixelColor(442, y, Outline);
    }

    // The bottom strip's pieces do read columns 9, 190 and 428, so below the
    // title only 126 and 317 carry guides.
    for (int x : {9, 126, 190, 317, 428})
        for (int y = 0; y < 50; ++y)
            img.setPixelColor(x, y, Guide);
    for (int x : {126, 317})
        for (int y = 50; y < 56; ++y)
            img.setPixelColor(x, y, Guide);
    for (int y : {36, 49})
        for (int x = 0; x < 443; ++x)
            img.setPixelColor(x, y, Guide);
    return img;
}

QImage drawIcon()
{
    // An open ledger on its cover. White is the key colour, so the paper is
    // an off-white and nothing is anti-aliased.
    static const char *const rows[13] = {
        "..PPPPP...PPPPP..", //
        ".PPPPPPPSPPPPPPP.", //
        ".PLLLLPPSPPLLLLP.", //
        "CPPPPPPPSPPPPPPPC", //
        "CPLLLLPPSPPLLLLPC", //
        "CPPPPPPPSPPPPPPPC", //
        "CPLLLLPPSPPLLAAPC", //
        "CPPPPPPPSPPPPPPPC", //
        "CPLLLLPPSPPLLLLPC", //
        "CPPPPPPPSPPPPPPPC", //
        "CEEEEEEESEEEEEEEC", //
        "CCCCCCCCDCCCCCCCC", //
        ".CCCCCCC.CCCCCCC.", //
    };
    QImage img(17, 13, QImage::Format_RGB32);
    for (int y = 0; y < 13; ++y) {
        for (int x = 0; x < 17; ++x) {
            QColor c;
            switch (rows[y][x]) {
            case 'P':
                c = QColor(0xf4, 0xf1, 0xe8);
                break;
            case 'L':
                c = QColor(0x86, 0xae, 0xb6);
                break;
            case 'S':
                c = QColor(0xb8, 0xae, 0x98);
                break;
            case 'A':
                c = QColor(0xe0, 0x8e, 0x2b);
                break;
            case 'E':
                c = QColor(0xd6, 0xcd, 0xb8);
                break;
            case 'C':
                c = QColor(0xd9, 0x96, 0x3a);
                break;
            case 'D':
                c = QColor(0xa8, 0x6c, 0x22);
                break;
            default:
                c = Qt::white;
                break;
            }
            img.setPixelColor(x, y, c);
        }
    }
    return img;
}

enum class Glyph { None, Minimize, Close };

// A 20 x 20 tile: a magenta ring (transparent), inside it the strip rows the
// tile covers when it is centred on the strip (rows 8 to 27), so every
// anti-aliased edge is already blended with what lies behind it.
void drawTile(QPainter &p, int left, Glyph glyph, bool pressed)
{
    p.fillRect(left, 0, 20, 20, Magenta);
    if (glyph == Glyph::None)
        return;
    for (int y = 1; y < 19; ++y)
        p.fillRect(left + 1, y, 18, 1, stripColour(8 + y));

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(left + 1, 1, 18, 18);
    if (pressed) {
        const QColor body =
            glyph == Glyph::Close ? QColor(0xc9, 0x4a, 0x42) : QColor(0x15, 0x40, 0x4b);
        p.setPen(Qt::NoPen);
        p.setBrush(body);
        p.drawRoundedRect(QRectF(left + 1, 1, 18, 18), 3, 3);
    }
    // Both glyphs are 9 px wide around the centre of pixel 9, so the
    // minimise bar is one crisp row and the cross meets in one pixel.
    const QColor ink = pressed ? QColor(Qt::white) : QColor(0xe6, 0xf1, 0xf3);
    if (glyph == Glyph::Minimize) {
        p.fillRect(left + 5, 10, 9, 1, ink);
    } else {
        QPen pen(ink, 1.4);
        pen.setCapStyle(Qt::FlatCap);
        p.setPen(pen);
        p.drawLine(QPointF(left + 5.5, 5.5), QPointF(left + 13.5, 13.5));
        p.drawLine(QPointF(left + 13.5, 5.5), QPointF(left + 5.5, 13.5));
    }
    p.restore();
}

QImage drawTitleButtons()
{
    QImage img(120, 20, QImage::Format_RGB32);
    QPainter p(&img);
    drawTile(p, 0, Glyph::Minimize, false);
    drawTile(p, 20, Glyph::Minimize, true);
    drawTile(p, 40, Glyph::None, false);
    drawTile(p, 60, Glyph::Close, false);
    drawTile(p, 80, Glyph::Close, true);
    drawTile(p, 100, Glyph::None, false);
    return img;
}

// The account menu button of the main window; it stands on a white band.
QImage drawMenuButton(bool pressed)
{
    QImage img(38, 13, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient fill(0, 0, 0, 13);
    fill.setColorAt(0, pressed ? QColor(0xcf, 0xdf, 0xe3) : QColor(0xff, 0xff, 0xff));
    fill.setColorAt(1, pressed ? QColor(0xe4, 0xed, 0xef) : QColor(0xe3, 0xec, 0xee));
    p.setPen(pressed ? QColor(0x5f, 0x8e, 0x99) : QColor(0x9c, 0xb7, 0xbd));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, 37, 12), 3, 3);

    const int shift = pressed ? 1 : 0;
    const QColor ink(0x1f, 0x55, 0x63);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(QRectF(4 + shift, shift, 24, 13), Qt::AlignCenter, QStringLiteral("菜单"));

    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const QPointF arrow[3] = {QPointF(28.5 + shift, 5 + shift), QPointF(33.5 + shift, 5 + shift),
                              QPointF(31 + shift, 8 + shift)};
    p.drawPolygon(arrow, 3);
    return img;
}

QPainterPath pagePath(bool right)
{
    // Left page in a 256 grid; the right page is its mirror image.
    QPainterPath path;
    path.moveTo(128, 86);
    path.quadTo(90, 62, 46, 74);
    path.lineTo(46, 180);
    path.quadTo(90, 168, 128, 190);
    path.closeSubpath();
    if (!right)
        return path;
    QTransform mirror(-1, 0, 0, 1, 256, 0);
    return mirror.map(path);
}

QImage drawAppIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient back(0, 8, 0, 248);
    back.setColorAt(0, QColor(0x36, 0x86, 0x96));
    back.setColorAt(1, QColor(0x1a, 0x4b, 0x58));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 48, 48);
    p.setPen(QPen(QColor(255, 255, 255, 40), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(10, 10, 236, 236), 46, 46);

    // Cover showing under the pages.
    QPainterPath cover;
    cover.moveTo(36, 82);
    cover.lineTo(36, 192);
    cover.quadTo(86, 180, 128, 204);
    cover.quadTo(170, 180, 220, 192);
    cover.lineTo(220, 82);
    cover.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd9, 0x96, 0x3a));
    p.drawPath(cover);

    for (bool right : {false, true}) {
        QLinearGradient paper(right ? 128 : 128, 0, right ? 220 : 36, 0);
        paper.setColorAt(0, QColor(0xd9, 0xd2, 0xc2));
        paper.setColorAt(0.18, QColor(0xf4, 0xf1, 0xe8));
        paper.setColorAt(1, QColor(0xfb, 0xf9, 0xf3));
        p.setBrush(paper);
        p.drawPath(pagePath(right));
    }

    // Ruled lines following the page curve.
    QPen rule(QColor(0x86, 0xae, 0xb6), 5, Qt::SolidLine, Qt::RoundCap);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        const double dy = 26.0 * i;
        for (bool right : {false, true}) {
            QPainterPath line;
            line.moveTo(62, 96 + dy);
            line.quadTo(92, 88 + dy, 114, 102 + dy);
            p.setPen(rule);
            p.drawPath(right ? QTransform(-1, 0, 0, 1, 256, 0).map(line) : line);
        }
    }

    // A coin: this is a book of money.
    const QPointF centre(186, 186);
    QRadialGradient coin(centre - QPointF(10, 10), 44);
    coin.setColorAt(0, QColor(0xf6, 0xc3, 0x5e));
    coin.setColorAt(1, QColor(0xd4, 0x8a, 0x26));
    p.setPen(QPen(QColor(0x9c, 0x5f, 0x14), 5));
    p.setBrush(coin);
    p.drawEllipse(centre, 40, 40);
    QPen mark(QColor(0xff, 0xf6, 0xe2), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(mark);
    p.drawLine(QPointF(170, 164), QPointF(186, 184));
    p.drawLine(QPointF(202, 164), QPointF(186, 184));
    p.drawLine(QPointF(186, 184), QPointF(186, 208));
    p.drawLine(QPointF(172, 186), QPointF(200, 186));
    p.drawLine(QPointF(172, 198), QPointF(200, 198));
    return img;
}

bool save(const QImage &img, const QString &dir, const QString &name)
{
    const QString path = dir + QLatin1Char('/') + name;
    // Plain RGB so the BMP writer emits 24 bits a pixel.
    const QImage out =
        name.endsWith(QLatin1String(".bmp")) ? img.convertToFormat(QImage::Format_RGB32) : img;
    if (!out.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const bool ok = save(drawForm(), dir, QStringLiteral("RES_FORM.bmp")) &&
                    save(drawIcon(), dir, QStringLiteral("RES_ICON.bmp")) &&
                    save(drawTitleButtons(), dir, QStringLiteral("RES_TITLE.bmp")) &&
                    save(drawMenuButton(false), dir, QStringLiteral("menu-up.png")) &&
                    save(drawMenuButton(true), dir, QStringLiteral("menu-down.png")) &&
                    save(drawAppIcon(64), dir, QStringLiteral("tallimo-64.png")) &&
                    save(drawAppIcon(256), dir, QStringLiteral("tallimo-256.png"));
    return ok ? 0 : 1;
}
