// The control unit without the mouse: the keyboard's keys click the unit's
// keys, and a screen reader is told of the keys and the display. What the
// keys then do is the other tests' business; here: that the right key is
// clicked, as often as a click would, and that assistive technology finds
// and presses it.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <text.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <QtTest>

namespace {

const QString NotANumber = QString::fromUtf8("Sie können nur\rZahlen\rübernehmen");

struct Unit {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};
    int stateChanges = 0;

    Unit()
    {
        QObject::connect(&form, &TForm2::stateChanged, [this] { ++stateChanges; });
        const char* names[] = {"Aachen", "Bonn", "Celle", "Dorf"};
        for (int i = 0; i < 4; ++i)
            form.Stops[size_t(i)] = names[i];
        form.StopCount = 4;
        form.StopsLoaded = true;
    }

    void send(QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, bool autoRepeat, ulong time)
    {
        QKeyEvent event(type, key, modifiers, QString(), autoRepeat);
        event.setTimestamp(time);
        QApplication::sendEvent(&form, &event);
    }
    void press(int key, ulong time = 0, Qt::KeyboardModifiers modifiers = {}, bool autoRepeat = false)
    {
        send(QEvent::KeyPress, key, modifiers, autoRepeat, time);
    }
    void release(int key, ulong time = 0, Qt::KeyboardModifiers modifiers = {}, bool autoRepeat = false)
    {
        send(QEvent::KeyRelease, key, modifiers, autoRepeat, time);
    }
    // Keys pressed and let go one after the other, a second apart.
    void tap(std::initializer_list<int> keys, Qt::KeyboardModifiers modifiers = {})
    {
        for (int key : keys) {
            time += 1000;
            press(key, time, modifiers);
            release(key, time + 50, modifiers);
        }
    }
    QString display() const { return tk::toQString(form.Label3->Caption()); }
    QString top() const { return tk::toQString(form.Label1->Caption()); }

    ulong time = 0;
};

QAccessibleInterface* childNamed(QAccessibleInterface* parent, const QString& name)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (QAccessibleInterface* child = parent->child(i); child && child->text(QAccessible::Name) == name)
            return child;
    return nullptr;
}

} // namespace

class TestKeys : public QObject {
    Q_OBJECT
private slots:
    // Each keyboard key against the unit's key it clicks, seen in what that
    // key does from the standard view at stop 1.
    void eachKeyClicksItsKey_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("stop");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("top");
        const QString standard = QStringLiteral("Bonn\r\rCelle");
        const QString splash = QStringLiteral("\r          Orbis-Motion\r       Pendralumovista\r          Version: 2.2");
        const QString page1 = QStringLiteral("Haltestellensatz laden\r\rHilfe");
        const QString page2 = QStringLiteral("Timer Linie / Ziel einstell.\r\rTimer Automatik einstellen");
        QTest::newRow("Up") << QList<int>{Qt::Key_Up} << 0 << 0 << QStringLiteral("Aachen\r\rBonn") << splash;
        QTest::newRow("Down") << QList<int>{Qt::Key_Down} << 0 << 2 << QStringLiteral("Celle\r\rDorf") << splash;
        QTest::newRow("C 3 M") << QList<int>{Qt::Key_C, Qt::Key_3, Qt::Key_M} << 0 << 3 << QStringLiteral("Dorf\r\r")
                               << splash;
        QTest::newRow("C 0 Return") << QList<int>{Qt::Key_C, Qt::Key_0, Qt::Key_Return} << 0 << 0
                                    << QStringLiteral("Aachen\r\rBonn") << splash;
        QTest::newRow("keypad C 2 Enter")
            << QList<int>{Qt::Key_C, (Qt::Key_2 | Qt::KeypadModifier).toCombined(),
                          (Qt::Key_Enter | Qt::KeypadModifier).toCombined()} << 0 << 2
            << QStringLiteral("Celle\r\rDorf") << splash;
        // With NumLock off the keypad's 1, 2 and 8 are End, Down and Up.
        QTest::newRow("keypad without NumLock")
            << QList<int>{Qt::Key_End, Qt::Key_Down, Qt::Key_Up, Qt::Key_Insert} << int(Qt::KeypadModifier) << 1
            << standard << splash;
        QTest::newRow("digits 4 to 9") << QList<int>{Qt::Key_C, Qt::Key_4, Qt::Key_5, Qt::Key_6, Qt::Key_7} << 0 << 1
                                       << QStringLiteral("4567") << splash;
        QTest::newRow("8 9") << QList<int>{Qt::Key_C, Qt::Key_8, Qt::Key_9} << 0 << 1 << QStringLiteral("89") << splash;
        QTest::newRow("M on the stop lines") << QList<int>{Qt::Key_M} << 0 << 1 << NotANumber << splash;
        QTest::newRow("End") << QList<int>{Qt::Key_End} << 0 << 3 << QStringLiteral("Dorf\r\r") << splash;
        QTest::newRow("F8") << QList<int>{Qt::Key_F8} << 0 << 3 << QStringLiteral("Dorf\r\r") << splash;
        QTest::newRow("F5") << QList<int>{Qt::Key_F5} << 0 << 1 << page1 << QStringLiteral("Linie / Ziel");
        QTest::newRow("Menu key, Down") << QList<int>{Qt::Key_Menu, Qt::Key_Down} << 0 << 1 << page2
                                        << QStringLiteral("Linie / Ziel angezeigt");
        QTest::newRow("F5 Down F1") << QList<int>{Qt::Key_F5, Qt::Key_Down, Qt::Key_F1} << 0 << 1 << page2
                                    << QStringLiteral("Linie / Ziel n. angezeigt");
        QTest::newRow("F5 Down F2") << QList<int>{Qt::Key_F5, Qt::Key_Down, Qt::Key_F2} << 0 << 1
                                    << QStringLiteral("\r     __ Sekunden")
                                    << QStringLiteral("Zeit bis Anzeige auf\rLinie/Ziel umschaltet:");
        QTest::newRow("F5 Down F3") << QList<int>{Qt::Key_F5, Qt::Key_Down, Qt::Key_F3} << 0 << 1
                                    << QStringLiteral("\r     __ Sekunden") << QStringLiteral("Zeit bis Weiterschalten:");
        QTest::newRow("F5 F5") << QList<int>{Qt::Key_F5, Qt::Key_F5} << 0 << 1 << standard << QString();
        // Keys held with Ctrl or Alt are the desktop's.
        QTest::newRow("Ctrl+Down") << QList<int>{Qt::Key_Down} << int(Qt::ControlModifier) << 1 << standard << splash;
        QTest::newRow("Alt+F5") << QList<int>{Qt::Key_F5} << int(Qt::AltModifier) << 1 << standard << splash;
        QTest::newRow("a letter of no key") << QList<int>{Qt::Key_X, Qt::Key_Escape, Qt::Key_S} << 0 << 1 << standard
                                            << splash;
    }

    void eachKeyClicksItsKey()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, modifiers);
        Unit unit;
        unit.form.CurrentStop = 1;
        unit.form.Label3->setCaption(unit.form.stopLines());
        // A key may carry a modifier of its own, as the keypad's do.
        for (int key : keys)
            unit.tap({key & ~int(Qt::KeyboardModifierMask)},
                     Qt::KeyboardModifiers(modifiers | (key & int(Qt::KeyboardModifierMask))));
        QTEST(int(unit.form.CurrentStop), "stop");
        QTEST(unit.display(), "display");
        QTEST(unit.top(), "top");
    }

    // The switches, and that every key goes through the wiring a click
    // goes through (which tells the session bus to look again).
    void switchesAndTheWiring()
    {
        Unit unit;
        unit.tap({Qt::Key_F6});
        QVERIFY(!unit.form.displaySwitchOn());
        unit.tap({Qt::Key_F7});
        QVERIFY(unit.form.autoAdvanceOn());
        QVERIFY(unit.form.Timer3->Enabled());
        QCOMPARE(unit.stateChanges, 2);
        unit.tap({Qt::Key_X});
        QCOMPARE(unit.stateChanges, 2);
    }

    // A held key repeats nothing, as a held button does not. The X server
    // repeats it as releases and presses at the same instant, which Qt
    // marks as repeats only when it sees the press in time: unmarked ones
    // come on a busy machine.
    void heldKeys_data()
    {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<int>("stop");
        QTest::addColumn<QString>("display");
        const QString celle = QStringLiteral("Celle\r\rDorf");
        QTest::newRow("Down, marked") << QList<int>{} << int(Qt::Key_Down) << true << 2 << celle;
        QTest::newRow("Down, unmarked") << QList<int>{} << int(Qt::Key_Down) << false << 2 << celle;
        QTest::newRow("a digit after C") << QList<int>{Qt::Key_C} << int(Qt::Key_1) << false << 1
                                         << QStringLiteral("1");
        // "M" acts on the click, once.
        QTest::newRow("C 3, then M") << QList<int>{Qt::Key_C, Qt::Key_3} << int(Qt::Key_M) << false << 3
                                     << QStringLiteral("Dorf\r\r");
        // "Auto" turns the direction on a double click: held, it is switched
        // on and nothing more.
        QTest::newRow("F7") << QList<int>{} << int(Qt::Key_F7) << false << 1 << QStringLiteral("Bonn\r\rCelle");
    }

    void heldKeys()
    {
        QFETCH(QList<int>, before);
        QFETCH(int, held);
        QFETCH(bool, marked);
        Unit unit;
        unit.form.CurrentStop = 1;
        unit.form.Label3->setCaption(unit.form.stopLines());
        for (int key : before)
            unit.tap({key});
        const bool directionBefore = unit.form.DirectionB;
        const ulong start = unit.time + 1000;
        unit.press(held, start);
        for (ulong t = start + 660; t < start + 2000; t += 40) {
            unit.release(held, t, {}, marked);
            unit.press(held, t, {}, marked);
        }
        unit.release(held, start + 2030);
        QTEST(int(unit.form.CurrentStop), "stop");
        QTEST(unit.display(), "display");
        if (held == Qt::Key_F7) {
            QVERIFY(unit.form.autoAdvanceOn());
            QCOMPARE(unit.form.DirectionB, directionBefore);
        }
        // The next press is a press of its own.
        unit.tap({Qt::Key_Down});
        QFETCH(int, stop);
        QCOMPARE(int(unit.form.CurrentStop), std::min(stop + 1, 3));
    }

    // A key that acts on the click acts when let go, and only after its own
    // press.
    void strayKeys()
    {
        Unit unit;

        // The Return that closed an input box comes up here: no click.
        unit.form.Label3->setCaption({});
        unit.release(Qt::Key_Return, 3000);
        QCOMPARE(unit.display(), QString());
        unit.press(Qt::Key_Return, 4000);
        QCOMPARE(unit.display(), QString()); // "M" acts on the click
        unit.release(Qt::Key_Return, 4050);
        QCOMPARE(unit.display(), NotANumber);
    }

    // "Auto" pressed twice within the double-click time is a double click:
    // the first click switches it on, the second press turns the direction.
    // Slower, each press is a click. Other keys never make a double click.
    void autoTwiceIsADoubleClick()
    {
        Unit unit;
        const ulong doubleClick = ulong(QApplication::doubleClickInterval());
        unit.press(Qt::Key_F7, 1000);
        unit.release(Qt::Key_F7, 1050);
        unit.press(Qt::Key_F7, 1000 + doubleClick / 2);
        unit.release(Qt::Key_F7, 1050 + doubleClick / 2);
        QVERIFY(unit.form.autoAdvanceOn());
        QVERIFY(unit.form.DirectionB);
        QCOMPARE(unit.form.Label10->Caption(), tk::Text("B"));

        // A third press right after: a click of its own again.
        unit.press(Qt::Key_F7, 1100 + doubleClick / 2);
        unit.release(Qt::Key_F7, 1150 + doubleClick / 2);
        QVERIFY(!unit.form.autoAdvanceOn());
        QVERIFY(unit.form.DirectionB);

        unit.tap({Qt::Key_F7, Qt::Key_F7});
        QVERIFY(!unit.form.autoAdvanceOn());
        QVERIFY(unit.form.DirectionB);

        // "Menü" twice quickly opens the menu and leaves it.
        unit.press(Qt::Key_F5, 9000);
        unit.release(Qt::Key_F5, 9010);
        unit.press(Qt::Key_F5, 9020);
        unit.release(Qt::Key_F5, 9030);
        QCOMPARE(int(unit.form.MenuPage), 0);
    }

    // What a screen reader finds on the unit: every key a button with its
    // name, its keyboard key and a press action that clicks it; the display
    // as texts that read what it shows, hidden while hidden.
    void screenReadersView()
    {
        Unit unit;
        unit.form.show();
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&unit.form);
        QVERIFY(face);
        QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Pendralumovista"));
        // Names, roles and actions are read over AT-SPI by the accessibility
        // test; here what a screen reader relies on to walk and point.
        int buttons = 0;
        for (int i = 0; i < face->childCount(); ++i) {
            QAccessibleInterface* child = face->child(i);
            QCOMPARE(face->indexOfChild(child), i);
            QCOMPARE(child->parent(), face);
            buttons += child->role() == QAccessible::Button;
        }
        QCOMPARE(buttons, 22);
        QAccessibleInterface* down = childNamed(face, QStringLiteral("Pfeil abwärts"));
        QCOMPARE(down->rect(), QRect(unit.form.mapToGlobal(QPoint(318, 131)), QSize(33, 41)));
        QVERIFY(childNamed(face, QString::fromUtf8("Schließen"))
                    ->actionInterface()
                    ->keyBindingsForAction(QAccessibleActionInterface::pressAction())
                    .isEmpty());

        // The press action clicks the key once the call is answered.
        down->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(int(unit.form.CurrentStop), 0);
        QTRY_COMPARE(int(unit.form.CurrentStop), 1);
        QCOMPARE(unit.stateChanges, 1);
    }
};

QTEST_MAIN(TestKeys)
#include "tst_keys.moc"
