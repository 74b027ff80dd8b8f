#include "cli/plot.h"

PlotFormat plotFormatOf(const std::string& path)
{
    auto endsWith = [&](const std::string& s) {
        return path.size() > s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0;
    };
    return endsWith(".png") ? PlotFormat::Png : endsWith(".svg") ? PlotFormat::Svg : PlotFormat::Unknown;
}

bool renderPlot(const std::vector<FrameStats>&, PlotFormat, std::string&, std::string& error)
{
    error = "--plot is not available yet";
    return false;
}
