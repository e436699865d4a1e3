#include "SkinClass.h"

#include "SkinGeometry.h"

#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolTip>
#include <QWidget>
#include <QWindow>

#include <limits>

using namespace SkinGeometry;

namespace {

const QString FormResource = QStringLiteral(":/rcdata/RES_FORM");
const QString IconResource = QStringLiteral(":/rcdata/RES_ICON");
const QString TilesResource = QStringLiteral(":/rcdata/RES_TITLE");
const QColor IconKey(0xff, 0xff, 0xff);
const QColor TileKey(0xff, 0x00, 0xff);
const QColor ClientColour(0xf0, 0xf0, 0xf0);

void paintPieces(QLabel *picture, const QImage &form, const QVector<Blit> &pieces)
{
    QPixmap canvas = picture->pixmap();
    QPainter p(&canvas);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (const Blit &b : pieces) {
        if (b.target.isEmpty() || b.source.isEmpty())
            continue;
        QImage piece = form.copy(b.source);
        // Scaling the cut-out piece, not the whole picture, keeps a stretch
        // from sampling the guide lines next to its source.
        if (b.stretch)
            piece = piece.scaled(b.target.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        p.drawImage(b.target.topLeft(), piece);
    }
    p.end();
    picture->setPixmap(canvas);
}

QLabel *makeButton(QWidget *strip, const QString &name, const QString &hint)
{
    auto *button = new QLabel(strip);
    button->setObjectName(name);
    button->resize(ButtonSize, ButtonSize);
    button->setToolTip(hint);
    QPixmap empty(ButtonSize, ButtonSize);
    empty.fill(Qt::transparent);
    button->setPixmap(empty);
    return button;
}

void closeWindow(QWidget *window)
{
    window->close();
}

void minimizeWindow(QWidget *window)
{
    window->showMinimized();
}

// The window system moves the window, so snapping and edge resistance work
// as with any title bar.
void moveWindow(QWidget *window)
{
    if (QWindow *handle = window->windowHandle())
        handle->startSystemMove();
}

} // namespace

QImage KeyedImage(const QString &fileName, QColor key)
{
    QImage img = QImage(fileName).convertToFormat(QImage::Format_ARGB32);
    const QRgb k = key.rgb() & RGB_MASK;
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & RGB_MASK) == k)
                line[x] = 0;
    }
    return img;
}

TSkinMan::TSkinMan(QLabel *left, QLabel *top, QLabel *right, QLabel *bottom, QWidget *clientPanel)
    : CloseWindow(closeWindow), MinimizeWindow(minimizeWindow), MoveWindow(moveWindow)
{
    QWidget *window = clientPanel->window();
    const QSize size = window->size();
    const bool bordered = !window->windowFlags().testFlag(Qt::FramelessWindowHint);
    if (!HasFrame(size, bordered))
        return;

    left->parentWidget()->setFixedWidth(BorderWidth);
    right->parentWidget()->setFixedWidth(BorderWidth);
    top->parentWidget()->setFixedHeight(TitleHeight);
    bottom->parentWidget()->setFixedHeight(BottomHeight);
    // A window not shown yet has not laid out its panels; the pictures are
    // sized from them right now.
    if (QLayout *layout = window->layout())
        layout->activate();
    for (QLabel *picture : {left, top, right, bottom})
        FitImageToParent(picture);

    clientPanel->setAutoFillBackground(true);
    QPalette clientPalette = clientPanel->palette();
    clientPalette.setColor(QPalette::Window, ClientColour);
    clientPanel->setPalette(clientPalette);

    m_top = top;
    top->installEventFilter(this);

    const QImage form(FormResource);
    const FrameLayout frame = Frame(size);
    paintPieces(top, form, frame.title);
    paintPieces(left, form, frame.left);
    paintPieces(right, form, frame.right);
    paintPieces(bottom, form, frame.bottom);

    QWidget *strip = top->parentWidget();
    const QPixmap icon = QPixmap::fromImage(KeyedImage(IconResource, IconKey));
    IconImage = new QLabel(strip);
    IconImage->setObjectName(QStringLiteral("IconImage"));
    IconImage->setPixmap(icon);
    IconImage->resize(icon.size());

    TitleLabel = new QLabel(strip);
    TitleLabel->setObjectName(QStringLiteral("TitleLabel"));
    // The caption carries the user's name; never read it as markup.
    TitleLabel->setTextFormat(Qt::PlainText);
    TitleLabel->setText(window->windowTitle());
    QFont bold = TitleLabel->font();
    bold.setBold(true);
    TitleLabel->setFont(bold);
    QPalette white = TitleLabel->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    TitleLabel->setPalette(white);
    TitleLabel->adjustSize();

    CloseButton = makeButton(strip, QStringLiteral("CloseButton"), QStringLiteral("Close"));
    MinimizeButton =
        makeButton(strip, QStringLiteral("MinimizeButton"), QStringLiteral("Minimize"));

    const TitleControls places =
        ControlPlaces(size.width(), IconImage->size(), TitleLabel->height());
    IconImage->move(places.icon);
    TitleLabel->move(places.label);
    CloseButton->move(places.close);
    MinimizeButton->move(places.minimize);
    for (QLabel *control :
         {IconImage.data(), TitleLabel.data(), CloseButton.data(), MinimizeButton.data()}) {
        control->show();
        control->raise();
    }

    CloseButton->installEventFilter(this);
    MinimizeButton->installEventFilter(this);
    PaintButton(CloseButton, QStringLiteral("close"), QStringLiteral("up"));
    PaintButton(MinimizeButton, QStringLiteral("minimize"), QStringLiteral("up"));
}

TSkinMan::~TSkinMan()
{
    if (m_top)
        m_top->removeEventFilter(this);
    delete IconImage.data();
    delete TitleLabel.data();
    delete MinimizeButton.data();
    delete CloseButton.data();
}

void TSkinMan::TitleMouseDown(QObject *, Qt::MouseButton button, Qt::KeyboardModifiers,
                              const QPoint &pos)
{
    if (button == Qt::LeftButton && pos.y() < DragRows && m_top && MoveWindow)
        MoveWindow(m_top->window());
}

void TSkinMan::CloseMouseDown(QObject *, Qt::MouseButton button, Qt::KeyboardModifiers,
                              const QPoint &)
{
    if (button == Qt::LeftButton)
        PaintButton(CloseButton, QStringLiteral("close"), QStringLiteral("down"));
}

void TSkinMan::CloseMouseUp(QObject *, Qt::MouseButton button, Qt::KeyboardModifiers,
                            const QPoint &)
{
    if (button != Qt::LeftButton || !CloseButton)
        return;
    PaintButton(CloseButton, QStringLiteral("close"), QStringLiteral("up"));
    // Last statement: closing may end the window and this object with it.
    if (CloseWindow)
        CloseWindow(CloseButton->window());
}

void TSkinMan::MinimizeMouseDown(QObject *, Qt::MouseButton button, Qt::KeyboardModifiers,
                                 const QPoint &)
{
    if (button == Qt::LeftButton)
        PaintButton(MinimizeButton, QStringLiteral("minimize"), QStringLiteral("down"));
}

void TSkinMan::MinimizeMouseUp(QObject *, Qt::MouseButton button, Qt::KeyboardModifiers,
                               const QPoint &)
{
    if (button != Qt::LeftButton || !MinimizeButton)
        return;
    PaintButton(MinimizeButton, QStringLiteral("minimize"), QStringLiteral("up"));
    if (MinimizeWindow)
        MinimizeWindow(MinimizeButton->window());
}

void TSkinMan::PaintButton(QLabel *button, const QString &name, const QString &state)
{
    if (!button)
        return;
    const QRect tile = ButtonTile(name, state);
    if (!tile.isNull()) {
        QPixmap canvas = button->pixmap();
        QPainter p(&canvas);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(0, 0), KeyedImage(TilesResource, TileKey), tile);
        p.end();
        button->setPixmap(canvas);
    }
    button->update();
}

void TSkinMan::FitImageToParent(QLabel *image)
{
    const QSize client = image->parentWidget()->contentsRect().size();
    image->resize(client);
    QPixmap canvas(client);
    canvas.fill(Qt::transparent);
    image->setPixmap(canvas);
}

bool TSkinMan::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        // A second quick press arrives as a double click; it is a press all the same.
        const auto *me = static_cast<QMouseEvent *>(event);
        const bool down = event->type() != QEvent::MouseButtonRelease;
        const QPoint pos = me->position().toPoint();
        if (watched == m_top && down)
            TitleMouseDown(watched, me->button(), me->modifiers(), pos);
        else if (watched == CloseButton && down)
            CloseMouseDown(watched, me->button(), me->modifiers(), pos);
        else if (watched == CloseButton)
            CloseMouseUp(watched, me->button(), me->modifiers(), pos);
        else if (watched == MinimizeButton && down)
            MinimizeMouseDown(watched, me->button(), me->modifiers(), pos);
        else if (watched == MinimizeButton)
            MinimizeMouseUp(watched, me->button(), me->modifiers(), pos);
        else
            return false;
        return true;
    }
    case QEvent::ToolTip:
        // The button hints stay up until the pointer leaves the button.
        if (watched == CloseButton || watched == MinimizeButton) {
            auto *button = static_cast<QLabel *>(watched);
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), button->toolTip(),
                               button, button->rect(), std::numeric_limits<int>::max());
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
