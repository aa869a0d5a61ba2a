#pragma once
// A timetable feed as agencies publish it: a zip of CSV files, or a folder of
// the same files unpacked. Files are read as streams, in pieces, never whole.
//
// A zip is read through libzip. What a zip may unpack to is bounded, so that a
// small file that inflates to terabytes (a zip bomb) is refused while it is
// being read, whatever its directory claims: see Limits.

#include "error.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace transit {

struct Limits {
    // All files read from one feed together. A national feed's largest file,
    // stop_times.txt, runs to a few gigabytes.
    std::uint64_t unpackedBytes = std::uint64_t(16) << 30;
    // A packed file that has unpacked this much or more ...
    std::uint64_t ratioCheckFrom = std::uint64_t(64) << 20;
    // ... may not have grown by more than this factor. Timetable text packs
    // about ten to one; deflate cannot exceed about a thousand to one, and
    // only a file made to do so comes near it.
    std::uint64_t maxRatio = 200;
};

// One file of the feed, opened for reading.
class FeedFile {
public:
    virtual ~FeedFile() = default;
    // Reads up to `size` bytes; 0 at the end. Throws Error.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
};

class Feed {
public:
    virtual ~Feed() = default;
    // A zip file or a folder; throws Error when it is neither or cannot be read.
    static std::unique_ptr<Feed> open(const std::string& path, Limits limits = {});
    // A zip held in memory (for the fuzz target and the tests).
    static std::unique_ptr<Feed> fromZipBytes(std::string bytes, Limits limits = {});

    virtual bool has(std::string_view name) const = 0;
    // Throws Error when the file is missing or cannot be opened.
    virtual std::unique_ptr<FeedFile> openFile(std::string_view name) = 0;
};

} // namespace transit
