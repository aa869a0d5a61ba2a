#pragma once
// `pendralumovista --gtfs FEED …`: a route's stop list from a transit
// agency's published timetable, written as a stop file and, on request,
// loaded into the running simulator. The feed is read by transit/; here are
// the command's own options, the sign's limits and what the user is told.

#include <cstdio>
#include <span>

namespace gtfscommand {

// `arguments` are those after --gtfs. Returns the exit status: 0 done, 2 for
// a wrong call or a feed that gives no stop list (one line on `err`, nothing
// written), 1 when the running simulator could not take the list.
int run(std::span<char* const> arguments, std::FILE* out = stdout, std::FILE* err = stderr);

} // namespace gtfscommand
