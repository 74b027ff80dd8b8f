// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The --plot chart: the per-frame values over time, three panels sharing the frame axis
// (measured levels, black and white points, curve factors), one colour per channel.
#pragma once

#include <string>
#include <vector>

#include "cli/report/frame_stats.h"

enum class PlotFormat { Png, Svg, Unknown };
PlotFormat plotFormatOf(const std::string& path);

bool renderPlot(const std::vector<FrameStats>& frames, PlotFormat format, std::string& bytes,
                std::string& error);
