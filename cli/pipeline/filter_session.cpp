// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/filter_session.h"

#include "cli/media/av_util.h"
#include "module/module_entry.h"
#include "plugin/filter_state.h"
#include "plugin/frame_report.h"

FilterSession::FilterSession()
    : host_(
          std::make_unique<FilterHost>(&VirtualdubFilterModuleInit2, &VirtualdubFilterModuleDeinit))
{
}

FilterState& FilterSession::state()
{
    return *static_cast<FilterState*>(host_->instanceData());
}

bool FilterSession::open(const SettingValues& settings, int width, int height, std::string& error)
{
    if (!host_->ok()) {
        error = "the filter module did not register: " + host_->error();
        return false;
    }
    width_ = width;
    height_ = height;
    host_->createInstance(width, height);
    if (!host_->callScript("Config", settings.data(), kScriptSettingCount)) {
        error = "the filter has no Config script function";
        return false;
    }
    // The switches a host does not save are set as the dialog's check boxes set them.
    for (int i = kScriptSettingCount; i < kSettingCount; ++i)
        storeShared(state().*kSettings[i].field, settings[i]);
    host_->start(width, height);
    return true;
}

std::string FilterSession::description()
{
    return std::string(host_->definition().name ? host_->definition().name : "filter") +
           host_->summary();
}

std::string FilterSession::scriptLine()
{
    std::string line;
    host_->scriptLine(line);
    return line;
}

bool FilterSession::run(const AVFrame* source, AVFrame* destination, int64_t frameNumber,
                        FrameReport* report)
{
    host_->run(bottomRow(source), bottomUpPitch(source), bottomRow(destination),
               bottomUpPitch(destination), width_, height_, frameNumber);
    return report == nullptr || lastFrameReport(host_->instanceData(), *report);
}
