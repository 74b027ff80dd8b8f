// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/png_image.h"

#include "cli/media/av_util.h"

bool encodePng(const uint8_t* topRow, ptrdiff_t pitch, int width, int height, std::string& bytes,
               std::string& error)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (codec == nullptr) {
        error = "this FFmpeg has no PNG encoder";
        return false;
    }
    CodecPtr enc(avcodec_alloc_context3(codec));
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!enc || !frame || !packet) {
        error = "out of memory";
        return false;
    }
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = AV_PIX_FMT_RGB24;
    enc->time_base = AVRational{1, 25};
    if (avcodec_open2(enc.get(), codec, nullptr) < 0) {
        error = "cannot open the PNG encoder";
        return false;
    }
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        error = "out of memory";
        return false;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = topRow + y * pitch;
        uint8_t* out = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        for (int x = 0; x < width; ++x) {
            out[3 * x] = in[4 * x + 2];
            out[3 * x + 1] = in[4 * x + 1];
            out[3 * x + 2] = in[4 * x];
        }
    }
    if (avcodec_send_frame(enc.get(), frame.get()) < 0 ||
        avcodec_send_frame(enc.get(), nullptr) < 0 ||
        avcodec_receive_packet(enc.get(), packet.get()) < 0) {
        error = "PNG encoding failed";
        return false;
    }
    bytes.assign(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
    return true;
}
