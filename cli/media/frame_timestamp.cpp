// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/frame_timestamp.h"

#include <queue>

#include "cli/media/av_util.h"
#include "cli/media/output_file.h"

int64_t findFrameTimestamp(AVFormatContext* format, int stream, int64_t frame)
{
    // The frame+1 smallest timestamps so far; the largest of them is the candidate.
    std::priority_queue<int64_t> smallest;
    const bool reorders = format->streams[stream]->codecpar->video_delay > 0;
    PacketPtr packet(av_packet_alloc());
    if (!packet) return AV_NOPTS_VALUE;
    bool ended = false;
    int64_t lastDts = AV_NOPTS_VALUE;
    while (!interrupted()) {
        const int status = av_read_frame(format, packet.get());
        ended = status == AVERROR_EOF;
        if (status < 0) break;
        const AVPacket& p = *packet;
        // A discarded packet (before an edit list's start) is decoded but makes no frame.
        const bool counts = p.stream_index == stream && !(p.flags & AV_PKT_FLAG_DISCARD);
        const int64_t pts = p.pts, dts = p.dts;
        av_packet_unref(packet.get());
        if (!counts) continue;
        if (pts == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
        // Where the clock goes back (streams joined end to end) timestamps repeat, so the
        // N-th smallest is no longer frame N, and a seek to it would be ambiguous.
        if (dts != AV_NOPTS_VALUE && lastDts != AV_NOPTS_VALUE && dts < lastDts)
            return AV_NOPTS_VALUE;
        if (dts != AV_NOPTS_VALUE) lastDts = dts;
        if (static_cast<int64_t>(smallest.size()) <= frame)
            smallest.push(pts);
        else if (pts < smallest.top()) {
            smallest.pop();
            smallest.push(pts);
        }
        if (static_cast<int64_t>(smallest.size()) <= frame) continue;
        // Decoding order bounds what can still come: every later packet shows at or after
        // its decoding time, and without reordering at or after this one's own time.
        const int64_t bound = dts != AV_NOPTS_VALUE ? dts : (reorders ? AV_NOPTS_VALUE : pts);
        if (bound != AV_NOPTS_VALUE && bound > smallest.top()) return smallest.top();
    }
    // At the end of the input every packet has been seen.
    const bool complete = ended && static_cast<int64_t>(smallest.size()) > frame;
    return complete ? smallest.top() : AV_NOPTS_VALUE;
}
