// The menu of the control unit: the "Menü" key, the two pages turned with the
// arrow keys, the soft keys, and the three timer settings typed on the keypad.
// Keys are pressed with real mouse events on their controls, so the wiring of
// the face is exercised along with the handlers.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <mouse.h>
#include <signreader.h>

#include <QTest>
#include <QWidget>

namespace {

QByteArray bytes(const tk::Text& text)
{
    return QByteArray::fromStdString(text);
}

QByteArray expected(const char* utf8)
{
    return QByteArray::fromStdString(tk::fromUtf8(utf8));
}

const QByteArray pageOneTitle = "Linie / Ziel";
const QByteArray pageOneLegend = "Haltestellensatz laden\r\rHilfe";
const QByteArray pageTwoLegend = "Timer Linie / Ziel einstell.\r\rTimer Automatik einstellen";
const QByteArray shown = "Linie / Ziel angezeigt";
const QByteArray notShown = "Linie / Ziel n. angezeigt";
const QByteArray delayQuestion = "Zeit bis Anzeige auf\rLinie/Ziel umschaltet:";
const QByteArray intervalQuestion = "Zeit bis Weiterschalten:";
const QByteArray scatterQuestion = "Streuung um:";
const QByteArray scatterRefused = "Streuung muss kleiner als\rWeiterschaltdauer sein!";
const QByteArray emptyField = "\r     __ Sekunden";
// The delay, the automatic interval and its scatter in seconds, as at start.
const QByteArray defaults = "30/75/50";

// One control unit with its sign and a help window, on a scripted platform
// installed before either window is built.
struct Unit {
    ScriptedPlatform platform;
    QWidget help; // outlives the unit that points at it
    TForm1 sign;
    TForm2 form{sign};
    // Label1 and Label3 as they stand while the thread pauses.
    QList<QByteArrayList> duringSleep;

    Unit()
    {
        form.HelpWindow = &help;
        platform.duringSleep = [this] { duringSleep << QByteArrayList{label1(), label3()}; };
    }

    void loadStops(std::initializer_list<const char*> names)
    {
        form.StopCount = 0;
        for (const char* name : names)
            form.Stops[form.StopCount++] = name;
        form.CurrentStop = 0;
        form.StopsLoaded = true;
    }

    // Digits and C, M as on the keypad; m "Menü"; u, d the arrows; t, i, b
    // the top, middle and bottom soft keys.
    void press(const QByteArray& keys)
    {
        for (char key : keys) {
            tk::Control* control = nullptr;
            switch (key) {
            case 'C': control = form.Label0C; break;
            case 'M': control = form.Label0M; break;
            case 'm': control = form.Label5; break;
            case 'u': control = form.Shape1; break;
            case 'd': control = form.Shape2; break;
            case 't': control = form.Shape8; break;
            case 'i': control = form.Shape9; break;
            case 'b': control = form.Shape10; break;
            default: {
                tk::Label* const digits[] = {form.Label00, form.Label01, form.Label02, form.Label03, form.Label04,
                                             form.Label05, form.Label06, form.Label07, form.Label08, form.Label09};
                control = digits[key - '0'];
            }
            }
            clickControl(control);
        }
    }

    int routeStripShown() const
    {
        int count = 0;
        for (tk::Control* control : std::initializer_list<tk::Control*>{form.Shape3, form.Shape4, form.Shape5, form.Shape6,
                                                                form.Shape7, form.Image2, form.Label2, form.Label8,
                                                                form.Label10})
            count += control->isVisible();
        return count;
    }

    QByteArray settings() const
    {
        return QStringLiteral("%1/%2/%3%4")
            .arg(form.Timer2->Interval() / 1000)
            .arg(form.AutoIntervalSeconds)
            .arg(form.AutoScatterSeconds)
            .arg(QLatin1String(form.ShowLineDestination ? "" : " off"))
            .toLatin1();
    }
    QByteArray label1() const { return bytes(form.Label1->Caption()); }
    QByteArray label3() const { return bytes(form.Label3->Caption()); }
    QByteArray signText() const { return bytes(readSign(sign)); }
};

} // namespace

class TestMenu : public QObject {
    Q_OBJECT
private slots:
    void keys_data();
    void keys();
    void pageOneSoftKeys_data();
    void pageOneSoftKeys();
    void standardViewBeforeAnyData();
    void delayOfZeroNeverFallsBack();
    void runningDelay_data();
    void runningDelay();
    void menuKeepsStopCallState();
    void stopCallFromMenuPage();
};

void TestMenu::keys_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QByteArray>("label1");
    QTest::addColumn<QByteArray>("label3");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("entry");
    QTest::addColumn<bool>("strip");
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<int>("refusals");

    const QByteArray stopLines = "Beta\r\rGamma";
    auto row = [](const char* name, const char* keys, const QByteArray& label1, const QByteArray& label3, int page,
                  int entry, bool strip, const QByteArray& settings = defaults, int refusals = 0) {
        QTest::newRow(name) << QByteArray(keys) << label1 << label3 << page << entry << strip << settings << refusals;
    };

    // Turning the pages; an arrow that leads nowhere does nothing.
    row("page 1", "m", pageOneTitle, pageOneLegend, 1, 0, false);
    row("page 1, up: stays", "mu", pageOneTitle, pageOneLegend, 1, 0, false);
    row("page 2", "md", shown, pageTwoLegend, 2, 0, false);
    row("page 2, down: stays", "mdd", shown, pageTwoLegend, 2, 0, false);
    row("page 2, up: page 1", "mdu", pageOneTitle, pageOneLegend, 1, 0, false);
    row("page 2, Menü: standard view", "mdm", "Zoo", stopLines, 0, 0, true);
    row("soft keys idle in the standard view", "mmtib", "Zoo", stopLines, 0, 0, true);

    // The delay, and the seconds field as it is typed.
    row("delay question", "mdi", delayQuestion, emptyField, 5, 1, false);
    row("1, singular", "mdi1", delayQuestion, "\r      1 Sekunde", 5, 1, false);
    row("0, plural", "mdi0", delayQuestion, "\r      0 Sekunden", 5, 1, false);
    row("0 1, two digits", "mdi01", delayQuestion, "\r     01 Sekunden", 5, 1, false);
    row("fourth digit dropped", "mdi1234", delayQuestion, "\r    123 Sekunden", 5, 1, false);
    row("123 confirmed", "mdi1234M", shown, pageTwoLegend, 2, 0, false, "123/75/50");
    row("leading zeros", "mdi007M", shown, pageTwoLegend, 2, 0, false, "7/75/50");
    row("delay 0 accepted", "mdi0M", shown, pageTwoLegend, 2, 0, false, "0/75/50");
    row("M with nothing typed", "mdiM", delayQuestion, emptyField, 5, 1, false);
    row("M with no scatter typed", "mdb60MM", scatterQuestion, emptyField, 5, 3, false, "30/60/50");
    row("M after C", "mdi5CM", delayQuestion, emptyField, 5, 1, false);
    row("arrows and soft keys idle in an entry", "mdi4udtib", delayQuestion, "\r      4 Sekunden", 5, 1, false);

    // The interval, then the scatter, which must be smaller.
    row("C, then a new digit", "mdb12C8", intervalQuestion, "\r      8 Sekunden", 5, 2, false);
    row("interval confirmed", "mdb12C8M", scatterQuestion, emptyField, 5, 3, false, "30/8/50");
    row("soft keys idle in the scatter entry", "mdb60Mtib", scatterQuestion, emptyField, 5, 3, false, "30/60/50");
    row("scatter smaller", "mdb90M30M", shown, pageTwoLegend, 2, 0, false, "30/90/30");
    row("scatter 0 under 1", "mdb1M0M", shown, pageTwoLegend, 2, 0, false, "30/1/0");
    row("scatter equal: refused", "mdb60M60M", intervalQuestion, emptyField, 5, 2, false, "30/60/50", 1);
    row("scatter greater: refused", "mdb60M120M", intervalQuestion, emptyField, 5, 2, false, "30/60/50", 1);
    row("compared by value", "mdb007M10M", intervalQuestion, emptyField, 5, 2, false, "30/7/50", 1);
    row("refused digits are gone", "mdb60M60MM", intervalQuestion, emptyField, 5, 2, false, "30/60/50", 1);
    row("interval 0 admits no scatter", "mdb0M0M", intervalQuestion, emptyField, 5, 2, false, "30/0/50", 1);
    row("until an interval of 1", "mdb0M0M1M0M", shown, pageTwoLegend, 2, 0, false, "30/1/0", 1);

    // The switch beside the top soft key on page 2.
    row("switched off", "mdt", notShown, pageTwoLegend, 2, 0, false, "30/75/50 off");
    row("off, page turned again", "mdtud", notShown, pageTwoLegend, 2, 0, false, "30/75/50 off");
    row("off, after a setting", "mdti5M", notShown, pageTwoLegend, 2, 0, false, "5/75/50 off");
    row("switched on again", "mdtt", shown, pageTwoLegend, 2, 0, false);

    // "Menü" leaves a setting open; the keypad goes on serving it.
    row("entry left", "mdi4m", "Zoo", stopLines, 0, 1, true);
    row("entry left, soft keys idle", "mdi4mtib", "Zoo", stopLines, 0, 1, true);
    row("entry left, digits", "mdi4m2", "Zoo", "\r     42 Sekunden", 0, 1, true);
    row("entry left, completed", "mdi4m2M", shown, pageTwoLegend, 2, 0, true, "42/75/50");
    row("entry left, completed, Menü", "mdi4m2Mm", "Zoo", stopLines, 0, 0, true, "42/75/50");
    // A new entry begun after one left this way starts empty.
    row("entry left, another typed", "mdi4mmdb7", intervalQuestion, "\r      7 Sekunden", 5, 2, false);
    // Left like this, the former scatter stays even though it is too large.
    row("interval in the standard view", "mdbm20M", scatterQuestion, emptyField, 0, 3, true, "30/20/50");
    row("refusal in the standard view", "mdbm40M40M", intervalQuestion, emptyField, 0, 2, true, "30/40/50", 1);
    row("setting pending, Menü", "mdbm40M40Mm", pageOneTitle, pageOneLegend, 1, 2, false, "30/40/50", 1);
    row("setting pending, completed", "mdbm40M40Mm40M9M", shown, pageTwoLegend, 2, 0, false, "30/40/9", 1);

    // No setting typed: the keypad works on the page legend as on stop lines.
    row("page 1, digit and M", "m1M", pageOneTitle, expected("Sie können nur\rZahlen\rübernehmen"), 1, 0, false);
    row("page 1, C", "mC", pageOneTitle, "", 1, 0, false);
}

void TestMenu::keys()
{
    QFETCH(QByteArray, keys);
    QFETCH(QByteArray, label1);
    QFETCH(QByteArray, label3);
    QFETCH(int, page);
    QFETCH(int, entry);
    QFETCH(bool, strip);
    QFETCH(QByteArray, settings);
    QFETCH(int, refusals);

    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.form.CurrentStop = 1;
    u.form.Destination = "Zoo";
    u.press(keys);

    QCOMPARE(u.label1(), label1);
    QCOMPARE(u.label3(), label3);
    QCOMPARE(int(u.form.MenuPage), page);
    QCOMPARE(int(u.form.EntryMode), entry);
    QCOMPARE(u.routeStripShown(), strip ? 9 : 0);
    QCOMPARE(u.settings(), settings);
    // Each refusal is painted, then holds the thread for 2 s.
    QCOMPARE(u.platform.sleeps, std::vector<int>(size_t(refusals), 2000));
    QCOMPARE(u.duringSleep, QList<QByteArrayList>(refusals, QByteArrayList{scatterRefused, QByteArray()}));
    // No key here steps a stop, writes to the sign, starts the fall-back or
    // opens a dialog or the help.
    QCOMPARE(int(u.form.CurrentStop), 1);
    QCOMPARE(litDotCount(u.sign), 0);
    QVERIFY(!u.form.Timer2->Enabled());
    QVERIFY(u.platform.inputCalls.empty());
    QVERIFY(u.platform.fileDialogOffers.empty());
    QVERIFY(u.help.isHidden());
}

void TestMenu::pageOneSoftKeys_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("inputBoxes");
    QTest::addColumn<int>("fileDialogs");
    QTest::addColumn<bool>("help");

    QTest::newRow("top: line and destination") << QByteArray("t") << 2 << 0 << false;
    QTest::newRow("middle: stop data set") << QByteArray("i") << 0 << 1 << false;
    QTest::newRow("bottom: help") << QByteArray("b") << 0 << 0 << true;
}

// Each key hands over to its own dialogue (the boxes and the file dialog
// are cancelled here); the page stays.
void TestMenu::pageOneSoftKeys()
{
    QFETCH(QByteArray, key);
    QFETCH(int, inputBoxes);
    QFETCH(int, fileDialogs);
    QFETCH(bool, help);

    Unit u;
    u.press("m" + key);
    QCOMPARE(int(u.platform.inputCalls.size()), inputBoxes);
    QCOMPARE(int(u.platform.fileDialogOffers.size()), fileDialogs);
    QCOMPARE(u.help.isVisible(), help);
    QCOMPARE(int(u.form.MenuPage), 1);
    QCOMPARE(u.label1(), pageOneTitle);
    QCOMPARE(u.label3(), pageOneLegend);
}

void TestMenu::standardViewBeforeAnyData()
{
    Unit u;
    QCOMPARE(u.routeStripShown(), 0);
    u.press("m");
    QCOMPARE(u.routeStripShown(), 0);
    // The first return shows the strip; no destination, two empty stop lines.
    u.press("m");
    QCOMPARE(u.routeStripShown(), 9);
    QCOMPARE(u.label1(), QByteArray());
    QCOMPARE(u.label3(), QByteArray("\r\r"));
}

void TestMenu::delayOfZeroNeverFallsBack()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.press("mdi0Mm");
    QCOMPARE(u.form.Timer2->Interval(), 0);

    // The stop call starts the fall-back timer, which with no delay never
    // fires: the sign keeps the stop name.
    u.press("d");
    QCOMPARE(u.signText(), QByteArray("Beta"));
    QVERIFY(u.form.Timer2->Enabled());
    QVERIFY(!u.form.Timer2->isTicking());
}

void TestMenu::runningDelay_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("restarted");

    QTest::newRow("shorter delay") << QByteArray("mdi20M") << 20000 << true;
    QTest::newRow("longer delay") << QByteArray("mdi45M") << 45000 << true;
    QTest::newRow("same delay") << QByteArray("mdi30M") << 30000 << false;
    QTest::newRow("same, leading zero") << QByteArray("mdi030M") << 30000 << false;
    // Switching the fall-back off counts from the next stop call on.
    QTest::newRow("switched off") << QByteArray("mdt") << 30000 << false;
}

void TestMenu::runningDelay()
{
    QFETCH(QByteArray, keys);
    QFETCH(int, interval);
    QFETCH(bool, restarted);

    Unit u;
    u.form.Timer2->setEnabled(true);
    // Let a little of the 30 s run off, so that a restart can be told apart.
    QTRY_VERIFY(u.form.Timer2->remainingTime() <= 29850);
    const int before = u.form.Timer2->remainingTime();

    u.press(keys);

    QCOMPARE(u.form.Timer2->Interval(), interval);
    QVERIFY(u.form.Timer2->isTicking());
    const int after = u.form.Timer2->remainingTime();
    if (restarted)
        QVERIFY2(after > interval - 100 && after <= interval, qPrintable(QString::number(after)));
    else
        QVERIFY2(after <= before, qPrintable(QStringLiteral("%1 > %2").arg(after).arg(before)));
}

void TestMenu::menuKeepsStopCallState()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma", "Delta"});
    u.press("mmdd");
    const int markerTop = u.form.Shape7->y();
    QCOMPARE(u.signText(), QByteArray("Gamma"));

    // A stop number half typed is lost on the way through the menu, even
    // with a setting left open; sign and marker stay as they were.
    u.press("C12");
    QCOMPARE(u.label3(), QByteArray("12"));
    u.press("mdi9m");
    QCOMPARE(u.label3(), QByteArray("Gamma\r\rDelta"));
    QCOMPARE(u.form.Shape7->y(), markerTop);
    QCOMPARE(u.signText(), QByteArray("Gamma"));
}

void TestMenu::stopCallFromMenuPage()
{
    Unit u;
    u.loadStops({"Alpha", "Beta", "Gamma"});
    u.press("mC2M");
    QCOMPARE(int(u.form.CurrentStop), 2);
    QCOMPARE(u.label3(), QByteArray("Gamma\r\r"));
    QCOMPARE(u.signText(), QByteArray("Gamma"));
    // The page stays, and with it the hidden strip.
    QCOMPARE(int(u.form.MenuPage), 1);
    QCOMPARE(u.label1(), pageOneTitle);
    QCOMPARE(u.routeStripShown(), 0);
}

QTEST_MAIN(TestMenu)
#include "tst_menu.moc"
