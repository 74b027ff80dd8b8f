// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "platform/thread_executor.h"

#include <algorithm>

#include "platform/threads.h"

namespace
{

class ThreadExecutor final : public RowExecutor
{
public:
    void run(const WorkerJob* jobs, int count, size_t stackBytes) override
    {
        const int workers = std::clamp(count, 0, kMaxWorkers);
        ThreadSlot slots[kMaxWorkers];
        bool started[kMaxWorkers];
        for (int i = 0; i < workers; ++i) {
            slots[i] = ThreadSlot{jobs[i].entry, jobs[i].argument, stackBytes, 0, nullptr};
            started[i] = startThread(slots[i]);
        }
        for (int i = 0; i < workers; ++i) {
            if (started[i]) continue;
            const WorkerJob& job = jobs[i];
            (job.callerEntry != nullptr ? job.callerEntry : job.entry)(job.argument);
        }
        for (int i = 0; i < workers; ++i) {
            if (started[i]) waitThread(slots[i]);
        }
        for (int i = 0; i < workers; ++i) {
            if (started[i]) closeThread(slots[i]);
        }
    }
};

}  // namespace

RowExecutor& threadExecutor()
{
    static ThreadExecutor executor;
    return executor;
}
