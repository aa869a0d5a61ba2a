#include "Pendralumovista2.h"

#include <platform.h>

#include <algorithm>
#include <climits>
#include <cstdint>

// Automatic advance: "Auto" starts and stops the step timer, each tick turns
// round at either end of the route and then presses an arrow key for the
// operator, and every step waits an interval of random length.

namespace {

constexpr std::int64_t MillisecondsPerSecond = 1000;

// The shortest step. An interval of 0 would leave the timer enabled but
// silent while "Auto" still shows on, and a negative one means nothing.
constexpr std::int64_t ShortestStepSeconds = 1;
// The longest step the timer can count, in whole seconds.
constexpr std::int64_t LongestStepSeconds = INT_MAX / MillisecondsPerSecond;

const tk::Text& directionA()
{
    static const tk::Text text = "A";
    return text;
}

const tk::Text& directionB()
{
    static const tk::Text text = "B";
    return text;
}

} // namespace

// Uniformly from I - S to I + S - 1 whole seconds, in milliseconds. The menu
// only checks the scatter against the interval when both are typed in one go:
// leaving it after a new interval keeps the former scatter, so the pair may
// stand as S >= I here, and the fields are plain numbers anyway. Whatever they
// hold, the arithmetic is done in 64 bits and the result kept between one
// second and the longest interval the timer can count, so that automatic
// advance never stops by itself while "Auto" shows on.
int TForm2::drawAutoInterval()
{
    const std::int64_t interval = AutoIntervalSeconds;
    // A negative scatter makes no sense; it counts as none.
    const std::int64_t scatter = std::max<std::int64_t>(AutoScatterSeconds, 0);
    const std::int64_t choices = std::min<std::int64_t>(2 * scatter, INT_MAX);
    // The source is not asked when there is nothing to choose.
    const std::int64_t drawn = choices > 0 ? tk::platform().random(int(choices)) : 0;
    const std::int64_t seconds =
        std::clamp(drawn + interval - scatter, ShortestStepSeconds, LongestStepSeconds);
    return int(seconds * MillisecondsPerSecond);
}

// "Auto": on draws the first interval and starts the timer, so the first step
// comes one interval later; off stops it. The direction is left as it is.
void TForm2::Label7Click()
{
    if (!autoAdvanceOn()) {
        Timer3->setInterval(drawAutoInterval());
        Timer3->setEnabled(true);
        Label7->setFontColor(tk::clWhite);
    } else {
        Timer3->setEnabled(false);
        Label7->setFontColor(tk::clBlack);
    }
}

// A double click flips the direction by hand. The click that comes before it
// has already switched automatic advance once. The destination texts stay
// until the next turn at an end.
void TForm2::Label7DblClick()
{
    DirectionB = !DirectionB;
    Label10->setCaption(DirectionB ? directionB() : directionA());
}

void TForm2::Timer3Timer()
{
    // The turn tests look at the stop before the step, so the tick that finds
    // the vehicle at an end turns and steps away from it at once. The new
    // terminus becomes the destination in the display's top line (on a menu
    // page too) and in the text the sign falls back to; the sign itself shows
    // it at its next fall-back. With a single stop both ends coincide: the
    // tick turns to "B" and straight back to "A".
    //
    // Without stops there is no terminus to name, so there is no turn. The
    // arrow key is still pressed, as the operator's finger would: it checks
    // for a data set itself and steps nothing, while on a menu page it turns
    // the page just as a press does.
    if (StopsLoaded && StopCount > 0) {
        const std::size_t last = StopCount - 1u;
        if (CurrentStop == last) {
            DirectionB = true;
            Label10->setCaption(directionB());
            LineDestinationText = "  " + LineNumber + " " + Stops[0];
            Label1->setCaption(Stops[0]);
        }
        if (CurrentStop == 0) {
            DirectionB = false;
            Label10->setCaption(directionA());
            LineDestinationText = "  " + LineNumber + " " + Stops[last];
            Label1->setCaption(Stops[last]);
        }
    }

    if (DirectionB)
        Shape1MouseDown();
    else
        Shape2MouseDown();

    // A running timer with a new interval counts it from now on; with the
    // same interval its countdown, restarted by this tick, goes on.
    Timer3->setInterval(drawAutoInterval());
}
