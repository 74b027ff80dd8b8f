// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/linked_frame.h"

namespace
{

struct Attached {
    const void* instance;  // null: nothing attached
    LinkedFrame frame;
};

// Zero-initialised plain data: no constructor or destructor runs per thread.
thread_local Attached t_attached{};

}  // namespace

void attachLinkedFrame(const void* instance, const LinkedFrame& frame)
{
    t_attached = Attached{instance, frame};
}

void detachLinkedFrame()
{
    t_attached = Attached{};
}

const LinkedFrame* linkedFrameFor(const void* instance)
{
    if (instance == nullptr || t_attached.instance != instance) return nullptr;
    return &t_attached.frame;
}
