#include "snapshot.h"

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>

#include <QApplication>

namespace state {

namespace {

// The lines of a caption; a carriage return starts a new one.
std::vector<Text> lines(const Text& caption)
{
    std::vector<Text> result(1);
    for (const char c : caption)
        if (c == tk::CR)
            result.emplace_back();
        else
            result.back() += c;
    return result;
}

} // namespace

Snapshot read(const TForm1& sign, const TForm2& unit)
{
    Snapshot now;
    now.signPages = sign.pages();
    now.signPageShown = sign.pageShown();
    now.signText = sign.shownText();
    now.routeLoaded = unit.StopsLoaded;
    now.stops.assign(unit.Stops.begin(), unit.Stops.begin() + unit.StopCount);
    now.currentStop = unit.CurrentStop;
    if (unit.CurrentStop < TForm2::StopCapacity)
        now.currentStopName = unit.Stops[unit.CurrentStop];
    now.line = unit.LineNumber;
    now.destination = unit.Destination;
    now.lineDestinationText = unit.LineDestinationText;
    now.directionB = unit.DirectionB;
    now.displayOn = unit.displaySwitchOn();
    now.autoAdvance = unit.autoAdvanceOn();
    now.menuPage = unit.MenuPage;
    now.entryMode = unit.EntryMode;
    now.displayTitle = lines(unit.Label1->Caption());
    now.displayLines = lines(unit.Label3->Caption());
    now.showLineDestination = unit.ShowLineDestination;
    now.fallBackDelaySeconds = unsigned(unit.Timer2->Interval() / 1000);
    now.autoIntervalSeconds = unit.AutoIntervalSeconds;
    now.autoScatterSeconds = unit.AutoScatterSeconds;
    now.dialogOpen = QApplication::activeModalWidget() != nullptr;
    return now;
}

} // namespace state
