#pragma once
// A small raster canvas that writes PNG files: enough to draw a session's map and the
// marker's path for people to look at. No compression library: the image data is stored
// in uncompressed deflate blocks.

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Color {
    std::uint8_t r, g, b;
};

class Canvas {
public:
    Canvas(int width, int height, Color background);
    int Width() const { return width_; }
    int Height() const { return height_; }
    Color At(int x, int y) const;

    void Pixel(int x, int y, Color color);
    void Rect(int x, int y, int width, int height, Color color);   // filled
    void Frame(int x, int y, int width, int height, Color color);  // outline
    void Line(double x0, double y0, double x1, double y1, Color color, int thickness = 1);
    void Disc(double cx, double cy, double radius, Color color);
    void Ring(double cx, double cy, double radius, Color color);
    // Upper-case letters, digits and a few signs, five cells high (most three wide), each
    // cell `scale` pixels square; TextWidth is the width Text advances over.
    void Text(int x, int y, const std::string& text, Color color, int scale = 2);
    static int TextWidth(const std::string& text, int scale = 2);

    std::vector<std::uint8_t> Png() const;
    bool SavePng(const std::string& path) const;

private:
    int width_, height_;
    std::vector<Color> pixels_;
};

// PNG file bytes for 8-bit RGB rows, top row first.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace sim
