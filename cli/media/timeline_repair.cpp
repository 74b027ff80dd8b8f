// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/timeline_repair.h"

#include <algorithm>

namespace
{

// Steps smaller than these are the stream's own jitter, not a new part: back by a tenth
// of a second, or ahead by ten seconds (a gap in a recording stays a gap).
constexpr int64_t kBackTolerance = AV_TIME_BASE / 10;
constexpr int64_t kAheadTolerance = 10 * int64_t{AV_TIME_BASE};

}  // namespace

void TimelineRepair::start(const AVFormatContext* format)
{
    enabled_ = (format->iformat->flags & AVFMT_TS_DISCONT) != 0;
    lastDts_.assign(format->nb_streams, AV_NOPTS_VALUE);
    nextDts_.assign(format->nb_streams, AV_NOPTS_VALUE);
}

void TimelineRepair::apply(const AVStream* stream, AVPacket* packet)
{
    if (!enabled_ || packet->stream_index < 0 ||
        packet->stream_index >= static_cast<int>(nextDts_.size()))
        return;
    const AVRational timeBase = stream->time_base;
    const AVMediaType type = stream->codecpar->codec_type;
    const size_t index = static_cast<size_t>(packet->stream_index);
    // Subtitles come seldom and out of step, so only audio and video tell a jump.
    if (packet->dts != AV_NOPTS_VALUE &&
        (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO)) {
        const int64_t dts = av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q) + offset_;
        if (nextDts_[index] != AV_NOPTS_VALUE) {
            const int64_t delta = dts - nextDts_[index];
            if (delta > kAheadTolerance || dts + kBackTolerance < lastDts_[index]) {
                offset_ -= delta;
                ++joins_;
            }
        }
    }
    const int64_t shift = av_rescale_q(offset_, AV_TIME_BASE_Q, timeBase);
    if (packet->dts != AV_NOPTS_VALUE) packet->dts += shift;
    if (packet->pts != AV_NOPTS_VALUE) packet->pts += shift;
    if (packet->dts != AV_NOPTS_VALUE) {
        lastDts_[index] = av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q);
        nextDts_[index] = lastDts_[index] + av_rescale_q(std::max<int64_t>(packet->duration, 0),
                                                         timeBase, AV_TIME_BASE_Q);
    }
}
