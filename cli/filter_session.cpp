#include "cli/filter_session.h"

#include "cli/av_util.h"
#include "plugin/filter_state.h"
#include "plugin/frame_report.h"
#include "module/module_entry.h"

FilterSession::FilterSession()
    : host_(
          std::make_unique<FilterHost>(&VirtualdubFilterModuleInit2, &VirtualdubFilterModuleDeinit))
{
}

FilterState& FilterSession::state()
{
    return *static_cast<FilterState*>(host_->instanceData());
}

bool FilterSession::open(const ScriptSettings& s, bool disable, bool histogram, int width,
                         int height, std::string& error)
{
    if (!host_->ok()) {
        error = "the filter module did not register: " + host_->error();
        return false;
    }
    width_ = width;
    height_ = height;
    host_->createInstance(width, height);
    const int args[kScriptSettingCount] = {s.gamma, s.alignment, s.border, s.top,
                                           s.left,  s.right,     s.bottom, s.freeze};
    if (!host_->callScript("Config", args, kScriptSettingCount)) {
        error = "the filter has no Config script function";
        return false;
    }
    storeShared(state().disable, disable ? 1 : 0);
    storeShared(state().showHistogram, histogram ? 1 : 0);
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
