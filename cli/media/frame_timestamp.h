// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Where frame N of a video stream sits in time, found from the packets alone (nothing
// is decoded): the frames come out of the decoder in presentation order, one per
// packet, so frame N is the packet with the N-th smallest presentation timestamp.
#pragma once

#include <cstdint>

struct AVFormatContext;

// The presentation timestamp of frame `frame` (0-based) of stream `stream`, reading
// packets from the input's current position; AV_NOPTS_VALUE when a packet has no
// timestamp, decoding times go back (streams joined end to end), the input ends first or
// reading fails. The input is left wherever the
// reading stopped.
int64_t findFrameTimestamp(AVFormatContext* format, int stream, int64_t frame);
