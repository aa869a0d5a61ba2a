#include "csv.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace transit::csv {

namespace {
constexpr char bom[] = "\xEF\xBB\xBF";
}

Reader::Reader(Callback callback) : callback_(std::move(callback))
{
    buffer_.reserve(4096);
    ends_.reserve(64);
}

bool Reader::fail(std::string message)
{
    if (error_.empty())
        error_ = std::move(message);
    stopped_ = true;
    return false;
}

bool Reader::appendToRecord(const char* from, std::size_t count)
{
    if (buffer_.size() + count > MaxRecordBytes)
        return fail("Zeile " + std::to_string(recordLine_) + " ist länger als "
                    + std::to_string(MaxRecordBytes >> 20) + " MB");
    buffer_.append(from, count);
    return true;
}

bool Reader::endField()
{
    // Fields beyond those needed are not kept; their bytes count still.
    if (fieldsNeeded_ > 0 && ends_.size() >= fieldsNeeded_) {
        fieldsDropped_ = true;
        return true;
    }
    if (ends_.size() >= MaxFields)
        return fail("Zeile " + std::to_string(recordLine_) + " hat mehr als " + std::to_string(MaxFields)
                    + " Spalten");
    ends_.push_back(buffer_.size());
    return true;
}

bool Reader::endRecord()
{
    if (!endField())
        return false;
    // A line with nothing on it is no record: some files end with a few.
    const bool blank = ends_.size() == 1 && ends_[0] == 0 && !quotedSeen_ && !fieldsDropped_;
    if (!blank) {
        record_.fields_.clear();
        record_.rest_ = nullptr;
        std::size_t start = 0;
        for (const std::size_t end : ends_) {
            record_.fields_.emplace_back(buffer_.data() + start, end - start);
            start = end;
        }
        if (!callback_(record_, recordLine_))
            stopped_ = true;
    }
    buffer_.clear();
    ends_.clear();
    quotedSeen_ = false;
    fieldsDropped_ = false;
    return !stopped_;
}

namespace {

// The first comma in [at, end), or end. Eight bytes are looked at in one
// step: a byte of the word XOR ",,,,,,,," is zero where the comma is, and the
// lowest such byte is found exactly by the borrow trick.
const char* findComma(const char* at, const char* end)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    constexpr std::uint64_t commas = ones * std::uint64_t(',');
    while (end - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, at, 8);
        word ^= commas;
        const std::uint64_t zeros = (word - ones) & ~word & highs;
        if (zeros != 0) {
            // Bytes are in memory order in the low bits first (little-endian).
            if constexpr (std::endian::native == std::endian::little)
                return at + (std::countr_zero(zeros) >> 3);
            break;
        }
        at += 8;
    }
    while (at != end && *at != ',')
        ++at;
    return at;
}

} // namespace

void Record::splitNext() const
{
    const char* comma = findComma(rest_, end_);
    fields_.emplace_back(rest_, std::size_t(comma - rest_));
    rest_ = comma == end_ || fields_.size() == limit_ ? nullptr : comma + 1;
}

// As splitNext until field k, but with every comma of an eight-byte word
// taken from one look at it: the fields of a timetable row are a few bytes
// long, several to a word. The borrow trick is exact for the lowest comma
// of a word only; a byte above one may be flagged falsely (a '-' after a
// comma), so each flagged byte is checked.
void Record::splitThrough(std::size_t k) const
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    constexpr std::uint64_t commas = ones * std::uint64_t(',');
    const char* start = rest_;
    const char* at = rest_;
    // A field ends at `comma`; false once no more are to be split.
    const auto take = [&](const char* comma) {
        fields_.emplace_back(start, std::size_t(comma - start));
        start = comma + 1;
        if (comma == end_ || fields_.size() == limit_) {
            rest_ = nullptr;
            return false;
        }
        rest_ = start;
        return fields_.size() <= k;
    };
    if constexpr (std::endian::native == std::endian::little) {
        while (end_ - at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, at, 8);
            word ^= commas;
            for (std::uint64_t zeros = (word - ones) & ~word & highs; zeros != 0; zeros &= zeros - 1) {
                const char* comma = at + (std::countr_zero(zeros) >> 3);
                if (*comma == ',' && !take(comma))
                    return;
            }
            at += 8;
        }
    }
    for (;; ++at)
        if ((at == end_ || *at == ',') && !take(at))
            return;
}

// A line without quotes or CR, whole in the bytes fed: its fields are split
// where they lie, when asked for if only a few are needed, else at once and
// counted against the bound.
bool Reader::splitPlainLine(const char* begin, const char* end)
{
    std::vector<std::string_view>& fields = record_.fields_;
    fields.clear();
    record_.rest_ = begin;
    record_.end_ = end;
    if (fieldsNeeded_ > 0 && fieldsNeeded_ <= MaxFields) {
        record_.limit_ = fieldsNeeded_;
    } else {
        record_.limit_ = MaxFields + 1;
        while (record_.rest_) {
            if (fields.size() >= MaxFields)
                return fail("Zeile " + std::to_string(recordLine_) + " hat mehr als " + std::to_string(MaxFields)
                            + " Spalten");
            record_.splitNext();
        }
    }
    if (!callback_(record_, recordLine_))
        stopped_ = true;
    return !stopped_;
}

bool Reader::feed(std::string_view bytes)
{
    if (stopped_)
        return false;
    std::size_t i = 0;
    // The byte-order mark, which may itself arrive in pieces. Bytes that
    // began like one but were not are fed on as data.
    while (atStart_ && i < bytes.size()) {
        if (bytes[i] == bom[bomMatched_]) {
            ++i;
            if (++bomMatched_ == 3)
                atStart_ = false;
            continue;
        }
        atStart_ = false;
        const std::size_t matched = bomMatched_;
        bomMatched_ = 0;
        if (matched > 0 && !feed(std::string_view(bom, matched)))
            return false;
    }

    const std::size_t size = bytes.size();
    const char* data = bytes.data();
    // Where the next line feed, quote and CR lie in this piece (size: none),
    // each searched again only once passed.
    const auto next = [&](char wanted, std::size_t from) {
        const void* found = std::memchr(data + from, wanted, size - from);
        return found ? std::size_t(static_cast<const char*>(found) - data) : size;
    };
    std::size_t nextLF = 0, nextQuote = 0, nextCR = 0;
    bool searched = false;
    while (i < size) {
        if (state_ == State::RecordStart) {
            if (!searched || nextLF < i)
                nextLF = next('\n', i);
            if (!searched || nextQuote < i)
                nextQuote = next('"', i);
            if (!searched || nextCR < i)
                nextCR = next('\r', i);
            searched = true;
            const std::size_t lineEnd = nextLF;
            // A CR just before the line feed ends the line with it; one
            // anywhere else ends a record of its own.
            const std::size_t fieldsEnd = lineEnd > i && nextCR == lineEnd - 1 ? lineEnd - 1 : lineEnd;
            if (lineEnd < size && nextQuote > lineEnd && nextCR >= fieldsEnd && lineEnd - i <= MaxRecordBytes) {
                recordLine_ = line_++;
                // A line with nothing on it is no record.
                if (fieldsEnd > i && !splitPlainLine(data + i, data + fieldsEnd))
                    return false;
                i = lineEnd + 1;
                continue;
            }
        }
        const char byte = data[i];
        switch (state_) {
        case State::AfterCR:
            state_ = State::RecordStart;
            if (byte == '\n') {
                ++i;
                continue;
            }
            [[fallthrough]];
        case State::RecordStart:
            recordLine_ = line_;
            state_ = State::FieldStart;
            [[fallthrough]];
        case State::FieldStart:
            if (byte == '"') {
                state_ = State::Quoted;
                quotedSeen_ = true;
                ++i;
                continue;
            }
            state_ = State::Unquoted;
            [[fallthrough]];
        case State::Unquoted: {
            // The common case, taken in runs: everything up to the next
            // separator or line end belongs to the field. A quote inside an
            // unquoted field is taken as it stands.
            std::size_t end = i;
            while (end < size && data[end] != ',' && data[end] != '\n' && data[end] != '\r')
                ++end;
            if (!appendToRecord(data + i, end - i))
                return false;
            i = end;
            if (i == size)
                break;
            const char separator = data[i++];
            if (separator == ',') {
                if (!endField())
                    return false;
                state_ = State::FieldStart;
            } else {
                ++line_;
                state_ = separator == '\r' ? State::AfterCR : State::RecordStart;
                if (!endRecord())
                    return false;
            }
            break;
        }
        case State::Quoted: {
            std::size_t end = i;
            while (end < size && data[end] != '"') {
                if (data[end] == '\n')
                    ++line_;
                ++end;
            }
            if (!appendToRecord(data + i, end - i))
                return false;
            i = end;
            if (i < size) {
                ++i;
                state_ = State::QuoteInQuoted;
            }
            break;
        }
        case State::QuoteInQuoted:
            if (byte == '"') {
                // A doubled quote stands for one.
                buffer_.push_back('"');
                ++i;
                state_ = State::Quoted;
            } else {
                // The field's closing quote. Anything but a separator or a
                // line end after it is kept, as a careless writer meant it.
                state_ = State::Unquoted;
            }
            break;
        }
    }
    return !stopped_;
}

bool Reader::finish()
{
    if (stopped_)
        return false;
    if (atStart_ && bomMatched_ > 0) {
        atStart_ = false;
        const std::size_t matched = bomMatched_;
        bomMatched_ = 0;
        if (!feed(std::string_view(bom, matched)))
            return false;
    }
    switch (state_) {
    case State::Quoted:
        return fail("ein Anführungszeichen ab Zeile " + std::to_string(recordLine_) + " wird nie geschlossen");
    case State::FieldStart:
    case State::Unquoted:
    case State::QuoteInQuoted:
        endRecord();
        break;
    case State::RecordStart:
    case State::AfterCR:
        break;
    }
    state_ = State::RecordStart;
    stopped_ = true;
    return error_.empty();
}

} // namespace transit::csv
