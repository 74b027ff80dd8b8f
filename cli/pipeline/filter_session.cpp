// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/filter_session.h"

#include <cstring>

#include "cli/media/av_util.h"

bool FilterSession::run(const AVFrame* source, AVFrame* destination, int64_t frameNumber,
                        FrameReport* report)
{
    FrameRequest request{.pass = measureOnly_ ? LinkedPass::measure : LinkedPass::render};
    if (plan_ != nullptr) {
        if (frameNumber < 0 || frameNumber >= plan_->frames) {
            refusal_ = "the input has more frames than the plan's " +
                       std::to_string(plan_->frames) + ": the plan is not this input's";
            return false;
        }
        request = {LinkedPass::planned, plan_->applied[static_cast<size_t>(frameNumber)]};
    }
    const bool reported =
        filter_.runTopDown(source->data[0], source->linesize[0], destination->data[0],
                           destination->linesize[0], report, request);
    if (reported && plan_ != nullptr && report != nullptr &&
        std::memcmp(&plan_->measured[static_cast<size_t>(frameNumber)].levels, &report->levels,
                    sizeof report->levels) != 0) {
        refusal_ = planMismatch(frameNumber);
        return false;
    }
    return reported;
}

std::string FilterSession::whyNoReport(int64_t frameNumber) const
{
    return !refusal_.empty()
               ? refusal_
               : "the filter reported no values for frame " + std::to_string(frameNumber);
}
