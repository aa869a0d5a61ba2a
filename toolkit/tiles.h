#pragma once
// Painting runs of the sign's dots together: a part of the host's painting,
// private to it (toolkit/controls.cpp).
//
// A tile is a rectangle shape. Where no two tiles of a host overlap, a run
// of consecutive tiles in the stacking order can be painted in any order
// among themselves: all outlines first and then all fills, one painter call
// per colour, which is far fewer calls than one shape after the other and
// gives the same pixels, on a scaled screen too (Shape::devicePixels).

#include "controls.h"

#include <QRect>
#include <utility>
#include <vector>

namespace tk {

class Shape;

class TileBatch {
public:
    // Forgets what was found out about the controls; called after one was
    // added, removed or moved.
    void invalidate() { checked_ = false; }

    // The end of the run of tiles that may be painted together and that
    // starts at `index`: `index` itself when none starts there.
    size_t runEnd(const std::vector<Control*>& controls, size_t index);

    // Paints the visible tiles of the run [begin, end) that meet `dirty`.
    void paint(QPainter& painter, size_t begin, size_t end, const QRect& dirty);

private:
    void check(const std::vector<Control*>& controls);

    struct Tile {
        QRect outer;
        QRect inner;
        const Shape* shape;
        Color pen;
        Color brush;
    };

    bool checked_ = false;
    // For each control: the shape if it is a tile, else null; and the end of
    // the run it starts.
    std::vector<Shape*> tiles_;
    std::vector<size_t> runEnds_;
    std::vector<Tile> buffer_;
    std::vector<std::pair<Color, std::vector<QRect>>> layers_;
};

} // namespace tk
