// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The module's two exports. Registration only lists; the definition lives elsewhere.
#include "module/module_entry.h"

#include "module/filter_definition.h"

#if defined(_WIN32)
#define TELVO_EXPORT extern "C" __declspec(dllexport)
#else
#define TELVO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

TELVO_EXPORT int VDX_API VirtualdubFilterModuleInit2(VDXFilterModule* fm,
                                                     const VDXFilterFunctions* ff, int& vdfd_ver,
                                                     int& vdfd_compat)
{
    g_registeredFilterDef = ff->addFilter(fm, &g_myFilterDef, sizeof(VDXFilterDefinition));
    vdfd_ver = kVDXFilterApiVersion;
    vdfd_compat = kVDXFilterApiCompatVersion;
    return 0;
}

TELVO_EXPORT void VDX_API VirtualdubFilterModuleDeinit(VDXFilterModule*,
                                                       const VDXFilterFunctions* ff)
{
    ff->removeFilter(g_registeredFilterDef);
}
