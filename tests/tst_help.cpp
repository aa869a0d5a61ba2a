// The help window: its frame and geometry, the text it shows once activated,
// and showing it from menu page 1 of the control unit, closing and showing it
// again while the program goes on; the German formats it and the dialogs
// use, and the user's locale left as it was.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <Pendralumovista3.h>
#include <mouse.h>
#include <scriptedplatform.h>
#include <startup.h>

#include <QApplication>
#include <QLocale>
#include <QPointer>
#include <QTest>

#include <algorithm>

namespace {

QByteArray bytes(const tk::Text& text)
{
    return QByteArray::fromStdString(text);
}

// The help text up to the maker's two contact lines, in pieces that each end
// a line (and an empty one after it, where there is one).
const char* const helpPieces[] = {
    "1. Linie / Richtung wählen:\r",
    "Menü anwählen; auf Taster oben links neben \"Linie / Ziel\" klicken; Liniennummer und Ziel eingeben\r\r",
    "2. Haltestellendatensatz laden:\r",
    "Menü anwählen; auf 2. Taster von oben links neben \"Haltestellendatensatz laden\" klicken; Datei auswählen\r\r",
    "3. Bedienung der Taster:\r",
    "Taster Menü: Schaltet zwischen Menü und Standardansicht hin und her. Wechseln zwischen Seite 1 und 2 des "
    "Menüs über Pfeil auf/Pfeil ab\r",
    "Taster Pfeil auf/ab: Schaltet eine Haltestelle vor/zurück bzw. im Menü zwischen Seite 1 und 2\r",
    "Taster \"C\": Leert Standardbildschirm zur Eingabe über Ziffernblock für Auswahl einer Haltestelle bestimmter "
    "Nummer im Haltestellendatensatz\r",
    "Taster \"M\": Bestätigt eingegebene Nummer und ruft Haltestelle auf bzw. übernimmt getätigte Einstellung\r",
    "Taster Abzeige: Schaltet Übernahme der eingegebenen Haltestelle auf Anzeige ein/aus\r",
    "Taster Auto: Schaltet automatisches Weiterschalten der Haltestelle ein/aus; Doppelklick ändert "
    "Weiterschaltrichtung\r",
    "Taster Endstelle: Wählt im Haltestellendatensatz eine Endstelle aus\r",
    "Taster Schließen: Beendet das Programm\r\r",
    "4. Menüpunkte:\r",
    "Linie / Ziel: Eingabe der Liniennummer und der Endhaltestelle\r",
    "Haltestellendatensatz laden: Laden der Haltestellen\r",
    "Hilfe: Ruft diese Hilfe auf\r",
    "Linie / Ziel angezeigt: Schaltet Umschalten auf \"Linie  Ziel\" nach Aufruf einer Haltestelle ein/aus\r",
    "Timer Linie / Ziel einstell.: Stellt die Zeit ein, dach der nach Aufruf einer Haltestelle auf \"Linie  Ziel\" "
    "umgeschaltet wird\r",
    "Timer Automatik einstellen: Stellt Zeit ein, nach der im Automatikmodus eine Haltestelle weiter geschaltet "
    "wird, und bestimmt Streuungswert um diese Zeit\r\r",
    "5. Kontakt/Programmierer:\r",
};

int helpWindowCount()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return int(std::count_if(windows.begin(), windows.end(), [](QWidget* w) { return qobject_cast<TForm3*>(w); }));
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void window();
    void helpText();
    void shownFromMenuPageOne();
    void germanFormatsLeaveTheUsersLocale_data();
    void germanFormatsLeaveTheUsersLocale();
};

void TestHelp::window()
{
    TForm3 help;
    QCOMPARE(help.objectName(), QStringLiteral("Form3"));
    QCOMPARE(help.windowTitle(), QStringLiteral("Form3"));
    QCOMPARE(help.geometry(), QRect(239, 220, 805, 372));
    QCOMPARE(help.minimumSize(), help.maximumSize());
    QVERIFY(help.isHidden());
    // Each activation sets the help text; the text never changes.
    QCOMPARE(bytes(help.Label1->Caption()), QByteArray("Label1"));
    for (int activation = 0; activation < 2; ++activation) {
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&help, &activate);
        QCOMPARE(bytes(help.Label1->Caption()), bytes(TForm3::helpText()));
    }

    // An ordinary window (a dialog would be kept above the others) with a
    // title bar and a close button only.
    const Qt::WindowFlags flags = help.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Window);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint) && flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint) && !flags.testFlag(Qt::WindowMaximizeButtonHint));

    // Lime text on black, 27 lines that end inside the client area.
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    const QImage image = help.grab().toImage();
    QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), QColor(Qt::black));
    QCOMPARE(help.Label1->FontColor(), tk::clLime);
    QCOMPARE(help.Label1->pos(), QPoint(8, 8));
    QVERIFY(help.Label1->geometry().right() < help.width());
    // 27 lines 13 pixels apart end 359 pixels below the top; the last line's
    // letters are drawn in its 13 pixels.
    QCOMPARE(help.Label1->geometry().bottom() + 1, 359);
    int lastLitRow = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).green() > 128)
                lastLitRow = y;
    QVERIFY2(lastLitRow >= 359 - 13 && lastLitRow < 359, qPrintable(QString::number(lastLitRow)));
}

void TestHelp::helpText()
{
    const tk::Text text = TForm3::helpText();
    const QList<QByteArray> lines = bytes(text).split('\r');
    QCOMPARE(lines.size(), 27);
    QVERIFY(text.back() != '\r' && text.find('\n') == tk::Text::npos);
    // The given lines byte for byte in Windows-1252, one byte per umlaut;
    // then the maker's two contact lines.
    tk::Text given;
    for (const char* piece : helpPieces)
        given += tk::fromUtf8(piece);
    QCOMPARE(bytes(text.substr(0, given.size())), bytes(given));
    QVERIFY(text.find("w\xE4hlen:\r") != tk::Text::npos);
    QVERIFY(!lines[25].isEmpty() && !lines[26].isEmpty());
}

void TestHelp::shownFromMenuPageOne()
{
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form(sign);
    QPointer<TForm3> help = new TForm3;
    form.HelpWindow = help;
    sign.show();
    form.show();
    auto press = [](tk::Control* key) { clickControl(key); };
    auto showsHelp = [&] { return help->isVisible() && help->Label1->Caption() == TForm3::helpText(); };

    // The bottom soft key in the standard view shows nothing.
    press(form.Shape10);
    QVERIFY(help->isHidden());
    QCOMPARE(bytes(help->Label1->Caption()), QByteArray("Label1"));

    // On page 1 it shows the help and the menu stays as it was; asking again
    // keeps the one window, open, with the same text. It is not modal, so the
    // other windows stay usable beside it, and each request, made while the
    // control unit is the active window, brings it to the front.
    press(form.Label5);
    for (int ask = 0; ask < 2; ++ask) {
        form.activateWindow();
        QTRY_VERIFY(form.isActiveWindow());
        press(form.Shape10);
        QVERIFY(showsHelp());
        QCOMPARE(helpWindowCount(), 1);
        QCOMPARE(form.MenuPage, 1);
        QCOMPARE(help->windowModality(), Qt::NonModal);
        QCOMPARE(QGuiApplication::modalWindow(), nullptr);
        QTRY_VERIFY(help->isActiveWindow());
    }

    // Closing hides it; it is not destroyed, not even once pending deletions
    // have run, and nothing else closes.
    QVERIFY(help->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!help.isNull() && help->isHidden());
    QVERIFY(sign.isVisible() && form.isVisible());

    // The control unit goes on working: on page 2 the same key asks for the
    // automatic interval instead. Back on page 1 the help shows again.
    press(form.Shape2);
    press(form.Shape10);
    QCOMPARE(form.EntryMode, 2);
    QVERIFY(help->isHidden());
    press(form.Label5);
    press(form.Label5);
    press(form.Shape10);
    QVERIFY(showsHelp());
    QCOMPARE(helpWindowCount(), 1);
    delete help.data();
}

// The help and the dialogs format in German whatever the user's locale;
// the variables start-up sets for that are put back as they were (set,
// empty or not there), so that the C library, which reads them when the
// application starts, keeps the user's character set and compose keys.
void TestHelp::germanFormatsLeaveTheUsersLocale_data()
{
    QTest::addColumn<QByteArray>("lcAll"); // null: not set
    QTest::addColumn<QByteArray>("language");
    QTest::newRow("set") << QByteArray("C.UTF-8") << QByteArray("fr:en");
    QTest::newRow("set, empty") << QByteArray("") << QByteArray("");
    QTest::newRow("not set") << QByteArray() << QByteArray();
}

void TestHelp::germanFormatsLeaveTheUsersLocale()
{
    QFETCH(QByteArray, lcAll);
    QFETCH(QByteArray, language);
    const std::pair<const char*, QByteArray> variables[] = {{"LC_ALL", lcAll}, {"LANGUAGE", language}};
    for (const auto& [name, value] : variables)
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    prepareLocale();
    QCOMPARE(QLocale().language(), QLocale::German);
    for (const auto& [name, value] : variables) {
        QCOMPARE(qEnvironmentVariableIsSet(name), !value.isNull());
        QCOMPARE(qgetenv(name), value);
    }
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
