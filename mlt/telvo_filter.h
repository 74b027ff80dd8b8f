// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The MLT filter service "telvo": the filter driven through the linked filter, one
// frame at a time, each rendered as the frame at its position in the clip. What a frame's
// correction depends on (the frames before it) is rebuilt on a seek by running those
// frames from a private producer first, so a frame comes out the same in a whole render,
// alone, after a seek and on any rendering thread.
#pragma once

#include <framework/mlt.h>

extern "C" mlt_filter filter_telvo_init(mlt_profile profile, mlt_service_type type, const char* id,
                                        char* arg);
