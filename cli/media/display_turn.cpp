// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/display_turn.h"

#include <cmath>
#include <cstring>
#include <utility>

extern "C" {
#include <libavutil/display.h>
}

namespace
{

bool near(double a, double b)
{
    return std::fabs(a - b) < 1.0;
}

}  // namespace

// The matrix's angle rounded to whole degrees, and for each quarter turn the transpose
// and flips FFmpeg's tool inserts (its transpose modes clock, cclock, clock_flip and
// cclock_flip are a transpose followed by none, one or both mirrors).
DisplayTurn displayTurnOf(const int32_t* m)
{
    DisplayTurn t;
    if (m == nullptr) return t;
    double theta = -std::round(av_display_rotation_get(m));
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    t.clockwiseDegrees = theta;
    t.mirrored = static_cast<double>(m[0]) * m[4] - static_cast<double>(m[1]) * m[3] < 0;
    if (near(theta, 90)) {
        t.transpose = true;
        t.mirrorX = m[3] <= 0;
    } else if (near(theta, 180)) {
        t.mirrorX = m[0] < 0;
        t.mirrorY = m[4] < 0;
    } else if (near(theta, 270)) {
        t.transpose = true;
        t.mirrorX = m[3] < 0;
        t.mirrorY = true;
    } else if (near(theta, 0) || near(theta, 360)) {
        t.mirrorY = m[4] < 0;
    } else {
        t.quarterTurns = false;
    }
    return t;
}

DisplayTurn displayTurnOf(const AVStream& stream)
{
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr || size < 9 * sizeof(int32_t)) return {};
    int32_t copy[9];
    std::memcpy(copy, matrix, sizeof copy);
    return displayTurnOf(copy);
}

// Undoes the turn's steps in reverse: the rows' mirror swaps top and bottom, the
// columns' mirror left and right, and the transpose takes the displayed left edge to the
// stored top (and top to left, right to bottom, bottom to right).
void storedMargins(const DisplayTurn& turn, int m[4])
{
    enum { top, left, right, bottom };
    if (turn.mirrorY) std::swap(m[top], m[bottom]);
    if (turn.mirrorX) std::swap(m[left], m[right]);
    if (turn.transpose) {
        const int shown[4] = {m[top], m[left], m[right], m[bottom]};
        m[top] = shown[left], m[left] = shown[top];
        m[right] = shown[bottom], m[bottom] = shown[right];
    }
}

std::string describe(const DisplayTurn& turn)
{
    const long degrees = std::lround(turn.clockwiseDegrees) % 360;
    std::string text = degrees == 0     ? std::string("unrotated")
                       : degrees == 90  ? std::string("turned a quarter clockwise")
                       : degrees == 180 ? std::string("upside down")
                       : degrees == 270
                           ? std::string("turned a quarter anticlockwise")
                           : "turned " + std::to_string(degrees) + " degrees clockwise";
    return turn.mirrored ? text + ", mirrored" : text;
}

bool holdsDisplayMatrix(const AVOutputFormat* format)
{
    for (const char* name : {"mov", "mp4", "3gp", "3g2", "psp", "ipod", "ismv", "f4v"})
        if (std::strcmp(format->name, name) == 0) return true;
    return false;
}

bool PictureTurner::turn(FramePtr& frame, std::string& error)
{
    FramePtr out = pool_.get();
    if (!out) {
        error = "out of memory";
        return false;
    }
    const AVFrame* in = frame.get();
    const int width = out->width, height = out->height;
    // Destination pixel (x, y) reads source (x1, y1), swapped when transposed, where
    // x1 and y1 are x and y mirrored as asked: walk the source with a fixed step.
    const ptrdiff_t pitch = in->linesize[0];
    const int bytes = pool_.bytesPerPixel();
    const ptrdiff_t alongX = turn_.transpose ? pitch : bytes;
    const ptrdiff_t alongY = turn_.transpose ? bytes : pitch;
    const ptrdiff_t stepX = turn_.mirrorX ? -alongX : alongX;
    const ptrdiff_t stepY = turn_.mirrorY ? -alongY : alongY;
    const uint8_t* rowStart = in->data[0] + (turn_.mirrorX ? (width - 1) * alongX : 0) +
                              (turn_.mirrorY ? (height - 1) * alongY : 0);
    for (int y = 0; y < height; ++y, rowStart += stepY) {
        uint8_t* target = out->data[0] + static_cast<ptrdiff_t>(y) * out->linesize[0];
        const uint8_t* source = rowStart;
        for (int x = 0; x < width; ++x, source += stepX)
            std::memcpy(target + bytes * x, source, bytes);
    }
    av_frame_copy_props(out.get(), in);
    out->format = in->format;
    frame = std::move(out);
    return true;
}
