#pragma once
// Names from a feed (UTF-8) made into what a stop file and the sign carry:
// Windows-1252 bytes. A character the code page has no form for gets a
// replacement a reader would accept (the letter without its accent, a plain
// dash, a blank), or "?" where there is none; every replacement is recorded,
// so that it can be listed.

#include <map>
#include <string>
#include <string_view>

namespace transit {

// The longest name kept, in characters: what the input boxes take.
constexpr std::size_t MaxNameLength = 255;

class NameConverter {
public:
    // Windows-1252 bytes for the UTF-8 name. Control characters become
    // blanks; a name beyond MaxNameLength characters is cut there.
    std::string convert(std::string_view utf8);

    // What was replaced so far, each original (UTF-8) with its replacement
    // (UTF-8), in the order of the originals' code points.
    const std::map<std::string, std::string>& replacements() const { return replacements_; }
    bool cut() const { return cut_; }

private:
    std::map<std::string, std::string> replacements_;
    bool cut_ = false;
};

} // namespace transit
