// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/analysis_phase.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <numeric>

#include "engine/balance_counts.h"
#include "engine/kernel_table.h"

namespace
{

// Below this many pixels a worker's share is counted with the small-storage counter:
// zeroing and folding the joint table would cost more than it saves.
constexpr int64_t kJointFromPixels = int64_t(1) << 17;

struct Totals {
    std::atomic<uint64_t> r[256], g[256], b[256];
};

// The balance counts' totals, each worker's added when it is done, as for the histograms.
struct BalanceTotals {
    std::atomic<uint64_t> r[256], g[256], b[256];
    std::atomic<uint64_t> looked, grey;
    std::atomic<uint32_t> exponents[kExponentBins * kExponentBins][4];  // n, r, g, b of each bin
};

// Where a worker's rows lie on the balance grid: its row k is the region's row
// `first + k * rowStep`, on the grid when that is a multiple of `gridStep`.
struct GridShare {
    BalanceTotals* totals = nullptr;  // null: the balance counts are off
    int first = 0, rowStep = 1, gridStep = 1;
};

struct CountingTask {
    ConstPlane rows;     // this worker's rows only: every n-th row of the source
    PixelRegion region;  // within `rows`
    Totals* totals;
    CountDeepJointRowFunction countDeepJointRow;
    CountBalanceGridFunction countBalanceGrid;  // on a worker's own stack only
    GridShare grid;
};

void addToTotals(const ChannelHistograms& h, Totals& totals)
{
    for (int v = 0; v < 256; ++v) {
        // Relaxed is enough: the executor's join orders every addition before the sums
        // are read.
        if (h.r[v]) totals.r[v].fetch_add(h.r[v], std::memory_order_relaxed);
        if (h.g[v]) totals.g[v].fetch_add(h.g[v], std::memory_order_relaxed);
        if (h.b[v]) totals.b[v].fetch_add(h.b[v], std::memory_order_relaxed);
    }
}

void add(std::atomic<uint64_t>& total, uint64_t v)
{
    if (v) total.fetch_add(v, std::memory_order_relaxed);
}

// The worker's rows that lie on the grid, counted into a table of its own, then added.
// Worker row k lies on it when first + k * rowStep is a multiple of gridStep: from the first
// such row on, every period-th row, which a pitch of period rows gathers into one plane.
void countBalanceShare(const CountingTask& task, CountBalanceGridFunction countGrid)
{
    const GridShare& g = task.grid;
    if (g.totals == nullptr) return;
    const int rows = task.region.y1;
    const int period = g.gridStep / std::gcd(g.rowStep, g.gridStep);
    int k0 = 0;
    while (k0 < std::min(period, rows) && (g.first + k0 * g.rowStep) % g.gridStep != 0) ++k0;
    if (k0 >= std::min(period, rows)) return;
    const ConstPlane gridRows{task.rows.row(k0), task.rows.pitch * period, task.rows.width,
                              (rows - 1 - k0) / period + 1, task.rows.format};
    BalanceCounts c;
    countGrid(gridRows, task.region.x0, task.region.x1, g.gridStep, c);
    for (int v = 0; v < 256; ++v) {
        add(g.totals->r[v], c.neutral.r[v]);
        add(g.totals->g[v], c.neutral.g[v]);
        add(g.totals->b[v], c.neutral.b[v]);
    }
    add(g.totals->looked, c.looked);
    add(g.totals->grey, c.grey);
    const ExponentBin* bins = &c.exponents[0][0];
    for (int i = 0; i < kExponentBins * kExponentBins; ++i) {
        if (bins[i].n == 0) continue;
        const uint32_t sums[4] = {bins[i].n, bins[i].r, bins[i].g, bins[i].b};
        for (int k = 0; k < 4; ++k)
            g.totals->exponents[i][k].fetch_add(sums[k], std::memory_order_relaxed);
    }
}

int64_t pixelsOf(const PixelRegion& r)
{
    return r.empty() ? 0 : int64_t(r.x1 - r.x0) * (r.y1 - r.y0);
}

void countOnOwnStack(void* argument)
{
    const CountingTask& task = *static_cast<const CountingTask*>(argument);
    ChannelHistograms counted;
    const bool deep = task.rows.format == PixelFormat::Bgra64;
    if (pixelsOf(task.region) >= kJointFromPixels) {
        JointCounts scratch;
        if (deep)
            countHistogramsDeepJoint(task.rows, task.region, scratch, counted,
                                     task.countDeepJointRow);
        else
            countHistogramsJoint(task.rows, task.region, scratch, counted);
    } else if (deep) {
        countHistogramsDeep(task.rows, task.region, counted);
    } else {
        countHistograms(task.rows, task.region, counted);
    }
    addToTotals(counted, *task.totals);
    countBalanceShare(task, task.countBalanceGrid);
}

void countOnCallingThread(void* argument)
{
    const CountingTask& task = *static_cast<const CountingTask*>(argument);
    ChannelHistograms counted;
    if (task.rows.format == PixelFormat::Bgra64)
        countHistogramsDeep(task.rows, task.region, counted);
    else
        countHistograms(task.rows, task.region, counted);
    addToTotals(counted, *task.totals);
    countBalanceShare(task, countBalanceGridScalar);
}

void zeroBalanceTotals(BalanceTotals& t)
{
    for (int v = 0; v < 256; ++v) {
        t.r[v].store(0, std::memory_order_relaxed);
        t.g[v].store(0, std::memory_order_relaxed);
        t.b[v].store(0, std::memory_order_relaxed);
    }
    t.looked.store(0, std::memory_order_relaxed);
    t.grey.store(0, std::memory_order_relaxed);
    for (auto& bin : t.exponents)
        for (auto& sum : bin) sum.store(0, std::memory_order_relaxed);
}

void loadBalanceTotals(const BalanceTotals& t, BalanceCounts& out)
{
    for (int v = 0; v < 256; ++v) {
        out.neutral.r[v] = t.r[v].load(std::memory_order_relaxed);
        out.neutral.g[v] = t.g[v].load(std::memory_order_relaxed);
        out.neutral.b[v] = t.b[v].load(std::memory_order_relaxed);
    }
    out.looked = t.looked.load(std::memory_order_relaxed);
    out.grey = t.grey.load(std::memory_order_relaxed);
    ExponentBin* bins = &out.exponents[0][0];
    for (int i = 0; i < kExponentBins * kExponentBins; ++i)
        bins[i] = ExponentBin{t.exponents[i][0].load(std::memory_order_relaxed),
                              t.exponents[i][1].load(std::memory_order_relaxed),
                              t.exponents[i][2].load(std::memory_order_relaxed),
                              t.exponents[i][3].load(std::memory_order_relaxed)};
}

}  // namespace

void countOnWorkers(const ConstPlane& source, const PixelRegion& region, int threadCount,
                    RowExecutor& executor, ChannelHistograms& out, BalanceCounts* balance)
{
    std::memset(&out, 0, sizeof out);
    if (balance != nullptr) *balance = BalanceCounts{};
    if (region.empty() || source.row0 == nullptr) return;

    // The correction's row step; a worker with no row of the region is not started.
    const int step = std::clamp(threadCount, 1, kMaxWorkers);
    Totals totals;
    for (int v = 0; v < 256; ++v) {
        totals.r[v].store(0, std::memory_order_relaxed);
        totals.g[v].store(0, std::memory_order_relaxed);
        totals.b[v].store(0, std::memory_order_relaxed);
    }

    BalanceTotals balanceTotals;
    if (balance != nullptr) zeroBalanceTotals(balanceTotals);
    const int gridStep = balanceGridStep(pixelsOf(region));

    const KernelTable& kernels = kernelsFor(cpuLevel());
    CountingTask tasks[kMaxWorkers];
    WorkerJob jobs[kMaxWorkers];
    int count = 0;
    for (int i = 0; i < step; ++i) {
        // The first row of the region that is row i modulo the step.
        const int first = region.y0 + ((i - region.y0 % step) % step + step) % step;
        if (first >= region.y1) continue;
        const int rows = (region.y1 - 1 - first) / step + 1;
        tasks[count] = CountingTask{
            ConstPlane{source.row(first), source.pitch * step, source.width, rows, source.format},
            PixelRegion{region.x0, region.x1, 0, rows},
            &totals,
            kernels.countDeepJointRow,
            kernels.countBalanceGrid,
            GridShare{balance != nullptr ? &balanceTotals : nullptr, first - region.y0, step,
                      gridStep}};
        jobs[count] = WorkerJob{countOnOwnStack, &tasks[count], countOnCallingThread};
        ++count;
    }
    executor.run(jobs, count, kCountingStackBytes);

    for (int v = 0; v < 256; ++v) {
        out.r[v] = totals.r[v].load(std::memory_order_relaxed);
        out.g[v] = totals.g[v].load(std::memory_order_relaxed);
        out.b[v] = totals.b[v].load(std::memory_order_relaxed);
    }
    if (balance != nullptr) loadBalanceTotals(balanceTotals, *balance);
}
