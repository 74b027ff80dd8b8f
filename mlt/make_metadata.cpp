// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The build's generator of filter_telvo.yml, the metadata MLT and the editors read for
// the filter service: one parameter per row of the settings table, with its range,
// default and help line, so nothing is written twice.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "generated/telvo_version.h"
#include "plugin/settings_table.h"

namespace
{

std::string titleOf(const char* name)
{
    std::string title = name;
    for (char& c : title)
        if (c == '-') c = ' ';
    title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
    return title;
}

// Double-quoted YAML text: the help lines hold colons.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

void writeParameter(std::ostream& out, const Setting& row)
{
    const bool flag = row.kind == SettingKind::Flag;
    const bool margin =
        row.kind == SettingKind::MarginRows || row.kind == SettingKind::MarginColumns;
    std::string help = row.help;
    if (margin) help += ", in pixels of the project's frame (scaled for a smaller preview)";
    if (std::string(row.name) == "disable")
        help +=
            "; MLT also reads this property: a filter with disable=1 is skipped, which "
            "shows the same picture";
    out << "  - identifier: " << row.name << "\n"
        << "    title: " << titleOf(row.name) << "\n"
        << "    type: " << (flag ? "boolean" : "integer") << "\n"
        << "    description: " << quoted(help) << "\n"
        << "    minimum: " << row.range.low << "\n"
        << "    maximum: " << row.range.high << "\n"
        << "    default: " << row.defaultValue << "\n"
        << "    mutable: yes\n"
        << "    animation: yes\n"
        << "    widget: " << (flag ? "checkbox" : "spinner") << "\n";
    if (margin) out << "    unit: pixels\n";
}

std::string metadata()
{
    std::ostringstream out;
    out << "schema_version: 7.0\n"
        << "type: filter\n"
        << "identifier: telvo\n"
        << "title: Telvo\n"
        << "version: " << TELVO_VERSION << "\n"
        << "copyright: the Telvo authors\n"
        << "license: GPLv2+\n"
        << "language: en\n"
        << "tags:\n  - Video\n"
        << "description: "
        << quoted(
               "Automatic white balance and tonal range, frame by frame: measures the R, G "
               "and B histograms, finds each channel's black point, white point and median, "
               "pulls the channels towards each other and averages over the last five "
               "frames. Each frame is rendered as at its position in the clip, also after a "
               "seek and on several threads.")
        << "\n"
        << "parameters:\n";
    for (const Setting& row : kSettings) writeParameter(out, row);
    out << "  - identifier: plan\n"
        << "    title: Plan\n"
        << "    type: string\n"
        << "    description: "
        << quoted(
               "a two-pass plan as telvo --analyse writes it: each frame gets the plan's "
               "correction for its position; empty for one pass")
        << "\n"
        << "    default: \"\"\n"
        << "    mutable: yes\n"
        << "    widget: fileopen\n";
    out << "  - identifier: analyse\n"
        << "    title: Analyse into\n"
        << "    type: string\n"
        << "    description: "
        << quoted(
               "the first of two passes: while set, frames are only measured and pass "
               "unchanged; once every frame of the clip has played or rendered, the plan is "
               "written to this file, as telvo --analyse writes it")
        << "\n"
        << "    default: \"\"\n"
        << "    mutable: yes\n"
        << "    widget: filesave\n";
    return out.str();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: telvo_make_mlt_metadata OUTPUT.yml\n", stderr);
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << metadata();
    out.close();
    if (!out) {
        std::fprintf(stderr, "telvo_make_mlt_metadata: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
