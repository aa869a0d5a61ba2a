#include "Pendralumovista1.h"

#include <QAction>

#include <algorithm>
#include <utility>

namespace {

// Where a text longer than the sign breaks, as a 0-based index, and where its
// second page starts. The break is the last blank among the first
// CellCount + 1 characters; that blank shows on neither page. A blank at
// index 0 would leave an empty first page, so it counts as no blank. Without
// a blank the first page is the first CellCount characters and the second
// page starts right after them: a name without blanks loses no letter.
// Indices are size_t, so texts of any length split the same way.
struct PageSplit {
    size_t firstLength;
    size_t secondStart;
};

PageSplit pageSplit(const tk::Text& text)
{
    const size_t last = std::min<size_t>(text.size() - 1, TForm1::CellCount);
    for (size_t i = last; i > 0; --i)
        if (text[i] == ' ')
            return {i, i + 1};
    return {TForm1::CellCount, TForm1::CellCount};
}

} // namespace

void TForm1::schreib(tk::Text text)
{
    // Every caller clears the sign and writes to replace what it showed, so
    // a write from outside ends the paging of an earlier text: its pages
    // never come back over the new one. A new long text then starts a
    // period of its own, changing page a full period after it was written.
    Timer1->setEnabled(false);
    written_ = text;
    writePage(std::move(text));
    accessibilityChanged();
}

void TForm1::writePage(tk::Text text)
{
    // The text is our own copy: a page change passes its page members, which
    // the split below replaces.
    if (text.size() > size_t(CellCount)) {
        const PageSplit split = pageSplit(text);
        FirstPage = text.substr(0, split.firstLength);
        SecondPage = split.secondStart < text.size() ? text.substr(split.secondStart) : tk::Text();
        text = FirstPage;
        FirstPageShown = true;
        PageTicks = 0;
        // A page change that splits its own too-long page keeps the running
        // period.
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
    // Not through Reset1: that clear ends the paging, this one is part of it.
    darken();
    // The flag is set after the writer returns: a page that is itself too
    // long splits inside the writer, which sets the flag to true, and the
    // next change must then show that same first piece again before moving
    // on.
    if (FirstPageShown) {
        writePage(SecondPage);
        FirstPageShown = false;
    } else {
        writePage(FirstPage);
        FirstPageShown = true;
    }
    accessibilityChanged();
    emit pageChanged();
}

bool TForm1::paged() const
{
    return Timer1->Enabled() || written_.size() > size_t(CellCount);
}

std::vector<tk::Text> TForm1::pages() const
{
    if (paged())
        return {FirstPage, SecondPage};
    if (written_.empty())
        return {};
    return {written_};
}

int TForm1::pageShown() const
{
    // A page change that split its own too-long page shows the first piece,
    // though it sets the flag to "second" (so that the next change shows that
    // piece once more); only such a split leaves the count of page changes at
    // 0 with the flag down.
    if (paged())
        return FirstPageShown || (Timer1->Enabled() && PageTicks == 0) ? 0 : 1;
    return written_.empty() ? -1 : 0;
}

tk::Text TForm1::shownText() const
{
    if (Timer1->Enabled())
        return FirstPage + '\n' + SecondPage;
    if (written_.size() > size_t(CellCount))
        return FirstPageShown ? FirstPage : SecondPage;
    return written_;
}
