#include "tiles.h"
#include "shape.h"

#include <QPainter>
#include <algorithm>

namespace tk {

namespace {
// The one rule for what counts as a tile: for the overlap check and for the
// runs alike, so that a control the check did not look at is never batched.
Shape* asTile(Control* control)
{
    auto* shape = dynamic_cast<Shape*>(control);
    return shape && shape->Type() == ShapeType::Rectangle ? shape : nullptr;
}

// Whether no two of the rectangles overlap. Sorted by left edge, each needs
// comparing only with those that start before it ends.
bool apart(std::vector<QRect> rects)
{
    std::sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
    for (size_t i = 0; i < rects.size(); ++i)
        for (size_t j = i + 1; j < rects.size() && rects[j].left() <= rects[i].right(); ++j)
            if (rects[i].intersects(rects[j]))
                return false;
    return true;
}

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

void TileBatch::check(const std::vector<Control*>& controls)
{
    tiles_.resize(controls.size());
    runEnds_.resize(controls.size());
    std::vector<QRect> rects;
    for (size_t i = 0; i < controls.size(); ++i)
        if ((tiles_[i] = asTile(controls[i])))
            rects.push_back(tiles_[i]->geometry());
    const bool batch = apart(std::move(rects));
    for (size_t i = controls.size(); i-- > 0;)
        runEnds_[i] = !batch || !tiles_[i] ? i : i + 1 < controls.size() && tiles_[i + 1] ? runEnds_[i + 1] : i + 1;
    checked_ = true;
}

size_t TileBatch::runEnd(const std::vector<Control*>& controls, size_t index)
{
    if (!checked_)
        check(controls);
    return runEnds_[index];
}

void TileBatch::paint(QPainter& painter, size_t begin, size_t end, const QRect& dirty)
{
    // A tile that is not an opaque outline around an opaque fill is painted
    // on its own; being apart from all others, it may go first.
    buffer_.clear();
    for (size_t i = begin; i < end; ++i) {
        Shape* shape = tiles_[i];
        if (!shape->isVisible() || !shape->paintBounds().intersects(dirty))
            continue;
        const int pen = shape->PenWidth();
        const QRect inner = shape->geometry().adjusted(pen, pen, -pen, -pen);
        if (pen > 0 && shape->isBrushVisible() && !inner.isEmpty())
            buffer_.push_back({shape->geometry(), inner, shape, shape->PenColor(), shape->BrushColor()});
        else
            shape->paint(painter);
    }
    if (buffer_.empty())
        return;
    painter.save();
    painter.setPen(Qt::NoPen);
    if (const QTransform device = painter.deviceTransform(); Shape::scaled(device)) {
        for (Tile& tile : buffer_) {
            const Shape::DevicePixels placed = tile.shape->devicePixels(device);
            tile.outer = placed.outer;
            tile.inner = placed.inner;
        }
        // From here on the painter draws in device pixels.
        painter.setWorldTransform(device.inverted() * painter.worldTransform());
    }
    const auto paintLayer = [&](QRect Tile::*rect, Color Tile::*color) {
        for (auto& [layerColor, rects] : layers_)
            rects.clear();
        for (const Tile& tile : buffer_) {
            auto layer = std::find_if(layers_.begin(), layers_.end(),
                                      [&](const auto& entry) { return entry.first == tile.*color; });
            if (layer == layers_.end())
                layer = layers_.insert(layers_.end(), {tile.*color, {}});
            addToLayer(layer->second, tile.*rect);
        }
        for (const auto& [layerColor, rects] : layers_)
            if (!rects.empty()) {
                painter.setBrush(toQColor(layerColor));
                painter.drawRects(rects.data(), int(rects.size()));
            }
    };
    paintLayer(&Tile::outer, &Tile::pen);
    paintLayer(&Tile::inner, &Tile::brush);
    painter.restore();
}

} // namespace tk
