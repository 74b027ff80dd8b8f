// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The engine's workers, as an interface the platform implements. The frame pass hands
// all its jobs over in one call and gets control back only when every job has
// finished, so no worker outlives the call and the engine needs no thread header.
#pragma once

#include <cstddef>

// Upper bound on jobs per call. Jobs, their tasks and the platform's thread slots live on
// the frame call's stack, so this bounds that storage too.
constexpr int kMaxWorkers = 128;

struct WorkerJob {
    void (*entry)(void* argument);
    void* argument;
    // Run instead of `entry` when the job has to run on the calling thread, whose stack
    // is the host's and may be small: a job that keeps big tables on its own stack
    // names a frugal equivalent here. Null: `entry` serves both.
    void (*callerEntry)(void* argument);
};

class RowExecutor
{
public:
    // Runs jobs[0] .. jobs[count - 1] (1 <= count <= kMaxWorkers), each on a worker of
    // its own where one can be started and otherwise on the calling thread (through its
    // callerEntry where it has one), and returns
    // once every job has returned. Jobs may thus run one after another: none may wait
    // for another. Each worker's stack holds at least `stackBytes` (0: the platform's
    // default).
    virtual void run(const WorkerJob* jobs, int count, size_t stackBytes) = 0;

protected:
    ~RowExecutor() = default;
};
