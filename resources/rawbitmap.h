#pragma once
// The layout of a bitmap kept as raw pixels, shared by the artwork generator,
// which writes it, and the toolkit's picture control, which shows it: the
// four bytes "RGBX", the width and the height as 32-bit numbers, then the
// rows top to bottom, each pixel a 32-bit 0xFFRRGGBB (QImage::Format_RGB32).
// Numbers and pixels are in the byte order of the building machine, which
// runs the program too. Every part is a multiple of four bytes long, so the
// pixels are aligned to 32 bits where the file starts so, as the resource
// compiler places it, and can then be shown where they lie in memory without
// being unpacked, decoded or copied.

#include <cstdint>
#include <cstring>

namespace rawbitmap {

struct Header {
    char magic[4] = {'R', 'G', 'B', 'X'};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};
static_assert(sizeof(Header) == 12, "the pixels follow the header without padding");

// Larger than any bitmap of the program, small enough that no size overflows.
constexpr std::uint32_t MaxSide = 0x4000;

// The header of `size` bytes at `data`, when they hold a whole raw bitmap;
// else a header of width 0.
inline Header readHeader(const unsigned char* data, long long size)
{
    Header header;
    if (!data || size < static_cast<long long>(sizeof header))
        return {};
    std::memcpy(&header, data, sizeof header);
    if (std::memcmp(header.magic, Header().magic, sizeof header.magic) != 0 || header.width == 0
        || header.height == 0 || header.width > MaxSide || header.height > MaxSide
        || size != static_cast<long long>(sizeof header) + 4LL * header.width * header.height)
        return {};
    return header;
}

} // namespace rawbitmap
