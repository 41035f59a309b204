// SPDX-License-Identifier: MIT
#include <cstring>
#include <string>

#include "support.h"

using namespace vora256;

namespace {

constexpr unsigned char kInk = 200;
constexpr unsigned char kPaper = 17;

class Text : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        glyphs = test::test_glyphs();
        std::memcpy(tabla, glyphs.data(), sizeof tabla);
        INK = kInk;
        PAPER = kPaper;
        clear(0);
    }

    // What the cell of `code` at (x, y) must hold, pixel by pixel, at magnification fx, fy.
    void expect_cell(int x, int y, int code, int fx, int fy) {
        for (int py = 0; py < 8 * fy; ++py) {
            for (int px = 0; px < 8 * fx; ++px) {
                int row = py / fy;
                int bit = 7 - px / fx;
                bool ink = code < 255 && (glyphs[8 * code + row] >> bit) & 1;
                int o = test::offset(x + px, y + py);
                ASSERT_EQ(sim::vram()[o], ink ? kInk : kPaper) << "code " << code << " at " << x + px << "," << y + py;
            }
        }
    }

    std::vector<unsigned char> glyphs;
};

TEST_F(Text, UnmagnifiedCharacterIsExactEverywhereIncludingAcrossABankBoundary) {
    // At (250, 100) offset 65,536 falls inside the cell (row 102, x 256).
    impri(250, 100, 'A');
    expect_cell(250, 100, 'A', 1, 1);
    impri(10, 10, 'A');
    expect_cell(10, 10, 'A', 1, 1);
    for (int code : {0, 1, 83, 128, 254}) {
        impri(300, 300, code);
        expect_cell(300, 300, code, 1, 1);
    }
}

TEST_F(Text, MagnifiedCharacterAcrossABankBoundaryIsTheGlyphScaled) {
    FONTX = 2;
    FONTY = 3;
    impri(240, 95, 'g');  // rows 95-118 cross into bank 1 on row 102
    expect_cell(240, 95, 'g', 2, 3);
    FONTX = 4;
    FONTY = 5;
    impri(370, 300, '7');  // crosses row 307
    expect_cell(370, 300, '7', 4, 5);
}

TEST_F(Text, CellRunsOnIntoTheNextRowPastTheRightEdge) {
    impri(636, 20, 'W');
    auto before = test::snapshot();
    // The same cell drawn at the linear offset's own position must change nothing.
    for (int row = 0; row < 8; ++row)
        for (int bit = 7; bit >= 0; --bit) {
            INK = (glyphs[8 * 'W' + row] >> bit) & 1 ? kInk : kPaper;
            plot(636 + 7 - bit, 20 + row);
        }
    EXPECT_TRUE(test::differences(before, test::snapshot()).empty());
}

TEST_F(Text, CodeTwoHundredFiftyFiveIsACellWithoutInk) {
    std::memset(tabla, 0xFF, sizeof tabla);
    impri(40, 40, 255);
    expect_cell(40, 40, 255, 1, 1);
    FONTX = 2;
    impri(100, 40, 0x1FF);  // only the low byte counts
    expect_cell(100, 40, 255, 2, 1);
}

TEST_F(Text, PrintcDrawsAtMostFortyCharactersSideBySide) {
    std::string fifty(50, 'x');
    auto before = test::snapshot();
    printc(0, 0, fifty.c_str());
    auto changed = test::differences(before, test::snapshot());
    int rightmost = 0;
    for (int o : changed) rightmost = std::max(rightmost, o % 640);
    EXPECT_EQ(rightmost / 8, 39);  // cells 0-39 only

    before = test::snapshot();
    printc(0, 100, "");
    EXPECT_TRUE(test::differences(before, test::snapshot()).empty());
}

TEST_F(Text, TextAtFourByFiveTakesThirtyTwoByFortyCells) {
    FONTX = 4;
    FONTY = 5;
    printc(20, 20, "09");
    expect_cell(20, 20, '0', 4, 5);
    expect_cell(52, 20, '9', 4, 5);
}

TEST_F(Text, PrintnFormatsSignedDecimal) {
    printn(0, 0, -7);
    expect_cell(0, 0, '-', 1, 1);
    expect_cell(8, 0, '7', 1, 1);
    EXPECT_STREQ(VARI, "-7");
    printn(0, 20, 0);
    expect_cell(0, 20, '0', 1, 1);
    EXPECT_STREQ(VARI, "0");
    printn(0, 40, -2147483647 - 1);
    EXPECT_STREQ(VARI, "-2147483648");
}

TEST_F(Text, ErrorDrawsItsMessageAtTheCorner) {
    const char* messages[][2] = {{"2", "Fichero no encontrado"},
                                 {"8", "Memoria insuficiente"},
                                 {"13", "Dato invalido"},
                                 {"5", "Error desconocido"}};
    for (auto& m : messages) {
        clear(0);
        error(std::atoi(m[0]));
        int length = static_cast<int>(std::strlen(m[1]));
        for (int i = 0; i < length; ++i) expect_cell(8 * i, 0, static_cast<unsigned char>(m[1][i]), 1, 1);
        EXPECT_EQ(sim::vram()[test::offset(8 * length, 0)], 0) << m[1];
    }
}

class Font : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        dir = test::temp_dir();
        glyphs = test::test_glyphs();
        std::memset(tabla, 0, sizeof tabla);
    }
    std::vector<unsigned char> table() const { return {tabla, tabla + sizeof tabla}; }
    std::string dir;
    std::vector<unsigned char> glyphs;
};

TEST_F(Font, HeaderlessAndHeaderedFilesGiveTheSameTableAndExcessIsIgnored) {
    test::write_file(dir + "plain.fon", glyphs);
    loadfont((dir + "plain.fon").c_str());
    EXPECT_EQ(table(), glyphs);

    std::vector<unsigned char> headed(10 + 2040 + 100, 0xEE);  // header, glyphs, excess
    std::memcpy(headed.data(), "S123456789", 10);
    std::copy(glyphs.begin(), glyphs.end(), headed.begin() + 10);
    test::write_file(dir + "headed.fon", headed);
    std::memset(tabla, 0, sizeof tabla);
    loadfont((dir + "headed.fon").c_str());
    EXPECT_EQ(table(), glyphs);
    EXPECT_EQ(std::string(VARI, 10), "S123456789");
}

TEST_F(Font, AnSInTheFirstByteIsTakenForAHeader) {
    auto misread = glyphs;
    misread[0] = 'S';
    test::write_file(dir + "s.fon", misread);
    loadfont((dir + "s.fon").c_str());
    EXPECT_TRUE(std::equal(misread.begin() + 10, misread.end(), tabla));
    EXPECT_TRUE(std::all_of(tabla + 2030, tabla + 2040, [](unsigned char b) { return b == 0; }));
}

TEST_F(Font, MissingOrShortFilesLeaveTheRestOfTheTableAlone) {
    std::memset(tabla, 0x5A, sizeof tabla);
    loadfont((dir + "none.fon").c_str());
    EXPECT_TRUE(std::all_of(tabla, tabla + 2040, [](unsigned char b) { return b == 0x5A; }));

    test::write_file(dir + "empty.fon", {});
    loadfont((dir + "empty.fon").c_str());
    EXPECT_TRUE(std::all_of(tabla, tabla + 2040, [](unsigned char b) { return b == 0x5A; }));

    test::write_file(dir + "short.fon", {glyphs.begin(), glyphs.begin() + 100});
    loadfont((dir + "short.fon").c_str());
    EXPECT_TRUE(std::equal(glyphs.begin(), glyphs.begin() + 100, tabla));
    EXPECT_TRUE(std::all_of(tabla + 100, tabla + 2040, [](unsigned char b) { return b == 0x5A; }));

    // Without a font text still draws, from whatever the table holds.
    std::memset(tabla, 0, sizeof tabla);
    INK = 1;
    PAPER = 2;
    printc(0, 0, "HOLA");
    EXPECT_EQ(sim::vram()[test::offset(31, 7)], 2);
}

// Text knows no control characters, as in the original design: every code draws its glyph
// in its own cell.
using Quirks = test::Machine;

TEST_F(Quirks, PrintcDrawsControlCodesAsGlyphs) {
    std::memset(tabla, 0, sizeof tabla);
    tabla[8 * 10] = 0xFF;  // only the top rows of the glyphs of 10 and 13 have ink
    tabla[8 * 13] = 0xFF;
    INK = 5;
    PAPER = 6;
    printc(0, 0, "A\nB\r");
    EXPECT_EQ(sim::pixel(8, 0), 5);   // cell 1: glyph 10, no new line
    EXPECT_EQ(sim::pixel(24, 0), 5);  // cell 3: glyph 13
    EXPECT_EQ(sim::pixel(16, 0), 6);  // cell 2: 'B' drawn on the same row
    EXPECT_EQ(sim::pixel(0, 8), 0);   // nothing below the row
}

}  // namespace
