// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The frei0r exports. Every one returns quietly on bad input (a null pointer, an index
// outside the table, a NaN) and lets no exception reach the host.
#include <climits>
#include <new>

#include "frei0r/frei0r_api.h"
#include "frei0r/host_rows.h"
#include "frei0r/instance.h"
#include "generated/telvo_version.h"

#define TELVO_FREI0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{

constexpr int kVersion[] = {TELVO_VERSION_NUMBERS};

Frei0rInstance* instanceOf(f0r_instance_t instance)
{
    return static_cast<Frei0rInstance*>(instance);
}

}  // namespace

TELVO_FREI0R_EXPORT int f0r_init()
{
    return 1;
}

TELVO_FREI0R_EXPORT void f0r_deinit() {}

TELVO_FREI0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    if (info == nullptr) return;
    info->name = "Telvo";
    info->author = "Telvo developers";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_BGRA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = kVersion[0];
    info->minor_version = kVersion[1];
    info->num_params = kParameterCount;
    info->explanation = "Automatic white balance and tonal range, frame by frame";
}

TELVO_FREI0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int index)
{
    const ParameterInfo* parameter = parameterInfo(index);
    if (info == nullptr || parameter == nullptr) return;
    info->name = parameter->name;
    info->type = parameter->type;
    info->explanation = parameter->explanation;
}

// Null (the host reports the failure) when out of memory or for a side the filter's
// 32-bit frame sizes cannot hold.
TELVO_FREI0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    if (width > INT_MAX || height > INT_MAX) return nullptr;
    const void* caller = __builtin_return_address(0);
    try {
        warnIfRowsPadded(caller, static_cast<int>(width));
        auto* instance = new Frei0rInstance(static_cast<int>(width), static_cast<int>(height));
        if (instance->ok()) return instance;
        delete instance;
    } catch (...) {
    }
    return nullptr;
}

TELVO_FREI0R_EXPORT void f0r_destruct(f0r_instance_t instance)
{
    delete instanceOf(instance);
}

TELVO_FREI0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    if (instance == nullptr || param == nullptr) return;
    storeParameter(instanceOf(instance)->parameters(), index, *static_cast<const double*>(param));
}

TELVO_FREI0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    if (instance == nullptr || param == nullptr || index < 0 || index >= kParameterCount) return;
    *static_cast<double*>(param) = instanceOf(instance)->parameters()[index];
}

TELVO_FREI0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe,
                                    uint32_t* outframe)
{
    if (instance == nullptr) return;
    try {
        instanceOf(instance)->update(time, inframe, outframe);
    } catch (...) {
    }
}

// Optional for filters, but the header declares it; it must then behave as f0r_update.
TELVO_FREI0R_EXPORT void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                                     const uint32_t*, const uint32_t*, uint32_t* outframe)
{
    f0r_update(instance, time, inframe1, outframe);
}
