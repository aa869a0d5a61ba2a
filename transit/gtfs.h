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

// One direction of a line: the stop sequence most of its trips run.
struct Direction {
    // 0 or 1 as the feed gives it; -1 where the feed names no direction for
    // some trips of a line and does for others.
    int id = -1;
    // The feed gives no direction_id for any trip of the line, and the id
    // comes from the order in which the trips run their stops: 0 the way of
    // the most common stop list of the line's first route, 1 against it.
    // So a line the agency splits into one route per direction, or one route
    // that runs both ways, has both directions.
    bool inferred = false;
    // The routes (route_id) whose trips run this way, in the order of
    // routes.txt.
    std::vector<std::string> routeIds;
    // UTF-8, as in the feed; the pronunciation empty where the feed has none.
    std::vector<std::string> stops;
    std::vector<std::string> pronunciations;
    // Per stop its stop_id and its parent_station (empty where it has none),
    // for the lines that call at the same stop or station.
    std::vector<std::string> stopIds;
    std::vector<std::string> stations;
    std::string destination;
    std::uint64_t tripsOnSequence = 0;
    std::uint64_t tripsOnOthers = 0;
    // What the user should know of the list's stops (a stop_id given twice),
    // one German sentence each.
    std::vector<std::string> notes;
};

// A line as a rider sees it: the routes of one short name and agency (one
// route, mostly), named by the first of them.
struct Route {
    std::string id;
    // Every route of the line, in the order of routes.txt.
    std::vector<std::string> routeIds;
    std::string shortName;
    std::string longName;
    std::string agency;
    int type = -1;
    // In the order of their ids, those without one first.
    std::vector<Direction> directions;
    // Why no stop list comes of the line (empty when one does): a stop
    // missing from stops.txt, a row that cannot be read, with file and line.
    std::string problem;
    // The line is demand-responsive (GTFS-Flex): its trips serve zones, not
    // fixed stops; `problem` says so.
    bool demandResponsive = false;
};

// The German word for a route_type ("Bus", "Straßenbahn", ...).
std::string modeName(int routeType);

// Every line of the feed with its directions, in the order of routes.txt
// (of its first route). A line that gives no stop list has its problem set
// and no directions; the others are listed all the same. Throws Error only
// for what spoils the whole feed (a missing file or column, a zip bomb).
std::vector<Route> listRoutes(Feed& feed);

// The line a rider calls NAME: its short name, else its route_id, else its
// long name (ignoring case). Routes that share a short name and an agency are
// one line. Throws Error when there is no such route (naming the closest),
// when several agencies run one of that name, or with the line's problem.
Route readRoute(Feed& feed, const std::string& name);

// A line that calls at a stop: named by its route_short_name, else its
// route_long_name (empty where it has neither), and its route_type.
struct CallingLine {
    std::string name;
    int type = -1;
    auto operator<=>(const CallingLine&) const = default;
};

// For each of the stops (stop_id and parent_station, as a Direction gives
// them), the lines other than `own` that call at the same stop or at another
// stop of the same station (its parent_station, or the station itself), each
// once. Reads routes.txt, stops.txt, stop_times.txt and trips.txt once more,
// each as a stream; what is kept grows with the trips that call at these
// stops, not with the feed. Throws Error.
std::vector<std::vector<CallingLine>> callingLines(Feed& feed, const Route& own, const std::vector<std::string>& stopIds,
                                                   const std::vector<std::string>& stations);

} // namespace transit
