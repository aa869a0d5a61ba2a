#pragma once
// The small client in the program itself: `pendralumovista --press KEY…` and
// `--load FILE` act on the simulator already running on this desktop,
// through its door on the session bus, and end. They never start one.

#include <cstdio>
#include <span>

class QString;

namespace bus {

// Presses the keys of the running simulator one after the other, by the
// names its PressKey takes. Returns 0; or, when none runs or a key is
// refused, prints one line to `err` and returns 1.
int pressKeys(std::span<char* const> keys, std::FILE* err = stderr);

// Loads the stop file into the running simulator, as its load dialog would.
// Returns 0; or prints one line (none runs, or the file is refused, with the
// message the simulator's box would show) and returns 1.
int loadStops(const char* path, std::FILE* err = stderr);

// Loads the stop file into the running simulator and then sets its line and
// destination, as the operator would on menu page 1. Returns 0, or prints one
// line and returns 1 as loadStops does.
int loadRoute(const QString& path, const QString& line, const QString& destination, std::FILE* err = stderr);

} // namespace bus
