// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "tests/cli/cli_harness.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/media/av_util.h"
#include "cli/media/filter_frames.h"
#include "cli/media/media_input.h"
#include "cli/pipeline/filter_session.h"

namespace fs = std::filesystem;

namespace
{

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Picture toPicture(const AVFrame* f)
{
    Picture p;
    p.width = f->width;
    p.height = f->height;
    p.bgr.reserve(static_cast<size_t>(f->width) * f->height * 3);
    for (int y = 0; y < f->height; ++y) {
        const uint8_t* row = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
        for (int x = 0; x < f->width; ++x) p.bgr.insert(p.bgr.end(), row + 4 * x, row + 4 * x + 3);
    }
    return p;
}

// Decodes `file`, handing each frame in the filter's layout to `take`.
template <typename Take>
void forEachFrame(const std::string& file, Take take)
{
    MediaInput input;
    std::string error;
    ASSERT_TRUE(input.open(file, error)) << error;
    ToFilterConverter converter(input.decoder()->width, input.decoder()->height);
    FramePtr frame(av_frame_alloc());
    while (input.next(frame.get(), nullptr, error) == MediaInput::Status::Frame) {
        FramePtr converted;
        ASSERT_TRUE(converter.convert(frame.get(), converted, error)) << error;
        take(converted.get(), converter);
        av_frame_unref(frame.get());
    }
    ASSERT_TRUE(error.empty()) << error;
}

}  // namespace

void CliTest::SetUp()
{
    av_log_set_level(AV_LOG_QUIET);
    std::string templ = (fs::temp_directory_path() / "telvo-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir_ = templ;
}

void CliTest::TearDown()
{
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::vector<std::string> CliTest::files() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

RunOutcome CliTest::telvo(const std::vector<std::string>& args) const
{
    std::string command = "cd ";
    command.append(quote(dir_)).append(" && ").append(quote(TELVO_BINARY));
    for (const std::string& a : args) command.append(" ").append(quote(a));
    const std::string errFile = dir_ + ".stderr";  // beside the folder, not in it
    command.append(" 2>").append(quote(errFile)).append(" </dev/null");
    const int status = std::system(command.c_str());
    RunOutcome outcome;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.stderrText = readText(errFile);
    std::remove(errFile.c_str());
    return outcome;
}

void CliTest::ffmpeg(const std::string& args) const
{
    std::string command = "cd ";
    command.append(quote(dir_)).append(" && ").append(quote(FFMPEG_BINARY));
    command.append(" -nostdin -hide_banner -loglevel error -y ").append(args);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void CliTest::makeClip(const std::string& name, const std::string& graph, int frames,
                       const std::string& encode) const
{
    ffmpeg("-f lavfi -i " + quote(graph) + " -frames:v " + std::to_string(frames) + " " + encode +
           " " + quote(name));
}

std::vector<Picture> decodeFile(const std::string& file)
{
    std::vector<Picture> pictures;
    forEachFrame(file,
                 [&](const AVFrame* f, ToFilterConverter&) { pictures.push_back(toPicture(f)); });
    return pictures;
}

std::vector<Picture> filterDirectly(const std::string& file, const SettingValues& settings)
{
    std::vector<Picture> pictures;
    FilterSession session;
    bool opened = false;
    int64_t index = 0;
    forEachFrame(file, [&](const AVFrame* f, ToFilterConverter& converter) {
        std::string error;
        if (!opened) {
            ASSERT_TRUE(session.open(settings, f->width, f->height, error));
            opened = true;
        }
        FramePtr out = converter.pool().get();
        session.run(f, out.get(), index++);
        pictures.push_back(toPicture(out.get()));
    });
    return pictures;
}

std::string readText(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
