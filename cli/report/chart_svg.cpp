// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include <cstdio>

#include "cli/report/chart.h"

namespace
{

std::string hex(Colour c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

std::string escaped(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::string chartToSvg(const Chart& chart)
{
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(chart.width) + "\" height=\"" + std::to_string(chart.height) +
                      "\" viewBox=\"0 0 " + std::to_string(chart.width) + " " +
                      std::to_string(chart.height) + "\" font-family=\"sans-serif\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"" + hex(chart.background) + "\"/>\n";
    for (const ChartRect& r : chart.rects)
        svg += "<rect x=\"" + number(r.x) + "\" y=\"" + number(r.y) + "\" width=\"" +
               number(r.width) + "\" height=\"" + number(r.height) + "\" fill=\"" + hex(r.fill) +
               "\"" + (r.stroked ? " stroke=\"" + hex(r.stroke) + "\"" : std::string()) + "/>\n";
    for (const ChartLine& l : chart.lines) {
        svg += "<polyline fill=\"none\" stroke=\"" + hex(l.colour) + "\" stroke-width=\"" +
               number(l.width) + "\" stroke-linejoin=\"round\"" +
               (l.dashed ? " stroke-dasharray=\"6 4\"" : "") + " points=\"";
        for (size_t i = 0; i + 1 < l.xy.size(); i += 2)
            svg += number(l.xy[i]) + "," + number(l.xy[i + 1]) + " ";
        svg += "\"/>\n";
    }
    for (const ChartText& t : chart.texts)
        svg += "<text x=\"" + number(t.x) + "\" y=\"" + number(t.y) + "\" font-size=\"" +
               std::to_string(t.size * 10 / 7) + "\" fill=\"" + hex(t.colour) + "\"" +
               (t.alignRight ? " text-anchor=\"end\"" : "") + ">" + escaped(t.text) + "</text>\n";
    svg += "</svg>\n";
    return svg;
}
