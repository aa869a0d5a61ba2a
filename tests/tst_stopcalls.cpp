// Stop calls on the control unit: the arrow keys, the stop-number entry and
// "Endstelle" choose a stop; what the sign, the clipboard, the display, the
// route marker and the fall-back timer show afterwards. Timer ticks are fired
// by calling the handler; no test waits for the fall-back delay.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <signreader.h>
#include <text.h>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QtTest>

namespace {

const QString Untouched = QStringLiteral("vom Test gesetzt");

QString sentence(const char* utf8Name, bool terminus = false)
{
    tk::Text text = tk::fromUtf8("nächste Haltestelle: ") + tk::fromUtf8(utf8Name);
    if (terminus)
        text += ". Endstelle. Bitte aussteigen";
    return tk::toQString(text);
}

QString notANumber()
{
    return tk::toQString(tk::fromUtf8("Sie können nur\rZahlen\rübernehmen"));
}

QString clipboard()
{
    return QGuiApplication::clipboard()->text();
}

const QStringList FourStops{"Aachen", "Bonn", "Celle", "Dorf"};

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
        for (tk::Text& name : form.Stops)
            name.clear();
        for (int i = 0; i < names.size(); ++i)
            form.Stops[size_t(i)] = tk::fromQString(names[i]);
        form.StopCount = std::uint8_t(names.size());
        form.CurrentStop = std::uint8_t(current);
        form.StopsLoaded = true;
    }

    // Something on the sign that a stop call would replace.
    void writeOnSign(const char* text)
    {
        sign.Reset1->trigger();
        sign.schreib(text);
    }

    QString signText() const { return tk::toQString(readSign(sign)); }
    QString display() const { return tk::toQString(form.Label3->Caption()); }

    // u, d: the arrows; e: "Endstelle"; 0 to 9, C, M: the keypad.
    void press(const QString& keys)
    {
        for (const QChar key : keys) {
            switch (key.toLatin1()) {
            case 'u': form.Shape1MouseDown(); break;
            case 'd': form.Shape2MouseDown(); break;
            case 'e': form.Label9MouseDown(); break;
            case 'C': form.Label0CMouseDown(); break;
            case 'M': form.Label0MClick(); break;
            case '1': form.Label01MouseDown(); break;
            case '2': form.Label02MouseDown(); break;
            case '3': form.Label03MouseDown(); break;
            case '4': form.Label04MouseDown(); break;
            case '5': form.Label05MouseDown(); break;
            case '6': form.Label06MouseDown(); break;
            case '7': form.Label07MouseDown(); break;
            case '8': form.Label08MouseDown(); break;
            case '9': form.Label09MouseDown(); break;
            case '0': form.Label00MouseDown(); break;
            default: QFAIL("unknown key in test");
            }
        }
    }

    // Starts the fall-back timer and lets some of its countdown pass, so that
    // a restart can be told from a countdown that goes on.
    bool startFallBackAndLetItRun()
    {
        form.Timer2->setEnabled(true);
        return QTest::qWaitFor([this] { return form.Timer2->remainingTime() < form.Timer2->Interval() - 200; });
    }
};

// The mouse events the window system really sends, straight to a control.
void sendMouse(QWidget* widget, QEvent::Type type, QPoint pos)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

} // namespace

class TestStopCalls : public QObject {
    Q_OBJECT
private slots:
    void arrowsCallTheNextAndPreviousStop_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("stop");
        QTest::addColumn<QString>("sign");
        QTest::addColumn<QString>("announcement");
        QTest::addColumn<QString>("display");
        QTest::addColumn<int>("marker");

        QTest::newRow("down") << FourStops << 0 << "d" << 1 << "Bonn" << sentence("Bonn") << "Bonn\r\rCelle" << 85;
        QTest::newRow("down twice") << FourStops << 0 << "dd" << 2 << "Celle" << sentence("Celle") << "Celle\r\rDorf" << 107;
        QTest::newRow("down onto the last stop")
            << FourStops << 2 << "d" << 3 << "Dorf" << sentence("Dorf", true) << "Dorf\r\r" << 130;
        QTest::newRow("up") << FourStops << 3 << "u" << 2 << "Celle" << sentence("Celle") << "Celle\r\rDorf" << 107;
        QTest::newRow("up onto the first stop")
            << FourStops << 1 << "u" << 0 << "Aachen" << sentence("Aachen", true) << "Aachen\r\rBonn" << 63;
        QTest::newRow("umlauts")
            << QStringList{"Hauptbahnhof", QString::fromUtf8("Königstraße"), QString::fromUtf8("Mühlenweg")} << 0
            << "d" << 1 << QString::fromUtf8("Königstraße") << sentence("Königstraße")
            << QString::fromUtf8("Königstraße\r\rMühlenweg") << 63 + 30;
        QTest::newRow("a name longer than the sign")
            << QStringList{"Busbahnhof", QString::fromUtf8("Kreiskrankenhaus Süd Haupteingang"), "Schule"} << 0
            << "d" << 1 << QString::fromUtf8("Kreiskrankenhaus Süd") << sentence("Kreiskrankenhaus Süd Haupteingang")
            << QString::fromUtf8("Kreiskrankenhaus Süd Haupteingang\r\rSchule") << 63 + 30;
        // An empty line ends the route forwards like the end of the file.
        const QStringList withGap{"Aachen", "Bonn", "", "Dorf"};
        QTest::newRow("onto the stop before an empty line")
            << withGap << 0 << "d" << 1 << "Bonn" << sentence("Bonn", true) << "Bonn\r\r" << 85;
        QTest::newRow("onto the empty line") << withGap << 1 << "d" << 2 << "" << sentence("") << "\r\rDorf" << 107;
        QTest::newRow("past the empty line") << withGap << 2 << "d" << 3 << "Dorf" << sentence("Dorf", true) << "Dorf\r\r" << 130;
    }

    void arrowsCallTheNextAndPreviousStop()
    {
        QFETCH(QStringList, names);
        QFETCH(int, start);
        QFETCH(QString, keys);
        Unit unit;
        unit.setStops(names, start);
        unit.writeOnSign("Vorher");
        unit.press(keys);
        QTEST(int(unit.form.CurrentStop), "stop");
        QTEST(unit.signText(), "sign");
        QTEST(clipboard(), "announcement");
        QVERIFY(unit.form.Edit1->text().isEmpty());
        QTEST(unit.display(), "display");
        QTEST(unit.form.Shape7->y(), "marker");
        QCOMPARE(unit.form.Shape7->x(), 229);
    }

    void theMarkerFollowsTheStop_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("tops");
        QTest::newRow("1 stop") << 1 << QList<int>{63};
        QTest::newRow("2 stops, 44.5 rounds to even") << 2 << QList<int>{63, 107};
        QTest::newRow("4 stops") << 4 << QList<int>{63, 85, 107, 130};
        QTest::newRow("7 stops") << 7 << QList<int>{63, 76, 88, 101, 114, 127, 139};
    }

    void theMarkerFollowsTheStop()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, tops);
        QStringList names;
        for (int i = 0; i < count; ++i)
            names << QStringLiteral("Halt %1").arg(i);
        Unit unit;
        unit.setStops(names);
        QList<int> down{unit.form.Shape7->y()};
        for (int i = 1; i < count; ++i) {
            unit.press("d");
            down << unit.form.Shape7->y();
        }
        QCOMPARE(down, tops);
        QList<int> up;
        for (int i = 1; i < count; ++i) {
            unit.press("u");
            up.prepend(unit.form.Shape7->y());
        }
        up << tops.last();
        QCOMPARE(up, tops);
    }

    void keysThatFindNothingChangeNothing_data()
    {
        QTest::addColumn<QStringList>("names"); // empty: no set loaded
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("keys");

        QTest::newRow("up at the first stop") << FourStops << true << 0 << "x" << "u";
        QTest::newRow("down at the last stop") << FourStops << true << 3 << "x" << "d";
        QTest::newRow("down at the only stop") << QStringList{"Aachen"} << true << 0 << "x" << "d";
        QTest::newRow("number beyond the set") << FourStops << true << 1 << "4" << "M";
        QTest::newRow("nothing loaded: arrows") << QStringList{} << false << 0 << "x" << "udud";
        QTest::newRow("nothing loaded: Endstelle") << QStringList{} << false << 0 << "x" << "e";
        QTest::newRow("nothing loaded: number") << QStringList{} << false << 0 << "0" << "M";
        QTest::newRow("empty set: arrows") << QStringList{} << true << 0 << "x" << "udud";
        QTest::newRow("empty set: Endstelle") << QStringList{} << true << 0 << "x" << "ee";
        QTest::newRow("empty set: number") << QStringList{} << true << 0 << "0" << "M";
    }

    void keysThatFindNothingChangeNothing()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, loaded);
        QFETCH(int, start);
        QFETCH(QString, caption);
        QFETCH(QString, keys);
        Unit unit;
        if (loaded)
            unit.setStops(names, start);
        unit.writeOnSign("Vorher");
        unit.form.Label3->setCaption(tk::fromQString(caption));
        unit.form.Shape7->move(229, 140);
        QVERIFY(unit.startFallBackAndLetItRun());
        const int remaining = unit.form.Timer2->remainingTime();

        unit.press(keys);

        QCOMPARE(int(unit.form.CurrentStop), start);
        QCOMPARE(unit.signText(), QStringLiteral("Vorher"));
        QCOMPARE(clipboard(), Untouched);
        QCOMPARE(unit.display(), caption);
        QCOMPARE(unit.form.Shape7->y(), 140);
        QVERIFY(unit.form.Timer2->Enabled());
        QVERIFY(unit.form.Timer2->remainingTime() <= remaining);
        QCOMPARE(unit.form.Timer2->Interval(), 30000);
        QVERIFY(unit.platform.errors.empty());
    }

    // An empty data set with every key: nothing may read outside the list
    // (run under the sanitizers too).
    void everyKeyOnAnEmptySet()
    {
        Unit unit;
        unit.setStops({});
        unit.form.Stops[1] = "nie gelesen"; // would show if the list were read past its end
        unit.form.LineDestinationText = "  7 Zentrum";
        unit.writeOnSign("Vorher");
        unit.form.Label3->setCaption("x");
        unit.press("udeeud");
        QCOMPARE(unit.display(), QStringLiteral("x"));
        unit.press("C0M123456789M");
        QCOMPARE(unit.display(), QStringLiteral("0123"));
        unit.press("CM");
        QCOMPARE(unit.display(), notANumber());
        unit.form.Label6Click();
        unit.press("ud0M");
        unit.form.Label6Click();
        QCOMPARE(int(unit.form.CurrentStop), 0);
        QCOMPARE(int(unit.form.StopCount), 0);
        QCOMPARE(unit.signText(), QStringLiteral("Vorher"));
        QCOMPARE(clipboard(), Untouched);
        QVERIFY(!unit.form.Timer2->Enabled());
        unit.form.Timer2Timer();
        QCOMPARE(unit.signText(), QStringLiteral("  7 Zentrum"));
    }

    void fallBackTimerAfterEachKindOfCall_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("showLineDestination");
        QTest::addColumn<bool>("runningBefore");
        QTest::addColumn<bool>("runningAfter");
        QTest::addColumn<bool>("freshDelay");

        for (const char* arrow : {"u", "d"}) {
            const QByteArray name = arrow[0] == 'u' ? "up" : "down";
            QTest::newRow((name + ", running").constData()) << arrow << true << true << true << true;
            QTest::newRow((name + ", stopped").constData()) << arrow << true << false << true << true;
            QTest::newRow((name + ", running, no fall-back").constData()) << arrow << false << true << false << false;
            QTest::newRow((name + ", stopped, no fall-back").constData()) << arrow << false << false << false << false;
        }
        QTest::newRow("number, running") << "C2M" << true << true << true << false;
        QTest::newRow("number, stopped") << "C2M" << true << false << true << true;
        QTest::newRow("number, running, no fall-back") << "C2M" << false << true << true << false;
        QTest::newRow("number, stopped, no fall-back") << "C2M" << false << false << false << false;
        QTest::newRow("Endstelle, running") << "e" << true << true << true << false;
        QTest::newRow("Endstelle, stopped") << "e" << true << false << true << true;
        QTest::newRow("Endstelle, running, no fall-back") << "e" << false << true << true << false;
        QTest::newRow("Endstelle, stopped, no fall-back") << "e" << false << false << true << true;
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
        if (runningBefore)
            QVERIFY(unit.startFallBackAndLetItRun());
        const int before = unit.form.Timer2->remainingTime();

        unit.press(keys);

        QVERIFY(unit.form.CurrentStop != 1);
        QCOMPARE(unit.form.Timer2->Enabled(), runningAfter);
        QCOMPARE(unit.form.Timer2->isTicking(), runningAfter);
        QCOMPARE(unit.form.Timer2->Interval(), 12000);
        if (!runningAfter)
            return;
        const int after = unit.form.Timer2->remainingTime();
        if (freshDelay)
            QVERIFY2(after > before, qPrintable(QStringLiteral("%1 ms left").arg(after)));
        else
            QVERIFY2(after <= before, qPrintable(QStringLiteral("%1 ms left of %2").arg(after).arg(before)));
    }

    void theFallBackWritesLineAndDestinationOnce_data()
    {
        QTest::addColumn<QString>("lineDestination");
        QTest::addColumn<bool>("displaySwitch");
        QTest::newRow("line and destination") << QString::fromUtf8("  7 Königstraße") << true;
        QTest::newRow("display switch off") << QString::fromUtf8("  7 Königstraße") << false;
        QTest::newRow("nothing entered") << QString() << true;
    }

    void theFallBackWritesLineAndDestinationOnce()
    {
        QFETCH(QString, lineDestination);
        QFETCH(bool, displaySwitch);
        Unit unit;
        unit.setStops(FourStops);
        unit.form.LineDestinationText = tk::fromQString(lineDestination);
        if (!displaySwitch)
            unit.form.Label6Click();
        unit.form.Timer2->setInterval(8000);
        unit.press("d");
        QCOMPARE(unit.signText(), displaySwitch ? QStringLiteral("Bonn") : QString());
        unit.form.Timer2->setEnabled(true);

        unit.form.Timer2Timer();

        QCOMPARE(unit.signText(), lineDestination);
        QVERIFY(!unit.form.Timer2->Enabled());
        QCOMPARE(unit.form.Timer2->Interval(), 8000);
        QCOMPARE(unit.display(), QStringLiteral("Bonn\r\rCelle"));
    }

    void theDisplaySwitchGatesArrowsAndNumbers()
    {
        Unit unit;
        TForm2& form = unit.form;
        unit.setStops(FourStops);
        form.LineDestinationText = "  7 Zentrum";
        unit.writeOnSign("Vorher");
        QVERIFY(unit.startFallBackAndLetItRun());
        const int remaining = form.Timer2->remainingTime();

        form.Label6Click();
        QCOMPARE(form.Label6->FontColor(), tk::clBlack);
        // Switching changes nothing else.
        QCOMPARE(unit.signText(), QStringLiteral("Vorher"));
        QVERIFY(form.Timer2->Enabled());

        unit.press("d");
        QCOMPARE(int(form.CurrentStop), 1);
        QCOMPARE(unit.display(), QStringLiteral("Bonn\r\rCelle"));
        QCOMPARE(form.Shape7->y(), 85);
        unit.press("C3M");
        QCOMPARE(int(form.CurrentStop), 3);
        QCOMPARE(unit.display(), QStringLiteral("Dorf\r\r"));
        QCOMPARE(form.Shape7->y(), 130);
        unit.press("u");
        QCOMPARE(int(form.CurrentStop), 2);
        QCOMPARE(form.Shape7->y(), 107);

        QCOMPARE(unit.signText(), QStringLiteral("Vorher"));
        QCOMPARE(clipboard(), Untouched);
        QVERIFY(form.Timer2->Enabled());
        QVERIFY(form.Timer2->remainingTime() <= remaining);

        // The delay that was already running still falls back.
        form.Timer2Timer();
        QCOMPARE(unit.signText(), QStringLiteral("  7 Zentrum"));
        QVERIFY(!form.Timer2->Enabled());

        form.Label6Click();
        QCOMPARE(form.Label6->FontColor(), tk::clWhite);
        unit.press("u");
        QCOMPARE(unit.signText(), QStringLiteral("Bonn"));
        QCOMPARE(clipboard(), sentence("Bonn"));
    }

    void endstelleIgnoresTheSwitchAndAlwaysFallsBack()
    {
        Unit unit;
        TForm2& form = unit.form;
        unit.setStops(FourStops, 1);
        form.LineDestinationText = "  7 Zentrum";
        form.Label6Click();
        form.ShowLineDestination = false;
        form.Shape7->move(229, 85);

        unit.press("e");

        QCOMPARE(int(form.CurrentStop), 3);
        QCOMPARE(unit.signText(), QStringLiteral("Dorf"));
        QCOMPARE(clipboard(), sentence("Dorf"));
        QCOMPARE(unit.display(), QStringLiteral("Dorf\r\r"));
        QCOMPARE(form.Shape7->y(), 85);
        QVERIFY(form.Timer2->Enabled());
        QVERIFY(form.Timer2->isTicking());

        form.Timer2Timer();
        QCOMPARE(unit.signText(), QStringLiteral("  7 Zentrum"));
        QVERIFY(!form.Timer2->Enabled());
    }

    void endstelleGoesBackAndForth()
    {
        Unit unit;
        TForm2& form = unit.form;
        unit.setStops(FourStops, 2);
        form.Shape7->move(229, 107);
        const struct {
            int stop;
            const char* name;
            const char* display;
        } expected[] = {{3, "Dorf", "Dorf\r\r"}, {0, "Aachen", "Aachen\r\rBonn"}, {3, "Dorf", "Dorf\r\r"}};
        for (const auto& step : expected) {
            unit.press("e");
            QCOMPARE(int(form.CurrentStop), step.stop);
            QCOMPARE(unit.signText(), QString::fromUtf8(step.name));
            // The terminus key never adds the terminus ending.
            QCOMPARE(clipboard(), sentence(step.name));
            QCOMPARE(unit.display(), QString::fromUtf8(step.display));
            QCOMPARE(form.Shape7->y(), 107);
        }

        Unit single;
        single.setStops({"Aachen"});
        single.press("ee");
        QCOMPARE(int(single.form.CurrentStop), 0);
        QCOMPARE(single.signText(), QStringLiteral("Aachen"));
        QCOMPARE(clipboard(), sentence("Aachen"));
    }

    void endstelleOnTheMenu_data()
    {
        QTest::addColumn<int>("menuPage");
        QTest::addColumn<int>("entryMode");
        QTest::addColumn<QString>("legend");
        QTest::newRow("page 1") << 1 << 0 << "Haltestellensatz laden\r\rHilfe";
        QTest::newRow("page 2") << 2 << 0 << "Timer Linie / Ziel einstell.\r\rTimer Automatik einstellen";
        QTest::newRow("typing a setting") << 5 << 1 << "\r     __ Sekunden";
    }

    void endstelleOnTheMenu()
    {
        QFETCH(int, menuPage);
        QFETCH(int, entryMode);
        QFETCH(QString, legend);
        Unit unit;
        TForm2& form = unit.form;
        unit.setStops(FourStops);
        form.MenuPage = std::uint8_t(menuPage);
        form.EntryMode = std::uint8_t(entryMode);
        form.Label1->setCaption("Titel");
        form.Label3->setCaption(tk::fromQString(legend));

        unit.press("e");

        QCOMPARE(unit.display(), QStringLiteral("Dorf\r\r"));
        QCOMPARE(int(form.MenuPage), menuPage);
        QCOMPARE(int(form.EntryMode), entryMode);
        QCOMPARE(form.Label1->Caption(), tk::Text("Titel"));
        QCOMPARE(form.Shape7->y(), 63);
        QCOMPARE(unit.signText(), QStringLiteral("Dorf"));
        QCOMPARE(clipboard(), sentence("Dorf"));
    }

    void numberEntry_data()
    {
        QTest::addColumn<int>("count"); // -1: nothing loaded
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("stop");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("announcement");

        const QString lines4 = QStringLiteral("Halt 4\r\rHalt 5");
        QTest::newRow("leading zeros") << 10 << "" << "0007M" << 7 << "Halt 7\r\rHalt 8" << sentence("Halt 7");
        QTest::newRow("0 is the first stop") << 10 << "" << "0M" << 0 << "Halt 0\r\rHalt 1" << sentence("Halt 0");
        QTest::newRow("the last stop, no ending") << 10 << "" << "9M" << 9 << "Halt 9\r\r" << sentence("Halt 9");
        QTest::newRow("C, then the number") << 10 << lines4 << "C12M" << 4 << "12" << Untouched;
        QTest::newRow("C, then a stop") << 10 << lines4 << "C6M" << 6 << "Halt 6\r\rHalt 7" << sentence("Halt 6");
        QTest::newRow("digits over the stop lines") << 10 << lines4 << "6" << 4 << lines4 << Untouched;
        QTest::newRow("stop lines are no number") << 10 << lines4 << "M" << 4 << notANumber() << Untouched;
        QTest::newRow("a fifth digit is ignored") << 50 << "" << "12345" << 4 << "1234" << Untouched;
        QTest::newRow("300 of 50") << 50 << "" << "300M" << 4 << "300" << Untouched;
        QTest::newRow("50 of 50") << 50 << "" << "50M" << 4 << "50" << Untouched;
        QTest::newRow("49 of 50") << 50 << "" << "49M" << 49 << "Halt 49\r\r" << sentence("Halt 49");
        QTest::newRow("9999 of 99") << 99 << "" << "9999M" << 4 << "9999" << Untouched;
        QTest::newRow("nothing loaded") << -1 << "" << "3M" << 0 << "3" << Untouched;
        QTest::newRow("nothing loaded, no number") << -1 << "" << "M" << 0 << notANumber() << Untouched;
        QTest::newRow("empty") << 10 << "" << "M" << 4 << notANumber() << Untouched;
        QTest::newRow("letters") << 10 << "Ab1" << "M" << 4 << notANumber() << Untouched;
        QTest::newRow("plus sign") << 10 << "+7" << "M" << 4 << notANumber() << Untouched;
        QTest::newRow("minus sign") << 10 << "-0" << "M" << 4 << notANumber() << Untouched;
        QTest::newRow("leading blank") << 10 << " 7" << "M" << 4 << notANumber() << Untouched;
        QTest::newRow("trailing blank") << 10 << "7 " << "M" << 4 << notANumber() << Untouched;
        QTest::newRow("line break") << 10 << "7\r" << "M" << 4 << notANumber() << Untouched;
        QTest::newRow("menu legend") << 10 << "Haltestellensatz laden\r\rHilfe" << "M" << 4 << notANumber() << Untouched;
        QTest::newRow("C on the menu legend") << 10 << "Haltestellensatz laden\r\rHilfe" << "C" << 4 << "" << Untouched;
        QTest::newRow("after the message") << 10 << notANumber() << "3C3M" << 3 << "Halt 3\r\rHalt 4" << sentence("Halt 3");
        // Longer captions than the keys can type must not overflow.
        QTest::newRow("twenty nines") << 10 << "99999999999999999999" << "M" << 4 << "99999999999999999999" << Untouched;
        QTest::newRow("twenty digits, value 7") << 10 << "00000000000000000007" << "M" << 7 << "Halt 7\r\rHalt 8" << sentence("Halt 7");
    }

    void numberEntry()
    {
        QFETCH(int, count);
        QFETCH(QString, caption);
        QFETCH(QString, keys);
        QFETCH(int, stop);
        Unit unit;
        if (count >= 0) {
            QStringList names;
            for (int i = 0; i < count; ++i)
                names << QStringLiteral("Halt %1").arg(i);
            unit.setStops(names, 4);
        }
        unit.form.Label3->setCaption(tk::fromQString(caption));
        unit.writeOnSign("Vorher");

        unit.press(keys);

        QCOMPARE(int(unit.form.CurrentStop), stop);
        QTEST(unit.display(), "display");
        QTEST(clipboard(), "announcement");
        const bool called = clipboard() != Untouched;
        QCOMPARE(unit.signText(), called ? QStringLiteral("Halt %1").arg(stop) : QStringLiteral("Vorher"));
        QCOMPARE(unit.form.Timer2->Enabled(), called);
    }

    void aVeryLongNameReachesTheClipboardWhole()
    {
        Unit unit;
        const QString name(40000, u'L');
        unit.setStops({"Anfang", name});
        unit.press("d");
        QCOMPARE(clipboard(), sentence("") + name + ". Endstelle. Bitte aussteigen");
        QVERIFY(unit.form.Edit1->text().isEmpty());
        QCOMPARE(unit.signText(), QString(20, u'L'));
    }

    // The window system delivers a double click as press, release, a second
    // press flagged as double, release: the down arrow acts on both presses.
    void aDoubleClickOnTheDownArrowStepsTwice()
    {
        Unit unit;
        unit.setStops(FourStops);
        const QPoint inside(16, 20);
        sendMouse(unit.form.Shape2, QEvent::MouseButtonPress, inside);
        sendMouse(unit.form.Shape2, QEvent::MouseButtonRelease, inside);
        sendMouse(unit.form.Shape2, QEvent::MouseButtonDblClick, inside);
        sendMouse(unit.form.Shape2, QEvent::MouseButtonRelease, inside);
        QCOMPARE(int(unit.form.CurrentStop), 2);
        QCOMPARE(unit.signText(), QStringLiteral("Celle"));
        QCOMPARE(clipboard(), sentence("Celle"));
        QCOMPARE(unit.form.Shape7->y(), 107);
    }
};

QTEST_MAIN(TestStopCalls)
#include "tst_stopcalls.moc"
