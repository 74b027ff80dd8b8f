// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/command/man_page.h"

#include "cli/command/option_list.h"

namespace
{

// Text as roff reads it: backslashes escaped, a dash that starts a word (an option) as
// the minus sign man pages use for options, line breaks of --help filled, and no line
// starting with a control character.
std::string roff(std::string_view text)
{
    std::string out;
    char previous = ' ';
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && (previous == ' ' || previous == '(' || previous == '-'))
            out += "\\-";
        else if (c == '\n')
            out += ' ';
        else
            out += c;
        previous = c == '\n' ? ' ' : c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string optionItems(const std::vector<OptionText>& options)
{
    std::string page;
    for (const OptionText& o : options) {
        page += ".TP\n\\fB";
        page += roff(o.names);
        page += "\\fR";
        if (!o.argument.empty()) {
            page += " \\fI";
            page += roff(o.argument);
            page += "\\fR";
        }
        page += '\n';
        page += roff(o.help);
        page += '\n';
    }
    return page;
}

// "Corrects white balance ... frame by frame." as NAME's "corrects ... frame by frame".
std::string nameLine(std::string summary)
{
    if (!summary.empty() && summary.back() == '.') summary.pop_back();
    if (!summary.empty() && summary[0] >= 'A' && summary[0] <= 'Z') summary[0] += 'a' - 'A';
    return summary;
}

}  // namespace

std::string manPage(std::string_view version)
{
    const std::string_view synopsis = kCliSynopsis;
    const size_t command = synopsis.find(' ');
    std::string page =
        ".\\\" Made by the build from the option list and the settings table; edit those.\n";
    page += ".TH TELVO 1 \"\" \"telvo " + roff(version) + "\" \"User Commands\"\n";
    page += ".SH NAME\ntelvo \\- " + roff(nameLine(kCliSummary)) + "\n";
    page += ".SH SYNOPSIS\n\\fB" + roff(synopsis.substr(0, command)) + "\\fR" +
            roff(synopsis.substr(command)) + "\n";
    page += ".SH DESCRIPTION\n" + roff(kCliSummary) + "\n.PP\n" + roff(kCliInputText) + "\n.PP\n" +
            roff(kCliOutputText) + "\n";
    page += ".SH OPTIONS\n.SS \"Filter settings\"\nApplied left to right; later ones win.\n";
    page += optionItems(filterOptionTexts());
    page += ".SS Output\n" + optionItems(outputOptionTexts());
    page += ".SH \"EXIT STATUS\"\n" + roff(kCliExitText) + "\n";
    page += ".SH \"SEE ALSO\"\n.BR telvo\\-farm (1),\n.BR ffmpeg (1)\n";
    return page;
}
