#include "Pendralumovista1.h"

void TForm1::schreib(tk::Text text)
{
    const size_t n = std::min<size_t>(text.size(), CellCount);
    for (size_t p = 0; p < n; ++p)
        if (const font::Glyph* glyph = font::glyphFor(static_cast<unsigned char>(text[p])))
            drawGlyph(*glyph, unsigned(p));
}

void TForm1::Timer1Timer()
{
}
