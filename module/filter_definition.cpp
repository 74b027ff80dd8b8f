// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "module/filter_definition.h"

#include <array>

#include "generated/telvo_version.h"
#include "plugin/callbacks.h"
#include "plugin/filter_state.h"
#include "plugin/settings_table.h"

#if defined(TELVO_HAS_DIALOG)
#include "dialog/config_proc.h"
#define TELVO_CONFIG_PROC ConfigProc
#else
// No dialog manager on this platform: hosts configure through the script function.
#define TELVO_CONFIG_PROC nullptr
#endif

namespace
{

// The script function's argument list: "0" (returns nothing), then one "i" per script
// setting, "0iiiiiiii".
constexpr std::array<char, kScriptSettingCount + 2> kConfigSignature = [] {
    std::array<char, kScriptSettingCount + 2> s{};
    s[0] = '0';
    for (int i = 1; i <= kScriptSettingCount; ++i) s[i] = 'i';
    return s;
}();

}  // namespace

const VDXScriptFunctionDef script_functions[] = {
    {script_config, "Config", kConfigSignature.data()},
    {nullptr, nullptr, nullptr},
};

VDXScriptObject script_obj = {nullptr, script_functions, nullptr};

VDXFilterDefinition g_myFilterDef = {
    nullptr,             // _next
    nullptr,             // _prev
    nullptr,             // _module
    TELVO_FILTER_NAME,   // name
    TELVO_FILTER_NAME,   // desc
    "Telvo developers",  // maker
    nullptr,             // private_data
    static_cast<int>(sizeof(FilterState)),
    InitProc,
    nullptr,  // deinitProc
    RunProc,
    nullptr,  // paramProc: default RGB32, same size, separate buffers
    TELVO_CONFIG_PROC,
    StringProc,
    StartProc,
    nullptr,  // endProc
    &script_obj,
    FssProc,
    nullptr,  // stringProc2
    nullptr,  // serializeProc
    nullptr,  // deserializeProc
    nullptr,  // copyProc: the record is byte-copyable
    nullptr,  // prefetchProc
    nullptr,  // copyProc2
    nullptr,  // prefetchProc2
    nullptr,  // eventProc
};

VDXFilterDefinition* g_registeredFilterDef = nullptr;
