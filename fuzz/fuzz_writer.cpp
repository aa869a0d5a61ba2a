// Fuzzes the sign writer and its paging with arbitrary text.
//
// The text is written the way every caller writes it (clear, then schreib),
// and the page timer's handler is then called until the timer stops. Next
// to the sign runs a model of the paging rules, with the break searched by
// 1-based position as the rules put it. After the write and after every
// page change:
//  - the lit dots are exactly the glyphs of the page the model shows, one
//    character per cell from cell 0, at most 20 cells; every other dot is
//    dark, and no dot has any other colour;
//  - FirstPage, SecondPage, FirstPageShown, PageTicks and the timer's state
//    match the model; FirstPage never holds more than 20 characters and
//    PageTicks never exceeds 5;
//  - paging ends: each split shortens the rest by at least two characters,
//    so more page changes than the text has characters, plus the five of
//    the last split, is a finding.

#include <Pendralumovista1.h>

#include <QAction>
#include <QApplication>
#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

constexpr size_t SignLength = TForm1::CellCount;

TForm1* sign = nullptr;

// The glyph table looked up by code from the glyph list itself.
std::array<const font::Glyph*, 256> glyphByCode{};

struct Model {
    tk::Text firstPage;
    tk::Text secondPage;
    bool firstPageShown = false;
    unsigned pageTicks = 0;
    bool timerEnabled = false;
    tk::Text shown;

    // A write from outside ends any paging before it writes.
    void writeFromOutside(tk::Text text)
    {
        timerEnabled = false;
        write(std::move(text));
    }

    void write(tk::Text text)
    {
        if (text.size() > SignLength) {
            // The last blank among positions 21 down to 2 is dropped; a blank
            // at position 1 alone, or none, gives pages of characters 1 to
            // 20 and 21 to the end.
            size_t firstEnd = SignLength, secondStart = SignLength;
            for (size_t position = SignLength + 1; position >= 2; --position)
                if (text[position - 1] == ' ') {
                    firstEnd = position - 1;
                    secondStart = position;
                    break;
                }
            firstPage = text.substr(0, firstEnd);
            secondPage = text.substr(secondStart);
            text = firstPage;
            firstPageShown = true;
            pageTicks = 0;
            timerEnabled = true;
        }
        shown = text.substr(0, std::min(text.size(), SignLength));
    }

    void pageChange()
    {
        if (++pageTicks > 4)
            timerEnabled = false;
        if (firstPageShown) {
            write(secondPage);
            firstPageShown = false;
        } else {
            write(firstPage);
            firstPageShown = true;
        }
    }
};

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "fuzz_writer: %s\n", what);
    std::abort();
}

void check(bool condition, const char* what)
{
    if (!condition)
        finding(what);
}

void checkSign(const Model& model)
{
    check(sign->FirstPage.size() <= SignLength, "FirstPage longer than the sign");
    check(sign->PageTicks <= 5, "PageTicks above 5");
    check(sign->FirstPage == model.firstPage, "FirstPage differs from the rules");
    check(sign->SecondPage == model.secondPage, "SecondPage differs from the rules");
    check(sign->FirstPageShown == model.firstPageShown, "FirstPageShown differs from the rules");
    check(sign->PageTicks == model.pageTicks, "PageTicks differs from the rules");
    check(sign->Timer1->Enabled() == model.timerEnabled, "page timer state differs from the rules");

    for (size_t cell = 0; cell < SignLength; ++cell) {
        const font::Glyph* glyph = cell < model.shown.size()
            ? glyphByCode[static_cast<unsigned char>(model.shown[cell])]
            : nullptr;
        for (int column = 0; column < font::Columns; ++column)
            for (int row = 0; row < font::Rows; ++row) {
                const bool lit = glyph && (glyph->columns[size_t(column)] >> row & 1u);
                const tk::Color colour =
                    sign->Dots[size_t(TForm1::dotIndex(int(cell), column, row))]->BrushColor();
                check(colour == TForm1::LitColor || colour == TForm1::DarkColor, "dot neither lit nor dark");
                check((colour == TForm1::LitColor) == lit, "dot does not match the page shown");
            }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt may take its own options out of the arguments; it gets a copy of
    // the program name only, so libFuzzer's options stay as they are.
    static int qtArgc = 1;
    static char* qtArgv[] = {argc && *argc > 0 ? (*argv)[0] : const_cast<char*>("fuzz_writer"), nullptr};
    // Both live until the process ends: every input reuses the one sign.
    static QApplication application(qtArgc, qtArgv);
    static TForm1 form;
    sign = &form;
    for (const font::Glyph& glyph : font::glyphs)
        glyphByCode[glyph.code] = &glyph;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    // Each input starts from a sign at rest, as after start-up.
    sign->Timer1->setEnabled(false);
    sign->FirstPage.clear();
    sign->SecondPage.clear();
    sign->FirstPageShown = false;
    sign->PageTicks = 0;

    const tk::Text text(reinterpret_cast<const char*>(data), size);
    Model model;

    sign->Reset1->trigger();
    sign->schreib(text);
    model.writeFromOutside(text);
    checkSign(model);

    const size_t limit = text.size() + 10;
    size_t changes = 0;
    while (sign->Timer1->Enabled()) {
        if (++changes > limit)
            __builtin_trap();
        sign->Timer1Timer();
        model.pageChange();
        checkSign(model);
    }
    check(!model.timerEnabled, "page timer stopped before the rules stop it");
    return 0;
}
