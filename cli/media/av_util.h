// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Small helpers around FFmpeg's C API: owning pointers and error text.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

struct AvFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct AvPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct AvCodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvInputClose {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

using FramePtr = std::unique_ptr<AVFrame, AvFrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, AvCodecFree>;
using InputPtr = std::unique_ptr<AVFormatContext, AvInputClose>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;

inline std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// A full-range 8-bit frame in the filter's pixel layout: bytes B, G, R, X, i.e. the
// 32-bit pixel 0x00RRGGBB on a little-endian machine.
constexpr AVPixelFormat kFilterPixelFormat = AV_PIX_FMT_BGR0;

// The filter's layout for deeper video: full-range 16-bit words B, G, R, A; the filter
// ignores A and writes it zero, as it does the X byte of kFilterPixelFormat.
constexpr AVPixelFormat kDeepFilterPixelFormat = AV_PIX_FMT_BGRA64LE;
