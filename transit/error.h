#pragma once
// What goes wrong while reading a timetable feed: one German sentence for the
// person at the command line, without a closing full stop.

#include <stdexcept>
#include <string>

namespace transit {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

} // namespace transit
