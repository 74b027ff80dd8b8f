// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Runs the filter module, loaded through its exports, over a fixed set of pictures and
// settings and prints one hash per output frame. Built natively and for Windows from
// this same source: the two listings must be identical, or the filter's output would
// depend on the platform.
//
// usage: telvo_frame_runner <module> [--dump <dir>] [picture.ppm ...]
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hosting/filter_host.h"
#include "hosting/module_loader.h"
#include "plugin/filter_state.h"
#include "plugin/settings_table.h"
#include "tests/support/pixel_hash.h"

namespace
{

struct Picture {
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // row 0 first
};

// Binary PPM (P6, maxval 255), as ImageMagick writes it. Its first row becomes row 0.
bool readPpm(const char* path, Picture& picture)
{
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    int maxval = 0;
    const bool header =
        std::fscanf(f, "P6 %d %d %d", &picture.width, &picture.height, &maxval) == 3 &&
        maxval == 255 && std::fgetc(f) != EOF && picture.width > 0 && picture.height > 0;
    bool ok = header;
    if (ok) {
        const size_t count =
            static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
        std::vector<uint8_t> rgb(count * 3);
        ok = std::fread(rgb.data(), 1, rgb.size(), f) == rgb.size();
        picture.pixels.resize(count);
        for (size_t i = 0; ok && i < count; ++i)
            picture.pixels[i] =
                uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    }
    std::fclose(f);
    std::string name = path;
    const size_t slash = name.find_last_of("/\\");
    picture.name = slash == std::string::npos ? name : name.substr(slash + 1);
    return ok;
}

uint32_t nextRandom(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

enum class Synthetic { Noise, Gradient, Flat, EveryValue };

// Deterministic pictures of awkward sizes and content: noise, a colour-cast gradient, one
// colour, and every channel value 0..255. The top byte carries junk the filter must ignore.
Picture makeSynthetic(Synthetic kind, int width, int height, uint32_t seed)
{
    static const char* const names[] = {"noise", "gradient", "flat", "every-value"};
    Picture p;
    p.name = std::string(names[static_cast<int>(kind)]) + "-" + std::to_string(width) + "x" +
             std::to_string(height);
    p.width = width;
    p.height = height;
    p.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t junk = nextRandom(state) << 24;
            uint32_t r = 0, g = 0, b = 0;
            switch (kind) {
                case Synthetic::Noise:
                    r = nextRandom(state) & 0xFF, g = nextRandom(state) & 0xFF,
                    b = nextRandom(state) & 0xFF;
                    break;
                case Synthetic::Gradient:
                    r = 40 + 180 * x / (width > 1 ? width - 1 : 1);
                    g = 20 + 150 * y / (height > 1 ? height - 1 : 1);
                    b = (r + g) / 3 + (nextRandom(state) & 7);
                    break;
                case Synthetic::Flat:
                    r = 90, g = 140, b = 60;
                    break;
                case Synthetic::EveryValue:
                    r = static_cast<uint32_t>(x + y * width) & 0xFF;
                    g = 255 - r;
                    b = (r * 7) & 0xFF;
                    break;
            }
            p.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                junk | r << 16 | g << 8 | b;
        }
    }
    return p;
}

// Frame k of a sequence: the picture under a slowly changing exposure and cast, so the
// history and freeze have different frames to work on.
void makeFrame(const Picture& p, int k, std::vector<uint32_t>& out)
{
    out.resize(p.pixels.size());
    for (size_t i = 0; i < p.pixels.size(); ++i) {
        const uint32_t v = p.pixels[i];
        auto channel = [&](int shift, int gain, int offset) {
            int c = static_cast<int>((v >> shift) & 0xFF) * gain / 256 + offset;
            return static_cast<uint32_t>(c < 0 ? 0 : c > 255 ? 255 : c) << shift;
        };
        out[i] = (v & 0xFF000000u) | channel(16, 200 + 12 * k, 3 * k) | channel(8, 230 + 5 * k, 2) |
                 channel(0, 250 - 6 * k, 10 - k);
    }
}

struct Case {
    const char* name;
    int settings[kScriptSettingCount];  // gamma, alignment, border, top, left, right, bottom,
                                        // freeze
    int disable;
    int showHistogram;
    int dialogOpen;     // draws the margin outline and stops averaging
    int freezeAtFrame;  // -1: never
};

const Case kCases[] = {
    {"defaults", {15, 15, 0, 8, 8, 8, 8, 0}, 0, 0, 0, -1},
    {"strong-border", {40, 0, 1, 20, 30, 10, 5, 0}, 0, 0, 0, -1},
    {"weak", {0, 40, 0, 8, 8, 8, 8, 0}, 0, 0, 0, -1},
    {"histogram", {25, 25, 0, 8, 8, 8, 8, 0}, 0, 1, 0, -1},
    {"dialog-open", {15, 15, 1, 12, 12, 12, 12, 0}, 0, 1, 1, -1},
    {"freeze", {15, 15, 0, 8, 8, 8, 8, 0}, 0, 0, 0, 3},
    {"disable", {15, 15, 0, 8, 8, 8, 8, 0}, 1, 1, 0, -1},
    {"script-extremes", {100, -20, 1, 1000, -5, 3, 0, 0}, 0, 1, 0, -1},
};

constexpr int kFramesPerCase = 6;

bool runCase(const LoadedModule& module, const Picture& picture, const Case& c, const char* dumpDir)
{
    FilterHost host(module.init, module.deinit);
    if (!host.ok()) {
        std::printf("FAIL %s: %s\n", picture.name.c_str(), host.error().c_str());
        return false;
    }
    const int w = picture.width, h = picture.height;
    host.createInstance(w, h);
    host.callScript("Config", c.settings, kScriptSettingCount);
    auto* state = static_cast<FilterState*>(host.instanceData());
    state->disable = c.disable;
    state->showHistogram = c.showHistogram;
    state->dialogClosed = c.dialogOpen ? 0 : 1;
    host.start(w, h);

    FILE* dump = nullptr;
    if (dumpDir != nullptr) {
        const std::string path = std::string(dumpDir) + "/" + picture.name + "-" + c.name + ".raw";
        dump = std::fopen(path.c_str(), "wb");
    }
    std::vector<uint32_t> source, destination(picture.pixels.size());
    const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(w);
    for (int k = 0; k < kFramesPerCase; ++k) {
        if (k == c.freezeAtFrame) {
            int frozen[kScriptSettingCount];
            std::memcpy(frozen, c.settings, sizeof frozen);
            frozen[settingIndex("freeze")] = 1;
            host.callScript("Config", frozen, kScriptSettingCount);
        }
        makeFrame(picture, k, source);
        std::fill(destination.begin(), destination.end(), 0xDEADBEEFu);
        const int status = host.run(reinterpret_cast<const uint8_t*>(source.data()), pitch,
                                    reinterpret_cast<uint8_t*>(destination.data()), pitch, w, h, k);
        std::printf("%s %s %d %dx%d %d %016llx\n", picture.name.c_str(), c.name, k, w, h, status,
                    static_cast<unsigned long long>(hashPixels(destination)));
        if (dump != nullptr)
            std::fwrite(destination.data(), sizeof(uint32_t), destination.size(), dump);
    }
    if (dump != nullptr) std::fclose(dump);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <module> [--dump <dir>] [picture.ppm ...]\n", argv[0]);
        return 2;
    }
    LoadedModule module;
    std::string error;
    if (!loadModule(argv[1], module, error)) {
        std::printf("FAIL cannot load %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const char* dumpDir = nullptr;
    std::vector<Picture> pictures;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0 && i + 1 < argc) {
            dumpDir = argv[++i];
            continue;
        }
        Picture p;
        if (!readPpm(argv[i], p)) {
            std::printf("FAIL cannot read picture %s\n", argv[i]);
            return 1;
        }
        pictures.push_back(std::move(p));
    }
    const struct {
        Synthetic kind;
        int width, height;
    } synthetic[] = {
        {Synthetic::Noise, 1, 1},        {Synthetic::Noise, 2, 3},
        {Synthetic::Noise, 7, 5},        {Synthetic::Noise, 17, 9},
        {Synthetic::Noise, 641, 3},      {Synthetic::Noise, 385, 289},
        {Synthetic::Gradient, 384, 288}, {Synthetic::Gradient, 33, 65},
        {Synthetic::Flat, 64, 48},       {Synthetic::EveryValue, 256, 3},
    };
    uint32_t seed = 12345;
    for (const auto& s : synthetic)
        pictures.push_back(makeSynthetic(s.kind, s.width, s.height, seed++));

    bool ok = true;
    for (const Picture& p : pictures)
        for (const Case& c : kCases) ok = runCase(module, p, c, dumpDir) && ok;
    unloadModule(module);
    return ok ? 0 : 1;
}
