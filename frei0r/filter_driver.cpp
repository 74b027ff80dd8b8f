// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "frei0r/filter_driver.h"

#include <cstring>

#include "hosting/filter_host.h"
#include "module/module_entry.h"
#include "plugin/filter_state.h"
#include "plugin/shared_field.h"

FilterDriver::FilterDriver(int width, int height, const SettingValues& settings)
    : host_(std::make_unique<FilterHost>(&VirtualdubFilterModuleInit2,
                                         &VirtualdubFilterModuleDeinit)),
      width_(width),
      height_(height),
      applied_(settings)
{
    if (!host_->ok()) return;
    remembered_.resize(static_cast<size_t>(host_->definition().inst_data_size));
    restart();
}

FilterDriver::~FilterDriver() = default;

bool FilterDriver::ok() const
{
    return host_->ok();
}

void FilterDriver::apply(const SettingValues& settings)
{
    if (settings != applied_) applyAll(settings);
}

void FilterDriver::applyAll(const SettingValues& settings)
{
    host_->callScript("Config", settings.data(), kScriptSettingCount);
    FilterState& state = *static_cast<FilterState*>(host_->instanceData());
    for (int i = kScriptSettingCount; i < kSettingCount; ++i)
        storeShared(state.*kSettings[i].field, settings[i]);
    applied_ = settings;
}

void FilterDriver::restart()
{
    host_->createInstance(width_, height_);
    applyAll(applied_);
    host_->start(width_, height_);
}

void FilterDriver::remember()
{
    std::memcpy(remembered_.data(), host_->instanceData(), remembered_.size());
    rememberedSettings_ = applied_;
}

void FilterDriver::recall()
{
    std::memcpy(host_->instanceData(), remembered_.data(), remembered_.size());
    applied_ = rememberedSettings_;
}

void FilterDriver::run(const uint32_t* source, uint32_t* destination)
{
    const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(width_);
    const ptrdiff_t lastRow = pitch * (height_ - 1);
    host_->run(reinterpret_cast<const uint8_t*>(source) + lastRow, -pitch,
               reinterpret_cast<uint8_t*>(destination) + lastRow, -pitch, width_, height_);
}
