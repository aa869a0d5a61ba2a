#include "Pendralumovista1.h"

#include <QAction>

#include <algorithm>

namespace {

// Where a text longer than the sign breaks, as a 0-based index: the last
// blank among the first CellCount + 1 characters. A blank at index 0 would
// leave an empty first page, so it counts as no blank; without one the text
// breaks at index CellCount. The character at the break shows on neither
// page. Indices are size_t, so texts of any length split the same way.
size_t pageBreak(const tk::Text& text)
{
    const size_t last = std::min<size_t>(text.size() - 1, TForm1::CellCount);
    for (size_t i = last; i > 0; --i)
        if (text[i] == ' ')
            return i;
    return TForm1::CellCount;
}

} // namespace

void TForm1::schreib(tk::Text text)
{
    // The text is our own copy: a page change passes its page members, which
    // the split below replaces.
    if (text.size() > size_t(CellCount)) {
        const size_t b = pageBreak(text);
        FirstPage = text.substr(0, b);
        SecondPage = b + 1 < text.size() ? text.substr(b + 1) : tk::Text();
        text = FirstPage;
        FirstPageShown = true;
        PageTicks = 0;
        // Enabling a running timer keeps its period: a new long text written
        // during paging changes page when the running period is due.
        Timer1->setEnabled(true);
    }

    const size_t n = std::min<size_t>(text.size(), CellCount);
    for (size_t p = 0; p < n; ++p)
        if (const font::Glyph* glyph = font::glyphFor(static_cast<unsigned char>(text[p])))
            drawGlyph(*glyph, unsigned(p));
}

void TForm1::Timer1Timer()
{
    // The fifth change since the last split is the final one; it still shows
    // its page.
    if (++PageTicks > 4)
        Timer1->setEnabled(false);
    Reset1->trigger();
    // The flag is set after the writer returns: a page that is itself too
    // long splits inside schreib, which sets the flag to true, and the next
    // change must then show that same first piece again before moving on.
    if (FirstPageShown) {
        schreib(SecondPage);
        FirstPageShown = false;
    } else {
        schreib(FirstPage);
        FirstPageShown = true;
    }
}
