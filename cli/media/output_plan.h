// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the output will be, decided from the command line alone before anything is
// opened or written: the muxer, the video encoder and the encoder's pixel format rule.
#pragma once

#include <string>

#include "cli/media/av_util.h"

struct CliOptions;

struct OutputPlan {
    const AVOutputFormat* muxer = nullptr;
    const AVCodec* encoder = nullptr;  // null for the null muxer
    bool discard = false;              // -f null: frames are filtered and dropped
    bool imageSequence = false;        // image muxer with a %d pattern in OUTPUT
    bool singleImage = false;          // image muxer with one fixed file name
    int crf = -1;                      // CRF to pass, -1 none
};

// False with a usage message for an unknown format or codec, or a codec the container
// cannot hold.
bool planOutput(const CliOptions& options, OutputPlan& plan, std::string& error);

// The encoder's pixel format for a frame of this size coming from `input`: the input's
// own when the encoder takes it, otherwise the encoder's closest, with alpha if the
// input has it and the encoder offers it. Chroma-subsampled
// formats need even sizes, so an odd size moves to an unsubsampled format of the same
// depth. AV_PIX_FMT_NONE with a reason when the encoder has nothing that fits.
// With `deep` (16 bits per channel through the filter) --lossless stores 16-bit RGB.
AVPixelFormat choosePixelFormat(const AVCodec* encoder, AVPixelFormat input, bool lossless,
                                bool deep, int width, int height, std::string& error);
