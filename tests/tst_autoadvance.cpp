// Automatic advance: the "Auto" key, the direction flip on its double click,
// the step timer's ticks (turning at the ends, stepping like an arrow press,
// turning menu pages instead of stepping) and the random step interval.
// Ticks are fired by calling the handler; the timer is only read back.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <signreader.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <climits>
#include <set>
#include <vector>

namespace {

QByteArray bytes(const tk::Text& text)
{
    return QByteArray::fromStdString(text);
}

QByteArray expected(const char* utf8)
{
    return QByteArray::fromStdString(tk::fromUtf8(utf8));
}

const char* const splash = "\r          Orbis-Motion\r       Pendralumovista\r          Version: 2.2";
const char* const pageOneTitle = "Linie / Ziel";
const char* const pageOneLegend = "Haltestellensatz laden\r\rHilfe";
const char* const pageTwoTitle = "Linie / Ziel angezeigt";
const char* const pageTwoLegend = "Timer Linie / Ziel einstell.\r\rTimer Automatik einstellen";
const char* const intervalQuestion = "Zeit bis Weiterschalten:";
const char* const emptySecondsField = "\r     __ Sekunden";
const char* const untouchedClipboard = "clipboard before the tick";

QString clipboard()
{
    return QGuiApplication::clipboard()->text();
}

QString announcement(const char* utf8Stop, bool terminus = false)
{
    return QString::fromUtf8("nächste Haltestelle: ") + QString::fromUtf8(utf8Stop)
           + (terminus ? QStringLiteral(". Endstelle. Bitte aussteigen") : QString());
}

// The event sequence the platform really delivers, sent straight to a key.
void sendMouse(QWidget* widget, QEvent::Type type)
{
    const QPoint pos(5, 5);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

void click(QWidget* key)
{
    sendMouse(key, QEvent::MouseButtonPress);
    sendMouse(key, QEvent::MouseButtonRelease);
}

// Press, release, double-click event, release: a double click under X11.
void realDoubleClick(QWidget* key)
{
    click(key);
    sendMouse(key, QEvent::MouseButtonDblClick);
    sendMouse(key, QEvent::MouseButtonRelease);
}

// One control unit with its sign, on a scripted platform installed before
// either window is built.
struct Unit {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    Unit() { QGuiApplication::clipboard()->setText(QString::fromUtf8(untouchedClipboard)); }

    // What a load leaves behind.
    void loadStops(const std::vector<tk::Text>& names)
    {
        for (size_t i = 0; i < names.size(); ++i)
            form.Stops[i] = names[i];
        form.StopCount = std::uint8_t(names.size());
        form.CurrentStop = 0;
        form.StopsLoaded = true;
    }

    void loadStops(std::initializer_list<const char*> utf8Names)
    {
        std::vector<tk::Text> names;
        for (const char* name : utf8Names)
            names.push_back(tk::fromUtf8(name));
        loadStops(names);
    }

    bool autoOn() const { return form.Label7->FontColor() == tk::clWhite; }
    QByteArray indicator() const { return bytes(form.Label10->Caption()); }
    QByteArray label1() const { return bytes(form.Label1->Caption()); }
    QByteArray label3() const { return bytes(form.Label3->Caption()); }
    QByteArray lineDestination() const { return bytes(form.LineDestinationText); }
    QByteArray signText() const { return QByteArray::fromStdString(readSign(sign)); }
    int marker() const { return form.Shape7->y(); }
};

} // namespace

class TestAutoAdvance : public QObject {
    Q_OBJECT
private slots:
    void switchOnAndOff();
    void doubleClick_data();
    void doubleClick();
    void threeStopRun();
    void oneStopSet();
    void turnComposesLineDestination_data();
    void turnComposesLineDestination();
    void intervalWithoutScatter_data();
    void intervalWithoutScatter();
    void drawnIntervalsCoverTheRange_data();
    void drawnIntervalsCoverTheRange();
    void intervalFromDrawnNumber_data();
    void intervalFromDrawnNumber();
    void scatterLeftTooLargeByTheMenu();
    void tickOnMenu_data();
    void tickOnMenu();
    void displaySwitchOffStepsSilently();
    void tickWithoutStops_data();
    void tickWithoutStops();
    void longRunStaysOnTheRoute();
};

void TestAutoAdvance::switchOnAndOff()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    QVERIFY(!u.autoOn());
    QVERIFY(!u.form.Timer3->Enabled());
    QCOMPARE(u.indicator(), QByteArray("A"));

    u.platform.randomAnswers = {37};
    click(u.form.Label7);
    QVERIFY(u.autoOn());
    QVERIFY(u.form.Timer3->Enabled());
    QVERIFY(u.form.Timer3->isTicking());
    // Defaults 75 and 50: r from 0 to 99, (37 + 75 - 50) seconds.
    QCOMPARE(u.platform.randomRequests, std::vector<int>{100});
    QCOMPARE(u.form.Timer3->Interval(), 62000);
    // No step at once: the first one comes an interval later.
    QCOMPARE(u.form.CurrentStop, 0);
    QCOMPARE(u.signText(), QByteArray());
    QCOMPARE(clipboard(), QString::fromUtf8(untouchedClipboard));

    // Direction set by hand survives switching off and on.
    u.form.Label7DblClick();
    QCOMPARE(u.indicator(), QByteArray("B"));

    click(u.form.Label7);
    QVERIFY(!u.autoOn());
    QVERIFY(!u.form.Timer3->Enabled());
    QVERIFY(!u.form.Timer3->isTicking());
    QVERIFY(u.form.DirectionB);
    QCOMPARE(u.indicator(), QByteArray("B"));

    u.platform.randomAnswers = {0};
    click(u.form.Label7);
    QVERIFY(u.autoOn());
    QVERIFY(u.form.Timer3->isTicking());
    QCOMPARE(u.form.Timer3->Interval(), 25000);
    QVERIFY(u.form.DirectionB);
    QCOMPARE(u.indicator(), QByteArray("B"));
    QCOMPARE(u.form.CurrentStop, 0);
}

void TestAutoAdvance::doubleClick_data()
{
    QTest::addColumn<bool>("startOn");
    QTest::addColumn<bool>("startB");

    QTest::newRow("off, direction A") << false << false;
    QTest::newRow("off, direction B") << false << true;
    QTest::newRow("on, direction A") << true << false;
    QTest::newRow("on, direction B") << true << true;
}

void TestAutoAdvance::doubleClick()
{
    QFETCH(bool, startOn);
    QFETCH(bool, startB);

    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    if (startOn)
        u.form.Label7Click();
    if (startB)
        u.form.Label7DblClick();
    QCOMPARE(u.autoOn(), startOn);
    QCOMPARE(u.form.DirectionB, startB);

    // The click before the double click switches once, then the direction
    // flips; the release after it clicks nothing more.
    realDoubleClick(u.form.Label7);
    QCOMPARE(u.autoOn(), !startOn);
    QCOMPARE(u.form.Timer3->Enabled(), !startOn);
    QCOMPARE(u.form.DirectionB, !startB);
    QCOMPARE(u.indicator(), QByteArray(startB ? "A" : "B"));
    // Flipping rewrites no destination and takes no step.
    QCOMPARE(u.lineDestination(), QByteArray());
    QCOMPARE(u.label1(), expected(splash));
    QCOMPARE(u.form.CurrentStop, 0);
}

void TestAutoAdvance::threeStopRun()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.form.LineNumber = "7";
    u.form.Label7Click();

    struct After {
        int stop;
        bool directionB;
        const char* destination;
        const char* sign;
        bool terminus;
    };
    // 0 -> 1 (turn to A at the start), 1 -> 2, 2 -> 1 (turn to B at the
    // end), 1 -> 0, 0 -> 1 (turn to A again).
    const After run[] = {
        {1, false, "Gamma", "Beta", false},
        {2, false, "Gamma", "Gamma", true},
        {1, true, "Alpha", "Beta", false},
        {0, true, "Alpha", "Alpha", true},
        {1, false, "Gamma", "Beta", false},
    };

    int tick = 0;
    for (const After& after : run) {
        ++tick;
        u.form.Timer3Timer();
        const QByteArray context = "tick " + QByteArray::number(tick);
        QVERIFY2(u.form.CurrentStop == after.stop, context);
        QVERIFY2(u.form.DirectionB == after.directionB, context);
        QVERIFY2(u.indicator() == QByteArray(after.directionB ? "B" : "A"), context);
        QVERIFY2(u.lineDestination() == QByteArray("  7 ") + after.destination, context);
        QVERIFY2(u.label1() == QByteArray(after.destination), context);
        // The step is an arrow press: stop lines, sign, clipboard, fall-back.
        QVERIFY2(u.label3().startsWith(QByteArray(after.sign) + "\r\r"), context);
        QVERIFY2(u.signText() == QByteArray(after.sign), context);
        QVERIFY2(clipboard() == announcement(after.sign, after.terminus), context);
        QVERIFY2(u.form.Timer2->Enabled(), context);
        QVERIFY2(u.marker() == u.form.markerTop(), context);
        // Each step draws a fresh interval, and the timer keeps running.
        QVERIFY2(u.form.Timer3->isTicking(), context);
    }
    QCOMPARE(u.platform.randomRequests.size(), size_t(1 + 5));
    // The turn writes neither the entered destination nor, by itself, the
    // sign: the new text appears at the next fall-back.
    QCOMPARE(u.form.Destination, tk::Text());
    u.form.Timer2Timer();
    QCOMPARE(u.signText(), QByteArray("  7 Gamma"));
}

void TestAutoAdvance::oneStopSet()
{
    Unit u;
    u.loadStops({"Solo"});
    u.form.LineNumber = "3";
    u.form.Label7Click();
    u.form.Label7DblClick(); // start in direction B

    for (int tick = 1; tick <= 4; ++tick) {
        const QByteArray context = "tick " + QByteArray::number(tick);
        u.form.Timer3Timer();
        // Both ends at once: to B and straight back to A.
        QVERIFY2(!u.form.DirectionB, context);
        QVERIFY2(u.indicator() == "A", context);
        QVERIFY2(u.lineDestination() == "  3 Solo", context);
        QVERIFY2(u.label1() == "Solo", context);
        // There is nowhere to step.
        QVERIFY2(u.form.CurrentStop == 0, context);
        QVERIFY2(u.signText().isEmpty(), context);
        QVERIFY2(clipboard() == QString::fromUtf8(untouchedClipboard), context);
        QVERIFY2(!u.form.Timer2->Enabled(), context);
        QVERIFY2(u.form.Timer3->isTicking(), context);
    }
}

void TestAutoAdvance::turnComposesLineDestination_data()
{
    QTest::addColumn<QByteArray>("lineNumber");
    QTest::addColumn<bool>("atLastStop");
    QTest::addColumn<QByteArray>("terminus");
    QTest::addColumn<QByteArray>("text");

    // Two blanks before the line number, whatever its length.
    QTest::newRow("12, turning at the start") << QByteArray("12") << false << QByteArray("Bahnhof")
                                              << QByteArray("  12 Bahnhof");
    QTest::newRow("12, turning at the end") << QByteArray("12") << true << QByteArray("Bahnhof")
                                            << QByteArray("  12 Bahnhof");
    QTest::newRow("no line number") << QByteArray() << false << QByteArray("Bahnhof")
                                    << QByteArray("   Bahnhof");
    QTest::newRow("one digit") << QByteArray("7") << true << QByteArray("Bahnhof")
                               << QByteArray("  7 Bahnhof");
    QTest::newRow("three characters") << QByteArray("N12") << false << QByteArray("Hauptbahnhof")
                                      << QByteArray("  N12 Hauptbahnhof");
    QTest::newRow("Windows-1252 terminus") << QByteArray("5") << true << expected("Münster")
                                           << expected("  5 Münster");
}

void TestAutoAdvance::turnComposesLineDestination()
{
    QFETCH(QByteArray, lineNumber);
    QFETCH(bool, atLastStop);
    QFETCH(QByteArray, terminus);
    QFETCH(QByteArray, text);

    Unit u;
    // The terminus of the new direction is at the other end.
    if (atLastStop)
        u.loadStops({terminus.toStdString(), "Markt", "Schule"});
    else
        u.loadStops({"Schule", "Markt", terminus.toStdString()});
    u.form.CurrentStop = atLastStop ? 2 : 0;
    u.form.LineNumber = lineNumber.toStdString();
    u.form.Destination = "Eingegeben";

    u.form.Timer3Timer();
    QCOMPARE(u.lineDestination(), text);
    QCOMPARE(u.label1(), terminus);
    QCOMPARE(u.form.DirectionB, atLastStop);
    QCOMPARE(u.form.Destination, tk::Text("Eingegeben"));
    QCOMPARE(u.form.CurrentStop, 1);

    // What the sign falls back to.
    u.form.Timer2Timer();
    QCOMPARE(u.signText(), text);
}

void TestAutoAdvance::intervalWithoutScatter_data()
{
    QTest::addColumn<int>("seconds");

    QTest::newRow("1 s") << 1;
    QTest::newRow("75 s") << 75;
    QTest::newRow("999 s") << 999;
}

void TestAutoAdvance::intervalWithoutScatter()
{
    QFETCH(int, seconds);

    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.form.AutoIntervalSeconds = seconds;
    u.form.AutoScatterSeconds = 0;
    // Numbers the source would hand out if it were asked for a range.
    u.platform.randomAnswers = {1, 2, 3, 4, 5, 6, 7};

    u.form.Label7Click();
    QCOMPARE(u.form.Timer3->Interval(), seconds * 1000);
    for (int tick = 0; tick < 6; ++tick) {
        u.form.Timer3Timer();
        QCOMPARE(u.form.Timer3->Interval(), seconds * 1000);
    }
    for (int n : u.platform.randomRequests)
        QCOMPARE(n, 0);
}

void TestAutoAdvance::drawnIntervalsCoverTheRange_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("scatter");
    QTest::addColumn<int>("draws");
    QTest::addColumn<bool>("everySecond");

    QTest::newRow("defaults 75, 50") << 75 << 50 << 3000 << true;
    QTest::newRow("10, 1") << 10 << 1 << 200 << true;
    QTest::newRow("2, 1") << 2 << 1 << 200 << true;
    QTest::newRow("100, 99") << 100 << 99 << 6000 << true;
    QTest::newRow("999, 998") << 999 << 998 << 40000 << false;
}

void TestAutoAdvance::drawnIntervalsCoverTheRange()
{
    QFETCH(int, interval);
    QFETCH(int, scatter);
    QFETCH(int, draws);
    QFETCH(bool, everySecond);

    Unit u;
    u.form.AutoIntervalSeconds = interval;
    u.form.AutoScatterSeconds = scatter;

    // Half the draws by switching off and on, half by ticks.
    std::set<int> seen;
    for (int i = 0; i < draws; ++i) {
        if (i % 2 == 0) {
            if (u.autoOn())
                u.form.Label7Click();
            u.form.Label7Click();
        } else {
            u.form.Timer3Timer();
        }
        const int ms = u.form.Timer3->Interval();
        QVERIFY2(ms % 1000 == 0, QByteArray::number(ms));
        QVERIFY2(ms >= (interval - scatter) * 1000 && ms <= (interval + scatter - 1) * 1000,
                 QByteArray::number(ms));
        seen.insert(ms / 1000);
    }
    QVERIFY(u.form.Timer3->isTicking());
    QCOMPARE(*seen.begin(), interval - scatter);
    QCOMPARE(*seen.rbegin(), interval + scatter - 1);
    if (everySecond)
        QCOMPARE(int(seen.size()), 2 * scatter);
    for (int n : u.platform.randomRequests)
        QCOMPARE(n, 2 * scatter);
}

void TestAutoAdvance::intervalFromDrawnNumber_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("scatter");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("milliseconds");
    QTest::addColumn<int>("asked"); // n asked of the source, -1 not asked

    QTest::newRow("lowest") << 75 << 50 << 0 << 25000 << 100;
    QTest::newRow("middle") << 75 << 50 << 50 << 75000 << 100;
    QTest::newRow("highest") << 75 << 50 << 99 << 124000 << 100;
    QTest::newRow("largest the menu allows") << 999 << 998 << 1995 << 1996000 << 1996;
    QTest::newRow("scatter 1 below interval") << 10 << 9 << 0 << 1000 << 18;

    // A pair the menu check would refuse but a trip through the menu can
    // leave: the formula gives 0 or less, the step still comes after 1 s.
    QTest::newRow("scatter equal to interval") << 10 << 10 << 0 << 1000 << 20;
    QTest::newRow("scatter above interval") << 10 << 50 << 0 << 1000 << 100;
    QTest::newRow("scatter above interval, high draw") << 10 << 50 << 99 << 59000 << 100;
    QTest::newRow("both 999") << 999 << 999 << 0 << 1000 << 1998;
    QTest::newRow("interval 0") << 0 << 0 << 0 << 1000 << -1;
    QTest::newRow("interval 0, scatter 50") << 0 << 50 << 49 << 1000 << 100;

    // Values no key can type, still no overflow.
    QTest::newRow("negative scatter counts as none") << 5 << -3 << 0 << 5000 << -1;
    QTest::newRow("negative interval") << -20 << 0 << 0 << 1000 << -1;
    QTest::newRow("lowest int interval") << INT_MIN << 0 << 0 << 1000 << -1;
    QTest::newRow("highest int interval") << INT_MAX << 0 << 0 << INT_MAX / 1000 * 1000 << -1;
    QTest::newRow("highest int both") << INT_MAX << INT_MAX << 0 << 1000 << INT_MAX;
    QTest::newRow("highest int both, high draw") << INT_MAX << INT_MAX << INT_MAX - 1
                                                 << INT_MAX / 1000 * 1000 << INT_MAX;
}

void TestAutoAdvance::intervalFromDrawnNumber()
{
    QFETCH(int, interval);
    QFETCH(int, scatter);
    QFETCH(int, answer);
    QFETCH(int, milliseconds);
    QFETCH(int, asked);

    const std::vector<int> requests = asked < 0 ? std::vector<int>{} : std::vector<int>{asked};

    // Switching on.
    {
        Unit u;
        u.form.AutoIntervalSeconds = interval;
        u.form.AutoScatterSeconds = scatter;
        u.platform.randomAnswers = {answer};
        u.form.Label7Click();
        QCOMPARE(u.form.Timer3->Interval(), milliseconds);
        QVERIFY(u.form.Timer3->isTicking());
        QCOMPARE(u.platform.randomRequests, requests);
    }
    // After a step, with the timer running.
    {
        Unit u;
        u.loadStops({"Alpha", "Beta", "Gamma"});
        u.form.AutoIntervalSeconds = interval;
        u.form.AutoScatterSeconds = scatter;
        u.form.Timer3->setEnabled(true);
        u.form.Label7->setFontColor(tk::clWhite);
        u.platform.randomAnswers = {answer};
        u.form.Timer3Timer();
        QCOMPARE(u.form.CurrentStop, 1);
        QCOMPARE(u.form.Timer3->Interval(), milliseconds);
        QVERIFY(u.form.Timer3->isTicking());
        QCOMPARE(u.platform.randomRequests, requests);
    }
}

void TestAutoAdvance::scatterLeftTooLargeByTheMenu()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    // Page 2, interval entry, 10 seconds confirmed, then "Menü": the scatter
    // keeps its 50 seconds.
    u.form.Label5Click();
    u.form.Shape2MouseDown();
    u.form.Shape10MouseDown();
    QCOMPARE(u.form.MenuPage, 5);
    u.form.Label01MouseDown();
    u.form.Label00MouseDown();
    u.form.Label0MClick();
    u.form.Label5Click();
    QCOMPARE(u.form.MenuPage, 0);
    QCOMPARE(u.form.AutoIntervalSeconds, 10);
    QCOMPARE(u.form.AutoScatterSeconds, 50);

    // Every draw from 0 to 39 would give 0 seconds or less.
    u.platform.randomAnswers = {0, 39, 40, 99};
    click(u.form.Label7);
    QVERIFY(u.autoOn());
    QCOMPARE(u.form.Timer3->Interval(), 1000);
    QVERIFY(u.form.Timer3->isTicking());
    u.form.Timer3Timer();
    QCOMPARE(u.form.CurrentStop, 1);
    QCOMPARE(u.form.Timer3->Interval(), 1000);
    QVERIFY(u.form.Timer3->isTicking());
    u.form.Timer3Timer();
    QCOMPARE(u.form.Timer3->Interval(), 1000);
    u.form.Timer3Timer();
    QCOMPARE(u.form.Timer3->Interval(), 59000);
}

void TestAutoAdvance::tickOnMenu_data()
{
    QTest::addColumn<int>("page"); // 1, 2, or 5 (the interval being typed)
    QTest::addColumn<int>("stop");
    QTest::addColumn<bool>("directionB");
    QTest::addColumn<int>("pageAfter");
    QTest::addColumn<bool>("directionBAfter");
    QTest::addColumn<QByteArray>("label1");
    QTest::addColumn<QByteArray>("label3");

    // Stops Alpha, Beta, Gamma. The arrow press turns the page where an
    // arrow key would; no stop is stepped.
    QTest::newRow("page 1, forwards: to page 2")
        << 1 << 1 << false << 2 << false << expected(pageTwoTitle) << expected(pageTwoLegend);
    QTest::newRow("page 2, backwards: to page 1")
        << 2 << 1 << true << 1 << true << expected(pageOneTitle) << expected(pageOneLegend);
    QTest::newRow("page 1, backwards: stays")
        << 1 << 1 << true << 1 << true << expected(pageOneTitle) << expected(pageOneLegend);
    QTest::newRow("page 2, forwards: stays")
        << 2 << 1 << false << 2 << false << expected(pageTwoTitle) << expected(pageTwoLegend);
    QTest::newRow("entry, forwards: nothing")
        << 5 << 1 << false << 5 << false << expected(intervalQuestion) << expected(emptySecondsField);
    QTest::newRow("entry, backwards: nothing")
        << 5 << 1 << true << 5 << true << expected(intervalQuestion) << expected(emptySecondsField);
    // At an end the turn still happens and names the terminus over the
    // page's title.
    QTest::newRow("page 1 at the last stop: turns, stays")
        << 1 << 2 << false << 1 << true << QByteArray("Alpha") << expected(pageOneLegend);
    QTest::newRow("entry at the last stop: turns, nothing else")
        << 5 << 2 << false << 5 << true << QByteArray("Alpha") << expected(emptySecondsField);
    QTest::newRow("page 2 at the first stop: turns, stays")
        << 2 << 0 << true << 2 << false << QByteArray("Gamma") << expected(pageTwoLegend);
    // The terminus name is written first, then the page turn writes its title.
    QTest::newRow("page 1 at the first stop: turns, to page 2")
        << 1 << 0 << true << 2 << false << expected(pageTwoTitle) << expected(pageTwoLegend);
}

void TestAutoAdvance::tickOnMenu()
{
    QFETCH(int, page);
    QFETCH(int, stop);
    QFETCH(bool, directionB);
    QFETCH(int, pageAfter);
    QFETCH(bool, directionBAfter);
    QFETCH(QByteArray, label1);
    QFETCH(QByteArray, label3);

    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.form.CurrentStop = std::uint8_t(stop);
    u.form.Label5Click(); // page 1
    if (page >= 2)
        u.form.Shape2MouseDown(); // page 2
    if (page == 5)
        u.form.Shape10MouseDown(); // interval entry
    QCOMPARE(int(u.form.MenuPage), page);
    if (directionB)
        u.form.Label7DblClick();
    u.form.Label7Click();
    const int marker = u.marker();

    u.form.Timer3Timer();
    QCOMPARE(int(u.form.MenuPage), pageAfter);
    QCOMPARE(u.form.DirectionB, directionBAfter);
    QCOMPARE(u.indicator(), QByteArray(directionBAfter ? "B" : "A"));
    QCOMPARE(u.label1(), label1);
    QCOMPARE(u.label3(), label3);
    QCOMPARE(int(u.form.CurrentStop), stop);
    QCOMPARE(u.marker(), marker);
    QCOMPARE(u.signText(), QByteArray());
    QCOMPARE(clipboard(), QString::fromUtf8(untouchedClipboard));
    QVERIFY(!u.form.Timer2->Enabled());
    QVERIFY(u.form.Timer3->isTicking());
}

void TestAutoAdvance::displaySwitchOffStepsSilently()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma", "Delta"});
    u.form.Label7Click();

    u.form.Timer3Timer(); // display on: stop 1 goes to the sign
    QCOMPARE(u.signText(), QByteArray("Beta"));
    QCOMPARE(clipboard(), announcement("Beta"));
    u.form.LineDestinationText = "  7 Ziel";
    u.form.Timer2Timer(); // the fall-back has run, the delay is stopped
    QCOMPARE(u.signText(), QByteArray("  7 Ziel"));
    u.form.Label6Click(); // display off
    QVERIFY(!u.form.displaySwitchOn());
    const QByteArray signBefore = u.signText();
    const int markerBefore = u.marker();

    u.form.Timer3Timer();
    QCOMPARE(u.form.CurrentStop, 2);
    QCOMPARE(u.label3(), QByteArray("Gamma\r\rDelta"));
    QCOMPARE(u.marker(), 63 + 44); // 2 / 4 x 89 = 44.5, rounded to even
    QCOMPARE(u.signText(), signBefore);
    QCOMPARE(clipboard(), announcement("Beta"));
    QVERIFY(!u.form.Timer2->Enabled());
    QCOMPARE(markerBefore, 63 + 22);

    // Silently to the end and round again.
    u.form.Timer3Timer();
    u.form.Timer3Timer();
    QCOMPARE(u.form.CurrentStop, 2);
    QVERIFY(u.form.DirectionB);
    QCOMPARE(u.lineDestination(), QByteArray("   Alpha"));
    QCOMPARE(u.signText(), signBefore);
    QCOMPARE(clipboard(), announcement("Beta"));
}

void TestAutoAdvance::tickWithoutStops_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<bool>("directionB");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("pageAfter");

    // Nothing to turn at and nothing to step to; a menu page still turns as
    // under the operator's own arrow press.
    QTest::newRow("nothing loaded, A") << false << false << 0 << 0;
    QTest::newRow("nothing loaded, B") << false << true << 0 << 0;
    QTest::newRow("empty file loaded, A") << true << false << 0 << 0;
    QTest::newRow("empty file loaded, B") << true << true << 0 << 0;
    QTest::newRow("nothing loaded, page 1, A") << false << false << 1 << 2;
    QTest::newRow("empty file loaded, page 2, B") << true << true << 2 << 1;
    QTest::newRow("empty file loaded, page 2, A") << true << false << 2 << 2;
}

void TestAutoAdvance::tickWithoutStops()
{
    QFETCH(bool, loaded);
    QFETCH(bool, directionB);
    QFETCH(int, page);
    QFETCH(int, pageAfter);

    Unit u;
    // What a failed or empty load leaves: no entries, the count 0. The
    // text before the first entry must never be taken for a terminus.
    u.form.StopsLoaded = loaded;
    u.form.StopCount = 0;
    u.form.LineNumber = "9";
    u.form.LineDestinationText = "  9 Ziel";
    if (page >= 1)
        u.form.Label5Click();
    if (page == 2)
        u.form.Shape2MouseDown();
    QCOMPARE(int(u.form.MenuPage), page);
    if (directionB)
        u.form.Label7DblClick();
    u.form.Label7Click();
    const QByteArray label1 = u.label1();
    const QByteArray label3 = u.label3();
    const size_t requests = u.platform.randomRequests.size();

    for (int tick = 0; tick < 3; ++tick)
        u.form.Timer3Timer();

    QCOMPARE(u.form.DirectionB, directionB);
    QCOMPARE(u.indicator(), QByteArray(directionB ? "B" : "A"));
    QCOMPARE(u.lineDestination(), QByteArray("  9 Ziel"));
    QCOMPARE(u.form.CurrentStop, 0);
    QCOMPARE(int(u.form.MenuPage), pageAfter);
    if (page == pageAfter) {
        QCOMPARE(u.label1(), label1);
        QCOMPARE(u.label3(), label3);
    } else {
        QCOMPARE(u.label1(), expected(pageAfter == 2 ? pageTwoTitle : pageOneTitle));
    }
    QCOMPARE(u.signText(), QByteArray());
    QCOMPARE(clipboard(), QString::fromUtf8(untouchedClipboard));
    QVERIFY(!u.form.Timer2->Enabled());
    // Automatic advance keeps running, with a fresh interval each tick.
    QVERIFY(u.autoOn());
    QVERIFY(u.form.Timer3->isTicking());
    QCOMPARE(u.platform.randomRequests.size(), requests + 3);
}

void TestAutoAdvance::longRunStaysOnTheRoute()
{
    constexpr int stops = 30;
    Unit u;
    std::vector<tk::Text> names;
    for (int i = 0; i < stops; ++i)
        names.push_back("Halt " + std::to_string(i));
    u.loadStops(names);
    u.form.LineNumber = "42";
    u.form.Label7Click();
    u.form.CurrentStop = 13;

    int turnsToA = 0;
    int turnsToB = 0;
    for (int tick = 1; tick <= 6000; ++tick) {
        // Now and then the driver flips the direction by hand.
        if (tick % 97 == 0)
            u.form.Label7DblClick();
        const int before = u.form.CurrentStop;
        const bool wasB = u.form.DirectionB;

        u.form.Timer3Timer();

        const int after = u.form.CurrentStop;
        const bool isB = u.form.DirectionB;
        const QByteArray context = "tick " + QByteArray::number(tick) + " from stop " + QByteArray::number(before);
        QVERIFY2(after >= 0 && after < stops, context);
        if (isB != wasB) {
            // Only at the ends, and always away from them.
            QVERIFY2(before == (isB ? stops - 1 : 0), context);
            QVERIFY2(u.lineDestination() == QByteArray("  42 Halt ") + (isB ? "0" : "29"), context);
            QVERIFY2(u.label1() == QByteArray("Halt ") + (isB ? "0" : "29"), context);
            (isB ? turnsToB : turnsToA) += 1;
        } else {
            QVERIFY2(before != (wasB ? 0 : stops - 1), context);
        }
        QVERIFY2(after == before + (isB ? -1 : 1), context);
        QVERIFY2(u.indicator() == QByteArray(isB ? "B" : "A"), context);
        QVERIFY2(u.marker() == u.form.markerTop(), context);
        const int ms = u.form.Timer3->Interval();
        QVERIFY2(ms >= 25000 && ms <= 124000, context);
        if (tick % 250 == 0) {
            QVERIFY2(u.signText() == QByteArray::fromStdString(names[size_t(after)]), context);
            QVERIFY2(clipboard() == announcement(names[size_t(after)].c_str(), after == 0 || after == stops - 1),
                     context);
        }
    }
    // Turns at both ends, many times over.
    QVERIFY2(turnsToA > 20 && turnsToB > 20, qPrintable(QStringLiteral("%1 %2").arg(turnsToA).arg(turnsToB)));
    QVERIFY(u.form.Timer3->isTicking());
}

QTEST_MAIN(TestAutoAdvance)
#include "tst_autoadvance.moc"
