// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/preview.h"

#include <cstring>

#include "cli/command/options.h"
#include "cli/media/filter_frames.h"
#include "cli/media/media_input.h"
#include "cli/media/output_clash.h"
#include "cli/media/output_file.h"
#include "cli/media/png_image.h"
#include "cli/pipeline/filter_session.h"
#include "cli/report/side_outputs.h"

RunResult runPreview(const CliOptions& o)
{
    const std::string& out = o.output;
    if (out.size() < 5 || out.compare(out.size() - 4, 4, ".png") != 0)
        return RunResult::usage("--preview writes a PNG; OUTPUT must end in .png");
    if (std::string clash = findOutputClash(o.input, {{"OUTPUT", out}}); !clash.empty())
        return RunResult::usage(clash);

    std::string error;
    MediaInput input;
    if (!input.open(o.input, error)) return RunResult::failure(error);
    input.discardOtherStreams();
    const int width = input.decoder()->width, height = input.decoder()->height;

    // With the dialog open the history plays no part, so frame N alone decides its look.
    FramePtr frame(av_frame_alloc());
    int64_t index = 0;
    for (;; ++index) {
        const MediaInput::Status status = input.next(frame.get(), nullptr, error);
        if (status == MediaInput::Status::Error) return RunResult::failure(error);
        if (status == MediaInput::Status::End)
            return RunResult::failure(index == 0 ? "'" + o.input + "' has no video frames"
                                                 : "--preview " + std::to_string(o.previewFrame) +
                                                       " is past the end: the input has " +
                                                       std::to_string(index) + " frames");
        if (index == o.previewFrame) break;
        av_frame_unref(frame.get());
    }
    if (const char* transfer = hdrTransferName(frame->color_trc); transfer && !o.allowHdr)
        return RunResult::failure(std::string("the input is HDR: its transfer is ") + transfer +
                                  "; telvo's curves are made for SDR pictures (--allow-hdr "
                                  "corrects it as it is)");
    ToFilterConverter converter(width, height);
    FramePtr source;
    if (!converter.convert(frame.get(), source, error)) return RunResult::failure(error);

    // The picture shows the histogram graph on both halves.
    constexpr int kHistogram = settingIndex("histogram"), kDisable = settingIndex("disable");
    static_assert(kHistogram >= 0 && kDisable >= 0);
    SettingValues settings = o.settings;
    settings[kHistogram] = 1;
    FilterSession filter;
    if (!filter.open(settings, width, height, error)) return RunResult::failure(error);
    if (!o.quiet)
        std::fprintf(stderr, "telvo: %s\ntelvo: %s\n", filter.description().c_str(),
                     filter.scriptLine().c_str());
    filter.filter().showAsWhileEditing(true);

    FramePtr before = converter.pool().get(), after = converter.pool().get();
    if (!before || !after) return RunResult::failure("out of memory");
    // The left half goes through the filter switched off, so it shows the input with the
    // input's histogram graph.
    SettingValues switchedOff = settings;
    switchedOff[kDisable] = 1;
    filter.filter().apply(switchedOff);
    filter.run(source.get(), before.get(), index);
    filter.filter().apply(settings);
    filter.run(source.get(), after.get(), index);

    const int sideBySide = 2 * width;
    std::vector<uint8_t> picture(static_cast<size_t>(sideBySide) * height * 4);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.data() + static_cast<size_t>(y) * sideBySide * 4;
        std::memcpy(row, before->data[0] + static_cast<ptrdiff_t>(y) * before->linesize[0],
                    static_cast<size_t>(width) * 4);
        std::memcpy(row + static_cast<size_t>(width) * 4,
                    after->data[0] + static_cast<ptrdiff_t>(y) * after->linesize[0],
                    static_cast<size_t>(width) * 4);
    }
    std::string bytes;
    if (!encodePng(picture.data(), static_cast<ptrdiff_t>(sideBySide) * 4, sideBySide, height,
                   bytes, error))
        return RunResult::failure(error);
    OutputFile file;
    if (!writeWholeFile(file, out, bytes, error) || !file.commit(error))
        return RunResult::failure(error);
    if (!o.quiet)
        std::fprintf(stderr, "telvo: frame %lld before and after written to %s\n",
                     static_cast<long long>(index), out.c_str());
    return RunResult::ok();
}
