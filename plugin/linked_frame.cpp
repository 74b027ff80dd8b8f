// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/linked_frame.h"

#include "plugin/instance_slot.h"

namespace
{
thread_local InstanceSlot<LinkedFrame> t_attached{};
}  // namespace

void attachLinkedFrame(const void* instance, const LinkedFrame& frame)
{
    t_attached.keep(instance, frame);
}

void detachLinkedFrame()
{
    t_attached.forget();
}

const LinkedFrame* linkedFrameFor(const void* instance)
{
    return t_attached.find(instance);
}
