#pragma once
// A route's stop list from a timetable feed (GTFS). The feed's files are read
// in one pass each; stop_times.txt, by far the largest, as a stream in which
// only the trips of the routes asked for are kept, and of those only one copy
// of each distinct stop sequence.

#include "feed.h"

#include <cstdint>
#include <string>
#include <vector>

namespace transit {

// One direction of a route: the stop sequence most of its trips run.
struct Direction {
    // 0 or 1 as the feed gives it; -1 where the feed names no direction.
    int id = -1;
    // UTF-8, as in the feed; the pronunciation empty where the feed has none.
    std::vector<std::string> stops;
    std::vector<std::string> pronunciations;
    std::string destination;
    std::uint64_t tripsOnSequence = 0;
    std::uint64_t tripsOnOthers = 0;
};

struct Route {
    std::string id;
    std::string shortName;
    std::string longName;
    std::string agency;
    int type = -1;
    // In the order of their ids, those without one first.
    std::vector<Direction> directions;
};

// The German word for a route_type ("Bus", "Straßenbahn", ...).
std::string modeName(int routeType);

// Every route of the feed with its directions, in the order of routes.txt.
std::vector<Route> listRoutes(Feed& feed);

// The route a rider calls NAME: its short name, else its route_id, else its
// long name (ignoring case). Routes that share a short name and an agency are
// one line. Throws Error when there is no such route (naming the closest) or
// when several agencies run one of that name.
Route readRoute(Feed& feed, const std::string& name);

} // namespace transit
