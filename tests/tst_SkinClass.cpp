#include "SkinClass.h"
#include "SkinGeometry.h"

#include <QBoxLayout>
#include <QLabel>
#include <QtTest>

#include <memory>

using namespace SkinGeometry;

namespace {

const QRgb GuideColour = qRgb(0xff, 0x00, 0xff);
const QString Caption = QStringLiteral("Tallimo - 用户名称：Li");

// The main window's arrangement in small: four edge panels, each holding only
// its picture, around the client panel; in a layout, or placed by hand with
// sizes the skin has to correct.
struct SkinWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QWidget *pnlTop, *pnlLeft, *pnlRight, *pnlBottom, *pnlCenter;
    QLabel *imgTop, *imgLeft, *imgRight, *imgBottom;

    explicit SkinWindow(QSize size, bool frameless = true, bool laidOut = true)
    {
        window->setWindowFlag(Qt::FramelessWindowHint, frameless);
        window->setWindowTitle(Caption);
        imgTop = edge(&pnlTop, "pnlTop", "imgTop");
        imgLeft = edge(&pnlLeft, "pnlLeft", "imgLeft");
        imgRight = edge(&pnlRight, "pnlRight", "imgRight");
        imgBottom = edge(&pnlBottom, "pnlBottom", "imgBottom");
        pnlCenter = new QWidget(window.get());
        window->resize(size);
        if (!laidOut) {
            const int w = size.width(), h = size.height();
            pnlTop->setGeometry(0, 0, w, 30);
            pnlLeft->setGeometry(0, 36, 5, h - 42);
            pnlRight->setGeometry(w - 2, 36, 5, h - 42);
            pnlBottom->setGeometry(0, h - 6, w, 9);
            pnlCenter->setGeometry(2, 36, w - 4, h - 42);
            return;
        }
        auto *outer = new QVBoxLayout(window.get());
        auto *middle = new QHBoxLayout;
        outer->setContentsMargins(0, 0, 0, 0);
        outer->setSpacing(0);
        middle->setSpacing(0);
        outer->addWidget(pnlTop);
        middle->addWidget(pnlLeft);
        middle->addWidget(pnlCenter, 1);
        middle->addWidget(pnlRight);
        outer->addLayout(middle, 1);
        outer->addWidget(pnlBottom);
    }

    QLabel *edge(QWidget **panel, const char *panelName, const char *imageName)
    {
        *panel = new QWidget(window.get());
        (*panel)->setObjectName(QLatin1String(panelName));
        auto *image = new QLabel(*panel);
        image->setObjectName(QLatin1String(imageName));
        return image;
    }

    std::unique_ptr<TSkinMan> skin()
    {
        return std::make_unique<TSkinMan>(imgLeft, imgTop, imgRight, imgBottom, pnlCenter);
    }
};

QImage picture(const QLabel *label)
{
    return label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

// Guide lines of RES_FORM: between the title pieces, between the bottom
// pieces (which do read columns 9, 190 and 428), and the rows 36 and 49.
bool touchesGuide(const QRect &source)
{
    const QVector<int> columns =
        source.top() < 36 ? QVector<int>{9, 126, 190, 317, 428} : QVector<int>{126, 317};
    for (int x : columns)
        if (source.left() <= x && x <= source.right())
            return true;
    for (int y : {36, 49})
        if (source.top() <= y && y <= source.bottom())
            return true;
    return false;
}

} // namespace

class TestSkinClass : public QObject {
    Q_OBJECT

private slots:
    void hasFrame_data();
    void hasFrame();
    void framePieces_data();
    void framePieces();
    void piecesCoverTheEdges_data();
    void piecesCoverTheEdges();
    void controlPlaces_data();
    void controlPlaces();
    void buttonTile_data();
    void buttonTile();
    void resources_data();
    void resources();
    void keyedImage();

    void skinnedLayout_data();
    void skinnedLayout();
    void framePaintedWithoutGuides_data();
    void framePaintedWithoutGuides();
    void buttonPictures_data();
    void buttonPictures();
    void releaseActions_data();
    void releaseActions();
    void titleDrag_data();
    void titleDrag();
    void noSkin_data();
    void noSkin();
    void destruction();
};

void TestSkinClass::hasFrame_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("bordered");
    QTest::addColumn<bool>("expected");
    QTest::addRow("main window") << QSize(700, 525) << false << true;
    QTest::addRow("smallest") << QSize(251, 189) << false << true;
    QTest::addRow("250 wide") << QSize(250, 525) << false << false;
    QTest::addRow("188 high") << QSize(700, 188) << false << false;
    QTest::addRow("own border") << QSize(700, 525) << true << false;
}

void TestSkinClass::hasFrame()
{
    QFETCH(QSize, size);
    QFETCH(bool, bordered);
    QFETCH(bool, expected);
    QCOMPARE(HasFrame(size, bordered), expected);
}

void TestSkinClass::framePieces_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("part");
    QTest::addColumn<int>("index");
    QTest::addColumn<QRect>("target");
    QTest::addColumn<QRect>("source");
    QTest::addColumn<bool>("stretch");
    const QSize main(700, 525), small(251, 189);
    QTest::addRow("700: title middle 1")
        << main << "title" << 2 << QRect(125, 0, 225, 36) << QRect(127, 0, 63, 36) << true;
    QTest::addRow("700: title middle 2")
        << main << "title" << 3 << QRect(350, 0, 226, 36) << QRect(191, 0, 126, 36) << true;
    QTest::addRow("700: title right end")
        << main << "title" << 5 << QRect(686, 0, 14, 36) << QRect(429, 0, 14, 36) << false;
    QTest::addRow("700: left border")
        << main << "left" << 0 << QRect(0, 0, 2, 483) << QRect(0, 37, 2, 12) << true;
    QTest::addRow("700: right border")
        << main << "right" << 0 << QRect(0, 0, 2, 483) << QRect(441, 37, 2, 12) << true;
    QTest::addRow("700: bottom middle")
        << main << "bottom" << 1 << QRect(126, 0, 449, 6) << QRect(127, 50, 190, 6) << true;
    QTest::addRow("700: bottom right")
        << main << "bottom" << 2 << QRect(575, 0, 125, 6) << QRect(318, 50, 125, 6) << false;
    QTest::addRow("251: title middle 1")
        << small << "title" << 2 << QRect(125, 0, 1, 36) << QRect(127, 0, 1, 36) << true;
    QTest::addRow("251: title middle 2 from the span's end")
        << small << "title" << 3 << QRect(126, 0, 1, 36) << QRect(316, 0, 1, 36) << true;
    QTest::addRow("251: bottom middle empty")
        << small << "bottom" << 1 << QRect(126, 0, 0, 6) << QRect(127, 50, 0, 6) << true;
    QTest::addRow("251: side borders")
        << small << "left" << 0 << QRect(0, 0, 2, 147) << QRect(0, 37, 2, 12) << true;
}

void TestSkinClass::framePieces()
{
    QFETCH(QSize, size);
    QFETCH(QString, part);
    QFETCH(int, index);
    const FrameLayout f = Frame(size);
    const QVector<Blit> &pieces = part == QStringLiteral("title")   ? f.title
                                  : part == QStringLiteral("left")  ? f.left
                                  : part == QStringLiteral("right") ? f.right
                                                                    : f.bottom;
    QVERIFY(index < pieces.size());
    const Blit b = pieces.at(index);
    QTEST(b.target, "target");
    QTEST(b.source, "source");
    QTEST(b.stretch, "stretch");
}

void TestSkinClass::piecesCoverTheEdges_data()
{
    QTest::addColumn<int>("width");
    for (int w : {251, 252, 253, 375, 376, 441, 442, 443, 444, 700, 1920})
        QTest::addRow("%d wide", w) << w;
}

// Pieces must meet without gap or overlap, plain copies keep their size and
// no copy reads a guide line, whatever the width.
void TestSkinClass::piecesCoverTheEdges()
{
    QFETCH(int, width);
    const FrameLayout f = Frame(QSize(width, 400));
    for (const QVector<Blit> &strip : {f.title, f.bottom}) {
        int x = 0;
        for (const Blit &b : strip) {
            QCOMPARE(b.target.left(), x);
            x += b.target.width();
            QVERIFY(b.stretch || b.source.size() == b.target.size());
            QVERIFY(b.source.width() <= b.target.width());
            QVERIFY(QRect(0, 0, 443, 56).contains(b.source) || b.source.isEmpty());
            QVERIFY2(b.source.isEmpty() || !touchesGuide(b.source),
                     qPrintable(QStringLiteral("source %1,%2 %3x%4")
                                    .arg(b.source.x())
                                    .arg(b.source.y())
                                    .arg(b.source.width())
                                    .arg(b.source.height())));
        }
        QCOMPARE(x, width);
    }
}

void TestSkinClass::controlPlaces_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("labelHeight");
    QTest::addColumn<QPoint>("label");
    QTest::addColumn<QPoint>("close");
    QTest::addColumn<QPoint>("minimize");
    QTest::addRow("main window") << 700 << 16 << QPoint(32, 10) << QPoint(670, 8) << QPoint(649, 8);
    QTest::addRow("odd label height truncates")
        << 700 << 17 << QPoint(32, 9) << QPoint(670, 8) << QPoint(649, 8);
    QTest::addRow("smallest") << 251 << 16 << QPoint(32, 10) << QPoint(221, 8) << QPoint(200, 8);
    // (36 - 41) / 2 truncates towards zero: -2, not -3.
    QTest::addRow("label taller than the strip")
        << 700 << 41 << QPoint(32, -2) << QPoint(670, 8) << QPoint(649, 8);
}

void TestSkinClass::controlPlaces()
{
    QFETCH(int, width);
    QFETCH(int, labelHeight);
    const TitleControls c = ControlPlaces(width, QSize(17, 13), labelHeight);
    QCOMPARE(c.icon, QPoint(10, 11));
    QTEST(c.label, "label");
    QTEST(c.close, "close");
    QTEST(c.minimize, "minimize");
}

void TestSkinClass::buttonTile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("tileX");
    // clang-format off
    QTest::addRow("minimize up") << "minimize" << "up" << 0;
    QTest::addRow("minimize down") << "minimize" << "down" << 20;
    QTest::addRow("close up") << "close" << "up" << 60;
    QTest::addRow("close down") << "close" << "down" << 80;
    QTest::addRow("mixed case") << "MiniMize" << "DOWN" << 20;
    QTest::addRow("unknown name") << "maximize" << "up" << -1;
    QTest::addRow("unknown state") << "close" << "hover" << -1;
    QTest::addRow("no trimming") << "close " << "up" << -1;
    // clang-format on
    // Only A to Z fold; U+017F would fold to 's' under Unicode rules.
    QTest::addRow("long s is not s") << QStringLiteral("clo\u017Fe") << "up" << -1;
}

void TestSkinClass::buttonTile()
{
    QFETCH(QString, name);
    QFETCH(QString, state);
    QFETCH(int, tileX);
    const QRect tile = ButtonTile(name, state);
    QCOMPARE(tile, tileX < 0 ? QRect() : QRect(tileX, 0, 20, 20));
}

void TestSkinClass::resources_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("bitmap");
    QTest::addRow("frame") << "RES_FORM" << QSize(443, 56) << true;
    QTest::addRow("icon") << "RES_ICON" << QSize(17, 13) << true;
    QTest::addRow("button tiles") << "RES_TITLE" << QSize(120, 20) << true;
    QTest::addRow("menu up") << "MENU_UP" << QSize(38, 13) << false;
    QTest::addRow("menu down") << "MENU_DOWN" << QSize(38, 13) << false;
    QTest::addRow("application icon") << "APP_ICON" << QSize(256, 256) << false;
}

void TestSkinClass::resources()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(bool, bitmap);
    QFile file(QStringLiteral(":/rcdata/") + name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(QImage::fromData(bytes).size(), size);
    if (bitmap) {
        QVERIFY(bytes.startsWith("BM"));
        QCOMPARE(int(quint8(bytes.at(28))), 24); // bits a pixel
    }
}

void TestSkinClass::keyedImage()
{
    const QImage icon = KeyedImage(QStringLiteral(":/rcdata/RES_ICON"), Qt::white);
    const QImage tiles = KeyedImage(QStringLiteral(":/rcdata/RES_TITLE"), Qt::magenta);
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(8, 8)), 255);
    QCOMPARE(qAlpha(tiles.pixel(60, 0)), 0);
    QCOMPARE(qAlpha(tiles.pixel(70, 10)), 255);
}

void TestSkinClass::skinnedLayout_data()
{
    QTest::addColumn<bool>("laidOut");
    QTest::addRow("panels in a layout") << true;
    QTest::addRow("panels placed by hand") << false;
}

void TestSkinClass::skinnedLayout()
{
    QFETCH(bool, laidOut);
    SkinWindow w(QSize(700, 525), true, laidOut);
    const auto skin = w.skin();
    QCOMPARE(w.imgTop->size(), QSize(700, 36));
    QCOMPARE(w.imgLeft->size(), QSize(2, 483));
    QCOMPARE(w.imgRight->size(), QSize(2, 483));
    QCOMPARE(w.imgBottom->size(), QSize(700, 6));
    QCOMPARE(w.imgTop->pixmap().size(), QSize(700, 36));
    QCOMPARE(w.pnlCenter->geometry(), QRect(2, 36, 696, 483));
    QVERIFY(w.pnlCenter->autoFillBackground());
    QCOMPARE(w.pnlCenter->palette().color(QPalette::Window), QColor(0xf0, 0xf0, 0xf0));

    // The label's top depends on the font; it is checked for centring below.
    const struct {
        const char *name;
        QLabel *control;
        QPoint place;
    } controls[] = {{"IconImage", skin->IconImage, {10, 11}},
                    {"CloseButton", skin->CloseButton, {670, 8}},
                    {"MinimizeButton", skin->MinimizeButton, {649, 8}},
                    {"TitleLabel", skin->TitleLabel, {32, -1}}};
    for (const auto &c : controls) {
        QVERIFY2(c.control, c.name);
        QCOMPARE(w.window->findChild<QLabel *>(QLatin1String(c.name)), c.control);
        QCOMPARE(c.control->parentWidget(), w.pnlTop);
        if (c.place.y() >= 0)
            QCOMPARE(c.control->pos(), c.place);
        // In front of the strip picture, so it is what a press there hits.
        QCOMPARE(w.pnlTop->childAt(c.control->geometry().center()), c.control);
    }
    const QRect label = skin->TitleLabel->geometry();
    QCOMPARE(label.x(), 32);
    QCOMPARE(label.y(), (36 - label.height()) / 2);
    QCOMPARE(skin->IconImage->size(), QSize(17, 13));
    QCOMPARE(skin->CloseButton->size(), QSize(20, 20));
    QCOMPARE(skin->TitleLabel->text(), Caption);
    QVERIFY(skin->TitleLabel->font().bold());
    QCOMPARE(skin->TitleLabel->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(skin->CloseButton->toolTip(), QStringLiteral("Close"));
    QCOMPARE(skin->MinimizeButton->toolTip(), QStringLiteral("Minimize"));
}

void TestSkinClass::framePaintedWithoutGuides_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addRow("main window") << QSize(700, 525);
    QTest::addRow("smallest") << QSize(251, 189);
    QTest::addRow("wide") << QSize(1280, 300);
}

void TestSkinClass::framePaintedWithoutGuides()
{
    QFETCH(QSize, size);
    const QImage form(QStringLiteral(":/rcdata/RES_FORM"));
    QCOMPARE(form.pixel(126, 10), GuideColour); // the artwork still marks its guides

    SkinWindow w(size);
    const auto skin = w.skin();
    for (const QLabel *img : {w.imgTop, w.imgLeft, w.imgRight, w.imgBottom}) {
        const QImage painted = picture(img);
        for (int y = 0; y < painted.height(); ++y) {
            for (int x = 0; x < painted.width(); ++x) {
                const QRgb px = painted.pixel(x, y);
                if (qAlpha(px) != 255 || px == GuideColour)
                    QFAIL(qPrintable(QStringLiteral("%1 at %2,%3: %4")
                                         .arg(img->objectName())
                                         .arg(x)
                                         .arg(y)
                                         .arg(qAlpha(px) != 255 ? QStringLiteral("not painted")
                                                                : QStringLiteral("guide line"))));
            }
        }
    }
    // The outer edges come from the picture's outer columns and rows.
    QCOMPARE(picture(w.imgTop).pixel(size.width() - 1, 20), form.pixel(442, 20));
    QCOMPARE(picture(w.imgLeft).pixel(0, 50), form.pixel(0, 40));
    QCOMPARE(picture(w.imgRight).pixel(1, 50), form.pixel(442, 40));
    QCOMPARE(picture(w.imgBottom).pixel(size.width() - 1, 5), form.pixel(442, 55));
}

void TestSkinClass::buttonPictures_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<Qt::MouseButton>("mouse");
    QTest::addColumn<int>("upTile");
    QTest::addColumn<int>("pressedTile");
    QTest::addRow("close, left") << "CloseButton" << Qt::LeftButton << 60 << 80;
    QTest::addRow("close, right") << "CloseButton" << Qt::RightButton << 60 << 60;
    QTest::addRow("minimize, left") << "MinimizeButton" << Qt::LeftButton << 0 << 20;
    QTest::addRow("minimize, middle") << "MinimizeButton" << Qt::MiddleButton << 0 << 0;
}

void TestSkinClass::buttonPictures()
{
    QFETCH(QString, button);
    QFETCH(Qt::MouseButton, mouse);
    QFETCH(int, upTile);
    QFETCH(int, pressedTile);
    SkinWindow w(QSize(700, 525));
    const auto skin = w.skin();
    skin->CloseWindow = [](QWidget *) {};
    skin->MinimizeWindow = [](QWidget *) {};
    QLabel *label = w.window->findChild<QLabel *>(button);
    QVERIFY(label);
    const QImage tiles = KeyedImage(QStringLiteral(":/rcdata/RES_TITLE"), Qt::magenta);
    const QImage up = tiles.copy(upTile, 0, 20, 20);
    QCOMPARE(picture(label), up);

    QTest::mousePress(label, mouse);
    QCOMPARE(picture(label), tiles.copy(pressedTile, 0, 20, 20));
    QTest::mouseRelease(label, mouse);
    QCOMPARE(picture(label), up);

    // A pair without a tile copies nothing.
    TSkinMan::PaintButton(label, QStringLiteral("close"), QStringLiteral("hover"));
    QCOMPARE(picture(label), up);
    TSkinMan::PaintButton(nullptr, QStringLiteral("close"), QStringLiteral("down"));
}

void TestSkinClass::releaseActions_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<Qt::MouseButton>("mouse");
    QTest::addColumn<QPoint>("releaseAt");
    QTest::addColumn<bool>("acts");
    QTest::addRow("close, left") << "CloseButton" << Qt::LeftButton << QPoint(10, 10) << true;
    // The release acts wherever the pointer has gone meanwhile.
    QTest::addRow("close, left, released outside")
        << "CloseButton" << Qt::LeftButton << QPoint(-40, 30) << true;
    QTest::addRow("close, right") << "CloseButton" << Qt::RightButton << QPoint(10, 10) << false;
    QTest::addRow("minimize, left") << "MinimizeButton" << Qt::LeftButton << QPoint(10, 10) << true;
    QTest::addRow("minimize, right")
        << "MinimizeButton" << Qt::RightButton << QPoint(10, 10) << false;
}

void TestSkinClass::releaseActions()
{
    QFETCH(QString, button);
    QFETCH(Qt::MouseButton, mouse);
    QFETCH(QPoint, releaseAt);
    QFETCH(bool, acts);
    SkinWindow w(QSize(700, 525));
    const auto skin = w.skin();
    QList<QWidget *> minimized;
    skin->MinimizeWindow = [&](QWidget *window) { minimized << window; };
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));

    QLabel *label = w.window->findChild<QLabel *>(button);
    QTest::mousePress(label, mouse, {}, QPoint(10, 10));
    QVERIFY(w.window->isVisible());
    QVERIFY(minimized.isEmpty());
    QTest::mouseRelease(label, mouse, {}, releaseAt);
    const bool isClose = button == QStringLiteral("CloseButton");
    QCOMPARE(!w.window->isVisible(), acts && isClose);
    QCOMPARE(minimized, acts && !isClose ? QList<QWidget *>{w.window.get()} : QList<QWidget *>{});
}

void TestSkinClass::titleDrag_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<Qt::MouseButton>("mouse");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<bool>("moves");
    QTest::addRow("top row") << QPoint(300, 0) << Qt::LeftButton << false << true;
    QTest::addRow("y 10") << QPoint(300, 10) << Qt::LeftButton << false << true;
    QTest::addRow("y 31") << QPoint(300, 31) << Qt::LeftButton << false << true;
    QTest::addRow("y 32") << QPoint(300, 32) << Qt::LeftButton << false << false;
    QTest::addRow("y 33") << QPoint(300, 33) << Qt::LeftButton << false << false;
    QTest::addRow("y 35") << QPoint(300, 35) << Qt::LeftButton << false << false;
    QTest::addRow("right button") << QPoint(300, 10) << Qt::RightButton << false << false;
    QTest::addRow("second press of a double click")
        << QPoint(300, 10) << Qt::LeftButton << true << true;
}

void TestSkinClass::titleDrag()
{
    QFETCH(QPoint, at);
    QFETCH(Qt::MouseButton, mouse);
    QFETCH(bool, doubleClick);
    QFETCH(bool, moves);
    SkinWindow w(QSize(700, 525));
    const auto skin = w.skin();
    QList<QWidget *> moved;
    skin->MoveWindow = [&](QWidget *window) { moved << window; };
    if (doubleClick)
        QTest::mouseDClick(w.imgTop, mouse, {}, at);
    else
        QTest::mousePress(w.imgTop, mouse, {}, at);
    QCOMPARE(moved, moves ? QList<QWidget *>{w.window.get()} : QList<QWidget *>{});
}

void TestSkinClass::noSkin_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("frameless");
    QTest::addRow("250 wide") << QSize(250, 525) << true;
    QTest::addRow("188 high") << QSize(700, 188) << true;
    QTest::addRow("own border") << QSize(700, 525) << false;
}

void TestSkinClass::noSkin()
{
    QFETCH(QSize, size);
    QFETCH(bool, frameless);
    SkinWindow w(size, frameless);
    const auto skin = w.skin();
    QVERIFY(!skin->IconImage && !skin->TitleLabel && !skin->CloseButton && !skin->MinimizeButton);
    QCOMPARE(w.pnlTop->findChildren<QLabel *>(), QList<QLabel *>{w.imgTop});
    QVERIFY(w.imgTop->pixmap().isNull());
    QCOMPARE(w.pnlTop->maximumHeight(), QWIDGETSIZE_MAX);
    QVERIFY(!w.pnlCenter->autoFillBackground());
}

void TestSkinClass::destruction()
{
    SkinWindow w(QSize(700, 525));
    auto skin = w.skin();
    int moves = 0;
    skin->MoveWindow = [&](QWidget *) { ++moves; };
    skin.reset();
    QCOMPARE(w.pnlTop->findChildren<QLabel *>(), QList<QLabel *>{w.imgTop});
    QTest::mousePress(w.imgTop, Qt::LeftButton, {}, QPoint(300, 10));
    QCOMPARE(moves, 0);

    // Freed after its window: nothing is left to delete twice.
    auto late = std::make_unique<SkinWindow>(QSize(700, 525));
    skin = late->skin();
    late.reset();
    QVERIFY(!skin->CloseButton);
    skin.reset();
}

QTEST_MAIN(TestSkinClass)
#include "tst_SkinClass.moc"
