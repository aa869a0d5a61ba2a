#pragma once
// The sentence the companion says after a stop's name about the lines one can
// change to there: "Umsteigemöglichkeit zu den Straßenbahnlinien 3 und 5, zum
// Bus 42 und zur S-Bahn S1." Lines of one mode are named together, the modes
// in a fixed order (trains first, then U-Bahn, tram, buses, ferries, lifts),
// the lines of a mode in the order of their numbers.

#include "gtfs.h"

#include <string>
#include <vector>

namespace transit {

// The lines named in one sentence at most; the rest are counted ("und zu
// 3 weiteren Linien").
constexpr std::size_t MaxLinesNamed = 8;
// A line's name longer than this (in characters) is left out of the
// sentence, which names its mode only: a long name is mostly a route's
// description ("Hauptbahnhof – Flughafen über Messe").
constexpr std::size_t MaxLineNameLength = 32;
// What a sentence comes to at most, in bytes of UTF-8, with the bounds above.
constexpr std::size_t MaxInterchangeTextBytes = 1500;

// One line of UTF-8 text, empty where there are no lines. Control characters
// in a name become blanks.
std::string interchangeText(const std::vector<CallingLine>& lines);

} // namespace transit
