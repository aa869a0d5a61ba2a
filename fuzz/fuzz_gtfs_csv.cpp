// Fuzzes the timetable CSV reader, and through it the feed reading, with
// arbitrary bytes.
//
// The bytes are read as CSV three ways: in one piece, one byte at a time, and
// in pieces whose sizes come from the input itself. All three must give the
// same records, the same line numbers and the same error, and every record
// must keep within the reader's bounds. Then the same bytes stand in for each
// file of a feed in memory, and listing its routes, then reading one line of
// it by name as --linie NAME does, must each end in a result or a refusal
// (transit::Error), never anything else. The name is the input's last line
// (a zip's comment, where the bytes are a zip), so that the fuzzer can name a
// line of the feed, a near one (the closest names are then looked for) or a
// line several agencies run. For each direction of a line read, the lines
// that call at its stops or their stations are read as --zusatz-ausgabe
// does, and each stop's sentence must keep to its bound and stay one line
// of text without control characters.

#include <csv.h>
#include <error.h>
#include <feed.h>
#include <gtfs.h>
#include <interchange.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Reading {
    std::vector<std::vector<std::string>> records;
    std::vector<std::uint64_t> lines;
    std::string error;
};

Reading readInPieces(std::string_view input, const std::vector<std::size_t>& pieces, std::size_t fieldsNeeded = 0)
{
    Reading reading;
    transit::csv::Reader reader([&](const transit::csv::Record& record, std::uint64_t line) {
        std::size_t bytes = 0;
        for (const std::string_view field : record)
            bytes += field.size();
        if (record.empty() || record.size() > transit::csv::MaxFields || bytes > transit::csv::MaxRecordBytes
            || (fieldsNeeded > 0 && record.size() > fieldsNeeded))
            std::abort();
        reading.records.emplace_back(record.begin(), record.end());
        reading.lines.push_back(line);
        return true;
    });
    reader.setFieldsNeeded(fieldsNeeded);
    std::size_t at = 0;
    std::size_t next = 0;
    bool going = true;
    while (going && at < input.size()) {
        const std::size_t size = std::min(input.size() - at, std::max<std::size_t>(pieces[next++ % pieces.size()], 1));
        going = reader.feed(input.substr(at, size));
        at += size;
    }
    if (going)
        reader.finish();
    reading.error = reader.error();
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const Reading whole = readInPieces(input, {size});
    const Reading bytewise = readInPieces(input, {1});
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < size && i < 16; ++i)
        sizes.push_back(data[i] % 13);
    if (sizes.empty())
        sizes.push_back(1);
    const Reading chosen = readInPieces(input, sizes);
    for (const Reading* other : {&bytewise, &chosen})
        if (other->records != whole.records || other->lines != whole.lines || other->error != whole.error)
            std::abort();
    // Taking only the first fields, as a table reader does: the same
    // records, cut, whether a line is split in place or byte by byte.
    const std::size_t needed = size > 0 ? data[0] % 4 + 1 : 1;
    const Reading cutWhole = readInPieces(input, {size}, needed);
    const Reading cutBytewise = readInPieces(input, {1}, needed);
    if (cutWhole.records != cutBytewise.records || cutWhole.lines != cutBytewise.lines
        || cutWhole.error != cutBytewise.error)
        std::abort();

    // A feed whose every file is these bytes, given as a folder would be:
    // through the zip reader only when the bytes are a zip.
    std::unique_ptr<transit::Feed> feed;
    try {
        feed = transit::Feed::fromZipBytes(std::string(input));
        transit::listRoutes(*feed);
    } catch (const transit::Error&) {
    }
    if (feed) {
        const std::size_t lastLine = input.rfind('\n');
        const std::string name(input.substr(lastLine == std::string_view::npos ? 0 : lastLine + 1, 64));
        try {
            const transit::Route route = transit::readRoute(*feed, name);
            for (const transit::Direction& direction : route.directions) {
                const std::vector<std::vector<transit::CallingLine>> calling
                    = transit::callingLines(*feed, route, direction.stopIds, direction.stations);
                if (calling.size() != direction.stops.size())
                    std::abort();
                for (const std::vector<transit::CallingLine>& lines : calling) {
                    const std::string text = transit::interchangeText(lines);
                    if (text.size() > transit::MaxInterchangeTextBytes || text.empty() != lines.empty())
                        std::abort();
                    for (const char c : text)
                        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                            std::abort();
                }
            }
        } catch (const transit::Error&) {
        }
    }
    return 0;
}
