// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/callbacks.h"

#include "platform/threads.h"
#include "plugin/filter_state.h"
#include "plugin/render_frame.h"
#include "plugin/setting_binding.h"
#include "plugin/settings_text.h"

namespace
{

FilterState& stateOf(const VDXFilterActivation* fa)
{
    return *static_cast<FilterState*>(fa->filter_data);
}

void sourceSize(const VDXFilterActivation* fa, int& width, int& height)
{
    width = fa->src ? fa->src->w : 0;
    height = fa->src ? fa->src->h : 0;
}

// Row 0 is where the bitmap's data points (the bottom scanline); rows step by the
// bitmap's own pitch, which may be padded or negative.
ConstPlane sourcePlane(const VDXFBitmap& bitmap)
{
    return ConstPlane{reinterpret_cast<const uint8_t*>(bitmap.data), bitmap.pitch, bitmap.w,
                      bitmap.h};
}

}  // namespace

int VDX_API InitProc(VDXFilterActivation* fa, const VDXFilterFunctions*)
{
    int width, height;
    sourceSize(fa, width, height);
    resetFilterState(stateOf(fa), processorCount(), width, height);
    return 0;
}

int VDX_API StartProc(VDXFilterActivation* fa, const VDXFilterFunctions*)
{
    int width, height;
    sourceSize(fa, width, height);
    FilterState& state = stateOf(fa);
    storeShared(state.height, height);
    storeShared(state.width, width);
    return 0;
}

int VDX_API RunProc(const VDXFilterActivation* fa, const VDXFilterFunctions*)
{
    if (fa->src == nullptr || fa->dst == nullptr) return 0;
    const ConstPlane source = sourcePlane(*fa->src);
    const Plane destination{reinterpret_cast<uint8_t*>(fa->dst->data), fa->dst->pitch, source.width,
                            source.height};
    renderFrame(stateOf(fa), nullptr, source, destination);
    return 0;
}

void VDX_API StringProc(const VDXFilterActivation* fa, const VDXFilterFunctions*, char* buf)
{
    formatSummary(buf, kSummaryBufferSize, loadSettingValues(stateOf(fa)));
}

// A cut script line would be saved as a broken call, so a line that does not fit is
// reported as not written and the host leaves it out.
bool VDX_API FssProc(VDXFilterActivation* fa, const VDXFilterFunctions*, char* buf, int buflen)
{
    if (buf == nullptr || buflen <= 0) return false;
    const int needed =
        formatScriptLine(buf, static_cast<size_t>(buflen), loadSettingValues(stateOf(fa)));
    return needed >= 0 && needed < buflen;
}

void VDX_API script_config(IVDXScriptInterpreter*, void* activation, const VDXScriptValue* argv,
                           int argc)
{
    if (argc < kScriptSettingCount)
        return;  // the host matched "0iiiiiiii"; anything shorter is not our call
    auto* fa = static_cast<VDXFilterActivation*>(activation);
    int values[kScriptSettingCount];
    for (int i = 0; i < kScriptSettingCount; ++i) values[i] = argv[i].u.i;
    storeScriptSettings(stateOf(fa), values);
}
