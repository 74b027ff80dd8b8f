// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// telvo-obs: the module OBS Studio loads from its plug-in folder. It registers one
// asynchronous video filter, listed as "Telvo" under a source's Audio/Video Filters.
#include <obs-module.h>

#include <new>

#include "generated/telvo_version.h"
#include "obs/async_filter.h"
#include "obs/settings_data.h"

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("telvo-obs", "en-US")

namespace
{

const char* filterName(void*)
{
    return obs_module_text("Telvo");
}

// No exception may cross into OBS: a filter that cannot be made is reported as none.
void* createFilter(obs_data_t* settings, obs_source_t* self)
{
    try {
        return new AsyncFilter(settings, self);
    } catch (...) {
        blog(LOG_ERROR, "[telvo] out of memory creating the filter");
        return nullptr;
    }
}

void destroyFilter(void* data)
{
    delete static_cast<AsyncFilter*>(data);
}

void updateFilter(void* data, obs_data_t* settings)
{
    try {
        static_cast<AsyncFilter*>(data)->update(settings);
    } catch (...) {
        blog(LOG_ERROR, "[telvo] the new settings could not be kept");
    }
}

void deactivateFilter(void* data)
{
    static_cast<AsyncFilter*>(data)->deactivate();
}

obs_source_frame* filterVideo(void* data, obs_source_frame* frame)
{
    try {
        return static_cast<AsyncFilter*>(data)->filter(frame);
    } catch (...) {
        return frame;  // uncorrected, never dropped
    }
}

void filterDefaults(obs_data_t* settings)
{
    setSettingDefaults(settings);
}

obs_properties_t* filterProperties(void*)
{
    return makeSettingProperties(obs_module_text);
}

}  // namespace

bool obs_module_load(void)
{
    obs_source_info info = {};
    info.id = "telvo_filter";
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_ASYNC_VIDEO;
    info.get_name = filterName;
    info.create = createFilter;
    info.destroy = destroyFilter;
    info.update = updateFilter;
    info.deactivate = deactivateFilter;
    info.filter_video = filterVideo;
    info.get_defaults = filterDefaults;
    info.get_properties = filterProperties;
    obs_register_source(&info);
    blog(LOG_INFO, "[telvo] version %s loaded", TELVO_VERSION);
    return true;
}
