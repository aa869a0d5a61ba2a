// Fuzzes the IBIS telegram reader with arbitrary bytes as they arrive on
// the line, and the telegram writer with arbitrary program text.
//
// The bytes go to one decoder in one piece and to another in pieces whose
// sizes come from the input's first byte. Both must read the same messages
// and count the same. For every message read:
//  - a stop holds at most 20 characters, a destination at most 240, a line
//    one to three digits, none ends in a blank, none holds a control
//    character;
//  - the decoder accepted exactly as many telegrams as it passed on.
// The input taken as program text (Windows-1252) is then sealed into each
// telegram: every byte before the carriage return is 7-bit and printable,
// the check byte is 7-bit, and the decoder reads each telegram back whole,
// with the text the writer meant.

#include <telegram.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "fuzz_ibis: %s\n", what);
    std::abort();
}

void check(bool condition, const char* what)
{
    if (!condition)
        finding(what);
}

void checkMessage(const ibis::Message& message)
{
    const std::string& text = message.text;
    check(text.empty() || text.back() != ' ', "a message ends in a blank");
    for (const char c : text)
        check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a control character in a message");
    switch (message.kind) {
    case ibis::Kind::Stop:
        check(text.size() <= ibis::StopLength, "a stop longer than the sign");
        break;
    case ibis::Kind::Destination:
        check(text.size() <= ibis::MostBlocks * ibis::BlockLength, "a destination longer than 15 blocks");
        break;
    case ibis::Kind::Line:
        check(!text.empty() && text.size() <= 3, "a line number of other than one to three digits");
        for (const char c : text)
            check(c >= '0' && c <= '9', "a line number with other than digits");
        break;
    }
}

void checkTelegram(const ibis::Telegram& telegram, ibis::Kind kind, const std::string& meant)
{
    const std::string& bytes = telegram.bytes;
    check(bytes.size() >= 3 && bytes.size() <= ibis::LongestTelegram, "a telegram of impossible length");
    check(bytes[bytes.size() - 2] == '\r', "a telegram without its carriage return");
    for (std::size_t i = 0; i + 2 < bytes.size(); ++i)
        check(bytes[i] >= 0x20 && bytes[i] < 0x7F, "a byte that is not 7-bit text before the carriage return");
    check(static_cast<unsigned char>(bytes.back()) < 0x80, "a check byte above 0x7F");
    ibis::Decoder decoder;
    const auto messages = decoder.feed(bytes);
    check(messages.size() == 1 && decoder.counts().accepted == 1, "a telegram the reader refuses");
    check(messages[0].kind == kind, "a telegram read as another kind");
    check(messages[0].text == meant, "a telegram read with another text");
}

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    ibis::Decoder whole;
    const auto messages = whole.feed(bytes);
    for (const ibis::Message& message : messages)
        checkMessage(message);
    check(whole.counts().accepted == messages.size(), "accepted and passed on differ");

    const std::size_t piece = size ? std::size_t(data[0] % 32) + 1 : 1;
    ibis::Decoder pieces;
    std::vector<ibis::Message> read;
    for (std::size_t at = 0; at < size; at += piece)
        for (ibis::Message& message : pieces.feed(bytes.substr(at, piece)))
            read.push_back(std::move(message));
    check(read == messages, "read in pieces, other messages");
    check(pieces.counts() == whole.counts(), "read in pieces, other counts");

    const std::string text(bytes.substr(0, 300));
    const std::string line = ibis::telegramText(text);
    check(line.size() == text.size(), "the telegram text has another length");
    checkTelegram(ibis::stopTelegram(text), ibis::Kind::Stop, ibis::programText(trimmed(line.substr(0, ibis::StopLength))));
    checkTelegram(ibis::destinationTelegram(text), ibis::Kind::Destination,
                  ibis::programText(trimmed(trimmed(line).substr(0, ibis::MostBlocks * ibis::BlockLength))));
    if (const auto number = ibis::lineTelegram(text))
        check(ibis::Decoder().feed(number->bytes).size() == 1, "a line telegram the reader refuses");
    return 0;
}
