// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The build's generator of telvo.1: writes the manual page, made from the same option
// list and settings table as --help, to the file named on the command line.
#include <cstdio>
#include <fstream>

#include "cli/command/man_page.h"
#include "generated/telvo_version.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: telvo_make_man_page OUTPUT.1\n", stderr);
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << manPage(TELVO_VERSION);
    out.close();
    if (!out) {
        std::fprintf(stderr, "telvo_make_man_page: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
