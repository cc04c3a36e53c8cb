// The demo's PNG writer, read back the way a viewer reads it.

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "sim/game/StringPool.h"
#include "sim/picture/Picture.h"

namespace {

std::uint32_t BigEndian(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) | at[3];
}

struct Decoded {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rows;  // filter byte + RGB per row
};

// Walks the chunks checking every CRC, then undoes the stored deflate blocks and the Adler sum.
Decoded Decode(const std::vector<std::uint8_t>& png) {
    Decoded decoded;
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);
    std::vector<std::uint8_t> zlib;
    for (std::size_t at = 8; at < png.size();) {
        const std::uint32_t length = BigEndian(&png[at]);
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        EXPECT_EQ(sim::Crc32(&png[at + 4], length + 4), BigEndian(&png[at + 8 + length])) << type;
        if (type == "IHDR") {
            decoded.width = static_cast<int>(BigEndian(&png[at + 8]));
            decoded.height = static_cast<int>(BigEndian(&png[at + 12]));
            EXPECT_EQ(png[at + 16], 8);  // bit depth
            EXPECT_EQ(png[at + 17], 2);  // RGB
        }
        if (type == "IDAT") zlib.insert(zlib.end(), &png[at + 8], &png[at + 8 + length]);
        at += 12 + length;
    }
    std::size_t at = 2;
    for (bool last = false; !last;) {
        last = zlib[at] & 1;
        const std::size_t length = zlib[at + 1] | (zlib[at + 2] << 8);
        EXPECT_EQ(length ^ 0xFFFF, static_cast<std::size_t>(zlib[at + 3] | (zlib[at + 4] << 8)));
        decoded.rows.insert(decoded.rows.end(), &zlib[at + 5], &zlib[at + 5 + length]);
        at += 5 + length;
    }
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : decoded.rows) a = (a + byte) % 65521, b = (b + a) % 65521;
    EXPECT_EQ((b << 16) | a, BigEndian(&zlib[at]));
    return decoded;
}

TEST(Picture, WritesAPngThatReadsBackPixelForPixel) {
    sim::Canvas canvas(300, 260, {10, 20, 30});  // rows span several stored blocks
    canvas.Rect(5, 6, 4, 3, {200, 100, 50});
    canvas.Line(0, 259, 299, 259, {1, 2, 3});
    const Decoded decoded = Decode(canvas.Png());
    ASSERT_EQ(decoded.width, 300);
    ASSERT_EQ(decoded.height, 260);
    ASSERT_EQ(decoded.rows.size(), 260u * (1 + 300 * 3));
    const auto pixel = [&](int x, int y) {
        const std::uint8_t* p = &decoded.rows[static_cast<std::size_t>(y) * (1 + 300 * 3) + 1 + x * 3];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(pixel(5, 6), (std::vector<int>{200, 100, 50}));
    EXPECT_EQ(pixel(8, 8), (std::vector<int>{200, 100, 50}));
    EXPECT_EQ(pixel(9, 8), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(pixel(150, 259), (std::vector<int>{1, 2, 3}));
}

TEST(Picture, TextInksOnlyItsGlyphCells) {
    sim::Canvas canvas(40, 12, {0, 0, 0});
    canvas.Text(1, 1, "I-", {255, 255, 255}, 2);
    EXPECT_EQ(canvas.At(1, 1).r, 255) << "I's top bar";
    EXPECT_EQ(canvas.At(1, 3).r, 0) << "I's stem is in the middle column";
    EXPECT_EQ(canvas.At(3, 3).r, 255);
    EXPECT_EQ(canvas.At(9, 5).r, 255) << "the dash, one cell further";
    EXPECT_EQ(canvas.At(9, 1).r, 0);
    EXPECT_EQ(sim::Canvas::TextWidth("I-", 2), 16);
}

// --- The lettering: every glyph read back from the pixels Text draws.

using Mask = std::vector<std::string>;  // rows of '#' and '.'

Mask Drawn(const std::string& text, int columns = 6) {
    sim::Canvas canvas(columns + 2, 7, {0, 0, 0});
    canvas.Text(1, 1, text, {255, 255, 255}, 1);
    Mask mask(5, std::string(columns, '.'));
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < columns; ++column)
            if (canvas.At(1 + column, 1 + row).r != 0) mask[row][column] = '#';
    return mask;
}

int CellsApart(const Mask& a, const Mask& b) {
    int apart = 0;
    for (std::size_t row = 0; row < a.size(); ++row)
        for (std::size_t column = 0; column < a[row].size(); ++column) apart += a[row][column] != b[row][column];
    return apart;
}

TEST(PictureLettering, VIsNotDrawnLikeU) {
    const Mask v = Drawn("V"), u = Drawn("U");
    int rowsApart = 0;
    for (int row = 0; row < 5; ++row) rowsApart += v[row] != u[row];
    EXPECT_GE(rowsApart, 3) << "a V that differs from U only at its foot reads as U";
}

TEST(PictureLettering, EveryLetterAndDigitHasAGlyphOfItsOwn) {
    const std::string characters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const Mask unknown = Drawn("?");
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const Mask mine = Drawn(characters.substr(i, 1));
        EXPECT_NE(mine, unknown) << characters[i] << " has no glyph";
        EXPECT_EQ(mine, Drawn(std::string(1, static_cast<char>(std::tolower(characters[i])))))
            << "lower case draws as upper case";
        for (std::size_t j = i + 1; j < characters.size(); ++j)
            EXPECT_GE(CellsApart(mine, Drawn(characters.substr(j, 1))), 2)
                << characters[i] << " and " << characters[j] << " are told apart by one cell or none";
    }
}

TEST(PictureLettering, TextWidthIsHowFarTextAdvancesWhateverTheGlyphWidths) {
    for (const std::string& text : {std::string("VELDRIN"), std::string("MW-I0"), std::string("A:1")}) {
        sim::Canvas whole(200, 12, {0, 0, 0}), pieces(200, 12, {0, 0, 0});
        whole.Text(0, 1, text, {255, 255, 255}, 2);
        int x = 0;
        for (char c : text) {
            pieces.Text(x, 1, std::string(1, c), {255, 255, 255}, 2);
            x += sim::Canvas::TextWidth(std::string(1, c), 2);
        }
        EXPECT_EQ(x, sim::Canvas::TextWidth(text, 2));
        EXPECT_EQ(whole.Png(), pieces.Png()) << text;
    }
}

}  // namespace
