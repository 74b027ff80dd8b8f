// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the host keeps from the input: colour interpretation, audio, odd sizes, and the
// dialog-style preview.
#include <algorithm>
#include <cmath>
#include <fstream>

extern "C" {
#include <libavutil/display.h>
}

#include "cli/media/av_util.h"
#include "cli/media/display_turn.h"
#include "cli/media/filter_frames.h"
#include "cli/media/media_input.h"
#include "cli/pipeline/filter_session.h"
#include "plugin/filter_state.h"
#include "tests/cli/cli_harness.h"

namespace
{

struct StreamInfo {
    AVColorRange range;
    AVColorSpace space;
    AVPixelFormat format;
    int width, height;
    int audioPackets = 0;
    std::vector<double> videoTimes;  // presentation times in seconds, in order
};

StreamInfo probe(const std::string& file)
{
    MediaInput input;
    std::string error;
    EXPECT_TRUE(input.open(file, error)) << error;
    const AVCodecParameters* v = input.videoStream()->codecpar;
    StreamInfo info{v->color_range,
                    v->color_space,
                    static_cast<AVPixelFormat>(v->format),
                    v->width,
                    v->height,
                    0,
                    {}};
    AVFormatContext* f = input.format();
    AVPacket* p = av_packet_alloc();
    while (av_read_frame(f, p) >= 0) {
        const AVStream* s = f->streams[p->stream_index];
        info.audioPackets += s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        if (s == input.videoStream() && p->pts != AV_NOPTS_VALUE)
            info.videoTimes.push_back(p->pts * av_q2d(s->time_base));
        av_packet_unref(p);
    }
    av_packet_free(&p);
    std::sort(info.videoTimes.begin(), info.videoTimes.end());
    return info;
}

class Keeps : public CliTest
{
};

double mean(const std::string& bytes)
{
    double sum = 0;
    for (unsigned char c : bytes) sum += c;
    return bytes.empty() ? -1 : sum / static_cast<double>(bytes.size());
}

}  // namespace

TEST_F(Keeps, DisabledRunLooksLikeTheInputInEitherRange)
{
    const struct {
        const char* tag;
        const char* flags;
        AVColorRange range;
    } ranges[] = {
        {"tv", "-pix_fmt yuv420p -color_range tv -colorspace bt709", AVCOL_RANGE_MPEG},
        {"pc", "-pix_fmt yuv420p -color_range pc -colorspace bt470bg", AVCOL_RANGE_JPEG},
    };
    for (const auto& r : ranges) {
        SCOPED_TRACE(r.tag);
        const std::string in = std::string(r.tag) + ".mkv", out = std::string(r.tag) + "-out.mkv";
        makeClip(in, "testsrc2=size=64x48:rate=25,eq=saturation=0.5", 5,
                 std::string("-c:v ffv1 ") + r.flags);
        const RunOutcome run = telvo({in, out, "--disable", "--codec", "ffv1", "-q"});
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        const StreamInfo a = probe(path(in)), b = probe(path(out));
        EXPECT_EQ(b.range, r.range);
        EXPECT_EQ(b.range, a.range);
        EXPECT_EQ(b.space, a.space);
        EXPECT_EQ(b.format, a.format);

        // Same Y plane within the conversion's rounding (the fast YUV-to-RGB path runs
        // about one level dark); a range mix-up would shift the mean by ~8 levels.
        ffmpeg("-i " + in + " -vf extractplanes=y -f rawvideo a.y");
        ffmpeg("-i " + out + " -vf extractplanes=y -f rawvideo b.y");
        const std::string ya = readText(path("a.y")), yb = readText(path("b.y"));
        ASSERT_EQ(ya.size(), yb.size());
        double total = 0;
        for (size_t i = 0; i < ya.size(); ++i)
            total +=
                std::abs(static_cast<unsigned char>(ya[i]) - static_cast<unsigned char>(yb[i]));
        EXPECT_LT(total / ya.size(), 2.0);
        EXPECT_NEAR(mean(ya), mean(yb), 2.0);
    }
}

namespace
{

// A way the input's colour may be tagged, and the matrix and range it must be read with.
struct Interpretation {
    const char* name;
    const char* size;
    const char* encode;
    const char* matrix;  // as FFmpeg's scale filter names them
    const char* range;
};

void PrintTo(const Interpretation& i, std::ostream* out)
{
    *out << i.name;
}

class ReadsColourAsFFmpegDoes : public CliTest, public ::testing::WithParamInterface<Interpretation>
{
};

}  // namespace

// The frames the filter gets are FFmpeg's own conversion of the input, made by the
// ffmpeg program with the matrix and range named outright: the same library and scaler,
// so exactly the same bytes. A round trip through telvo cannot show a wrong matrix or
// range, since the way back repeats it. Input deeper than 8 bits goes through the filter
// at 16 bits per channel, and --lossless keeps them; --eight-bit gives the 8-bit frames.
TEST_P(ReadsColourAsFFmpegDoes, DisabledLosslessRunHoldsFFmpegsRgb)
{
    const Interpretation& c = GetParam();
    makeClip("in.mkv", std::string("testsrc2=rate=25:size=") + c.size, 2,
             std::string("-c:v ffv1 ") + c.encode);
    const bool deepInput = std::string(c.encode).find("10le") != std::string::npos;
    struct Layout {
        const char* option;
        const char* format;
        size_t pixelBytes;  // the last (X) byte is not compared; 0: planar, every byte is
    };
    std::vector<Layout> layouts = {{"--eight-bit", "bgr0", 4}};
    if (deepInput) layouts.push_back({"--lossless", "gbrp16le", 0});
    for (const Layout& layout : layouts) {
        const RunOutcome run =
            telvo({"in.mkv", "out.mkv", "--disable", "--lossless", "-q", layout.option});
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        ffmpeg(std::string("-i in.mkv -vf scale=in_color_matrix=") + c.matrix +
               ":in_range=" + c.range + ":flags=bilinear,format=" + layout.format +
               " -f rawvideo -y expected.raw");
        ffmpeg(std::string("-i out.mkv -f rawvideo -y -pix_fmt ") + layout.format + " actual.raw");
        const std::string expected = readText(path("expected.raw")),
                          actual = readText(path("actual.raw"));
        ASSERT_EQ(actual.size(), expected.size());
        ASSERT_FALSE(actual.empty());
        size_t differing = 0, first = 0;
        for (size_t i = 0; i < actual.size(); ++i)
            if ((layout.pixelBytes == 0 || i % layout.pixelBytes != 3) &&
                actual[i] != expected[i] && differing++ == 0)
                first = i;
        EXPECT_EQ(differing, 0u) << layout.format << ": first at byte " << first << ": "
                                 << int(static_cast<uint8_t>(actual[first])) << " instead of "
                                 << int(static_cast<uint8_t>(expected[first]));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tags, ReadsColourAsFFmpegDoes,
    ::testing::Values(
        Interpretation{"FullRange", "320x240", "-pix_fmt yuv420p -color_range pc -colorspace bt709",
                       "bt709", "pc"},
        Interpretation{"Untagged720Lines", "1280x720", "-pix_fmt yuv420p", "bt709", "tv"},
        Interpretation{"Untagged480Lines", "640x480", "-pix_fmt yuv420p", "bt601", "tv"},
        Interpretation{"Bt601", "320x240", "-pix_fmt yuv420p -color_range tv -colorspace smpte170m",
                       "bt601", "tv"},
        Interpretation{"TenBit", "320x240",
                       "-pix_fmt yuv420p10le -color_range tv -colorspace bt709", "bt709", "tv"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Keeps, AudioOddSizesAndH264Defaults)
{
    ffmpeg(
        "-f lavfi -i testsrc2=size=64x48:rate=25,scale=33:17 -f lavfi -i sine=duration=1 -frames:v "
        "25 "
        "-c:v ffv1 -pix_fmt bgr0 -c:a flac -shortest in.mkv");
    const RunOutcome run = telvo({"in.mkv", "out.mp4", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    const StreamInfo a = probe(path("in.mkv")), b = probe(path("out.mp4"));
    EXPECT_EQ(b.width, 33);
    EXPECT_EQ(b.height, 17);
    // RGB input; 4:2:0 cannot hold an odd size, so the encoder gets 4:4:4.
    EXPECT_EQ(b.format, AV_PIX_FMT_YUV444P);
    EXPECT_EQ(b.audioPackets, a.audioPackets) << "audio not copied whole";
    EXPECT_EQ(decodeFile(path("out.mp4")).size(), 25u);
}

// The alpha byte of every pixel of every frame, as the CLI reads a file with alpha.
std::vector<uint8_t> alphaOf(const std::string& file)
{
    MediaInput input;
    std::string error;
    EXPECT_TRUE(input.open(file, error)) << error;
    ToFilterConverter converter(input.decoder()->width, input.decoder()->height, true);
    FramePtr frame(av_frame_alloc()), converted;
    std::vector<uint8_t> alpha;
    while (input.next(frame.get(), nullptr, error) == MediaInput::Status::Frame) {
        EXPECT_TRUE(converter.convert(frame.get(), converted, error)) << error;
        for (int y = 0; y < converted->height; ++y)
            for (int x = 0; x < converted->width; ++x)
                alpha.push_back(converted->data[0][y * converted->linesize[0] + 4 * x + 3]);
        av_frame_unref(frame.get());
    }
    return alpha;
}

// The correction is for colour: a source's alpha reaches an output that can hold it
// unchanged, and the colours are those of the same source without alpha.
TEST_F(Keeps, AlphaOfRgbaSourcesGoesThroughUnchanged)
{
    makeClip("in%02d.png",
             "testsrc2=size=32x24:rate=25,colorchannelmixer=rr=0.9:gg=0.7:bb=0.5,format=rgba,"
             "geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='8*X+Y+N'",
             3, "");
    const std::vector<uint8_t> alpha = alphaOf(path("in%02d.png"));
    ASSERT_EQ(alpha.size(), 3u * 32 * 24);
    const std::vector<Picture> expected =
        filterDirectly(path("in%02d.png"), defaultSettingValues());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"out%02d.png"}, {"out.mov", "--codec", "qtrle"}}) {
        SCOPED_TRACE(args[0]);
        std::vector<std::string> command = {"in%02d.png", "-q"};
        command.insert(command.end(), args.begin(), args.end());
        const RunOutcome run = telvo(command);
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_TRUE(alphaOf(path(args[0])) == alpha);
        EXPECT_TRUE(decodeFile(path(args[0])) == expected);
    }
    // A palette PNG: alpha in the palette, and a format the way back cannot write.
    makeClip("pal.png", "testsrc2=size=32x24", 1, "-pix_fmt pal8");
    const RunOutcome run = telvo({"pal.png", "pal-out.png", "-q"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
}

// Interlaced input is written interlaced, in its field order, by the encoders with
// interlaced coding (here MPEG-2 and H.264, each way round).
TEST_F(Keeps, InterlacedInputKeepsItsFieldOrder)
{
    const struct {
        const char* input;
        const char* encode;
        const char* output;
        AVFieldOrder order;
    } cases[] = {
        {"tt.mpg", "-vf setfield=tff -c:v mpeg2video -flags +ildct+ilme -top 1", "tt-out.mkv",
         AV_FIELD_TT},
        {"bb.mkv", "-vf setfield=bff -c:v libx264 -flags +ildct+ilme -x264opts bff=1", "bb-out.ts",
         AV_FIELD_BB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        makeClip(c.input, "testsrc2=size=64x48:rate=25", 4, c.encode);
        const RunOutcome run = telvo({c.input, c.output, "-q"});
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        MediaInput out;
        std::string error;
        ASSERT_TRUE(out.open(path(c.output), error)) << error;
        EXPECT_EQ(out.videoStream()->codecpar->field_order, c.order);
        FramePtr frame(av_frame_alloc());
        ASSERT_EQ(out.next(frame.get(), nullptr, error), MediaInput::Status::Frame);
        EXPECT_TRUE(frame->interlaced_frame);
        EXPECT_EQ(frame->top_field_first, c.order == AV_FIELD_TT);
    }
}

// Two recordings joined with cat. Where the second begins, the clock either jumps back
// (the same recording again): every frame comes out one frame apart, with the audio of
// both parts; or it jumps ahead by a pause in the recording (3 s here), which stays.
TEST_F(Keeps, JoinedTransportStreamsKeepEveryFrameOnOneTimeline)
{
    const struct {
        const char* secondPart;  // options that make the second part
        double step;             // from the first part's last frame to the second's first
    } cases[] = {
        {"", 0.04}, {"-output_ts_offset 4", 3.04},  // the first part ends at 1 s
    };
    ffmpeg(
        "-f lavfi -i testsrc2=size=32x24:rate=25 -f lavfi -i sine=duration=1 -t 1 "
        "-c:v mpeg2video -c:a aac part.ts");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.secondPart);
        ffmpeg(std::string("-i part.ts -c copy ") + c.secondPart + " second.ts");
        std::ofstream(path("joined.ts"), std::ios::binary)
            << readText(path("part.ts")) << readText(path("second.ts"));
        const RunOutcome run = telvo({"joined.ts", "out.mkv", "-q"});
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        const StreamInfo in = probe(path("joined.ts")), out = probe(path("out.mkv"));
        ASSERT_EQ(out.videoTimes.size(), 50u);
        for (size_t i = 1; i < out.videoTimes.size(); ++i)
            ASSERT_NEAR(out.videoTimes[i] - out.videoTimes[i - 1], i == 25 ? c.step : 0.04,
                        i == 25 ? 0.03 : 0.002)  // the copy moves the second part's start a little
                << "frame " << i;
        // Where the parts meet, the first part's audio may overlap the second by a packet.
        EXPECT_GE(out.audioPackets, in.audioPackets - 2);
    }
}

// MPEG-TS input has a 1/90000 time base, which the MPEG-1/2 and MPEG-4 encoders refuse;
// JPEG takes only full-range YUV.
TEST_F(Keeps, CommonContainersWorkWithTheirDefaultEncoders)
{
    makeClip("in.ts", "testsrc2=size=32x24:rate=25", 5, "-c:v mpeg2video");
    for (const char* name : {"out.ts", "out.m2ts", "out.mpg", "out.vob", "out.avi", "out.jpg"}) {
        const RunOutcome run = telvo({"in.ts", name, "-q"});
        EXPECT_EQ(run.exitCode, 0) << name << ": " << run.stderrText;
        EXPECT_EQ(decodeFile(path(name)).size(), std::string(name) == "out.jpg" ? 1u : 5u) << name;
    }
}

TEST_F(Keeps, EveryStreamInAWholeRunVideoAloneInASegment)
{
    std::ofstream(path("subs.srt")) << "1\n00:00:00,100 --> 00:00:00,900\nhello\n";
    ffmpeg(
        "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 -f lavfi -i sine=duration=1 "
        "-i subs.srt -map 0:v -map 1:a -map 2:s -c:v ffv1 -c:a flac -c:s srt in.mkv");
    const struct {
        std::vector<std::string> range;
        std::vector<AVMediaType> streams;
        size_t frames;
    } cases[] = {
        {{}, {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE}, 25},
        {{"--start", "3", "--frames", "5"}, {AVMEDIA_TYPE_VIDEO}, 5},
        {{"--frames", "4"}, {AVMEDIA_TYPE_VIDEO}, 4},
        {{"--start", "20"}, {AVMEDIA_TYPE_VIDEO}, 5},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"in.mkv", "out.mkv", "-q", "--codec", "ffv1"};
        args.insert(args.end(), c.range.begin(), c.range.end());
        SCOPED_TRACE(testing::PrintToString(args));
        const RunOutcome run = telvo(args);
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;

        MediaInput output;
        std::string error;
        ASSERT_TRUE(output.open(path("out.mkv"), error)) << error;
        AVFormatContext* f = output.format();
        std::vector<AVMediaType> streams;
        for (unsigned i = 0; i < f->nb_streams; ++i)
            streams.push_back(f->streams[i]->codecpar->codec_type);
        EXPECT_EQ(streams, c.streams);
        // The output's clock starts at zero, whichever frame it starts with.
        AVPacket* p = av_packet_alloc();
        int64_t first = INT64_MAX;
        while (av_read_frame(f, p) >= 0) {
            if (p->stream_index == output.videoStream()->index) first = std::min(first, p->pts);
            av_packet_unref(p);
        }
        av_packet_free(&p);
        EXPECT_EQ(first, 0);
        EXPECT_EQ(decodeFile(path("out.mkv")).size(), c.frames);
    }
}

// Audio a container cannot hold as it is goes in encoded with the container's own audio
// codec, decided before anything is written; what it cannot carry at all, and video
// other than the filtered stream, is left out with a note.
TEST_F(Keeps, StreamsTheContainerCannotHoldAreEncodedOrLeftOutWithANote)
{
    std::ofstream(path("subs.srt")) << "1\n00:00:00,100 --> 00:00:00,900\nhello\n";
    ffmpeg(
        "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 -f lavfi -i sine=duration=1 "
        "-i subs.srt -f lavfi -i testsrc=size=32x24:rate=25:duration=1 "
        "-map 0:v -map 1:a -map 2:s -map 3:v -c:v ffv1 -c:a aac -ac 6 -c:s srt in.mkv");
    const struct {
        const char* output;
        std::vector<AVCodecID> streams;
        std::vector<std::string> notes;
        size_t frames = 25;
    } cases[] = {
        // MPEG program streams take no AAC, and label any subtitle as DVD pictures.
        {"out.mpg",
         {AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MP2},
         {"stream 1 (aac) cannot go into mpeg as it is; encoded as mp2, its 6 channels mixed "
          "down to 2",
          "stream 2 (subrip) cannot go into mpeg; left out"}},
        {"out.ogv",
         {AV_CODEC_ID_THEORA, AV_CODEC_ID_VORBIS},
         {"stream 1 (aac) cannot go into ogv as it is; encoded as",
          "stream 2 (subrip) cannot go into ogv; left out"},
         // This FFmpeg's libtheora loses a 25-frame clip's last 6 frames, in the ffmpeg
         // program too; in the container's 1/1000 time base it kept only 5.
         19},
        {"out.webm",
         {AV_CODEC_ID_VP9, AV_CODEC_ID_OPUS},
         {"stream 1 (aac) cannot go into webm as it is; encoded as"}},
        {"out.mp4",
         {AV_CODEC_ID_H264, AV_CODEC_ID_AAC},
         {"stream 2 (subrip) cannot go into mp4; left out"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const RunOutcome run = telvo({"in.mkv", c.output, "-q"});
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        std::vector<std::string> notes = c.notes;
        notes.push_back("stream 3 (video, ffv1) left out");
        for (const std::string& note : notes)
            EXPECT_NE(run.stderrText.find(note), std::string::npos) << note << "\n"
                                                                    << run.stderrText;
        MediaInput output;
        std::string error;
        ASSERT_TRUE(output.open(path(c.output), error)) << error;
        std::vector<AVCodecID> streams;
        for (unsigned i = 0; i < output.format()->nb_streams; ++i)
            streams.push_back(output.format()->streams[i]->codecpar->codec_id);
        EXPECT_EQ(streams, c.streams);
        EXPECT_GE(decodeFile(path(c.output)).size(), c.frames);
        // The whole second of sound, as 8 kHz mono 16-bit samples: 16000 bytes.
        ffmpeg(std::string("-i ") + c.output + " -map 0:a -ac 1 -ar 8000 -f s16le sound.raw");
        EXPECT_NEAR(static_cast<double>(readText(path("sound.raw")).size()), 16000.0, 1000.0);
    }
}

// The display matrix's angle in degrees, anticlockwise; 0 without one.
double displayRotation(const std::string& file)
{
    MediaInput input;
    std::string error;
    EXPECT_TRUE(input.open(file, error)) << error;
    const uint8_t* matrix =
        av_stream_get_side_data(input.videoStream(), AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    return matrix ? av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix)) : 0;
}

// A phone stores its pictures as the sensor saw them, with a display matrix to show them
// upright. MP4 keeps the matrix; Matroska has no field for it, so the pictures are
// turned before the filter, exactly as FFmpeg's own tool shows them.
TEST_F(Keeps, DisplayRotationIsKeptOrAppliedAsFFmpegShowsIt)
{
    makeClip("stored.mp4", "testsrc2=size=48x32:rate=25", 3, "-c:v libx264 -pix_fmt yuv444p -qp 0");
    for (const std::string rotate : {"90", "180", "270"}) {
        SCOPED_TRACE(rotate);
        ffmpeg("-i stored.mp4 -c copy -metadata:s:v:0 rotate=" + rotate + " in.mp4");
        ASSERT_NE(displayRotation(path("in.mp4")), 0);

        const RunOutcome turned = telvo({"in.mp4", "out.mkv", "--disable", "--lossless", "-q"});
        ASSERT_EQ(turned.exitCode, 0) << turned.stderrText;
        EXPECT_NE(turned.stderrText.find("pictures are turned"), std::string::npos)
            << turned.stderrText;
        EXPECT_EQ(displayRotation(path("out.mkv")), 0);
        ffmpeg(
            "-i in.mp4 -vf scale=in_color_matrix=bt601:in_range=tv:flags=bilinear,format=bgr0 "
            "-f rawvideo expected.raw");
        ffmpeg("-i out.mkv -f rawvideo -pix_fmt bgr0 actual.raw");
        const std::string expected = readText(path("expected.raw")),
                          actual = readText(path("actual.raw"));
        ASSERT_EQ(actual.size(), expected.size());
        size_t differing = 0;
        for (size_t i = 0; i < actual.size(); ++i)
            differing += i % 4 != 3 && actual[i] != expected[i];
        EXPECT_EQ(differing, 0u);

        const RunOutcome kept = telvo({"in.mp4", "out.mp4", "-q"});
        ASSERT_EQ(kept.exitCode, 0) << kept.stderrText;
        EXPECT_NE(kept.stderrText.find("display matrix"), std::string::npos) << kept.stderrText;
        EXPECT_EQ(displayRotation(path("out.mp4")), displayRotation(path("in.mp4")));
        const StreamInfo stored = probe(path("out.mp4"));
        EXPECT_EQ(stored.width, 48);
        EXPECT_EQ(stored.height, 32);
    }
}

// Every matrix a phone or an editor writes: the turn and mirrors read from it, and the
// margins given for the displayed picture land on the stored picture's matching edges.
TEST(DisplayTurn, EveryQuarterTurnAndMirrorIsReadAndItsMarginsFollow)
{
    const struct {
        double anticlockwise;
        bool hflip, vflip;
        bool transpose, mirrorX, mirrorY;
        int stored[4];  // where displayed margins {1, 2, 3, 4} (top, left, right, bottom) go
    } cases[] = {
        {0, false, false, false, false, false, {1, 2, 3, 4}},
        {0, false, true, false, false, true, {4, 2, 3, 1}},  // upside down, mirrored
        {0, true, false, false, true, false, {1, 3, 2, 4}},
        {90, false, false, true, true, false, {3, 1, 4, 2}},
        {180, false, false, false, true, true, {4, 3, 2, 1}},
        {270, false, false, true, false, true, {2, 4, 1, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.anticlockwise) + (c.hflip ? " hflip" : "") +
                     (c.vflip ? " vflip" : ""));
        int32_t matrix[9];
        av_display_rotation_set(matrix, c.anticlockwise);
        av_display_matrix_flip(matrix, c.hflip, c.vflip);
        const DisplayTurn turn = displayTurnOf(matrix);
        EXPECT_EQ(turn.transpose, c.transpose);
        EXPECT_EQ(turn.mirrorX, c.mirrorX);
        EXPECT_EQ(turn.mirrorY, c.mirrorY);
        int margins[4] = {1, 2, 3, 4};
        storedMargins(turn, margins);
        EXPECT_EQ(std::vector<int>(margins, margins + 4), std::vector<int>(c.stored, c.stored + 4));
    }
}

TEST_F(Keeps, PreviewShowsTheDialogRendering)
{
    makeClip("in.mkv", "testsrc2=size=80x60:rate=25,colorchannelmixer=rr=0.9:gg=0.7:bb=0.5", 6);
    const RunOutcome run =
        telvo({"in.mkv", "p.png", "--preview", "4", "--border", "--top", "5", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    const std::vector<Picture> png = decodeFile(path("p.png"));
    ASSERT_EQ(png.size(), 1u);
    ASSERT_EQ(png[0].width, 160);
    ASSERT_EQ(png[0].height, 60);

    // Frame 4 alone, through an instance whose dialog is open.
    SettingValues settings = defaultSettingValues();
    settings[settingIndex("border")] = 1;
    settings[settingIndex("top")] = 5;
    settings[settingIndex("histogram")] = 1;
    MediaInput input;
    std::string error;
    ASSERT_TRUE(input.open(path("in.mkv"), error));
    ToFilterConverter converter(80, 60);
    FramePtr frame(av_frame_alloc()), source;
    for (int i = 0; i <= 4; ++i) {
        av_frame_unref(frame.get());
        ASSERT_EQ(input.next(frame.get(), nullptr, error), MediaInput::Status::Frame);
    }
    ASSERT_TRUE(converter.convert(frame.get(), source, error));
    FilterSession session;
    ASSERT_TRUE(session.open(settings, 80, 60, error));
    session.filter().showAsWhileEditing(true);
    FramePtr after = converter.pool().get(), before = converter.pool().get();
    session.run(source.get(), after.get(), 4);
    SettingValues switchedOff = settings;
    switchedOff[settingIndex("disable")] = 1;
    session.filter().apply(switchedOff);
    session.run(source.get(), before.get(), 4);

    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t left = png[0].bgr[(static_cast<size_t>(y) * 160 + x) * 3 + c];
                const uint8_t right = png[0].bgr[(static_cast<size_t>(y) * 160 + 80 + x) * 3 + c];
                ASSERT_EQ(left, before->data[0][y * before->linesize[0] + 4 * x + c])
                    << x << "," << y;
                ASSERT_EQ(right, after->data[0][y * after->linesize[0] + 4 * x + c])
                    << x << "," << y;
            }
    // The margin outline is red (only drawn while the dialog is open).
    int red = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 80; x < 160; ++x) {
            const uint8_t* px = &png[0].bgr[(static_cast<size_t>(y) * 160 + x) * 3];
            red += px[2] == 255 && px[1] == 0 && px[0] == 0;
        }
    EXPECT_GT(red, 40) << "no outline along the top margin";
}
