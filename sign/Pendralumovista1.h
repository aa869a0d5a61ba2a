#pragma once
// The sign: a borderless, stay-on-top window with a black panel carrying 1000
// square dots in 20 character cells of 5 x 10 dots. A dot is dark grey or lit
// green; the font lights dots, only a clear darkens them. The window is the
// program's main window: closing it ends the program.

#include "font.h"

#include <controls.h>
#include <text.h>
#include <timer.h>

#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

class QAction;
class QMenu;

class TForm1 : public tk::Form {
    Q_OBJECT
public:
    static constexpr int CellCount = 20;
    static constexpr int DotCount = CellCount * font::DotsPerCell;
    static constexpr tk::Color DarkColor = tk::clGray;
    static constexpr tk::Color LitColor = tk::clLime;
    static constexpr tk::Color PanelColor = tk::clBlack;
    // The black panel and its dots, in the window's pixels: the panel's
    // size, the distance from one cell and one dot to the next, and the
    // panel's edge before the first dot. The web page draws from these too.
    static constexpr int PanelWidth = 913;
    static constexpr int PanelHeight = 97;
    static constexpr int CellPitch = 45;
    static constexpr int DotPitch = 8;
    static constexpr int PanelEdge = 10;

    explicit TForm1(QWidget* parent = nullptr);

    tk::Panel* GroupBox1 = nullptr;
    QMenu* MainMenu1 = nullptr;
    QAction* Reset1 = nullptr;
    tk::Timer* Timer1 = nullptr;
    std::array<tk::Shape*, DotCount> Dots{};
    tk::Text FirstPage;
    tk::Text SecondPage;
    bool FirstPageShown = false;
    std::uint8_t PageTicks = 0;
    std::int32_t DragStartX = 0;
    std::int32_t DragStartY = 0;

    void FormCreate();
    // Darkens every dot and ends the paging of the text shown. Callers reach
    // it by triggering Reset1.
    void Reset1Click();
    // One page change of a text longer than the sign.
    void Timer1Timer();
    void GroupBox1MouseDown(tk::MouseButton Button, tk::ShiftState Shift, int X, int Y);
    void GroupBox1MouseUp(tk::MouseButton Button, tk::ShiftState Shift, int X, int Y);

    // Writes a text from cell 0, one character per cell; pages a text longer
    // than 20 characters. Ends the paging of any earlier text. Never clears:
    // callers trigger Reset1 first.
    void schreib(tk::Text text);

    // One operation per glyph, named after it: lights the glyph's dots in the
    // given cell (0 to 19) and leaves every other dot alone.
#define PENDRALUMOVISTA_GLYPH_OPERATION(name, ...) void name(unsigned char cell);
    PENDRALUMOVISTA_GLYPHS(PENDRALUMOVISTA_GLYPH_OPERATION)
#undef PENDRALUMOVISTA_GLYPH_OPERATION

    // Lights one glyph in one cell. A cell above 19 is refused untouched.
    void drawGlyph(const font::Glyph& glyph, unsigned cell);

    // What the sign shows, page by page: none when it is dark, one for a
    // short text, both for a long one.
    std::vector<tk::Text> pages() const;
    // The index into pages() of the page lit now; -1 when the sign is dark.
    int pageShown() const;
    // The same as one text: empty when dark; while a long text pages, both
    // pages, the second on a line of its own; once the paging has ended,
    // the page it stopped on.
    tk::Text shownText() const;

    static constexpr int dotIndex(int cell, int column, int row)
    {
        return cell * font::DotsPerCell + column * font::Rows + row;
    }

signals:
    // A long text turned its page: what the sign shows has changed without
    // anyone writing to it.
    void pageChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Whether the text written last is still paging or paged: the sign
    // shows one of its pages, not the text.
    bool paged() const;
    // The text written since the last clear.
    tk::Text written_;
    // The writer without ending the paging: what the page change writes.
    void writePage(tk::Text text);
    // The clear without ending the paging: what the page change clears.
    void darken();
};

// The sign window of the running program, created first at start.
extern TForm1* Form1;
