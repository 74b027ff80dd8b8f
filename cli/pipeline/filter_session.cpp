// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/filter_session.h"

#include "cli/media/av_util.h"

bool FilterSession::run(const AVFrame* source, AVFrame* destination, int64_t frameNumber,
                        FrameReport* report)
{
    return filter_.run(bottomRow(source), bottomUpPitch(source), bottomRow(destination),
                       bottomUpPitch(destination), frameNumber, report);
}
