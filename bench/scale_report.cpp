// Reads a screenshot of the program and reports how sharp it came out at the
// screen's scale: the sizes of the sign's dots, the widths of their
// outlines, and how many device columns of the control unit merely repeat
// the one to their left (what an image scaled up by pixel repetition shows).
// bench/scales.sh takes the screenshots and calls this once per scale.
//
//   scale_report SHOT.png SIGN_X SIGN_Y SIGN_W SIGN_H UNIT_X UNIT_Y UNIT_W UNIT_H
//     the windows' rectangles in device pixels, as xwininfo gives them

#include <QCoreApplication>
#include <QImage>
#include <QRect>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <map>
#include <vector>

namespace {

// The dots' two fill colours, dark grey and lime.
bool isDotFill(QRgb pixel)
{
    const QRgb rgb = pixel & 0xFFFFFF;
    return rgb == 0x808080 || rgb == 0x00FF00;
}

// The rectangles covered by the dots' fills, found row by row: a run of fill
// starts a new rectangle unless it continues the one above it exactly.
std::vector<QRect> dotFills(const QImage& sign)
{
    std::vector<QRect> done, open;
    for (int y = 0; y < sign.height(); ++y) {
        std::vector<QRect> next;
        for (int x = 0; x < sign.width();) {
            if (!isDotFill(sign.pixel(x, y))) {
                ++x;
                continue;
            }
            const int left = x;
            while (x < sign.width() && isDotFill(sign.pixel(x, y)))
                ++x;
            QRect run(left, y, x - left, 1);
            for (auto it = open.begin(); it != open.end(); ++it)
                if (it->left() == run.left() && it->right() == run.right()) {
                    run.setTop(it->top());
                    open.erase(it);
                    break;
                }
            next.push_back(run);
        }
        done.insert(done.end(), open.begin(), open.end());
        open = std::move(next);
    }
    done.insert(done.end(), open.begin(), open.end());
    return done;
}

template <typename Key> QString counts(const std::map<Key, int>& seen, const char* unit = "")
{
    QStringList parts;
    for (const auto& [value, count] : seen)
        parts << QStringLiteral("%1%2 (%3x)").arg(value).arg(unit).arg(count);
    return parts.join(QStringLiteral(", "));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    if (args.size() != 10) {
        QTextStream(stderr) << "usage: scale_report SHOT.png SIGN_X SIGN_Y SIGN_W SIGN_H UNIT_X UNIT_Y UNIT_W UNIT_H\n";
        return 2;
    }
    const QImage shot(args[1]);
    const QRect signRect(args[2].toInt(), args[3].toInt(), args[4].toInt(), args[5].toInt());
    const QRect unitRect(args[6].toInt(), args[7].toInt(), args[8].toInt(), args[9].toInt());
    if (shot.isNull() || !shot.rect().contains(signRect) || !shot.rect().contains(unitRect)) {
        QTextStream(stderr) << "scale_report: no screenshot, or the windows lie outside it\n";
        return 1;
    }
    const QImage sign = shot.copy(signRect).convertToFormat(QImage::Format_RGB32);
    const QImage unit = shot.copy(unitRect).convertToFormat(QImage::Format_RGB32);

    // A dot is its fill and the outline around it. Two dots of a cell touch,
    // so the dark gap between their fills is their two outlines; between
    // cells the gap is wider.
    std::vector<QRect> fills = dotFills(sign);
    std::map<QString, int> sizes;
    std::map<int, int> gaps, pitches;
    std::sort(fills.begin(), fills.end(), [](const QRect& a, const QRect& b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    });
    for (size_t i = 0; i < fills.size(); ++i) {
        ++sizes[QStringLiteral("%1x%2").arg(fills[i].width()).arg(fills[i].height())];
        if (i + 1 < fills.size() && fills[i + 1].top() == fills[i].top())
            ++gaps[fills[i + 1].left() - fills[i].right() - 1];
    }
    // The gaps within cells are the narrowest; the rest separate cells.
    const int inCell = gaps.empty() ? 0 : gaps.begin()->first;
    std::map<int, int> outlines, cellGaps;
    for (const auto& [gap, count] : gaps)
        (gap <= inCell + 1 ? outlines : cellGaps)[gap] += count;
    std::map<QString, int> outlineWidths;
    for (const auto& [gap, count] : outlines)
        outlineWidths[gap % 2 ? QStringLiteral("%1+%2").arg(gap / 2).arg(gap / 2 + 1) : QString::number(gap / 2)]
            += count;

    int repeated = 0;
    for (int x = 1; x < unit.width(); ++x) {
        bool same = true;
        for (int y = 0; y < unit.height() && same; ++y)
            same = unit.pixel(x, y) == unit.pixel(x - 1, y);
        repeated += same;
    }

    out << "  dots found: " << fills.size() << '\n'
        << "  dot fills (w x h): " << counts(sizes) << '\n'
        << "  outline widths: " << counts(outlineWidths, " px") << '\n'
        << "  gaps between cells: " << counts(cellGaps, " px") << '\n'
        << QStringLiteral("  control unit: %1 of %2 device columns (%3 %) repeat their left neighbour\n")
               .arg(repeated)
               .arg(unit.width() - 1)
               .arg(100.0 * repeated / std::max(unit.width() - 1, 1), 0, 'f', 1);
    return 0;
}
