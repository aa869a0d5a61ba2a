#include "controls.h"
#include "textfit.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResource>
#include <algorithm>
#include <cstring>
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

// ---- MouseTarget --------------------------------------------------------------

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

void MouseTarget::mouseDown(const QMouseEvent& event, QPoint position, bool isDouble)
{
    const bool primary = event.button() == Qt::LeftButton;
    if (isDouble && primary && OnDblClick)
        OnDblClick();
    if (primary)
        clickPending_ = !isDouble;
    if (OnMouseDown)
        OnMouseDown(toButton(event.button()), {event.modifiers(), isDouble}, position.x(), position.y());
}

void MouseTarget::mouseUp(const QMouseEvent& event, QPoint position, bool inside)
{
    if (event.button() == Qt::LeftButton && clickPending_) {
        clickPending_ = false;
        if (inside && OnClick)
            OnClick();
    }
    if (OnMouseUp)
        OnMouseUp(toButton(event.button()), {event.modifiers(), false}, position.x(), position.y());
}

// ---- Control ------------------------------------------------------------------

Control::Control(WinControl* host, int left, int top, int width, int height)
    : host_(host), bounds_(left, top, width, height)
{
    if (host_) {
        host_->controls_.push_back(this);
        host_->tilesChecked_ = false;
        invalidate();
    }
}

Control::~Control()
{
    if (!host_)
        return;
    invalidate();
    std::erase(host_->controls_, this);
    host_->tilesChecked_ = false;
    if (host_->pressedControl_ == this)
        host_->pressedControl_ = nullptr;
}

void Control::setBounds(int left, int top, int width, int height)
{
    const QRect bounds(left, top, width, height);
    if (bounds == bounds_)
        return;
    invalidate(); // the old place
    bounds_ = bounds;
    if (host_)
        host_->tilesChecked_ = false;
    invalidate();
}

void Control::setVisible(bool visible)
{
    if (visible == visible_)
        return;
    visible_ = visible;
    if (host_)
        host_->update(bounds_);
}

void Control::invalidate() const
{
    if (visible_ && host_)
        host_->update(bounds_);
}

// ---- WinControl ---------------------------------------------------------------

WinControl::WinControl(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

WinControl::~WinControl()
{
    // The graphic controls still held belong to this control.
    const std::vector<Control*> controls = std::move(controls_);
    for (Control* control : controls) {
        control->host_ = nullptr;
        delete control;
    }
}

Control* WinControl::controlAt(QPoint position) const
{
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if ((*it)->visible_ && (*it)->bounds_.contains(position))
            return *it;
    return nullptr;
}

void WinControl::paintEvent(QPaintEvent* event)
{
    if (controls_.empty())
        return;
    QPainter painter(this);
    paintControls(painter, event->rect());
}

void WinControl::paintControls(QPainter& painter, const QRect& dirty)
{
    // The painter is already clipped to the region being repainted; the
    // bounding rectangle only spares the controls wholly outside it.
    //
    // Consecutive tiles (the sign's dots) are painted together, all outlines
    // and then all fills, one call per colour: far fewer painter calls than
    // one control after the other, and the same pixels as long as no two of
    // them overlap.
    if (!tilesChecked_) {
        tilesApart_ = tilesApart();
        tilesChecked_ = true;
    }
    Tile tile;
    for (size_t i = 0; i < controls_.size(); ++i) {
        Control* control = controls_[i];
        if (tilesApart_ && control->tile(tile)) {
            tileBuffer_.clear();
            for (; i < controls_.size() && controls_[i]->tile(tile); ++i)
                if (controls_[i]->visible_ && tile.outer.intersects(dirty))
                    tileBuffer_.push_back(tile);
            paintTiles(painter, tileBuffer_);
            --i;
        } else if (control->visible_ && control->bounds_.intersects(dirty)) {
            control->paint(painter);
        }
    }
}

bool WinControl::tilesApart()
{
    // Sorted by left edge, each rectangle needs comparing only with those
    // that start before it ends.
    std::vector<QRect> rects;
    for (Control* control : controls_)
        if (auto* shape = dynamic_cast<Shape*>(control); shape && shape->Type() == ShapeType::Rectangle)
            rects.push_back(shape->geometry());
    std::sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
    for (size_t i = 0; i < rects.size(); ++i)
        for (size_t j = i + 1; j < rects.size() && rects[j].left() <= rects[i].right(); ++j)
            if (rects[i].intersects(rects[j]))
                return false;
    return true;
}

namespace {
// Adds a rectangle to a layer of one colour, joined to the last one where
// the two make a rectangle together: the sign's outlines, which touch each
// other, come to one rectangle per cell.
void addToLayer(std::vector<QRect>& rects, const QRect& rect)
{
    if (!rects.empty()) {
        QRect& last = rects.back();
        if (rect.top() == last.top() && rect.height() == last.height() && rect.left() == last.right() + 1) {
            last.setRight(rect.right());
            if (rects.size() > 1) {
                QRect& above = rects[rects.size() - 2];
                if (above.left() == last.left() && above.width() == last.width() && last.top() == above.bottom() + 1) {
                    above.setBottom(last.bottom());
                    rects.pop_back();
                }
            }
            return;
        }
        if (rect.left() == last.left() && rect.width() == last.width() && rect.top() == last.bottom() + 1) {
            last.setBottom(rect.bottom());
            return;
        }
    }
    rects.push_back(rect);
}
} // namespace

void WinControl::paintTiles(QPainter& painter, const std::vector<Tile>& tiles)
{
    if (tiles.empty())
        return;
    painter.save();
    painter.setPen(Qt::NoPen);
    const auto paintLayer = [&](QRect Tile::*rect, Color Tile::*color) {
        for (auto& [layerColor, rects] : layerBuffer_)
            rects.clear();
        for (const Tile& tile : tiles) {
            auto layer = std::find_if(layerBuffer_.begin(), layerBuffer_.end(),
                                      [&](const auto& entry) { return entry.first == tile.*color; });
            if (layer == layerBuffer_.end())
                layer = layerBuffer_.insert(layerBuffer_.end(), {tile.*color, {}});
            addToLayer(layer->second, tile.*rect);
        }
        for (const auto& [layerColor, rects] : layerBuffer_)
            if (!rects.empty()) {
                painter.setBrush(toQColor(layerColor));
                painter.drawRects(rects.data(), int(rects.size()));
            }
    };
    paintLayer(&Tile::outer, &Tile::pen);
    paintLayer(&Tile::inner, &Tile::brush);
    painter.restore();
}

void WinControl::press(QMouseEvent* event, bool isDouble)
{
    event->accept();
    const QPoint position = event->position().toPoint();
    // A further button pressed while one is held goes where the first went.
    const bool anotherHeld = (event->buttons() & ~event->button()) != Qt::NoButton;
    if (!pressed_ || !anotherHeld) {
        pressedControl_ = controlAt(position);
        pressed_ = true;
    }
    if (Control* control = pressedControl_)
        control->mouseDown(*event, position - control->pos(), isDouble);
    else
        mouseDown(*event, position, isDouble);
}

void WinControl::mousePressEvent(QMouseEvent* event)
{
    press(event, false);
}

void WinControl::mouseDoubleClickEvent(QMouseEvent* event)
{
    press(event, true);
}

void WinControl::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const QPoint position = event->position().toPoint();
    // Qt sends the release to the widget that took the press; here it goes
    // on to the graphic control that took it. A release without a press goes
    // to what lies under the pointer.
    Control* control = pressed_ ? pressedControl_ : controlAt(position);
    if (event->buttons() == Qt::NoButton) {
        pressed_ = false;
        pressedControl_ = nullptr;
    }
    if (control) {
        const QPoint local = position - control->pos();
        control->mouseUp(*event, local, control->rect().contains(local));
    } else {
        mouseUp(*event, position, rect().contains(position));
    }
}

// ---- Label --------------------------------------------------------------------

Label::Label(WinControl* host, int left, int top, int width, int height,
             Text caption, Color fontColor, int fontPixelHeight)
    : Control(host, left, top, width, height), caption_(std::move(caption)), fontColor_(fontColor),
      font_(uiFont(fontPixelHeight))
{
}

void Label::setCaption(const Text& caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    if (autoSize_)
        fitToCaption();
    invalidate();
}

void Label::setFontColor(Color color)
{
    if (color == fontColor_)
        return;
    fontColor_ = color;
    invalidate();
}

void Label::setFont(const QFont& font)
{
    font_ = font;
    if (autoSize_)
        fitToCaption();
    invalidate();
}

void Label::setAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    if (autoSize_)
        fitToCaption();
}

int Label::lineHeight() const
{
    return lineHeight_ > 0 ? lineHeight_ : QFontMetrics(font_).height();
}

void Label::setLineHeight(int pixels)
{
    lineHeight_ = pixels;
    if (autoSize_)
        fitToCaption();
    invalidate();
}

int Label::textWidth() const
{
    return textWidth_ > 0 ? std::min(textWidth_, width()) : width();
}

void Label::setTextWidth(int pixels)
{
    textWidth_ = pixels;
    invalidate();
}

namespace {
// The lines of a caption, split at CR, LF or CR LF: at most `maxLines` of
// them, each cut to at most `maxChars` characters. Painting asks only for
// what a label of its size can show: a caption may be a stop name of a
// megabyte without a line end, and measuring and shaping it whole would
// cost many times its size for nothing, since everything beyond the first
// few hundred characters lies far outside the label and is clipped anyway.
QStringList shownLines(const Text& caption, int maxLines, qsizetype maxChars)
{
    QStringList lines;
    size_t start = 0;
    while (lines.size() < maxLines) {
        size_t end = caption.find_first_of("\r\n", start);
        if (end == Text::npos)
            end = caption.size();
        const size_t length = std::min(end - start, size_t(maxChars));
        lines.append(toQString(std::string_view(caption).substr(start, length)));
        if (end == caption.size())
            break;
        start = end + (caption.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}
} // namespace

void Label::fitToCaption()
{
    const QStringList lines = shownLines(caption_, std::numeric_limits<int>::max(),
                                         std::numeric_limits<qsizetype>::max());
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, lineWidth(font_, line));
    resize(width, int(lines.size()) * lineHeight());
}

void Label::paint(QPainter& painter)
{
    if (caption_.empty())
        return;
    painter.save();
    painter.setClipRect(geometry(), Qt::IntersectClip);
    painter.setPen(toQColor(fontColor_));
    const int ascent = QFontMetrics(font_).ascent();
    const int step = std::max(lineHeight(), 1);
    // Every glyph of the compiled-in font that shows anything advances by
    // well over a pixel at the smallest height and narrowest stretch used, so
    // no line can show more characters than its width has pixels. Four times
    // as many leave room for characters that take no width (controls, soft
    // hyphens) and keep the narrowing of a line that does not fit the same:
    // what is cut off lies beyond the label's right edge either way.
    const qsizetype maxChars = 4 * qsizetype(std::max(textWidth(), 1));
    const int maxLines = height() / step + 1;
    int top = 0;
    for (const QString& line : shownLines(caption_, maxLines, maxChars)) {
        if (top >= height())
            break;
        QFont lineFont = font_;
        if (const int stretch = fittingStretch(lineFont, line, textWidth()); stretch != 100)
            lineFont.setStretch(stretch);
        painter.setFont(lineFont);
        painter.drawText(x(), y() + top + ascent, line);
        top += step;
    }
    painter.restore();
}

// ---- Shape --------------------------------------------------------------------

Shape::Shape(WinControl* host, int left, int top, int width, int height, ShapeType type)
    : Control(host, left, top, width, height), type_(type)
{
}

void Shape::setPen(Color color, int width)
{
    if (color == penColor_ && width == penWidth_)
        return;
    penColor_ = color;
    penWidth_ = width;
    invalidate();
}

void Shape::setPenVisible(bool visible)
{
    if (visible == penVisible_)
        return;
    penVisible_ = visible;
    invalidate();
}

void Shape::setBrushColor(Color color)
{
    if (color == brushColor_)
        return;
    brushColor_ = color;
    invalidate();
}

void Shape::setBrushVisible(bool visible)
{
    if (visible == brushVisible_)
        return;
    brushVisible_ = visible;
    invalidate();
}

bool Shape::tile(Tile& tile) const
{
    const QRect inner = geometry().adjusted(penWidth_, penWidth_, -penWidth_, -penWidth_);
    if (type_ != ShapeType::Rectangle || !penVisible_ || penWidth_ <= 0 || !brushVisible_ || inner.isEmpty())
        return false;
    tile = {geometry(), inner, penColor_, brushColor_};
    return true;
}

void Shape::paint(QPainter& painter)
{
    const int pen = penVisible_ ? penWidth_ : 0;
    if (pen <= 0 && !brushVisible_)
        return;
    QRect outer = geometry();
    if (type_ == ShapeType::Circle) {
        const int side = std::min(width(), height());
        outer = QRect(x() + (width() - side) / 2, y() + (height() - side) / 2, side, side);
    }
    if (type_ == ShapeType::Rectangle) {
        // Pixel-exact: the outline covers the outermost pen-width pixels, the
        // fill the rest (an 8 x 8 dot with a 1-pixel pen shows 6 x 6 colour).
        const QRect inner = outer.adjusted(pen, pen, -pen, -pen);
        if (pen > 0 && brushVisible_) {
            // Both colours are opaque: the fill painted over the outline's
            // colour leaves the same pixels as four edges, in two steps.
            painter.fillRect(outer, toQColor(penColor_));
            painter.fillRect(inner, toQColor(brushColor_));
        } else if (brushVisible_) {
            painter.fillRect(outer, toQColor(brushColor_));
        } else {
            const QColor c = toQColor(penColor_);
            painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), pen), c);
            painter.fillRect(QRect(outer.left(), outer.bottom() - pen + 1, outer.width(), pen), c);
            painter.fillRect(QRect(outer.left(), inner.top(), pen, inner.height()), c);
            painter.fillRect(QRect(outer.right() - pen + 1, inner.top(), pen, inner.height()), c);
        }
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen > 0 ? QPen(toQColor(penColor_), pen) : QPen(Qt::NoPen));
    painter.setBrush(brushVisible_ ? QBrush(toQColor(brushColor_)) : QBrush(Qt::NoBrush));
    const double inset = pen / 2.0;
    painter.drawEllipse(QRectF(outer).adjusted(inset, inset, -inset, -inset));
    painter.restore();
}

// ---- Picture ------------------------------------------------------------------

Picture::Picture(WinControl* host, int left, int top, int width, int height, QString resource)
    : Control(host, left, top, width, height), resource_(std::move(resource))
{
}

namespace {
// A bitmap kept in the resources as raw pixels, as the artwork generator
// writes it: "RGBX", the width and the height as 32-bit numbers, then the
// rows of 32-bit 0xFFRRGGBB pixels. Compiled in uncompressed and aligned, the
// pixels are shown where they lie in the program's memory: nothing is
// unpacked, decoded or copied at start. Null when the resource is missing or
// not of this kind.
QImage rawBitmap(const QString& path)
{
    const QResource resource(path);
    QByteArray unpacked;
    const uchar* data = resource.data();
    qint64 size = resource.size();
    if (resource.compressionAlgorithm() != QResource::NoCompression) {
        unpacked = resource.uncompressedData();
        data = reinterpret_cast<const uchar*>(unpacked.constData());
        size = unpacked.size();
    }
    constexpr qint64 HeaderBytes = 12;
    if (!data || size < HeaderBytes || std::memcmp(data, "RGBX", 4) != 0)
        return {};
    quint32 dimensions[2];
    std::memcpy(dimensions, data + 4, sizeof dimensions);
    const auto [width, height] = dimensions;
    if (width == 0 || height == 0 || width > 0x4000 || height > 0x4000
        || size != HeaderBytes + qint64(width) * height * 4)
        return {};
    const uchar* pixels = data + HeaderBytes;
    const QImage shown(pixels, int(width), int(height), int(width) * 4, QImage::Format_RGB32);
    if (unpacked.isEmpty() && reinterpret_cast<quintptr>(pixels) % alignof(quint32) == 0)
        return shown;
    // Unpacked into a buffer that goes away, or not aligned for QImage: a
    // copy of its own, row by row.
    QImage owned(int(width), int(height), QImage::Format_RGB32);
    for (int y = 0; y < owned.height(); ++y)
        std::memcpy(owned.scanLine(y), pixels + qint64(y) * width * 4, size_t(width) * 4);
    return owned;
}
} // namespace

const QImage& Picture::image() const
{
    if (image_.isNull() && !resource_.isEmpty())
        image_ = rawBitmap(resource_);
    return image_;
}

void Picture::paint(QPainter& painter)
{
    const QImage& bitmap = image();
    painter.drawImage(pos(), bitmap, rect().intersected(bitmap.rect()));
}

// ---- Panel --------------------------------------------------------------------

Panel::Panel(QWidget* parent, int left, int top, int width, int height, Color color)
    : WinControl(parent), color_(color)
{
    setGeometry(left, top, width, height);
}

void Panel::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), toQColor(color_));
    paintControls(painter, event->rect());
}

// ---- Edit ---------------------------------------------------------------------

Edit::Edit(QWidget* parent, int left, int top, int width, int height) : QLineEdit(parent)
{
    setGeometry(left, top, width, height);
    setMaxLength(std::numeric_limits<int>::max());
}

} // namespace tk
