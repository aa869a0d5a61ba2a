// The control unit's face and start state: what the driver sees when the
// program comes up, the clock, which control takes a press where, moving the
// window by its skin, the stop lines and the route marker, and "Schließen"
// ending the program.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <mouse.h>
#include <rawbitmap.h>
#include <scriptedplatform.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QResource>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

namespace {

// A sign and a control unit built as at start, on a scripted platform.
struct Fixture {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    bool show()
    {
        form.show();
        return QTest::qWaitForWindowExposed(&form);
    }
};

// Name, control, place, shown at start.
using FaceControl = std::tuple<const char*, tk::Control*, QRect, bool>;

// Every control of the face, bottom to top, with its place and whether it
// shows at start.
std::vector<FaceControl> faceOf(const TForm2& f)
{
    return {
        {"Image1", f.Image1, {0, 0, 515, 249}, true},       {"Label3", f.Label3, {72, 98, 225, 79}, true},
        {"Shape1", f.Shape1, {316, 52, 33, 41}, true},      {"Shape2", f.Shape2, {318, 131, 33, 41}, true},
        {"Label4", f.Label4, {276, 203, 49, 17}, true},     {"Label5", f.Label5, {48, 203, 27, 13}, true},
        {"Label6", f.Label6, {102, 203, 38, 13}, true},     {"Label7", f.Label7, {169, 203, 22, 13}, true},
        {"Label01", f.Label01, {369, 29, 33, 33}, true},    {"Label02", f.Label02, {411, 29, 33, 33}, true},
        {"Label03", f.Label03, {450, 29, 33, 33}, true},    {"Label04", f.Label04, {369, 71, 33, 33}, true},
        {"Label05", f.Label05, {411, 71, 33, 33}, true},    {"Label06", f.Label06, {450, 71, 33, 33}, true},
        {"Label07", f.Label07, {369, 112, 33, 33}, true},   {"Label08", f.Label08, {411, 112, 33, 33}, true},
        {"Label09", f.Label09, {450, 112, 33, 33}, true},   {"Label0C", f.Label0C, {369, 152, 33, 33}, true},
        {"Label00", f.Label00, {411, 152, 33, 33}, true},   {"Label0M", f.Label0M, {450, 152, 33, 33}, true},
        {"Label9", f.Label9, {219, 203, 43, 13}, true},     {"Shape3", f.Shape3, {68, 54, 162, 30}, false},
        {"Image2", f.Image2, {230, 56, 36, 112}, false},    {"Shape4", f.Shape4, {238, 54, 52, 21}, false},
        {"Shape5", f.Shape5, {229, 54, 10, 116}, false},    {"Shape6", f.Shape6, {238, 149, 52, 21}, false},
        {"Label2", f.Label2, {248, 135, 49, 17}, false},    {"Label8", f.Label8, {248, 151, 49, 16}, false},
        {"Shape7", f.Shape7, {229, 63, 10, 10}, false},     {"Shape8", f.Shape8, {20, 50, 30, 33}, true},
        {"Shape9", f.Shape9, {20, 91, 30, 33}, true},       {"Shape10", f.Shape10, {20, 132, 30, 33}, true},
        {"Label10", f.Label10, {272, 112, 9, 13}, false},   {"Label1", f.Label1, {72, 57, 217, 112}, true},
    };
}

tk::Control* control(const TForm2& f, const QByteArray& name)
{
    for (const auto& [controlName, found, rect, shown] : faceOf(f))
        if (name == controlName)
            return found;
    return nullptr;
}

const tk::Text Splash = "\r          Orbis-Motion\r       Pendralumovista\r          Version: 2.2";

QImage faceImage(TForm2& form)
{
    return form.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Whether two pictures of the display differ only in rows beside `keys`,
// and somewhere beside each of them: where a caption put its lines of text.
bool inkedBesideOnly(const QImage& before, const QImage& after, const QList<tk::Control*>& keys)
{
    QSet<tk::Control*> inked;
    for (int y = 50; y < 178; ++y)
        for (int x = 72; x < 290; ++x) {
            if (before.pixel(x, y) == after.pixel(x, y))
                continue;
            const auto key = std::find_if(keys.begin(), keys.end(), [y](tk::Control* k) {
                return y >= k->y() && y <= k->geometry().bottom();
            });
            if (key == keys.end())
                return false;
            inked.insert(*key);
        }
    return inked.size() == keys.size();
}

double luminance(QRgb rgb)
{
    auto linear = [](int v) { return v <= 10 ? v / 255.0 / 12.92 : std::pow((v / 255.0 + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(qRed(rgb)) + 0.7152 * linear(qGreen(rgb)) + 0.0722 * linear(qBlue(rgb));
}

constexpr int KeptRunning = 42;

// Runs `action` inside the program's event loop, as a key press would be, and
// returns the loop's exit code: 0 when the action ended the program at once,
// KeptRunning when the loop was still running a moment later.
int runInEventLoop(const std::function<void()>& action)
{
    QTimer::singleShot(0, qApp, [&] {
        action();
        QTimer::singleShot(200, qApp, [] { QCoreApplication::exit(KeptRunning); });
    });
    return QCoreApplication::exec();
}

enum class Close { OtherWindowOpen, UnitClosed, Mouse, UnitOnly };

} // namespace

class TestFace : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); } // only the sign ends the program
    void startState();
    void layout();
    void captions();
    void drawing();
    void textsFit_data();
    void textsFit();
    void repaintOnChange();
    void clock_data();
    void clock();
    void press_data();
    void press();
    void keys_data();
    void keys();
    void standardView_data();
    void standardView();
    void closing_data();
    void closing();
};

void TestFace::startState()
{
    Fixture f;
    const TForm2& u = f.form;
    QCOMPARE(u.AutoIntervalSeconds, 75);
    QCOMPARE(u.AutoScatterSeconds, 50);
    QVERIFY(u.ShowLineDestination);
    // Everything else zero, false or empty.
    QVERIFY(u.DragStartX == 0 && u.DragStartY == 0 && u.CurrentStop == 0 && u.StopCount == 0);
    QVERIFY(u.MenuPage == 0 && u.EntryMode == 0 && !u.StopsLoaded && !u.DirectionB);
    QVERIFY(std::all_of(u.Stops.begin(), u.Stops.end(), [](const tk::Text& s) { return s.empty(); }));
    QVERIFY(u.LineDestinationText.empty() && u.LineNumber.empty() && u.Destination.empty() && u.DigitEntry.empty());
    // Display switch on, automatic advance off; only the clock runs.
    QVERIFY(u.displaySwitchOn() && !u.autoAdvanceOn());
    QVERIFY(u.Timer1->isTicking() && u.Timer1->Interval() == 1000);
    QVERIFY(!u.Timer2->Enabled() && u.Timer2->Interval() == 30000);
    QVERIFY(!u.Timer3->Enabled());
    // The random source is seeded once and nothing is drawn from it yet.
    QCOMPARE(f.platform.randomizeCalls, 1);
    QVERIFY(f.platform.randomRequests.empty());
}

void TestFace::layout()
{
    // A borderless, fixed-size ordinary window; each control where the face
    // puts it, shown or hidden at start, above every control listed before it.
    Fixture f;
    QVERIFY(f.form.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(!f.form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(f.show());
    QCOMPARE(f.form.geometry(), QRect(268, 381, 516, 250));
    QCOMPARE(f.form.minimumSize(), f.form.maximumSize());

    std::vector<tk::Control*> expected;
    for (const auto& [name, control, rect, shown] : faceOf(f.form)) {
        QVERIFY2(control->geometry() == rect && control->isVisible() == shown, name);
        expected.push_back(control);
    }
    QVERIFY(f.form.graphicControls() == expected);
    // The one widget on the face: the hidden edit field, outside the client area.
    QCOMPARE(f.form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly), QList<QWidget*>{f.form.Edit1});
    QVERIFY(f.form.Edit1->geometry() == QRect(128, 288, 9, 21) && f.form.Edit1->isHidden());
}

void TestFace::captions()
{
    // The captions at start with their colours and pixel heights; a named
    // key's line is as high as its label.
    const tk::Color olive = TForm2::Olive;
    const std::tuple<const char*, tk::Text, tk::Color, int, bool> labels[] = {
        {"Label1", Splash, olive, 21, false},   {"Label3", {}, olive, 21, false},
        {"Label2", {}, olive, 13, false},       {"Label8", {}, olive, 13, false},
        {"Label10", "A", olive, 11, false},     {"Label4", tk::fromUtf8("Schließen"), tk::clBlack, 11, true},
        {"Label5", tk::fromUtf8("Menü"), tk::clBlack, 11, true},
        {"Label6", "Anzeige", tk::clWhite, 11, true}, {"Label7", "Auto", tk::clBlack, 11, true},
        {"Label9", "Endstelle", tk::clBlack, 11, true},
    };
    Fixture f;
    for (const auto& [name, caption, color, pixelHeight, key] : labels) {
        auto* label = dynamic_cast<tk::Label*>(control(f.form, name));
        QVERIFY2(label && label->Caption() == caption, name);
        QVERIFY2(label->FontColor() == color && label->font().pixelSize() == pixelHeight, name);
        QVERIFY2(!key || QFontMetrics(label->font()).height() <= label->height() + 1, name);
    }
    // The keypad's digits and letters are painted on the skin, not written.
    for (const auto& [name, key, rect, shown] : faceOf(f.form))
        if (QByteArray(name).startsWith("Label0"))
            QVERIFY2(static_cast<tk::Label*>(key)->Caption().empty(), name);
}

void TestFace::drawing()
{
    Fixture f;
    f.form.Label1->setCaption({});
    const QImage& skin = f.form.Image1->image();
    const QImage empty = faceImage(f.form);
    QCOMPARE(skin.size(), QSize(515, 249));

    // The arrow and soft keys draw nothing: over them the face is the skin.
    for (tk::Control* key : std::initializer_list<tk::Control*>{f.form.Shape1, f.form.Shape2, f.form.Shape8,
                                                        f.form.Shape9, f.form.Shape10}) {
        const QRect r = key->geometry();
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                QCOMPARE(empty.pixel(x, y), skin.pixel(x, y) | 0xFF000000u);
    }
    // Olive on the display's lime: at least the contrast asked of large text.
    const QRgb olive = tk::toQColor(TForm2::Olive).rgb();
    for (QPoint p : {QPoint(80, 60), QPoint(180, 110), QPoint(280, 160)})
        QVERIFY((luminance(skin.pixel(p)) + 0.05) / (luminance(olive) + 0.05) >= 3.0);

    // The lower display's first line beside the middle soft key, its third
    // beside the bottom one; the upper display's first line beside the top
    // soft key. Both labels are transparent, so together all three show.
    f.form.Label3->setCaption("Rathaus\r\rMarktallee");
    QVERIFY(inkedBesideOnly(empty, faceImage(f.form), {f.form.Shape9, f.form.Shape10}));
    f.form.Label1->setCaption("Hauptbahnhof");
    QVERIFY(inkedBesideOnly(empty, faceImage(f.form), {f.form.Shape8, f.form.Shape9, f.form.Shape10}));

    // The route strip as in the standard view: frames of 2 olive pixels with
    // the display showing through, a solid olive marker above the strip.
    f.form.Label1->setCaption({});
    f.form.Label3->setCaption({});
    for (tk::Control* w : std::initializer_list<tk::Control*>{f.form.Shape3, f.form.Shape4, f.form.Shape5, f.form.Shape6,
                                                      f.form.Shape7, f.form.Image2})
        w->show();
    const QImage face = faceImage(f.form);
    for (tk::Shape* frame : {f.form.Shape3, f.form.Shape4, f.form.Shape5, f.form.Shape6}) {
        const QRect r = frame->geometry();
        for (int inset : {0, 1}) {
            QCOMPARE(face.pixel(r.left() + inset, r.center().y()), olive);
            QCOMPARE(face.pixel(r.right() - inset, r.center().y()), olive);
            QCOMPARE(face.pixel(r.center().x(), r.top() + inset), olive);
            QCOMPARE(face.pixel(r.center().x(), r.bottom() - inset), olive);
        }
        QVERIFY(face.pixel(r.left() + 2, r.center().y() + 3) != olive);
    }
    const QRect marker = f.form.Shape7->geometry();
    for (int y = marker.top(); y <= marker.bottom(); ++y)
        for (int x = marker.left(); x <= marker.right(); ++x)
            QCOMPARE(face.pixel(x, y), olive);
    // The strip's bitmap is drawn unscaled from its corner, clipped to 36 x 112.
    QCOMPARE(f.form.Image2->image().size(), QSize(37, 113));
    QCOMPARE(face.pixel(250, 100), f.form.Image2->image().pixel(20, 44) | 0xFF000000u);

    // On a screen scaled to 2 the skin is its 2x source, pixel for pixel:
    // across the digit of key 5 no device column repeats its left neighbour,
    // as every one would if the 1x bitmap were doubled.
    QImage fine(f.form.size() * 2, QImage::Format_RGB32);
    fine.setDevicePixelRatio(2);
    f.form.render(&fine);
    const QByteArray raw = QResource(QStringLiteral(":/skin@2x.rgb32")).uncompressedData();
    const auto* bytes = reinterpret_cast<const uchar*>(raw.constData());
    const rawbitmap::Header header = rawbitmap::readHeader(bytes, raw.size());
    QCOMPARE(QSize(int(header.width), int(header.height)), f.form.Image1->geometry().size() * 2);
    const QImage source(bytes + sizeof header, int(header.width), int(header.height), QImage::Format_RGB32);
    const QRect digit(2 * 421, 2 * 80, 2 * 13, 2 * 15);
    for (int x = digit.left(); x <= digit.right(); ++x) {
        bool repeats = true;
        for (int y = digit.top(); y <= digit.bottom(); ++y) {
            QCOMPARE(fine.pixel(x, y), source.pixel(x, y));
            repeats = repeats && fine.pixel(x, y) == fine.pixel(x - 1, y);
        }
        QVERIFY2(!repeats, qPrintable(QString::number(x)));
    }
}

void TestFace::textsFit_data()
{
    QTest::addColumn<QByteArray>("label");
    QTest::addColumn<QByteArray>("caption"); // UTF-8, \r as on the display
    const std::pair<const char*, const char*> fixed[] = {
        {"Label1", "\r          Orbis-Motion\r       Pendralumovista\r          Version: 2.2"},
        {"Label1", "Linie / Ziel"},
        {"Label3", "Haltestellensatz laden\r\rHilfe"},
        {"Label1", "Linie / Ziel angezeigt"},
        {"Label1", "Linie / Ziel n. angezeigt"},
        {"Label3", "Timer Linie / Ziel einstell.\r\rTimer Automatik einstellen"},
        {"Label1", "Zeit bis Anzeige auf\rLinie/Ziel umschaltet:"},
        {"Label1", "Zeit bis Weiterschalten:"},
        {"Label1", "Streuung um:"},
        {"Label3", "\r     __ Sekunden"},
        {"Label3", "\r      1 Sekunde"},
        {"Label3", "\r    888 Sekunden"},
        {"Label1", "Streuung muss kleiner als\rWeiterschaltdauer sein!"},
        {"Label3", "Sie können nur\rZahlen\rübernehmen"},
        {"Label4", "Schließen"},
        {"Label5", "Menü"},
        {"Label6", "Anzeige"},
        {"Label7", "Auto"},
        {"Label9", "Endstelle"},
    };
    for (const auto& [label, caption] : fixed)
        QTest::newRow(QByteArray(caption).replace('\r', '|').constData()) << QByteArray(label) << QByteArray(caption);
}

// Every fixed text of the display and the keys is drawn whole, inside its
// label and, on the display, inside the lime glass. The text as the label
// draws it is compared with the same text drawn by a label that is wider but
// fits its lines to the same width, so that nothing clips it.
void TestFace::textsFit()
{
    QFETCH(QByteArray, label);
    QFETCH(QByteArray, caption);
    Fixture f;
    auto* shown = dynamic_cast<tk::Label*>(control(f.form, label));
    QVERIFY(shown);
    f.form.Label1->setCaption({});
    const tk::Text text = tk::fromUtf8(caption.constData());
    const bool onDisplay = shown == f.form.Label1 || shown == f.form.Label3;

    // Where the lime glass ends, read from the skin.
    const QImage& skin = f.form.Image1->image();
    int glassRight = 100;
    while (skin.pixelColor(glassRight + 1, 110).green() > 200)
        ++glassRight;
    const int limit = onDisplay ? std::min(glassRight, shown->geometry().right()) : shown->geometry().right();

    shown->setCaption({});
    const QImage empty = faceImage(f.form);
    shown->setCaption(text);
    const QImage drawn = faceImage(f.form);
    shown->hide();
    const QRect r = shown->geometry();
    tk::Label unclipped(&f.form, r.x(), r.y(), r.width() + 200, r.height(), text, shown->FontColor(), 11);
    unclipped.setFont(shown->font());
    unclipped.setTextWidth(shown->textWidth());
    unclipped.show();
    const QImage free = faceImage(f.form);

    int inkRight = -1;
    bool same = true;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x < std::min(r.right() + 200, free.width()); ++x) {
            if (free.pixel(x, y) != empty.pixel(x, y))
                inkRight = std::max(inkRight, x);
            same = same && free.pixel(x, y) == drawn.pixel(x, y);
        }
    QVERIFY(inkRight >= 0);
    QVERIFY2(same, "the label cut its text");
    QVERIFY2(inkRight <= limit, qPrintable(QStringLiteral("ink up to %1, room up to %2").arg(inkRight).arg(limit)));
}

void TestFace::repaintOnChange()
{
    // What the window shows, read back from the platform after the changes
    // have been painted: a caption written, the marker moved, and its old
    // place showing the display again.
    Fixture f;
    f.form.Label1->setCaption({});
    f.form.Shape7->show();
    QVERIFY(f.show());
    const auto shown = [&f] {
        return f.form.screen()->grabWindow(f.form.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QRgb olive = tk::toQColor(TForm2::Olive).rgb();
    const QImage& skin = f.form.Image1->image();
    QTRY_COMPARE(shown().pixel(233, 67), olive);
    const QImage before = shown();

    f.form.Label3->setCaption("Rathaus");
    QTRY_VERIFY(inkedBesideOnly(before, shown(), {f.form.Shape9}));
    f.form.Shape7->move(229, 130);
    QTRY_COMPARE(shown().pixel(233, 134), olive);
    const QImage after = shown();
    for (int y = 63; y < 73; ++y)
        for (int x = 229; x < 239; ++x)
            QCOMPARE(after.pixel(x, y), skin.pixel(x, y) | 0xFF000000u);
}

void TestFace::clock_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QByteArray>("caption");
    QTest::newRow("five past nine") << QTime(9, 5) << QByteArray("9:05");
    QTest::newRow("half past two pm") << QTime(14, 30) << QByteArray("14:30");
    QTest::newRow("midnight") << QTime(0, 0) << QByteArray("0:00");
    QTest::newRow("nine past ten") << QTime(10, 9) << QByteArray("10:09");
    QTest::newRow("seconds not shown") << QTime(23, 59, 59) << QByteArray("23:59");
}

void TestFace::clock()
{
    // The clock keeps time while hidden, as it is until the menu was left once.
    QFETCH(QTime, time);
    QFETCH(QByteArray, caption);
    Fixture f;
    f.platform.time = time;
    f.form.Timer1Timer();
    QCOMPARE(QByteArray::fromStdString(f.form.Label2->Caption()), caption);
    QVERIFY(f.form.Label2->isHidden());
}

void TestFace::press_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("drag");
    const QPoint off(-60, 20); // ends off the key pressed, so no key is clicked
    auto row = [](const char* tag, QPoint point, const char* name,
                  Qt::MouseButton button = Qt::LeftButton) -> QTestData& {
        return QTest::newRow(tag) << point << QByteArray(name) << button;
    };
    row("skin, 60 left, 20 down", {100, 10}, "Image1") << off;
    row("skin between keypad keys, right and up", {405, 66}, "Image1", Qt::RightButton) << QPoint(-100, -50);
    row("skin, released where pressed", {5, 200}, "Image1", Qt::MiddleButton) << QPoint(0, 0);
    row("skin, released outside the window", {10, 10}, "Image1") << QPoint(-100, -40);
    row("up arrow", {332, 72}, "Shape1") << off;
    row("down arrow", {334, 151}, "Shape2") << off;
    row("down arrow, corner outside the circle", {319, 132}, "Shape2") << off;
    row("top soft key", {35, 66}, "Shape8") << off;
    row("middle soft key, right button", {35, 107}, "Shape9", Qt::RightButton) << off;
    row("bottom soft key", {35, 148}, "Shape10") << off;
    row("Menü", {61, 209}, "Label5") << off;
    row("Anzeige", {121, 209}, "Label6") << off;
    row("Auto", {180, 209}, "Label7") << off;
    row("Endstelle, middle button", {240, 210}, "Label9", Qt::MiddleButton) << off;
    row("Schließen", {300, 211}, "Label4") << off;
    row("display, upper label above lower", {150, 120}, "Label1") << off;
    row("display, below the upper label", {150, 172}, "Label3") << off;
    const char* keys[] = {"Label01", "Label02", "Label03", "Label04", "Label05", "Label06",
                          "Label07", "Label08", "Label09", "Label0C", "Label00", "Label0M"};
    const int lefts[] = {369, 411, 450}, tops[] = {29, 71, 112, 152};
    for (int i = 0; i < 12; ++i)
        row(keys[i], {lefts[i % 3] + 16, tops[i / 3] + 16}, keys[i]) << off;
}

void TestFace::press()
{
    // A press of any button through the window goes to the topmost control
    // under the pointer, over its whole rectangle, and to no other. Only a
    // press on the bare skin moves the window: on release, by the distance
    // dragged.
    QFETCH(QPoint, point);
    QFETCH(QByteArray, name);
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, drag);
    Fixture f;
    std::vector<std::pair<QByteArray, QPoint>> presses;
    for (const auto& [controlName, key, rect, shown] : faceOf(f.form))
        key->OnMouseDown = [&presses, name = QByteArray(controlName), handler = key->OnMouseDown](
                               tk::MouseButton b, tk::ShiftState s, int x, int y) {
            presses.push_back({name, QPoint(x, y)});
            if (handler)
                handler(b, s, x, y);
        };
    QVERIFY(f.show());
    const QPoint origin = f.form.pos();

    QTest::mousePress(f.form.windowHandle(), button, {}, point);
    QCOMPARE(f.form.pos(), origin); // it does not follow while held
    QTest::mouseRelease(f.form.windowHandle(), button, {}, point + drag);

    QCOMPARE(presses.size(), size_t(1));
    QCOMPARE(presses[0].first, name);
    QCOMPARE(presses[0].second, point - control(f.form, name)->pos());
    QTRY_COMPARE(f.form.pos(), origin + (name == "Image1" ? drag : QPoint()));
}

void TestFace::keys_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("onPress");
    for (const char* name : {"Shape1", "Shape2", "Shape8", "Shape9", "Shape10", "Label01", "Label02", "Label03",
                             "Label04", "Label05", "Label06", "Label07", "Label08", "Label09", "Label00", "Label0C",
                             "Label9"})
        QTest::newRow(name) << QByteArray(name) << true;
    for (const char* name : {"Label0M", "Label5", "Label6", "Label7", "Label4"})
        QTest::newRow(name) << QByteArray(name) << false;
}

void TestFace::keys()
{
    // Every key, through the window with the events the platform sends: it
    // acts either on the press of any button or on a completed click of the
    // primary one. A press moved off the key before its release clicks
    // nothing; a double click acts twice on a key that acts on the press.
    QFETCH(QByteArray, name);
    QFETCH(bool, onPress);
    Fixture f;
    tk::Control* key = control(f.form, name);
    int acted = 0;
    if (key->OnMouseDown)
        key->OnMouseDown = [&acted](tk::MouseButton, tk::ShiftState, int, int) { ++acted; };
    if (key->OnClick)
        key->OnClick = [&acted] { ++acted; };
    using E = QEvent;
    const QPoint at = key->geometry().center();
    const int whenPressed = onPress ? 1 : 0;

    sendMouse(&f.form, E::MouseButtonPress, Qt::LeftButton, at);
    QCOMPARE(acted, whenPressed);
    sendMouse(&f.form, E::MouseButtonRelease, Qt::LeftButton, at);
    QCOMPARE(acted, 1);
    sendMouse(&f.form, {E::MouseButtonPress, E::MouseButtonRelease}, Qt::RightButton, at);
    QCOMPARE(acted, 1 + whenPressed);
    sendMouse(&f.form, E::MouseButtonPress, Qt::LeftButton, at);
    sendMouse(&f.form, E::MouseButtonRelease, Qt::LeftButton, at + QPoint(0, 40));
    QCOMPARE(acted, 1 + 2 * whenPressed);
    acted = 0;
    sendMouse(&f.form, {E::MouseButtonPress, E::MouseButtonRelease, E::MouseButtonDblClick, E::MouseButtonRelease},
              Qt::LeftButton, at);
    QCOMPARE(acted, onPress ? 2 : 1);
}

void TestFace::standardView_data()
{
    QTest::addColumn<int>("stopCount");
    QTest::addColumn<int>("currentStop");
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("markerTop");
    QTest::newRow("4 stops, first") << 4 << 0 << QByteArray("Stop 0\r\rStop 1") << 63;
    QTest::newRow("4 stops, second") << 4 << 1 << QByteArray("Stop 1\r\rStop 2") << 85;
    QTest::newRow("4 stops, third (44.5 to even)") << 4 << 2 << QByteArray("Stop 2\r\rStop 3") << 107;
    QTest::newRow("4 stops, last (66.75)") << 4 << 3 << QByteArray("Stop 3\r\r") << 130;
    QTest::newRow("single stop") << 1 << 0 << QByteArray("Stop 0\r\r") << 63;
    QTest::newRow("2 stops, last (44.5 to even)") << 2 << 1 << QByteArray("Stop 1\r\r") << 107;
    QTest::newRow("8 stops, fourth (33.375)") << 8 << 3 << QByteArray("Stop 3\r\rStop 4") << 96;
    // The entry after the last of 99 stops is the list's last, and empty.
    QTest::newRow("last of 99") << 99 << 98 << QByteArray("Stop 98\r\r") << 151;
    // Nothing to divide by: the marker rests at the top.
    QTest::newRow("nothing loaded") << 0 << 0 << QByteArray("\r\r") << 63;
}

void TestFace::standardView()
{
    // The stop lines (current stop, an empty line, the next) and the marker.
    QFETCH(int, stopCount);
    QFETCH(int, currentStop);
    QFETCH(QByteArray, lines);
    QFETCH(int, markerTop);
    Fixture f;
    for (int i = 0; i < stopCount; ++i)
        f.form.Stops[size_t(i)] = "Stop " + std::to_string(i);
    f.form.StopCount = std::uint8_t(stopCount);
    f.form.CurrentStop = std::uint8_t(currentStop);
    QCOMPARE(QByteArray::fromStdString(f.form.stopLines()), lines);
    QCOMPARE(f.form.markerTop(), markerTop);
}

void TestFace::closing_data()
{
    QTest::addColumn<Close>("how");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<bool>("ends");
    QTest::newRow("Schließen clicked") << Close::Mouse << QPoint(300, 211) << true;
    QTest::newRow("Schließen with another window open") << Close::OtherWindowOpen << QPoint() << true;
    QTest::newRow("Schließen with the control unit closed") << Close::UnitClosed << QPoint() << true;
    QTest::newRow("Schließen pressed, released off the key") << Close::Mouse << QPoint(300, 240) << false;
    QTest::newRow("control unit's own close request") << Close::UnitOnly << QPoint() << false;
}

void TestFace::closing()
{
    // "Schließen" closes the sign, which ends the program at once, whatever
    // else is open or running; only a completed click counts. Closing the
    // unit itself ends nothing: it hides, keeps its clock going and shows
    // again as it was.
    QFETCH(Close, how);
    QFETCH(QPoint, release);
    QFETCH(bool, ends);
    Fixture f;
    f.sign.show();
    QVERIFY(f.show());
    QWidget other;
    if (how == Close::OtherWindowOpen) {
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
    }
    if (how == Close::UnitClosed)
        f.form.close();
    f.sign.Timer1->setEnabled(true);
    f.form.Timer2->setEnabled(true);
    f.form.Timer3->setInterval(60000);
    f.form.Timer3->setEnabled(true);
    const int exitCode = runInEventLoop([&] {
        if (how == Close::Mouse) {
            QTest::mousePress(f.form.windowHandle(), Qt::LeftButton, {}, QPoint(300, 211));
            QTest::mouseRelease(f.form.windowHandle(), Qt::LeftButton, {}, release);
        } else if (how == Close::UnitOnly)
            f.form.close();
        else
            f.form.Label4Click();
    });
    QCOMPARE(exitCode, ends ? 0 : KeptRunning);
    QCOMPARE(f.sign.isVisible(), !ends);
    if (how != Close::UnitOnly)
        return;
    QVERIFY(f.form.isHidden());
    f.platform.time = QTime(18, 7);
    QTRY_COMPARE(f.form.Label2->Caption(), tk::Text("18:07"));
    QVERIFY(f.show());
    QCOMPARE(f.form.geometry(), QRect(268, 381, 516, 250));
    QCOMPARE(f.form.Label1->Caption(), Splash);
}

QTEST_MAIN(TestFace)
#include "tst_face.moc"
