// The menu of the control unit: the "Menü" key, the two pages turned with the
// arrow keys, the soft keys, and the three timer settings typed on the keypad.
// Keys are pressed with real mouse events on their controls, so the wiring of
// the face is exercised along with the handlers.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <signreader.h>

#include <QTest>
#include <QWidget>
#include <memory>

namespace {

QByteArray bytes(const tk::Text& text)
{
    return QByteArray::fromStdString(text);
}

QByteArray expected(const char* utf8)
{
    return QByteArray::fromStdString(tk::fromUtf8(utf8));
}

const char* const pageOneTitle = "Linie / Ziel";
const char* const pageOneLegend = "Haltestellensatz laden\r\rHilfe";
const char* const pageTwoLegend = "Timer Linie / Ziel einstell.\r\rTimer Automatik einstellen";
const char* const shown = "Linie / Ziel angezeigt";
const char* const notShown = "Linie / Ziel n. angezeigt";
const char* const delayQuestion = "Zeit bis Anzeige auf\rLinie/Ziel umschaltet:";
const char* const intervalQuestion = "Zeit bis Weiterschalten:";
const char* const scatterQuestion = "Streuung um:";
const char* const scatterRefused = "Streuung muss kleiner als\rWeiterschaltdauer sein!";
const char* const emptyField = "\r     __ Sekunden";
const char* const splash = "\r          Orbis-Motion\r       Pendralumovista\r          Version: 2.2";

// One control unit with its sign, on a scripted platform installed before
// either window is built.
struct Unit {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    QList<QWidget*> routeStrip() const
    {
        return {form.Shape3, form.Shape4, form.Shape5, form.Shape6, form.Shape7,
                form.Image2, form.Label2, form.Label8, form.Label10};
    }
    int routeStripShown() const
    {
        int count = 0;
        for (QWidget* control : routeStrip())
            count += control->isVisibleTo(const_cast<TForm2*>(&form));
        return count;
    }

    // Press-acting keys take a press of any button; "M" and "Menü" need a
    // completed click. A click does both.
    static void click(QWidget* key) { QTest::mouseClick(key, Qt::LeftButton); }

    void menu() { click(form.Label5); }
    void up() { click(form.Shape1); }
    void down() { click(form.Shape2); }
    void top() { click(form.Shape8); }
    void middle() { click(form.Shape9); }
    void bottom() { click(form.Shape10); }
    void clear() { click(form.Label0C); }
    void confirm() { click(form.Label0M); }
    void type(const char* digits)
    {
        tk::Label* const keys[] = {form.Label00, form.Label01, form.Label02, form.Label03, form.Label04,
                                   form.Label05, form.Label06, form.Label07, form.Label08, form.Label09};
        for (const char* d = digits; *d; ++d)
            click(keys[*d - '0']);
    }

    void loadStops(std::initializer_list<const char*> names)
    {
        int i = 0;
        for (const char* name : names)
            form.Stops[size_t(i++)] = tk::fromUtf8(name);
        form.StopCount = std::uint8_t(i);
        form.CurrentStop = 0;
        form.StopsLoaded = true;
    }

    QByteArray label1() const { return bytes(form.Label1->Caption()); }
    QByteArray label3() const { return bytes(form.Label3->Caption()); }
};

} // namespace

class TestMenu : public QObject {
    Q_OBJECT
private slots:
    void routeStripHiddenUntilMenuLeftOnce();
    void usualPath();
    void secondsField_data();
    void secondsField();
    void clearEmptiesTheField();
    void confirmWithNothingTypedIsIgnored();
    void scatterCheck_data();
    void scatterCheck();
    void intervalZeroAdmitsScatterOnlyAfterNewInterval();
    void delayOfZeroNeverFallsBack();
    void delayConfirmWhileRunning_data();
    void delayConfirmWhileRunning();
    void menuDuringDelayEntry();
    void menuDuringIntervalEntry();
    void newIntervalKeepsFormerScatter();
    void softKeysIdle_data();
    void softKeysIdle();
    void arrowsOutsideStandardView_data();
    void arrowsOutsideStandardView();
    void showLineDestinationToggle();
    void toggleLeavesRunningDelay();
    void pageOneLoadsStopDataSet();
    void stopNumberEntryOnMenuPage();
    void terminusOnMenuPage();
    void halfTypedStopNumberLostThroughMenu();
    void menuLeavesSignAndMarker();
};

void TestMenu::routeStripHiddenUntilMenuLeftOnce()
{
    Unit u;
    QCOMPARE(u.routeStripShown(), 0);
    QCOMPARE(u.label1(), expected(splash));

    u.menu();
    QCOMPARE(u.form.MenuPage, 1);
    QCOMPARE(u.routeStripShown(), 0);
    QCOMPARE(u.label1(), expected(pageOneTitle));
    QCOMPARE(u.label3(), expected(pageOneLegend));

    u.menu();
    QCOMPARE(u.form.MenuPage, 0);
    QCOMPARE(u.routeStripShown(), 9);
    // No destination entered yet, no stop data set: empty top line, two
    // empty stop lines.
    QCOMPARE(u.label1(), QByteArray());
    QCOMPARE(u.label3(), QByteArray("\r\r"));

    // With a destination and stops, the standard view shows them.
    u.form.Destination = tk::fromUtf8("Münster Hbf");
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.menu();
    QCOMPARE(u.routeStripShown(), 0);
    u.menu();
    QCOMPARE(u.label1(), expected("Münster Hbf"));
    QCOMPARE(u.label3(), QByteArray("Alpha\r\rBeta"));
    QCOMPARE(u.routeStripShown(), 9);
}

void TestMenu::usualPath()
{
    Unit u;
    u.loadStops({"Alpha", "Beta"});
    auto state = [&u] { return std::pair<int, int>(u.form.MenuPage, u.form.EntryMode); };

    u.menu(); // S -> P1
    QCOMPARE(state(), std::pair(1, 0));
    u.down(); // P1 -> P2
    QCOMPARE(state(), std::pair(2, 0));
    QCOMPARE(u.label1(), expected(shown));
    QCOMPARE(u.label3(), expected(pageTwoLegend));

    u.middle(); // P2 -> E1
    QCOMPARE(state(), std::pair(5, 1));
    QCOMPARE(u.label1(), expected(delayQuestion));
    QCOMPARE(u.label3(), expected(emptyField));
    u.type("45");
    QCOMPARE(u.label3(), expected("\r     45 Sekunden"));
    u.confirm(); // E1 -> P2
    QCOMPARE(state(), std::pair(2, 0));
    QCOMPARE(u.form.Timer2->Interval(), 45000);
    QVERIFY(!u.form.Timer2->Enabled());
    QCOMPARE(u.label1(), expected(shown));
    QCOMPARE(u.label3(), expected(pageTwoLegend));

    u.bottom(); // P2 -> E2
    QCOMPARE(state(), std::pair(5, 2));
    QCOMPARE(u.label1(), expected(intervalQuestion));
    QCOMPARE(u.label3(), expected(emptyField));
    u.type("90");
    u.confirm(); // E2 -> E3
    QCOMPARE(state(), std::pair(5, 3));
    QCOMPARE(u.form.AutoIntervalSeconds, 90);
    QCOMPARE(u.form.AutoScatterSeconds, 50);
    QCOMPARE(u.label1(), expected(scatterQuestion));
    QCOMPARE(u.label3(), expected(emptyField));
    u.type("30");
    QCOMPARE(u.label3(), expected("\r     30 Sekunden"));
    u.confirm(); // E3 -> P2
    QCOMPARE(state(), std::pair(2, 0));
    QCOMPARE(u.form.AutoScatterSeconds, 30);
    QCOMPARE(u.label1(), expected(shown));
    QCOMPARE(u.label3(), expected(pageTwoLegend));
    QVERIFY(u.platform.sleeps.empty());

    u.up(); // P2 -> P1
    QCOMPARE(state(), std::pair(1, 0));
    QCOMPARE(u.label1(), expected(pageOneTitle));
    QCOMPARE(u.label3(), expected(pageOneLegend));
    QCOMPARE(u.routeStripShown(), 0);

    u.menu(); // P1 -> S
    QCOMPARE(state(), std::pair(0, 0));
    QCOMPARE(u.label3(), QByteArray("Alpha\r\rBeta"));
    QCOMPARE(u.routeStripShown(), 9);
    // The menu itself never writes to the sign.
    QCOMPARE(litDotCount(u.sign), 0);
}

void TestMenu::secondsField_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("seconds");

    QTest::newRow("1, singular") << QByteArray("1") << QByteArray("\r      1 Sekunde") << 1;
    QTest::newRow("0") << QByteArray("0") << QByteArray("\r      0 Sekunden") << 0;
    QTest::newRow("2") << QByteArray("2") << QByteArray("\r      2 Sekunden") << 2;
    QTest::newRow("9") << QByteArray("9") << QByteArray("\r      9 Sekunden") << 9;
    QTest::newRow("0 1, two digits") << QByteArray("01") << QByteArray("\r     01 Sekunden") << 1;
    QTest::newRow("1 0") << QByteArray("10") << QByteArray("\r     10 Sekunden") << 10;
    QTest::newRow("1 1") << QByteArray("11") << QByteArray("\r     11 Sekunden") << 11;
    QTest::newRow("0 0 7") << QByteArray("007") << QByteArray("\r    007 Sekunden") << 7;
    QTest::newRow("9 9 9") << QByteArray("999") << QByteArray("\r    999 Sekunden") << 999;
    QTest::newRow("1 2 3 4, fourth dropped") << QByteArray("1234") << QByteArray("\r    123 Sekunden") << 123;
    QTest::newRow("1 0 0 1") << QByteArray("1001") << QByteArray("\r    100 Sekunden") << 100;
}

void TestMenu::secondsField()
{
    QFETCH(QByteArray, keys);
    QFETCH(QByteArray, field);
    QFETCH(int, seconds);

    Unit u;
    u.menu();
    u.down();
    u.middle();
    u.type(keys.constData());
    QCOMPARE(u.label3(), field);
    QCOMPARE(u.form.EntryMode, 1);
    QCOMPARE(u.form.MenuPage, 5);
    u.confirm();
    QCOMPARE(u.form.Timer2->Interval(), seconds * 1000);
    QCOMPARE(u.form.MenuPage, 2);
    QCOMPARE(u.form.EntryMode, 0);
}

void TestMenu::clearEmptiesTheField()
{
    Unit u;
    u.menu();
    u.down();
    u.bottom();
    u.type("12");
    u.clear();
    QCOMPARE(u.label3(), expected(emptyField));
    QCOMPARE(u.label1(), expected(intervalQuestion));
    QCOMPARE(u.form.EntryMode, 2);
    QCOMPARE(u.form.MenuPage, 5);
    // The digits typed before "C" are gone: only the new one counts.
    u.type("8");
    QCOMPARE(u.label3(), expected("\r      8 Sekunden"));
    u.confirm();
    QCOMPARE(u.form.AutoIntervalSeconds, 8);
}

void TestMenu::confirmWithNothingTypedIsIgnored()
{
    Unit u;
    u.menu();
    u.down();
    u.middle();
    u.confirm();
    QCOMPARE(u.form.EntryMode, 1);
    QCOMPARE(u.form.MenuPage, 5);
    QCOMPARE(u.label1(), expected(delayQuestion));
    QCOMPARE(u.label3(), expected(emptyField));
    QCOMPARE(u.form.Timer2->Interval(), 30000);

    // Also after "C" has emptied what was typed.
    u.type("5");
    u.clear();
    u.confirm();
    QCOMPARE(u.form.EntryMode, 1);
    QCOMPARE(u.form.Timer2->Interval(), 30000);
    QCOMPARE(u.label1(), expected(delayQuestion));
}

void TestMenu::scatterCheck_data()
{
    QTest::addColumn<QByteArray>("interval");
    QTest::addColumn<QByteArray>("scatter");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("smaller") << QByteArray("60") << QByteArray("59") << true;
    QTest::newRow("zero scatter") << QByteArray("1") << QByteArray("0") << true;
    QTest::newRow("equal") << QByteArray("60") << QByteArray("60") << false;
    QTest::newRow("greater") << QByteArray("60") << QByteArray("120") << false;
    QTest::newRow("interval 0, scatter 0") << QByteArray("0") << QByteArray("0") << false;
    QTest::newRow("interval 0, scatter 5") << QByteArray("0") << QByteArray("5") << false;
    QTest::newRow("leading zeros, greater") << QByteArray("007") << QByteArray("10") << false;
}

void TestMenu::scatterCheck()
{
    QFETCH(QByteArray, interval);
    QFETCH(QByteArray, scatter);
    QFETCH(bool, accepted);

    Unit u;
    u.menu();
    u.down();
    u.bottom();
    u.type(interval.constData());
    u.confirm();
    QCOMPARE(u.form.EntryMode, 3);
    const int intervalSeconds = interval.toInt();
    QCOMPARE(u.form.AutoIntervalSeconds, intervalSeconds);

    // What the display shows while the thread pauses.
    QByteArray label1DuringSleep, label3DuringSleep;
    u.platform.duringSleep = [&u, &label1DuringSleep, &label3DuringSleep] {
        label1DuringSleep = u.label1();
        label3DuringSleep = u.label3();
    };
    u.type(scatter.constData());
    u.confirm();

    if (accepted) {
        QVERIFY(u.platform.sleeps.empty());
        QCOMPARE(u.form.AutoScatterSeconds, scatter.toInt());
        QCOMPARE(u.form.EntryMode, 0);
        QCOMPARE(u.form.MenuPage, 2);
        QCOMPARE(u.label1(), expected(shown));
        QCOMPARE(u.label3(), expected(pageTwoLegend));
        return;
    }

    QCOMPARE(u.platform.sleeps, std::vector<int>{2000});
    QCOMPARE(label1DuringSleep, expected(scatterRefused));
    QCOMPARE(label3DuringSleep, QByteArray());
    // Back to the interval question; the interval confirmed before stays,
    // the scatter keeps its former value.
    QCOMPARE(u.label1(), expected(intervalQuestion));
    QCOMPARE(u.label3(), expected(emptyField));
    QCOMPARE(u.form.EntryMode, 2);
    QCOMPARE(u.form.MenuPage, 5);
    QCOMPARE(u.form.AutoIntervalSeconds, intervalSeconds);
    QCOMPARE(u.form.AutoScatterSeconds, 50);

    // The digits of the refused scatter are gone: "M" alone does nothing.
    u.confirm();
    QCOMPARE(u.form.EntryMode, 2);
    QCOMPARE(u.form.AutoIntervalSeconds, intervalSeconds);
}

void TestMenu::intervalZeroAdmitsScatterOnlyAfterNewInterval()
{
    Unit u;
    u.menu();
    u.down();
    u.bottom();
    u.type("0");
    u.confirm();
    QCOMPARE(u.form.AutoIntervalSeconds, 0);
    u.type("0");
    u.confirm();
    QCOMPARE(u.form.EntryMode, 2);
    QCOMPARE(u.platform.sleeps.size(), size_t(1));

    u.type("1");
    u.confirm();
    u.type("0");
    u.confirm();
    QCOMPARE(u.form.AutoIntervalSeconds, 1);
    QCOMPARE(u.form.AutoScatterSeconds, 0);
    QCOMPARE(u.form.EntryMode, 0);
    QCOMPARE(u.form.MenuPage, 2);
    QCOMPARE(u.platform.sleeps.size(), size_t(1));
}

void TestMenu::delayOfZeroNeverFallsBack()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.menu();
    u.down();
    u.middle();
    u.type("0");
    QCOMPARE(u.label3(), expected("\r      0 Sekunden"));
    u.confirm();
    QCOMPARE(u.form.Timer2->Interval(), 0);

    // A stop call starts the fall-back timer, which with no delay never
    // fires: the sign keeps the stop name.
    u.menu();
    u.down();
    QCOMPARE(u.form.CurrentStop, 1);
    QCOMPARE(QByteArray::fromStdString(readSign(u.sign)), QByteArray("Beta"));
    QVERIFY(u.form.Timer2->Enabled());
    QVERIFY(!u.form.Timer2->isTicking());
}

void TestMenu::delayConfirmWhileRunning_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<bool>("restarted");

    QTest::newRow("shorter") << QByteArray("20") << true;
    QTest::newRow("longer") << QByteArray("45") << true;
    QTest::newRow("same") << QByteArray("30") << false;
    QTest::newRow("same, leading zero") << QByteArray("030") << false;
}

void TestMenu::delayConfirmWhileRunning()
{
    QFETCH(QByteArray, keys);
    QFETCH(bool, restarted);

    Unit u;
    u.form.Timer2->setEnabled(true);
    // Let a little of the 30 s run off, so that a restart can be told apart.
    QTRY_VERIFY(u.form.Timer2->remainingTime() <= 29850);
    const int before = u.form.Timer2->remainingTime();

    u.menu();
    u.down();
    u.middle();
    u.type(keys.constData());
    u.confirm();

    const int interval = keys.toInt() * 1000;
    QCOMPARE(u.form.Timer2->Interval(), interval);
    QVERIFY(u.form.Timer2->Enabled());
    QVERIFY(u.form.Timer2->isTicking());
    const int after = u.form.Timer2->remainingTime();
    if (restarted)
        QVERIFY2(after > interval - 100 && after <= interval, qPrintable(QString::number(after)));
    else
        QVERIFY2(after <= before, qPrintable(QStringLiteral("%1 > %2").arg(after).arg(before)));
}

void TestMenu::menuDuringDelayEntry()
{
    Unit u;
    u.loadStops({"Alpha", "Beta"});
    u.form.Destination = "Zoo";
    u.menu();
    u.down();
    u.middle();
    u.type("4");

    u.menu(); // leaves the entry open
    QCOMPARE(u.form.MenuPage, 0);
    QCOMPARE(u.form.EntryMode, 1);
    QCOMPARE(u.label1(), QByteArray("Zoo"));
    QCOMPARE(u.label3(), QByteArray("Alpha\r\rBeta"));
    QCOMPARE(u.routeStripShown(), 9);

    // The keypad still serves the setting, with the digit typed before.
    u.type("2");
    QCOMPARE(u.label3(), expected("\r     42 Sekunden"));
    QCOMPARE(u.form.CurrentStop, 0);
    u.confirm();
    QCOMPARE(u.form.Timer2->Interval(), 42000);
    QCOMPARE(u.form.EntryMode, 0);
    QCOMPARE(u.form.MenuPage, 2);
    QCOMPARE(u.label1(), expected(shown));
    QCOMPARE(u.label3(), expected(pageTwoLegend));
    QCOMPARE(u.routeStripShown(), 9);

    // The next "Menü" returns to the standard view.
    u.menu();
    QCOMPARE(u.form.MenuPage, 0);
    QCOMPARE(u.label1(), QByteArray("Zoo"));
    QCOMPARE(u.routeStripShown(), 9);
}

void TestMenu::menuDuringIntervalEntry()
{
    Unit u;
    u.menu();
    u.down();
    u.bottom();
    u.menu();
    QCOMPARE(u.form.EntryMode, 2);

    // Confirming the interval in the standard view stays there.
    u.type("40");
    QCOMPARE(u.label3(), expected("\r     40 Sekunden"));
    u.confirm();
    QCOMPARE(u.form.AutoIntervalSeconds, 40);
    QCOMPARE(u.form.EntryMode, 3);
    QCOMPARE(u.form.MenuPage, 0);
    QCOMPARE(u.label1(), expected(scatterQuestion));

    // So does a refused scatter.
    u.type("40");
    u.confirm();
    QCOMPARE(u.form.EntryMode, 2);
    QCOMPARE(u.form.MenuPage, 0);
    QCOMPARE(u.label1(), expected(intervalQuestion));
    QCOMPARE(u.routeStripShown(), 9);

    // "Menü" with a setting pending opens page 1 as usual, the setting stays.
    u.menu();
    QCOMPARE(u.form.MenuPage, 1);
    QCOMPARE(u.form.EntryMode, 2);
    QCOMPARE(u.label1(), expected(pageOneTitle));
    QCOMPARE(u.routeStripShown(), 0);
    u.type("40");
    u.confirm();
    u.type("9");
    u.confirm();
    QCOMPARE(u.form.AutoScatterSeconds, 9);
    QCOMPARE(u.form.MenuPage, 2);
    QCOMPARE(u.label3(), expected(pageTwoLegend));
}

void TestMenu::newIntervalKeepsFormerScatter()
{
    Unit u;
    u.menu();
    u.down();
    u.bottom();
    u.type("20");
    u.confirm();
    u.menu();
    // The pair is inconsistent (scatter 50 >= interval 20), as typed.
    QCOMPARE(u.form.AutoIntervalSeconds, 20);
    QCOMPARE(u.form.AutoScatterSeconds, 50);
    QCOMPARE(u.form.EntryMode, 3);
}

void TestMenu::softKeysIdle_data()
{
    QTest::addColumn<int>("state");
    QTest::newRow("standard view") << 0;
    QTest::newRow("delay entry") << 1;
    QTest::newRow("interval entry") << 2;
    QTest::newRow("scatter entry") << 3;
    QTest::newRow("entry left with Menü") << 4;
}

void TestMenu::softKeysIdle()
{
    QFETCH(int, state);

    Unit u;
    QWidget help;
    u.form.HelpWindow = &help;
    switch (state) {
    case 1:
        u.menu();
        u.down();
        u.middle();
        u.type("7");
        break;
    case 2:
        u.menu();
        u.down();
        u.bottom();
        break;
    case 3:
        u.menu();
        u.down();
        u.bottom();
        u.type("60");
        u.confirm();
        break;
    case 4:
        u.menu();
        u.down();
        u.middle();
        u.menu();
        break;
    default:
        break;
    }
    const int page = u.form.MenuPage;
    const int entry = u.form.EntryMode;
    const QByteArray label1 = u.label1();
    const QByteArray label3 = u.label3();

    u.top();
    u.middle();
    u.bottom();

    QCOMPARE(u.form.MenuPage, page);
    QCOMPARE(u.form.EntryMode, entry);
    QCOMPARE(u.label1(), label1);
    QCOMPARE(u.label3(), label3);
    QVERIFY(u.form.ShowLineDestination);
    QVERIFY(u.platform.inputCalls.empty());
    QVERIFY(u.platform.fileDialogOffers.empty());
    QVERIFY(help.isHidden());
}

void TestMenu::arrowsOutsideStandardView_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("upArrow");
    QTest::newRow("page 1, up") << 1 << true;
    QTest::newRow("page 2, down") << 2 << false;
    QTest::newRow("entry, up") << 5 << true;
    QTest::newRow("entry, down") << 5 << false;
}

void TestMenu::arrowsOutsideStandardView()
{
    QFETCH(int, state);
    QFETCH(bool, upArrow);

    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.form.CurrentStop = 1;
    u.menu();
    if (state >= 2)
        u.down();
    if (state == 5)
        u.bottom();
    QCOMPARE(u.form.MenuPage, state);
    const QByteArray label1 = u.label1();
    const QByteArray label3 = u.label3();

    if (upArrow)
        u.up();
    else
        u.down();

    QCOMPARE(u.form.MenuPage, state);
    QCOMPARE(u.label1(), label1);
    QCOMPARE(u.label3(), label3);
    // No stop is stepped and nothing goes to the sign.
    QCOMPARE(u.form.CurrentStop, 1);
    QCOMPARE(litDotCount(u.sign), 0);
    QCOMPARE(u.routeStripShown(), 0);
}

void TestMenu::showLineDestinationToggle()
{
    Unit u;
    u.menu();
    u.down();
    u.top();
    QVERIFY(!u.form.ShowLineDestination);
    QCOMPARE(u.label1(), expected(notShown));
    QCOMPARE(u.label3(), expected(pageTwoLegend));
    QCOMPARE(u.form.MenuPage, 2);

    // Page 2 shows the flag when it is turned to again.
    u.up();
    u.down();
    QCOMPARE(u.label1(), expected(notShown));
    // And after a setting is confirmed.
    u.middle();
    u.type("5");
    u.confirm();
    QCOMPARE(u.label1(), expected(notShown));

    u.top();
    QVERIFY(u.form.ShowLineDestination);
    QCOMPARE(u.label1(), expected(shown));
    QCOMPARE(u.form.MenuPage, 2);
}

void TestMenu::toggleLeavesRunningDelay()
{
    Unit u;
    u.form.Timer2->setEnabled(true);
    u.menu();
    u.down();
    u.top();
    QVERIFY(!u.form.ShowLineDestination);
    QVERIFY(u.form.Timer2->Enabled());
    QVERIFY(u.form.Timer2->isTicking());
}

void TestMenu::pageOneLoadsStopDataSet()
{
    Unit u;
    u.menu();
    u.platform.fileAnswers.push_back(std::nullopt);
    u.middle();
    QCOMPARE(u.platform.fileDialogOffers.size(), size_t(1));
    QCOMPARE(u.form.MenuPage, 1);
    QCOMPARE(u.label3(), expected(pageOneLegend));
    // On page 2 the same key types the delay and opens no dialog.
    u.down();
    u.middle();
    QCOMPARE(u.platform.fileDialogOffers.size(), size_t(1));
    QCOMPARE(u.form.EntryMode, 1);
}

void TestMenu::stopNumberEntryOnMenuPage()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.menu();

    // The legend is longer than a stop number: digits add nothing to it.
    u.type("1");
    QCOMPARE(u.label3(), expected(pageOneLegend));
    // "M" finds no number in it.
    u.confirm();
    QCOMPARE(u.label3(), expected("Sie können nur\rZahlen\rübernehmen"));

    u.clear();
    QCOMPARE(u.label3(), QByteArray());
    u.type("2");
    QCOMPARE(u.label3(), QByteArray("2"));
    u.confirm();
    QCOMPARE(u.form.CurrentStop, 2);
    QCOMPARE(u.label3(), QByteArray("Gamma\r\r"));
    QCOMPARE(QByteArray::fromStdString(readSign(u.sign)), QByteArray("Gamma"));
    QCOMPARE(u.form.MenuPage, 1);
    QCOMPARE(u.form.EntryMode, 0);
    QCOMPARE(u.label1(), expected(pageOneTitle));
    QCOMPARE(u.routeStripShown(), 0);
}

void TestMenu::terminusOnMenuPage()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.menu();
    u.down();
    QTest::mouseClick(u.form.Label9, Qt::LeftButton);
    QCOMPARE(u.form.CurrentStop, 2);
    QCOMPARE(u.label3(), QByteArray("Gamma\r\r"));
    QCOMPARE(u.form.MenuPage, 2);
    QCOMPARE(u.label1(), expected(shown));
    QCOMPARE(u.routeStripShown(), 0);
}

void TestMenu::halfTypedStopNumberLostThroughMenu()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.type("12");
    QCOMPARE(u.label3(), QByteArray("12"));
    u.menu();
    QCOMPARE(u.label3(), expected(pageOneLegend));
    u.menu();
    QCOMPARE(u.label3(), QByteArray("Alpha\r\rBeta"));
}

void TestMenu::menuLeavesSignAndMarker()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma", "Delta"});
    u.menu();
    u.menu();
    u.down();
    u.down();
    const int markerTop = u.form.Shape7->y();
    QCOMPARE(markerTop, 63 + 44);
    const int lit = litDotCount(u.sign);
    QVERIFY(lit > 0);

    u.menu();
    u.down();
    u.middle();
    u.type("9");
    u.menu();
    QCOMPARE(u.form.Shape7->y(), markerTop);
    QCOMPARE(QByteArray::fromStdString(readSign(u.sign)), QByteArray("Gamma"));
    QCOMPARE(u.label3(), QByteArray("Gamma\r\rDelta"));
}

QTEST_MAIN(TestMenu)
#include "tst_menu.moc"
