// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/overlays.h"

#include <algorithm>

#include "engine/frame_settings.h"
#include "engine/histogram.h"
#include "engine/pixel.h"
#include "engine/pixel_bins.h"

namespace
{

struct OutlineEdges {
    int64_t bottomRow, topRow, leftColumn, rightColumn;  // edge positions
    int64_t xFirst, xLast;                               // columns of the horizontal edges
    int64_t yFirst, yLast;                               // rows of the vertical edges
};

OutlineEdges outlineEdges(int width, int height, const FrameSettings& s)
{
    OutlineEdges e;
    e.bottomRow = s.bottom;
    e.topRow = int64_t(height) - s.top + 1;
    e.leftColumn = s.left;
    e.rightColumn = int64_t(width) - s.right + 1;
    e.xFirst = int64_t(s.left) + 1;
    e.xLast = int64_t(width) - s.right;
    e.yFirst = int64_t(s.bottom) + 1;
    e.yLast = int64_t(height) - s.top;
    return e;
}

// Spans are inclusive and cut to the frame; an empty or outside span draws nothing.
void drawRowSpan(const Plane& f, int64_t y, int64_t xFirst, int64_t xLast,
                 uint32_t colour = kOutlineColour)
{
    if (y < 0 || y >= f.height) return;
    xFirst = std::max<int64_t>(xFirst, 0);
    xLast = std::min<int64_t>(xLast, f.width - 1);
    for (int64_t x = xFirst; x <= xLast; ++x)
        storeColour(f.pixel(int(x), int(y)), f.format, colour);
}

void drawColumnSpan(const Plane& f, int64_t x, int64_t yFirst, int64_t yLast,
                    uint32_t colour = kOutlineColour)
{
    if (x < 0 || x >= f.width) return;
    yFirst = std::max<int64_t>(yFirst, 0);
    yLast = std::min<int64_t>(yLast, f.height - 1);
    for (int64_t y = yFirst; y <= yLast; ++y)
        storeColour(f.pixel(int(x), int(y)), f.format, colour);
}

struct OutputHistograms {
    int64_t red[256], green[256], blue[256];
};

void toOutput(const ChannelHistograms& counted, OutputHistograms& out)
{
    for (int v = 0; v < 256; ++v) {
        out.red[v] = static_cast<int64_t>(counted.r[v]);
        out.green[v] = static_cast<int64_t>(counted.g[v]);
        out.blue[v] = static_cast<int64_t>(counted.b[v]);
    }
}

// Not a colour the graph draws (those have a zero top byte).
constexpr uint32_t kNoRule = 0xFFFFFFFF;

// The colour the graph gives pixel (x, y), or `current` where no rule applies. Later
// rules win.
uint32_t graphColour(const OutputHistograms& h, int64_t x, int64_t y, uint32_t current)
{
    uint32_t c = current;
    const bool grid =
        (y == 32 && x >= 33 && x <= 287) || (y == 64 && x >= 65 && x <= 319) ||
        (y == 96 && x >= 97 && x <= 351) ||
        ((x - y) >= 0 && (x - y) % 32 == 0 && (x - y) / 32 <= 7 && y >= 33 && y <= 95) ||
        (x - y == 256 && y >= 32 && y <= 95);
    if (grid) c = kGridColour;
    if (x >= 97 && x <= 350 && y - 96 >= 1 && y - 96 < h.blue[x - 96] / 30) c = kBlueBarColour;
    if (x >= 65 && x <= 318 && y - 64 >= 1 && y - 64 < h.green[x - 64] / 30) c = kGreenBarColour;
    if (x >= 33 && x <= 286 && y - 32 >= 1 && y - 32 < h.red[x - 32] / 30) c = kRedBarColour;
    return c;
}

// The last row of the bar that the panel with baseline `base` draws in column x: bin
// b = x - base covers rows base + 1 .. base + count / 30 - 1; bins 0 and 255 and
// columns outside the panel have none (the row returned is then below base + 1).
int64_t barTop(int x, int base, const int64_t counts[256])
{
    const int b = x - base;
    return b >= 1 && b <= 254 ? base + counts[b] / 30 - 1 : base;
}

// The bars, sixteen columns at a time and row by row within them: a bar is a column,
// and drawing one column after another touches a new cache line for every pixel. In
// each pixel the rules' order holds: red before green before blue.
void drawBars(const Plane& frame, const OutputHistograms& h)
{
    constexpr int kBlock = 16;
    const int lastColumn = std::min(frame.width - 1, 350);
    for (int x0 = 33; x0 <= lastColumn; x0 += kBlock) {
        const int columns = std::min(kBlock, lastColumn - x0 + 1);
        int64_t red[kBlock], green[kBlock], blue[kBlock];
        int64_t highest = 0;
        for (int i = 0; i < columns; ++i) {
            red[i] = barTop(x0 + i, 32, h.red);
            green[i] = barTop(x0 + i, 64, h.green);
            blue[i] = barTop(x0 + i, 96, h.blue);
            highest = std::max({highest, red[i], green[i], blue[i]});
        }
        const int64_t lastRow = std::min<int64_t>(highest, frame.height - 1);
        for (int64_t y = 33; y <= lastRow; ++y) {
            uint8_t* at = frame.pixel(x0, int(y));
            for (int i = 0; i < columns; ++i, at += frame.bytesPerPixel()) {
                if (y <= red[i])
                    storeColour(at, frame.format, kRedBarColour);
                else if (y >= 65 && y <= green[i])
                    storeColour(at, frame.format, kGreenBarColour);
                else if (y >= 97 && y <= blue[i])
                    storeColour(at, frame.format, kBlueBarColour);
            }
        }
    }
}

}  // namespace

void drawBorderOutline(const Plane& frame, const FrameSettings& settings)
{
    if (frame.empty()) return;
    const OutlineEdges e = outlineEdges(frame.width, frame.height, settings);
    drawRowSpan(frame, e.bottomRow, e.xFirst, e.xLast);
    drawRowSpan(frame, e.topRow, e.xFirst, e.xLast);
    drawColumnSpan(frame, e.leftColumn, e.yFirst, e.yLast);
    drawColumnSpan(frame, e.rightColumn, e.yFirst, e.yLast);
}

void drawHistogramGraph(const Plane& frame)
{
    if (frame.empty()) return;
    ChannelHistograms counted;
    const PixelRegion whole{0, frame.width, 0, frame.height};
    if (frame.format == PixelFormat::Bgra64)
        countHistogramsDeep(asConst(frame), whole, counted);
    else
        countHistograms(asConst(frame), whole, counted);
    drawHistogramGraph(frame, counted);
}

void drawHistogramGraph(const Plane& frame, const ChannelHistograms& output)
{
    if (frame.empty()) return;
    OutputHistograms h;
    toOutput(output, h);
    // The rules drawn in their order, the grid as spans, so a later rule overwrites an
    // earlier one exactly where both match; pixels that match no rule are never touched.
    drawRowSpan(frame, 32, 33, 287, kGridColour);
    drawRowSpan(frame, 64, 65, 319, kGridColour);
    drawRowSpan(frame, 96, 97, 351, kGridColour);
    // The depth lines x - y = 32k (k = 0..7) over rows 33..95; the last, x - y = 256,
    // from row 32.
    for (int64_t y = 32; y <= 95; ++y) {
        if (y >= 33)
            for (int64_t k = 0; k <= 7; ++k)
                drawRowSpan(frame, y, y + 32 * k, y + 32 * k, kGridColour);
        drawRowSpan(frame, y, y + 256, y + 256, kGridColour);
    }
    drawBars(frame, h);
}

void drawBorderOutlineReference(const Plane& frame, const FrameSettings& settings)
{
    if (frame.empty()) return;
    const OutlineEdges e = outlineEdges(frame.width, frame.height, settings);
    for (int64_t y = 0; y < frame.height; ++y) {
        for (int64_t x = 0; x < frame.width; ++x) {
            const bool horizontal =
                (y == e.bottomRow || y == e.topRow) && x >= e.xFirst && x <= e.xLast;
            const bool vertical =
                (x == e.leftColumn || x == e.rightColumn) && y >= e.yFirst && y <= e.yLast;
            if (horizontal || vertical)
                storeColour(frame.pixel(int(x), int(y)), frame.format, kOutlineColour);
        }
    }
}

void drawHistogramGraphReference(const Plane& frame)
{
    if (frame.empty()) return;
    OutputHistograms h{};
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            int bins[3];
            pixelBins(asConst(frame), x, y, bins);
            ++h.red[bins[0]];
            ++h.green[bins[1]];
            ++h.blue[bins[2]];
        }
    }
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const uint32_t colour = graphColour(h, x, y, kNoRule);
            if (colour != kNoRule) storeColour(frame.pixel(x, y), frame.format, colour);
        }
    }
}
