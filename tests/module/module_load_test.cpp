// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The native shared module as a host loads it: exactly the two entry points are
// exported, and a frame rendered through the loaded module equals one rendered through
// the statically linked core.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hosting/module_loader.h"
#include "tests/support/test_support.h"

namespace
{

std::string exportedSymbols(const char* path)
{
    std::string command = std::string("nm -D --defined-only ") + path + " 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, pipe)) {
            std::string s(line);
            const size_t space = s.rfind(' ');
            out += s.substr(space + 1);
        }
        pclose(pipe);
    }
    return out;
}

}  // namespace

TEST(SharedModule, ExportsExactlyTheTwoEntryPoints)
{
    EXPECT_EQ(exportedSymbols(TELVO_MODULE_PATH),
              "VirtualdubFilterModuleDeinit\nVirtualdubFilterModuleInit2\n");
}

TEST(SharedModule, LoadedModuleRendersLikeTheLinkedCore)
{
    LoadedModule module;
    std::string error;
    ASSERT_TRUE(loadModule(TELVO_MODULE_PATH, module, error)) << error;
    {
        FilterHost loaded(module.init, module.deinit);
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        EXPECT_EQ(loaded.definition().configProc, nullptr);  // no dialog manager here
        loaded.createInstance(67, 41);
        TestFilter linked(67, 41);
        EXPECT_STREQ(loaded.definition().name, linked.host.definition().name);
        const int args[kScriptSettingCount] = {30, 35, 1, 4, 5, 6, 7, 0};
        ASSERT_TRUE(loaded.callScript("Config", args, kScriptSettingCount));
        linked.host.callScript("Config", args, kScriptSettingCount);
        EXPECT_EQ(loaded.summary(), linked.host.summary());

        GuardedFrame src(67, 41), a(67, 41), b(67, 41);
        fillNatural(src, 8);
        const ConstPlane in = src.constPlane();
        for (int frame = 0; frame < 3; ++frame) {
            loaded.run(in.row0, in.pitch, a.plane().row0, a.plane().pitch, 67, 41, frame);
            linked.host.run(in.row0, in.pitch, b.plane().row0, b.plane().pitch, 67, 41, frame);
        }
        EXPECT_EQ(a.pixels(), b.pixels());
    }
    unloadModule(module);
}
