// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/scene_plan.h"

#include <algorithm>

#include "engine/correction_history.h"

namespace
{

// The end (one past the last frame) of the scene that begins at starts[i].
int64_t sceneEnd(const std::vector<int64_t>& starts, size_t i, int64_t frameCount)
{
    return i + 1 < starts.size() ? starts[i + 1] : frameCount;
}

}  // namespace

std::vector<int64_t> sceneStarts(const std::vector<MeasuredFrame>& frames)
{
    std::vector<bool> cut(frames.size(), false);
    for (size_t k = 0; k < frames.size(); ++k) {
        if (frames[k].event == SceneEvent::cut) cut[k] = true;
        // A flash ended: the cut its first frame looked like is none.
        if (frames[k].event == SceneEvent::flashUndone && frames[k].putBack >= 1 &&
            static_cast<size_t>(frames[k].putBack) <= k)
            cut[k - static_cast<size_t>(frames[k].putBack)] = false;
    }
    std::vector<int64_t> starts{0};
    for (size_t k = 1; k < frames.size(); ++k)
        if (cut[k]) starts.push_back(static_cast<int64_t>(k));
    return starts;
}

ChannelLevels medianLevels(const ChannelLevels* levels, size_t count)
{
    ChannelLevels out{};
    if (count == 0) return out;
    std::vector<double> values(count);
    for (int level = 0; level < kLevelCount; ++level) {
        for (size_t i = 0; i < count; ++i) values[i] = levels[i].value[level];
        std::sort(values.begin(), values.end());
        const size_t mid = count / 2;
        out.value[level] = count % 2 ? values[mid] : (values[mid - 1] + values[mid]) * 0.5;
    }
    return out;
}

CorrectionParams correctionFromLevels(const FrameSettings& settings, const ChannelLevels& levels)
{
    FrameSettings plain = settings;
    plain.freeze = 0;
    plain.disable = 0;
    plain.averageHistory = 0;  // the frame's own values
    CorrectionHistory scratch = identityHistory();
    return deriveCorrectionParams(scratch, plain, levels);
}

bool plannable(const FrameSettings& settings)
{
    return settings.balance == 0;
}

std::vector<CorrectionParams> planScenes(const FrameSettings& settings,
                                         const std::vector<MeasuredFrame>& frames,
                                         const std::vector<int64_t>& starts)
{
    if (!plannable(settings)) return {};
    const auto count = static_cast<int64_t>(frames.size());
    std::vector<CorrectionParams> plan(frames.size());
    std::vector<ChannelLevels> levels;
    for (size_t i = 0; i < starts.size(); ++i) {
        const int64_t end = sceneEnd(starts, i, count);
        levels.clear();
        for (int64_t k = starts[i]; k < end; ++k) levels.push_back(frames[size_t(k)].levels);
        const CorrectionParams scene =
            correctionFromLevels(settings, medianLevels(levels.data(), levels.size()));
        std::fill(plan.begin() + starts[i], plan.begin() + end, scene);
    }
    return plan;
}

std::vector<CorrectionParams> planSmooth(const FrameSettings& settings,
                                         const std::vector<MeasuredFrame>& frames,
                                         const std::vector<int64_t>& starts, int window)
{
    if (!plannable(settings)) return {};
    const auto count = static_cast<int64_t>(frames.size());
    std::vector<CorrectionParams> own(frames.size()), plan(frames.size());
    for (size_t k = 0; k < frames.size(); ++k)
        own[k] = correctionFromLevels(settings, frames[k].levels);
    const int64_t before = (std::max(window, 1) - 1) / 2, after = std::max(window, 1) / 2;
    for (size_t i = 0; i < starts.size(); ++i) {
        const int64_t first = starts[i], end = sceneEnd(starts, i, count);
        for (int64_t k = first; k < end; ++k) {
            const int64_t lo = std::max(first, k - before), hi = std::min(end - 1, k + after);
            for (int p = 0; p < kParamCount; ++p) {
                double sum = 0.0;
                for (int64_t j = lo; j <= hi; ++j) sum += own[size_t(j)].value[p];
                plan[size_t(k)].value[p] = sum / double(hi - lo + 1);
            }
        }
    }
    return plan;
}
