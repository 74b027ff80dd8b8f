// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// A small vector scene for charts (rectangles, polylines, text) and its two renderings:
// SVG text, and pixels for a PNG. The plot builds one scene; both files then show the
// same picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Colour {
    uint8_t r, g, b;
};

struct ChartRect {
    double x, y, width, height;
    Colour fill;
    Colour stroke;
    bool stroked;
};

struct ChartLine {
    std::vector<double> xy;  // x0, y0, x1, y1, ... in pixels, y down
    Colour colour;
    double width;
    bool dashed;
};

struct ChartText {
    double x, y;  // baseline start (or end when alignRight)
    std::string text;
    Colour colour;
    int size;  // pixel height of a capital letter; multiples of 7 render crisply
    bool alignRight;
};

struct Chart {
    int width = 0, height = 0;
    Colour background{255, 255, 255};
    std::vector<ChartRect> rects;
    std::vector<ChartLine> lines;
    std::vector<ChartText> texts;
};

std::string chartToSvg(const Chart& chart);

// 0x00RRGGBB pixels, top row first, width * height of them.
std::vector<uint32_t> chartToPixels(const Chart& chart);
