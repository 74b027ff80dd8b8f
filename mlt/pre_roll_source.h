// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Where the frames before a seek come from: a private producer of the clip the filter's
// frames come from, opened once through MLT's loader (so with the same normalising
// filters a clip gets in melt and the editors) and never shared, so fetching from it
// moves nothing the playing producer depends on and needs no lock but the filter's own.
#pragma once

#include <framework/mlt.h>

#include <cstdint>
#include <string>

class PreRollSource
{
public:
    PreRollSource() = default;
    ~PreRollSource();
    PreRollSource(const PreRollSource&) = delete;
    PreRollSource& operator=(const PreRollSource&) = delete;

    // Opens (or keeps) a producer of the clip `frame` comes from; false when the clip has
    // no resource a producer can be opened from (a generated picture, say).
    bool openFor(mlt_profile profile, mlt_frame frame);

    // The frame at `position` of the clip, its image fetched in `format` at width x height
    // (`like`'s consumer properties copied, so it is scaled and converted as `like` was).
    // Null when it cannot be had in that format and size. The caller closes it.
    mlt_frame fetch(int64_t position, mlt_frame like, mlt_image_format format, int width,
                    int height, uint8_t** image);

private:
    mlt_producer producer_ = nullptr;
    std::string resource_;
};
