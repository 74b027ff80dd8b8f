// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Rasterising the chart scene: filled rectangles, thick polylines stamped along each
// segment, and text in a built-in 5x7 capital font (no font files needed).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "cli/report/chart.h"

namespace
{

struct Glyph {
    char c;
    uint8_t rows[7];  // bit 4 is the leftmost column
};

// clang-format off
constexpr Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}}, {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}}, {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
};
// clang-format on

const Glyph* glyphOf(char c)
{
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const Glyph& g : kFont)
        if (g.c == c) return &g;
    return nullptr;  // blank
}

class Canvas
{
public:
    Canvas(int width, int height, Colour background)
        : width_(width),
          height_(height),
          pixels_(static_cast<size_t>(width) * height, pack(background))
    {
    }

    static uint32_t pack(Colour c) { return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b; }

    void fill(int x0, int y0, int x1, int y1, Colour c)
    {
        x0 = std::max(x0, 0), y0 = std::max(y0, 0);
        x1 = std::min(x1, width_), y1 = std::min(y1, height_);
        for (int y = y0; y < y1; ++y)
            std::fill_n(&pixels_[static_cast<size_t>(y) * width_ + x0], std::max(0, x1 - x0),
                        pack(c));
    }

    // A thick segment: square stamps every half pixel along it.
    void segment(double x0, double y0, double x1, double y1, double width, Colour c, bool dashed,
                 double& dashPhase)
    {
        const double length = std::hypot(x1 - x0, y1 - y0);
        const int steps = std::max(1, static_cast<int>(length * 2));
        const int side = std::max(1, static_cast<int>(std::lround(width)));
        for (int i = 0; i <= steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            const double along = dashPhase + t * length;
            if (dashed && std::fmod(along, 10.0) >= 6.0) continue;
            const int x = static_cast<int>(std::lround(x0 + t * (x1 - x0)));
            const int y = static_cast<int>(std::lround(y0 + t * (y1 - y0)));
            fill(x - side / 2, y - side / 2, x - side / 2 + side, y - side / 2 + side, c);
        }
        dashPhase += length;
    }

    void text(const ChartText& t)
    {
        const int scale = std::max(1, t.size / 7);
        const int advance = 6 * scale;
        int x = static_cast<int>(std::lround(t.x));
        if (t.alignRight) x -= advance * static_cast<int>(t.text.size()) - scale;
        const int top = static_cast<int>(std::lround(t.y)) - 7 * scale;
        for (char c : t.text) {
            if (const Glyph* g = glyphOf(c))
                for (int row = 0; row < 7; ++row)
                    for (int col = 0; col < 5; ++col)
                        if (g->rows[row] & (0x10 >> col))
                            fill(x + col * scale, top + row * scale, x + (col + 1) * scale,
                                 top + (row + 1) * scale, t.colour);
            x += advance;
        }
    }

    std::vector<uint32_t> take() { return std::move(pixels_); }

private:
    int width_, height_;
    std::vector<uint32_t> pixels_;
};

}  // namespace

std::vector<uint32_t> chartToPixels(const Chart& chart)
{
    Canvas canvas(chart.width, chart.height, chart.background);
    for (const ChartRect& r : chart.rects) {
        const int x0 = static_cast<int>(std::lround(r.x)), y0 = static_cast<int>(std::lround(r.y));
        const int x1 = static_cast<int>(std::lround(r.x + r.width));
        const int y1 = static_cast<int>(std::lround(r.y + r.height));
        canvas.fill(x0, y0, x1, y1, r.fill);
        if (r.stroked) {
            canvas.fill(x0, y0, x1, y0 + 1, r.stroke);
            canvas.fill(x0, y1 - 1, x1, y1, r.stroke);
            canvas.fill(x0, y0, x0 + 1, y1, r.stroke);
            canvas.fill(x1 - 1, y0, x1, y1, r.stroke);
        }
    }
    for (const ChartLine& l : chart.lines) {
        double phase = 0;
        for (size_t i = 0; i + 3 < l.xy.size(); i += 2)
            canvas.segment(l.xy[i], l.xy[i + 1], l.xy[i + 2], l.xy[i + 3], l.width, l.colour,
                           l.dashed, phase);
        if (l.xy.size() == 2)
            canvas.segment(l.xy[0], l.xy[1], l.xy[0], l.xy[1], l.width, l.colour, false, phase);
    }
    for (const ChartText& t : chart.texts) canvas.text(t);
    return canvas.take();
}
