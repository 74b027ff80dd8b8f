// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "hosting/module_loader.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace
{

void* findExport(void* handle, const char* name)
{
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

}  // namespace

bool loadModule(const char* path, LoadedModule& module, std::string& error)
{
#if defined(_WIN32)
    module.handle = LoadLibraryA(path);
    if (module.handle == nullptr) {
        error = "LoadLibrary failed with error " + std::to_string(GetLastError());
        return false;
    }
#else
    module.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module.handle == nullptr) {
        error = dlerror();
        return false;
    }
#endif
    module.init = reinterpret_cast<VDXFilterModuleInit2Proc>(
        findExport(module.handle, "VirtualdubFilterModuleInit2"));
    module.deinit = reinterpret_cast<VDXFilterModuleDeinitProc>(
        findExport(module.handle, "VirtualdubFilterModuleDeinit"));
    if (module.init == nullptr || module.deinit == nullptr) {
        error = "the module lacks an entry point";
        return false;
    }
    return true;
}

void unloadModule(LoadedModule& module)
{
    if (module.handle == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(module.handle));
#else
    dlclose(module.handle);
#endif
    module = LoadedModule{};
}
