// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/scene_plan.h"

#include <algorithm>
#include <utility>

#include "engine/correction_history.h"

namespace
{

// The end (one past the last frame) of the scene that begins at starts[i].
int64_t sceneEnd(const std::vector<int64_t>& starts, size_t i, int64_t frameCount)
{
    return i + 1 < starts.size() ? starts[i + 1] : frameCount;
}

// `values` with `strength` % of their deviation from the identity.
CorrectionParams withStrength(const CorrectionParams& values, int strength)
{
    const CorrectionParams identity = identityCorrection();
    const double share = std::clamp(strength, 0, 100) / 100.0;
    CorrectionParams out;
    for (int p = 0; p < kParamCount; ++p)
        out.value[p] = identity.value[p] + share * (values.value[p] - identity.value[p]);
    return out;
}

// The balance way's scene: its frames' weighted median.
CorrectionParams balanceScene(const FrameSettings& settings, const MeasuredFrame* frames,
                              size_t count)
{
    std::vector<BalanceEstimate> estimates;
    for (size_t k = 0; k < count; ++k) estimates.push_back(frames[k].balance);
    return withStrength(weightedMedian(estimates.data(), count), settings.balanceStrength);
}

// The balance way's window: the weighted mean of its frames' estimates.
CorrectionParams balanceWindow(const FrameSettings& settings, const MeasuredFrame* frames,
                               size_t count)
{
    double total = 0;
    for (size_t k = 0; k < count; ++k) total += frames[k].balance.weight;
    CorrectionParams mean{};
    for (int p = 0; p < kParamCount; ++p) {
        double sum = 0;
        for (size_t k = 0; k < count; ++k)
            sum += frames[k].balance.values.value[p] * (total > 0 ? frames[k].balance.weight : 1.0);
        mean.value[p] = sum / (total > 0 ? total : double(count));
    }
    return withStrength(mean, settings.balanceStrength);
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

CorrectionParams weightedMedian(const BalanceEstimate* estimates, size_t count)
{
    CorrectionParams out = identityCorrection();
    if (count == 0) return out;
    double total = 0;
    for (size_t k = 0; k < count; ++k) total += estimates[k].weight;
    std::vector<std::pair<double, double>> sorted(count);  // value, weight
    for (int p = 0; p < kParamCount; ++p) {
        for (size_t k = 0; k < count; ++k)
            sorted[k] = {estimates[k].values.value[p], total > 0 ? estimates[k].weight : 1.0};
        std::sort(sorted.begin(), sorted.end());
        const double half = (total > 0 ? total : double(count)) * 0.5;
        double below = 0;
        for (size_t k = 0; k < count; ++k) {
            below += sorted[k].second;
            if (below < half) continue;
            out.value[p] = below == half && k + 1 < count
                               ? (sorted[k].first + sorted[k + 1].first) * 0.5
                               : sorted[k].first;
            break;
        }
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

std::vector<CorrectionParams> planScenes(const FrameSettings& settings,
                                         const std::vector<MeasuredFrame>& frames,
                                         const std::vector<int64_t>& starts)
{
    const auto count = static_cast<int64_t>(frames.size());
    std::vector<CorrectionParams> plan(frames.size());
    std::vector<ChannelLevels> levels;
    for (size_t i = 0; i < starts.size(); ++i) {
        const int64_t end = sceneEnd(starts, i, count);
        levels.clear();
        for (int64_t k = starts[i]; k < end; ++k) levels.push_back(frames[size_t(k)].levels);
        const CorrectionParams scene =
            settings.balance
                ? balanceScene(settings, frames.data() + starts[i], size_t(end - starts[i]))
                : correctionFromLevels(settings, medianLevels(levels.data(), levels.size()));
        std::fill(plan.begin() + starts[i], plan.begin() + end, scene);
    }
    return plan;
}

std::vector<CorrectionParams> planSmooth(const FrameSettings& settings,
                                         const std::vector<MeasuredFrame>& frames,
                                         const std::vector<int64_t>& starts, int window)
{
    const auto count = static_cast<int64_t>(frames.size());
    std::vector<CorrectionParams> own(frames.size()), plan(frames.size());
    for (size_t k = 0; k < frames.size() && !settings.balance; ++k)
        own[k] = correctionFromLevels(settings, frames[k].levels);
    const int64_t before = (std::max(window, 1) - 1) / 2, after = std::max(window, 1) / 2;
    for (size_t i = 0; i < starts.size(); ++i) {
        const int64_t first = starts[i], end = sceneEnd(starts, i, count);
        for (int64_t k = first; k < end; ++k) {
            const int64_t lo = std::max(first, k - before), hi = std::min(end - 1, k + after);
            if (settings.balance) {
                plan[size_t(k)] = balanceWindow(settings, frames.data() + lo, size_t(hi - lo + 1));
                continue;
            }
            for (int p = 0; p < kParamCount; ++p) {
                double sum = 0.0;
                for (int64_t j = lo; j <= hi; ++j) sum += own[size_t(j)].value[p];
                plan[size_t(k)].value[p] = sum / double(hi - lo + 1);
            }
        }
    }
    return plan;
}
