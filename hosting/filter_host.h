// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// A small host for the filter: it registers the module through its two entry points,
// fills the records a real host fills and calls the callbacks in the host's order
// (init, configuration or script, start, run per frame). Every host of ours drives the
// filter through it (the linked filter of the command-line tool and the frei0r module,
// the tests, the Windows test host), so the glue is exercised everywhere. Bitmaps are
// bottom-up: row 0 is the picture's bottom row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/vdx_filter.h"

class FilterHost
{
public:
    FilterHost(VDXFilterModuleInit2Proc init, VDXFilterModuleDeinitProc deinit);
    // A host for another instance of the filter `registered` holds, sharing its
    // registration: a module keeps what it registered in one global, so a process that
    // runs many instances registers once. `registered` must outlive the new host.
    static std::unique_ptr<FilterHost> sharing(const FilterHost& registered);
    ~FilterHost();
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    // False when registration failed or did not register exactly one filter.
    bool ok() const { return definition_ != nullptr; }
    const std::string& error() const { return error_; }
    const VDXFilterDefinition& definition() const { return *definition_; }
    int apiVersion() const { return apiVersion_; }
    int apiCompatVersion() const { return apiCompatVersion_; }
    int registeredCount() const { return registeredCount_; }

    // Allocates the instance record (filling it with `fill` first, as a host may leave
    // it uninitialised) and calls initProc with a source of the given size.
    int createInstance(int width, int height, uint8_t fill = 0xCD);
    void* instanceData() { return instance_.data(); }
    const void* instanceData() const { return instance_.data(); }

    // Calls a script function of the filter's script object by name; false when there
    // is no such function or its signature does not take `count` ints.
    bool callScript(const char* name, const int* args, int count);

    std::string summary();  // stringProc into the 128-byte buffer
    bool scriptLine(std::string& line, int bufferSize = 2048);  // fssProc

    // Sets the source size the callbacks see, then calls startProc.
    int start(int width, int height);

    // One frame: source and destination row 0 and pitches, size of the source.
    int run(const uint8_t* sourceRow0, ptrdiff_t sourcePitch, uint8_t* destinationRow0,
            ptrdiff_t destinationPitch, int width, int height, int64_t frameNumber = 0);

    // The configuration callback, when the filter has one; -1 when it has none.
    int configure(VDXHWND parent, IVDXFilterPreview* preview);

    VDXFilterActivation& activation() { return activation_; }

private:
    FilterHost() = default;
    void setBitmap(VDXFBitmap& bitmap, const uint8_t* row0, ptrdiff_t pitch, int width, int height);

    static VDX_API VDXFilterDefinition* addFilter(VDXFilterModule*, VDXFilterDefinition*, int);
    static VDX_API void removeFilter(VDXFilterDefinition*);

    VDXFilterModuleDeinitProc deinit_ = nullptr;
    VDXFilterFunctions functions_{};
    VDXFilterDefinition copy_{};  // the host's copy of the registered definition
    VDXFilterDefinition* definition_ = nullptr;
    int registeredCount_ = 0;
    int apiVersion_ = 0;
    int apiCompatVersion_ = 0;
    std::string error_;

    std::vector<uint8_t> instance_;
    VDXFilterActivation activation_{};
    VDXFBitmap source_{};
    VDXFBitmap destination_{};
    VDXFilterStateInfo stateInfo_{};
};
