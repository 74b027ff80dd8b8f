// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Filter definition, activation record and host function table, API version 14 (x64).
#pragma once

#include "host/vdx_bitmap.h"
#include "host/vdx_preview.h"
#include "host/vdx_script.h"
#include "host/vdx_types.h"

constexpr int kVDXFilterApiVersion = 14;       // highest version the module speaks
constexpr int kVDXFilterApiCompatVersion = 8;  // lowest version the module accepts

struct VDXFilterActivation;
struct VDXFilterFunctions;
struct VDXFilterDefinition;

struct VDXFilterStateInfo {
    enum { kStatePreview = 1, kStateRealTime = 2 };
    sint32 lCurrentFrame;
    sint32 lMicrosecsPerFrame;
    sint32 lCurrentSourceFrame;
    sint32 lMicrosecsPerSrcFrame;
    sint32 lSourceFrameMS;
    sint32 lDestFrameMS;
    sint32 flags;
    sint32 mOutputFrame;
};

using VDXFilterInitProc = int(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*);
using VDXFilterDeinitProc = void(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*);
using VDXFilterRunProc = int(VDX_API*)(const VDXFilterActivation*, const VDXFilterFunctions*);
using VDXFilterParamProc = long(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*);
using VDXFilterConfigProc = int(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*,
                                          VDXHWND parent);
using VDXFilterStringProc = void(VDX_API*)(const VDXFilterActivation*, const VDXFilterFunctions*,
                                           char* buf);
using VDXFilterStartProc = int(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*);
using VDXFilterEndProc = int(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*);
using VDXFilterScriptStrProc = bool(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*,
                                              char* buf, int buflen);
using VDXFilterStringProc2 = void(VDX_API*)(const VDXFilterActivation*, const VDXFilterFunctions*,
                                            char* buf, int maxlen);
using VDXFilterSerialize = int(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*, char* buf,
                                         int maxbuf);
using VDXFilterDeserialize = void(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*,
                                            const char* buf, int maxbuf);
using VDXFilterCopy = void(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*, void* dst);
using VDXFilterPrefetch = sint64(VDX_API*)(const VDXFilterActivation*, const VDXFilterFunctions*,
                                           sint64 frame);
using VDXFilterCopy2Proc = void(VDX_API*)(VDXFilterActivation*, const VDXFilterFunctions*,
                                          void* dst, VDXFilterActivation* fa2,
                                          const VDXFilterFunctions* ff2);
using VDXFilterPrefetch2Proc = bool(VDX_API*)(const VDXFilterActivation*, const VDXFilterFunctions*,
                                              sint64 frame, IVDXVideoPrefetcher*);
using VDXFilterEventProc = bool(VDX_API*)(const VDXFilterActivation*, const VDXFilterFunctions*,
                                          uint32 event, const void* data);

struct VDXFilterDefinition {
    void* _next;
    void* _prev;
    void* _module;
    const char* name;
    const char* desc;
    const char* maker;
    void* private_data;
    int inst_data_size;
    VDXFilterInitProc initProc;
    VDXFilterDeinitProc deinitProc;
    VDXFilterRunProc runProc;
    VDXFilterParamProc paramProc;
    VDXFilterConfigProc configProc;
    VDXFilterStringProc stringProc;
    VDXFilterStartProc startProc;
    VDXFilterEndProc endProc;
    VDXScriptObject* script_obj;
    VDXFilterScriptStrProc fssProc;
    VDXFilterStringProc2 stringProc2;
    VDXFilterSerialize serializeProc;
    VDXFilterDeserialize deserializeProc;
    VDXFilterCopy copyProc;
    VDXFilterPrefetch prefetchProc;
    VDXFilterCopy2Proc copyProc2;
    VDXFilterPrefetch2Proc prefetchProc2;
    VDXFilterEventProc eventProc;
};

struct VDXFilterActivation {
    const VDXFilterDefinition* filter;
    void* filter_data;
    VDXFBitmap* dst;  // a reference in the host's declaration; stored as a pointer
    VDXFBitmap* src;
    VDXFBitmap* _reserved0;
    VDXFBitmap* last;
    uint32 x1;
    uint32 y1;
    uint32 x2;
    uint32 y2;
    VDXFilterStateInfo* pfsi;
    IVDXFilterPreview* ifp;
    IVDXFilterPreview2* ifp2;
    uint32 mSourceFrameCount;
    VDXFBitmap* const* mpSourceFrames;
    VDXFBitmap* const* mpOutputFrames;
};

struct VDXFilterFunctions {
    VDXFilterDefinition*(VDX_API* addFilter)(VDXFilterModule*, VDXFilterDefinition*, int fd_len);
    void(VDX_API* removeFilter)(VDXFilterDefinition*);
    bool(VDX_API* isFPUEnabled)();
    bool(VDX_API* isMMXEnabled)();
    void(VDX_API* InitVTables)(VDXFilterVTbls*);
    void(VDX_API* ExceptOutOfMemory)();
    void(VDX_API* Except)(const char* format, ...);
    long(VDX_API* getCPUFlags)();
    long(VDX_API* getHostVersionInfo)(char* buffer, int len);
};

// The module's two exports.
using VDXFilterModuleInit2Proc = int(VDX_API*)(VDXFilterModule* fm, const VDXFilterFunctions* ff,
                                               int& vdfd_ver, int& vdfd_compat);
using VDXFilterModuleDeinitProc = void(VDX_API*)(VDXFilterModule* fm, const VDXFilterFunctions* ff);

static_assert(sizeof(VDXFilterStateInfo) == 32);
static_assert(offsetof(VDXFilterStateInfo, flags) == 24);
static_assert(offsetof(VDXFilterStateInfo, mOutputFrame) == 28);

static_assert(sizeof(VDXFilterDefinition) == 208);
static_assert(offsetof(VDXFilterDefinition, name) == 24);
static_assert(offsetof(VDXFilterDefinition, desc) == 32);
static_assert(offsetof(VDXFilterDefinition, maker) == 40);
static_assert(offsetof(VDXFilterDefinition, private_data) == 48);
static_assert(offsetof(VDXFilterDefinition, inst_data_size) == 56);
static_assert(offsetof(VDXFilterDefinition, initProc) == 64);
static_assert(offsetof(VDXFilterDefinition, deinitProc) == 72);
static_assert(offsetof(VDXFilterDefinition, runProc) == 80);
static_assert(offsetof(VDXFilterDefinition, paramProc) == 88);
static_assert(offsetof(VDXFilterDefinition, configProc) == 96);
static_assert(offsetof(VDXFilterDefinition, stringProc) == 104);
static_assert(offsetof(VDXFilterDefinition, startProc) == 112);
static_assert(offsetof(VDXFilterDefinition, endProc) == 120);
static_assert(offsetof(VDXFilterDefinition, script_obj) == 128);
static_assert(offsetof(VDXFilterDefinition, fssProc) == 136);
static_assert(offsetof(VDXFilterDefinition, stringProc2) == 144);
static_assert(offsetof(VDXFilterDefinition, serializeProc) == 152);
static_assert(offsetof(VDXFilterDefinition, deserializeProc) == 160);
static_assert(offsetof(VDXFilterDefinition, copyProc) == 168);
static_assert(offsetof(VDXFilterDefinition, prefetchProc) == 176);
static_assert(offsetof(VDXFilterDefinition, copyProc2) == 184);
static_assert(offsetof(VDXFilterDefinition, prefetchProc2) == 192);
static_assert(offsetof(VDXFilterDefinition, eventProc) == 200);

static_assert(sizeof(VDXFilterActivation) == 112);
static_assert(offsetof(VDXFilterActivation, filter_data) == 8);
static_assert(offsetof(VDXFilterActivation, dst) == 16);
static_assert(offsetof(VDXFilterActivation, src) == 24);
static_assert(offsetof(VDXFilterActivation, last) == 40);
static_assert(offsetof(VDXFilterActivation, x1) == 48);
static_assert(offsetof(VDXFilterActivation, y2) == 60);
static_assert(offsetof(VDXFilterActivation, pfsi) == 64);
static_assert(offsetof(VDXFilterActivation, ifp) == 72);
static_assert(offsetof(VDXFilterActivation, ifp2) == 80);
static_assert(offsetof(VDXFilterActivation, mSourceFrameCount) == 88);
static_assert(offsetof(VDXFilterActivation, mpSourceFrames) == 96);
static_assert(offsetof(VDXFilterActivation, mpOutputFrames) == 104);

static_assert(sizeof(VDXFilterFunctions) == 72);
static_assert(offsetof(VDXFilterFunctions, removeFilter) == 8);
static_assert(offsetof(VDXFilterFunctions, getHostVersionInfo) == 64);
