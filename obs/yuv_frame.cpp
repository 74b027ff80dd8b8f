// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "obs/yuv_frame.h"

#include <algorithm>
#include <cstring>

namespace
{

template <class T>
T* rowOf(uint8_t* plane, ptrdiff_t pitch, int row)
{
    return reinterpret_cast<T*>(plane + pitch * row);
}

// One frame row's codes, chroma repeated for every pixel it covers.
template <class T>
void readCodes(const YuvLayout& l, const YuvPlanes& f, int row, uint16_t* y, uint16_t* u,
               uint16_t* v)
{
    const int w = f.width, sh = l.sampleShift, sx = l.chromaShiftX;
    const unsigned mask = (1u << l.bits) - 1;
    const int crow = row >> l.chromaShiftY;
    switch (l.packing) {
        case YuvPacking::Planar: {
            const T* ys = rowOf<T>(f.data[0], f.pitch[0], row);
            const T* us = rowOf<T>(f.data[1], f.pitch[1], crow);
            const T* vs = rowOf<T>(f.data[2], f.pitch[2], crow);
            for (int x = 0; x < w; ++x) y[x] = static_cast<uint16_t>((ys[x] >> sh) & mask);
            for (int x = 0; x < w; ++x) {
                u[x] = static_cast<uint16_t>((us[x >> sx] >> sh) & mask);
                v[x] = static_cast<uint16_t>((vs[x >> sx] >> sh) & mask);
            }
            break;
        }
        case YuvPacking::SemiPlanar: {
            const T* ys = rowOf<T>(f.data[0], f.pitch[0], row);
            const T* uv = rowOf<T>(f.data[1], f.pitch[1], crow);
            for (int x = 0; x < w; ++x) y[x] = static_cast<uint16_t>((ys[x] >> sh) & mask);
            for (int x = 0; x < w; ++x) {
                u[x] = static_cast<uint16_t>((uv[2 * (x >> sx)] >> sh) & mask);
                v[x] = static_cast<uint16_t>((uv[2 * (x >> sx) + 1] >> sh) & mask);
            }
            break;
        }
        case YuvPacking::Packed422: {
            const uint8_t* g = rowOf<uint8_t>(f.data[0], f.pitch[0], row);
            for (int x = 0; x < w; ++x) {
                const uint8_t* group = g + 4 * (x >> 1);
                y[x] = group[(x & 1) != 0 ? l.y1 : l.y0];
                u[x] = group[l.u];
                v[x] = group[l.v];
            }
            break;
        }
    }
}

inline float clampTo(float value, float low, float high)
{
    return std::min(std::max(value, low), high);
}

template <class Out>
void codesToWork(const uint16_t* y, const uint16_t* u, const uint16_t* v, int width,
                 const CodeMatrix& m, Out* out)
{
    const float max = m.rgbMax;
    for (int x = 0; x < width; ++x) {
        const float yy = clampTo(y[x], m.lowCode[0], m.highCode[0]);
        const float uu = clampTo(u[x], m.lowCode[1], m.highCode[1]);
        const float vv = clampTo(v[x], m.lowCode[2], m.highCode[2]);
        const float r = m.k[0][0] * yy + m.k[0][1] * uu + m.k[0][2] * vv + m.k[0][3];
        const float g = m.k[1][0] * yy + m.k[1][1] * uu + m.k[1][2] * vv + m.k[1][3];
        const float b = m.k[2][0] * yy + m.k[2][1] * uu + m.k[2][2] * vv + m.k[2][3];
        out[4 * x + 0] = static_cast<Out>(clampTo(b, 0.0f, max) + 0.5f);
        out[4 * x + 1] = static_cast<Out>(clampTo(g, 0.0f, max) + 0.5f);
        out[4 * x + 2] = static_cast<Out>(clampTo(r, 0.0f, max) + 0.5f);
        out[4 * x + 3] = 0;
    }
}

// Luma codes, rounded, and the unrounded chroma of every pixel, for the means.
template <class In>
void workToCodes(const In* in, int width, const CodeMatrix& m, uint16_t* y, float* cu, float* cv)
{
    for (int x = 0; x < width; ++x) {
        const float b = in[4 * x + 0], g = in[4 * x + 1], r = in[4 * x + 2];
        const float yy = m.e[0][0] * r + m.e[0][1] * g + m.e[0][2] * b + m.e[0][3];
        cu[x] = m.e[1][0] * r + m.e[1][1] * g + m.e[1][2] * b + m.e[1][3];
        cv[x] = m.e[2][0] * r + m.e[2][1] * g + m.e[2][2] * b + m.e[2][3];
        y[x] = static_cast<uint16_t>(clampTo(yy, m.lowCode[0], m.highCode[0]) + 0.5f);
    }
}

// The mean of the chroma a sample covers: columns [x0, x1), rows a (and b, when not null).
inline uint16_t chromaCode(const float* a, const float* b, int x0, int x1, float low, float high)
{
    float sum = 0.0f;
    for (int x = x0; x < x1; ++x) sum += a[x] + (b != nullptr ? b[x] : 0.0f);
    const int count = (x1 - x0) * (b != nullptr ? 2 : 1);
    return static_cast<uint16_t>(clampTo(sum / static_cast<float>(count), low, high) + 0.5f);
}

template <class T>
void writeLuma(const YuvLayout& l, const YuvPlanes& f, int row, const uint16_t* y)
{
    const int w = f.width, sh = l.sampleShift;
    if (l.packing == YuvPacking::Packed422) {
        uint8_t* g = rowOf<uint8_t>(f.data[0], f.pitch[0], row);
        for (int x = 0; x < w; ++x)
            g[4 * (x >> 1) + ((x & 1) != 0 ? l.y1 : l.y0)] = static_cast<uint8_t>(y[x]);
        return;
    }
    T* ys = rowOf<T>(f.data[0], f.pitch[0], row);
    for (int x = 0; x < w; ++x) ys[x] = static_cast<T>(y[x] << sh);
}

// One chroma row from one or two rows of per-pixel chroma.
template <class T>
void writeChroma(const YuvLayout& l, const YuvPlanes& f, const CodeMatrix& m, int crow,
                 const float* u0, const float* v0, const float* u1, const float* v1)
{
    const int w = f.width, sh = l.sampleShift, sx = l.chromaShiftX;
    const int samples = (w + (1 << sx) - 1) >> sx;
    for (int c = 0; c < samples; ++c) {
        const int x0 = c << sx, x1 = std::min(w, (c + 1) << sx);
        const uint16_t u = chromaCode(u0, u1, x0, x1, m.lowCode[1], m.highCode[1]);
        const uint16_t v = chromaCode(v0, v1, x0, x1, m.lowCode[2], m.highCode[2]);
        switch (l.packing) {
            case YuvPacking::Planar:
                rowOf<T>(f.data[1], f.pitch[1], crow)[c] = static_cast<T>(u << sh);
                rowOf<T>(f.data[2], f.pitch[2], crow)[c] = static_cast<T>(v << sh);
                break;
            case YuvPacking::SemiPlanar: {
                T* uv = rowOf<T>(f.data[1], f.pitch[1], crow);
                uv[2 * c] = static_cast<T>(u << sh);
                uv[2 * c + 1] = static_cast<T>(v << sh);
                break;
            }
            case YuvPacking::Packed422: {
                uint8_t* group = rowOf<uint8_t>(f.data[0], f.pitch[0], crow) + 4 * c;
                group[l.u] = static_cast<uint8_t>(u);
                group[l.v] = static_cast<uint8_t>(v);
                break;
            }
        }
    }
}

template <class T, class Work>
void toWork(const YuvLayout& l, const YuvPlanes& f, const CodeMatrix& m, uint8_t* work,
            ptrdiff_t workPitch, uint16_t* y, uint16_t* u, uint16_t* v)
{
    for (int row = 0; row < f.height; ++row) {
        readCodes<T>(l, f, row, y, u, v);
        codesToWork(y, u, v, f.width, m, reinterpret_cast<Work*>(work + workPitch * row));
    }
}

template <class T, class Work>
void fromWork(const YuvLayout& l, const uint8_t* work, ptrdiff_t workPitch, const CodeMatrix& m,
              const YuvPlanes& f, uint16_t* y, std::vector<float>* cu, std::vector<float>* cv)
{
    for (int row = 0; row < f.height; ++row) {
        const int slot = row & 1;
        workToCodes(reinterpret_cast<const Work*>(work + workPitch * row), f.width, m, y,
                    cu[slot].data(), cv[slot].data());
        writeLuma<T>(l, f, row, y);
        if (l.chromaShiftY == 0)
            writeChroma<T>(l, f, m, row, cu[slot].data(), cv[slot].data(), nullptr, nullptr);
        else if (slot == 1)
            writeChroma<T>(l, f, m, row >> 1, cu[0].data(), cv[0].data(), cu[1].data(),
                           cv[1].data());
        else if (row == f.height - 1)
            writeChroma<T>(l, f, m, row >> 1, cu[0].data(), cv[0].data(), nullptr, nullptr);
    }
}

}  // namespace

void YuvScratch::reserve(int width)
{
    const size_t n = static_cast<size_t>(width);
    y_.resize(n);
    u_.resize(n);
    v_.resize(n);
    for (int i = 0; i < 2; ++i) {
        cu_[i].resize(n);
        cv_[i].resize(n);
    }
}

void yuvToWork(const YuvLayout& layout, const YuvPlanes& frame, const CodeMatrix& m, uint8_t* work,
               ptrdiff_t workPitch, YuvScratch& s)
{
    if (layout.bits > 8)
        toWork<uint16_t, uint16_t>(layout, frame, m, work, workPitch, s.y_.data(), s.u_.data(),
                                   s.v_.data());
    else
        toWork<uint8_t, uint8_t>(layout, frame, m, work, workPitch, s.y_.data(), s.u_.data(),
                                 s.v_.data());
}

void workToYuv(const YuvLayout& layout, const uint8_t* work, ptrdiff_t workPitch,
               const CodeMatrix& m, const YuvPlanes& frame, YuvScratch& s)
{
    if (layout.bits > 8)
        fromWork<uint16_t, uint16_t>(layout, work, workPitch, m, frame, s.y_.data(), s.cu_, s.cv_);
    else
        fromWork<uint8_t, uint8_t>(layout, work, workPitch, m, frame, s.y_.data(), s.cu_, s.cv_);
}
