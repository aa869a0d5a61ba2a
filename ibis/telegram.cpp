#include "telegram.h"

#include <algorithm>
#include <utility>

namespace ibis {

namespace {

constexpr char CR = '\r';

// The VDV's 7-bit forms of the German letters, program byte (Windows-1252)
// against line byte.
struct Substitute {
    unsigned char program;
    char line;
};
constexpr Substitute substitutes[] = {
    {0xE4, '{'}, {0xF6, '|'}, {0xFC, '}'}, {0xDF, '~'}, {0xC4, '['}, {0xD6, '\\'}, {0xDC, ']'},
};

bool isSubstitute(char c)
{
    return std::any_of(std::begin(substitutes), std::end(substitutes), [c](const Substitute& s) { return s.line == c; });
}

// The text padded with blanks to `length` characters, or cut to it.
std::string fitted(std::string text, std::size_t length)
{
    text.resize(length, ' ');
    return text;
}

std::string_view withoutPadding(std::string_view text)
{
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The type letters and text, sealed with the carriage return and the check
// byte. (Built by appending: GCC 12 warns falsely of overlapping copies when
// a literal is put before a string with "+".)
Telegram sealed(Kind kind, std::string_view type, std::string_view text)
{
    std::string body(type);
    body += text;
    body += CR;
    body += checkByte(body);
    return {kind, std::move(body)};
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::string telegramText(std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        auto byte = static_cast<unsigned char>(c);
        // Upper case, the umlauts too: ä, ö and ü go as Ä, Ö and Ü. The
        // sharp s has no capital among the substitutes and stays ß.
        if (byte == 0xE4 || byte == 0xF6 || byte == 0xFC)
            byte -= 0x20;
        const auto substitute = std::find_if(std::begin(substitutes), std::end(substitutes),
                                             [byte](const Substitute& s) { return s.program == byte; });
        if (substitute != std::end(substitutes))
            line += substitute->line;
        else if (byte >= 'a' && byte <= 'z')
            line += char(byte - 'a' + 'A');
        else if (byte >= 0x20 && byte < 0x7F && !isSubstitute(c))
            line += c;
        else
            line += ' ';
    }
    return line;
}

Text programText(std::string_view telegram)
{
    Text text;
    text.reserve(telegram.size());
    for (const char c : telegram) {
        const auto substitute = std::find_if(std::begin(substitutes), std::end(substitutes),
                                             [c](const Substitute& s) { return s.line == c; });
        text += substitute != std::end(substitutes) ? char(substitute->program) : c;
    }
    return text;
}

char checkByte(std::string_view bytes)
{
    unsigned char check = 0x7F;
    for (const char c : bytes)
        check ^= static_cast<unsigned char>(c);
    return char(check);
}

Telegram stopTelegram(std::string_view stopName)
{
    return sealed(Kind::Stop, "v", fitted(telegramText(stopName), StopLength));
}

Telegram destinationTelegram(std::string_view destination)
{
    std::string text = telegramText(withoutPadding(destination));
    const std::size_t blocks = std::min((text.size() + BlockLength - 1) / BlockLength, MostBlocks);
    const char count[] = {'z', 'A', char('0' + blocks), 0};
    return sealed(Kind::Destination, count, fitted(std::move(text), blocks * BlockLength));
}

std::optional<Telegram> lineTelegram(std::string_view lineNumber)
{
    while (!lineNumber.empty() && lineNumber.front() == ' ')
        lineNumber.remove_prefix(1);
    lineNumber = withoutPadding(lineNumber);
    if (lineNumber.empty() || lineNumber.size() > 3 || !std::all_of(lineNumber.begin(), lineNumber.end(), isDigit))
        return std::nullopt;
    std::string digits(3 - lineNumber.size(), '0');
    digits += lineNumber;
    return sealed(Kind::Line, "l", digits);
}

Text destinationShown(const state::Snapshot& state)
{
    std::string_view text = state.lineDestinationText;
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (text.starts_with(state.line))
        text.remove_prefix(state.line.size());
    if (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    return Text(text);
}

std::vector<Telegram> telegramsFor(const state::Snapshot& now, const state::Snapshot* before)
{
    std::vector<Telegram> telegrams;
    if (!before || now.line != before->line)
        if (auto line = lineTelegram(now.line))
            telegrams.push_back(std::move(*line));
    const Text destination = destinationShown(now);
    if ((!before && !destination.empty()) || (before && destination != destinationShown(*before)))
        telegrams.push_back(destinationTelegram(destination));
    // A stop is called when the control unit moves to another one of a
    // route loaded, or loads a route.
    const bool stopCalled = now.routeLoaded
        && (!before || !before->routeLoaded || now.currentStop != before->currentStop
            || now.currentStopName != before->currentStopName);
    if (stopCalled && now.currentStop < now.stops.size())
        telegrams.push_back(stopTelegram(now.currentStopName));
    return telegrams;
}

std::vector<Message> Decoder::feed(std::string_view bytes)
{
    std::vector<Message> messages;
    for (const char c : bytes) {
        if (awaitingCheckByte_) {
            awaitingCheckByte_ = false;
            if (!std::exchange(discarding_, false)) {
                buffer_ += c;
                finish(messages);
            }
            buffer_.clear();
        } else if (c == CR) {
            // After a run too long to be a telegram, reading starts again
            // behind this carriage return and the check byte after it.
            awaitingCheckByte_ = true;
            discarding_ = std::exchange(skipping_, false);
            buffer_ += c;
        } else if (skipping_) {
        } else if (buffer_.size() >= LongestTelegram - 2) {
            ++counts_.overlong;
            buffer_.clear();
            skipping_ = true;
        } else {
            buffer_ += c;
        }
    }
    return messages;
}

void Decoder::finish(std::vector<Message>& out)
{
    // buffer_: the body, CR, check byte.
    const std::string_view whole(buffer_);
    const std::string_view body = whole.substr(0, whole.size() - 2);
    if (checkByte(whole.substr(0, whole.size() - 1)) != whole.back()) {
        ++counts_.wrongCheckByte;
        return;
    }
    const bool printable = std::all_of(body.begin(), body.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    std::optional<Message> message;
    if (!printable || body.empty()) {
    } else if (body.front() == 'l' && body.size() == 4 && std::all_of(body.begin() + 1, body.end(), isDigit)) {
        std::string_view number = body.substr(1);
        while (number.size() > 1 && number.front() == '0')
            number.remove_prefix(1);
        message = Message{Kind::Line, Text(number)};
    } else if (body.size() >= 3 && body.substr(0, 2) == "zA" && body[2] >= '0' && body[2] <= '?'
               && body.size() == 3 + std::size_t(body[2] - '0') * BlockLength) {
        message = Message{Kind::Destination, programText(withoutPadding(body.substr(3)))};
    } else if (body.front() == 'v' && body.size() == 1 + StopLength) {
        message = Message{Kind::Stop, programText(withoutPadding(body.substr(1)))};
    }
    if (!message) {
        ++counts_.unknown;
        return;
    }
    ++counts_.accepted;
    out.push_back(std::move(*message));
}

} // namespace ibis
