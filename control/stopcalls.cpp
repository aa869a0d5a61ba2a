#include "Pendralumovista2.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>
#include <climits>

// Stop calls and announcements: the arrow keys, the stop-number entry and the
// terminus key choose a stop; a call writes its name on the sign and puts the
// announcement sentence on the clipboard, and the fall-back timer later puts
// the line and destination back on the sign.

namespace {

// What the fall-back timer does on a stop call.
enum class FallBack {
    // Stop it, then start a fresh full delay if the fall-back is wanted:
    // every arrow press within the delay begins it anew.
    Restart,
    // Start it if the fall-back is wanted; a running countdown goes on.
    StartIfWanted,
    // Start it whatever the setting says; a running countdown goes on.
    Start,
};


} // namespace

// How the keys differ once they have chosen their stop.
struct TForm2::CallRule {
    bool gatedByDisplaySwitch;
    FallBack fallBack;
    bool movesMarker;
};

namespace {

constexpr TForm2::CallRule ArrowCall{true, FallBack::Restart, true};
constexpr TForm2::CallRule NumberCall{true, FallBack::StartIfWanted, true};
// The terminus key always announces, and leaves the marker alone.
constexpr TForm2::CallRule TerminusCall{false, FallBack::Start, false};

const tk::Text& sentenceStart()
{
    static const tk::Text text = tk::fromUtf8("nächste Haltestelle: ");
    return text;
}

const tk::Text& terminusEnding()
{
    static const tk::Text text = ". Endstelle. Bitte aussteigen";
    return text;
}

const tk::Text& notANumberMessage()
{
    static const tk::Text text = tk::fromUtf8("Sie können nur\rZahlen\rübernehmen");
    return text;
}

// A whole caption as a stop number: decimal digits only, leading zeros
// allowed, no sign and no blanks. Large numbers saturate instead of
// overflowing; they are out of range either way. -1 when it is no number.
int readStopNumber(const tk::Text& caption)
{
    if (caption.empty())
        return -1;
    int value = 0;
    for (const char c : caption) {
        if (c < '0' || c > '9')
            return -1;
        if (value < INT_MAX / 10)
            value = value * 10 + (c - '0');
    }
    return value;
}

// The edit field's "cut", with the number of the call beside the text: a
// program that speaks the announcements tells a call from the same text
// restored by a clipboard manager, which keeps the text only. The numbers
// grow from call to call and from one run to the next (milliseconds since
// 1970, or one more than the last).
void cutAnnouncement(tk::Edit& field)
{
    static qint64 lastCall = 0;
    lastCall = std::max(lastCall + 1, QDateTime::currentMSecsSinceEpoch());
    auto* data = new QMimeData;
    // A NUL byte in a stop name would end the text early for many a
    // reader; it travels as U+FFFD, as the session bus carries it too.
    data->setText(field.selectedText().replace(QChar(0), QChar::ReplacementCharacter));
    data->setData(QStringLiteral("application/x-pendralumovista-ansage"), QByteArray::number(lastCall));
    field.del();
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace

// The sequence every stop call ends in, once the key has set CurrentStop.
void TForm2::finishStopCall(const CallRule& rule, bool atTerminus)
{
    Label3->setCaption(stopLines());
    say(Stops[CurrentStop]);

    if (!rule.gatedByDisplaySwitch || displaySwitchOn()) {
        switch (rule.fallBack) {
        case FallBack::Restart:
            Timer2->setEnabled(false);
            if (ShowLineDestination)
                Timer2->setEnabled(true);
            break;
        case FallBack::StartIfWanted:
            if (ShowLineDestination)
                Timer2->setEnabled(true);
            break;
        case FallBack::Start:
            Timer2->setEnabled(true);
            break;
        }

        clearSign();
        writeSign(Stops[CurrentStop]);

        tk::Text sentence = sentenceStart() + Stops[CurrentStop];
        if (atTerminus)
            sentence += terminusEnding();
        // The edit field carries the sentence to the clipboard.
        Edit1->setText8(sentence);
        Edit1->selectAll();
        cutAnnouncement(*Edit1);
        emit announced(sentence);
    }

    if (rule.movesMarker)
        Shape7->move(229, markerTop());
}

// The arrow keys step through the stops in the standard view and turn the
// pages of the menu; while a setting is typed (page 5) they do nothing.
void TForm2::Shape1MouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    if (MenuPage != 0) {
        menuPageUp();
        return;
    }
    if (!StopsLoaded || CurrentStop == 0)
        return;
    --CurrentStop;
    // Stepping back onto the first stop reaches the start of the route.
    finishStopCall(ArrowCall, CurrentStop == 0);
}

void TForm2::Shape2MouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    if (MenuPage != 0) {
        menuPageDown();
        return;
    }
    if (!StopsLoaded || CurrentStop + 1 >= StopCount)
        return;
    ++CurrentStop;
    // The entry after the last stop is always empty, and so is the entry
    // after a stop followed by an empty line: both end the route forwards.
    // CurrentStop + 1 <= StopCount <= MaxStops lies inside the list.
    const bool atTerminus = Stops[CurrentStop + 1u].empty();
    finishStopCall(ArrowCall, atTerminus);
}

// "Anzeige": whether the arrows and the number entry feed the sign and the
// clipboard. The switch is its caption colour; nothing else changes.
void TForm2::Label6Click()
{
    Label6->setFontColor(displaySwitchOn() ? tk::clBlack : tk::clWhite);
}

// The delay after a stop call has run out: back to line and destination,
// once, whatever the display switch says. While the line and destination are
// being entered, the sign stays dark; the entry's end writes the new text,
// which is what this fall-back would write then.
void TForm2::Timer2Timer()
{
    if (lineDestinationEntryOpen_) {
        Timer2->setEnabled(false);
        return;
    }
    clearSign();
    writeSign(LineDestinationText);
    Timer2->setEnabled(false);
}

void TForm2::Label01MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('1'); }
void TForm2::Label02MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('2'); }
void TForm2::Label03MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('3'); }
void TForm2::Label04MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('4'); }
void TForm2::Label05MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('5'); }
void TForm2::Label06MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('6'); }
void TForm2::Label07MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('7'); }
void TForm2::Label08MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('8'); }
void TForm2::Label09MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('9'); }
void TForm2::Label00MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('0'); }

// The keypad serves the stop-number entry unless a timer setting is being
// typed, whatever page the display shows.
void TForm2::Label0CMouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    if (EntryMode == 0)
        stopNumberClear();
    else
        settingClear();
}

void TForm2::Label0MClick()
{
    if (EntryMode == 0)
        stopNumberConfirm();
    else
        settingConfirm();
}

// "Endstelle" jumps to the far terminus, or back to the first stop when the
// unit already stands there. It is not gated by the display switch and always
// leads to the fall-back, on every page of the menu too.
void TForm2::Label9MouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    // A loaded file without a single line has no terminus to go to.
    if (!StopsLoaded || StopCount == 0)
        return;
    const int last = StopCount - 1;
    CurrentStop = std::uint8_t(CurrentStop == last ? 0 : last);
    finishStopCall(TerminusCall, false);
}

// The sign is cleared through its hidden Reset item, as every writer does.
void TForm2::clearSign()
{
    Sign.Reset1->trigger();
}

void TForm2::writeSign(const tk::Text& text)
{
    Sign.schreib(text);
}

void TForm2::digitKey(char digit)
{
    if (EntryMode == 0)
        stopNumberDigit(digit);
    else
        settingDigit(digit);
}

// The typed stop number lives in the display's lower text itself. After a
// stop call that text holds the stop lines, far longer than four characters,
// so the operator clears it with "C" before typing.
void TForm2::stopNumberDigit(char digit)
{
    const tk::Text& caption = Label3->Caption();
    if (caption.size() < 4)
        Label3->setCaption(caption + digit);
}

void TForm2::stopNumberClear()
{
    Label3->setCaption({});
}

void TForm2::stopNumberConfirm()
{
    const int number = readStopNumber(Label3->Caption());
    if (number < 0) {
        Label3->setCaption(notANumberMessage());
        say(notANumberMessage());
        return;
    }
    // A number beyond the data set selects nothing and keeps the digits.
    if (!StopsLoaded || number >= StopCount)
        return;
    CurrentStop = std::uint8_t(number);
    finishStopCall(NumberCall, false);
}
