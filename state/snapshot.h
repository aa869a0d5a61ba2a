#pragma once
// What the simulator shows to the outside, as one value: everything an
// outlet publishes (the door on the session bus, the web sign, a line to a
// real sign), read from the windows in one place. The texts are the
// program's own Windows-1252 bytes; each outlet converts them for its medium.

#include <text.h>

#include <cstdint>
#include <vector>

class TForm1;
class TForm2;

namespace state {

using tk::Text;

struct Snapshot {
    // The sign: its pages (none when dark, one, or two for a long text) and
    // the index of the page lit now, -1 when dark; `signText` as the sign
    // gives it in one text.
    std::vector<Text> signPages;
    int signPageShown = -1;
    Text signText;
    // The route: the stops loaded, the current one (its number, and its name
    // when the number lies inside the list).
    bool routeLoaded = false;
    std::vector<Text> stops;
    unsigned currentStop = 0;
    Text currentStopName;
    // Line and destination as entered, and the text the sign falls back to.
    Text line;
    Text destination;
    Text lineDestinationText;
    bool directionB = false;
    // The switches Anzeige and Auto.
    bool displayOn = false;
    bool autoAdvance = false;
    // What the keys act on, and the timer setting the keypad types.
    std::uint8_t menuPage = 0;
    std::uint8_t entryMode = 0;
    // The control unit's display, line by line.
    std::vector<Text> displayTitle;
    std::vector<Text> displayLines;
    // The timer settings.
    bool showLineDestination = false;
    unsigned fallBackDelaySeconds = 0;
    int autoIntervalSeconds = 0;
    int autoScatterSeconds = 0;
    // A modal dialog of the program is open; the unit takes nothing meanwhile.
    bool dialogOpen = false;
    // A line to real IBIS equipment is open (--ibis or --ibis-sign). Not in
    // the windows: the feed keeps it, as the line tells it.
    bool ibisConnected = false;

    bool operator==(const Snapshot&) const = default;
};

// What the windows show now.
Snapshot read(const TForm1& sign, const TForm2& unit);

} // namespace state
