// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/frame_pass.h"

#include <cstring>

#include "engine/analysis_phase.h"
#include "engine/balance_correction.h"
#include "engine/balance_counts.h"
#include "engine/correction_phase.h"
#include "engine/overlays.h"
#include "engine/peak_threshold.h"

namespace
{

// The destination in the source's size and pixel format.
Plane destinationSized(const ConstPlane& source, const Plane& destination)
{
    return Plane{destination.row0, destination.pitch, source.width, source.height, source.format};
}

// Every destination pixel is remapPixel(tables, its source pixel), so the output's
// histogram of a channel is the source's carried through that channel's table: bin v
// of the source adds its count to bin table[v] of the output.
void outputThroughTables(const ChannelHistograms& source, const RemapTables& t,
                         ChannelHistograms& out)
{
    std::memset(&out, 0, sizeof out);
    for (int v = 0; v < 256; ++v) {
        out.r[(t.r[v] >> 16) & 0xFF] += source.r[v];
        out.g[(t.g[v] >> 8) & 0xFF] += source.g[v];
        out.b[t.b[v] & 0xFF] += source.b[v];
    }
}

// The balance way: the frame's estimate, with a carry smoothed by its weight within the
// shot and handed to the history as a restart (every slot the smoothed values, so freeze,
// disable and the open dialog act as for the defaults); without one, the plain history.
CorrectionParams settleBalance(const FrameSettings& settings, CorrectionHistory& history,
                               LinkedCarry* carry, const ChannelHistograms& counted,
                               const BalanceCounts& grey, bool restart)
{
    const BalanceEstimate own = estimateBalance(counted, grey, settings.balanceStrength);
    if (carry == nullptr) return settleCorrectionParams(history, settings, own.values, restart);
    if (settings.freeze) return settleCorrectionParams(history, settings, own.values, false);
    return settleCorrectionParams(history, settings, smoothBalance(carry->balance, own, restart),
                                  true);
}

// The frame's values from its counted histograms, with the cut detector when a carry is
// given and the setting is on; without, exactly the plain history step. A planned frame
// takes the requested values and leaves the history and the detector alone: no frame of a
// second pass depends on another.
FrameReport settleCorrection(const FrameSettings& settings, CorrectionHistory& history,
                             const FrameLinks& links, const ChannelHistograms& counted,
                             const BalanceCounts& grey, ThresholdFunction threshold)
{
    const ChannelLevels levels = levelsFromHistograms(counted, threshold);
    const LinkedPass pass = links.request.pass;
    if (pass == LinkedPass::planned)
        return FrameReport{levels, settings.disable ? identityCorrection() : links.request.planned,
                           SceneEvent::none};
    LinkedCarry* carry = links.carry;
    SceneEvent event = SceneEvent::none;
    if (carry != nullptr && settings.sceneCuts > 0)
        event = advanceSceneCarry(carry->scene, settings.sceneCuts, counted, history);
    else if (carry != nullptr)
        carry->scene.seen = 0;  // switched on again later, it compares nothing with stale frames
    const int putBack = event == SceneEvent::flashUndone ? carry->scene.putBack : 0;
    if (pass == LinkedPass::measure) {
        FrameReport report{levels, identityCorrection(), event, putBack};
        if (settings.balance) report.balance = estimateBalance(counted, grey, 100);
        return report;
    }
    const bool restart = event == SceneEvent::cut;
    const CorrectionParams applied =
        settings.balance ? settleBalance(settings, history, carry, counted, grey, restart)
                         : deriveCorrectionParams(history, settings, levels, restart);
    return FrameReport{levels, applied, event, putBack};
}

bool measureOnly(const FrameLinks& links)
{
    return links.request.pass == LinkedPass::measure;
}

// A planned frame applies values already derived: the near-grey pixels are not looked at.
bool balanceCounted(const FrameSettings& settings, const FrameLinks& links)
{
    return settings.balance && links.request.pass != LinkedPass::planned;
}

FrameReport renderFrame(const FrameSettings& settings, CorrectionHistory& history,
                        const FrameLinks& links, const ConstPlane& source, const Plane& destination,
                        RowExecutor& executor)
{
    const Plane target = destinationSized(source, destination);

    // The whole analysis (all workers joined) ends before the first pixel is written.
    const PixelRegion region = source.row0 ? analysisRegion(source.width, source.height, settings)
                                           : PixelRegion{0, 0, 0, 0};
    ChannelHistograms counted;
    BalanceCounts grey;
    countOnWorkers(source, region, settings.threadCount, executor, counted,
                   balanceCounted(settings, links) ? &grey : nullptr);
    const FrameReport report =
        settleCorrection(settings, history, links, counted, grey, peakThreshold);
    if (measureOnly(links)) return report;
    RemapTables tables;
    runCorrectionPhase(source, target, report.applied, settings.threadCount, executor, tables,
                       links.deepRemapCache);

    const bool outline = settings.border && settings.outlineMargins;
    if (outline) drawBorderOutline(target, settings);
    if (settings.showHistogram) {
        // The analysis counted the source; that count carried through the tables is the
        // output's only when it covered every pixel and no outline has been drawn since.
        const bool wholeFrame = !source.empty() && region.x0 == 0 && region.y0 == 0 &&
                                region.x1 == source.width && region.y1 == source.height;
        // Deep outputs are counted again: their bins are not a table's image of the source's.
        const bool deep = source.format == PixelFormat::Bgra64;
        if (wholeFrame && !outline && !deep && target.row0 != nullptr) {
            ChannelHistograms output;
            outputThroughTables(counted, tables, output);
            drawHistogramGraph(target, output);
        } else {
            drawHistogramGraph(target);
        }
    }
    return report;
}

FrameReport renderFrameReference(const FrameSettings& settings, CorrectionHistory& history,
                                 const FrameLinks& links, const ConstPlane& source,
                                 const Plane& destination)
{
    const Plane target = destinationSized(source, destination);

    const PixelRegion region = source.row0 ? analysisRegion(source.width, source.height, settings)
                                           : PixelRegion{0, 0, 0, 0};
    ChannelHistograms counted;
    countHistogramsReference(source, region, counted);
    BalanceCounts grey;
    if (balanceCounted(settings, links)) countBalanceReference(source, region, grey);
    const FrameReport report =
        settleCorrection(settings, history, links, counted, grey, peakThresholdStepped);
    if (measureOnly(links)) return report;
    runCorrectionReference(source, target, report.applied);

    if (settings.border && settings.outlineMargins) drawBorderOutlineReference(target, settings);
    if (settings.showHistogram) drawHistogramGraphReference(target);
    return report;
}

}  // namespace

FrameReport runFramePass(const FrameSettings& settings, CorrectionHistory& history,
                         const FrameLinks& links, const ConstPlane& source,
                         const Plane& destination, RowExecutor& executor)
{
    return renderFrame(settings, history, links, source, destination, executor);
}

FrameReport runFramePassReference(const FrameSettings& settings, CorrectionHistory& history,
                                  const FrameLinks& links, const ConstPlane& source,
                                  const Plane& destination)
{
    return renderFrameReference(settings, history, links, source, destination);
}
