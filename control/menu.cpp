#include "Pendralumovista2.h"

#include <platform.h>

// The menu reuses the display and the keys of the standard view. "Menü", the
// arrows and the soft keys look only at MenuPage; the digit keys, "C" and "M"
// look only at EntryMode, so a setting left half-typed with "Menü" is still
// served by the keypad in the standard view until "M" completes it.

namespace {

const char* const pageOneTitle = "Linie / Ziel";
const char* const pageOneLegend = "Haltestellensatz laden\r\rHilfe";
const char* const pageTwoLegend = "Timer Linie / Ziel einstell.\r\rTimer Automatik einstellen";
const char* const lineDestinationShown = "Linie / Ziel angezeigt";
const char* const lineDestinationNotShown = "Linie / Ziel n. angezeigt";
const char* const delayQuestion = "Zeit bis Anzeige auf\rLinie/Ziel umschaltet:";
const char* const intervalQuestion = "Zeit bis Weiterschalten:";
const char* const scatterQuestion = "Streuung um:";
const char* const scatterRefused = "Streuung muss kleiner als\rWeiterschaltdauer sein!";
const char* const emptySecondsField = "\r     __ Sekunden";

// The typed digits with the unit, the last digit in the seventh column of the
// display's second line. Only the single digit 1 reads as singular: "01" is
// two digits and so plural.
tk::Text secondsField(const tk::Text& digits)
{
    switch (digits.size()) {
    case 0:
        return tk::fromUtf8(emptySecondsField);
    case 1:
        return tk::Text("\r      ") + digits + (digits == "1" ? " Sekunde" : " Sekunden");
    case 2:
        return tk::Text("\r     ") + digits + " Sekunden";
    default:
        return tk::Text("\r    ") + digits + " Sekunden";
    }
}

// DigitEntry holds at most three of the characters 0 to 9, so its value is
// always a number from 0 to 999.
int secondsValue(const tk::Text& digits)
{
    int value = 0;
    for (char digit : digits)
        value = value * 10 + (digit - '0');
    return value;
}

// Page 2: the switch's state beside the top soft key, the two timer settings
// beside the others.
void showPageTwoTexts(TForm2& form)
{
    form.Label1->setCaption(
        tk::fromUtf8(form.ShowLineDestination ? lineDestinationShown : lineDestinationNotShown));
    form.Label3->setCaption(tk::fromUtf8(pageTwoLegend));
}

// Opens the typing of a setting: its question, an empty seconds field.
void beginSettingEntry(TForm2& form, std::uint8_t entryMode, const char* question)
{
    form.Label1->setCaption(tk::fromUtf8(question));
    form.Label3->setCaption(tk::fromUtf8(emptySecondsField));
    form.DigitEntry.clear();
    form.EntryMode = entryMode;
    form.MenuPage = 5;
}

} // namespace

void TForm2::Label5Click()
{
    if (MenuPage != 0) {
        MenuPage = 0;
        Label1->setCaption(Destination);
        Label3->setCaption(stopLines());
        setRouteStripVisible(true);
        // The standard view: its destination, or the stop where none is set.
        say(Destination.empty() ? Stops[CurrentStop] : Destination);
    } else {
        MenuPage = 1;
        Label1->setCaption(tk::fromUtf8(pageOneTitle));
        Label3->setCaption(tk::fromUtf8(pageOneLegend));
        setRouteStripVisible(false);
        say(Label1->Caption());
    }
}

// Page 1 -> page 2 with the down arrow, back with the up arrow; every other
// arrow press outside the standard view, including during an entry, is
// ignored. Turning the page shows and hides nothing: the strip is hidden.
void TForm2::menuPageUp()
{
    if (MenuPage != 2)
        return;
    MenuPage = 1;
    Label1->setCaption(tk::fromUtf8(pageOneTitle));
    Label3->setCaption(tk::fromUtf8(pageOneLegend));
    say(Label1->Caption());
}

void TForm2::menuPageDown()
{
    if (MenuPage != 1)
        return;
    MenuPage = 2;
    showPageTwoTexts(*this);
    say(Label1->Caption());
}

void TForm2::Shape8MouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    switch (MenuPage) {
    case 1:
        enterLineDestination();
        break;
    case 2:
        // A delay already running is left alone; the flag counts from the
        // next stop call on.
        ShowLineDestination = !ShowLineDestination;
        Label1->setCaption(
            tk::fromUtf8(ShowLineDestination ? lineDestinationShown : lineDestinationNotShown));
        say(Label1->Caption());
        break;
    default:
        break;
    }
}

void TForm2::Shape9MouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    switch (MenuPage) {
    case 1:
        loadStopDataSet();
        break;
    case 2:
        beginSettingEntry(*this, 1, delayQuestion);
        say(Label1->Caption());
        break;
    default:
        break;
    }
}

void TForm2::Shape10MouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    switch (MenuPage) {
    case 1:
        // Non-modal: the sign and the control unit go on working beside it.
        // Showing it again when it is open only brings it to the front.
        if (HelpWindow) {
            HelpWindow->show();
            HelpWindow->raise();
            HelpWindow->activateWindow();
        }
        break;
    case 2:
        beginSettingEntry(*this, 2, intervalQuestion);
        say(Label1->Caption());
        break;
    default:
        break;
    }
}

void TForm2::settingDigit(char digit)
{
    if (DigitEntry.size() < 3)
        DigitEntry.push_back(digit);
    Label3->setCaption(secondsField(DigitEntry));
}

void TForm2::settingClear()
{
    DigitEntry.clear();
    Label3->setCaption(tk::fromUtf8(emptySecondsField));
}

void TForm2::settingConfirm()
{
    if (DigitEntry.empty())
        return;
    const int seconds = secondsValue(DigitEntry);

    switch (EntryMode) {
    case 1:
        // A different value restarts a running countdown; 0 never fires.
        Timer2->setInterval(seconds * 1000);
        DigitEntry.clear();
        EntryMode = 0;
        MenuPage = 2;
        showPageTwoTexts(*this);
        say(Label1->Caption());
        break;
    case 2:
        AutoIntervalSeconds = seconds;
        DigitEntry.clear();
        EntryMode = 3;
        Label1->setCaption(tk::fromUtf8(scatterQuestion));
        Label3->setCaption(tk::fromUtf8(emptySecondsField));
        say(Label1->Caption());
        break;
    case 3:
        if (seconds < AutoIntervalSeconds) {
            AutoScatterSeconds = seconds;
            DigitEntry.clear();
            EntryMode = 0;
            MenuPage = 2;
            showPageTwoTexts(*this);
            say(Label1->Caption());
        } else {
            // The message has to be painted before the thread sleeps; the
            // operator then types the interval and the scatter anew.
            Label1->setCaption(tk::fromUtf8(scatterRefused));
            Label3->setCaption({});
            emit stateChanged();
            tk::platform().processMessagesAndSleep(2000);
            DigitEntry.clear();
            Label1->setCaption(tk::fromUtf8(intervalQuestion));
            Label3->setCaption(tk::fromUtf8(emptySecondsField));
            EntryMode = 2;
            // A screen reader hears the refusal, which stands for the
            // question that follows, once the unit answers again: it asks
            // the unit about what it is told, and gives up on an answer that
            // takes the sleep's two seconds.
            say(tk::fromUtf8(scatterRefused));
        }
        break;
    default:
        break;
    }
}
