#pragma once
// The small client in the program itself: `pendralumovista --load FILE
// --press KEY…` acts on the simulator already running on this desktop,
// through its door on the session bus, and ends. It never starts one.

#include <cstdio>
#include <span>

class QString;

namespace bus {

// Loads the stop file (when `path` is given) into the running simulator, as
// its load dialog would, then presses the keys one after the other, by the
// names its PressKey takes; the caller has checked the names. Returns 0; or
// prints one line to `err` (none runs, it does not answer, it refuses the
// file or a key, with its message) and returns 1 at the first failure.
int drive(const char* path, std::span<char* const> keys, std::FILE* err = stderr);

// Loads the stop file into the running simulator and then sets its line and
// destination, as the operator would on menu page 1. Returns 0, or prints one
// line and returns 1 as drive does.
int loadRoute(const QString& path, const QString& line, const QString& destination, std::FILE* err = stderr);

} // namespace bus
