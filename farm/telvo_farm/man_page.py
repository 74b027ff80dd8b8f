# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""telvo-farm.1, the manual page, made from the rows --help is made from
(telvo_farm.command_line), so the two cannot drift apart. The build runs it:

    python3 -m telvo_farm.man_page VERSION OUTPUT.1
"""

import re
import sys

from telvo_farm.command_line import (DESCRIPTION, EXIT_TEXT, FARM_OPTIONS, SUMMARY,
                                     SYNOPSIS, TELVO_OPTIONS_TEXT)


def _roff(text):
    """Backslashes escaped, a dash that starts a word (an option) as a minus sign, and
    no line starting with a control character."""
    text = text.replace("\\", "\\e")
    text = re.sub(r"(^|[\s(-])-", lambda m: m.group(1) + "\\-", text)
    text = re.sub(r"(?<=\\-)-", "\\-", text)
    return "\\&" + text if text.startswith((".", "'")) else text


def render(version):
    command, arguments = SYNOPSIS.split(" ", 1)
    page = [
        ".\\\" Made by the build from telvo-farm's option list; edit that.",
        f'.TH TELVO\\-FARM 1 "" "telvo-farm {_roff(version)}" "User Commands"',
        ".SH NAME",
        f"telvo\\-farm \\- {_roff(SUMMARY)}",
        ".SH SYNOPSIS",
        f"\\fB{_roff(command)}\\fR {_roff(arguments)}",
        ".SH DESCRIPTION",
    ]
    for number, paragraph in enumerate(DESCRIPTION):
        page += [".PP"] * (number > 0) + [_roff(paragraph)]
    page += [".SH OPTIONS"]
    for name, argument, text in FARM_OPTIONS:
        tag = f"\\fB{_roff(name)}\\fR" + (f" \\fI{_roff(argument)}\\fR" if argument else "")
        page += [".TP", tag, _roff(text)]
    page += [".PP", _roff(TELVO_OPTIONS_TEXT), '.SH "EXIT STATUS"', _roff(EXIT_TEXT),
             '.SH "SEE ALSO"', ".BR telvo (1)"]
    return "\n".join(page) + "\n"


if __name__ == "__main__":
    with open(sys.argv[2], "w", encoding="utf-8") as out:
        out.write(render(sys.argv[1]))
