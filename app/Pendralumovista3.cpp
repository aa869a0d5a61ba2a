#include "Pendralumovista3.h"

#include <accessible.h>

#include <QEvent>
#include <QPalette>

TForm3* Form3 = nullptr;

// An ordinary top-level window, not a dialog: Qt makes a parentless dialog
// transient for the whole program, and window managers of the GNOME lineage
// then keep it above every other window of the program, the control unit and
// the stay-on-top sign included. The frame is customised to a title bar with
// a close button only; the fixed size takes away resizing and maximising.
TForm3::TForm3(QWidget* parent)
    : tk::Form(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
    // What a screen reader calls the window; the title bar keeps its caption.
    setAccessibleName(QStringLiteral("Hilfe"));
    setFixedSize(805, 372);
    move(239, 220);

    QPalette black = palette();
    black.setColor(QPalette::Window, tk::toQColor(tk::clBlack));
    setPalette(black);
    setAutoFillBackground(true);

    // Lime on the window's black; the label grows with its text. Characters
    // 11 pixels high on lines 13 pixels apart: the 27 lines of the help text
    // end 359 pixels below the top, inside the 372 of the window.
    Label1 = new tk::Label(this, 8, 8, 0, 0, "Label1", tk::clLime, 11);
    Label1->setLineHeight(13);
    Label1->setAutoSize(true);
    describeAccessible = [this] {
        return std::vector<tk::AccessibleItem>{{tk::AccessibleItem::Kind::Text, Label1, {}, QStringLiteral("Hilfetext"), {}, {}, {}}};
    };
}

bool TForm3::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return tk::Form::event(event);
}

void TForm3::showEvent(QShowEvent* event)
{
    // Not every platform activates a window that is shown (the offscreen one
    // and some window managers do not), so showing it sets the text as well.
    FormActivate();
    tk::Form::showEvent(event);
}

void TForm3::FormActivate()
{
    Label1->setCaption(helpText());
}

tk::Text TForm3::helpText()
{
    static const tk::Text text = tk::fromUtf8(
        "1. Linie / Richtung wählen:\r"
        "Menü anwählen; auf Taster oben links neben \"Linie / Ziel\" klicken; Liniennummer und Ziel eingeben\r\r"
        "2. Haltestellendatensatz laden:\r"
        "Menü anwählen; auf 2. Taster von oben links neben \"Haltestellendatensatz laden\" klicken; "
        "Datei auswählen\r\r"
        "3. Bedienung der Taster:\r"
        "Taster Menü: Schaltet zwischen Menü und Standardansicht hin und her. "
        "Wechseln zwischen Seite 1 und 2 des Menüs über Pfeil auf/Pfeil ab\r"
        "Taster Pfeil auf/ab: Schaltet eine Haltestelle vor/zurück bzw. im Menü zwischen Seite 1 und 2\r"
        "Taster \"C\": Leert Standardbildschirm zur Eingabe über Ziffernblock für Auswahl einer Haltestelle "
        "bestimmter Nummer im Haltestellendatensatz\r"
        "Taster \"M\": Bestätigt eingegebene Nummer und ruft Haltestelle auf bzw. übernimmt getätigte "
        "Einstellung\r"
        "Taster Abzeige: Schaltet Übernahme der eingegebenen Haltestelle auf Anzeige ein/aus\r"
        "Taster Auto: Schaltet automatisches Weiterschalten der Haltestelle ein/aus; "
        "Doppelklick ändert Weiterschaltrichtung\r"
        "Taster Endstelle: Wählt im Haltestellendatensatz eine Endstelle aus\r"
        "Taster Schließen: Beendet das Programm\r\r"
        "4. Menüpunkte:\r"
        "Linie / Ziel: Eingabe der Liniennummer und der Endhaltestelle\r"
        "Haltestellendatensatz laden: Laden der Haltestellen\r"
        "Hilfe: Ruft diese Hilfe auf\r"
        "Linie / Ziel angezeigt: Schaltet Umschalten auf \"Linie  Ziel\" nach Aufruf einer Haltestelle "
        "ein/aus\r"
        "Timer Linie / Ziel einstell.: Stellt die Zeit ein, dach der nach Aufruf einer Haltestelle auf "
        "\"Linie  Ziel\" umgeschaltet wird\r"
        "Timer Automatik einstellen: Stellt Zeit ein, nach der im Automatikmodus eine Haltestelle weiter "
        "geschaltet wird, und bestimmt Streuungswert um diese Zeit\r\r"
        "5. Kontakt/Programmierer:\r"
        "Pendralumovista, Simulator für Fahrgastinformation\r"
        "Fragen und Hinweise: an das Entwicklerteam von Pendralumovista");
    return text;
}
