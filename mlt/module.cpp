// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The module MLT loads from its module folder: it registers the filter service "telvo"
// and its metadata, which MLT reads from filter_telvo.yml in the module's data folder.
#include <framework/mlt.h>

#include <string>

#include "mlt/telvo_filter.h"

namespace
{

mlt_properties metadata(mlt_service_type, const char*, void* file)
{
    const char* data = mlt_environment("MLT_DATA");
    if (data == nullptr) return nullptr;
    const std::string path = std::string(data) + "/telvo/" + static_cast<const char*>(file);
    return mlt_properties_parse_yaml(path.c_str());
}

}  // namespace

// MLT finds the module by this one symbol; everything else stays inside.
extern "C" __attribute__((visibility("default"))) MLT_REPOSITORY
{
    MLT_REGISTER(mlt_service_filter_type, "telvo", filter_telvo_init);
    MLT_REGISTER_METADATA(mlt_service_filter_type, "telvo", metadata,
                          const_cast<char*>("filter_telvo.yml"));
}
