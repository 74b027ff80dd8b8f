// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/report/plot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "cli/media/png_image.h"
#include "cli/report/chart.h"

namespace
{

constexpr int kWidth = 1000;
constexpr int kLeft = 70, kRight = 24, kTop = 44, kPanelHeight = 190, kPanelGap = 56;
constexpr Colour kChannel[3] = {{214, 39, 40}, {44, 160, 44}, {31, 119, 180}};
constexpr Colour kInk{40, 40, 40}, kGrid{225, 225, 225}, kFrame{150, 150, 150};

struct Series {
    int column;  // index into the 18 values
    int channel;
    bool dashed;
    double width;
};

struct Panel {
    const char* title;
    std::vector<Series> series;
    bool fixedRange;  // 0..255, else fitted to the data
};

double niceStep(double span, int wanted)
{
    const double raw = span / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

std::string label(double v, double step)
{
    char text[32];
    if (step >= 1)
        std::snprintf(text, sizeof text, "%.0f", v);
    else
        std::snprintf(text, sizeof text, "%.*f", static_cast<int>(std::ceil(-std::log10(step))), v);
    return text;
}

void addPanel(Chart& chart, const Panel& panel, int top, const std::vector<FrameStats>& frames,
              bool xLabels)
{
    const double plotWidth = kWidth - kLeft - kRight;
    const size_t n = frames.size();
    std::vector<std::array<double, 18>> values(n);
    for (size_t i = 0; i < n; ++i) statsValues(frames[i], values[i].data());

    double low = 0, high = 255;
    if (!panel.fixedRange) {
        low = high = 1.0;
        for (const auto& v : values)
            for (const Series& s : panel.series)
                if (std::isfinite(v[s.column])) {
                    low = std::min(low, v[s.column]);
                    high = std::max(high, v[s.column]);
                }
        const double pad = std::max((high - low) * 0.08, 0.02);
        low -= pad;
        high += pad;
    }
    const double first = static_cast<double>(frames.front().frame);
    const double last = std::max(static_cast<double>(frames.back().frame), first + 1);
    auto xOf = [&](double frame) { return kLeft + (frame - first) / (last - first) * plotWidth; };
    auto yOf = [&](double v) {
        v = std::clamp(v, low, high);
        return top + (high - v) / (high - low) * kPanelHeight;
    };

    chart.rects.push_back(
        {kLeft, double(top), plotWidth, kPanelHeight, {255, 255, 255}, kFrame, true});
    const double yStep = panel.fixedRange ? 32 : niceStep(high - low, 5);
    for (double v = std::ceil(low / yStep) * yStep; v <= high + 1e-9; v += yStep) {
        chart.lines.push_back(
            {{kLeft + 1.0, yOf(v), kLeft + plotWidth - 1, yOf(v)}, kGrid, 1, false});
        chart.texts.push_back({kLeft - 8.0, yOf(v) + 4, label(v, yStep), kInk, 7, true});
    }
    const double xStep = std::max(1.0, niceStep(last - first, 8));
    for (double f = std::ceil(first / xStep) * xStep; f <= last + 1e-9; f += xStep) {
        chart.lines.push_back(
            {{xOf(f), top + 1.0, xOf(f), top + kPanelHeight - 1.0}, kGrid, 1, false});
        if (xLabels)
            chart.texts.push_back({xOf(f) + 3 * static_cast<double>(label(f, 1).size()),
                                   top + kPanelHeight + 18.0, label(f, 1), kInk, 7, true});
    }
    chart.texts.push_back({double(kLeft), top - 10.0, panel.title, kInk, 14, false});

    // Long runs keep each pixel column's smallest and largest value, so spikes stay.
    const size_t columns = static_cast<size_t>(plotWidth);
    for (const Series& s : panel.series) {
        ChartLine line{{}, kChannel[s.channel], s.width, s.dashed};
        if (n <= 2 * columns) {
            for (size_t i = 0; i < n; ++i) {
                line.xy.push_back(xOf(static_cast<double>(frames[i].frame)));
                line.xy.push_back(yOf(values[i][s.column]));
            }
        } else {
            for (size_t c = 0; c < columns; ++c) {
                const size_t a = c * n / columns, b = std::max(a + 1, (c + 1) * n / columns);
                double lo = values[a][s.column], hi = lo;
                for (size_t i = a; i < b; ++i) {
                    lo = std::min(lo, values[i][s.column]);
                    hi = std::max(hi, values[i][s.column]);
                }
                line.xy.insert(line.xy.end(), {kLeft + c + 0.5, yOf(lo), kLeft + c + 0.5, yOf(hi)});
            }
        }
        chart.lines.push_back(std::move(line));
    }
}

Chart buildChart(const std::vector<FrameStats>& frames)
{
    // Columns of statsValues: low 0-2, high 3-5, median 6-8, black 9-11, white 12-14,
    // curve 15-17; red, green, blue within each.
    std::vector<Panel> panels(3);
    panels[0] = {"MEASURED LEVELS: MEDIAN, LOW AND HIGH DASHED", {}, true};
    panels[1] = {"APPLIED BLACK POINT (DASHED) AND WHITE POINT", {}, true};
    panels[2] = {"APPLIED CURVE FACTOR", {}, false};
    for (int c = 0; c < 3; ++c) {
        panels[0].series.push_back({0 + c, c, true, 1});
        panels[0].series.push_back({3 + c, c, true, 1});
        panels[0].series.push_back({6 + c, c, false, 2});
        panels[1].series.push_back({9 + c, c, true, 2});
        panels[1].series.push_back({12 + c, c, false, 2});
        panels[2].series.push_back({15 + c, c, false, 2});
    }
    Chart chart;
    chart.width = kWidth;
    chart.height = kTop + 3 * kPanelHeight + 3 * kPanelGap;
    for (int i = 0; i < 3; ++i)
        addPanel(chart, panels[i], kTop + i * (kPanelHeight + kPanelGap), frames, i == 2);
    chart.texts.push_back({kWidth - kRight - 60.0, 22, "R", kChannel[0], 14, false});
    chart.texts.push_back({kWidth - kRight - 40.0, 22, "G", kChannel[1], 14, false});
    chart.texts.push_back({kWidth - kRight - 20.0, 22, "B", kChannel[2], 14, false});
    chart.texts.push_back({kWidth / 2.0 - 15, chart.height - 12.0, "FRAME", kInk, 7, false});
    return chart;
}

}  // namespace

PlotFormat plotFormatOf(const std::string& path)
{
    auto endsWith = [&](const std::string& s) {
        return path.size() > s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0;
    };
    return endsWith(".png")   ? PlotFormat::Png
           : endsWith(".svg") ? PlotFormat::Svg
                              : PlotFormat::Unknown;
}

bool renderPlot(const std::vector<FrameStats>& frames, PlotFormat format, std::string& bytes,
                std::string& error)
{
    if (frames.empty()) {
        error = "--plot: no frames to plot";
        return false;
    }
    const Chart chart = buildChart(frames);
    if (format == PlotFormat::Svg) {
        bytes = chartToSvg(chart);
        return true;
    }
    const std::vector<uint32_t> pixels = chartToPixels(chart);
    return encodePng(reinterpret_cast<const uint8_t*>(pixels.data()),
                     static_cast<ptrdiff_t>(chart.width) * 4, chart.width, chart.height, bytes,
                     error);
}
