// Draws the two bitmaps of the control unit: the picture of the driver's
// terminal (skin) and the strip beside the route list (routestrip); and the
// program's icon for the desktop, a tiny dot-matrix sign, at 48, 64, 128
// and 256 pixels (icon-48.png ... icon-256.png) and as vector graphics
// (icon.svg), and the companion's, the same sign with a loudspeaker
// (ansage-icon-48.png ... ansage-icon-256.png, ansage-icon.svg).
//
// The bitmaps are painted here rather than kept as hand-edited files so that
// every pixel can be traced back to a line of code and regenerated at will.
// The program only paints what belongs to the hardware: key caps, the display
// window and its bezel. All captions that the simulator changes at run time
// (the five buttons along the bottom, the display contents) are drawn by the
// simulator itself on top of this picture, so they are left blank here.
//
// Each bitmap is written twice: as raw pixels (skin.rgb32, routestrip.rgb32),
// which the program compiles in and shows without decoding anything, and as
// a BMP file of the same pixels for people to look at. Both are drawn once
// more at two and three times the size, for screens the desktop scales up,
// also as raw pixels (skin@2x.rgb32, routestrip@3x.rgb32, ...).
//
// Usage: draw_artwork OUTPUT_DIR FONT_FILE
//   OUTPUT_DIR  folder that receives the bitmaps and the icons
//   FONT_FILE   the TrueType font for the key legends
//               (resources/fonts/LiberationSans-Regular.ttf)
//
// The output is deterministic: no randomness, no time, no system fonts.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QSvgGenerator>
#include <QPainterPath>
#include <QPointF>
#include <QRadialGradient>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include "rawbitmap.h"

#include <array>

namespace {

// The lime of the display glass; the route strip must match it exactly,
// otherwise the strip would show as a patch over the display.
const QColor kLime(0xA8, 0xEE, 0x14);
// Dark ink of the display's fixed symbols.
const QColor kLcdInk(0x24, 0x2C, 0x0C);

const QColor kGround(20, 33, 66);        // dark blue around the housing
const QColor kFaceTop(229, 231, 234);    // housing, lit from above
const QColor kFaceBottom(203, 206, 211);
const QColor kBezel(54, 58, 66);         // frame around the display glass
const QColor kKeyBlue(30, 60, 124);      // round keys
const QColor kKeyBlueLight(72, 106, 172);
const QColor kKeyBlueDark(16, 34, 76);
const QColor kBarBlue(26, 44, 88);       // strip behind the bottom buttons
const QColor kSoftKeyOrange(242, 128, 20);
const QColor kLetterKeyLegend(255, 196, 40);

// The bottom buttons carry captions in white on some screens and in black on
// others, so their face sits in the middle: a grey-blue whose relative
// luminance (about 0.18) gives roughly 4.5:1 against both white and black.
const QColor kButtonFace(106, 121, 146);

constexpr int kSkinWidth = 515;
constexpr int kSkinHeight = 249;
constexpr int kStripWidth = 37;
constexpr int kStripHeight = 113;

// A cheap soft shadow: the shape repeated, each time a little larger and very
// faint, so the edges fade out instead of ending in a hard line.
void softShadow(QPainter &p, const QRectF &r, qreal radius, QPointF offset, int layers, int alpha)
{
  p.save();
  p.setPen(Qt::NoPen);
  for (int i = layers; i >= 1; --i) {
    const qreal grow = i;
    p.setBrush(QColor(0, 0, 0, alpha));
    p.drawRoundedRect(r.translated(offset).adjusted(-grow, -grow, grow, grow), radius + grow, radius + grow);
  }
  p.restore();
}

// A panel set into the housing: a highlight along its lower lip, a shade
// along its upper one, and the panel itself in a top-to-bottom gradient.
void drawInset(QPainter &p, const QRectF &r, qreal radius, int shadeAlpha, const QColor &top,
               const QColor &bottom)
{
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 170));
  p.drawRoundedRect(r.translated(0, 1.2), radius, radius);
  p.setBrush(QColor(0, 0, 0, shadeAlpha));
  p.drawRoundedRect(r.translated(0, -1.0), radius, radius);
  QLinearGradient gradient(r.topLeft(), r.bottomLeft());
  gradient.setColorAt(0.0, top);
  gradient.setColorAt(1.0, bottom);
  p.setBrush(gradient);
  p.drawRoundedRect(r, radius, radius);
}

void drawHousing(QPainter &p)
{
  p.fillRect(QRect(0, 0, kSkinWidth, kSkinHeight), kGround);

  const QRectF face(6.5, 5.5, 502, 237);
  softShadow(p, face, 16, QPointF(0, 2), 4, 22);

  QLinearGradient body(face.topLeft(), face.bottomLeft());
  body.setColorAt(0.0, kFaceTop);
  body.setColorAt(1.0, kFaceBottom);
  p.setBrush(body);
  p.setPen(QPen(QColor(120, 126, 138), 1));
  p.drawRoundedRect(face, 16, 16);

  // A thin light line just inside the edge gives the moulded rim.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 150), 1));
  p.drawRoundedRect(face.adjusted(1.5, 1.5, -1.5, -1.5), 14.5, 14.5);
}

void drawDisplay(QPainter &p)
{
  // The glass itself covers (66,50)..(291,169) inclusive.
  const QRect glass(66, 50, 226, 120);

  // Recess in the housing: a darker lip above, a highlight below.
  const QRectF recess = QRectF(glass).adjusted(-10, -10, 10, 10);
  drawInset(p, recess, 8, 60, kBezel.darker(115), kBezel.lighter(115));

  // The glass is one flat lime right up to its edges: the program paints
  // the display contents (and the route strip) onto it and expects that
  // colour everywhere inside the window.
  p.fillRect(glass, kLime);
}

// Three soft keys whose meaning is shown on the display line they point at.
void drawSoftKeys(QPainter &p)
{
  const std::array<int, 3> keyTops{50, 91, 132};
  for (const int top : keyTops) {
    const qreal cy = top + 16.0;
    const QPointF dot(29.5, cy);

    softShadow(p, QRectF(dot.x() - 6, cy - 6, 12, 12), 6, QPointF(0, 1.2), 2, 30);
    QRadialGradient shine(dot + QPointF(-2, -2.5), 8);
    shine.setColorAt(0.0, kSoftKeyOrange.lighter(135));
    shine.setColorAt(1.0, kSoftKeyOrange.darker(108));
    p.setPen(QPen(kSoftKeyOrange.darker(150), 1));
    p.setBrush(shine);
    p.drawEllipse(dot, 6, 6);

    // The pointer towards the display line.
    p.setPen(Qt::NoPen);
    p.setBrush(kSoftKeyOrange);
    p.drawRoundedRect(QRectF(38.5, cy - 1.5, 15, 3), 1.5, 1.5);
  }
}

void drawRoundKey(QPainter &p, QPointF centre, qreal radius)
{
  const QRectF r(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);

  // Shadow under the key cap, then the cap itself lit from upper left.
  softShadow(p, r, radius, QPointF(0.5, 1.8), 3, 28);

  QRadialGradient cap(centre + QPointF(-radius * 0.35, -radius * 0.45), radius * 1.35);
  cap.setColorAt(0.0, kKeyBlueLight);
  cap.setColorAt(0.55, kKeyBlue);
  cap.setColorAt(1.0, kKeyBlueDark);
  p.setPen(QPen(QColor(10, 20, 44), 1));
  p.setBrush(cap);
  p.drawEllipse(r);

  // A faint rim of light around the top of the cap.
  p.setPen(QPen(QColor(255, 255, 255, 55), 1));
  p.setBrush(Qt::NoBrush);
  p.drawArc(r.adjusted(1.5, 1.5, -1.5, -1.5), 30 * 16, 120 * 16);
}

void drawTriangle(QPainter &p, QPointF centre, qreal halfWidth, qreal height, bool up, const QColor &colour)
{
  const qreal dir = up ? -1.0 : 1.0;
  QPainterPath path;
  path.moveTo(centre.x(), centre.y() + dir * height / 2);
  path.lineTo(centre.x() + halfWidth, centre.y() - dir * height / 2);
  path.lineTo(centre.x() - halfWidth, centre.y() - dir * height / 2);
  path.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPath(path);
}

// Up and down scroll through the list on the display.
void drawArrowKeys(QPainter &p)
{
  // Key areas (316,52,33x41) and (318,131,33x41); both caps share one column.
  const QPointF upCentre(333.5, 71.0);
  const QPointF downCentre(333.5, 151.0);
  drawRoundKey(p, upCentre, 15);
  drawRoundKey(p, downCentre, 15);
  drawTriangle(p, upCentre + QPointF(0, -0.5), 7, 10, true, Qt::white);
  drawTriangle(p, downCentre + QPointF(0, 0.5), 7, 10, false, Qt::white);
}

void drawKeypad(QPainter &p, const QString &family)
{
  struct Key {
    int left;
    int top;
    const char *legend;
  };
  const std::array<Key, 12> keys{{
      {369, 29, "1"}, {411, 29, "2"}, {450, 29, "3"},
      {369, 71, "4"}, {411, 71, "5"}, {450, 71, "6"},
      {369, 112, "7"}, {411, 112, "8"}, {450, 112, "9"},
      {369, 152, "C"}, {411, 152, "0"}, {450, 152, "M"},
  }};

  QFont font(family);
  font.setPixelSize(17);
  font.setBold(true);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setStyleStrategy(QFont::PreferAntialias);
  p.setFont(font);

  for (const Key &k : keys) {
    const QRectF area(k.left, k.top, 33, 33);
    drawRoundKey(p, area.center(), 15);
    const QString legend = QString::fromLatin1(k.legend);
    const bool letter = legend == QLatin1String("C") || legend == QLatin1String("M");
    p.setPen(letter ? kLetterKeyLegend : QColor(Qt::white));
    p.drawText(area.translated(0, 0.5), Qt::AlignCenter, legend);
  }
}

// The five function buttons along the bottom. Their captions depend on the
// screen shown and are drawn by the program, so the caps carry no text.
void drawBottomButtons(QPainter &p)
{
  const QRectF bar(16.5, 190.5, 482, 38);
  // The strip is set into the housing: highlight below, shade above.
  drawInset(p, bar, 9, 50, kBarBlue.darker(120), kBarBlue.lighter(110));

  // Caption rectangles (left, top, width, height) the program writes into.
  const std::array<QRect, 5> captions{{
      {48, 203, 27, 13},   // Menü
      {102, 203, 38, 13},  // Anzeige
      {169, 203, 22, 13},  // Auto
      {219, 203, 43, 13},  // Endstelle
      {276, 203, 49, 17},  // Schließen
  }};
  for (const QRect &c : captions) {
    // Four pixels to either side (the last two captions sit only 14 px
    // apart) and one common height, so the row reads as a set.
    const QRectF cap(c.left() - 4, 197, c.width() + 8, 26);
    softShadow(p, cap, 5, QPointF(0, 1.5), 2, 60);

    // Only a faint gradient, so a caption has the same contrast wherever
    // it lands on the cap.
    QLinearGradient face(cap.topLeft(), cap.bottomLeft());
    face.setColorAt(0.0, kButtonFace.lighter(108));
    face.setColorAt(0.5, kButtonFace);
    face.setColorAt(1.0, kButtonFace.darker(108));
    p.setPen(QPen(QColor(12, 22, 46), 1));
    p.setBrush(face);
    p.drawRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);

    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(cap.left() + 5, cap.top() + 1.5), QPointF(cap.right() - 5, cap.top() + 1.5));
  }

  // The loudspeaker for the announcements sits behind the free end of the
  // strip: a row of slots.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(8, 14, 30));
  for (int i = 0; i < 14; ++i) {
    const QRectF slot(372.5 + i * 8, 202.5, 3, 15);
    p.drawRoundedRect(slot, 1.5, 1.5);
  }

  // Power lamp.
  const QPointF lamp(484.5, 209.5);
  QRadialGradient glow(lamp + QPointF(-1, -1), 4.5);
  glow.setColorAt(0.0, QColor(200, 255, 170));
  glow.setColorAt(1.0, QColor(40, 170, 60));
  p.setPen(QPen(QColor(6, 40, 14), 1));
  p.setBrush(glow);
  p.drawEllipse(lamp, 3.5, 3.5);
}

// The skin at `scale` device pixels per pixel of the face: 1 for ordinary
// screens, 2 and 3 for those that the desktop scales up. The same drawing,
// only finer; at 1 it is exactly the bitmap the face was laid out on.
QImage drawSkin(const QString &family, int scale)
{
  QImage img(kSkinWidth * scale, kSkinHeight * scale, QImage::Format_ARGB32_Premultiplied);
  img.fill(kGround);
  QPainter p(&img);
  if (scale != 1)
    p.scale(scale, scale);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);

  drawHousing(p);
  drawDisplay(p);
  drawSoftKeys(p);
  drawArrowKeys(p);
  drawKeypad(p, family);
  drawBottomButtons(p);
  p.end();
  return img.convertToFormat(QImage::Format_RGB888);
}

// The strip is only 37 px wide, so at 1x its marks are set pixel by pixel
// without smoothing: at this size a blurred edge reads as a smudge on the
// LCD. Finer screens get the slanted edges smooth, as the LCD's own
// segments would look there.

// A triangle of rows 1, 3, 5, 7 px wide, centred on column cx.
void drawPixelTriangle(QPainter &p, int cx, int tipY, bool up, bool smooth)
{
  if (smooth) {
    const qreal dir = up ? 1.0 : -1.0;
    const qreal tip = up ? tipY : tipY + 1;
    QPainterPath path;
    path.moveTo(cx + 0.5, tip);
    path.lineTo(cx + 4.0, tip + dir * 4);
    path.lineTo(cx - 3.0, tip + dir * 4);
    path.closeSubpath();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillPath(path, kLcdInk);
    p.restore();
    return;
  }
  for (int row = 0; row < 4; ++row) {
    const int y = up ? tipY + row : tipY - row;
    p.fillRect(QRect(cx - row, y, 2 * row + 1, 1), kLcdInk);
  }
}

// A small bus seen from the side, 11 x 9 px with its top left at (x, y):
// a body with a row of windows and two wheels below.
void drawBusPictogram(QPainter &p, int x, int y, bool smooth)
{
  p.fillRect(QRect(x + 1, y, 9, 1), kLcdInk);      // roof, corners left off
  p.fillRect(QRect(x, y + 1, 11, 6), kLcdInk);     // body
  for (int i = 0; i < 3; ++i)                      // windows
    p.fillRect(QRect(x + 1 + i * 3, y + 2, 2, 2), kLime);
  p.fillRect(QRect(x + 10, y + 2, 1, 3), kLime);   // windscreen at the front
  if (smooth) {                                    // wheels
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(kLcdInk);
    p.drawEllipse(QRectF(x + 1.8, y + 6.8, 2.4, 2.4));
    p.drawEllipse(QRectF(x + 6.8, y + 6.8, 2.4, 2.4));
    p.restore();
  } else {
    p.fillRect(QRect(x + 2, y + 7, 2, 2), kLcdInk);
    p.fillRect(QRect(x + 7, y + 7, 2, 2), kLcdInk);
  }
}

// The strip to the right of the route list. The program frames it and moves
// a position marker down its left edge (strip rows 7..105), so the two arrow
// marks stay above and below that travel.
QImage drawRouteStrip(int scale)
{
  QImage img(kStripWidth * scale, kStripHeight * scale, QImage::Format_ARGB32_Premultiplied);
  img.fill(kLime);
  QPainter p(&img);
  if (scale != 1)
    p.scale(scale, scale);
  const bool smooth = scale > 1;

  // The marker's bar is framed at strip columns -1 and 8; the marks stay
  // between those lines, above row 7 and below row 105.
  drawPixelTriangle(p, 4, 2, true, smooth);     // rows 2..5
  drawPixelTriangle(p, 4, 110, false, smooth);  // rows 107..110

  // The vehicle symbol at mid-height against the right edge (the visible
  // strip ends at column 35).
  drawBusPictogram(p, 24, 52, smooth);
  p.end();
  return img.convertToFormat(QImage::Format_RGB888);
}

// The icon: a dot-matrix sign showing line 7 and an arrow, in a rounded dark
// housing. It is laid out on a 64 x 64 grid and scaled for the larger sizes,
// so at 64 px every dot falls on whole pixels and stays crisp; a blurred dot
// at that size would read as a grey smear instead of a light.
constexpr int kIconGrid = 64;
constexpr int kIconColumns = 12;
constexpr int kIconRows = 8;
constexpr int kIconPitch = 4;   // dot pitch, in grid units
constexpr int kIconDot = 3;     // lit or dark square inside the pitch
constexpr int kIconGridLeft = 8;
constexpr int kIconGridTop = 16;

// '#' is a lit dot. A wide "7" (the number of the example tram line) and an
// arrow to the right, as a sign shows line and direction.
constexpr std::array<const char *, kIconRows> kIconDots{{
    "#####.......",
    "....#...#...",
    "...#....##..",
    "...#..######",
    "..#...######",
    "..#.....##..",
    ".#......#...",
    ".#..........",
}};

const QColor kIconLit(0x3C, 0xFF, 0x3C);
// Darker than the sign's own grey: at icon size the unlit dots only have to
// hint at the grid, and the lit ones must stand out against it.
const QColor kIconDark(0x40, 0x44, 0x48);

// The companion's mark, laid on the sign's lower right corner: a loudspeaker
// with two sound waves on a light disc, so that its menu entry reads apart
// from the simulator's at a glance.
void drawSpeakerBadge(QPainter &p)
{
  const QPointF centre(48, 46);
  p.setPen(QPen(QColor(0x12, 0x14, 0x18), 1.5));
  p.setBrush(QColor(0xF2, 0xC2, 0x2E));
  p.drawEllipse(centre, 14, 14);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x12, 0x14, 0x18));
  QPolygonF speaker;
  speaker << QPointF(38, 42) << QPointF(42, 42) << QPointF(47, 37) << QPointF(47, 55) << QPointF(42, 50)
          << QPointF(38, 50);
  p.drawPolygon(speaker);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x12, 0x14, 0x18), 2, Qt::SolidLine, Qt::RoundCap));
  for (const qreal radius : {4.0, 8.0})
    p.drawArc(QRectF(47 - radius, 46 - radius, 2 * radius, 2 * radius), -50 * 16, 100 * 16);
}

// Paints the icon for `size` pixels on a painter that is in grid units.
void paintIcon(QPainter &p, int size, bool speaker)
{
  const qreal scale = qreal(size) / kIconGrid;

  // Housing: a rounded dark case, lit slightly from above, with a thin
  // lighter rim so it still shows on a dark desktop.
  const QRectF housing(1.5, 9.5, 61, 44);
  softShadow(p, housing, 6, QPointF(0, 1), 2, 40);
  QLinearGradient body(housing.topLeft(), housing.bottomLeft());
  body.setColorAt(0.0, QColor(0x4A, 0x50, 0x5A));
  body.setColorAt(1.0, QColor(0x23, 0x27, 0x2E));
  p.setBrush(body);
  p.setPen(QPen(QColor(0x12, 0x14, 0x18), 1));
  p.drawRoundedRect(housing, 6, 6);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 60), 1));
  p.drawRoundedRect(housing.adjusted(1, 1, -1, -1), 5, 5);

  // The black face behind the dots.
  const QRectF face(kIconGridLeft - 3, kIconGridTop - 3, kIconColumns * kIconPitch + 5, kIconRows * kIconPitch + 5);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawRoundedRect(face, 2, 2);

  // Square dots on whole grid units; above 64 px they get slightly rounded
  // corners and the lit ones a faint glow, which only larger sizes can show.
  const bool large = size > kIconGrid;
  const qreal corner = large ? 0.6 : 0.0;
  // At 48 px the pitch is 3 px and the dots start on whole pixels; a dot of
  // 2 px keeps them crisp and apart.
  const qreal dotSize = size < kIconGrid ? 2.0 / scale : kIconDot;
  for (int row = 0; row < kIconRows; ++row) {
    for (int column = 0; column < kIconColumns; ++column) {
      const bool lit = kIconDots[size_t(row)][column] == '#';
      const QRectF dot(kIconGridLeft + column * kIconPitch, kIconGridTop + row * kIconPitch, dotSize, dotSize);
      if (lit && large) {
        p.setBrush(QColor(kIconLit.red(), kIconLit.green(), kIconLit.blue(), 50));
        p.drawRoundedRect(dot.adjusted(-0.5, -0.5, 0.5, 0.5), 1.2, 1.2);
      }
      p.setBrush(lit ? kIconLit : kIconDark);
      if (corner > 0)
        p.drawRoundedRect(dot, corner, corner);
      else
        p.drawRect(dot);
    }
  }
  if (speaker)
    drawSpeakerBadge(p);
}

QImage drawIcon(int size, bool speaker)
{
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(qreal(size) / kIconGrid, qreal(size) / kIconGrid);
  paintIcon(p, size, speaker);
  p.end();
  return img;
}

// The same icon as vector graphics, for desktops that scale icons to any
// size: it is all rectangles, gradients and arcs. Laid out as the 64-pixel
// one, whose dots fall on whole grid units.
bool saveSvgIcon(const QDir &dir, const QString &name, bool speaker)
{
  QSvgGenerator svg;
  svg.setFileName(dir.filePath(name));
  svg.setSize(QSize(kIconGrid, kIconGrid));
  svg.setViewBox(QRect(0, 0, kIconGrid, kIconGrid));
  svg.setTitle(speaker ? QStringLiteral("Pendralumovista mit Ansage") : QStringLiteral("Pendralumovista"));
  QPainter p;
  if (!p.begin(&svg)) {
    QTextStream(stderr) << "draw_artwork: cannot write " << name << '\n';
    return false;
  }
  p.setRenderHint(QPainter::Antialiasing, true);
  paintIcon(p, kIconGrid, speaker);
  return p.end();
}

// Raw pixels as the program reads them (tk::Picture), laid out as
// rawbitmap.h describes.
bool saveRaw(const QImage &img, const QDir &dir, const QString &name)
{
  const QImage pixels = img.convertToFormat(QImage::Format_RGB32);
  QFile file(dir.filePath(name));
  bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  rawbitmap::Header header;
  header.width = quint32(pixels.width());
  header.height = quint32(pixels.height());
  ok = ok && file.write(reinterpret_cast<const char *>(&header), sizeof header) == qint64(sizeof header);
  for (int y = 0; ok && y < pixels.height(); ++y) {
    const qint64 bytes = qint64(pixels.width()) * 4;
    ok = file.write(reinterpret_cast<const char *>(pixels.constScanLine(y)), bytes) == bytes;
  }
  if (!ok || !file.flush()) {
    QTextStream(stderr) << "draw_artwork: cannot write " << file.fileName() << '\n';
    return false;
  }
  return true;
}

bool save(const QImage &img, const QDir &dir, const QString &name, const char *format = "BMP")
{
  const QString path = dir.filePath(name);
  if (!img.save(path, format)) {
    QTextStream(stderr) << "draw_artwork: cannot write " << path << '\n';
    return false;
  }
  return true;
}

} // namespace

int main(int argc, char **argv)
{
  // Text needs a GUI application, but nothing is ever shown.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  const QStringList args = QGuiApplication::arguments();
  if (args.size() != 3) {
    QTextStream(stderr) << "usage: draw_artwork OUTPUT_DIR FONT_FILE\n";
    return 2;
  }

  const int fontId = QFontDatabase::addApplicationFont(args.at(2));
  const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
  if (fontId < 0 || families.isEmpty()) {
    QTextStream(stderr) << "draw_artwork: cannot load font " << args.at(2) << '\n';
    return 1;
  }

  QDir out(args.at(1));
  if (!out.mkpath(QStringLiteral("."))) {
    QTextStream(stderr) << "draw_artwork: cannot create " << args.at(1) << '\n';
    return 1;
  }

  const QImage skin = drawSkin(families.first(), 1);
  const QImage strip = drawRouteStrip(1);
  if (!saveRaw(skin, out, QStringLiteral("skin.rgb32")) || !save(skin, out, QStringLiteral("skin.bmp")))
    return 1;
  if (!saveRaw(strip, out, QStringLiteral("routestrip.rgb32")) || !save(strip, out, QStringLiteral("routestrip.bmp")))
    return 1;
  // The finer sources for scaled-up screens, named as Qt names them. Only
  // such screens read them, so the build compresses them (resources/
  // CMakeLists.txt): as raw pixels at 3x they would add several megabytes.
  for (const int scale : {2, 3}) {
    const QString suffix = QStringLiteral("@%1x.rgb32").arg(scale);
    if (!saveRaw(drawSkin(families.first(), scale), out, QStringLiteral("skin") + suffix)
        || !saveRaw(drawRouteStrip(scale), out, QStringLiteral("routestrip") + suffix))
      return 1;
  }
  for (const int size : {48, 64, 128, 256}) {
    if (!save(drawIcon(size, false), out, QStringLiteral("icon-%1.png").arg(size), "PNG")
        || !save(drawIcon(size, true), out, QStringLiteral("ansage-icon-%1.png").arg(size), "PNG"))
      return 1;
  }
  if (!saveSvgIcon(out, QStringLiteral("icon.svg"), false) || !saveSvgIcon(out, QStringLiteral("ansage-icon.svg"), true))
    return 1;
  return 0;
}
