#pragma once
// A small streaming reader of comma-separated values as RFC 4180 has them,
// with the leniencies that published timetables need: a UTF-8 byte-order mark
// at the start is skipped; a record ends with CR LF, LF or a lone CR; a quoted
// field may hold commas, line breaks and doubled quotes. Bytes are fed in
// pieces of any size and each complete record is handed to a callback, so a
// file of gigabytes passes through in one pass with one record in memory.
//
// Every record is bounded (fields, bytes): a line of ten million columns is
// refused at the first field beyond the bound, not gathered.
//
// Most lines of a timetable hold no quote and no lone CR. Such a line, found
// whole in the bytes fed, is split where it lies: its fields are views into
// those bytes, nothing is copied, and the line's end, the next quote and the
// next CR are each looked for once per piece with memchr, not byte by byte.
// Everything else (quotes, a lone CR, a line across two pieces) goes through
// the byte-wise state machine; both give the same records.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace transit::csv {

// A timetable file has a few dozen columns and rows of a few hundred bytes.
constexpr std::size_t MaxFields = 1000;
constexpr std::size_t MaxRecordBytes = std::size_t(1) << 20;

// The fields of one record. The views are valid only during the callback.
// A plain line read for a few fields (Reader::setFieldsNeeded) is split only
// as far as the fields asked for: a row whose first field already says it is
// of no interest costs one field's split.
class Record {
public:
    std::size_t size() const
    {
        splitAll();
        return fields_.size();
    }
    bool empty() const { return size() == 0; }
    std::string_view operator[](std::size_t k) const
    {
        splitTo(k);
        return fields_[k];
    }
    // The k-th field, or empty where the record has fewer.
    std::string_view field(std::size_t k) const
    {
        splitTo(k);
        return k < fields_.size() ? fields_[k] : std::string_view();
    }
    std::vector<std::string_view>::const_iterator begin() const
    {
        splitAll();
        return fields_.begin();
    }
    std::vector<std::string_view>::const_iterator end() const
    {
        splitAll();
        return fields_.end();
    }

private:
    friend class Reader;
    void splitTo(std::size_t k) const
    {
        if (fields_.size() <= k && rest_)
            splitThrough(k);
    }
    void splitAll() const
    {
        if (rest_)
            splitThrough(SIZE_MAX);
    }
    void splitNext() const;
    // Splits until field k is there or the line ends.
    void splitThrough(std::size_t k) const;

    mutable std::vector<std::string_view> fields_;
    // The part of the line not yet split; null once split to its end or to
    // the fields needed.
    mutable const char* rest_ = nullptr;
    const char* end_ = nullptr;
    std::size_t limit_ = 0;
};

class Reader {
public:
    // Called once per record, with the number of the line it starts on
    // (from 1). Returning false stops the reading.
    using Callback = std::function<bool(const Record& record, std::uint64_t line)>;

    explicit Reader(Callback callback);

    // Takes the next bytes. Returns false once reading has stopped: the
    // callback asked for it, or the input broke a bound (see error()).
    bool feed(std::string_view bytes);
    // The end of the input: an unfinished last record is a record. An open
    // quote at the end is an error.
    bool finish();

    // Only the first `count` fields of a record are needed (0: all). A record
    // then holds at most that many, and a plain line is split no further; the
    // byte bound still holds for every line, the field bound for the fields
    // split.
    // A reader of one large table sets this once it knows its columns.
    void setFieldsNeeded(std::size_t count) { fieldsNeeded_ = count; }

    // Empty while all is well; otherwise what was wrong, in German.
    const std::string& error() const { return error_; }
    // The line the reader has reached (from 1).
    std::uint64_t line() const { return line_; }

private:
    enum class State { RecordStart, FieldStart, Unquoted, Quoted, QuoteInQuoted, AfterCR };
    bool endField();
    bool endRecord();
    bool fail(std::string message);
    // Adds bytes to the record's fields, or fails on a record over MaxRecordBytes.
    bool appendToRecord(const char* from, std::size_t count);
    bool splitPlainLine(const char* begin, const char* end);

    Callback callback_;
    State state_ = State::RecordStart;
    std::string buffer_;          // the bytes of the record's fields, back to back
    std::vector<std::size_t> ends_; // where each field ends in buffer_
    Record record_;
    std::size_t fieldsNeeded_ = 0;
    std::uint64_t line_ = 1;
    std::uint64_t recordLine_ = 1;
    std::size_t bomMatched_ = 0;
    bool atStart_ = true;
    bool quotedSeen_ = false;
    bool fieldsDropped_ = false;   // the record had more fields than needed
    bool stopped_ = false;
    std::string error_;
};

} // namespace transit::csv
