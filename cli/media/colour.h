// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The colour interpretation of the input, kept for the way back: decoding converts with
// the input's own matrix and range into full-range RGB, encoding converts back with the
// same ones and writes the same tags, so an uncorrected frame comes out looking the same.
#pragma once

#include "cli/media/av_util.h"

struct ColourTags {
    AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVChromaLocation chromaLocation = AVCHROMA_LOC_UNSPECIFIED;
};

ColourTags tagsOf(const AVFrame& frame);
ColourTags tagsOf(const AVCodecParameters& parameters);

bool isRgbFormat(AVPixelFormat format);

// The name of an HDR transfer (PQ, HLG), whose pictures are not display-referred; null
// for any other.
const char* hdrTransferName(AVColorTransferCharacteristic transfer);

// The tags an encoded output carries: the input's matrix, range and tags; an RGB output
// carries no matrix, and YUV made from an RGB input gets the usual matrix for its
// height, tagged limited range. JPEG is full range by definition.
ColourTags outputColourTags(const ColourTags& input, AVPixelFormat inputFormat,
                            AVPixelFormat outputFormat, AVCodecID codec, int height);

// The matrix the conversion uses (SWS_CS_*): the tagged one, or for untagged video the
// usual guess, BT.709 from 720 rows up and BT.601 below.
int swsMatrix(AVColorSpace space, int height);

// Full range when tagged so or when the format is a full-range ("J") one.
bool isFullRange(AVPixelFormat format, AVColorRange range);

// Converters between a frame format and the filter's full-range RGB (`layout`: BGR0, or
// BGRA to carry the input's alpha). Null on failure.
SwsPtr makeToFilterConverter(int width, int height, AVPixelFormat from, const ColourTags& tags,
                             AVPixelFormat layout = kFilterPixelFormat);
SwsPtr makeFromFilterConverter(int width, int height, AVPixelFormat to, const ColourTags& tags,
                               AVPixelFormat layout = kFilterPixelFormat);

bool hasAlpha(AVPixelFormat format);
