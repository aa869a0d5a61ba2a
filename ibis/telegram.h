#pragma once
// IBIS telegrams, the vehicle bus on which an on-board computer tells the
// signs what to show: the line number (DS001), the destination (DS003a) and
// the stop called (DS009, in the form of a 20-character sign). A telegram is
// its type letters and text in 7-bit characters, a carriage return, and a
// check byte: 0x7F XOR every byte before it, the carriage return included.
//
// Both ends are here and both are pure: the encoder turns two snapshots into
// the telegrams that carry their difference, the decoder turns a byte stream
// into the telegrams it holds, ignoring and counting what is not one. No
// widgets, no device.

#include <snapshot.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ibis {

using tk::Text;

enum class Kind : std::uint8_t { Line, Destination, Stop };

// A telegram as it goes on the line: its kind, and its bytes from the type
// letters to the check byte.
struct Telegram {
    Kind kind;
    std::string bytes;
    bool operator==(const Telegram&) const = default;
};

// Characters of a DS009 stop telegram: the 20 cells of the sign.
constexpr std::size_t StopLength = 20;
// A DS003a destination is 1 to 15 blocks of 16 characters; its block count
// is one digit of the VDV's hexadecimal, '0' to '9' then ':' to '?'.
constexpr std::size_t BlockLength = 16;
constexpr std::size_t MostBlocks = 15;
// The longest telegram there is: "zA", the count, 15 blocks, CR, check byte.
constexpr std::size_t LongestTelegram = 3 + MostBlocks * BlockLength + 2;

// The program's Windows-1252 text as the line carries it: upper case, 7 bits,
// the umlauts and ß as the VDV substitutes them (ä { ö | ü } ß ~ Ä [ Ö \ Ü ]);
// every other character without a 7-bit form (€, é, a control character, and
// the substitutes themselves, which a sign would show as umlauts) becomes a
// blank. The one place where the program's text becomes telegram text.
std::string telegramText(std::string_view text);
// And back, for a sign: the substitutes become the umlauts and ß again.
Text programText(std::string_view telegram);

// The check byte of the bytes given: 0x7F XOR each of them.
char checkByte(std::string_view bytes);

// One telegram each; text is the program's own.
Telegram stopTelegram(std::string_view stopName);
Telegram destinationTelegram(std::string_view destination);
// Only a line number of one to three digits has a DS001 form; a line named
// with letters (N7) or longer goes out as no line telegram.
std::optional<Telegram> lineTelegram(std::string_view lineNumber);

// The destination the sign falls back to: the one entered, or after an
// automatic turn at an end of the route the terminus ahead; what follows the
// line number in the line and destination text.
Text destinationShown(const state::Snapshot& state);

// The telegrams that tell a sign of the change from `before` to `now`, in
// the order line, destination, stop; without `before`, everything `now`
// holds (a line that has just come up learns the whole state).
std::vector<Telegram> telegramsFor(const state::Snapshot& now, const state::Snapshot* before);

// A telegram read from the line, its text back in the program's bytes, the
// blanks that pad it to its length taken off.
struct Message {
    Kind kind;
    Text text;
    bool operator==(const Message&) const = default;
};

// Reads telegrams out of a byte stream, fed in pieces as they arrive. What
// is not a whole telegram with the right check byte and a known form is
// dropped and counted, never passed on in part. It holds at most one
// telegram's bytes: a run longer than that without a carriage return is
// dropped, and reading starts again after the next carriage return.
class Decoder {
public:
    struct Counts {
        std::uint64_t accepted = 0;
        std::uint64_t wrongCheckByte = 0;
        std::uint64_t unknown = 0;   // a type this sign does not know, or a known one in the wrong form
        std::uint64_t overlong = 0;  // a run of bytes too long to be a telegram
        bool operator==(const Counts&) const = default;
    };

    // The messages whole in what has arrived so far, `bytes` included.
    std::vector<Message> feed(std::string_view bytes);
    const Counts& counts() const { return counts_; }

private:
    void finish(std::vector<Message>& out);

    std::string buffer_;
    bool awaitingCheckByte_ = false;
    bool skipping_ = false;
    bool discarding_ = false;
    Counts counts_;
};

} // namespace ibis
