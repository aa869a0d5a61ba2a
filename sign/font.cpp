#include "font.h"

namespace font {

const Glyph* glyphFor(unsigned char code)
{
    // One slot per byte value, filled once from the glyph list.
    static const std::array<const Glyph*, 256> byCode = [] {
        std::array<const Glyph*, 256> table{};
        for (const Glyph& glyph : glyphs)
            table[glyph.code] = &glyph;
        return table;
    }();
    return byCode[code];
}

} // namespace font
