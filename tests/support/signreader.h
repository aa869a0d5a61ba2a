#pragma once
// Reads the sign back as text: each cell's lit dots are matched against the
// font. A dark cell reads as a blank; a pattern that is no glyph reads as '\x7f'.

#include <Pendralumovista1.h>

#include <array>
#include <cstdint>
#include <string>

inline std::array<std::uint16_t, font::Columns> litColumns(const TForm1& sign, int cell)
{
    std::array<std::uint16_t, font::Columns> columns{};
    for (int column = 0; column < font::Columns; ++column)
        for (int row = 0; row < font::Rows; ++row)
            if (sign.Dots[size_t(TForm1::dotIndex(cell, column, row))]->BrushColor() == TForm1::LitColor)
                columns[size_t(column)] |= std::uint16_t(1u << row);
    return columns;
}

// The sign's 20 cells as Windows-1252 text, trailing blanks removed.
inline std::string readSign(const TForm1& sign)
{
    std::string text;
    for (int cell = 0; cell < TForm1::CellCount; ++cell) {
        const auto columns = litColumns(sign, cell);
        char c = '\x7f';
        if (columns == std::array<std::uint16_t, font::Columns>{})
            c = ' ';
        else
            for (const font::Glyph& glyph : font::glyphs)
                if (glyph.columns == columns)
                    c = char(glyph.code);
        text.push_back(c);
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

inline int litDotCount(const TForm1& sign)
{
    int count = 0;
    for (const tk::Shape* dot : sign.Dots)
        count += dot->BrushColor() == TForm1::LitColor;
    return count;
}
