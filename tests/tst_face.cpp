// The control unit's face and start state: what the driver sees when the
// program comes up, the clock, moving the window by its skin, the keys taking
// the mouse over their own rectangles, the stop lines and the route marker,
// and "Schließen" ending the program.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace {

// A sign and a control unit built as at start, on a scripted platform.
struct Fixture {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};
};

// Every control of the face with its name, bottom to top.
std::vector<std::pair<QByteArray, QWidget*>> faceControls(const TForm2& f)
{
    return {
        {"Image1", f.Image1},   {"Label3", f.Label3},   {"Shape1", f.Shape1},   {"Shape2", f.Shape2},
        {"Label4", f.Label4},   {"Label5", f.Label5},   {"Label6", f.Label6},   {"Label7", f.Label7},
        {"Label01", f.Label01}, {"Label02", f.Label02}, {"Label03", f.Label03}, {"Label04", f.Label04},
        {"Label05", f.Label05}, {"Label06", f.Label06}, {"Label07", f.Label07}, {"Label08", f.Label08},
        {"Label09", f.Label09}, {"Label0C", f.Label0C}, {"Label00", f.Label00}, {"Label0M", f.Label0M},
        {"Label9", f.Label9},   {"Shape3", f.Shape3},   {"Image2", f.Image2},   {"Shape4", f.Shape4},
        {"Shape5", f.Shape5},   {"Shape6", f.Shape6},   {"Label2", f.Label2},   {"Label8", f.Label8},
        {"Shape7", f.Shape7},   {"Shape8", f.Shape8},   {"Shape9", f.Shape9},   {"Shape10", f.Shape10},
        {"Label10", f.Label10}, {"Label1", f.Label1},   {"Edit1", f.Edit1},
    };
}

QWidget* control(const TForm2& f, const QByteArray& name)
{
    for (const auto& [controlName, widget] : faceControls(f))
        if (controlName == name)
            return widget;
    return nullptr;
}

const tk::Text Splash = "\r          Orbis-Motion\r       Pendralumovista\r          Version: 2.2";

QRgb rgbOf(tk::Color color)
{
    return tk::toQColor(color).rgb();
}

QImage faceImage(TForm2& form)
{
    return form.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Rows inside `area` where two pictures of the face differ, i.e. where the
// caption under test put ink.
std::vector<int> inkedRows(const QImage& before, const QImage& after, const QRect& area)
{
    std::vector<int> rows;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y)) {
                rows.push_back(y);
                break;
            }
    return rows;
}

// Runs of consecutive rows: one run per line of text.
std::vector<std::pair<int, int>> runsOf(const std::vector<int>& rows)
{
    std::vector<std::pair<int, int>> runs;
    for (int row : rows) {
        if (!runs.empty() && runs.back().second + 1 >= row)
            runs.back().second = row;
        else
            runs.push_back({row, row});
    }
    return runs;
}

double relativeLuminance(QRgb rgb)
{
    auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

constexpr uint NotStated = 0xFFFFFFFF;

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

} // namespace

class TestFace : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void startStateRecord();
    void startSwitchesAndTimers();
    void splashText();
    void randomSourceSeededOnce();
    void window();
    void stacking();
    void layout_data();
    void layout();
    void labels_data();
    void labels();
    void invisibleKeysShowTheSkin();
    void routeStripDrawsOlive();

    void clock_data();
    void clock();
    void clockTicksByItself();

    void dragByHandlers_data();
    void dragByHandlers();
    void dragByMouse_data();
    void dragByMouse();
    void pressOnKeyDoesNotMove();

    void controlAtPoint_data();
    void controlAtPoint();
    void pressLandsOnKey_data();
    void pressLandsOnKey();

    void markerTop_data();
    void markerTop();
    void stopLines_data();
    void stopLines();

    void schliessenEndsProgram_data();
    void schliessenEndsProgram();
    void schliessenNeedsCompletedClick();
    void closeRequestOnlyHides();

    void keyCaptionsFit_data();
    void keyCaptionsFit();
    void displayLinesBesideSoftKeys();
    void displayTextReadable();
};

void TestFace::initTestCase()
{
    // As in the program: only the sign's closing ends it.
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestFace::startStateRecord()
{
    Fixture f;
    const TForm2& form = f.form;
    QCOMPARE(form.DragStartX, 0);
    QCOMPARE(form.DragStartY, 0);
    QCOMPARE(form.AutoIntervalSeconds, 75);
    QCOMPARE(form.AutoScatterSeconds, 50);
    QCOMPARE(form.Stops.size(), size_t(100));
    for (const tk::Text& stop : form.Stops)
        QVERIFY(stop.empty());
    QCOMPARE(form.CurrentStop, 0);
    QCOMPARE(form.StopCount, 0);
    QVERIFY(form.LineDestinationText.empty());
    QVERIFY(form.LineNumber.empty());
    QVERIFY(form.Destination.empty());
    QVERIFY(form.DigitEntry.empty());
    QCOMPARE(form.StopsLoaded, false);
    QCOMPARE(form.DirectionB, false);
    QCOMPARE(form.ShowLineDestination, true);
    QCOMPARE(form.MenuPage, 0);
    QCOMPARE(form.EntryMode, 0);
}

void TestFace::startSwitchesAndTimers()
{
    Fixture f;
    // Display switch on, automatic advance off, direction "A".
    QCOMPARE(f.form.Label6->FontColor(), tk::clWhite);
    QCOMPARE(f.form.Label7->FontColor(), tk::clBlack);
    QVERIFY(f.form.displaySwitchOn());
    QVERIFY(!f.form.autoAdvanceOn());
    QCOMPARE(f.form.Label10->Caption(), tk::Text("A"));

    QVERIFY(f.form.Timer1->Enabled());
    QCOMPARE(f.form.Timer1->Interval(), 1000);
    QVERIFY(f.form.Timer1->isTicking());
    QVERIFY(!f.form.Timer2->Enabled());
    QCOMPARE(f.form.Timer2->Interval(), 30000);
    QVERIFY(!f.form.Timer2->isTicking());
    QVERIFY(!f.form.Timer3->Enabled());
    QVERIFY(!f.form.Timer3->isTicking());

    // The clock is empty until its first tick; the lower display is empty.
    QVERIFY(f.form.Label2->Caption().empty());
    QVERIFY(f.form.Label3->Caption().empty());
    QVERIFY(f.form.Label8->Caption().empty());
}

void TestFace::splashText()
{
    Fixture f;
    const tk::Text& caption = f.form.Label1->Caption();
    QCOMPARE(QByteArray::fromStdString(caption), QByteArray::fromStdString(Splash));
    // An empty first line, then three lines indented by 10, 7 and 10 blanks.
    const QList<QByteArray> lines = QByteArray::fromStdString(caption).split('\r');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].isEmpty());
    QCOMPARE(lines[1], QByteArray(10, ' ') + "Orbis-Motion");
    QCOMPARE(lines[2], QByteArray(7, ' ') + "Pendralumovista");
    QCOMPARE(lines[3], QByteArray(10, ' ') + "Version: 2.2");
}

void TestFace::randomSourceSeededOnce()
{
    Fixture f;
    QCOMPARE(f.platform.randomizeCalls, 1);
    QVERIFY(f.platform.randomRequests.empty());
}

void TestFace::window()
{
    Fixture f;
    QVERIFY(f.form.isWindow());
    QVERIFY(f.form.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(!f.form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(f.form.size(), QSize(516, 250));
    QCOMPARE(f.form.pos(), QPoint(268, 381));

    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    QCOMPARE(f.form.geometry(), QRect(268, 381, 516, 250));
    QCOMPARE(f.form.minimumSize(), f.form.maximumSize());
}

void TestFace::stacking()
{
    // Each control lies above those listed before it.
    Fixture f;
    QList<QWidget*> bottomToTop;
    for (QObject* child : f.form.children())
        if (auto* widget = qobject_cast<QWidget*>(child))
            bottomToTop.append(widget);
    QList<QWidget*> expected;
    for (const auto& entry : faceControls(f.form))
        expected.append(entry.second);
    QCOMPARE(bottomToTop, expected);
}

void TestFace::layout_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("shown");

    struct Row {
        const char* name;
        QRect rect;
        bool shown;
    };
    const Row rows[] = {
        {"Image1", {0, 0, 515, 249}, true},     {"Label3", {72, 98, 225, 79}, true},
        {"Shape1", {316, 52, 33, 41}, true},    {"Shape2", {318, 131, 33, 41}, true},
        {"Label4", {276, 203, 49, 17}, true},   {"Label5", {48, 203, 27, 13}, true},
        {"Label6", {102, 203, 38, 13}, true},   {"Label7", {169, 203, 22, 13}, true},
        {"Label01", {369, 29, 33, 33}, true},   {"Label02", {411, 29, 33, 33}, true},
        {"Label03", {450, 29, 33, 33}, true},   {"Label04", {369, 71, 33, 33}, true},
        {"Label05", {411, 71, 33, 33}, true},   {"Label06", {450, 71, 33, 33}, true},
        {"Label07", {369, 112, 33, 33}, true},  {"Label08", {411, 112, 33, 33}, true},
        {"Label09", {450, 112, 33, 33}, true},  {"Label0C", {369, 152, 33, 33}, true},
        {"Label00", {411, 152, 33, 33}, true},  {"Label0M", {450, 152, 33, 33}, true},
        {"Label9", {219, 203, 43, 13}, true},   {"Shape3", {68, 54, 162, 30}, false},
        {"Image2", {230, 56, 36, 112}, false},  {"Shape4", {238, 54, 52, 21}, false},
        {"Shape5", {229, 54, 10, 116}, false},  {"Shape6", {238, 149, 52, 21}, false},
        {"Label2", {248, 135, 49, 17}, false},  {"Label8", {248, 151, 49, 16}, false},
        {"Shape7", {229, 63, 10, 10}, false},   {"Shape8", {20, 50, 30, 33}, true},
        {"Shape9", {20, 91, 30, 33}, true},     {"Shape10", {20, 132, 30, 33}, true},
        {"Label10", {272, 112, 9, 13}, false},  {"Label1", {72, 57, 217, 112}, true},
        {"Edit1", {128, 288, 9, 21}, false},
    };
    for (const Row& row : rows)
        QTest::newRow(row.name) << QByteArray(row.name) << row.rect << row.shown;
}

void TestFace::layout()
{
    QFETCH(QByteArray, name);
    QFETCH(QRect, rect);
    QFETCH(bool, shown);
    Fixture f;
    QWidget* widget = control(f.form, name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), rect);
    QCOMPARE(!widget->isHidden(), shown);
    f.form.show();
    QCOMPARE(widget->isVisible(), shown);
}

void TestFace::labels_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("captionUtf8");
    QTest::addColumn<uint>("color");      // NotStated: the caption is empty and stays so
    QTest::addColumn<int>("pixelHeight"); // 0: not stated

    const uint olive = TForm2::Olive;
    QTest::newRow("Label1 upper display") << QByteArray("Label1") << QByteArray::fromStdString(Splash) << olive << 21;
    QTest::newRow("Label3 lower display") << QByteArray("Label3") << QByteArray() << olive << 21;
    QTest::newRow("Label2 clock") << QByteArray("Label2") << QByteArray() << olive << 13;
    QTest::newRow("Label8 line") << QByteArray("Label8") << QByteArray() << olive << 13;
    QTest::newRow("Label10 direction") << QByteArray("Label10") << QByteArray("A") << olive << 11;
    QTest::newRow("Label4 Schließen") << QByteArray("Label4") << QByteArray("Schließen") << uint(tk::clBlack) << 11;
    QTest::newRow("Label5 Menü") << QByteArray("Label5") << QByteArray("Menü") << uint(tk::clBlack) << 11;
    QTest::newRow("Label6 Anzeige") << QByteArray("Label6") << QByteArray("Anzeige") << uint(tk::clWhite) << 11;
    QTest::newRow("Label7 Auto") << QByteArray("Label7") << QByteArray("Auto") << uint(tk::clBlack) << 11;
    QTest::newRow("Label9 Endstelle") << QByteArray("Label9") << QByteArray("Endstelle") << uint(tk::clBlack) << 11;
    for (const char* key : {"Label01", "Label02", "Label03", "Label04", "Label05", "Label06", "Label07",
                            "Label08", "Label09", "Label0C", "Label00", "Label0M"})
        QTest::newRow(key) << QByteArray(key) << QByteArray() << NotStated << 0;
}

void TestFace::labels()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, captionUtf8);
    QFETCH(uint, color);
    QFETCH(int, pixelHeight);
    Fixture f;
    auto* label = qobject_cast<tk::Label*>(control(f.form, name));
    QVERIFY(label);
    QCOMPARE(QByteArray::fromStdString(label->Caption()),
             QByteArray::fromStdString(tk::fromUtf8(captionUtf8.toStdString())));
    if (color != NotStated)
        QCOMPARE(label->FontColor(), tk::Color(color));
    if (pixelHeight > 0)
        QCOMPARE(label->font().pixelSize(), pixelHeight);
}

void TestFace::invisibleKeysShowTheSkin()
{
    // The arrow and soft keys draw nothing: over their rectangles the face is
    // exactly the skin.
    Fixture f;
    const QImage face = faceImage(f.form);
    const QImage& skin = f.form.Image1->image();
    QCOMPARE(skin.size(), QSize(515, 249));
    for (QWidget* key : {static_cast<QWidget*>(f.form.Shape1), static_cast<QWidget*>(f.form.Shape2),
                         static_cast<QWidget*>(f.form.Shape8), static_cast<QWidget*>(f.form.Shape9),
                         static_cast<QWidget*>(f.form.Shape10)}) {
        const QRect r = key->geometry();
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                QCOMPARE(face.pixel(x, y), skin.pixel(x, y) | 0xFF000000u);
    }
}

void TestFace::routeStripDrawsOlive()
{
    // Shown as in the standard view: the frames are 2 pixels of olive with the
    // display showing through; the marker is solid olive.
    Fixture f;
    for (QWidget* w : {static_cast<QWidget*>(f.form.Shape3), static_cast<QWidget*>(f.form.Shape4),
                       static_cast<QWidget*>(f.form.Shape5), static_cast<QWidget*>(f.form.Shape6),
                       static_cast<QWidget*>(f.form.Shape7), static_cast<QWidget*>(f.form.Image2)})
        w->show();
    f.form.Label1->setCaption({});
    const QImage face = faceImage(f.form);
    const QRgb olive = rgbOf(TForm2::Olive);

    for (tk::Shape* frame : {f.form.Shape3, f.form.Shape4, f.form.Shape5, f.form.Shape6}) {
        const QRect r = frame->geometry();
        QCOMPARE(frame->PenColor(), TForm2::Olive);
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

    // The route strip shows its bitmap unscaled, clipped to 36 x 112.
    QCOMPARE(f.form.Image2->image().size(), QSize(37, 113));
    QCOMPARE(face.pixel(250, 100), f.form.Image2->image().pixel(20, 44) | 0xFF000000u);
}

void TestFace::clock_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("clockShown");
    QTest::addColumn<QByteArray>("caption");

    for (bool shown : {false, true}) {
        const char* where = shown ? "shown" : "hidden";
        QTest::addRow("five past nine, %s", where) << QTime(9, 5) << shown << QByteArray("9:05");
        QTest::addRow("half past two pm, %s", where) << QTime(14, 30) << shown << QByteArray("14:30");
        QTest::addRow("midnight, %s", where) << QTime(0, 0) << shown << QByteArray("0:00");
        QTest::addRow("nine past ten, %s", where) << QTime(10, 9) << shown << QByteArray("10:09");
        QTest::addRow("seconds not shown, %s", where) << QTime(23, 59, 59) << shown << QByteArray("23:59");
        QTest::addRow("ten past noon, %s", where) << QTime(12, 10, 1) << shown << QByteArray("12:10");
    }
}

void TestFace::clock()
{
    QFETCH(QTime, time);
    QFETCH(bool, clockShown);
    QFETCH(QByteArray, caption);
    Fixture f;
    f.form.Label2->setVisible(clockShown);
    f.platform.time = time;
    f.form.Timer1Timer();
    QCOMPARE(QByteArray::fromStdString(f.form.Label2->Caption()), caption);
    QCOMPARE(f.form.Label2->isHidden(), !clockShown);
}

void TestFace::clockTicksByItself()
{
    // The one-second timer drives the clock without anyone calling it.
    Fixture f;
    f.platform.time = QTime(7, 42);
    QTRY_COMPARE_WITH_TIMEOUT(QByteArray::fromStdString(f.form.Label2->Caption()), QByteArray("7:42"), 4000);
}

void TestFace::dragByHandlers_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<QPoint>("moved");

    const int left = int(tk::MouseButton::Left);
    QTest::newRow("60 left, 20 down") << left << QPoint(100, 10) << QPoint(40, 30) << QPoint(-60, 20);
    QTest::newRow("right and up") << left << QPoint(5, 200) << QPoint(305, 150) << QPoint(300, -50);
    QTest::newRow("released where pressed") << left << QPoint(100, 10) << QPoint(100, 10) << QPoint(0, 0);
    QTest::newRow("released outside the window") << left << QPoint(10, 10) << QPoint(-90, 400) << QPoint(-100, 390);
    QTest::newRow("right button") << int(tk::MouseButton::Right) << QPoint(100, 10) << QPoint(40, 30)
                                  << QPoint(-60, 20);
    QTest::newRow("middle button") << int(tk::MouseButton::Middle) << QPoint(100, 10) << QPoint(40, 30)
                                   << QPoint(-60, 20);
}

void TestFace::dragByHandlers()
{
    QFETCH(int, button);
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    QFETCH(QPoint, moved);
    Fixture f;
    const QPoint origin = f.form.pos();
    const auto b = tk::MouseButton(button);
    f.form.Image1MouseDown(b, {}, press.x(), press.y());
    QCOMPARE(f.form.DragStartX, press.x());
    QCOMPARE(f.form.DragStartY, press.y());
    QCOMPARE(f.form.pos(), origin); // it does not follow while held
    f.form.Image1MouseUp(b, {}, release.x(), release.y());
    QCOMPARE(f.form.pos(), origin + moved);
}

void TestFace::dragByMouse_data()
{
    QTest::addColumn<bool>("throughWindow");
    QTest::addColumn<int>("button");

    QTest::newRow("on the skin, left button") << false << int(Qt::LeftButton);
    QTest::newRow("on the skin, right button") << false << int(Qt::RightButton);
    QTest::newRow("through the window, left button") << true << int(Qt::LeftButton);
    QTest::newRow("through the window, right button") << true << int(Qt::RightButton);
}

void TestFace::dragByMouse()
{
    QFETCH(bool, throughWindow);
    QFETCH(int, button);
    Fixture f;
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    const QPoint origin = f.form.pos();
    const auto b = Qt::MouseButton(button);
    if (throughWindow) {
        // Delivered as the window system would: to whatever lies under the
        // pointer, the release to the control that took the press.
        QTest::mousePress(f.form.windowHandle(), b, {}, QPoint(100, 10));
        QTest::mouseRelease(f.form.windowHandle(), b, {}, QPoint(40, 30));
    } else {
        QTest::mousePress(f.form.Image1, b, {}, QPoint(100, 10));
        QTest::mouseRelease(f.form.Image1, b, {}, QPoint(40, 30));
    }
    QCOMPARE(f.form.DragStartX, 100);
    QCOMPARE(f.form.DragStartY, 10);
    QTRY_COMPARE(f.form.pos(), origin + QPoint(-60, 20));
}

void TestFace::pressOnKeyDoesNotMove()
{
    // Pressing the display (its labels lie above the skin) and letting go
    // elsewhere leaves the window where it is.
    Fixture f;
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    const QPoint origin = f.form.pos();
    QTest::mousePress(f.form.windowHandle(), Qt::LeftButton, {}, QPoint(150, 100));
    QTest::mouseRelease(f.form.windowHandle(), Qt::LeftButton, {}, QPoint(60, 20));
    QCOMPARE(f.form.DragStartX, 0);
    QCOMPARE(f.form.DragStartY, 0);
    QCOMPARE(f.form.pos(), origin);
}

void TestFace::controlAtPoint_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("bare skin") << QPoint(5, 5) << QByteArray("Image1");
    QTest::newRow("skin between keypad keys") << QPoint(405, 66) << QByteArray("Image1");
    QTest::newRow("up arrow") << QPoint(332, 72) << QByteArray("Shape1");
    QTest::newRow("down arrow") << QPoint(334, 151) << QByteArray("Shape2");
    QTest::newRow("down arrow, corner outside the circle") << QPoint(319, 132) << QByteArray("Shape2");
    QTest::newRow("top soft key") << QPoint(35, 66) << QByteArray("Shape8");
    QTest::newRow("middle soft key") << QPoint(35, 107) << QByteArray("Shape9");
    QTest::newRow("bottom soft key") << QPoint(35, 148) << QByteArray("Shape10");
    QTest::newRow("Menü") << QPoint(61, 209) << QByteArray("Label5");
    QTest::newRow("Anzeige") << QPoint(121, 209) << QByteArray("Label6");
    QTest::newRow("Auto") << QPoint(180, 209) << QByteArray("Label7");
    QTest::newRow("Endstelle") << QPoint(240, 210) << QByteArray("Label9");
    QTest::newRow("Schließen") << QPoint(300, 211) << QByteArray("Label4");
    QTest::newRow("display, upper label above lower") << QPoint(150, 120) << QByteArray("Label1");
    QTest::newRow("display, below the upper label") << QPoint(150, 172) << QByteArray("Label3");
    // The keypad, key by key, at each key's middle.
    const char* keys[4][3] = {{"Label01", "Label02", "Label03"},
                              {"Label04", "Label05", "Label06"},
                              {"Label07", "Label08", "Label09"},
                              {"Label0C", "Label00", "Label0M"}};
    const int lefts[3] = {369, 411, 450};
    const int tops[4] = {29, 71, 112, 152};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column)
            QTest::addRow("keypad %s", keys[row][column])
                << QPoint(lefts[column] + 16, tops[row] + 16) << QByteArray(keys[row][column]);
    QTest::newRow("keypad 1, top left") << QPoint(385, 45) << QByteArray("Label01");
}

void TestFace::controlAtPoint()
{
    QFETCH(QPoint, point);
    QFETCH(QByteArray, name);
    Fixture f;
    QWidget* expected = control(f.form, name);
    QVERIFY(expected);
    QCOMPARE(f.form.childAt(point), expected);
}

void TestFace::pressLandsOnKey_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QPoint>("point");

    QTest::newRow("Endstelle") << QByteArray("Label9") << QPoint(240, 209);
    QTest::newRow("down arrow") << QByteArray("Shape2") << QPoint(334, 151);
    QTest::newRow("up arrow") << QByteArray("Shape1") << QPoint(332, 72);
    QTest::newRow("keypad 1") << QByteArray("Label01") << QPoint(385, 45);
    QTest::newRow("keypad 0") << QByteArray("Label00") << QPoint(427, 168);
    QTest::newRow("middle soft key") << QByteArray("Shape9") << QPoint(35, 107);
}

void TestFace::pressLandsOnKey()
{
    QFETCH(QByteArray, name);
    QFETCH(QPoint, point);
    Fixture f;
    auto* key = qobject_cast<tk::Control*>(control(f.form, name));
    QVERIFY(key);
    std::vector<QPoint> presses;
    key->OnMouseDown = [&](tk::MouseButton, tk::ShiftState, int x, int y) { presses.push_back({x, y}); };
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    const QPoint origin = f.form.pos();

    QTest::mousePress(f.form.windowHandle(), Qt::LeftButton, {}, point);
    QTest::mouseRelease(f.form.windowHandle(), Qt::LeftButton, {}, point + QPoint(-50, 30));

    QCOMPARE(presses.size(), size_t(1));
    QCOMPARE(presses.front(), point - key->pos());
    // The skin below never saw it: no move starts.
    QCOMPARE(f.form.DragStartX, 0);
    QCOMPARE(f.form.DragStartY, 0);
    QCOMPARE(f.form.pos(), origin);
}

void TestFace::markerTop_data()
{
    QTest::addColumn<int>("stopCount");
    QTest::addColumn<int>("currentStop");
    QTest::addColumn<int>("top");

    QTest::newRow("4 stops, stop 0") << 4 << 0 << 63;
    QTest::newRow("4 stops, stop 1") << 4 << 1 << 85;
    QTest::newRow("4 stops, stop 2 (44.5 to even)") << 4 << 2 << 107;
    QTest::newRow("4 stops, stop 3 (66.75)") << 4 << 3 << 130;
    QTest::newRow("1 stop") << 1 << 0 << 63;
    QTest::newRow("2 stops, stop 1 (44.5 to even)") << 2 << 1 << 107;
    QTest::newRow("8 stops, stop 3 (33.375)") << 8 << 3 << 96;
    QTest::newRow("99 stops, last stop") << 99 << 98 << 151;
    QTest::newRow("no stops loaded") << 0 << 0 << 63;
}

void TestFace::markerTop()
{
    QFETCH(int, stopCount);
    QFETCH(int, currentStop);
    QFETCH(int, top);
    Fixture f;
    f.form.StopCount = std::uint8_t(stopCount);
    f.form.CurrentStop = std::uint8_t(currentStop);
    QCOMPARE(f.form.markerTop(), top);
}

void TestFace::stopLines_data()
{
    QTest::addColumn<int>("stopCount");
    QTest::addColumn<int>("currentStop");
    QTest::addColumn<QByteArray>("lines");

    QTest::newRow("first stop") << 3 << 0 << QByteArray("Stop 0\r\rStop 1");
    QTest::newRow("middle stop") << 3 << 1 << QByteArray("Stop 1\r\rStop 2");
    QTest::newRow("last stop") << 3 << 2 << QByteArray("Stop 2\r\r");
    QTest::newRow("single stop") << 1 << 0 << QByteArray("Stop 0\r\r");
    QTest::newRow("last of 99") << 99 << 98 << QByteArray("Stop 98\r\r");
    QTest::newRow("nothing loaded") << 0 << 0 << QByteArray("\r\r");
}

void TestFace::stopLines()
{
    QFETCH(int, stopCount);
    QFETCH(int, currentStop);
    QFETCH(QByteArray, lines);
    Fixture f;
    for (int i = 0; i < stopCount; ++i)
        f.form.Stops[size_t(i)] = "Stop " + std::to_string(i);
    f.form.StopCount = std::uint8_t(stopCount);
    f.form.CurrentStop = std::uint8_t(currentStop);
    QCOMPARE(QByteArray::fromStdString(f.form.stopLines()), lines);
}

void TestFace::schliessenEndsProgram_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("handler") << 0;
    QTest::newRow("click on the key") << 1;
    QTest::newRow("click through the window") << 2;
    QTest::newRow("with another window open") << 3;
    QTest::newRow("with the control unit closed") << 4;
}

void TestFace::schliessenEndsProgram()
{
    QFETCH(int, how);
    Fixture f;
    f.sign.show();
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    QWidget other;
    if (how == 3) {
        other.resize(200, 100);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
    }
    if (how == 4)
        f.form.close();
    // Every timer running: the program still ends at once.
    f.sign.Timer1->setEnabled(true);
    f.form.Timer2->setEnabled(true);
    f.form.Timer3->setInterval(60000);
    f.form.Timer3->setEnabled(true);
    const int exitCode = runInEventLoop([&] {
        switch (how) {
        case 1:
            QTest::mouseClick(f.form.Label4, Qt::LeftButton);
            break;
        case 2:
            QTest::mouseClick(f.form.windowHandle(), Qt::LeftButton, {}, QPoint(300, 211));
            break;
        default:
            f.form.Label4Click();
        }
    });

    QCOMPARE(exitCode, 0);
    QVERIFY(!f.sign.isVisible());
}

void TestFace::schliessenNeedsCompletedClick()
{
    // A press on "Schließen" released outside the key ends nothing.
    Fixture f;
    f.sign.show();
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    const int exitCode = runInEventLoop([&] {
        QTest::mousePress(f.form.windowHandle(), Qt::LeftButton, {}, QPoint(300, 211));
        QTest::mouseRelease(f.form.windowHandle(), Qt::LeftButton, {}, QPoint(300, 240));
    });
    QCOMPARE(exitCode, KeptRunning);
    QVERIFY(f.sign.isVisible());
    QVERIFY(f.form.isVisible());
}

void TestFace::closeRequestOnlyHides()
{
    Fixture f;
    f.sign.show();
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    const int exitCode = runInEventLoop([&] { f.form.close(); });
    QCOMPARE(exitCode, KeptRunning);
    QVERIFY(f.form.isHidden());
    QVERIFY(f.sign.isVisible());

    // The unit lives on: its clock keeps time and it can be shown again as it was.
    QVERIFY(f.form.Timer1->isTicking());
    f.platform.time = QTime(18, 7);
    f.form.Timer1Timer();
    QCOMPARE(f.form.Label2->Caption(), tk::Text("18:07"));
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    QCOMPARE(f.form.geometry(), QRect(268, 381, 516, 250));
    QCOMPARE(f.form.Label1->Caption(), Splash);
}

void TestFace::keyCaptionsFit_data()
{
    QTest::addColumn<QByteArray>("name");
    for (const char* key : {"Label4", "Label5", "Label6", "Label7", "Label9"})
        QTest::newRow(key) << QByteArray(key);
}

void TestFace::keyCaptionsFit()
{
    // Every named key shows its whole caption, at the 11-pixel height.
    QFETCH(QByteArray, name);
    Fixture f;
    auto* label = qobject_cast<tk::Label*>(control(f.form, name));
    QVERIFY(label);
    const QFontMetrics metrics(label->font());
    const QString caption = tk::toQString(label->Caption());
    QCOMPARE(label->font().pixelSize(), 11);
    QVERIFY2(metrics.horizontalAdvance(caption) <= label->width(),
             qPrintable(QStringLiteral("%1 px wide").arg(metrics.horizontalAdvance(caption))));
    QVERIFY(metrics.boundingRect(caption).right() < label->width());
    QVERIFY(metrics.height() <= label->height() + 1);
}

void TestFace::displayLinesBesideSoftKeys()
{
    // Three lines on the lower display: the first beside the middle soft key,
    // the third beside the bottom one. The upper display's first line sits
    // beside the top soft key.
    Fixture f;
    f.form.Label1->setCaption({});
    const QImage empty = faceImage(f.form);
    const QRect display(72, 50, 218, 128);

    f.form.Label3->setCaption("Rathaus\r\rMarktallee");
    const auto lower = runsOf(inkedRows(empty, faceImage(f.form), display));
    QCOMPARE(lower.size(), size_t(2));
    const QRect middleKey = f.form.Shape9->geometry();
    const QRect bottomKey = f.form.Shape10->geometry();
    QVERIFY2(lower[0].first >= middleKey.top() && lower[0].second <= middleKey.bottom(),
             qPrintable(QStringLiteral("line 1 at %1..%2").arg(lower[0].first).arg(lower[0].second)));
    QVERIFY2(lower[1].first >= bottomKey.top() && lower[1].second <= bottomKey.bottom(),
             qPrintable(QStringLiteral("line 3 at %1..%2").arg(lower[1].first).arg(lower[1].second)));

    f.form.Label3->setCaption({});
    f.form.Label1->setCaption("Hauptbahnhof");
    const auto upper = runsOf(inkedRows(empty, faceImage(f.form), display));
    QCOMPARE(upper.size(), size_t(1));
    const QRect topKey = f.form.Shape8->geometry();
    QVERIFY2(upper[0].first >= topKey.top() && upper[0].second <= topKey.bottom(),
             qPrintable(QStringLiteral("line at %1..%2").arg(upper[0].first).arg(upper[0].second)));

    // Both labels are transparent: with both written, all three lines show,
    // each where it was alone.
    f.form.Label3->setCaption("Rathaus\r\rMarktallee");
    const auto both = runsOf(inkedRows(empty, faceImage(f.form), display));
    QCOMPARE(both.size(), size_t(3));
    QCOMPARE(both[0], upper[0]);
    QCOMPARE(both[1], lower[0]);
    QCOMPARE(both[2], lower[1]);
}

void TestFace::displayTextReadable()
{
    // Olive on the display's lime: at least the contrast asked of large text.
    Fixture f;
    const QImage& skin = f.form.Image1->image();
    const double text = relativeLuminance(rgbOf(TForm2::Olive));
    for (QPoint p : {QPoint(80, 60), QPoint(180, 110), QPoint(280, 160)}) {
        const double ground = relativeLuminance(skin.pixel(p));
        const double contrast = (std::max(text, ground) + 0.05) / (std::min(text, ground) + 0.05);
        QVERIFY2(contrast >= 3.0, qPrintable(QStringLiteral("contrast %1 at %2,%3")
                                                 .arg(contrast).arg(p.x()).arg(p.y())));
    }
}

QTEST_MAIN(TestFace)
#include "tst_face.moc"
