// The help window: its frame and geometry, the text it shows once activated,
// and showing it from menu page 1 of the control unit, closing and showing it
// again while the program goes on.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <Pendralumovista3.h>
#include <scriptedplatform.h>

#include <QApplication>
#include <QPointer>
#include <QTest>

namespace {

QByteArray bytes(const tk::Text& text)
{
    return QByteArray::fromStdString(text);
}

// The help text as the operator reads it, line by line.
const char* const helpLines[] = {
    "1. Linie / Richtung wählen:",
    "Menü anwählen; auf Taster oben links neben \"Linie / Ziel\" klicken; Liniennummer und Ziel eingeben",
    "",
    "2. Haltestellendatensatz laden:",
    "Menü anwählen; auf 2. Taster von oben links neben \"Haltestellendatensatz laden\" klicken; Datei auswählen",
    "",
    "3. Bedienung der Taster:",
    "Taster Menü: Schaltet zwischen Menü und Standardansicht hin und her. Wechseln zwischen Seite 1 und 2 des "
    "Menüs über Pfeil auf/Pfeil ab",
    "Taster Pfeil auf/ab: Schaltet eine Haltestelle vor/zurück bzw. im Menü zwischen Seite 1 und 2",
    "Taster \"C\": Leert Standardbildschirm zur Eingabe über Ziffernblock für Auswahl einer Haltestelle bestimmter "
    "Nummer im Haltestellendatensatz",
    "Taster \"M\": Bestätigt eingegebene Nummer und ruft Haltestelle auf bzw. übernimmt getätigte Einstellung",
    "Taster Abzeige: Schaltet Übernahme der eingegebenen Haltestelle auf Anzeige ein/aus",
    "Taster Auto: Schaltet automatisches Weiterschalten der Haltestelle ein/aus; Doppelklick ändert "
    "Weiterschaltrichtung",
    "Taster Endstelle: Wählt im Haltestellendatensatz eine Endstelle aus",
    "Taster Schließen: Beendet das Programm",
    "",
    "4. Menüpunkte:",
    "Linie / Ziel: Eingabe der Liniennummer und der Endhaltestelle",
    "Haltestellendatensatz laden: Laden der Haltestellen",
    "Hilfe: Ruft diese Hilfe auf",
    "Linie / Ziel angezeigt: Schaltet Umschalten auf \"Linie  Ziel\" nach Aufruf einer Haltestelle ein/aus",
    "Timer Linie / Ziel einstell.: Stellt die Zeit ein, dach der nach Aufruf einer Haltestelle auf \"Linie  Ziel\" "
    "umgeschaltet wird",
    "Timer Automatik einstellen: Stellt Zeit ein, nach der im Automatikmodus eine Haltestelle weiter geschaltet "
    "wird, und bestimmt Streuungswert um diese Zeit",
    "",
    "5. Kontakt/Programmierer:",
};

QList<QByteArray> linesOf(const tk::Text& text)
{
    return QByteArray::fromStdString(text).split('\r');
}

int helpWindowCount()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<TForm3*>(widget) != nullptr;
    return count;
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void window();
    void labelBeforeActivation();
    void helpText();
    void activationSetsText();
    void textFitsTheWindow();
    void shownFromMenuPageOne();
    void closedAndShownAgain();
    void otherPagesDoNotShowIt();
};

void TestHelp::window()
{
    TForm3 help;
    QCOMPARE(help.objectName(), QStringLiteral("Form3"));
    QCOMPARE(help.windowTitle(), QStringLiteral("Form3"));
    QCOMPARE(help.size(), QSize(805, 372));
    QCOMPARE(help.minimumSize(), QSize(805, 372));
    QCOMPARE(help.maximumSize(), QSize(805, 372));
    QCOMPARE(help.pos(), QPoint(239, 220));
    QVERIFY(help.isHidden());

    const Qt::WindowFlags flags = help.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    // Black window, lime text.
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    const QImage image = help.grab().toImage();
    QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), QColor(Qt::black));
    QCOMPARE(help.Label1->FontColor(), tk::clLime);
    QCOMPARE(help.Label1->pos(), QPoint(8, 8));
}

void TestHelp::labelBeforeActivation()
{
    TForm3 help;
    QCOMPARE(bytes(help.Label1->Caption()), QByteArray("Label1"));
}

void TestHelp::helpText()
{
    const tk::Text text = TForm3::helpText();
    const QList<QByteArray> lines = linesOf(text);
    QCOMPARE(lines.size(), 27);
    QCOMPARE(std::count(text.begin(), text.end(), '\r'), 26);
    QVERIFY(text.back() != '\r');
    QVERIFY(text.find('\n') == tk::Text::npos);

    // The 25 given lines, byte for byte in Windows-1252.
    tk::Text given;
    for (const char* line : helpLines)
        given += tk::fromUtf8(line) + '\r';
    QCOMPARE(bytes(text.substr(0, given.size())), bytes(given));
    QVERIFY(text.find("\"Linie  Ziel\"") != tk::Text::npos);
    // One byte per umlaut, as the label paints it.
    QVERIFY(text.find("w\xE4hlen:\r") != tk::Text::npos);
    QVERIFY(text.find("Schlie\xDF" "en") != tk::Text::npos);

    // Two contact lines of the maker's, neither of them empty.
    QVERIFY(!lines[25].isEmpty());
    QVERIFY(!lines[26].isEmpty());
}

void TestHelp::activationSetsText()
{
    TForm3 help;
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&help, &activate);
    QCOMPARE(bytes(help.Label1->Caption()), bytes(TForm3::helpText()));

    // Running it again changes nothing.
    help.FormActivate();
    QCOMPARE(bytes(help.Label1->Caption()), bytes(TForm3::helpText()));
}

void TestHelp::textFitsTheWindow()
{
    TForm3 help;
    help.show();
    // The label follows its text: 27 lines, no wrap, inside the client area.
    QCOMPARE(help.Label1->height(), 27 * help.Label1->lineHeight());
    QVERIFY2(help.Label1->geometry().bottom() < help.height(),
             qPrintable(QString::number(help.Label1->geometry().bottom())));
    QVERIFY2(help.Label1->geometry().right() < help.width(),
             qPrintable(QString::number(help.Label1->geometry().right())));
}

void TestHelp::shownFromMenuPageOne()
{
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form(sign);
    TForm3 help;
    form.HelpWindow = &help;
    QCOMPARE(helpWindowCount(), 1);

    QTest::mouseClick(form.Label5, Qt::LeftButton);
    QTest::mouseClick(form.Shape10, Qt::LeftButton);
    QVERIFY(help.isVisible());
    QCOMPARE(bytes(help.Label1->Caption()), bytes(TForm3::helpText()));
    QCOMPARE(int(form.MenuPage), 1);
    QCOMPARE(bytes(form.Label1->Caption()), QByteArray("Linie / Ziel"));

    // Asking again keeps the one window, open, with the same text.
    QTest::mouseClick(form.Shape10, Qt::LeftButton);
    QCOMPARE(helpWindowCount(), 1);
    QVERIFY(help.isVisible());
    QCOMPARE(bytes(help.Label1->Caption()), bytes(TForm3::helpText()));
    QCOMPARE(help.pos(), QPoint(239, 220));
}

void TestHelp::closedAndShownAgain()
{
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form(sign);
    sign.show();
    form.show();
    QPointer<TForm3> help = new TForm3;
    form.HelpWindow = help;

    QTest::mouseClick(form.Label5, Qt::LeftButton);
    QTest::mouseClick(form.Shape10, Qt::LeftButton);
    QVERIFY(help->isVisible());

    // Closing hides it; it is not destroyed and nothing else closes.
    QVERIFY(help->close());
    QVERIFY(!help.isNull());
    QVERIFY(help->isHidden());
    QVERIFY(sign.isVisible());
    QVERIFY(form.isVisible());

    // The control unit goes on working, and the menu shows the help again.
    QTest::mouseClick(form.Shape2, Qt::LeftButton);
    QCOMPARE(int(form.MenuPage), 2);
    QTest::mouseClick(form.Shape1, Qt::LeftButton);
    QTest::mouseClick(form.Shape10, Qt::LeftButton);
    QVERIFY(help->isVisible());
    QCOMPARE(helpWindowCount(), 1);
    QCOMPARE(bytes(help->Label1->Caption()), bytes(TForm3::helpText()));
    delete help.data();
}

void TestHelp::otherPagesDoNotShowIt()
{
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form(sign);
    TForm3 help;
    form.HelpWindow = &help;

    // Standard view: nothing.
    QTest::mouseClick(form.Shape10, Qt::LeftButton);
    QVERIFY(help.isHidden());
    // Page 2: the same key types the automatic interval instead.
    QTest::mouseClick(form.Label5, Qt::LeftButton);
    QTest::mouseClick(form.Shape2, Qt::LeftButton);
    QTest::mouseClick(form.Shape10, Qt::LeftButton);
    QVERIFY(help.isHidden());
    QCOMPARE(int(form.EntryMode), 2);
    QCOMPARE(bytes(help.Label1->Caption()), QByteArray("Label1"));
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
