// Fuzzes the stop data set reader with arbitrary bytes of any length.
//
// The bytes are split three ways: in one piece, one byte at a time, and in
// pieces whose sizes come from the input itself. Each way must give exactly
// the names that a plain reading of the file rules gives:
//  - LF ends a line, so no name holds an LF;
//  - every CR is dropped (before an LF it belongs to the line end, elsewhere
//    it is left out of the name), so no name holds a CR;
//  - the last line may lack its line end;
//  - byte 26 where a line would begin ends the data;
//  - a line beginning after 99 names makes the file too long.
// The splitter must say "nothing more wanted" exactly when the byte that
// ended the data or began the 100th line was in the piece just fed.
// Then the same bytes go through a file on disk and stopfile::read, which
// must agree with the splitter; read once more with a size limit taken from
// the input (16 times its first byte, so that the fuzzer reaches it), a file
// larger than the limit must be refused with no names, and any other must
// read as before.

#include "scratchfile.h"

#include <stopfile.h>

#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr size_t NoStop = size_t(-1);

struct Expected {
    std::vector<tk::Text> names;
    bool tooMany = false;
    // The index of the byte at which reading stops, or NoStop.
    size_t stopAt = NoStop;
};

Expected readByTheRules(std::string_view bytes)
{
    Expected expected;
    tk::Text line;
    bool atLineStart = true;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char byte = bytes[i];
        if (atLineStart) {
            if (byte == '\x1a') {
                expected.stopAt = i;
                return expected;
            }
            if (expected.names.size() == size_t(stopfile::MaxStops)) {
                expected.tooMany = true;
                expected.stopAt = i;
                return expected;
            }
            atLineStart = false;
        }
        if (byte == '\n') {
            expected.names.push_back(line);
            line.clear();
            atLineStart = true;
        } else if (byte != '\r') {
            line.push_back(byte);
        }
    }
    if (!atLineStart)
        expected.names.push_back(line);
    return expected;
}

// Stops the run so that libFuzzer records the input.
[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "fuzz_stopfile: %s\n", what);
    std::abort();
}

void check(bool condition, const char* what)
{
    if (!condition)
        finding(what);
}

void checkNames(const std::vector<tk::Text>& names, bool tooMany, const Expected& expected, const char* how)
{
    check(names.size() <= size_t(stopfile::MaxStops), how);
    for (const tk::Text& name : names)
        check(name.find('\n') == tk::Text::npos && name.find('\r') == tk::Text::npos, how);
    check(tooMany == expected.tooMany, how);
    check(!tooMany || names.size() == size_t(stopfile::MaxStops), how);
    check(names == expected.names, how);
}

// Feeds the bytes in pieces of the sizes that nextSize hands out, the way
// the file reader does: feeding stops once the splitter wants nothing more.
template <typename NextSize>
void splitInPieces(std::string_view bytes, const Expected& expected, NextSize nextSize, const char* how)
{
    stopfile::LineSplitter splitter;
    size_t offset = 0;
    bool wanted = true;
    while (offset < bytes.size()) {
        const size_t size = std::min(nextSize(), bytes.size() - offset);
        wanted = splitter.feed(bytes.substr(offset, size));
        offset += size;
        // Before the stop every byte is wanted; from the piece holding it on
        // none is.
        check(wanted == (expected.stopAt == NoStop || expected.stopAt >= offset), how);
        if (!wanted) {
            // More bytes after the end change nothing.
            check(!splitter.feed(bytes.substr(offset)), how);
            check(!splitter.feed("x\r\nname\n"), how);
            break;
        }
    }
    splitter.finish();
    const bool tooMany = splitter.tooManyLines();
    checkNames(splitter.takeNames(), tooMany, expected, how);
}

void readThroughFile(std::string_view bytes, const Expected& expected)
{
    // A machine without a writable temporary folder still fuzzes the
    // splitter; the file path is skipped rather than reported.
    if (!scratchfile::write(bytes))
        return;
    const stopfile::Result result = stopfile::read(scratchfile::path);
    if (expected.tooMany) {
        check(result.status == stopfile::Result::Status::TooManyStops, "read: too many lines not refused");
        check(result.names.empty(), "read: names handed back with a refusal");
        const tk::Text message = stopfile::withFullStop(stopfile::failureMessage(result));
        check(!message.empty() && message.back() == '.', "read: message without full stop");
    } else {
        check(result.ok(), "read: a readable file failed");
        check(result.names == expected.names, "read: names differ from the splitter's");
    }

    const std::uint64_t limit = bytes.empty() ? 0 : 16u * static_cast<unsigned char>(bytes[0]);
    const stopfile::Result limited = stopfile::read(scratchfile::path, limit);
    if (bytes.size() > limit) {
        check(limited.status == stopfile::Result::Status::TooLarge, "read: a file over the limit not refused");
        check(limited.names.empty(), "read: names handed back with a file over the limit");
        const tk::Text message = stopfile::withFullStop(stopfile::failureMessage(limited));
        check(!message.empty() && message.back() == '.', "read: message without full stop");
    } else {
        check(limited.status == result.status && limited.names == result.names,
              "read: a limit the file keeps to changed the result");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    scratchfile::make("fuzz_stopfile", "stops.txt");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Expected expected = readByTheRules(bytes);

    splitInPieces(bytes, expected, [&] { return bytes.size(); }, "splitter: one piece");
    splitInPieces(bytes, expected, [] { return size_t(1); }, "splitter: one byte at a time");
    // Sizes from the input's own bytes, so the fuzzer steers where pieces
    // end. Empty pieces come in too, but never two in a row, so feeding
    // always moves on.
    size_t next = 0;
    bool emptyLast = false;
    splitInPieces(bytes, expected, [&]() -> size_t {
        const unsigned char b = static_cast<unsigned char>(bytes[next++ % bytes.size()]);
        if (b % 4 == 0 && !emptyLast) {
            emptyLast = true;
            return 0;
        }
        emptyLast = false;
        return b % 4 == 1 ? 1 : size_t(b >> 2) + 1;
    }, "splitter: pieces chosen by the input");

    readThroughFile(bytes, expected);
    return 0;
}
