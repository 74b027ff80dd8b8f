// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "mlt/pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

constexpr double kWordMax = 65535.0;

// Code levels in 16-bit words (8-bit codes times 256, as 16-bit video scales them).
struct CodeRange {
    double yLow, ySpan, cMid, cSpan;
};

CodeRange codeRangeOf(const YuvMatrix& m)
{
    if (m.fullRange) return {0.0, kWordMax, 32768.0, kWordMax};
    return {16.0 * 256.0, 219.0 * 256.0, 32768.0, 224.0 * 256.0};
}

uint16_t word(double v)
{
    return static_cast<uint16_t>(std::lround(std::clamp(v, 0.0, kWordMax)));
}

// One pixel's Y, U, V (16-bit codes) to B, G, R words.
void yuvToBgr(const YuvMatrix& m, const CodeRange& r, double y, double u, double v, uint16_t* bgra)
{
    const double luma = (y - r.yLow) / r.ySpan;
    const double pb = (u - r.cMid) / r.cSpan, pr = (v - r.cMid) / r.cSpan;
    const double kg = 1.0 - m.kr - m.kb;
    const double red = luma + 2.0 * (1.0 - m.kr) * pr;
    const double blue = luma + 2.0 * (1.0 - m.kb) * pb;
    const double green = (luma - m.kr * red - m.kb * blue) / kg;
    bgra[0] = word(blue * kWordMax);
    bgra[1] = word(green * kWordMax);
    bgra[2] = word(red * kWordMax);
    bgra[3] = 0;
}

struct Yuv {
    double y, u, v;
};

// B, G, R words to Y, U, V as 16-bit codes, unrounded.
Yuv bgrToYuv(const YuvMatrix& m, const CodeRange& r, const uint16_t* bgra)
{
    const double blue = bgra[0] / kWordMax, green = bgra[1] / kWordMax, red = bgra[2] / kWordMax;
    const double luma = m.kr * red + (1.0 - m.kr - m.kb) * green + m.kb * blue;
    const double pb = (blue - luma) / (2.0 * (1.0 - m.kb));
    const double pr = (red - luma) / (2.0 * (1.0 - m.kr));
    return {r.yLow + luma * r.ySpan, r.cMid + pb * r.cSpan, r.cMid + pr * r.cSpan};
}

// A 16-bit code to the picture's depth: 8-bit codes are the word over 256.
template <class Sample>
Sample sampleOf(double code)
{
    if constexpr (sizeof(Sample) == 1)
        return static_cast<Sample>(std::lround(std::clamp(code / 256.0, 0.0, 255.0)));
    else
        return word(code);
}
template <class Sample>
double codeOf(Sample s)
{
    return sizeof(Sample) == 1 ? s * 256.0 : static_cast<double>(s);
}

uint16_t* workRow(uint8_t* work, int width, int y)
{
    return reinterpret_cast<uint16_t*>(work + static_cast<size_t>(y) * width * 8);
}

// Planar YUV with chroma halved across and, for 4:2:0, also down.
template <class Sample>
void planarToWork(const MltPicture& p, const YuvMatrix& m, int chromaShiftY, uint8_t* work)
{
    const CodeRange r = codeRangeOf(m);
    for (int y = 0; y < p.height; ++y) {
        const auto* ys = reinterpret_cast<const Sample*>(p.plane[0] + y * p.stride[0]);
        const int cy = y >> chromaShiftY;
        const auto* us = reinterpret_cast<const Sample*>(p.plane[1] + cy * p.stride[1]);
        const auto* vs = reinterpret_cast<const Sample*>(p.plane[2] + cy * p.stride[2]);
        uint16_t* out = workRow(work, p.width, y);
        for (int x = 0; x < p.width; ++x)
            yuvToBgr(m, r, codeOf(ys[x]), codeOf(us[x / 2]), codeOf(vs[x / 2]), out + 4 * x);
    }
}

template <class Sample>
void workToPlanar(const uint8_t* work, const YuvMatrix& m, int chromaShiftY, const MltPicture& p)
{
    const CodeRange r = codeRangeOf(m);
    const int rowsPerChroma = 1 << chromaShiftY;
    for (int cy = 0; cy * rowsPerChroma < p.height; ++cy) {
        auto* us = reinterpret_cast<Sample*>(p.plane[1] + cy * p.stride[1]);
        auto* vs = reinterpret_cast<Sample*>(p.plane[2] + cy * p.stride[2]);
        for (int cx = 0; cx * 2 < p.width; ++cx) {
            // Luma per pixel; chroma the mean of the pixels that share it.
            double u = 0.0, v = 0.0;
            int n = 0;
            for (int y = cy * rowsPerChroma; y < std::min(p.height, (cy + 1) * rowsPerChroma);
                 ++y) {
                auto* ys = reinterpret_cast<Sample*>(p.plane[0] + y * p.stride[0]);
                const uint16_t* in = workRow(const_cast<uint8_t*>(work), p.width, y);
                for (int x = cx * 2; x < std::min(p.width, cx * 2 + 2); ++x) {
                    const Yuv c = bgrToYuv(m, r, in + 4 * x);
                    ys[x] = sampleOf<Sample>(c.y);
                    u += c.u;
                    v += c.v;
                    ++n;
                }
            }
            us[cx] = sampleOf<Sample>(u / n);
            vs[cx] = sampleOf<Sample>(v / n);
        }
    }
}

void packedToWork(const MltPicture& p, const YuvMatrix& m, uint8_t* work)
{
    const CodeRange r = codeRangeOf(m);
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* in = p.plane[0] + y * p.stride[0];
        uint16_t* out = workRow(work, p.width, y);
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* pair = in + (x / 2) * 4;
            yuvToBgr(m, r, codeOf(in[2 * x]), codeOf(pair[1]), codeOf(pair[3]), out + 4 * x);
        }
    }
}

void workToPacked(const uint8_t* work, const YuvMatrix& m, const MltPicture& p)
{
    const CodeRange r = codeRangeOf(m);
    for (int y = 0; y < p.height; ++y) {
        uint8_t* out = p.plane[0] + y * p.stride[0];
        const uint16_t* in = workRow(const_cast<uint8_t*>(work), p.width, y);
        for (int x = 0; x < p.width; x += 2) {
            const Yuv a = bgrToYuv(m, r, in + 4 * x);
            // An odd width's last pair has one pixel: it keeps its own chroma.
            const Yuv b = x + 1 < p.width ? bgrToYuv(m, r, in + 4 * (x + 1)) : a;
            out[2 * x] = sampleOf<uint8_t>(a.y);
            if (x + 1 < p.width) out[2 * x + 2] = sampleOf<uint8_t>(b.y);
            out[2 * x + 1] = sampleOf<uint8_t>((a.u + b.u) / 2.0);
            out[2 * x + 3] = sampleOf<uint8_t>((a.v + b.v) / 2.0);
        }
    }
}

// rgba or rgb bytes to B, G, R, X and back; alpha is not the filter's.
void rgbToWork(const MltPicture& p, int bytes, uint8_t* work)
{
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* in = p.plane[0] + y * p.stride[0];
        uint8_t* out = work + static_cast<size_t>(y) * p.width * 4;
        for (int x = 0; x < p.width; ++x, in += bytes, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = 0;
        }
    }
}

void workToRgb(const uint8_t* work, int bytes, const MltPicture& p)
{
    for (int y = 0; y < p.height; ++y) {
        uint8_t* out = p.plane[0] + y * p.stride[0];
        const uint8_t* in = work + static_cast<size_t>(y) * p.width * 4;
        for (int x = 0; x < p.width; ++x, in += 4, out += bytes) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
}

}  // namespace

YuvMatrix yuvMatrixFor(int colorspace, bool fullRange)
{
    switch (colorspace) {
        case 709:
            return {0.2126, 0.0722, fullRange};
        case 240:
            return {0.212, 0.087, fullRange};
        case 2020:
            return {0.2627, 0.0593, fullRange};
        default:
            return {0.299, 0.114, fullRange};
    }
}

MltPicture mltPicture(PictureKind kind, uint8_t* image, int width, int height)
{
    const ptrdiff_t w = width, h = height;
    switch (kind) {
        case PictureKind::rgba:
            return {kind, width, height, {image}, {4 * w}};
        case PictureKind::rgb:
            return {kind, width, height, {image}, {3 * w}};
        case PictureKind::yuv422:
            return {kind, width, height, {image}, {2 * w}};
        case PictureKind::yuv420p: {
            uint8_t* u = image + w * h;
            return {kind, width, height, {image, u, u + (w / 2) * (h / 2)}, {w, w / 2, w / 2}};
        }
        case PictureKind::yuv422p16: {
            uint8_t* u = image + 2 * w * h;
            return {kind, width, height, {image, u, u + w * h}, {2 * w, w, w}};
        }
    }
    return {};
}

bool fitsLayout(PictureKind kind, int width, int height)
{
    if (kind == PictureKind::rgba || kind == PictureKind::rgb) return true;
    return width % 2 == 0 && (kind != PictureKind::yuv420p || height % 2 == 0);
}

PixelFormat workFormatOf(PictureKind kind)
{
    return kind == PictureKind::rgba || kind == PictureKind::rgb ? PixelFormat::Bgrx32
                                                                 : PixelFormat::Bgra64;
}

size_t workBytes(PixelFormat format, int width, int height)
{
    const size_t pixel = format == PixelFormat::Bgra64 ? 8 : 4;
    return pixel * static_cast<size_t>(width) * static_cast<size_t>(height);
}

void toWork(const MltPicture& picture, const YuvMatrix& matrix, uint8_t* work)
{
    switch (picture.kind) {
        case PictureKind::rgba:
            return rgbToWork(picture, 4, work);
        case PictureKind::rgb:
            return rgbToWork(picture, 3, work);
        case PictureKind::yuv422:
            return packedToWork(picture, matrix, work);
        case PictureKind::yuv420p:
            return planarToWork<uint8_t>(picture, matrix, 1, work);
        case PictureKind::yuv422p16:
            return planarToWork<uint16_t>(picture, matrix, 0, work);
    }
}

void toPicture(const uint8_t* work, const YuvMatrix& matrix, const MltPicture& picture)
{
    switch (picture.kind) {
        case PictureKind::rgba:
            return workToRgb(work, 4, picture);
        case PictureKind::rgb:
            return workToRgb(work, 3, picture);
        case PictureKind::yuv422:
            return workToPacked(work, matrix, picture);
        case PictureKind::yuv420p:
            return workToPlanar<uint8_t>(work, matrix, 1, picture);
        case PictureKind::yuv422p16:
            return workToPlanar<uint16_t>(work, matrix, 0, picture);
    }
}
