// Automatic advance: the "Auto" key, the direction flip on its double click,
// the step timer's ticks (turning at the ends, stepping like an arrow press,
// turning menu pages instead of stepping) and the random step interval.
// Ticks are fired by calling the handler; the timer is only read back.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <mouse.h>
#include <signreader.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QTest>

#include <climits>
#include <vector>

namespace {

const QString Untouched = QStringLiteral("clipboard before the tick");
const QStringList ThreeStops{"Alpha", "Beta", "Gamma"};
// In the stop list column: no data set loaded at all.
const QStringList NothingLoaded{QStringLiteral("(nichts geladen)")};

QString clipboard()
{
    return QGuiApplication::clipboard()->text();
}

QString announcement(const QString& stop, bool terminus = false)
{
    return QString::fromUtf8("nächste Haltestelle: ") + stop
           + (terminus ? QStringLiteral(". Endstelle. Bitte aussteigen") : QString());
}

// One control unit with its sign, on a scripted platform installed before
// either window is built.
struct Unit {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    Unit() { QGuiApplication::clipboard()->setText(Untouched); }

    // What a load leaves behind.
    void loadStops(const QStringList& names)
    {
        for (int i = 0; i < names.size(); ++i)
            form.Stops[size_t(i)] = tk::fromQString(names[i]);
        form.StopCount = std::uint8_t(names.size());
        form.CurrentStop = 0;
        form.StopsLoaded = true;
    }

    // "Menü" opens page 1, the down arrow turns to page 2, the lowest soft
    // key there asks for the interval (page 5).
    void openMenu(int page)
    {
        form.Label5Click();
        if (page >= 2)
            form.Shape2MouseDown();
        if (page == 5)
            form.Shape10MouseDown();
        QCOMPARE(int(form.MenuPage), page);
    }

    bool autoOn() const { return form.Label7->FontColor() == tk::clWhite; }
    QString indicator() const { return tk::toQString(form.Label10->Caption()); }
    QString label1() const { return tk::toQString(form.Label1->Caption()); }
    QString label3() const { return tk::toQString(form.Label3->Caption()); }
    QString lineDestination() const { return tk::toQString(form.LineDestinationText); }
    QString signText() const { return tk::toQString(readSign(sign)); }
};

} // namespace

class TestAutoAdvance : public QObject {
    Q_OBJECT
private slots:
    void autoKey_data()
    {
        QTest::addColumn<QString>("clicks"); // c: a click, d: a double click
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("direction");
        QTest::newRow("click: on") << "c" << true << "A";
        QTest::newRow("click, click: off") << "cc" << false << "A";
        // The click before the double click switches once, then the
        // direction flips; the release after it clicks nothing more.
        QTest::newRow("double click: on, flipped") << "d" << true << "B";
        QTest::newRow("double click while on: off, flipped") << "cd" << false << "B";
        QTest::newRow("two double clicks") << "dd" << false << "A";
        // A direction set by hand survives switching off and on.
        QTest::newRow("flipped, off, on") << "dcc" << true << "B";
    }

    // Switching on draws an interval and starts the timer; neither switching
    // nor flipping takes a step or rewrites a destination.
    void autoKey()
    {
        QFETCH(QString, clicks);
        QFETCH(bool, on);
        QFETCH(QString, direction);
        Unit u;
        u.loadStops(ThreeStops);
        QVERIFY(!u.autoOn());
        QCOMPARE(u.indicator(), QStringLiteral("A"));
        const QString label1 = u.label1();
        u.platform.randomAnswers = {37, 37, 37};

        for (const QChar click : clicks)
            clickControl(u.form.Label7, click == u'd');

        QCOMPARE(u.autoOn(), on);
        QCOMPARE(u.form.Timer3->Enabled(), on);
        QCOMPARE(u.form.Timer3->isTicking(), on);
        if (on)
            QCOMPARE(u.form.Timer3->Interval(), (37 + 75 - 50) * 1000);
        QCOMPARE(u.indicator(), direction);
        QCOMPARE(u.form.DirectionB, direction == "B");
        QCOMPARE(u.form.CurrentStop, 0);
        QCOMPARE(u.signText(), QString());
        QCOMPARE(clipboard(), Untouched);
        QCOMPARE(u.lineDestination(), QString());
        QCOMPARE(u.label1(), label1);
    }

    // 0 -> 1 (turning to A at the start), 1 -> 2, 2 -> 1 (turning to B at the
    // end), 1 -> 0, 0 -> 1 (turning to A again); then a flip by hand steps
    // backwards without renaming the destination until the next turn.
    void threeStopRun()
    {
        Unit u;
        u.loadStops(ThreeStops);
        u.form.LineNumber = "7";
        u.form.Label7Click();

        const struct {
            bool flipFirst;
            int stop;
            const char* direction;
            const char* destination;
            bool terminus;
        } run[] = {
            {false, 1, "A", "Gamma", false}, {false, 2, "A", "Gamma", true}, {false, 1, "B", "Alpha", false},
            {false, 0, "B", "Alpha", true},  {false, 1, "A", "Gamma", false}, {true, 0, "B", "Gamma", true},
        };
        for (const auto& after : run) {
            if (after.flipFirst)
                u.form.Label7DblClick();
            u.form.Timer3Timer();
            const QString name = ThreeStops[after.stop];
            QCOMPARE(int(u.form.CurrentStop), after.stop);
            QCOMPARE(u.indicator(), QString(after.direction));
            QCOMPARE(u.form.DirectionB, u.indicator() == "B");
            QCOMPARE(u.lineDestination(), QStringLiteral("  7 ") + after.destination);
            QCOMPARE(u.label1(), QString(after.destination));
            // The step is an arrow press: stop lines, marker, sign, clipboard,
            // fall-back; and automatic advance goes on.
            QVERIFY(u.label3().startsWith(name + "\r\r"));
            QCOMPARE(u.form.Shape7->y(), u.form.markerTop());
            QCOMPARE(u.signText(), name);
            QCOMPARE(clipboard(), announcement(name, after.terminus));
            QVERIFY(u.form.Timer2->Enabled());
            QVERIFY(u.form.Timer3->isTicking());
        }
        // A fresh interval on switching on and after every step.
        QCOMPARE(u.platform.randomRequests, std::vector<int>(1 + std::size(run), 100));
        // The turn writes neither the entered destination nor, by itself, the
        // sign: the new text appears at the next fall-back.
        QCOMPARE(u.form.Destination, tk::Text());
        u.form.Timer2Timer();
        QCOMPARE(u.signText(), QStringLiteral("  7 Gamma"));
    }

    void turnComposesLineDestination_data()
    {
        QTest::addColumn<QString>("lineNumber");
        QTest::addColumn<bool>("atLastStop");
        QTest::addColumn<QString>("terminus");
        QTest::addColumn<QString>("text");
        // Two blanks before the line number, whatever its length.
        QTest::newRow("12, turning at the start") << "12" << false << "Bahnhof" << "  12 Bahnhof";
        QTest::newRow("12, turning at the end") << "12" << true << "Bahnhof" << "  12 Bahnhof";
        QTest::newRow("no line number") << "" << false << "Bahnhof" << "   Bahnhof";
        QTest::newRow("umlaut") << "5" << true << QString::fromUtf8("Münster") << QString::fromUtf8("  5 Münster");
    }

    void turnComposesLineDestination()
    {
        QFETCH(QString, lineNumber);
        QFETCH(bool, atLastStop);
        QFETCH(QString, terminus);
        QFETCH(QString, text);
        Unit u;
        // The terminus of the new direction is at the other end.
        u.loadStops(atLastStop ? QStringList{terminus, "Markt", "Schule"} : QStringList{"Schule", "Markt", terminus});
        u.form.CurrentStop = atLastStop ? 2 : 0;
        u.form.LineNumber = tk::fromQString(lineNumber);
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

    void interval_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("scatter");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<int>("asked"); // the n asked of the source, -1 not asked

        // r drawn from 0 to 2S - 1, then (r + I - S) seconds.
        QTest::newRow("defaults, lowest") << 75 << 50 << 0 << 25000 << 100;
        QTest::newRow("defaults, highest") << 75 << 50 << 99 << 124000 << 100;
        QTest::newRow("largest the menu allows") << 999 << 998 << 1995 << 1996000 << 1996;
        // Without scatter the source is not asked.
        QTest::newRow("no scatter") << 75 << 0 << 5 << 75000 << -1;
        QTest::newRow("no scatter, 1 s") << 1 << 0 << 5 << 1000 << -1;
        QTest::newRow("no scatter, 999 s") << 999 << 0 << 5 << 999000 << -1;

        // Leaving the menu after a new interval keeps the former scatter, so the
        // pair may stand as S >= I and the formula give 0 s or less: the step
        // still comes, after 1 s, and "Auto" never stalls while it shows on.
        QTest::newRow("scatter equal to interval") << 10 << 10 << 0 << 1000 << 20;
        QTest::newRow("scatter above interval") << 10 << 50 << 39 << 1000 << 100;
        QTest::newRow("scatter above interval, high draw") << 10 << 50 << 99 << 59000 << 100;
        QTest::newRow("interval 0") << 0 << 0 << 0 << 1000 << -1;
        // Values no key can type, still no overflow.
        QTest::newRow("negative scatter counts as none") << 5 << -3 << 0 << 5000 << -1;
        QTest::newRow("lowest int interval") << INT_MIN << 0 << 0 << 1000 << -1;
        QTest::newRow("highest int interval") << INT_MAX << 0 << 0 << INT_MAX / 1000 * 1000 << -1;
        QTest::newRow("highest int both") << INT_MAX << INT_MAX << 0 << 1000 << INT_MAX;
        QTest::newRow("highest int both, high draw") << INT_MAX << INT_MAX << INT_MAX - 1 << INT_MAX / 1000 * 1000 << INT_MAX;
    }

    // The same draw on switching on and after a step.
    void interval()
    {
        QFETCH(int, interval);
        QFETCH(int, scatter);
        QFETCH(int, answer);
        QFETCH(int, milliseconds);
        QFETCH(int, asked);
        for (const bool afterStep : {false, true}) {
            Unit u;
            u.loadStops(ThreeStops);
            u.form.AutoIntervalSeconds = interval;
            u.form.AutoScatterSeconds = scatter;
            if (afterStep)
                u.form.Label7Click();
            u.platform.randomRequests.clear();
            u.platform.randomAnswers = {answer};

            afterStep ? u.form.Timer3Timer() : u.form.Label7Click();

            QCOMPARE(int(u.form.CurrentStop), afterStep ? 1 : 0);
            QCOMPARE(u.form.Timer3->Interval(), milliseconds);
            QVERIFY(u.form.Timer3->isTicking());
            QCOMPARE(u.platform.randomRequests, asked < 0 ? std::vector<int>{} : std::vector<int>{asked});
        }
    }

    void ticksThatDoNotStep_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("stop");
        QTest::addColumn<int>("page"); // 0 the standard view, 1, 2, or 5 (the interval being typed)
        QTest::addColumn<bool>("directionB");
        QTest::addColumn<int>("pageAfter");
        QTest::addColumn<bool>("directionBAfter");
        QTest::addColumn<QString>("terminus"); // empty: no turn
        QTest::addColumn<QString>("label1");   // empty: as before the tick

        const QString pageOne = QStringLiteral("Linie / Ziel");
        const QString pageTwo = QStringLiteral("Linie / Ziel angezeigt");
        // Both ends at once: the tick turns to B and straight back to A.
        QTest::newRow("one stop") << QStringList{"Solo"} << 0 << 0 << true << 0 << false << "Solo" << "Solo";
        // Nothing to turn at and nothing to step to; the text before the
        // first entry must never be taken for a terminus.
        QTest::newRow("nothing loaded") << NothingLoaded << 0 << 0 << false << 0 << false << "" << "";
        QTest::newRow("empty file loaded, B") << QStringList{} << 0 << 0 << true << 0 << true << "" << "";
        // On a menu page the arrow press turns the page as the key would,
        // with or without stops; while a setting is typed it does nothing.
        QTest::newRow("nothing loaded, page 1") << NothingLoaded << 0 << 1 << false << 2 << false << "" << pageTwo;
        QTest::newRow("empty file loaded, page 2, B") << QStringList{} << 0 << 2 << true << 1 << true << "" << pageOne;
        QTest::newRow("page 1, forwards") << ThreeStops << 1 << 1 << false << 2 << false << "" << pageTwo;
        QTest::newRow("page 2, backwards") << ThreeStops << 1 << 2 << true << 1 << true << "" << pageOne;
        QTest::newRow("entry") << ThreeStops << 1 << 5 << false << 5 << false << "" << "";
        // At an end the turn still happens and names the terminus over the
        // page's title; a page turn after it writes its own title.
        QTest::newRow("entry at the last stop") << ThreeStops << 2 << 5 << false << 5 << true << "Alpha" << "Alpha";
        QTest::newRow("page 2 at the first stop") << ThreeStops << 0 << 2 << true << 2 << false << "Gamma" << "Gamma";
        QTest::newRow("page 1 at the first stop") << ThreeStops << 0 << 1 << true << 2 << false << "Gamma" << pageTwo;
    }

    void ticksThatDoNotStep()
    {
        QFETCH(QStringList, names);
        QFETCH(int, stop);
        QFETCH(int, page);
        QFETCH(bool, directionB);
        QFETCH(int, pageAfter);
        QFETCH(bool, directionBAfter);
        QFETCH(QString, terminus);
        QFETCH(QString, label1);
        Unit u;
        if (names != NothingLoaded)
            u.loadStops(names);
        u.form.CurrentStop = std::uint8_t(stop);
        u.form.LineNumber = "9";
        u.form.LineDestinationText = "  9 Ziel";
        if (page > 0)
            u.openMenu(page);
        if (directionB)
            u.form.Label7DblClick();
        u.form.Label7Click();
        const QString label1Before = u.label1();
        const QString label3Before = u.label3();
        const int marker = u.form.Shape7->y();

        u.form.Timer3Timer();

        QCOMPARE(int(u.form.MenuPage), pageAfter);
        QCOMPARE(u.form.DirectionB, directionBAfter);
        QCOMPARE(u.indicator(), QString(directionBAfter ? "B" : "A"));
        QCOMPARE(u.lineDestination(), terminus.isEmpty() ? QStringLiteral("  9 Ziel") : "  9 " + terminus);
        QCOMPARE(u.label1(), label1.isEmpty() ? label1Before : label1);
        if (pageAfter == page)
            QCOMPARE(u.label3(), label3Before);
        QCOMPARE(int(u.form.CurrentStop), stop);
        QCOMPARE(u.form.Shape7->y(), marker);
        QCOMPARE(u.signText(), QString());
        QCOMPARE(clipboard(), Untouched);
        QVERIFY(!u.form.Timer2->Enabled());
        // Automatic advance keeps running, with a fresh interval.
        QVERIFY(u.autoOn());
        QVERIFY(u.form.Timer3->isTicking());
        QCOMPARE(u.platform.randomRequests.size(), size_t(2));
    }

    // With the display switch off the steps still happen, silently: the display,
    // the marker and the stop change, the sign, the clipboard and the fall-back
    // timer do not, and the turn at the end still happens.
    void displaySwitchOffStepsSilently()
    {
        Unit u;
        u.loadStops({"Alpha", "Beta", "Gamma", "Delta"});
        u.form.Label7Click();
        u.form.Timer3Timer();
        QCOMPARE(u.signText(), QStringLiteral("Beta"));
        u.form.Timer2Timer(); // the turn at stop 0 named Delta
        u.form.Label6Click();

        u.form.Timer3Timer();
        QCOMPARE(u.form.CurrentStop, 2);
        QCOMPARE(u.label3(), QStringLiteral("Gamma\r\rDelta"));
        QCOMPARE(u.form.Shape7->y(), 107);
        QCOMPARE(u.signText(), QStringLiteral("   Delta"));
        QCOMPARE(clipboard(), announcement("Beta"));
        QVERIFY(!u.form.Timer2->Enabled());

        u.form.Timer3Timer();
        u.form.Timer3Timer();
        QCOMPARE(u.form.CurrentStop, 2);
        QVERIFY(u.form.DirectionB);
        QCOMPARE(u.lineDestination(), QStringLiteral("   Alpha"));
        QCOMPARE(u.signText(), QStringLiteral("   Delta"));
        QCOMPARE(clipboard(), announcement("Beta"));
        QVERIFY(!u.form.Timer2->Enabled());
    }


    // Thousands of ticks over a 30-stop route, with the direction flipped by
    // hand now and then: the vehicle never leaves the route, turns only at
    // its ends, and names the terminus ahead each time.
    void longRunStaysOnTheRoute()
    {
        constexpr int stops = 30;
        Unit u;
        QStringList names;
        for (int i = 0; i < stops; ++i)
            names << QStringLiteral("Halt %1").arg(i);
        u.loadStops(names);
        u.form.LineNumber = "42";
        u.form.Label7Click();
        int turns[2] = {0, 0};
        for (int tick = 1; tick <= 6000; ++tick) {
            if (tick % 97 == 0)
                u.form.Label7DblClick();
            const int before = u.form.CurrentStop;
            const bool wasB = u.form.DirectionB;
            u.form.Timer3Timer();
            const int after = u.form.CurrentStop;
            const bool isB = u.form.DirectionB;
            const QByteArray at = "tick " + QByteArray::number(tick);
            if (isB != wasB) {
                QVERIFY2(before == (isB ? stops - 1 : 0), at);
                QVERIFY2(u.lineDestination() == QStringLiteral("  42 Halt %1").arg(isB ? 0 : stops - 1), at);
                ++turns[isB];
            }
            QVERIFY2(after == before + (isB ? -1 : 1), at);
            QVERIFY2(u.indicator() == (isB ? "B" : "A"), at);
            QVERIFY2(u.form.Timer3->Interval() >= 25000 && u.form.Timer3->Interval() <= 124000, at);
        }
        QVERIFY(turns[0] > 20 && turns[1] > 20);
        QCOMPARE(u.signText(), names[u.form.CurrentStop]);
    }
};

QTEST_MAIN(TestAutoAdvance)
#include "tst_autoadvance.moc"
