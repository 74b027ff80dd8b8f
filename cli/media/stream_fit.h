// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Whether an output container can hold an input stream as it is, decided before any
// frame is written. Muxers that list the codecs they hold answer
// avformat_query_codec; the others (MPEG program streams, Ogg) are asked by starting
// a header on a scratch buffer with the output's video stream and the stream in question,
// which fails exactly where the real header would.
#pragma once

#include "cli/media/av_util.h"

bool holdsAsItIs(const AVOutputFormat* format, const AVCodecParameters& video,
                 const AVStream& stream);

// The container's own audio encoder (MP2 for MPEG program streams, Opus for WebM,
// Vorbis for Ogg); null when it names none, this FFmpeg lacks it or the container
// cannot hold what it makes.
const AVCodec* defaultAudioEncoder(const AVOutputFormat* format);
