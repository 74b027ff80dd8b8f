// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// libobs without its application: a headless OBS (X11 over EGL, the OpenGL renderer) that
// loads only the modules a test needs and passes frames through the Telvo filter, with a
// capture filter of its own behind it that writes what comes out. Two ways in:
//   feed FORMAT WIDTH HEIGHT INPUT OUTPUT [FRAME:NAME=VALUE ...] [loop]
//       raw frames (bgra, rgba, nv12, yuv420p, p010le: FFmpeg's names) handed to a private
//       asynchronous source one at a time, each written out before the next goes in, so nothing is
//       dropped; FRAME:NAME=VALUE changes a property before that frame, FRAME:away takes
//       the source out of the program and back before it; `loop` plays
//       the frames twice, the second time from the first frame's timestamp again.
//   play CLIP SECONDS OUTPUT
//       OBS's media source playing CLIP in a loop in real time (BGRA clips); every frame
//       that reaches the filter is written, its timestamp in OUTPUT.times.
// Usage: obs_harness MODULE MODULE_DATA_DIR feed|play ...
#include <X11/Xlib.h>
#include <obs-nix-platform.h>
#include <obs.h>

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

struct Plane {
    int rows, bytes;  // rows and bytes per row of one plane
};

struct Format {
    const char* name;
    video_format obs;
    std::vector<Plane> planes;
};

bool formatOf(const std::string& name, int w, int h, Format& f)
{
    if (name == "bgra" || name == "rgba") {
        f = {name == "bgra" ? "bgra" : "rgba",
             name == "bgra" ? VIDEO_FORMAT_BGRA : VIDEO_FORMAT_RGBA,
             {{h, 4 * w}}};
    } else if (name == "nv12") {
        f = {"nv12", VIDEO_FORMAT_NV12, {{h, w}, {h / 2, w}}};
    } else if (name == "yuv420p") {
        f = {"yuv420p", VIDEO_FORMAT_I420, {{h, w}, {h / 2, w / 2}, {h / 2, w / 2}}};
    } else if (name == "p010le") {
        f = {"p010le", VIDEO_FORMAT_P010, {{h, 2 * w}, {h / 2, 2 * w}}};
    } else {
        return false;
    }
    return true;
}

// What the capture filter saw, frame by frame.
struct Capture {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint64_t> times;
    std::vector<video_format> formats;
};
Capture g_capture;

obs_source_frame* captureFrame(void*, obs_source_frame* frame)
{
    Format f;
    std::string name = frame->format == VIDEO_FORMAT_BGRA   ? "bgra"
                       : frame->format == VIDEO_FORMAT_RGBA ? "rgba"
                       : frame->format == VIDEO_FORMAT_NV12 ? "nv12"
                       : frame->format == VIDEO_FORMAT_I420 ? "yuv420p"
                       : frame->format == VIDEO_FORMAT_P010 ? "p010le"
                                                            : "";
    std::vector<uint8_t> bytes;
    if (formatOf(name, static_cast<int>(frame->width), static_cast<int>(frame->height), f)) {
        for (size_t p = 0; p < f.planes.size(); ++p)
            for (int y = 0; y < f.planes[p].rows; ++y) {
                const uint8_t* row = frame->data[p] + static_cast<size_t>(frame->linesize[p]) * y;
                bytes.insert(bytes.end(), row, row + f.planes[p].bytes);
            }
    }
    std::lock_guard<std::mutex> lock(g_capture.mutex);
    g_capture.frames.push_back(std::move(bytes));
    g_capture.times.push_back(frame->timestamp);
    g_capture.formats.push_back(frame->format);
    g_capture.arrived.notify_all();
    return frame;
}

const char* captureName(void*)
{
    return "capture";
}
void* createCapture(obs_data_t*, obs_source_t*)
{
    return &g_capture;
}
void destroyNothing(void*) {}
const char* feedName(void*)
{
    return "feed";
}
void* createFeed(obs_data_t*, obs_source_t*)
{
    return &g_capture;
}

void registerHelpers()
{
    obs_source_info capture = {};
    capture.id = "telvo_test_capture";
    capture.type = OBS_SOURCE_TYPE_FILTER;
    capture.output_flags = OBS_SOURCE_ASYNC_VIDEO;
    capture.get_name = captureName;
    capture.create = createCapture;
    capture.destroy = destroyNothing;
    capture.filter_video = captureFrame;
    obs_register_source(&capture);
    obs_source_info feed = {};
    feed.id = "telvo_test_feed";
    feed.type = OBS_SOURCE_TYPE_INPUT;
    feed.output_flags = OBS_SOURCE_ASYNC_VIDEO;
    feed.get_name = feedName;
    feed.create = createFeed;
    feed.destroy = destroyNothing;
    obs_register_source(&feed);
}

// libobs's own chatter stays out of the test's output: warnings, errors and the module's
// lines only.
void printLog(int level, const char* format, va_list args, void*)
{
    char line[4096];
    std::vsnprintf(line, sizeof line, format, args);
    if (level <= LOG_WARNING || std::strstr(line, "[telvo]") != nullptr)
        std::fprintf(stderr, "%s\n", line);
}

bool startObs(const char* module, const char* moduleData, bool withMediaSource)
{
    base_set_log_handler(printLog, nullptr);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no X display (run under xvfb-run)\n");
        return false;
    }
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(display);
    if (!obs_startup("en-US", nullptr, nullptr)) return false;
    obs_video_info ovi = {};
    ovi.graphics_module = "libobs-opengl";
    ovi.fps_num = 60;
    ovi.fps_den = 1;
    ovi.base_width = ovi.output_width = 320;
    ovi.base_height = ovi.output_height = 240;
    ovi.output_format = VIDEO_FORMAT_NV12;
    ovi.colorspace = VIDEO_CS_709;
    ovi.range = VIDEO_RANGE_PARTIAL;
    ovi.scale_type = OBS_SCALE_BILINEAR;
    ovi.gpu_conversion = true;
    if (obs_reset_video(&ovi) != OBS_VIDEO_SUCCESS) {
        std::fprintf(stderr, "obs_reset_video failed\n");
        return false;
    }
    registerHelpers();
    obs_module_t* telvo = nullptr;
    if (obs_open_module(&telvo, module, moduleData) != MODULE_SUCCESS || !obs_init_module(telvo)) {
        std::fprintf(stderr, "cannot load %s\n", module);
        return false;
    }
    if (withMediaSource) {
        obs_module_t* ffmpeg = nullptr;
        const char* path = "/usr/lib/x86_64-linux-gnu/obs-plugins/obs-ffmpeg.so";
        if (obs_open_module(&ffmpeg, path, "/usr/share/obs/obs-plugins/obs-ffmpeg") !=
                MODULE_SUCCESS ||
            !obs_init_module(ffmpeg)) {
            std::fprintf(stderr, "cannot load %s\n", path);
            return false;
        }
    }
    return true;
}

// The Telvo filter and the capture behind it on `source`.
obs_source_t* addFilters(obs_source_t* source)
{
    obs_source_t* telvo = obs_source_create_private("telvo_filter", "telvo", nullptr);
    obs_source_t* capture = obs_source_create_private("telvo_test_capture", "capture", nullptr);
    if (telvo == nullptr || capture == nullptr) return nullptr;
    obs_source_filter_add(source, telvo);  // the first added runs first
    obs_source_filter_add(source, capture);
    obs_source_release(capture);
    return telvo;
}

void setProperty(obs_source_t* filter, const std::string& assignment)
{
    const size_t eq = assignment.find('=');
    const std::string name = assignment.substr(0, eq);
    const long long value = std::atoll(assignment.c_str() + eq + 1);
    obs_data_t* settings = obs_source_get_settings(filter);
    obs_properties_t* props = obs_source_properties(filter);
    obs_property_t* p = obs_properties_get(props, name.c_str());
    if (p != nullptr && obs_property_get_type(p) == OBS_PROPERTY_BOOL)
        obs_data_set_bool(settings, name.c_str(), value != 0);
    else
        obs_data_set_int(settings, name.c_str(), value);
    obs_properties_destroy(props);
    obs_source_update(filter, settings);
    obs_data_release(settings);
}

bool waitForFrames(size_t count)
{
    std::unique_lock<std::mutex> lock(g_capture.mutex);
    return g_capture.arrived.wait_for(lock, std::chrono::seconds(10),
                                      [&] { return g_capture.frames.size() >= count; });
}

bool writeOutput(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_capture.mutex);
    std::ofstream out(path, std::ios::binary);
    std::ofstream times(path + ".times");
    for (size_t i = 0; i < g_capture.frames.size(); ++i) {
        out.write(reinterpret_cast<const char*>(g_capture.frames[i].data()),
                  static_cast<std::streamsize>(g_capture.frames[i].size()));
        times << g_capture.times[i] << ' ' << get_video_format_name(g_capture.formats[i]) << '\n';
    }
    return static_cast<bool>(out) && static_cast<bool>(times);
}

int feed(int argc, char** argv)
{
    if (argc < 5) return 2;
    const int w = std::atoi(argv[1]), h = std::atoi(argv[2]);
    Format f;
    if (!formatOf(argv[0], w, h, f)) return 2;
    std::ifstream in(argv[3], std::ios::binary);
    const std::vector<uint8_t> raw((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    size_t frameBytes = 0;
    for (const Plane& p : f.planes) frameBytes += static_cast<size_t>(p.rows) * p.bytes;
    const size_t frames = raw.size() / frameBytes;
    bool loop = false;
    std::vector<std::pair<size_t, std::string>> changes;
    for (int i = 5; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "loop") {
            loop = true;
        } else {
            const size_t colon = arg.find(':');
            changes.emplace_back(std::stoul(arg.substr(0, colon)), arg.substr(colon + 1));
        }
    }
    obs_source_t* source = obs_source_create_private("telvo_test_feed", "feed", nullptr);
    obs_source_set_async_unbuffered(source, true);
    obs_source_t* telvo = addFilters(source);
    if (telvo == nullptr) return 1;
    obs_set_output_source(0, source);
    obs_source_frame frame = {};
    frame.width = static_cast<uint32_t>(w);
    frame.height = static_cast<uint32_t>(h);
    frame.format = f.obs;
    video_format_get_parameters_for_format(VIDEO_CS_709, VIDEO_RANGE_PARTIAL, f.obs,
                                           frame.color_matrix, frame.color_range_min,
                                           frame.color_range_max);
    size_t sent = 0;
    for (int pass = 0; pass < (loop ? 2 : 1); ++pass)
        for (size_t i = 0; i < frames; ++i) {
            for (const auto& [at, assignment] : changes) {
                if (at != i || pass != 0) continue;
                if (assignment == "away") {  // out of the program and back
                    obs_set_output_source(0, nullptr);
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    obs_set_output_source(0, source);
                } else {
                    setProperty(telvo, assignment);
                }
            }
            const uint8_t* p = raw.data() + i * frameBytes;
            for (size_t k = 0; k < f.planes.size(); ++k) {
                frame.data[k] = const_cast<uint8_t*>(p);
                frame.linesize[k] = static_cast<uint32_t>(f.planes[k].bytes);
                p += static_cast<size_t>(f.planes[k].rows) * f.planes[k].bytes;
            }
            frame.timestamp = 1000000000ull + i * 40000000ull;
            obs_source_output_video(source, &frame);
            if (!waitForFrames(++sent)) {
                std::fprintf(stderr, "frame %zu did not come through the filters\n", i);
                return 1;
            }
        }
    obs_set_output_source(0, nullptr);
    obs_source_release(telvo);
    obs_source_release(source);
    return writeOutput(argv[4]) ? 0 : 1;
}

int play(int argc, char** argv)
{
    if (argc < 3) return 2;
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "local_file", argv[0]);
    obs_data_set_bool(settings, "is_local_file", true);
    obs_data_set_bool(settings, "looping", true);
    obs_data_set_bool(settings, "hw_decode", false);
    obs_source_t* source = obs_source_create_private("ffmpeg_source", "media", settings);
    obs_data_release(settings);
    if (source == nullptr) return 1;
    obs_source_t* telvo = addFilters(source);
    if (telvo == nullptr) return 1;
    obs_set_output_source(0, source);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[1]) * 1000));
    obs_set_output_source(0, nullptr);
    const bool ok = writeOutput(argv[2]);
    obs_source_release(telvo);
    obs_source_release(source);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: obs_harness MODULE DATA feed|play ...\n");
        return 2;
    }
    const std::string mode = argv[3];
    if (!startObs(argv[1], argv[2], mode == "play")) return 1;
    const int status = mode == "feed"   ? feed(argc - 4, argv + 4)
                       : mode == "play" ? play(argc - 4, argv + 4)
                                        : 2;
    // obs_shutdown is skipped: the process ends here, and libobs's teardown of the
    // renderer under Xvfb can outlast the test.
    std::fflush(stdout);
    std::_Exit(status);
}
