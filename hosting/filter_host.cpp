// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "hosting/filter_host.h"

#include <cstring>
#include <mutex>

namespace
{
// add/removeFilter carry no context pointer, and a module keeps what its init registered
// in module-wide globals. Registrations and removals therefore take turns, so hosts may
// be created and destroyed on several threads at once (a frei0r host does).
std::mutex g_registration;
FilterHost* g_registering = nullptr;  // guarded by g_registration
}  // namespace

FilterHost::FilterHost(VDXFilterModuleInit2Proc init, VDXFilterModuleDeinitProc deinit)
    : deinit_(deinit)
{
    functions_.addFilter = &FilterHost::addFilter;
    functions_.removeFilter = &FilterHost::removeFilter;
    if (init == nullptr || deinit == nullptr) {
        error_ = "module lacks its entry points";
        return;
    }
    // What a host supporting API versions 4..14 passes in.
    apiVersion_ = kVDXFilterApiVersion;
    apiCompatVersion_ = 4;
    int status;
    {
        std::lock_guard lock(g_registration);
        g_registering = this;
        status = init(nullptr, &functions_, apiVersion_, apiCompatVersion_);
        g_registering = nullptr;
    }
    if (status != 0)
        error_ = "module initialisation failed";
    else if (registeredCount_ != 1)
        error_ = "module registered " + std::to_string(registeredCount_) + " filters, not 1";
    else if (apiCompatVersion_ > kVDXFilterApiVersion || apiVersion_ < 4)
        error_ = "module needs an unsupported filter API version";
    else
        definition_ = &copy_;
    if (!definition_) return;
    activation_.filter = definition_;
    activation_.src = &source_;
    activation_.dst = &destination_;
    activation_.pfsi = &stateInfo_;
}

std::unique_ptr<FilterHost> FilterHost::sharing(const FilterHost& registered)
{
    std::unique_ptr<FilterHost> host(new FilterHost());
    host->functions_ = registered.functions_;
    host->apiVersion_ = registered.apiVersion_;
    host->apiCompatVersion_ = registered.apiCompatVersion_;
    host->error_ = registered.error_;
    host->definition_ = registered.definition_;  // registeredCount_ stays 0: nothing to remove
    if (!host->definition_) return host;
    host->activation_.filter = host->definition_;
    host->activation_.src = &host->source_;
    host->activation_.dst = &host->destination_;
    host->activation_.pfsi = &host->stateInfo_;
    return host;
}

FilterHost::~FilterHost()
{
    if (registeredCount_ > 0 && deinit_ != nullptr) {
        std::lock_guard lock(g_registration);
        g_registering = this;
        deinit_(nullptr, &functions_);
        g_registering = nullptr;
    }
}

VDXFilterDefinition* FilterHost::addFilter(VDXFilterModule*, VDXFilterDefinition* def, int length)
{
    FilterHost* host = g_registering;
    if (host == nullptr || def == nullptr || length < static_cast<int>(sizeof(VDXFilterDefinition)))
        return nullptr;
    ++host->registeredCount_;
    std::memcpy(&host->copy_, def, sizeof(VDXFilterDefinition));
    return &host->copy_;
}

void FilterHost::removeFilter(VDXFilterDefinition* def)
{
    FilterHost* host = g_registering;
    if (host != nullptr && def == &host->copy_) --host->registeredCount_;
}

void FilterHost::setBitmap(VDXFBitmap& b, const uint8_t* row0, ptrdiff_t pitch, int width,
                           int height)
{
    b.data = reinterpret_cast<uint32*>(const_cast<uint8_t*>(row0));
    b.depth = 32;
    b.w = width;
    b.h = height;
    b.pitch = pitch;
    b.modulo = pitch - 4 * static_cast<ptrdiff_t>(width);
    b.size = (pitch < 0 ? -pitch : pitch) * static_cast<ptrdiff_t>(height);
    b.mFrameCount = -1;
}

int FilterHost::createInstance(int width, int height, uint8_t fill)
{
    instance_.assign(static_cast<size_t>(definition_->inst_data_size), fill);
    activation_.filter_data = instance_.data();
    setBitmap(source_, nullptr, 4 * static_cast<ptrdiff_t>(width), width, height);
    setBitmap(destination_, nullptr, 4 * static_cast<ptrdiff_t>(width), width, height);
    return definition_->initProc ? definition_->initProc(&activation_, &functions_) : 0;
}

bool FilterHost::callScript(const char* name, const int* args, int count)
{
    const VDXScriptObject* object = definition_->script_obj;
    if (object == nullptr) return false;
    if (count < 0) return false;
    std::string signature(static_cast<size_t>(count) + 1, 'i');
    signature[0] = '0';
    for (const VDXScriptFunctionDef* f = object->func_list; f && f->func_ptr; ++f) {
        if (std::strcmp(f->name, name) != 0 || signature != f->arg_list) continue;
        std::vector<VDXScriptValue> argv(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            argv[i].type = VDXScriptValue::T_INT;
            argv[i].u.i = args[i];
        }
        f->func_ptr(nullptr, &activation_, argv.data(), count);
        return true;
    }
    return false;
}

std::string FilterHost::summary()
{
    if (definition_->stringProc == nullptr) return {};
    char buffer[128];
    std::memset(buffer, 0, sizeof buffer);
    definition_->stringProc(&activation_, &functions_, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

bool FilterHost::scriptLine(std::string& line, int bufferSize)
{
    line.clear();
    if (definition_->fssProc == nullptr || bufferSize <= 0) return false;
    std::vector<char> buffer(static_cast<size_t>(bufferSize), '\0');
    if (!definition_->fssProc(&activation_, &functions_, buffer.data(), bufferSize)) return false;
    line.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return true;
}

int FilterHost::start(int width, int height)
{
    setBitmap(source_, nullptr, 4 * static_cast<ptrdiff_t>(width), width, height);
    setBitmap(destination_, nullptr, 4 * static_cast<ptrdiff_t>(width), width, height);
    return definition_->startProc ? definition_->startProc(&activation_, &functions_) : 0;
}

int FilterHost::run(const uint8_t* sourceRow0, ptrdiff_t sourcePitch, uint8_t* destinationRow0,
                    ptrdiff_t destinationPitch, int width, int height, int64_t frameNumber)
{
    setBitmap(source_, sourceRow0, sourcePitch, width, height);
    setBitmap(destination_, destinationRow0, destinationPitch, width, height);
    source_.mFrameNumber = destination_.mFrameNumber = frameNumber;
    stateInfo_.lCurrentFrame = stateInfo_.lCurrentSourceFrame = static_cast<sint32>(frameNumber);
    return definition_->runProc(&activation_, &functions_);
}

int FilterHost::configure(VDXHWND parent, IVDXFilterPreview* preview)
{
    if (definition_->configProc == nullptr) return -1;
    activation_.ifp = preview;
    return definition_->configProc(&activation_, &functions_, parent);
}
