// Stop calls on the control unit: the arrow keys, the stop-number entry and
// "Endstelle" choose a stop; what the sign, the clipboard, the display, the
// route marker and the fall-back timer show afterwards. Timer ticks are fired
// by calling the handler; no test waits for the fall-back delay.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <mouse.h>
#include <signreader.h>
#include <text.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QtTest>

namespace {

const QString Untouched = QStringLiteral("vom Test gesetzt");
const QStringList FourStops{"Aachen", "Bonn", "Celle", "Dorf"};
// In the stop list column: no data set loaded at all.
const QStringList NothingLoaded{QStringLiteral("(nichts geladen)")};
const QString NotANumber = QString::fromUtf8("Sie können nur\rZahlen\rübernehmen");

QString sentence(const QString& name, bool terminus = false)
{
    return QString::fromUtf8("nächste Haltestelle: ") + name
           + (terminus ? QStringLiteral(". Endstelle. Bitte aussteigen") : QString());
}

QString clipboard()
{
    return QGuiApplication::clipboard()->text();
}

QStringList numberedStops(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("Halt %1").arg(i);
    return names;
}

// One control unit with its sign, on a scripted platform installed before
// either window is built.
struct Unit {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    Unit() { QGuiApplication::clipboard()->setText(Untouched); }

    // A loaded data set, as a load leaves it, standing at `current`.
    void setStops(const QStringList& names, int current = 0)
    {
        for (int i = 0; i < names.size(); ++i)
            form.Stops[size_t(i)] = tk::fromQString(names[i]);
        form.StopCount = std::uint8_t(names.size());
        form.CurrentStop = std::uint8_t(current);
        form.StopsLoaded = true;
    }

    QString signText() const { return tk::toQString(readSign(sign)); }
    QString display() const { return tk::toQString(form.Label3->Caption()); }

    // u, d: the arrows; e: "Endstelle"; a: "Anzeige"; 0 to 9, C, M: the keypad.
    void press(const QString& keys)
    {
        using Key = void (TForm2::*)(tk::MouseButton, tk::ShiftState, int, int);
        static const Key digits[] = {&TForm2::Label00MouseDown, &TForm2::Label01MouseDown, &TForm2::Label02MouseDown,
                                     &TForm2::Label03MouseDown, &TForm2::Label04MouseDown, &TForm2::Label05MouseDown,
                                     &TForm2::Label06MouseDown, &TForm2::Label07MouseDown, &TForm2::Label08MouseDown,
                                     &TForm2::Label09MouseDown};
        for (const QChar key : keys) {
            if (key.isDigit()) {
                (form.*digits[key.digitValue()])(tk::MouseButton::Left, {}, 0, 0);
                continue;
            }
            switch (key.toLatin1()) {
            case 'u': form.Shape1MouseDown(); break;
            case 'd': form.Shape2MouseDown(); break;
            case 'e': form.Label9MouseDown(); break;
            case 'a': form.Label6Click(); break;
            case 'C': form.Label0CMouseDown(); break;
            case 'M': form.Label0MClick(); break;
            default: QFAIL("unknown key in test");
            }
        }
    }
};

} // namespace

class TestStopCalls : public QObject {
    Q_OBJECT
private slots:
    // What each key leaves on the display, the marker, the sign and the
    // clipboard. The marker starts off the route strip (140) so that any
    // move shows; the fall-back timer starts stopped and runs afterwards
    // exactly when the call was announced.
    void keys_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("caption"); // Label3 before the keys
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("stop");
        QTest::addColumn<QString>("display");
        QTest::addColumn<int>("marker");
        QTest::addColumn<int>("announced"); // 0 not at all, 1 plainly, 2 with the terminus ending

        const QStringList gap{"Aachen", "Bonn", "", "Dorf"};
        const QString street = QString::fromUtf8("Königstraße");
        const QStringList streets{"Hauptbahnhof", street, QString::fromUtf8("Mühlenweg")};
        const QString longName(40000, u'L'); // longer than a line edit holds by default
        const QStringList ten = numberedStops(10);
        const QStringList fifty = numberedStops(50);
        const QString lines4 = QStringLiteral("Halt 4\r\rHalt 5");
        const QString legend = QStringLiteral("Haltestellensatz laden\r\rHilfe");

        // The arrows.
        QTest::newRow("down") << FourStops << 0 << "" << "d" << 1 << "Bonn\r\rCelle" << 85 << 1;
        QTest::newRow("down twice") << FourStops << 0 << "" << "dd" << 2 << "Celle\r\rDorf" << 107 << 1;
        QTest::newRow("down onto the last stop") << FourStops << 2 << "" << "d" << 3 << "Dorf\r\r" << 130 << 2;
        QTest::newRow("up") << FourStops << 3 << "" << "u" << 2 << "Celle\r\rDorf" << 107 << 1;
        QTest::newRow("up onto the first stop") << FourStops << 1 << "" << "u" << 0 << "Aachen\r\rBonn" << 63 << 2;
        QTest::newRow("umlauts") << streets << 0 << "" << "d" << 1 << street + QString::fromUtf8("\r\rMühlenweg") << 93 << 1;
        QTest::newRow("a name longer than the sign") << QStringList{"Anfang", longName} << 0 << "" << "d" << 1
                                                     << longName + "\r\r" << 107 << 2;
        // An empty line ends the route forwards like the end of the file.
        QTest::newRow("onto the stop before an empty line") << gap << 0 << "" << "d" << 1 << "Bonn\r\r" << 85 << 2;
        QTest::newRow("onto the empty line") << gap << 1 << "" << "d" << 2 << "\r\rDorf" << 107 << 1;
        // Backwards only the first stop is a terminus.
        QTest::newRow("up onto the stop before an empty line") << gap << 2 << "" << "u" << 1 << "Bonn\r\r" << 85 << 1;
        QTest::newRow("up at the first stop") << FourStops << 0 << "x" << "u" << 0 << "x" << 140 << 0;
        QTest::newRow("down at the last stop") << FourStops << 3 << "x" << "d" << 3 << "x" << 140 << 0;
        QTest::newRow("down at the only stop") << QStringList{"Aachen"} << 0 << "x" << "d" << 0 << "x" << 140 << 0;

        // The display switch gates the arrows and the number, not "Endstelle".
        QTest::newRow("switch alone") << FourStops << 1 << "" << "a" << 1 << "" << 140 << 0;
        QTest::newRow("switch off: down") << FourStops << 1 << "" << "ad" << 2 << "Celle\r\rDorf" << 107 << 0;
        QTest::newRow("switch off: up") << FourStops << 1 << "" << "au" << 0 << "Aachen\r\rBonn" << 63 << 0;
        QTest::newRow("switch off: number") << FourStops << 1 << "" << "aC3M" << 3 << "Dorf\r\r" << 130 << 0;
        QTest::newRow("switch off: Endstelle") << FourStops << 1 << "" << "ae" << 3 << "Dorf\r\r" << 140 << 1;
        QTest::newRow("switch off and on: down") << FourStops << 1 << "" << "aad" << 2 << "Celle\r\rDorf" << 107 << 1;

        // "Endstelle": to the last stop, from there to the first, never
        // with the ending, never moving the marker.
        QTest::newRow("Endstelle") << FourStops << 2 << "" << "e" << 3 << "Dorf\r\r" << 140 << 1;
        QTest::newRow("Endstelle at the last stop") << FourStops << 3 << "" << "e" << 0 << "Aachen\r\rBonn" << 140 << 1;
        QTest::newRow("Endstelle twice") << FourStops << 2 << "" << "ee" << 0 << "Aachen\r\rBonn" << 140 << 1;
        QTest::newRow("Endstelle thrice") << FourStops << 2 << "" << "eee" << 3 << "Dorf\r\r" << 140 << 1;
        QTest::newRow("Endstelle, single stop") << QStringList{"Aachen"} << 0 << "" << "ee" << 0 << "Aachen\r\r" << 140 << 1;

        // Every key with the switch either way: nothing may be called, nor
        // anything read outside the list (run under the sanitizers too).
        QTest::newRow("nothing loaded") << NothingLoaded << 0 << "0" << "udeMaudeMa" << 0 << "0" << 140 << 0;
        QTest::newRow("empty set loaded") << QStringList{} << 0 << "0" << "udeeMaudeeMa" << 0 << "0" << 140 << 0;

        // The number entry.
        QTest::newRow("leading zeros") << ten << 4 << "" << "0007M" << 7 << "Halt 7\r\rHalt 8" << 125 << 1;
        QTest::newRow("0 is the first stop, no ending") << ten << 4 << "" << "0M" << 0 << "Halt 0\r\rHalt 1" << 63 << 1;
        QTest::newRow("the last stop, no ending") << ten << 4 << "" << "9M" << 9 << "Halt 9\r\r" << 143 << 1;
        QTest::newRow("C, then the number") << ten << 4 << lines4 << "C12M" << 4 << "12" << 140 << 0;
        QTest::newRow("C, then a stop") << ten << 4 << lines4 << "C6M" << 6 << "Halt 6\r\rHalt 7" << 116 << 1;
        QTest::newRow("digits over the stop lines") << ten << 4 << lines4 << "6" << 4 << lines4 << 140 << 0;
        QTest::newRow("stop lines are no number") << ten << 4 << lines4 << "M" << 4 << NotANumber << 140 << 0;
        QTest::newRow("a fifth digit is ignored") << fifty << 4 << "" << "12345" << 4 << "1234" << 140 << 0;
        QTest::newRow("300 of 50") << fifty << 4 << "" << "300M" << 4 << "300" << 140 << 0;
        QTest::newRow("50 of 50") << fifty << 4 << "" << "50M" << 4 << "50" << 140 << 0;
        QTest::newRow("49 of 50") << fifty << 4 << "" << "49M" << 49 << "Halt 49\r\r" << 150 << 1;
        QTest::newRow("9999 of 99") << numberedStops(99) << 4 << "" << "9999M" << 4 << "9999" << 140 << 0;
        QTest::newRow("number, nothing loaded") << NothingLoaded << 0 << "" << "3M" << 0 << "3" << 140 << 0;
        QTest::newRow("no number, nothing loaded") << NothingLoaded << 0 << "" << "M" << 0 << NotANumber << 140 << 0;
        QTest::newRow("empty") << ten << 4 << "" << "M" << 4 << NotANumber << 140 << 0;
        for (const char* caption : {"Ab1", "+7", "-0", " 7", "7 ", "7\r"})
            QTest::addRow("no number: \"%s\"", caption) << ten << 4 << caption << "M" << 4 << NotANumber << 140 << 0;
        QTest::newRow("M on the menu legend") << ten << 4 << legend << "M" << 4 << NotANumber << 140 << 0;
        QTest::newRow("C on the menu legend") << ten << 4 << legend << "C" << 4 << "" << 140 << 0;
        QTest::newRow("after the message") << ten << 4 << NotANumber << "3C3M" << 3 << "Halt 3\r\rHalt 4" << 90 << 1;
        // Longer captions than the keys can type must not overflow.
        QTest::newRow("twenty nines") << ten << 4 << "99999999999999999999" << "M" << 4 << "99999999999999999999" << 140 << 0;
        QTest::newRow("twenty digits, value 7") << ten << 4 << "00000000000000000007" << "M" << 7 << "Halt 7\r\rHalt 8" << 125 << 1;
    }

    void keys()
    {
        QFETCH(QStringList, names);
        QFETCH(int, start);
        QFETCH(QString, caption);
        QFETCH(QString, keys);
        QFETCH(int, stop);
        QFETCH(int, announced);
        Unit unit;
        if (names != NothingLoaded)
            unit.setStops(names, start);
        unit.sign.schreib("Vorher"); // what a call would replace
        unit.form.Label3->setCaption(tk::fromQString(caption));
        unit.form.Shape7->move(229, 140);

        unit.press(keys);

        QCOMPARE(int(unit.form.CurrentStop), stop);
        QTEST(unit.display(), "display");
        QTEST(unit.form.Shape7->y(), "marker");
        QCOMPARE(unit.form.Label6->FontColor(), keys.count(u'a') % 2 ? tk::clBlack : tk::clWhite);
        // The sign shows the first 20 characters of a longer name.
        QCOMPARE(unit.signText(), announced ? names[stop].left(20) : QStringLiteral("Vorher"));
        QCOMPARE(clipboard(), announced ? sentence(names[stop], announced == 2) : Untouched);
        QVERIFY(unit.form.Edit1->text().isEmpty());
        QCOMPARE(unit.form.Timer2->Enabled(), announced != 0);
    }

    void fallBackTimerAfterEachKindOfCall_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("showLineDestination");
        QTest::addColumn<bool>("runningBefore");
        QTest::addColumn<bool>("runningAfter");
        QTest::addColumn<bool>("freshDelay");

        // The arrows restart the delay in full, or stop it when no fall-back
        // is wanted.
        for (const char* arrow : {"u", "d"}) {
            QTest::addRow("%s, running", arrow) << arrow << true << true << true << true;
            QTest::addRow("%s, stopped", arrow) << arrow << true << false << true << true;
            QTest::addRow("%s, running, no fall-back", arrow) << arrow << false << true << false << false;
            QTest::addRow("%s, stopped, no fall-back", arrow) << arrow << false << false << false << false;
        }
        // The number only starts it, and never stops it.
        QTest::newRow("number, running") << "C2M" << true << true << true << false;
        QTest::newRow("number, stopped") << "C2M" << true << false << true << true;
        QTest::newRow("number, running, no fall-back") << "C2M" << false << true << true << false;
        QTest::newRow("number, stopped, no fall-back") << "C2M" << false << false << false << false;
        // "Endstelle" starts it whatever the setting says.
        QTest::newRow("Endstelle, running") << "e" << true << true << true << false;
        QTest::newRow("Endstelle, running, no fall-back") << "e" << false << true << true << false;
        QTest::newRow("Endstelle, stopped, no fall-back") << "e" << false << false << true << true;
        // With the display switch off the gated keys leave the timer alone.
        QTest::newRow("switch alone, running") << "a" << true << true << true << false;
        QTest::newRow("switch off, down, running") << "ad" << true << true << true << false;
        QTest::newRow("switch off, up, running") << "au" << true << true << true << false;
        // A press that finds no stop to go to leaves the delay running.
        QTest::newRow("up at the first stop, running") << "uu" << true << true << true << true;
        QTest::newRow("down at the last stop, running") << "ddd" << true << true << true << true;
        QTest::newRow("switch off, Endstelle, stopped, no fall-back") << "ae" << false << false << true << true;
        QTest::newRow("number beyond the set, running") << "C9M" << true << true << true << false;
    }

    void fallBackTimerAfterEachKindOfCall()
    {
        QFETCH(QString, keys);
        QFETCH(bool, showLineDestination);
        QFETCH(bool, runningBefore);
        QFETCH(bool, runningAfter);
        QFETCH(bool, freshDelay);
        Unit unit;
        unit.setStops(FourStops, 1);
        unit.form.ShowLineDestination = showLineDestination;
        unit.form.Timer2->setInterval(12000);
        // Let some of the countdown pass, so that a restart can be told from
        // a countdown that goes on.
        unit.form.Timer2->setEnabled(runningBefore);
        if (runningBefore)
            QVERIFY(QTest::qWaitFor([&] { return unit.form.Timer2->remainingTime() < 11800; }));
        const int before = unit.form.Timer2->remainingTime();

        unit.press(keys);

        QCOMPARE(unit.form.Timer2->Enabled(), runningAfter);
        QCOMPARE(unit.form.Timer2->isTicking(), runningAfter);
        QCOMPARE(unit.form.Timer2->Interval(), 12000);
        if (runningAfter && freshDelay)
            QVERIFY2(unit.form.Timer2->remainingTime() > before, "the delay should begin anew");
        else if (runningAfter)
            QVERIFY2(unit.form.Timer2->remainingTime() <= before, "the countdown should go on");
    }

    // Once per start, whatever the display switch says; with nothing entered
    // the sign stays blank.
    void theFallBackWritesLineAndDestinationOnce()
    {
        const QString lineDestination = QString::fromUtf8("  7 Königstraße");
        for (const auto& [text, keys] : {std::pair{lineDestination, "d"}, {lineDestination, "ad"}, {QString(), "d"}}) {
            Unit unit;
            unit.setStops(FourStops);
            unit.form.LineDestinationText = tk::fromQString(text);
            unit.press(keys);
            unit.form.Timer2->setEnabled(true);

            unit.form.Timer2Timer();

            QCOMPARE(unit.signText(), text);
            QVERIFY(!unit.form.Timer2->Enabled());
            QCOMPARE(unit.display(), QStringLiteral("Bonn\r\rCelle"));
        }
    }

    // On a menu page "Endstelle" replaces the menu text by the stop lines
    // and leaves the page and the title as they are.
    void endstelleOnTheMenu()
    {
        for (const auto& [page, entryMode] : {std::pair{1, 0}, std::pair{2, 0}, std::pair{5, 1}}) {
            Unit unit;
            unit.setStops(FourStops);
            unit.form.MenuPage = std::uint8_t(page);
            unit.form.EntryMode = std::uint8_t(entryMode);
            unit.form.Label1->setCaption("Titel");
            unit.form.Label3->setCaption("Hilfe");

            unit.press("e");

            QCOMPARE(unit.display(), QStringLiteral("Dorf\r\r"));
            QCOMPARE(int(unit.form.MenuPage), page);
            QCOMPARE(int(unit.form.EntryMode), entryMode);
            QCOMPARE(unit.form.Label1->Caption(), tk::Text("Titel"));
            QCOMPARE(unit.signText(), QStringLiteral("Dorf"));
            QCOMPARE(clipboard(), sentence("Dorf"));
        }
    }

    // The window system delivers a double click as press, release, a second
    // press flagged as double, release: the down arrow acts on both presses.
    void aDoubleClickOnTheDownArrowStepsTwice()
    {
        Unit unit;
        unit.setStops(FourStops);
        clickControl(unit.form.Shape2, true);
        QCOMPARE(int(unit.form.CurrentStop), 2);
        QCOMPARE(unit.signText(), QStringLiteral("Celle"));
        QCOMPARE(clipboard(), sentence("Celle"));
        QCOMPARE(unit.form.Shape7->y(), 107);
    }
};

QTEST_MAIN(TestStopCalls)
#include "tst_stopcalls.moc"
