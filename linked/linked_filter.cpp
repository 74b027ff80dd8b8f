// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "linked/linked_filter.h"

#include <cstring>

#include "engine/deep_remap.h"
#include "hosting/filter_host.h"
#include "linked/frame_rows.h"
#include "module/module_entry.h"
#include "plugin/filter_state.h"
#include "plugin/render_frame.h"
#include "plugin/setting_binding.h"
#include "plugin/shared_field.h"

namespace
{

// The module keeps its registered definition in one global, which a second registration
// would overwrite and an unregistration leave dangling while other instances live: the
// process registers once, on first use, and every linked filter shares it.
const FilterHost& processRegistration()
{
    static const FilterHost registration(&VirtualdubFilterModuleInit2,
                                         &VirtualdubFilterModuleDeinit);
    return registration;
}

}  // namespace

LinkedFilter::LinkedFilter() : host_(FilterHost::sharing(processRegistration())) {}

LinkedFilter::~LinkedFilter() = default;

bool LinkedFilter::open(const SettingValues& settings, int width, int height, std::string& error,
                        PixelFormat format)
{
    if (!host_->ok()) {
        error = "the filter module did not register: " + host_->error();
        return false;
    }
    width_ = width;
    height_ = height;
    format_ = format;
    if (format == PixelFormat::Bgra64 && !deepRemapCache_)
        deepRemapCache_ = std::make_unique<DeepRemapCache>();
    host_->createInstance(width, height);
    if (!host_->callScript("Config", settings.data(), kScriptSettingCount)) {
        error = "the filter has no Config script function";
        return false;
    }
    store(settings);
    carry_ = {};
    host_->start(width, height);
    open_ = true;
    return true;
}

void LinkedFilter::store(const SettingValues& settings)
{
    // Config has stored the script settings; the host's other switches go into the
    // record, and the linked-only ones stay in settings_.
    storeSwitches(*static_cast<FilterState*>(host_->instanceData()), settings);
    settings_ = settings;
}

void LinkedFilter::apply(const SettingValues& settings)
{
    if (!open_ || settings == settings_) return;
    host_->callScript("Config", settings.data(), kScriptSettingCount);
    store(settings);
}

void LinkedFilter::restart()
{
    if (!open_) return;
    host_->createInstance(width_, height_);
    host_->callScript("Config", settings_.data(), kScriptSettingCount);
    store(settings_);
    carry_ = {};
    host_->start(width_, height_);
}

void LinkedFilter::showAsWhileEditing(bool editing)
{
    if (!open_) return;
    storeShared(static_cast<FilterState*>(host_->instanceData())->dialogClosed, editing ? 0 : 1);
}

bool LinkedFilter::run(const uint8_t* sourceRow0, ptrdiff_t sourcePitch, uint8_t* destinationRow0,
                       ptrdiff_t destinationPitch, FrameReport* report, const FrameRequest& request)
{
    if (!open_) return false;
    const ConstPlane source{sourceRow0, sourcePitch, width_, height_, format_};
    const Plane destination{destinationRow0, destinationPitch, width_, height_, format_};
    const LinkedFrame frame{&settings_, FrameLinks{&carry_, request, deepRemapCache_.get()}};
    const FrameReport rendered =
        renderFrame(*static_cast<FilterState*>(host_->instanceData()), &frame, source, destination);
    if (report != nullptr) *report = rendered;
    return true;
}

bool LinkedFilter::runTopDown(const uint8_t* sourceTop, ptrdiff_t sourcePitch,
                              uint8_t* destinationTop, ptrdiff_t destinationPitch,
                              FrameReport* report, const FrameRequest& request)
{
    return run(bottomRowOf(sourceTop, sourcePitch, height_), -sourcePitch,
               bottomRowOf(destinationTop, destinationPitch, height_), -destinationPitch, report,
               request);
}

void LinkedFilter::takeSnapshot(LinkedSnapshot& snapshot) const
{
    if (!open_) return;
    const size_t size = static_cast<size_t>(host_->definition().inst_data_size);
    snapshot.record.resize(size);
    std::memcpy(snapshot.record.data(), host_->instanceData(), size);
    snapshot.settings = settings_;
    snapshot.carry = carry_;
}

void LinkedFilter::restoreSnapshot(const LinkedSnapshot& snapshot)
{
    if (!open_) return;
    const size_t size = static_cast<size_t>(host_->definition().inst_data_size);
    if (snapshot.record.size() != size) return;  // not taken from an opened filter
    std::memcpy(host_->instanceData(), snapshot.record.data(), size);
    settings_ = snapshot.settings;
    carry_ = snapshot.carry;
}

std::string LinkedFilter::description()
{
    if (!open_) return {};
    return std::string(host_->definition().name ? host_->definition().name : "filter") +
           host_->summary();
}

std::string LinkedFilter::scriptLine()
{
    std::string line;
    if (open_) host_->scriptLine(line);
    return line;
}
