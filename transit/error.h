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

// Why a call into the system failed (an errno value), in German, for the end
// of such a sentence. The C library's own text is English in most locales;
// a code without a German phrase here is named by its symbol (EXDEV).
std::string systemReason(int code);

// The same for a failure of the zip library (a ZIP_ER_ value), with the
// errno value it carries where the failure came from the system.
std::string zipReason(int zipCode, int systemCode);

} // namespace transit
