// The toolkit rules the windows are written against: timer enable/interval
// behaviour, the classic mouse-event order of graphic controls held by a
// window, 8-bit text at the Qt edges, painting by the holding window and the
// hidden edit field's way to the clipboard, and a window kept on its screen.

#include <controls.h>
#include <mouse.h>
#include <placement.h>
#include <platform.h>
#include <text.h>
#include <textfit.h>
#include <timer.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QWidget>
#include <QtTest>

using namespace tk;

namespace {
struct Recorder {
    QStringList events;
    void attach(MouseTarget& control)
    {
        control.OnMouseDown = [this](MouseButton b, ShiftState s, int x, int y) {
            events << QStringLiteral("down%1%2 %3,%4")
                          .arg(b == MouseButton::Right ? "R" : b == MouseButton::Middle ? "M" : "L")
                          .arg(s.isDouble ? "2" : "")
                          .arg(x)
                          .arg(y);
        };
        control.OnMouseUp = [this](MouseButton, ShiftState, int x, int y) {
            events << QStringLiteral("up %1,%2").arg(x).arg(y);
        };
        control.OnClick = [this] { events << QStringLiteral("click"); };
        control.OnDblClick = [this] { events << QStringLiteral("dblclick"); };
    }
};
} // namespace

class TestToolkit : public QObject {
    Q_OBJECT
private slots:
    void timerEnablingARunningTimerKeepsItsPeriod()
    {
        Timer timer(nullptr, 10000, true);
        QTest::qWait(300);
        const int before = timer.remainingTime();
        QVERIFY(before > 0 && before < 9800);
        timer.setEnabled(true);
        QVERIFY(timer.remainingTime() <= before);
        timer.setInterval(10000); // the same interval changes nothing
        QVERIFY(timer.remainingTime() <= before);
        timer.setInterval(20000); // a new one restarts the countdown
        QVERIFY(timer.remainingTime() > 19000);
        QCOMPARE(timer.Interval(), 20000);
    }

    void timerDisablingStopsAndEnablingStartsAFullPeriod()
    {
        Timer timer(nullptr, 10000, true);
        QTest::qWait(300);
        timer.setEnabled(false);
        QVERIFY(!timer.Enabled());
        QVERIFY(!timer.isTicking());
        timer.setEnabled(true);
        QVERIFY(timer.remainingTime() > 9800);
    }

    void timerIntervalZeroNeverFires()
    {
        int ticks = 0;
        Timer timer(nullptr, 0, true);
        timer.OnTimer = [&] { ++ticks; };
        QVERIFY(timer.Enabled());
        QVERIFY(!timer.isTicking());
        QTest::qWait(50);
        QCOMPARE(ticks, 0);
        timer.setInterval(5); // enabled all along, so it now runs
        QTRY_VERIFY(ticks > 0);
        timer.setInterval(-3);
        QVERIFY(!timer.isTicking());
    }

    void timerTicksRunTheHandlerUntilDisabled()
    {
        int ticks = 0;
        Timer timer(nullptr, 5, false);
        timer.OnTimer = [&] {
            if (++ticks == 3)
                timer.setEnabled(false);
        };
        QTest::qWait(30);
        QCOMPARE(ticks, 0);
        timer.setEnabled(true);
        QTRY_COMPARE(ticks, 3);
        QTest::qWait(30);
        QCOMPARE(ticks, 3);
    }

    // Events go to the window holding the control, at window positions; the
    // handlers get positions relative to the control at (100, 50).
    void mouseOrder_data()
    {
        using E = QEvent;
        QTest::addColumn<QList<E::Type>>("events");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPoint>("release");
        QTest::addColumn<QStringList>("expected");
        const QPoint at(105, 56);
        // Qt under X11 delivers a double click as press, release,
        // double-click event, release.
        QTest::newRow("double click")
            << QList<E::Type>{E::MouseButtonPress, E::MouseButtonRelease, E::MouseButtonDblClick, E::MouseButtonRelease}
            << Qt::LeftButton << at
            << QStringList{"downL 5,6", "click", "up 5,6", "dblclick", "downL2 5,6", "up 5,6"};
        QTest::newRow("other buttons press but do not click")
            << QList<E::Type>{E::MouseButtonPress, E::MouseButtonRelease, E::MouseButtonDblClick}
            << Qt::RightButton << QPoint(103, 54) << QStringList{"downR 5,6", "up 3,4", "downR2 5,6"};
        QTest::newRow("released off the control: no click, the release still comes")
            << QList<E::Type>{E::MouseButtonPress, E::MouseButtonRelease} << Qt::LeftButton << QPoint(160, 55)
            << QStringList{"downL 5,6", "up 60,5"};
    }
    void mouseOrder()
    {
        QFETCH(QList<QEvent::Type>, events);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPoint, release);
        QFETCH(QStringList, expected);
        WinControl window;
        window.resize(200, 100);
        Shape control(&window, 100, 50, 40, 20);
        Recorder recorder, behind;
        recorder.attach(control);
        behind.attach(window);
        for (QEvent::Type type : events)
            sendMouse(&window, type, button, type == QEvent::MouseButtonRelease ? release : QPoint(105, 56));
        QCOMPARE(recorder.events, expected);
        QVERIFY(behind.events.isEmpty());
    }

    void mousePressIsTakenByTheControlItLandsOn()
    {
        // A window with a panel; on the panel a shape without handlers and a
        // hidden one. Presses are routed by the real window system path.
        QWidget window;
        window.resize(200, 100);
        Panel panel(&window, 10, 10, 180, 80, clBlack);
        Shape dot(&panel, 20, 20, 8, 8);
        Shape hiddenDot(&panel, 60, 20, 8, 8);
        hiddenDot.hide();
        Label transparentLabel(&panel, 100, 20, 30, 15);
        Label above(&panel, 120, 30, 30, 15); // overlaps the first label's corner
        int panelPresses = 0, labelPresses = 0, abovePresses = 0;
        panel.OnMouseDown = [&](MouseButton, ShiftState, int, int) { ++panelPresses; };
        transparentLabel.OnMouseDown = [&](MouseButton, ShiftState, int, int) { ++labelPresses; };
        above.OnMouseDown = [&](MouseButton, ShiftState, int, int) { ++abovePresses; };
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, {34, 34}); // on the dot
        QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, {34, 34});
        QCOMPARE(panelPresses, 0);
        QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, {74, 34}); // where the hidden dot is
        QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, {74, 34});
        QCOMPARE(panelPresses, 1);
        QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, {125, 40}); // on the empty label
        QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, {125, 40});
        QCOMPARE(labelPresses, 1);
        QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, {135, 43}); // where both labels are
        QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, {135, 43});
        QCOMPARE(labelPresses, 1);
        QCOMPARE(abovePresses, 1);
        QCOMPARE(panelPresses, 1);
    }

    // A control pressed as a key: the mouse's handlers in the mouse's order,
    // at the control's middle; the second press of a double click clicks
    // nothing; a release without its press calls nothing at all.
    void controlPressedAsAKey()
    {
        Form form;
        Label label(&form, 10, 20, 30, 40);
        Recorder recorder;
        recorder.attach(label);
        label.releaseAsKey();
        QCOMPARE(recorder.events, QStringList());
        label.pressAsKey();
        label.releaseAsKey();
        label.pressAsKey(true);
        label.releaseAsKey();
        label.releaseAsKey();
        QCOMPARE(recorder.events, (QStringList{"downL 14,19", "click", "up 14,19", "dblclick", "downL2 14,19",
                                               "up 14,19"}));
    }

    void textConvertsThroughTheCodePage()
    {
        QCOMPARE(fromUtf8("nächste Haltestelle: Straße"), Text("n\xe4" "chste Haltestelle: Stra\xdf" "e"));
        QCOMPARE(fromQString(QStringLiteral("€ Ä ö §")), Text("\x80 \xc4 \xf6 \xa7"));
        // What the code page cannot hold becomes '?', one per character.
        QCOMPARE(fromQString(QString::fromUtf8("Łódź 🚋 ok")), Text("?\xf3" "d? ? ok"));
        QCOMPARE(toQString("Gr\xfc\xdf" "e \x80"), QString::fromUtf8("Grüße €"));
        // Every defined byte survives the round trip.
        for (int code = 1; code < 256; ++code) {
            const Text byte(1, char(code));
            if (toQString(byte) != QChar(0xFFFD))
                QCOMPARE(fromQString(toQString(byte)), byte);
        }
    }

    void labelKeepsItsCaptionAndSizesToIt()
    {
        Label label(nullptr, 0, 0, 10, 10, "Label1", clLime, 11);
        QCOMPARE(label.Caption(), Text("Label1"));
        QCOMPARE(label.FontColor(), clLime);
        label.setAutoSize(true);
        const QSize oneLine = label.size();
        label.setCaption("Label1\rLabel1\r\rx");
        QCOMPARE(label.height(), 4 * oneLine.height());
        QCOMPARE(label.width(), oneLine.width());
    }

    // A line too wide for its width is narrowed just enough, never below
    // MinimumStretch; one that fits is left as it is.
    void fittingStretch_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("pixelHeight");
        QTest::addColumn<int>("percentOfWidth"); // the room given, in percent of the line's own width
        QTest::addColumn<bool>("fits");
        QTest::newRow("room to spare") << QStringLiteral("Endstelle") << 11 << 120 << true;
        QTest::newRow("exactly its width") << QStringLiteral("Endstelle") << 11 << 100 << true;
        QTest::newRow("a little short") << QStringLiteral("Timer Automatik einstellen") << 21 << 98 << true;
        QTest::newRow("a tenth short") << QStringLiteral("Streuung muss kleiner als") << 21 << 90 << true;
        QTest::newRow("half the room") << QStringLiteral("Oberschulzentrum Nord") << 21 << 50 << false;
    }

    void fittingStretch()
    {
        QFETCH(QString, line);
        QFETCH(int, pixelHeight);
        QFETCH(int, percentOfWidth);
        QFETCH(bool, fits);
        const QFont font = uiFont(pixelHeight);
        const int width = lineWidth(font, line) * percentOfWidth / 100;
        auto widthAt = [&](int stretch) {
            QFont narrowed = font;
            narrowed.setStretch(stretch);
            return lineWidth(narrowed, line);
        };
        const int stretch = tk::fittingStretch(font, line, width);
        QVERIFY(stretch >= MinimumStretch && stretch <= 100);
        QCOMPARE(widthAt(stretch) <= width, fits);
        if (percentOfWidth >= 100)
            QCOMPARE(stretch, 100);
        else if (fits) // just enough: one step wider would not fit
            QVERIFY(widthAt(stretch + 1) > width);
        else
            QCOMPARE(stretch, MinimumStretch);
    }

    void labelPaintsCarriageReturnsAsLineBreaks()
    {
        WinControl window;
        window.resize(60, 60);
        Label label(&window, 0, 0, 60, 60, "X\rX", clBlack, 11);
        QImage image = window.grab().toImage();
        auto inkRows = [&] {
            QList<int> rows;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qGray(image.pixel(x, y)) < 80) {
                        rows << y;
                        break;
                    }
            return rows;
        }();
        QVERIFY(!inkRows.isEmpty());
        QVERIFY2(inkRows.last() - inkRows.first() >= label.lineHeight(), "second line below the first");
    }

    void labelFitsAgainAfterEachChange()
    {
        // After its size, caption or font changed, a label shows what a new
        // label made that way shows: nothing of an earlier fit stays.
        WinControl window;
        window.resize(200, 30);
        Label label(&window, 0, 0, 90, 30, "Endstelle Hauptbahnhof", clBlack, 11);
        const auto sameAsNew = [&] {
            const QImage shown = window.grab().toImage();
            label.hide();
            Label fresh(&window, label.x(), label.y(), label.width(), label.height(), label.Caption());
            fresh.setFont(label.font());
            const bool same = window.grab().toImage() == shown;
            label.show();
            return same;
        };
        QVERIFY(sameAsNew());
        label.resize(120, 30);
        QVERIFY(sameAsNew());
        label.setCaption("Endstelle Rathausplatz");
        QVERIFY(sameAsNew());
        label.setFont(uiFont(14));
        QVERIFY(sameAsNew());
    }

    void shapePaintsOutlineAndFill()
    {
        Panel panel(nullptr, 0, 0, 20, 20, clWhite);
        Shape dot(&panel, 4, 4, 8, 8);
        dot.setPen(clBlack, 1);
        dot.setBrushColor(clLime);
        Shape frame(&panel, 12, 12, 6, 6);
        frame.setPen(clBlack, 2);
        frame.setBrushVisible(false);
        QImage image = panel.grab().toImage();
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool inDot = x >= 4 && x < 12 && y >= 4 && y < 12;
                const bool edge = x == 4 || y == 4 || x == 11 || y == 11;
                const bool inFrame = x >= 12 && x < 18 && y >= 12 && y < 18;
                const bool frameHole = x >= 14 && x < 16 && y >= 14 && y < 16;
                const QColor expected = inDot ? (edge ? QColor(Qt::black) : QColor(0, 255, 0))
                                        : inFrame && !frameHole ? QColor(Qt::black) : QColor(Qt::white);
                QCOMPARE(image.pixelColor(x, y), expected);
            }
        // Overlapping shapes: the later one lies above, outline and all.
        Panel stack(nullptr, 0, 0, 20, 20, clWhite);
        Shape lower(&stack, 0, 0, 10, 10);
        lower.setBrushColor(clLime);
        Shape upper(&stack, 5, 5, 10, 10);
        upper.setBrushColor(clGray);
        image = stack.grab().toImage();
        QCOMPARE(image.pixelColor(5, 7), QColor(Qt::black));      // upper's outline over lower's fill
        QCOMPARE(image.pixelColor(7, 7), toQColor(clGray));       // upper's fill over lower's outline
        QCOMPARE(image.pixelColor(3, 3), QColor(0, 255, 0));
        // 0xBBGGRR: blue in the high byte.
        QCOMPARE(toQColor(0x507070), QColor(0x70, 0x70, 0x50));
    }

    // On a scaled screen a rectangle keeps one size in device pixels
    // wherever it stands, its corner on the pixel nearest to it: rounding
    // its two corners instead gives sizes that change from place to place,
    // which scales such as 1.1 and 1.2 show.
    void shapesOfOneSizeAreOneSizeOnAScaledScreen()
    {
        Panel panel(nullptr, 0, 0, 200, 200, clWhite);
        for (const double scale : {1.1, 1.2, 1.25, 1.5, 1.75}) {
            const QTransform device = QTransform::fromScale(scale, scale);
            for (int at = 0; at < 40; ++at) {
                Shape shape(&panel, at, 2 * at + 1, 7, 5);
                const QRect outer = shape.devicePixels(device).outer;
                QCOMPARE(outer.size(), QSize(qRound(7 * scale), qRound(5 * scale)));
                QCOMPARE(outer.topLeft(), QPoint(qRound(at * scale), qRound((2 * at + 1) * scale)));
            }
        }
    }

    void editCutsItsTextToTheClipboard()
    {
        Edit edit(nullptr, 0, 0, 9, 21);
        edit.hide();
        const Text sentence = fromUtf8("nächste Haltestelle: Müllerstraße") + Text(300, 'x');
        edit.setText8(sentence);
        edit.selectAll();
        edit.cut();
        QCOMPARE(QGuiApplication::clipboard()->text(), toQString(sentence));
        QVERIFY(edit.text().isEmpty());
    }

    // A window that reaches past the screen's free area is moved onto it,
    // as little as may be; one that fits, to its last pixel, stays.
    void windowKeptOnScreen_data()
    {
        QTest::addColumn<QPoint>("at"); // the client area's corner, from the area's corner
        QTest::addColumn<QSize>("size"); // from the area's size
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<bool>("keepTop");
        QTest::addColumn<QPoint>("movedTo");
        const QSize small(-600, -500);
        // A window 200 by 100 smaller than the area fits with its corner at
        // (200, 100) and no further.
        QTest::newRow("at the top left edges") << QPoint(0, 0) << small << QMargins() << false << QPoint(0, 0);
        QTest::newRow("one past the left and top") << QPoint(-1, -1) << small << QMargins() << false << QPoint(0, 0);
        QTest::newRow("at the right and bottom edges") << QPoint(600, 500) << small << QMargins() << false << QPoint(600, 500);
        QTest::newRow("one past the right and bottom") << QPoint(601, 501) << small << QMargins() << false << QPoint(600, 500);
        QTest::newRow("keeping its top") << QPoint(601, -1) << small << QMargins() << true << QPoint(600, -1);
        QTest::newRow("its frame at the edges") << QPoint(8, 40) << small << QMargins(8, 40, 8, 8) << false << QPoint(8, 40);
        QTest::newRow("its frame one past") << QPoint(7, 39) << small << QMargins(8, 40, 8, 8) << false << QPoint(8, 40);
        QTest::newRow("wider than the area: at its left") << QPoint(-30, 0) << QSize(50, -500) << QMargins() << false << QPoint(0, 0);
    }

    void windowKeptOnScreen()
    {
        QFETCH(QPoint, at);
        QFETCH(QSize, size);
        QFETCH(QMargins, frame);
        QFETCH(bool, keepTop);
        QFETCH(QPoint, movedTo);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(area.width() > 600 && area.height() > 500);
        QWidget window;
        window.setGeometry(QRect(area.topLeft() + at, area.size() + size));
        keepOnScreen(window, frame, keepTop);
        QCOMPARE(window.pos() - area.topLeft(), movedTo);
        QCOMPARE(window.size(), area.size() + size);
    }

    void qtPlatformRandomStaysInRangeAndCoversIt()
    {
        QtPlatform qt;
        qt.randomize();
        QCOMPARE(qt.random(0), 0);
        QCOMPARE(qt.random(-4), 0);
        QSet<int> seen;
        for (int i = 0; i < 2000; ++i) {
            const int value = qt.random(7);
            QVERIFY(value >= 0 && value < 7);
            seen.insert(value);
        }
        QCOMPARE(seen.size(), 7);
    }

    void platformCanBeReplacedAndRestored()
    {
        struct Fixed : QtPlatform {
            QTime timeOfDay() override { return QTime(9, 5); }
        } fixed;
        setPlatform(&fixed);
        QCOMPARE(platform().timeOfDay(), QTime(9, 5));
        setPlatform(nullptr);
        QVERIFY(&platform() != &fixed);
    }
};

QTEST_MAIN(TestToolkit)
#include "tst_toolkit.moc"
