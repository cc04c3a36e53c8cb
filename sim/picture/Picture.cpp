#include "sim/picture/Picture.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>

#include "sim/game/StringPool.h"

namespace sim {

namespace {

constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kBitDepth = 8, kColorTypeRgb = 2, kFilterNone = 0;
constexpr std::size_t kMaxStoredBlock = 65535;
constexpr std::uint32_t kAdlerModulus = 65521;

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBigEndian(out, Crc32(typed.data(), typed.size()));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> ZlibStored(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t length = std::min(kMaxStoredBlock, data.size() - at);
        const bool last = at + length == data.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(length));
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(~length));
        out.push_back(static_cast<std::uint8_t>(~length >> 8));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < data.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % kAdlerModulus;
        b = (b + a) % kAdlerModulus;
    }
    PutBigEndian(out, (b << 16) | a);
    return out;
}

// Glyphs five cells high, one string of rows, '#' for ink. Most are three cells wide; the
// few that three columns cannot tell apart (M, W and V against H, N and U; O and Q against
// 0) are wider: a glyph's width is its length divided by its height.
constexpr int kGlyphHeight = 5;

const std::map<char, const char*>& Glyphs() {
    // One glyph a line.
    // clang-format off
    static const std::map<char, const char*> glyphs = {
        {'A', ".#.#.#####.##.#"},
        {'B', "##.#.###.#.###."},
        {'C', ".###..#..#...##"},
        {'D', "##.#.##.##.###."},
        {'E', "####..##.#..###"},
        {'F', "####..##.#..#.."},
        {'G', ".###..#.##.#.##"},
        {'H', "#.##.#####.##.#"},
        {'I', "###.#..#..#.###"},
        {'J', "..#..#..##.#.#."},
        {'K', "#.###.#..##.#.#"},
        {'L', "#..#..#..#..###"},
        {'M', "#...###.###.#.##...##...#"},
        {'N', "##.#.##.##.##.#"},
        {'O', ".##.#..##..##..#.##."},
        {'P', "##.#.###.#..#.."},
        {'Q', ".##.#..##..##.#..#.#"},
        {'R', "##.#.###.#.##.#"},
        {'S', ".###...#...###."},
        {'T', "###.#..#..#..#."},
        {'U', "#.##.##.##.####"},
        {'V', "#...##...##...#.#.#...#.."},
        {'W', "#...##...##.#.###.###...#"},
        {'X', "#.##.#.#.#.##.#"},
        {'Y', "#.##.#.#..#..#."},
        {'Z', "###..#.#.#..###"},
        {'0', ".#.#.##.##.#.#."},
        {'1', ".#.##..#..#.###"},
        {'2', ".#.#.#..#.#.###"},
        {'3', "##...#.#...###."},
        {'4', "#.##.####..#..#"},
        {'5', "####..##...###."},
        {'6', ".###..####.####"},
        {'7', "###..#.#..#..#."},
        {'8', ".#.#.#.#.#.#.#."},
        {'9', "####.####..###."},
        {'.', ".............#."},
        {',', "..........#.#.."},
        {':', "....#.....#...."},
        {'-', "......###......"},
        {'+', "....#.###.#...."},
        {'/', "..#..#.#.#..#.."},
        {'(', ".#.#..#..#...#."},
        {')', ".#...#..#..#.#."},
        {'=', "...###...###..."},
        {'_', "............###"},
        {'\'', ".#..#.........."},
        {'>', "#...#...#.#.#.."},
        {'<', "..#.#.#...#...#"},
        {'%', "#.#..#.#.#..#.#"},
        {'?', "##...#.#.....#."},
        {' ', "..............."},
    };
    // clang-format on
    return glyphs;
}

}  // namespace

std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::vector<std::uint8_t> out(std::begin(kPngSignature), std::end(kPngSignature));
    std::vector<std::uint8_t> header;
    PutBigEndian(header, static_cast<std::uint32_t>(width));
    PutBigEndian(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {kBitDepth, kColorTypeRgb, 0, 0, 0});
    PutChunk(out, "IHDR", header);
    std::vector<std::uint8_t> rows;
    rows.reserve(static_cast<std::size_t>(height) * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        rows.push_back(kFilterNone);
        const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(y) * width * 3;
        rows.insert(rows.end(), row, row + width * 3);
    }
    PutChunk(out, "IDAT", ZlibStored(rows));
    PutChunk(out, "IEND", {});
    return out;
}

Canvas::Canvas(int width, int height, Color background)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, background) {}

Color Canvas::At(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }

void Canvas::Pixel(int x, int y, Color color) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[static_cast<std::size_t>(y) * width_ + x] = color;
}

void Canvas::Rect(int x, int y, int width, int height, Color color) {
    for (int dy = 0; dy < height; ++dy)
        for (int dx = 0; dx < width; ++dx) Pixel(x + dx, y + dy, color);
}

void Canvas::Frame(int x, int y, int width, int height, Color color) {
    Rect(x, y, width, 1, color);
    Rect(x, y + height - 1, width, 1, color);
    Rect(x, y, 1, height, color);
    Rect(x + width - 1, y, 1, height, color);
}

void Canvas::Line(double x0, double y0, double x1, double y1, Color color, int thickness) {
    const int steps = static_cast<int>(std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)))) + 1;
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const int x = static_cast<int>(std::lround(x0 + (x1 - x0) * t));
        const int y = static_cast<int>(std::lround(y0 + (y1 - y0) * t));
        Rect(x - thickness / 2, y - thickness / 2, thickness, thickness, color);
    }
}

void Canvas::Disc(double cx, double cy, double radius, Color color) {
    for (int y = static_cast<int>(cy - radius); y <= static_cast<int>(cy + radius); ++y)
        for (int x = static_cast<int>(cx - radius); x <= static_cast<int>(cx + radius); ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) Pixel(x, y, color);
}

void Canvas::Ring(double cx, double cy, double radius, Color color) {
    const int steps = static_cast<int>(radius * 8) + 8;
    for (int i = 0; i < steps; ++i) {
        const double angle = 2 * 3.141592653589793 * i / steps;
        Pixel(static_cast<int>(std::lround(cx + radius * std::cos(angle))),
              static_cast<int>(std::lround(cy + radius * std::sin(angle))), color);
    }
}

namespace {

const char* GlyphCells(char raw) {
    const auto glyph = Glyphs().find(static_cast<char>(std::toupper(static_cast<unsigned char>(raw))));
    return glyph == Glyphs().end() ? Glyphs().at('?') : glyph->second;
}

int GlyphWidth(const char* cells) { return static_cast<int>(std::strlen(cells)) / kGlyphHeight; }

}  // namespace

void Canvas::Text(int x, int y, const std::string& text, Color color, int scale) {
    for (char raw : text) {
        const char* cells = GlyphCells(raw);
        const int width = GlyphWidth(cells);
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int column = 0; column < width; ++column)
                if (cells[row * width + column] == '#') Rect(x + column * scale, y + row * scale, scale, scale, color);
        x += (width + 1) * scale;  // one blank column between glyphs
    }
}

int Canvas::TextWidth(const std::string& text, int scale) {
    int cells = 0;
    for (char raw : text) cells += GlyphWidth(GlyphCells(raw)) + 1;
    return cells * scale;
}

std::vector<std::uint8_t> Canvas::Png() const {
    std::vector<std::uint8_t> rgb;
    rgb.reserve(pixels_.size() * 3);
    for (const Color& c : pixels_) rgb.insert(rgb.end(), {c.r, c.g, c.b});
    return EncodePng(width_, height_, rgb);
}

bool Canvas::SavePng(const std::string& path) const {
    const std::vector<std::uint8_t> bytes = Png();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace sim
