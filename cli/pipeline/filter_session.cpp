// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/filter_session.h"

#include "cli/media/av_util.h"

bool FilterSession::run(const AVFrame* source, AVFrame* destination, int64_t frameNumber,
                        FrameReport* report)
{
    if (plan_ != nullptr) {
        if (frameNumber < 0 || frameNumber >= static_cast<int64_t>(plan_->size())) {
            refusal_ = "the input has more frames than the plan's " +
                       std::to_string(plan_->size()) + ": the plan is not this input's";
            return false;
        }
        filter_.choosePass(LinkedPass::planned, (*plan_)[static_cast<size_t>(frameNumber)]);
    }
    return filter_.run(bottomRow(source), bottomUpPitch(source), bottomRow(destination),
                       bottomUpPitch(destination), frameNumber, report);
}

std::string FilterSession::whyNoReport(int64_t frameNumber) const
{
    return !refusal_.empty()
               ? refusal_
               : "the filter reported no values for frame " + std::to_string(frameNumber);
}
