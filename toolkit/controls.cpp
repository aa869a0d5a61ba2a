#include "controls.h"
#include "textfit.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <limits>

namespace tk {

QColor toQColor(Color color)
{
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

QFont uiFont(int pixelHeight)
{
    static const QString family = [] {
        int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/LiberationSans-Regular.ttf"));
        QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
        return families.isEmpty() ? QStringLiteral("Sans Serif") : families.first();
    }();
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// ---- Control ----------------------------------------------------------------

namespace {
MouseButton toButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton: return MouseButton::Right;
    case Qt::MiddleButton: return MouseButton::Middle;
    default: return MouseButton::Left;
    }
}
} // namespace

Control::Control(QWidget* parent, int left, int top, int width, int height) : QWidget(parent)
{
    setGeometry(left, top, width, height);
}

void Control::setBounds(int left, int top, int width, int height)
{
    setGeometry(left, top, width, height);
}

void Control::press(QMouseEvent* event, bool isDouble)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        clickPending_ = !isDouble;
    if (OnMouseDown) {
        QPoint p = event->position().toPoint();
        OnMouseDown(toButton(event->button()), {event->modifiers(), isDouble}, p.x(), p.y());
    }
}

void Control::mousePressEvent(QMouseEvent* event)
{
    press(event, false);
}

void Control::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick();
    press(event, true);
}

void Control::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton && clickPending_) {
        clickPending_ = false;
        if (rect().contains(p) && OnClick)
            OnClick();
    }
    if (OnMouseUp)
        OnMouseUp(toButton(event->button()), {event->modifiers(), false}, p.x(), p.y());
}

// ---- Label ------------------------------------------------------------------

Label::Label(QWidget* parent, int left, int top, int width, int height,
             Text caption, Color fontColor, int fontPixelHeight)
    : Control(parent, left, top, width, height), caption_(std::move(caption)), fontColor_(fontColor)
{
    setFont(uiFont(fontPixelHeight));
}

void Label::setCaption(const Text& caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    if (autoSize_)
        fitToCaption();
    update();
}

void Label::setFontColor(Color color)
{
    if (color == fontColor_)
        return;
    fontColor_ = color;
    update();
}

void Label::setAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    if (autoSize_)
        fitToCaption();
}

int Label::lineHeight() const
{
    return lineHeight_ > 0 ? lineHeight_ : fontMetrics().height();
}

void Label::setLineHeight(int pixels)
{
    lineHeight_ = pixels;
    if (autoSize_)
        fitToCaption();
    update();
}

int Label::textWidth() const
{
    return textWidth_ > 0 ? std::min(textWidth_, width()) : width();
}

void Label::setTextWidth(int pixels)
{
    textWidth_ = pixels;
    update();
}

namespace {
// Splits a caption into lines at CR, LF or CR LF.
QStringList captionLines(const Text& caption)
{
    QString text = toQString(caption);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
}
} // namespace

void Label::fitToCaption()
{
    const QStringList lines = captionLines(caption_);
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, lineWidth(font(), line));
    resize(width, int(lines.size()) * lineHeight());
}

void Label::paintEvent(QPaintEvent*)
{
    if (caption_.empty())
        return;
    QPainter painter(this);
    painter.setPen(toQColor(fontColor_));
    const int ascent = fontMetrics().ascent();
    const int step = lineHeight();
    int y = 0;
    for (const QString& line : captionLines(caption_)) {
        if (y >= height())
            break;
        QFont lineFont = font();
        if (const int stretch = fittingStretch(lineFont, line, textWidth()); stretch != 100)
            lineFont.setStretch(stretch);
        painter.setFont(lineFont);
        painter.drawText(0, y + ascent, line);
        y += step;
    }
}

// ---- Shape ------------------------------------------------------------------

Shape::Shape(QWidget* parent, int left, int top, int width, int height, ShapeType type)
    : Control(parent, left, top, width, height), type_(type)
{
}

void Shape::setPen(Color color, int width)
{
    penColor_ = color;
    penWidth_ = width;
    update();
}

void Shape::setPenVisible(bool visible)
{
    penVisible_ = visible;
    update();
}

void Shape::setBrushColor(Color color)
{
    if (color == brushColor_)
        return;
    brushColor_ = color;
    update();
}

void Shape::setBrushVisible(bool visible)
{
    brushVisible_ = visible;
    update();
}

void Shape::paintEvent(QPaintEvent*)
{
    const int pen = penVisible_ ? penWidth_ : 0;
    if (pen == 0 && !brushVisible_)
        return;
    QPainter painter(this);
    QRect outer = rect();
    if (type_ == ShapeType::Circle) {
        const int side = std::min(width(), height());
        outer = QRect((width() - side) / 2, (height() - side) / 2, side, side);
    }
    if (type_ == ShapeType::Rectangle) {
        // Pixel-exact: the outline covers the outermost pen-width pixels, the
        // fill the rest (an 8 x 8 dot with a 1-pixel pen shows 6 x 6 colour).
        const QRect inner = outer.adjusted(pen, pen, -pen, -pen);
        if (brushVisible_)
            painter.fillRect(inner, toQColor(brushColor_));
        if (pen > 0) {
            const QColor c = toQColor(penColor_);
            painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), pen), c);
            painter.fillRect(QRect(outer.left(), outer.bottom() - pen + 1, outer.width(), pen), c);
            painter.fillRect(QRect(outer.left(), inner.top(), pen, inner.height()), c);
            painter.fillRect(QRect(outer.right() - pen + 1, inner.top(), pen, inner.height()), c);
        }
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen > 0 ? QPen(toQColor(penColor_), pen) : QPen(Qt::NoPen));
    painter.setBrush(brushVisible_ ? QBrush(toQColor(brushColor_)) : QBrush(Qt::NoBrush));
    const double inset = pen / 2.0;
    painter.drawEllipse(QRectF(outer).adjusted(inset, inset, -inset, -inset));
}

// ---- Picture ----------------------------------------------------------------

Picture::Picture(QWidget* parent, int left, int top, int width, int height, const QString& resource)
    : Control(parent, left, top, width, height), image_(resource)
{
}

void Picture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

// ---- Panel ------------------------------------------------------------------

Panel::Panel(QWidget* parent, int left, int top, int width, int height, Color color)
    : Control(parent, left, top, width, height), color_(color)
{
}

void Panel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), toQColor(color_));
}

// ---- Edit -------------------------------------------------------------------

Edit::Edit(QWidget* parent, int left, int top, int width, int height) : QLineEdit(parent)
{
    setGeometry(left, top, width, height);
    setMaxLength(std::numeric_limits<int>::max());
}

} // namespace tk
