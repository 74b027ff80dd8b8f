// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The way the input asks to be shown: phones store pictures as the sensor saw them and
// a display matrix that turns them upright. Containers with a field for the matrix (the
// MP4 family) keep it; for the others the pictures are turned before the filter, read
// from the matrix exactly as FFmpeg's own tool reads it.
#pragma once

#include <cstdint>
#include <string>

#include "cli/media/av_util.h"
#include "cli/media/filter_frames.h"

struct DisplayTurn {
    // Applied in this order: swap the axes, mirror the columns, mirror the rows.
    bool transpose = false, mirrorX = false, mirrorY = false;
    double clockwiseDegrees = 0;  // what the matrix asks for, 0 <= d < 360
    bool mirrored = false;        // the matrix also mirrors the picture
    bool quarterTurns = true;     // a multiple of 90 degrees: it can be applied

    bool turns() const { return transpose || mirrorX || mirrorY; }
    // The size of a turned picture of width w and height h.
    int width(int w, int h) const { return transpose ? h : w; }
    int height(int w, int h) const { return transpose ? w : h; }
};

// From a 3x3 display matrix (16.16 fixed point, as FFmpeg stores it); null: none.
DisplayTurn displayTurnOf(const int32_t* matrix);
DisplayTurn displayTurnOf(const AVStream& stream);

// Margins given for the displayed picture, {top, left, right, bottom}, as the edges of the
// picture as stored (before `turn`): what a filter that sees the stored picture measures.
void storedMargins(const DisplayTurn& turn, int margins[4]);

// "turned a quarter clockwise", "upside down", ... and ", mirrored" where it applies.
std::string describe(const DisplayTurn& turn);

// The MP4 family's track header holds a display matrix; other containers lose it.
bool holdsDisplayMatrix(const AVOutputFormat* format);

// Turns frames in the filter's layout (32-bit pixels) as `turn` says, into frames from
// its own pool.
class PictureTurner
{
public:
    PictureTurner(const DisplayTurn& turn, int width, int height,
                  AVPixelFormat layout = kFilterPixelFormat)
        : turn_(turn), pool_(turn.width(width, height), turn.height(width, height), layout)
    {
    }
    // Replaces `frame` with its turned copy; false when out of memory.
    bool turn(FramePtr& frame, std::string& error);

private:
    DisplayTurn turn_;
    FilterFramePool pool_;
};
