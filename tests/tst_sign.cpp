// The sign window: its frame, the dot grid, clearing, dragging by the panel,
// and the built-in font checked against an independent transcription of each
// glyph as row drawings with its dot count.

#include <Pendralumovista1.h>
#include <signreader.h>

#include <QAction>
#include <QScreen>
#include <QtTest>
#include <map>
#include <tuple>

namespace {
// Each glyph as ten rows of five, top row first ('#' lit), and its dot count.
struct Drawing {
    const char* name;
    int code;
    const char* rows;
    int dots;
};
const Drawing drawings[] = {
    {"A", 65, "..... .###. #...# #...# #...# ##### #...# #...# #...# .....", 20},
    {"B", 66, "..... ####. #...# #...# ####. #...# #...# #...# ####. .....", 22},
    {"C", 67, "..... .###. #.... #.... #.... #.... #.... #.... .###. .....", 12},
    {"D", 68, "..... ####. #...# #...# #...# #...# #...# #...# ####. .....", 20},
    {"E", 69, "..... ##### #.... #.... ####. #.... #.... #.... ##### .....", 19},
    {"F", 70, "..... ##### #.... #.... ####. #.... #.... #.... #.... .....", 15},
    {"G", 71, "..... ..### .#... #.... #.... #..## #...# #...# .###. .....", 16},
    {"H", 72, "..... #...# #...# #...# ##### #...# #...# #...# #...# .....", 19},
    {"I", 73, "..... .###. ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. .###. .....", 12},
    {"J", 74, "..... ####. ...#. ...#. ...#. ...#. ...#. ...#. #..#. .##..", 14},
    {"K", 75, "..... #...# #..#. #.#.. ##... ##... #.#.. #..#. #...# .....", 16},
    {"L", 76, "..... #.... #.... #.... #.... #.... #.... #.... ##### .....", 12},
    {"M", 77, "..... #...# ##.## #.#.# #...# #...# #...# #...# #...# .....", 19},
    {"N", 78, "..... #...# ##..# ##..# #.#.# #.#.# #..## #..## #...# .....", 22},
    {"O", 79, "..... .###. #...# #...# #...# #...# #...# #...# .###. .....", 18},
    {"P", 80, "..... ####. #...# #...# ####. #.... #.... #.... #.... .....", 16},
    {"Q", 81, "..... .###. #...# #...# #...# #...# #...# #.#.# .###. ....#", 20},
    {"R", 82, "..... ####. #...# #...# ####. ##... #.#.. #..#. #...# .....", 20},
    {"S", 83, "..... .###. #.... #.... .##.. ...#. ...#. ...#. ###.. .....", 13},
    {"T", 84, "..... ##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. .....", 12},
    {"U", 85, "..... #...# #...# #...# #...# #...# #...# #...# .###. .....", 17},
    {"V", 86, "..... #...# #...# #...# #...# #...# .#.#. .#.#. ..#.. .....", 15},
    {"W", 87, "..... #...# #...# #...# #...# #...# #.#.# #.#.# .#.#. .....", 18},
    {"X", 88, "..... #...# .#.#. .#.#. ..#.. ..#.. .#.#. .#.#. #...# .....", 14},
    {"Y", 89, "..... #...# #...# .#.#. .#.#. ..#.. ..#.. ..#.. ..#.. .....", 12},
    {"Z", 90, "..... ##### ...#. ..##. ..#.. ..#.. .#... .#... ##### .....", 17},
    {"ae", 196, ".#.#. ..... .###. #...# #...# ##### #...# #...# #...# .....", 20},
    {"oe", 214, ".#.#. ..... .###. #...# #...# #...# #...# #...# .###. .....", 18},
    {"ue", 220, ".#.#. ..... #...# #...# #...# #...# #...# #...# .###. .....", 17},
    {"akl", 97, "..... ..... ..... ..... .###. ....# .#### #...# .#### .....", 14},
    {"bkl", 98, "..... #.... #.... #.... ####. #...# #...# #...# ####. .....", 17},
    {"ckl", 99, "..... ..... ..... ..... .###. #.... #.... #.... .###. .....", 9},
    {"dkl", 100, "..... ....# ....# ....# .#### #...# #...# #...# .#### .....", 17},
    {"ekl", 101, "..... ..... ..... ..... .###. #...# ####. #.... .#### .....", 14},
    {"fkl", 102, "..... ..##. .#... .#... ####. .#... .#... .#... .#... .....", 12},
    {"gkl", 103, "..... ..... ..... ..... .###. #...# #...# .#### ....# .###.", 15},
    {"hkl", 104, "..... #.... #.... #.... ####. #...# #...# #...# #...# .....", 15},
    {"ikl", 105, "..... ..#.. ..... ..... ..#.. ..#.. ..#.. ..#.. .###. .....", 8},
    {"jkl", 106, "..... .#... ..... ..... .#... .#... .#... .#... .#.#. ..#..", 8},
    {"kkl", 107, "..... #.... #.... #.... #..#. #.#.. ##... #.#.. #..#. .....", 13},
    {"lkl", 108, "..... .#... .#... .#... .#... .#... .#... .#... ..##. .....", 9},
    {"mkl", 109, "..... ..... ..... ..... ##.#. #.#.# #.#.# #.#.# #.#.# .....", 15},
    {"nkl", 110, "..... ..... ..... ..... ####. #...# #...# #...# #...# .....", 12},
    {"okl", 111, "..... ..... ..... ..... .###. #...# #...# #...# .###. .....", 12},
    {"pkl", 112, "..... ..... ..... ..... .###. #...# #...# ####. #.... #....", 13},
    {"qkl", 113, "..... ..... ..... ..... .###. #...# #...# .#### ....# ....#", 13},
    {"rkl", 114, "..... ..... ..... ..... #.##. ##... #.... #.... #.... .....", 8},
    {"skl", 115, "..... ..... ..... ..... .###. #.... .###. ....# ####. .....", 12},
    {"tkl", 116, "..... .#... .#... ####. .#... .#... .#... .#... ..#.. .....", 11},
    {"ukl", 117, "..... ..... ..... ..... #...# #...# #...# #...# .#### .....", 12},
    {"vkl", 118, "..... ..... ..... ..... #...# #...# .#.#. .#.#. ..#.. .....", 9},
    {"wkl", 119, "..... ..... ..... ..... #...# #...# #...# #.#.# .#.#. .....", 11},
    {"xkl", 120, "..... ..... ..... ..... #...# .#.#. ..#.. .#.#. #...# .....", 9},
    {"ykl", 121, "..... ..... ..... ..... #...# .#.#. ..#.. ..#.. ..#.. .....", 7},
    {"zkl", 122, "..... ..... ..... ..... ##### ...#. ..#.. .#... ##### .....", 13},
    {"aekl", 228, "..... .#.#. ..... .###. ....# .#### #...# #...# .#### .....", 18},
    {"oekl", 246, "..... .#.#. ..... ..... .###. #...# #...# #...# .###. .....", 14},
    {"uekl", 252, "..... .#.#. ..... ..... #...# #...# #...# #...# .#### .....", 14},
    {"qq", 33, "..... ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ..... ..#..", 8},
    {"wq", 34, "##.## ##.## .#..# #..#. ..... ..... ..... ..... ..... .....", 12},
    {"eq", 167, ".##.. #..#. #.... .##.. #..#. .##.. ...#. #..#. .##.. .....", 16},
    {"rq", 36, "..#.. .#### #.#.. #.#.. .###. ..#.# ..#.# ..#.# ####. ..#..", 23},
    {"tq", 37, "..... ##..# ##..# ...#. ..#.. ..#.. .#... #..## #..## .....", 16},
    {"uq", 47, "..... ....# ....# ...#. ..#.. ..#.. .#... #.... #.... .....", 8},
    {"iq", 40, "..... ..##. .#... #.... #.... #.... #.... .#... ..##. .....", 10},
    {"oq", 41, "..... .##.. ...#. ....# ....# ....# ....# ...#. .##.. .....", 10},
    {"pq", 61, "..... ..... ..... ..... ##### ..... ..... ##### ..... .....", 10},
    {"fr", 63, ".##.. #..#. ...#. .##.. #.... #.... #.... .###. ..... ..#..", 14},
    {"kr", 35, "..... ..... ..... .#.#. ##### .#.#. .#.#. ##### .#.#. .....", 18},
    {"pe", 43, "..... ..... ..... ..#.. ..#.. ##### ..#.. ..#.. ..... .....", 9},
    {"ke", 44, "..... ..... ..... ..... ..... ..... .##.. .##.. ..#.. .#...", 6},
    {"kei", 59, "..... ..... .##.. .##.. ..... ..... .##.. .##.. ..#.. .#...", 10},
    {"le", 46, "..... ..... ..... ..... ..... ..... ..... ..... .##.. .##..", 4},
    {"lei", 58, "..... ..... .##.. .##.. ..... ..... .##.. .##.. ..... .....", 8},
    {"bs", 45, "..... ..... ..... ..... ..... ##### ..... ..... ..... .....", 5},
    {"xx", 96, ".##.. .##.. ..#.. .#... ..... ..... ..... ..... ..... .....", 6},
    {"eins", 49, "..... ..##. .#.#. ...#. ...#. ...#. ...#. ...#. ...#. .....", 10},
    {"zwei", 50, "..... .###. #...# ....# ...#. ..#.. .#... #.... ##### .....", 15},
    {"drei", 51, "..... .###. #...# ....# ..##. ....# ....# #...# .###. .....", 15},
    {"vier", 52, "..... ...#. ..#.. .#... #..#. ##### ...#. ...#. ...#. .....", 13},
    {"fuenf", 53, "..... ##### #.... #.... ####. ....# ....# #...# .###. .....", 18},
    {"sechs", 54, "..... ..##. .#... #.... ####. #...# #...# #...# .###. .....", 17},
    {"sieben", 55, "..... ##### ....# ...#. ...#. ..#.. ..#.. .#... .#... .....", 12},
    {"acht", 56, "..... .###. #...# #...# .###. #...# #...# #...# .###. .....", 19},
    {"neun", 57, "..... .###. #...# #...# #...# .#### ....# ....# ####. .....", 19},
    {"null", 48, "..... .###. #...# #...# #..## #.#.# ##..# #...# .###. .....", 21},
    {"sz", 223, "..... ..... ####. #...# #...# ####. #...# #...# ####. #....", 21},
};

QSet<int> litDots(const TForm1& sign)
{
    QSet<int> lit;
    for (int i = 0; i < TForm1::DotCount; ++i)
        if (sign.Dots[size_t(i)]->BrushColor() == TForm1::LitColor)
            lit.insert(i);
    return lit;
}

void pressAndRelease(TForm1& sign, Qt::MouseButton button, QPoint pressAt, QPoint releaseAt)
{
    // Positions in panel coordinates, sent through the window as a real press.
    const QPoint offset = sign.GroupBox1->pos();
    QTest::mousePress(sign.windowHandle(), button, {}, pressAt + offset);
    QTest::mouseRelease(sign.windowHandle(), button, {}, releaseAt + offset);
}
} // namespace

class TestSign : public QObject {
    Q_OBJECT
private slots:
    void windowOpensBorderlessOnTopWithADarkGrid()
    {
        TForm1 sign;
        QCOMPARE(sign.pos(), QPoint(57, 0));
        QCOMPARE(sign.size(), QSize(926, 113));
        QVERIFY(sign.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(sign.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(sign.GroupBox1->geometry(), QRect(8, 8, 913, 97));
        QCOMPARE(sign.Reset1->text(), QStringLiteral("Reset"));
        QVERIFY(!sign.Reset1->isVisible());
        QVERIFY(!sign.Timer1->Enabled());
        QCOMPARE(sign.Timer1->Interval(), 5000);
        QCOMPARE(sign.FirstPage, tk::Text());
        QCOMPARE(sign.PageTicks, 0);
        QVERIFY(litDots(sign).isEmpty());
        for (const tk::Shape* dot : sign.Dots) {
            QCOMPARE(dot->host(), sign.GroupBox1);
            QCOMPARE(dot->size(), QSize(8, 8));
            QCOMPARE(dot->BrushColor(), TForm1::DarkColor);
            QCOMPARE(dot->PenColor(), tk::clBlack);
        }
    }

    void dotGeometry_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("0") << 0 << QPoint(10, 10);
        QTest::newRow("9") << 9 << QPoint(10, 82);
        QTest::newRow("49") << 49 << QPoint(42, 82);
        QTest::newRow("50") << 50 << QPoint(55, 10);
        QTest::newRow("950") << 950 << QPoint(865, 10);
        QTest::newRow("999") << 999 << QPoint(897, 82);
    }
    void dotGeometry()
    {
        QFETCH(int, index);
        QFETCH(QPoint, topLeft);
        TForm1 sign;
        QCOMPARE(sign.Dots[size_t(index)]->pos(), topLeft);
    }

    void gridHasNoOverlapsAndFiveDotGapsBetweenCells()
    {
        TForm1 sign;
        QSet<QPair<int, int>> places;
        for (const tk::Shape* dot : sign.Dots)
            places.insert({dot->x(), dot->y()});
        QCOMPARE(places.size(), TForm1::DotCount);
        for (int cell = 0; cell < 19; ++cell) {
            const int rightEdge = sign.Dots[size_t(TForm1::dotIndex(cell, 4, 0))]->geometry().right();
            const int nextLeft = sign.Dots[size_t(TForm1::dotIndex(cell + 1, 0, 0))]->x();
            QCOMPARE(nextLeft - rightEdge - 1, 5);
        }
    }

    void paintedAsShown()
    {
        // Read back from the window as the platform shows it, after a write
        // and after a clear: each dot a 6 x 6 square inside a 1-pixel black
        // outline, on the black panel, which shows between the cells.
        TForm1 sign;
        sign.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sign));
        const auto shown = [&sign] {
            return sign.screen()->grabWindow(sign.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        };
        const QColor black(Qt::black), lit = tk::toQColor(TForm1::LitColor), dark = tk::toQColor(TForm1::DarkColor);
        const auto checkDot = [&](const QImage& image, QPoint corner, const QColor& fill) {
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    const bool edge = x == 0 || y == 0 || x == 7 || y == 7;
                    if (image.pixelColor(corner + QPoint(x, y)) != (edge ? black : fill))
                        return false;
                }
            return true;
        };
        const QPoint litDot = QPoint(8 + 10, 8 + 26), darkDot = QPoint(8 + 10, 8 + 10); // indices 2 and 0
        sign.schreib("A");
        QTRY_VERIFY(checkDot(shown(), litDot, lit));
        const QImage image = shown();
        QVERIFY(checkDot(image, darkDot, dark));
        for (int y = 0; y < 97; ++y) // the gap between cells 0 and 1, top to bottom
            for (int x = 50; x < 55; ++x)
                QCOMPARE(image.pixelColor(8 + x, 8 + y), black);
        QCOMPARE(image.pixelColor(8 + 500, 8 + 94), black);
        QVERIFY(image.pixelColor(4, 4) != black); // the window round the panel
        sign.Reset1->trigger();
        QTRY_VERIFY(checkDot(shown(), litDot, dark));
    }

    // At any device pixel ratio every dot comes out the same: one fill size
    // in device pixels, lit or dark. The fill keeps about the share of its
    // dot's pitch that it has at 1x (6 x 6 of 8 x 8, 56 %), so that the sign
    // is as bright at every scale; inside a cell the dots keep one pitch, so
    // the gaps between their fills are all alike.
    void dotsHaveOneSizeAtEveryRatio_data()
    {
        QTest::addColumn<double>("ratio");
        QTest::addColumn<int>("fill");  // in device pixels
        QTest::addColumn<int>("share"); // the fill's share of the pitch's square, in per cent
        for (const auto& [ratio, fill, share] : {std::tuple{1.0, 6, 56}, {1.1, 7, 60}, {1.25, 8, 64}, {1.5, 9, 56},
                                                 {1.75, 11, 62}, {2.0, 12, 56}, {2.5, 15, 56}, {3.0, 18, 56}})
            QTest::addRow("%g", ratio) << ratio << fill << share;
    }
    void dotsHaveOneSizeAtEveryRatio()
    {
        QFETCH(double, ratio);
        QFETCH(int, fill);
        QFETCH(int, share);
        TForm1 sign;
        sign.schreib("Hallo Welt 0123456789");
        QImage image((QSizeF(sign.GroupBox1->size()) * ratio).toSize() + QSize(1, 1), QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::black);
        sign.GroupBox1->render(&image);
        const auto isFill = [&](int x, int y) { return qGray(image.pixel(x, y)) > 0; };
        QSet<QPair<int, int>> sizes;
        std::map<int, QRect> fills; // by dot index, in device pixels
        for (int index = 0; index < TForm1::DotCount; ++index) {
            const QPoint centre = (QPointF(sign.Dots[size_t(index)]->geometry().center()) * ratio).toPoint();
            int left = centre.x(), right = centre.x(), top = centre.y(), bottom = centre.y();
            while (isFill(left - 1, centre.y()))
                --left;
            while (isFill(right + 1, centre.y()))
                ++right;
            while (isFill(centre.x(), top - 1))
                --top;
            while (isFill(centre.x(), bottom + 1))
                ++bottom;
            sizes.insert({right - left + 1, bottom - top + 1});
            fills[index] = QRect(QPoint(left, top), QPoint(right, bottom));
        }
        QCOMPARE(sizes, (QSet<QPair<int, int>>{{fill, fill}}));

        // The gaps between neighbouring fills inside each cell, across and
        // down: one width.
        QSet<int> gaps;
        for (int cell = 0; cell < TForm1::CellCount; ++cell)
            for (int column = 0; column < font::Columns; ++column)
                for (int row = 0; row < font::Rows; ++row) {
                    const QRect dot = fills[TForm1::dotIndex(cell, column, row)];
                    if (column + 1 < font::Columns)
                        gaps.insert(fills[TForm1::dotIndex(cell, column + 1, row)].left() - dot.right() - 1);
                    if (row + 1 < font::Rows)
                        gaps.insert(fills[TForm1::dotIndex(cell, column, row + 1)].top() - dot.bottom() - 1);
                }
        QCOMPARE(gaps.size(), qsizetype(1));
        const int pitch = fill + *gaps.begin();
        QCOMPARE(qRound(100.0 * fill * fill / (pitch * pitch)), share);
        QVERIFY2(qAbs(share - 56) <= 8, "the sign's light at this scale strays from 1x");
    }

    void resetClearsEveryDotAndOnlyTheDots()
    {
        TForm1 sign;
        sign.schreib("Hallo Welt 123");
        QVERIFY(!litDots(sign).isEmpty());
        sign.Timer1->setEnabled(true);
        sign.FirstPage = "Erste";
        sign.Reset1->trigger();
        QVERIFY(litDots(sign).isEmpty());
        // The paging ends, so no page comes back on the dark sign; the pages
        // stay in place.
        QVERIFY(!sign.Timer1->Enabled());
        QCOMPARE(sign.FirstPage, tk::Text("Erste"));
        sign.Reset1->trigger(); // clearing a dark sign is harmless
        QVERIFY(litDots(sign).isEmpty());
    }

    void fontTableMatchesTheDrawings()
    {
        QCOMPARE(int(font::glyphs.size()), 87);
        QCOMPARE(int(std::size(drawings)), 87);
        QSet<int> codes;
        for (size_t i = 0; i < font::glyphs.size(); ++i) {
            const font::Glyph& glyph = font::glyphs[i];
            const Drawing& drawing = drawings[i];
            QCOMPARE(glyph.name, drawing.name);
            QCOMPARE(int(glyph.code), drawing.code);
            QVERIFY2(!codes.contains(glyph.code), glyph.name);
            codes.insert(glyph.code);
            const QStringList rows = QString::fromLatin1(drawing.rows).split(' ');
            QCOMPARE(rows.size(), 10);
            int dots = 0;
            for (int column = 0; column < 5; ++column)
                for (int row = 0; row < 10; ++row) {
                    const bool lit = glyph.columns[size_t(column)] & (1u << row);
                    QCOMPARE(lit, rows[row][column] == QLatin1Char('#'));
                    dots += lit;
                }
            QCOMPARE(dots, drawing.dots);
            QCOMPARE(font::glyphFor(glyph.code), &glyph);
        }
        // No glyph reaches beyond row 9.
        for (const font::Glyph& glyph : font::glyphs)
            for (auto column : glyph.columns)
                QCOMPARE(column & ~0x3FFu, 0u);
    }

    void glyphALightsExactlyItsDots()
    {
        TForm1 sign;
        sign.A(0);
        QSet<int> expected{2, 3, 4, 5, 6, 7, 8, 11, 15, 21, 25, 31, 35, 42, 43, 44, 45, 46, 47, 48};
        QCOMPARE(litDots(sign), expected);
    }

    void fullStopInFirstAndLastCell()
    {
        TForm1 sign;
        sign.le(0);
        QCOMPARE(litDots(sign), (QSet<int>{18, 19, 28, 29}));
        sign.Reset1->trigger();
        sign.le(19);
        QCOMPARE(litDots(sign), (QSet<int>{968, 969, 978, 979}));
    }

    void glyphsAddToWhatIsLitAndCellsAbove19AreRefused()
    {
        TForm1 sign;
        sign.I(3);
        const QSet<int> before = litDots(sign);
        sign.bs(3);
        const QSet<int> after = litDots(sign);
        QVERIFY(after.contains(before));
        QCOMPARE(after.size(), before.size() + 4); // the dash shares its middle dot with I
        sign.A(20);
        sign.sz(255);
        QCOMPARE(litDots(sign), after);
    }

    void caseAndUmlautsHaveGlyphsOfTheirOwn()
    {
        QVERIFY(font::glyphFor('a')->columns != font::glyphFor('A')->columns);
        QVERIFY(font::glyphFor(228)->columns != font::glyphFor(196)->columns);
        QCOMPARE(QByteArray(font::glyphFor(223)->name), QByteArray("sz"));
        QCOMPARE(QByteArray(font::glyphFor(167)->name), QByteArray("eq"));
        QCOMPARE(QByteArray(font::glyphFor(252)->name), QByteArray("uekl"));
        // The UTF-8 lead byte of an umlaut is no glyph.
        QCOMPARE(font::glyphFor(0xC3), nullptr);
    }

    void codesWithoutAGlyphLightNothing()
    {
        QSet<int> withGlyph;
        for (const font::Glyph& glyph : font::glyphs)
            withGlyph.insert(glyph.code);
        TForm1 sign;
        int without = 0;
        for (int code = 0; code < 256; ++code) {
            if (withGlyph.contains(code))
                continue;
            ++without;
            sign.schreib(tk::Text(1, char(code)));
            QVERIFY2(litDots(sign).isEmpty(), qPrintable(QString::number(code)));
        }
        QCOMPARE(without, 256 - 87);
        const tk::Text noGlyphs(" &'*<>@[\\]^_{|}~");
        for (char c : noGlyphs)
            QCOMPARE(font::glyphFor(static_cast<unsigned char>(c)), nullptr);
    }

    void writtenTextReadsBack()
    {
        TForm1 sign;
        sign.schreib(tk::fromUtf8("Grüße § 1-0/ÄÖÜ.;"));
        QCOMPARE(readSign(sign), tk::fromUtf8("Grüße § 1-0/ÄÖÜ.;"));
    }

    void dragByThePanel_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<QPoint>("release");
        QTest::addColumn<QPoint>("moved");
        QTest::newRow("gap between cells 1 and 2") << int(Qt::LeftButton) << QPoint(97, 50) << QPoint(127, 40) << QPoint(30, -10);
        QTest::newRow("right button") << int(Qt::RightButton) << QPoint(97, 50) << QPoint(127, 40) << QPoint(30, -10);
        QTest::newRow("margin, same point") << int(Qt::LeftButton) << QPoint(3, 3) << QPoint(3, 3) << QPoint(0, 0);
        QTest::newRow("bottom margin, released far away") << int(Qt::LeftButton) << QPoint(400, 93) << QPoint(600, 300) << QPoint(200, 207);
        QTest::newRow("on dot 0") << int(Qt::LeftButton) << QPoint(12, 12) << QPoint(100, 60) << QPoint(0, 0);
        QTest::newRow("on a dot, right button") << int(Qt::RightButton) << QPoint(470, 50) << QPoint(10, 10) << QPoint(0, 0);
    }
    void dragByThePanel()
    {
        QFETCH(int, button);
        QFETCH(QPoint, press);
        QFETCH(QPoint, release);
        QFETCH(QPoint, moved);
        TForm1 sign;
        sign.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sign));
        const QPoint start = sign.pos();
        pressAndRelease(sign, Qt::MouseButton(button), press, release);
        QCOMPARE(sign.pos() - start, moved);
    }

    void releaseWithoutPressUsesTheLastStoredPress()
    {
        TForm1 sign;
        const QPoint start = sign.pos();
        sign.GroupBox1MouseUp(tk::MouseButton::Left, {}, 5, 7);
        QCOMPARE(sign.pos() - start, QPoint(5, 7));
        sign.GroupBox1MouseDown(tk::MouseButton::Left, {}, 20, 20);
        sign.GroupBox1MouseUp(tk::MouseButton::Left, {}, 25, 10);
        sign.GroupBox1MouseUp(tk::MouseButton::Left, {}, 25, 10);
        QCOMPARE(sign.pos() - start, QPoint(15, -13));
    }
};

QTEST_MAIN(TestSign)
#include "tst_sign.moc"
