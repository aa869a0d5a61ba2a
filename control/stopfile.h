#pragma once
// Reading a stop data set: a plain Windows-1252 text file with one stop name
// per line in route order. The bytes are taken as they are; nothing is
// converted. This reader knows nothing of the control unit: it hands back the
// names or the reason it could not, and the control unit decides what to do.

#include <text.h>

#include <QString>
#include <cstdint>
#include <string_view>
#include <vector>

namespace stopfile {

// The control unit holds 100 entries, and the entry after the last stop must
// stay empty, so a data set holds at most 99 stops.
constexpr int MaxStops = 99;

constexpr char EndOfData = '\x1a';

// The largest file read as a stop data set: 1 MiB. A real stop list is a few
// kilobytes (99 names of 50 characters are 5 KB), and 99 names of 10 000
// characters each, far longer than any sign can sensibly page, still fit. A
// larger file is no stop list: it is refused from its size before a byte is
// read, so memory and time stay bounded whatever is chosen in the dialog, and
// what a loaded name costs to show on the display and the sign stays small.
constexpr std::uint64_t MaxFileBytes = std::uint64_t(1) << 20;

// Splits the bytes of a stop data set into names, fed in pieces of any size:
//  - CR LF or a lone LF ends a line; a CR not followed by LF is left out of
//    the name and the line goes on;
//  - the last line may lack its line end; an empty line is a stop;
//  - blanks belong to the name, and a line has no length limit;
//  - byte 26 where a line would begin ends the data; inside a line it is an
//    ordinary byte.
// A line beyond MaxStops is not collected: the splitter stops and reports it.
class LineSplitter {
public:
    // Takes the next bytes. Returns false once nothing more is wanted (the
    // data has ended or there are too many lines).
    bool feed(std::string_view bytes);
    // The end of the file: an unfinished last line is a line.
    void finish();

    bool tooManyLines() const { return tooMany_; }
    std::vector<tk::Text> takeNames() { return std::move(names_); }

private:
    void endLine();

    std::vector<tk::Text> names_;
    tk::Text line_;
    bool atLineStart_ = true;
    bool pendingCR_ = false;
    bool ended_ = false;
    bool tooMany_ = false;
};

struct Result {
    enum class Status { Read, Failed, TooManyStops, TooLarge, OutOfMemory };
    Status status = Status::Failed;
    // The names, when read.
    std::vector<tk::Text> names;
    // The platform's error number, when failed.
    int errorNumber = 0;
    // The size limit the file was measured against, when too large.
    std::uint64_t sizeLimit = 0;

    bool ok() const { return status == Status::Read; }
};

// Opens, reads and closes the file. Either every name is read or the result
// tells why not; a caller never gets half a data set. A file larger than
// maxBytes is refused; an allocation failure while reading is a result too.
Result read(const QString& path, std::uint64_t maxBytes = MaxFileBytes);

// What the operator is told when a load fails, without a closing full stop.
tk::Text failureMessage(const Result& result);

// The message box adds a full stop unless the message already ends in one.
tk::Text withFullStop(tk::Text message);

} // namespace stopfile
