// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The counting of the analysis on the frame's workers. Worker i counts the rows of the
// analysis region that it will later correct (rows i, i + n, i + 2n, ...), into
// histograms of its own, and adds them to the frame's totals when it is done; integer
// sums do not depend on the order, so the totals are those of one pass over the region.
// Every worker has returned before this does, so the source is fully read before the
// correction writes a pixel, even when source and destination are one buffer.
#pragma once

#include "engine/balance_counts.h"
#include "engine/histogram.h"
#include "engine/plane.h"
#include "engine/row_executor.h"

// Stack each counting worker asks for: its joint table (histogram.h) with room to spare
// for the calls under it and for sanitizer builds.
constexpr size_t kCountingStackBytes = size_t(1) << 20;

// Counts `region` of `source` on min(threadCount, region rows) workers (threadCount
// bounded to 1..kMaxWorkers) and returns when every one has finished. Zeroes `out` first; an
// empty region starts no worker. A worker that has to run on the calling thread uses
// the small-storage counter, so the host's stack holds no joint table. With `balance`, the
// workers also count the balance correction's grid (balance_counts.h) into it, each its own
// grid rows; the totals equal countBalanceReference's.
void countOnWorkers(const ConstPlane& source, const PixelRegion& region, int threadCount,
                    RowExecutor& executor, ChannelHistograms& out,
                    BalanceCounts* balance = nullptr);
