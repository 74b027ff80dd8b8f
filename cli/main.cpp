// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// telvo: runs the white-balance filter over video files through FFmpeg's libraries.
#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

#include "cli/command/option_list.h"
#include "cli/command/options.h"
#include "cli/media/av_messages.h"
#include "cli/media/output_file.h"
#include "cli/pipeline/frame_allocator.h"
#include "cli/pipeline/plan_jobs.h"
#include "cli/pipeline/preview.h"
#include "cli/pipeline/transcode.h"
#include "cli/pipeline/two_pass.h"
#include "generated/telvo_version.h"

int main(int argc, char** argv)
{
    CliOptions options;
    std::string error;
    switch (parseOptions(argc, argv, options, error)) {
        case ParseResult::Help:
            std::fputs(usageText(), stdout);
            return kExitOk;
        case ParseResult::Version:
            std::printf("telvo %s\n", TELVO_VERSION);
            return kExitOk;
        case ParseResult::ListOptions:
            std::fputs(optionListing().c_str(), stdout);
            return kExitOk;
        case ParseResult::CheckOptions:
            return kExitOk;
        case ParseResult::UsageError:
            std::fprintf(stderr, "telvo: %s\n", error.c_str());
            return kExitUsage;
        case ParseResult::Run:
            break;
    }
    // FFmpeg's own messages would bury the one line a failure prints.
    av_log_set_level(options.verbose ? AV_LOG_INFO : AV_LOG_QUIET);
    captureAvMessages(options.verbose);
    installInterruptHandlers();
    keepFrameBuffersMapped();

    const RunResult result = !options.planFrom.empty()      ? runPlanning(options)
                             : !options.analysePath.empty() ? runMeasure(options)
                             : !options.planPath.empty()    ? runApplyPlan(options)
                             : options.previewFrame >= 0    ? runPreview(options)
                                                            : runTranscode(options);
    // -v has shown FFmpeg's messages as they came; -q asks for none.
    if (!options.quiet && !options.verbose) reportInputMessages(stderr);
    if (result.code != kExitOk) std::fprintf(stderr, "telvo: %s\n", result.message.c_str());
    return result.code;
}
